#pragma once
// The spelling dialog of a whole-text check.
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"
#include "spell/lx3configurationdialogctrl.h"
#include "spell/lx3spell.h"

namespace spell {

// The window of a whole-text check: the word not found, the replacement,
// the suggestions and the commands.
class TSpellDialog : public ui::TForm {
public:
    explicit TSpellDialog(rtl::TComponent* Owner);
    const char* ClassName() const override { return "TSpellDialog"; }

    ui::TLabel* NotFoundText;
    ui::TLabel* ReplaceWithText;
    ui::TLabel* SuggestionsText;
    ui::TEdit* NotFoundEdit;
    ui::TEdit* ReplaceWithEdit;
    ui::TListBox* SuggestionsListbox;
    ui::TButton* IgnoreButton;
    ui::TButton* IgnoreAllButton;
    ui::TButton* ChangeButton;
    ui::TButton* ChangeAllButton;
    ui::TButton* AddButton;
    ui::TButton* AutoCorrectButton;
    ui::TButton* HelpButton;
    ui::TButton* UndoButton;
    ui::TButton* CancelButton;
    ui::TButton* OptionsButton;
    TConfigurationDialogCtrl* DialogControl;

    bool RepeatedWord() const { return repeated_; }

    void DialogControlConfigurationAvailable();
    // Word in Windows-1252.
    void DialogControlPromptWord(const std::string& Word, bool Repeated);
    void FullEnable(bool Enable);
    void ReplaceWithEditChange();
    void FormActivate();
    void FormDeactivate();
    void FormCloseQuery(bool& CanClose);

private:
    // The replacement text in Windows-1252 (a character the page lacks
    // becomes "?").
    std::string replacement() const;
    std::string notFoundWord() const;
    bool enabled(TSpellDialogCommand C) const;
    bool visible(TSpellDialogCommand C) const;
    bool hasActiveCustom() const;

    bool repeated_ = false, deactivated_ = false;
    friend class TLexiroSpell3;
};

}  // namespace spell

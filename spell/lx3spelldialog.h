#pragma once
// The spelling dialog of a whole-text check and the mediator through which
// the suite's forms reach the spell-check component.
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"
#include "spell/lx3spell.h"

namespace spell {

// A non-visual part on a form: everything the form asks of the component
// goes through it. Without a component it does nothing and answers the
// defaults.
class TConfigurationDialogCtrl : public rtl::TComponent {
public:
    explicit TConfigurationDialogCtrl(rtl::TComponent* Owner) : rtl::TComponent(Owner) {}
    ~TConfigurationDialogCtrl() override;
    const char* ClassName() const override { return "TConfigurationDialogCtrl"; }

    // Only the first component set counts.
    void WriteLexiroSpell(TLexiroSpell3* Component);
    TLexiroSpell3* LexiroSpell() const { return spell_; }
    // The component lets go of the form: nothing more reaches it.
    void Detach() { spell_ = nullptr; }
    void WriteCustomDictionary(TCustomDictionary* Dictionary);
    TCustomDictionary* CustomDictionary() const { return dictionary_; }
    TLexiroConfig* Configuration() const { return config_; }
    TSpellOptions AvailableOptions() const { return available_; }

    std::vector<std::string> ReadAvailableMain();
    std::vector<std::string> ReadAvailableCustom();
    bool ReadUseExcludeWords() const;
    bool ReadCanUndo() const;
    TCustomDictionary* ReadInternalCustom() const;
    TCustomDictionary* ReadActiveCustom() const;
    TSpellDialogCommands ReadCommandsVisible() const;
    TSpellDialogCommands ReadCommandsEnabled() const;
    int ReadHelpCtxSpellDialog() const;
    int ReadHelpCtxConfigDialog() const;
    int ReadHelpCtxDictionariesDialog() const;
    int ReadHelpCtxDictionaryEditDialog() const;
    // The user options' own names, the others' interface texts (UTF-8).
    std::string GetOptionString(TSpellOption Option);
    std::string GetString(int Id);

    void Setup();
    void SetupCustomDictionaries();
    void EditCustomDictionary(TCustomDictionary* Dictionary);
    void SetupAddDictionaryDir();
    void EnableCustomDictionary(const std::string& Name, bool Enable);
    void RemoveCustomDictionary(const std::string& Name);
    void CreateNewCustomDictionary(const std::string& Name);
    bool RenameCustomDictionary(const std::string& OldName, const std::string& NewName);

    // The check's commands; words are Windows-1252.
    void Ignore();
    void IgnoreAll();
    void Change(const std::string& NewWord);
    void ChangeAll(const std::string& NewWord);
    void Add();
    void AutoCorrect(const std::string& NewWord);
    void ControlEdited();
    void Cancel();
    void Undo();
    void RepeatIgnore();
    void RepeatDelete();
    void Suggest(const std::string& Word, std::vector<std::string>& List);
    // No help system here: nothing happens.
    void HelpSpellDialog() {}
    void HelpConfigDialog() {}
    void HelpDictionariesDialog() {}
    void HelpDictionaryEditDialog() {}

    std::string Version() const { return GetLexiroVersion(); }

    std::function<void()> OnConfigurationAvailable, OnCustomDictionaryAvailable;
    std::function<void(const std::string& Word, bool Repeated)> OnPromptWord;

private:
    TLexiroSpell3* spell_ = nullptr;
    TLexiroConfig* config_ = nullptr;
    TSpellOptions available_;
    TCustomDictionary* dictionary_ = nullptr;
};

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

#pragma once
// The thesaurus's stock dialog: the looked-up word with its history, the
// meanings (contexts) found for it, the words of the chosen meaning, and
// the word to replace with. It talks to the thesaurus only through its
// mediator, DialogControl.
#include <string>
#include <vector>

#include "platform/ui/comctrls.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"
#include "spell/lx3thesaurusdialogctrl.h"

namespace spell {

class TThesDialog : public ui::TForm {
public:
    explicit TThesDialog(rtl::TComponent* Owner);
    ~TThesDialog() override;
    const char* ClassName() const override { return "TThesDialog"; }

    ui::TLabel* LookedUpLabel;
    ui::TComboBox* LookupCombo;  // the history, newest first
    ui::TLabel* ContextsLabel;
    ui::TListView* ContextLV;
    ui::TLabel* ReplaceWithLabel;
    ui::TEdit* ReplaceEdit;
    ui::TListView* WordList;
    ui::TButton* PreviousButton;
    ui::TButton* LookupButton;
    ui::TButton* ReplaceButton;
    ui::TButton* CloseButton;
    TThesaurusDialogCtrl* DialogControl;
    ui::TTimer* Timer;  // one shot: the chosen word to the middle of its list

    // What the lists show (UTF-8): contexts with their kind names, words.
    struct TContextRow {
        std::string Word, Kind;
    };
    const std::vector<TContextRow>& ContextRows() const { return contexts_; }
    const std::vector<std::string>& WordRows() const { return words_; }

    void DialogControlActivate(rtl::TObject* Sender);
    void DialogControlPromptLookup(rtl::TObject* Sender, const std::string& Word, const TThesaurusContexts& Contexts);
    void DialogControlPromptContext(rtl::TObject* Sender, const std::vector<std::string>& Words);
    void ContextLVSelectItem(rtl::TObject* Sender, ui::TListItem* Item, bool Selected);
    void WordListSelectItem(rtl::TObject* Sender, ui::TListItem* Item, bool Selected);
    void WordListDblClick(rtl::TObject* Sender);
    void ReplaceEditChange(rtl::TObject* Sender);
    void LookupComboChange(rtl::TObject* Sender);
    void PreviousButtonClick(rtl::TObject* Sender);
    void LookupButtonClick(rtl::TObject* Sender);
    void ReplaceButtonClick(rtl::TObject* Sender);
    void CloseButtonClick(rtl::TObject* Sender);
    void FormClose(rtl::TObject* Sender, ui::TCloseAction& Action);
    void TimerTimer(rtl::TObject* Sender);

private:
    bool enabled(TThesaurusDialogCommand c) const { return DialogControl->CommandsEnabled() & c; }
    bool visible(TThesaurusDialogCommand c) const { return DialogControl->CommandsVisible() & c; }
    // The edit's or combo's UTF-8 text as the thesaurus's 8-bit word.
    static std::string word(const std::string& utf8);
    void lookup(const std::string& utf8);

    std::vector<TContextRow> contexts_;
    std::vector<std::string> words_;
    bool notFound_ = false;
};

}  // namespace spell

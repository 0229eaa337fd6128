#pragma once
// The custom (user) dictionary dialogs: the list that enables, renames,
// deletes and creates them, the prompt for a new one's name, and the
// editor of one dictionary's added words, auto-correct pairs and excluded
// words. They reach the component through their mediators. Changes take
// effect at once; there is no cancel.
#include <string>
#include <vector>

#include "platform/ui/checklistview.h"
#include "platform/ui/comctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"
#include "spell/lx3configurationdialogctrl.h"

namespace spell {

class TCustomDictionariesDialog : public ui::TForm {
public:
    // Filled once its mediator has the component (SetupDialogControl).
    explicit TCustomDictionariesDialog(rtl::TComponent* Owner);
    const char* ClassName() const override { return "TCustomDictionariesDialog"; }

    struct TListEntry {
        bool Checked = true;
        bool Internal = false;
        bool Renameable = false;
        std::string Name;  // as the configuration lists it
    };

    ui::TGroupBox* CustomGroup;
    // Captions are edited in place (F2, or a click on the selected row) to
    // rename a dictionary.
    ui::TCheckListView* CustomDictionaries;
    ui::TButton* EditButton;
    ui::TButton* DeleteButton;
    ui::TButton* NewButton;
    ui::TButton* HelpButton;
    ui::TButton* OK;
    TConfigurationDialogCtrl* DialogControl;

    void Fill();
    const std::vector<TListEntry>& Entries() const { return entries_; }

    void CustomDictionariesSelectItem(int Row, bool Selected);
    void CustomDictionariesItemChecked(int Row);
    // Only rows listed without a folder can be renamed.
    void CustomDictionariesEditing(int Row, bool& AllowEdit);
    void CustomDictionariesEdited(int Row, const std::string& Text, bool& Accept);
    void EditButtonClick(rtl::TObject* Sender);
    void DeleteButtonClick(rtl::TObject* Sender);
    void NewButtonClick(rtl::TObject* Sender);

private:
    void select(int Row);
    int rowOf(const std::string& Caption) const;

    std::vector<TListEntry> entries_;
    int filling_ = 0;
};

class TNewCustomDictionary : public ui::TForm {
public:
    explicit TNewCustomDictionary(rtl::TComponent* Owner);
    const char* ClassName() const override { return "TNewCustomDictionary"; }
    ui::TLabel* EditLabel;
    ui::TEdit* NameEdit;
    ui::TButton* OKButton;
    ui::TButton* CancelButton;
    TConfigurationDialogCtrl* DialogControl;
};

class TCustomDictionaryEditDialog : public ui::TForm {
public:
    // The pages are made once the mediator has the dictionary to edit (the
    // component's internal dictionary gets its own titles and no excluded
    // page).
    explicit TCustomDictionaryEditDialog(rtl::TComponent* Owner);
    TConfigurationDialogCtrl* DialogControl;
    const char* ClassName() const override { return "TCustomDictionaryEditDialog"; }

    ui::TPageControl* PageControl;
    ui::TTabSheet* AddedWordsSheet;
    ui::TLabel* AddedWordsExplain;
    ui::TLabel* IgnoreEditLabel;
    ui::TEdit* IgnoreEdit;
    ui::TListBox* IgnoreList;
    ui::TButton* AddIgnoreButton;
    ui::TButton* DeleteIgnoreButton;

    ui::TTabSheet* AutoCorrectWordsSheet;
    ui::TLabel* AutoCorrectWordsExplain;
    ui::TLabel* ReplaceEditLabel;
    ui::TLabel* WithEditLabel;
    ui::TEdit* ReplaceEdit;
    ui::TEdit* WithEdit;
    // "word → replacement" rows, in the order of pairs().
    ui::TListBox* AutoCorrectList;
    ui::TButton* AddAutoCorrectButton;
    ui::TButton* DeleteAutoCorrectButton;

    ui::TTabSheet* ExcludedWordsSheet;
    ui::TLabel* ExcludeWordsExplanation;
    ui::TLabel* ExcludeEditLabel;
    ui::TEdit* ExcludeEdit;
    ui::TListBox* ExcludeList;
    ui::TButton* AddExcludeButton;
    ui::TButton* DeleteExcludeButton;

    ui::TButton* HelpButton;
    ui::TButton* OK;

    // The pages' lists fill the first time they are shown.
    void ShowPage(ui::TTabSheet* Page);

    void IgnoreEditChange(rtl::TObject* Sender);
    void AddIgnoreClick(rtl::TObject* Sender);
    void DeleteIgnoreClick(rtl::TObject* Sender);
    void ExcludeEditChange(rtl::TObject* Sender);
    void AddExcludeClick(rtl::TObject* Sender);
    void DeleteExcludeClick(rtl::TObject* Sender);
    void ReplaceEditChange(rtl::TObject* Sender);
    void WithEditChange(rtl::TObject* Sender);
    void AddAutoCorrectClick(rtl::TObject* Sender);
    void DeleteAutoCorrectClick(rtl::TObject* Sender);
    void AutoCorrectListClick(rtl::TObject* Sender);

private:
    struct TWordPage;
    void build();
    void wordEditChange(TWordPage& Page);
    void addWord(TWordPage& Page);
    void deleteWord(TWordPage& Page);
    void fillPairs();
    std::string pairRow(const std::string& Word, const std::string& Replacement) const;

    TCustomDictionary* dictionary_ = nullptr;
    std::unique_ptr<TWordPage> ignorePage_, excludePage_;
    // The auto-correct pairs in the list's order (dictionary bytes).
    std::vector<std::pair<std::string, std::string>> pairs_;
    bool pairsFilled_ = false;
    int filling_ = 0;
};

// Show the stock forms modally over Owner's form, connected to Spell (what
// its Setup... operations do without the owner's events).
bool ShowCustomDictionariesDialog(TLexiroSpell3& Spell, ui::TWinControl* Owner);
bool ShowEditCustomDictionaryDialog(TLexiroSpell3& Spell, ui::TWinControl* Owner, TCustomDictionary& Dictionary);

}  // namespace spell

#pragma once
// The spelling configuration dialog: the options, the main dictionaries and
// the active custom dictionary. It reaches the component through its
// mediator; every change goes straight into the component's configuration;
// there is no cancel.
#include <string>
#include <vector>

#include "platform/ui/checklistview.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"
#include "spell/lx3configurationdialogctrl.h"

namespace spell {

class TSpellCheckConfigDialog : public ui::TForm {
public:
    // Filled once its mediator has the component (SetupDialogControl).
    explicit TSpellCheckConfigDialog(rtl::TComponent* Owner);
    const char* ClassName() const override { return "TSpellCheckConfigDialog"; }

    static constexpr int OptionBoxes = 10, OptionStep = 16;

    ui::TGroupBox* OptionsGroup;
    ui::TCheckBox* Option[OptionBoxes];
    ui::TGroupBox* DictionariesGroup;
    // One row per available main dictionary (title, file name), then the
    // "Locate Dictionaries..." row when folders may be added.
    ui::TCheckListView* MainDictionaries;
    ui::TLabel* CustomLabel;
    ui::TComboBox* CustomCombo;
    ui::TButton* DictionariesButton;
    ui::TButton* ResetButton;
    ui::TButton* HelpButton;
    ui::TButton* OK;
    TConfigurationDialogCtrl* DialogControl;

    void PopulateMainList();
    void PopulateDropDown();
    void PopulateOptions();
    // The file names behind the rows of MainDictionaries.
    const std::vector<std::string>& MainFiles() const { return mainFiles_; }
    // How many option boxes are in use.
    int OptionCount() const { return optionCount_; }

    void MainDictionariesItemChecked(int Row);
    // The file name column takes the width the title column leaves.
    void FixHeader();
    void OptionsClick(rtl::TObject* Sender);
    void CustomComboSelect(rtl::TObject* Sender);
    void DictionariesButtonClick(rtl::TObject* Sender);
    void ResetButtonClick(rtl::TObject* Sender);

private:
    void setTexts();
    void applyCommands();
    void layout();

    std::vector<std::string> mainFiles_;
    std::vector<std::string> customNames_;  // behind the drop-down's entries
    std::vector<bool> mainChecked_;  // each row's last known state
    bool locateRow_ = false;
    int optionCount_ = 0;
    int filling_ = 0;  // our own changes raise no reactions
};

// The form an owner control sits on, or null.
ui::TForm* OwnerForm(ui::TWinControl* Owner);

// Shows the configuration dialog modally over Owner's form (the screen's
// centre without one); true when it was closed with OK.
bool ShowSpellConfigDialog(TLexiroSpell3& Spell, ui::TWinControl* Owner);

// Lets the user pick a folder of dictionaries and adds it to the
// configuration's dictionary folders; true when one was added.
bool ShowAddDictionaryDirDialog(TLexiroSpell3Base& Spell, ui::TWinControl* Owner);

}  // namespace spell

// The spelling configuration dialog.
#include "spell/lx3configdialog.h"

#include <algorithm>
#include <memory>

#include "platform/rtl/sysutils.h"
#include "platform/ui/dialogs.h"
#include "spell/lx3dialogs_p.h"
#include "spell/lx3customdialogs.h"

namespace spell {

using detail::CentredOn;
using detail::TFilling;

namespace {

constexpr int FormWidth = 320, FormHeight = 397;

}  // namespace

ui::TForm* OwnerForm(ui::TWinControl* Owner) {
    ui::TWinControl* c = Owner;
    while (c && !dynamic_cast<ui::TForm*>(c)) c = c->Parent;
    return dynamic_cast<ui::TForm*>(c);
}

TSpellCheckConfigDialog::TSpellCheckConfigDialog(rtl::TComponent* Owner) : ui::TForm(Owner) {
    BorderStyle = ui::bsDialog;
    Position = CentredOn(Owner);
    SetBounds(0, 0, FormWidth, FormHeight);

    OptionsGroup = new ui::TGroupBox(this);
    OptionsGroup->Parent = this;
    OptionsGroup->SetBounds(8, 8, 305, 185);
    for (int i = 0; i < OptionBoxes; ++i) {
        Option[i] = new ui::TCheckBox(this);
        Option[i]->Parent = OptionsGroup;
        Option[i]->SetBounds(8, 16 + i * OptionStep, 289, 17);
        Option[i]->OnClick = [this](rtl::TObject* s) { OptionsClick(s); };
    }

    DictionariesGroup = new ui::TGroupBox(this);
    DictionariesGroup->Parent = this;
    DictionariesGroup->SetBounds(8, 200, 305, 161);
    MainDictionaries = new ui::TCheckListView(this);
    MainDictionaries->Parent = DictionariesGroup;
    MainDictionaries->SetBounds(8, 16, 289, 97);
    MainDictionaries->ShowColumnHeaders = true;
    MainDictionaries->CheckOnLabelClick = true;
    MainDictionaries->OnItemChecked = [this](rtl::TObject*, int Row) { MainDictionariesItemChecked(Row); };
    // Rows never stay selected: a row is a check box, not a choice.
    MainDictionaries->OnSelectItem = [this](rtl::TObject*, int, bool Selected) {
        if (Selected) MainDictionaries->ItemIndex = -1;
    };
    OnShow = [this](rtl::TObject*) { FixHeader(); };
    CustomLabel = new ui::TLabel(this);
    CustomLabel->Parent = DictionariesGroup;
    CustomLabel->SetBounds(8, 117, 169, 14);
    CustomCombo = new ui::TComboBox(this);
    CustomCombo->Parent = DictionariesGroup;
    CustomCombo->Style = ui::csDropDownList;
    CustomCombo->SetBounds(8, 132, 169, 21);
    CustomCombo->OnSelect = [this](rtl::TObject* s) { CustomComboSelect(s); };
    DictionariesButton = new ui::TButton(this);
    DictionariesButton->Parent = DictionariesGroup;
    DictionariesButton->SetBounds(192, 130, 105, 23);
    DictionariesButton->OnClick = [this](rtl::TObject* s) { DictionariesButtonClick(s); };

    ResetButton = new ui::TButton(this);
    ResetButton->Parent = this;
    ResetButton->SetBounds(8, 368, 100, 23);
    ResetButton->OnClick = [this](rtl::TObject* s) { ResetButtonClick(s); };
    HelpButton = new ui::TButton(this);
    HelpButton->Parent = this;
    HelpButton->SetBounds(157, 368, 75, 23);
    OK = new ui::TButton(this);
    OK->Parent = this;
    OK->SetBounds(238, 368, 75, 23);
    OK->Default = true;
    OK->ModalResult = ui::mrOk;

    DialogControl = new TConfigurationDialogCtrl(this);
    DialogControl->OnConfigurationAvailable = [this] {
        setTexts();
        applyCommands();
        PopulateMainList();
        PopulateDropDown();
        PopulateOptions();
        layout();
    };
}

void TSpellCheckConfigDialog::setTexts() {
    Caption = DialogControl->GetString(lsSpellingOptions);
    OptionsGroup->Caption = DialogControl->GetString(lsDlgOptionsLabel);
    DictionariesGroup->Caption = DialogControl->GetString(lsDlgDictionariesLabel);
    CustomLabel->Caption = DialogControl->GetString(lsDlgCustomDictionary);
    DictionariesButton->Caption = DialogControl->GetString(lsDlgDictionaries);
    ResetButton->Caption = DialogControl->GetString(lsDlgResetDefaults);
    HelpButton->Caption = DialogControl->GetString(lsDlgHelp);
    OK->Caption = DialogControl->GetString(lsDlgOK);
    MainDictionaries->SetColumns({DialogControl->GetString(lsDlgName), DialogControl->GetString(lsDlgFilename)});
}

void TSpellCheckConfigDialog::applyCommands() {
    const TSpellDialogCommands visible = DialogControl->ReadCommandsVisible(),
                               enabled = DialogControl->ReadCommandsEnabled();
    DictionariesButton->Visible = HasCommand(visible, sdcCustomDictionaries);
    CustomCombo->Visible = HasCommand(visible, sdcCustomDictionary);
    CustomLabel->Visible = CustomCombo->Visible();
    ResetButton->Visible = HasCommand(visible, sdcResetDefaults);
    OK->Visible = HasCommand(visible, sdcConfigOK);
    HelpButton->Visible = HasCommand(visible, sdcHelp) && DialogControl->ReadHelpCtxConfigDialog() != 0;

    DictionariesButton->Enabled = HasCommand(enabled, sdcCustomDictionaries);
    CustomCombo->Enabled = HasCommand(enabled, sdcCustomDictionary);
    // Reset follows its visibility alone: shown means usable.
    ResetButton->Enabled = HasCommand(visible, sdcResetDefaults);
    OK->Enabled = HasCommand(enabled, sdcConfigOK);
    HelpButton->Enabled = HasCommand(enabled, sdcHelp);

    if (!DictionariesButton->Visible() && !CustomCombo->Visible())
        MainDictionaries->Height = DictionariesButton->Top() + DictionariesButton->Height() - MainDictionaries->Top();
    if (!OK->Visible() && !HelpButton->Visible())
        DictionariesGroup->Height = OK->Top() + OK->Height() - DictionariesGroup->Top();
}

// The boxes left over give their room back: everything below them moves up
// and the form shrinks.
void TSpellCheckConfigDialog::layout() {
    const int spare = (OptionBoxes - optionCount_) * OptionStep;
    OptionsGroup->Height = OptionsGroup->Height() - spare;
    for (ui::TControl* c : std::initializer_list<ui::TControl*>{DictionariesGroup, ResetButton, HelpButton, OK})
        c->Top = c->Top() - spare;
    SetBounds(Left(), Top(), FormWidth, FormHeight - spare);
}

void TSpellCheckConfigDialog::PopulateMainList() {
    const TFilling filling(filling_);
    TLexiroConfig* config = DialogControl->Configuration();
    if (!config) return;
    const TSpellDialogCommands visible = DialogControl->ReadCommandsVisible();
    mainFiles_ = DialogControl->ReadAvailableMain();
    mainChecked_.clear();
    MainDictionaries->Clear();
    const TLxConfigList& active = config->ReadMainDictionaries();
    for (const auto& file : mainFiles_) {
        std::string title = "???";
        if (const auto d = DialogControl->GetMainDictionary(file)) title = d->Title();
        const int row = MainDictionaries->AddItem(title, {file});
        const bool checked = active.IndexOf(file) >= 0;
        MainDictionaries->Checked[row] = checked;
        mainChecked_.push_back(checked);
    }
    locateRow_ = HasCommand(visible, sdcMainDictFolderBrowse);
    if (locateRow_) {
        MainDictionaries->AddItem(DialogControl->GetString(lsDlgBrowseForMain), {""});
        mainChecked_.push_back(false);
    }
    FixHeader();
}

void TSpellCheckConfigDialog::FixHeader() {
    MainDictionaries->AutoSizeColumn(0);
    MainDictionaries->SetColumnWidth(1, std::max(0, MainDictionaries->ViewWidth() - MainDictionaries->ColumnWidth(0)));
}

void TSpellCheckConfigDialog::PopulateDropDown() {
    TLexiroConfig* config = DialogControl->Configuration();
    if (!config) return;
    const TFilling filling(filling_);
    CustomCombo->Items->Clear();
    // The active dictionary may be configured by its full path: the box
    // shows every entry by its file name, which the path would push out of
    // sight, and keeps what the configuration names.
    customNames_ = DialogControl->ReadAvailableCustom();
    const std::vector<std::string>& names = customNames_;
    const std::string active = config->ReadActiveCustom();
    int selected = -1;
    for (size_t i = 0; i < names.size(); ++i) {
        CustomCombo->Items->Add(rtl::ExtractFileName(names[i]));
        if (selected < 0 && !active.empty() &&
            (names[i] == active || rtl::ExtractFileName(names[i]) == rtl::ExtractFileName(active)))
            selected = static_cast<int>(i);
    }
    CustomCombo->ItemIndex = selected;
}

void TSpellCheckConfigDialog::PopulateOptions() {
    TLexiroConfig* config = DialogControl->Configuration();
    if (!config) return;
    const TFilling filling(filling_);
    const TSpellOptions available = DialogControl->AvailableOptions();
    const TSpellOptions current = config->ReadSpellOptions();
    optionCount_ = 0;
    for (int o = soLiveSpelling; o <= soUser4 && optionCount_ < OptionBoxes; ++o) {
        const auto option = static_cast<TSpellOption>(o);
        if (!available.Contains(option)) continue;
        ui::TCheckBox* box = Option[optionCount_++];
        box->Tag = o;
        box->Caption = DialogControl->GetOptionString(option);
        box->Checked = current.Contains(option);
        box->Visible = true;
    }
    for (int i = optionCount_; i < OptionBoxes; ++i) Option[i]->Visible = false;
}

void TSpellCheckConfigDialog::MainDictionariesItemChecked(int Row) {
    TLexiroConfig* config = DialogControl->Configuration();
    if (filling_ > 0 || !config || Row < 0 || Row >= static_cast<int>(mainChecked_.size())) return;
    const bool checked = MainDictionaries->Checked[Row];
    if (checked == mainChecked_[static_cast<size_t>(Row)]) return;
    if (locateRow_ && Row == static_cast<int>(mainChecked_.size()) - 1) {
        MainDictionaries->Checked[Row] = false;
        if (DialogControl->SetupAddDictionaryDir()) PopulateMainList();
        return;
    }
    mainChecked_[static_cast<size_t>(Row)] = checked;
    TLxConfigList& list = config->ReadMainDictionaries();
    const std::string& file = mainFiles_[static_cast<size_t>(Row)];
    const int at = list.IndexOf(file);
    if (checked && at < 0) list.Add(file);
    if (!checked && at >= 0) list.Delete(at);
}

void TSpellCheckConfigDialog::OptionsClick(rtl::TObject* Sender) {
    auto* box = dynamic_cast<ui::TCheckBox*>(Sender);
    TLexiroConfig* config = DialogControl->Configuration();
    if (filling_ > 0 || !box || !config) return;
    TSpellOptions options = config->ReadSpellOptions();
    const auto option = static_cast<TSpellOption>(box->Tag());
    if (box->Checked())
        options.Include(option);
    else
        options.Exclude(option);
    config->WriteSpellOptions(options);
}

void TSpellCheckConfigDialog::CustomComboSelect(rtl::TObject*) {
    TLexiroConfig* config = DialogControl->Configuration();
    if (filling_ > 0 || !config || CustomCombo->ItemIndex < 0) return;
    const auto at = static_cast<size_t>(CustomCombo->ItemIndex());
    if (at < customNames_.size()) config->WriteActiveCustom(customNames_[at]);
}

void TSpellCheckConfigDialog::DictionariesButtonClick(rtl::TObject*) {
    DialogControl->SetupCustomDictionaries();
    PopulateDropDown();
}

void TSpellCheckConfigDialog::ResetButtonClick(rtl::TObject*) {
    if (TLexiroConfig* config = DialogControl->Configuration()) config->ResetConfigurationDefaults();
    PopulateMainList();
    PopulateDropDown();
    PopulateOptions();
}

bool ShowSpellConfigDialog(TLexiroSpell3& Spell, ui::TWinControl* Owner) {
    const auto dialog = std::make_unique<TSpellCheckConfigDialog>(OwnerForm(Owner));
    Spell.SetupDialogControl(dialog.get(), nullptr);
    return dialog->ShowModal() == ui::mrOk;
}

bool ShowAddDictionaryDirDialog(TLexiroSpell3Base& Spell, ui::TWinControl* Owner) {
    ui::TBrowseFolderDialog browse(OwnerForm(Owner));
    browse.Title = Spell.GetString(lsDlgBrowseForMainTitle);
    if (!browse.Execute()) return false;
    // Only a folder this system can search: absolute, without a trailing "/".
    std::string folder = browse.Directory;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (folder.empty() || folder[0] != '/') return false;
    TLxConfigList& paths = Spell.Configuration().ReadNewDictionaryPaths();
    if (paths.IndexOf(folder) >= 0) return false;
    paths.Add(folder);
    return true;
}

}  // namespace spell

// The dialog mediator.
#include "spell/lx3configurationdialogctrl.h"

#include "platform/ui/controls.h"

namespace spell {

TConfigurationDialogCtrl::~TConfigurationDialogCtrl() {
    if (spell_) spell_->DialogGone(this);
}

void TConfigurationDialogCtrl::WriteLexiroSpell(TLexiroSpell3* Component) {
    if (spell_ || !Component) return;
    spell_ = Component;
    config_ = &Component->Configuration();
    available_ = Component->ConfigAvailableOptions;
    if (OnConfigurationAvailable) OnConfigurationAvailable();
}

void TConfigurationDialogCtrl::WriteCustomDictionary(TCustomDictionary* Dictionary) {
    dictionary_ = Dictionary;
    if (Dictionary && OnCustomDictionaryAvailable) OnCustomDictionaryAvailable();
}

std::vector<std::string> TConfigurationDialogCtrl::ReadAvailableMain() {
    return spell_ ? spell_->ReadAvailableMain() : std::vector<std::string>();
}
std::vector<std::string> TConfigurationDialogCtrl::ReadAvailableCustom() {
    return spell_ ? spell_->ReadAvailableCustom() : std::vector<std::string>();
}
bool TConfigurationDialogCtrl::ReadUseExcludeWords() const { return spell_ ? spell_->UseExcludeWords : true; }
bool TConfigurationDialogCtrl::ReadCanUndo() const { return spell_ && spell_->ReadCanUndo(); }
TCustomDictionary* TConfigurationDialogCtrl::ReadInternalCustom() const {
    return spell_ ? spell_->InternalDictionary() : nullptr;
}
TCustomDictionary* TConfigurationDialogCtrl::ReadActiveCustom() const {
    return spell_ ? spell_->ActiveCustomDictionary() : nullptr;
}
TSpellDialogCommands TConfigurationDialogCtrl::ReadCommandsVisible() const {
    return spell_ ? spell_->CommandsVisible : 0;
}
TSpellDialogCommands TConfigurationDialogCtrl::ReadCommandsEnabled() const {
    return spell_ ? spell_->CommandsEnabled : 0;
}
int TConfigurationDialogCtrl::ReadHelpCtxSpellDialog() const { return spell_ ? spell_->HelpCtxSpellDialog : 0; }
int TConfigurationDialogCtrl::ReadHelpCtxConfigDialog() const { return spell_ ? spell_->HelpCtxConfigDialog : 0; }
int TConfigurationDialogCtrl::ReadHelpCtxDictionariesDialog() const {
    return spell_ ? spell_->HelpCtxDictionariesDialog : 0;
}
int TConfigurationDialogCtrl::ReadHelpCtxDictionaryEditDialog() const {
    return spell_ ? spell_->HelpCtxDictionaryEditDialog : 0;
}

std::string TConfigurationDialogCtrl::GetOptionString(TSpellOption Option) {
    if (!spell_) return {};
    switch (Option) {
        case soUser1:
        case soUser2:
        case soUser3:
        case soUser4:
            return spell_->ConfigUserOption[Option - soUser1];
        default:
            return spell_->GetString(static_cast<int>(Option));
    }
}

std::string TConfigurationDialogCtrl::GetString(int Id) { return spell_ ? spell_->GetString(Id) : std::string(); }

std::unique_ptr<TMainDictionary> TConfigurationDialogCtrl::GetMainDictionary(const std::string& FileName) {
    return spell_ ? spell_->GetMainDictionary(FileName) : nullptr;
}
std::unique_ptr<TCustomDictionary> TConfigurationDialogCtrl::GetCustomDictionary(const std::string& FileName) {
    return spell_ ? spell_->GetCustomDictionary(FileName) : nullptr;
}
std::string TConfigurationDialogCtrl::ExpandVars(const std::string& Name) const {
    return spell_ ? spell_->ExpandVars(Name) : Name;
}

ui::TWinControl* TConfigurationDialogCtrl::ownerControl() const { return dynamic_cast<ui::TWinControl*>(Owner()); }

void TConfigurationDialogCtrl::Setup() {
    if (spell_) spell_->Setup(ownerControl());
}
void TConfigurationDialogCtrl::SetupCustomDictionaries() {
    if (spell_) spell_->SetupCustomDictionaries(ownerControl());
}
void TConfigurationDialogCtrl::EditCustomDictionary(TCustomDictionary* Dictionary) {
    if (spell_) spell_->EditCustomDictionary(Dictionary, ownerControl());
}
bool TConfigurationDialogCtrl::SetupAddDictionaryDir() {
    return spell_ && spell_->SetupAddDictionaryDir(ownerControl());
}
void TConfigurationDialogCtrl::EnableCustomDictionary(const std::string& Name, bool Enable) {
    if (spell_) spell_->EnableCustomDictionary(Name, Enable);
}
bool TConfigurationDialogCtrl::RemoveCustomDictionary(const std::string& Name) {
    return spell_ && spell_->RemoveCustomDictionary(Name);
}
bool TConfigurationDialogCtrl::CreateNewCustomDictionary(const std::string& Name) {
    return spell_ && spell_->CreateNewCustomDictionary(Name);
}
bool TConfigurationDialogCtrl::RenameCustomDictionary(const std::string& OldName, const std::string& NewName) {
    return spell_ && spell_->RenameCustomDictionary(OldName, NewName);
}

void TConfigurationDialogCtrl::Ignore() {
    if (spell_) spell_->Check_Ignore();
}
void TConfigurationDialogCtrl::IgnoreAll() {
    if (spell_) spell_->Check_IgnoreAll();
}
void TConfigurationDialogCtrl::Change(const std::string& NewWord) {
    if (spell_) spell_->Check_Change(NewWord);
}
void TConfigurationDialogCtrl::ChangeAll(const std::string& NewWord) {
    if (spell_) spell_->Check_ChangeAll(NewWord);
}
void TConfigurationDialogCtrl::Add() {
    if (spell_) spell_->Check_Add();
}
void TConfigurationDialogCtrl::AutoCorrect(const std::string& NewWord) {
    if (spell_) spell_->Check_AutoCorrect(NewWord);
}
void TConfigurationDialogCtrl::ControlEdited() {
    if (spell_) spell_->Check_ControlEdited();
}
void TConfigurationDialogCtrl::Cancel() {
    if (spell_) spell_->Check_Cancel();
}
void TConfigurationDialogCtrl::Undo() {
    if (spell_) spell_->Check_Undo();
}
void TConfigurationDialogCtrl::RepeatIgnore() {
    if (spell_) spell_->Check_RepeatIgnore();
}
void TConfigurationDialogCtrl::RepeatDelete() {
    if (spell_) spell_->Check_RepeatDelete();
}
void TConfigurationDialogCtrl::Suggest(const std::string& Word, std::vector<std::string>& List) {
    List.clear();
    if (spell_) spell_->Suggest(Word, List);
}

}  // namespace spell

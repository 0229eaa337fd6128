// The thesaurus dialog's mediator.
#include "spell/lx3thesaurusdialogctrl.h"

namespace spell {

TThesaurusDialogCtrl::~TThesaurusDialogCtrl() { BeginDestroy(); }

void TThesaurusDialogCtrl::WriteThesaurus(TThesaurus3Base* Thesaurus) {
    if (thesaurus_ || !Thesaurus) return;
    thesaurus_ = Thesaurus;
    thesaurus_->FreeNotification(this);
    enabled_ = thesaurus_->CommandsEnabled;
    visible_ = thesaurus_->CommandsVisible;
    if (OnActivate) OnActivate(this);
}

void TThesaurusDialogCtrl::Notification(rtl::TComponent* Component, rtl::TOperation Operation) {
    rtl::TComponent::Notification(Component, Operation);
    if (Operation == rtl::opRemove && Component == thesaurus_) thesaurus_ = nullptr;
}

void TThesaurusDialogCtrl::SetContext(int Index) {
    if (thesaurus_) thesaurus_->Lookup_SetContext(Index);
}

void TThesaurusDialogCtrl::LookupWord(const std::string& Word) {
    if (thesaurus_) thesaurus_->Lookup_LookupWord(Word);
}

void TThesaurusDialogCtrl::ReplaceWord(const std::string& Word) {
    if (thesaurus_) thesaurus_->Lookup_ReplaceWord(Word);
}

void TThesaurusDialogCtrl::DoubleClickWord(const std::string& Word) {
    if (thesaurus_) thesaurus_->Lookup_DoubleClickWord(Word);
}

void TThesaurusDialogCtrl::Cancel() {
    if (thesaurus_) thesaurus_->Lookup_Cancel();
}

std::string TThesaurusDialogCtrl::GetString(TThesaurusLanguageString Id) {
    return thesaurus_ ? thesaurus_->GetStringUtf8(Id) : std::string();
}

}  // namespace spell

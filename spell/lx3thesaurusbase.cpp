// The thesaurus component without its stock dialog.
#include "spell/lx3thesaurusbase.h"

#include <sys/stat.h>

#include <algorithm>

#include "platform/ui/forms.h"
#include "platform/ui/prompter.h"
#include "platform/ui/stdctrls.h"
#include "spell/lx3edittarget.h"
#include "spell/lx3thesaurusdialogctrl.h"
#include "spell/lx3winapiparser.h"
#include "spell/lxcase.h"

namespace spell {

namespace {

bool exists(const std::string& name) {
    struct stat st {};
    return !name.empty() && ::stat(name.c_str(), &st) == 0;
}

std::string replaceAll(std::string text, const std::string& what, const std::string& with) {
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

}  // namespace

TThesaurus3Base::TThesaurus3Base(rtl::TComponent* Owner)
    : rtl::TComponent(Owner), engine_(std::make_unique<TMainParsingEngine>()) {
    WriteFilename("%AppDir%/Syntaro.lxt");
}

TThesaurus3Base::~TThesaurus3Base() { BeginDestroy(); }

std::string TThesaurus3Base::Version() const { return GetLexiroVersion(); }

void TThesaurus3Base::WriteFilename(const std::string& Name) {
    filename_ = Name;
    expanded_ = ExpandBasicVars(Name);
    file_.WriteFilename(expanded_);
}

void TThesaurus3Base::WriteParsingEngine(std::unique_ptr<TParsingEngine> Engine) {
    if (Engine) engine_ = std::move(Engine);
}

bool TThesaurus3Base::LookupWinControl(ui::TWinControl* Control) {
    auto* edit = dynamic_cast<ui::TCustomEdit*>(Control);
    if (!edit) return false;
    TWinAPIControlParser parser(MakeEditTextTarget(edit));
    return LookupParser(parser);
}

bool TThesaurus3Base::LookupParser(TControlParser& Parser) {
    engine_->Initialize(&Parser, ctFromCursor);
    const std::string word = engine_->NextWord();
    if (word.empty()) return false;
    Parser.SelectWord(static_cast<int64_t>(word.size()));
    Parser.GetSelectionScreenPosition(dialogRect_);
    const std::string chosen = LookupWordInternal(word);
    if (!chosen.empty()) {
        if (OnBeforeChange) OnBeforeChange(this);
        Parser.ReplaceWord(chosen, 0);
    }
    return true;
}

std::string TThesaurus3Base::LookupWord(const std::string& Word) {
    dialogRect_ = {-1, -1, -1, -1};
    return LookupWordInternal(Word);
}

void TThesaurus3Base::lookup(const std::string& word) {
    // A name that was missing when it was set may be there now.
    if (file_.Filename() != expanded_) file_.WriteFilename(expanded_);
    file_.LookupWord(word);
    contexts_ = file_.Contexts();
    if (SortedLists)
        std::stable_sort(contexts_.begin(), contexts_.end(),
                         [](const TThesaurusEntry& a, const TThesaurusEntry& b) { return a.ContextWord < b.ContextWord; });
}

void TThesaurus3Base::reportFileError() {
    std::string text;
    if (expanded_.empty())
        text = "No thesaurus file is set.";
    else if (file_.Filename().empty() || !exists(file_.Filename()))
        text = "The thesaurus file \"" + expanded_ + "\" is missing.";
    else
        text = "The thesaurus file \"" + file_.Filename() + "\" cannot be read or is damaged.";
    if (OnFileError) OnFileError(this, text);
    else ui::MessageDlg(text, ui::mtError, ui::mbOK, "Thesaurus");
}

std::string TThesaurus3Base::LookupWordInternal(const std::string& Word) {
    if (inLookup_) return {};
    // Whatever happens on the way, the flag, the cursor, the file's loaded
    // state and the dialog are put back.
    struct TRestore {
        TThesaurus3Base& t;
        bool wasLoaded;
        ui::TForm* form = nullptr;
        ~TRestore() {
            // A dialog freed on the way (t.form_ cleared) is left alone.
            if (form && t.form_ == form) {
                form->RemoveFreeNotification(&t);
                form->OnShow = t.savedOnShow_;
                if (t.OnCreateThesaurusDialog) t.OnCreateThesaurusDialog(&t, form, false);
                else delete form;
            }
            t.form_ = nullptr;
            t.mediator_ = nullptr;
            t.savedOnShow_ = nullptr;
            ui::Screen->Cursor = t.savedCursor_;
            if (!wasLoaded) t.file_.WriteLoaded(false);
            t.inLookup_ = false;
        }
    } restore{*this, file_.Loaded()};
    inLookup_ = true;
    savedCursor_ = ui::Screen->Cursor;
    ui::Screen->Cursor = ui::crHourGlass;
    lookup(Word);
    if (!file_.Loaded()) {
        ui::Screen->Cursor = savedCursor_;
        reportFileError();
        return {};
    }
    replacement_.clear();
    ui::TForm* form = nullptr;
    if (OnCreateThesaurusDialog) OnCreateThesaurusDialog(this, form, true);
    else form = CreateThesaurusDialog();
    restore.form = form;
    if (form) {
        form_ = form;
        form->FreeNotification(this);
        savedOnShow_ = form->OnShow;
        form->OnShow = [this](rtl::TObject* Sender) { Form_OnShow(Sender); };
        SetupDialogControl();
        PlaceDialog();
        form->ShowModal();
    } else {
        FirePromptLookup();
    }
    return replacement_;
}

void TThesaurus3Base::Notification(rtl::TComponent* Component, rtl::TOperation Operation) {
    rtl::TComponent::Notification(Component, Operation);
    if (Operation != rtl::opRemove) return;
    if (Component == form_) {
        form_ = nullptr;
        mediator_ = nullptr;
    }
}

void TThesaurus3Base::SetupDialogControl() {
    mediator_ = nullptr;
    if (!form_) return;
    for (int i = 0; i < form_->ComponentCount() && !mediator_; ++i)
        mediator_ = dynamic_cast<TThesaurusDialogCtrl*>(form_->Components(i));
    if (mediator_) mediator_->WriteThesaurus(this);
}

void TThesaurus3Base::PlaceDialog() {
    if (!form_) return;
    const int w = form_->Width, h = form_->Height;
    const TLxRect monitor{0, 0, ui::Screen->Width, ui::Screen->Height};
    TLxPoint at;
    if (dialogRect_.Left == -1 && dialogRect_.Top == -1) {
        auto* owner = dynamic_cast<ui::TForm*>(Owner());
        if (!owner || !owner->Visible()) {
            form_->Position = ui::poScreenCenter;
            return;
        }
        const ui::TPoint origin = owner->ClientToScreen({0, 0});
        at = AdjustDialogPosition(origin.X + (owner->Width - w) / 2, origin.Y + (owner->Height - h) / 2, w, h, monitor);
    } else {
        at = AdjustDialogToRect({form_->Left, form_->Top}, w, h, dialogRect_, true, true, monitor);
    }
    form_->Position = ui::poDesigned;
    form_->SetBounds(at.X, at.Y, w, h);
}

void TThesaurus3Base::Form_OnShow(rtl::TObject* Sender) {
    FirePromptLookup();
    if (savedOnShow_) savedOnShow_(Sender);
    ui::Screen->Cursor = savedCursor_;
}

void TThesaurus3Base::FirePromptLookup() {
    if (OnPromptLookup) OnPromptLookup(this, LookedUpWord(), contexts_);
    if (mediator_ && mediator_->OnPromptLookup) mediator_->OnPromptLookup(mediator_, LookedUpWord(), contexts_);
}

std::string TThesaurus3Base::GetString(TThesaurusLanguageString Id) {
    std::string text = spell::GetString(Id, UILanguage);
    if (OnGetString) OnGetString(this, Id, text);
    if (Id == TThesaurusLanguageString::lsThesaurus) text = replaceAll(text, "%name%", file_.ThesaurusName());
    return text;
}

std::string TThesaurus3Base::GetStringUtf8(TThesaurusLanguageString Id) {
    return Utf8FromCodePage(LanguageCodePage(UILanguage), GetString(Id));
}

void TThesaurus3Base::Lookup_SetContext(int Index) {
    if (Index < 0 || static_cast<size_t>(Index) >= contexts_.size()) return;
    const TThesaurusEntry& c = contexts_[static_cast<size_t>(Index)];
    const std::vector<std::string>* list = &c.Lists[0];
    if (c.ContextKind >= 1 && c.ContextKind <= lxt::Lists) {
        list = &c.Lists[c.ContextKind - 1];
    } else {
        const std::string lower = LxLowerCase(c.ContextWord);
        for (const auto& l : c.Lists)
            if (std::find(l.begin(), l.end(), lower) != l.end()) {
                list = &l;
                break;
            }
    }
    std::vector<std::string> words = *list;
    if (SortedLists) std::sort(words.begin(), words.end());
    if (OnPromptContext) OnPromptContext(this, words);
    if (mediator_ && mediator_->OnPromptContext) mediator_->OnPromptContext(mediator_, words);
}

void TThesaurus3Base::Lookup_LookupWord(const std::string& Word) {
    lookup(Word);
    FirePromptLookup();
}

void TThesaurus3Base::Lookup_ReplaceWord(const std::string& Word) {
    replacement_ = Word;
    if (form_) form_->ModalResult = ui::mrOk;
}

void TThesaurus3Base::Lookup_DoubleClickWord(const std::string& Word) {
    if (DoubleClickAction == dcaLookup) Lookup_LookupWord(Word);
    else if (DoubleClickAction == dcaReplace) Lookup_ReplaceWord(Word);
}

void TThesaurus3Base::Lookup_Cancel() {
    if (form_) form_->ModalResult = ui::mrCancel;
}

}  // namespace spell

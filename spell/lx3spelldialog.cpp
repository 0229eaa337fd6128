// The spelling dialog.
#include "spell/lx3spelldialog.h"

#include "spell/lxcodepage.h"

namespace spell {

namespace {

// UTF-8 as Windows-1252. The dialog's own words came from the code page,
// and text typed for a change is only taken when it fits (the buttons stay
// off otherwise).
std::string toCp1252(const std::string& utf8) {
    std::string out;
    Cp1252FromUtf8(utf8, out);
    return out;
}

}  // namespace

// ----------------------------------------------------------------- dialog

namespace {

ui::TButton* button(TSpellDialog* form, int left, int top, const std::function<void()>& click) {
    auto* b = new ui::TButton(form);
    b->Parent = form;
    b->SetBounds(left, top, 85, 23);
    b->OnClick = [click](rtl::TObject*) { click(); };
    return b;
}

ui::TLabel* label(TSpellDialog* form, int top) {
    auto* l = new ui::TLabel(form);
    l->Parent = form;
    l->SetBounds(8, top + 3, 94, 16);
    return l;
}

}  // namespace

TSpellDialog::TSpellDialog(rtl::TComponent* Owner) : ui::TForm(Owner) {
    Caption = "xxSpelling";
    BorderStyle = ui::bsDialog;
    SetBounds(0, 0, 432, 167);

    NotFoundText = label(this, 8);
    ReplaceWithText = label(this, 36);
    SuggestionsText = label(this, 64);

    // Created in the tab order.
    NotFoundEdit = new ui::TEdit(this);
    NotFoundEdit->Parent = this;
    NotFoundEdit->SetBounds(104, 8, 140, 21);
    NotFoundEdit->ReadOnly = true;
    NotFoundEdit->OnDblClick = [this](rtl::TObject*) { ReplaceWithEdit->Text = NotFoundEdit->Text(); };
    ReplaceWithEdit = new ui::TEdit(this);
    ReplaceWithEdit->Parent = this;
    ReplaceWithEdit->SetBounds(104, 35, 140, 21);
    ReplaceWithEdit->OnChange = [this](rtl::TObject*) { ReplaceWithEditChange(); };
    SuggestionsListbox = new ui::TListBox(this);
    SuggestionsListbox->Parent = this;
    SuggestionsListbox->SetBounds(104, 62, 140, 99);
    SuggestionsListbox->OnClick = [this](rtl::TObject*) {
        const int i = SuggestionsListbox->ItemIndex;
        if (i >= 0) ReplaceWithEdit->Text = SuggestionsListbox->Items->Get(i);
    };
    SuggestionsListbox->OnDblClick = [this](rtl::TObject*) {
        const int i = SuggestionsListbox->ItemIndex;
        if (i >= 0 && !repeated_) DialogControl->Change(toCp1252(SuggestionsListbox->Items->Get(i)));
    };

    IgnoreButton = button(this, 252, 8, [this] {
        if (repeated_) DialogControl->RepeatIgnore();
        else DialogControl->Ignore();
    });
    IgnoreAllButton = button(this, 340, 8, [this] { DialogControl->IgnoreAll(); });
    ChangeButton = button(this, 252, 35, [this] {
        if (repeated_) DialogControl->RepeatDelete();
        else DialogControl->Change(replacement());
    });
    ChangeAllButton = button(this, 340, 35, [this] { DialogControl->ChangeAll(replacement()); });
    AddButton = button(this, 252, 62, [this] { DialogControl->Add(); });
    AutoCorrectButton = button(this, 340, 62, [this] { DialogControl->AutoCorrect(replacement()); });
    HelpButton = button(this, 252, 138, [this] { DialogControl->HelpSpellDialog(); });
    UndoButton = button(this, 8, 111, [this] { DialogControl->Undo(); });
    CancelButton = button(this, 340, 138, [this] { DialogControl->Cancel(); });
    CancelButton->Cancel = true;
    OptionsButton = button(this, 8, 138, [this] {
        DialogControl->Setup();
        // The new configuration's suggestions and states for the same word.
        DialogControlPromptWord(notFoundWord(), repeated_);
    });

    DialogControl = new TConfigurationDialogCtrl(this);
    DialogControl->OnConfigurationAvailable = [this] { DialogControlConfigurationAvailable(); };
    DialogControl->OnPromptWord = [this](const std::string& w, bool r) { DialogControlPromptWord(w, r); };

    OnActivate = [this](rtl::TObject*) { FormActivate(); };
    OnDeactivate = [this](rtl::TObject*) { FormDeactivate(); };
    OnCloseQuery = [this](rtl::TObject*, bool& canClose) { FormCloseQuery(canClose); };
}

std::string TSpellDialog::replacement() const { return toCp1252(ReplaceWithEdit->Text()); }
std::string TSpellDialog::notFoundWord() const { return toCp1252(NotFoundEdit->Text()); }

bool TSpellDialog::enabled(TSpellDialogCommand C) const {
    return HasCommand(DialogControl->ReadCommandsEnabled(), C);
}
bool TSpellDialog::visible(TSpellDialogCommand C) const {
    return HasCommand(DialogControl->ReadCommandsVisible(), C);
}
bool TSpellDialog::hasActiveCustom() const { return DialogControl->ReadActiveCustom() != nullptr; }

void TSpellDialog::DialogControlConfigurationAvailable() {
    repeated_ = deactivated_ = false;
    auto text = [this](int id) { return DialogControl->GetString(id); };
    Caption = text(lsSpelling);
    NotFoundText->Caption = text(lsDlgNotFound);
    ReplaceWithText->Caption = text(lsDlgReplaceWith);
    SuggestionsText->Caption = text(lsDlgSuggestions);
    UndoButton->Caption = text(lsDlgUndo);
    OptionsButton->Caption = text(lsDlgOptions);
    IgnoreButton->Caption = text(lsDlgIgnore);
    IgnoreAllButton->Caption = text(lsDlgIgnoreAll);
    ChangeButton->Caption = text(lsDlgChange);
    ChangeAllButton->Caption = text(lsDlgChangeAll);
    AddButton->Caption = text(lsDlgAdd);
    AutoCorrectButton->Caption = text(lsDlgAutoCorrect);
    HelpButton->Caption = text(lsDlgHelp);
    CancelButton->Caption = text(lsDlgCancel);

    UndoButton->Visible = visible(sdcUndo);
    OptionsButton->Visible = visible(sdcOptions);
    IgnoreAllButton->Visible = visible(sdcIgnoreAll);
    IgnoreButton->Visible = visible(sdcIgnore);
    ChangeButton->Visible = visible(sdcChange);
    ChangeAllButton->Visible = visible(sdcChangeAll);
    AddButton->Visible = visible(sdcAdd);
    AutoCorrectButton->Visible = visible(sdcAutoCorrect);
    CancelButton->Visible = visible(sdcCancel);
    HelpButton->Visible = visible(sdcHelp) && DialogControl->ReadHelpCtxSpellDialog() != 0;
    // Commands the owner switched off stay off from the first word on.
    FullEnable(true);
    HelpButton->Enabled = enabled(sdcHelp);
    CancelButton->Enabled = enabled(sdcCancel);
    if (!OptionsButton->Visible) UndoButton->Top = OptionsButton->Top();
}

void TSpellDialog::FullEnable(bool Enable) {
    ui::TControl* all[] = {UndoButton,      OptionsButton, IgnoreAllButton,   IgnoreButton,       ChangeAllButton,
                           ChangeButton,    AddButton,     AutoCorrectButton, ReplaceWithEdit,    SuggestionsListbox};
    if (!Enable) {
        for (ui::TControl* c : all) c->Enabled = false;
        HelpButton->Enabled = false;
        CancelButton->Enabled = false;
        return;
    }
    UndoButton->Enabled = DialogControl->ReadCanUndo() && enabled(sdcUndo);
    OptionsButton->Enabled = enabled(sdcOptions);
    IgnoreAllButton->Enabled = enabled(sdcIgnoreAll);
    IgnoreButton->Enabled = enabled(sdcIgnore);
    ChangeAllButton->Enabled = enabled(sdcChangeAll);
    ChangeButton->Enabled = enabled(sdcChange);
    ReplaceWithEdit->Enabled = true;
    SuggestionsListbox->Enabled = true;
    AddButton->Enabled = hasActiveCustom() && enabled(sdcAdd);
    AutoCorrectButton->Enabled = hasActiveCustom() && enabled(sdcAutoCorrect);
    HelpButton->Enabled = enabled(sdcHelp);
    CancelButton->Enabled = enabled(sdcCancel);
}

void TSpellDialog::ReplaceWithEditChange() {
    if (repeated_) return;
    const std::string typed = ReplaceWithEdit->Text();
    // A character the code page lacks would reach the text as "?".
    const bool text = !typed.empty() && FitsCp1252(typed);
    ChangeAllButton->Enabled = text && enabled(sdcChangeAll);
    ChangeButton->Enabled = text && enabled(sdcChange);
    AutoCorrectButton->Enabled = text && hasActiveCustom() && enabled(sdcAutoCorrect);
}

void TSpellDialog::DialogControlPromptWord(const std::string& Word, bool Repeated) {
    NotFoundEdit->Text = Utf8FromCp1252(Word);
    SuggestionsListbox->Items->Clear();
    if (Repeated != repeated_) {
        repeated_ = Repeated;
        FullEnable(!Repeated);
        if (Repeated) {
            OptionsButton->Enabled = enabled(sdcOptions);
            IgnoreButton->Enabled = true;
            ChangeButton->Enabled = true;
            NotFoundText->Caption = DialogControl->GetString(lsDlgRepeatedWord);
        } else {
            NotFoundText->Caption = DialogControl->GetString(lsDlgNotFound);
        }
    }
    UndoButton->Enabled = DialogControl->ReadCanUndo() && enabled(sdcUndo);
    if (Repeated) {
        ReplaceWithEdit->Text = Utf8FromCp1252(Word.substr(0, Word.size() / 2));
        return;
    }
    AddButton->Enabled = hasActiveCustom() && enabled(sdcAdd);
    AutoCorrectButton->Enabled = hasActiveCustom() && enabled(sdcAutoCorrect);
    std::vector<std::string> suggestions;
    DialogControl->Suggest(Word, suggestions);
    for (const auto& s : suggestions) SuggestionsListbox->Items->Add(Utf8FromCp1252(s));
    SuggestionsListbox->Enabled = !suggestions.empty();
    if (!suggestions.empty()) {
        ReplaceWithEdit->Text = SuggestionsListbox->Items->Get(0);
        SuggestionsListbox->ItemIndex = 0;
        ReplaceWithEditChange();
        return;
    }
    ReplaceWithEdit->Text = std::string();
    ReplaceWithEditChange();
    SuggestionsListbox->Items->Add(DialogControl->GetString(lsMnNoSuggestions));
}

void TSpellDialog::FormDeactivate() {
    deactivated_ = true;
    FullEnable(false);
}

void TSpellDialog::FormActivate() {
    if (!deactivated_) return;
    deactivated_ = false;
    FullEnable(true);
    if (repeated_) {
        IgnoreButton->Enabled = true;
        ChangeButton->Enabled = true;
    } else {
        ReplaceWithEditChange();
    }
}

void TSpellDialog::FormCloseQuery(bool& CanClose) {
    // Closing the window is Cancel.
    CanClose = true;
    DialogControl->Cancel();
}

}  // namespace spell

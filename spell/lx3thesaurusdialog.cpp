// The thesaurus's stock dialog.
#include "spell/lx3thesaurusdialog.h"

#include <algorithm>

#include "platform/rtl/sysutils.h"
#include "platform/ui/graphics.h"
#include "spell/lxcodepage.h"

namespace spell {

using Id = TThesaurusLanguageString;

namespace {

// The widest of the texts in the list's font, with a little room.
int textWidth(ui::TListView* list, const std::vector<std::string>& texts) {
    ui::TBitmap measure;
    measure.Canvas()->Font->Assign(*list->Font);
    int widest = 0;
    for (const auto& t : texts) widest = std::max(widest, measure.Canvas()->TextWidth(t));
    return widest + 12;
}

ui::TListView* reportList(ui::TForm* form, int columns) {
    auto* list = new ui::TListView(form);
    list->ShowColumnHeaders = false;
    list->HideSelection = false;
    for (int i = 0; i < columns; ++i) list->Columns->Add();
    return list;
}

}  // namespace

TThesDialog::TThesDialog(rtl::TComponent* Owner) : ui::TForm(Owner) {
    Caption = "xxThesaurus";
    BorderStyle = ui::bsDialog;
    Position = ui::poScreenCenter;
    SetBounds(0, 0, 361, 211);

    auto label = [this](int x, int y, const char* caption) {
        auto* l = new ui::TLabel(this);
        l->Caption = caption;
        l->SetBounds(x, y, 160, 16);
        return l;
    };
    LookedUpLabel = label(8, 8, "xxLookedUp");
    LookupCombo = new ui::TComboBox(this);
    LookupCombo->Style = ui::csDropDownList;
    LookupCombo->SetBounds(8, 24, 161, 24);
    ContextsLabel = label(8, 56, "xxContexts");
    ContextLV = reportList(this, 2);
    ContextLV->SetBounds(8, 72, 161, 105);
    ReplaceWithLabel = label(184, 8, "xxReplaceWith");
    ReplaceEdit = new ui::TEdit(this);
    ReplaceEdit->SetBounds(184, 24, 169, 24);
    WordList = reportList(this, 1);
    WordList->SetBounds(192, 48, 162, 129);

    auto button = [this](int x, const char* caption) {
        auto* b = new ui::TButton(this);
        b->Caption = caption;
        b->SetBounds(x, 184, 75, 23);
        return b;
    };
    PreviousButton = button(8, "xxPrevious");
    LookupButton = button(94, "xxLookup");
    ReplaceButton = button(192, "xxReplace");
    CloseButton = button(278, "xxClose");
    CloseButton->Cancel = true;
    PreviousButton->Enabled = false;
    LookupButton->Enabled = false;
    ReplaceButton->Enabled = false;

    DialogControl = new TThesaurusDialogCtrl(this);
    Timer = new ui::TTimer(this);
    Timer->Enabled = false;
    Timer->Interval = 10;

    ContextLV->OnData = [this](rtl::TObject*, ui::TListItem* item) {
        if (notFound_) {
            item->Caption = DialogControl->GetString(Id::lsDlgNotFound);
            return;
        }
        const auto i = static_cast<size_t>(item->Index());
        if (i >= contexts_.size()) return;
        item->Caption = contexts_[i].Word;
        item->SubItems->Add(contexts_[i].Kind);
    };
    WordList->OnData = [this](rtl::TObject*, ui::TListItem* item) {
        const auto i = static_cast<size_t>(item->Index());
        if (i < words_.size()) item->Caption = words_[i];
    };
    DialogControl->OnActivate = [this](rtl::TObject* s) { DialogControlActivate(s); };
    DialogControl->OnPromptLookup = [this](rtl::TObject* s, const std::string& w, const TThesaurusContexts& c) {
        DialogControlPromptLookup(s, w, c);
    };
    DialogControl->OnPromptContext = [this](rtl::TObject* s, const std::vector<std::string>& w) {
        DialogControlPromptContext(s, w);
    };
    ContextLV->OnSelectItem = [this](rtl::TObject* s, ui::TListItem* i, bool on) { ContextLVSelectItem(s, i, on); };
    WordList->OnSelectItem = [this](rtl::TObject* s, ui::TListItem* i, bool on) { WordListSelectItem(s, i, on); };
    WordList->OnDblClick = [this](rtl::TObject* s) { WordListDblClick(s); };
    ReplaceEdit->OnChange = [this](rtl::TObject* s) { ReplaceEditChange(s); };
    LookupCombo->OnChange = [this](rtl::TObject* s) { LookupComboChange(s); };
    PreviousButton->OnClick = [this](rtl::TObject* s) { PreviousButtonClick(s); };
    LookupButton->OnClick = [this](rtl::TObject* s) { LookupButtonClick(s); };
    ReplaceButton->OnClick = [this](rtl::TObject* s) { ReplaceButtonClick(s); };
    CloseButton->OnClick = [this](rtl::TObject* s) { CloseButtonClick(s); };
    OnClose = [this](rtl::TObject* s, ui::TCloseAction& a) { FormClose(s, a); };
    Timer->OnTimer = [this](rtl::TObject* s) { TimerTimer(s); };
}

TThesDialog::~TThesDialog() {
    // The lists may still ask for rows while the form goes.
    ContextLV->OnData = nullptr;
    WordList->OnData = nullptr;
    ContextLV->OnSelectItem = nullptr;
    WordList->OnSelectItem = nullptr;
    Timer->OnTimer = nullptr;
}

std::string TThesDialog::word(const std::string& utf8) {
    std::string bytes;
    // A character the thesaurus's code page lacks cannot be in it: such a
    // word is not looked up or put in the text (never cut short).
    return Cp1252FromUtf8(utf8, bytes) ? bytes : std::string();
}

void TThesDialog::DialogControlActivate(rtl::TObject*) {
    Caption = DialogControl->GetString(Id::lsThesaurus);
    LookedUpLabel->Caption = DialogControl->GetString(Id::lsDlgLookedUp);
    ContextsLabel->Caption = DialogControl->GetString(Id::lsDlgContexts);
    ReplaceWithLabel->Caption = DialogControl->GetString(Id::lsDlgReplaceWith);
    PreviousButton->Caption = DialogControl->GetString(Id::lsDlgPrevious);
    LookupButton->Caption = DialogControl->GetString(Id::lsDlgLookup);
    ReplaceButton->Caption = DialogControl->GetString(Id::lsDlgReplace);
    CloseButton->Caption = DialogControl->GetString(Id::lsDlgClose);
    CloseButton->Enabled = enabled(tdcClose);
    LookedUpLabel->Enabled = enabled(tdcLookedUp);
    LookupCombo->Enabled = enabled(tdcLookedUp);
    if (!visible(tdcLookedUp)) {
        LookedUpLabel->Visible = false;
        LookupCombo->Visible = false;
        const int up = ContextsLabel->Top - LookedUpLabel->Top;
        ContextsLabel->Top = ContextsLabel->Top - up;
        ContextLV->SetBounds(ContextLV->Left, ContextLV->Top - up, ContextLV->Width, ContextLV->Height + up);
    }
    PreviousButton->Visible = visible(tdcPrevious);
    LookupButton->Visible = visible(tdcLookup);
    ReplaceButton->Visible = visible(tdcReplace);
    CloseButton->Visible = visible(tdcClose);
}

void TThesDialog::DialogControlPromptLookup(rtl::TObject*, const std::string& Word, const TThesaurusContexts& Contexts) {
    const std::string shown = Utf8FromCp1252(Word);
    const int old = LookupCombo->Items->IndexOf(shown);
    if (old >= 0) LookupCombo->Items->Delete(old);
    if (shown.empty()) {
        LookupCombo->ItemIndex = -1;
    } else {
        LookupCombo->Items->Insert(0, shown);
        LookupCombo->ItemIndex = 0;
    }

    ContextLV->ClearSelection();
    contexts_.clear();
    for (const auto& c : Contexts) contexts_.push_back({Utf8FromCp1252(c.ContextWord), Utf8FromCp1252(c.KindName)});
    notFound_ = contexts_.empty();
    ContextLV->Items->Count = notFound_ ? 1 : static_cast<int>(contexts_.size());
    std::vector<std::string> kinds;
    for (const auto& r : contexts_) kinds.push_back(r.Kind);
    const int second = notFound_ ? 0 : textWidth(ContextLV, kinds);
    ContextLV->Columns[1]->Width = second;
    ContextLV->Columns[0]->Width = std::max(0, ContextLV->Width - ui::ScrollBarWidth() - second - 4);
    ContextLV->UpdateItems(0, ContextLV->Items->Count - 1);
    if (notFound_) {
        ContextLV->Enabled = false;
        WordList->ClearSelection();
        words_.clear();
        WordList->Items->Count = 0;
    } else {
        ContextLV->Enabled = true;
        ContextLV->ItemIndex = 0;  // shows its words
    }
    PreviousButton->Enabled = LookupCombo->Items->Count >= 2 && enabled(tdcPrevious);
}

void TThesDialog::DialogControlPromptContext(rtl::TObject*, const std::vector<std::string>& Words) {
    WordList->ClearSelection();
    words_.clear();
    for (const auto& w : Words) words_.push_back(Utf8FromCp1252(w));
    WordList->Items->Count = static_cast<int>(words_.size());
    WordList->Columns[0]->Width = std::max(0, WordList->Width - ui::ScrollBarWidth() - 4);
    WordList->UpdateItems(0, WordList->Items->Count - 1);
    if (LookupCombo->Items->Count == 0) return;
    const auto top = std::find(words_.begin(), words_.end(), LookupCombo->Items->Get(0));
    if (top == words_.end()) return;
    WordList->ItemIndex = static_cast<int>(top - words_.begin());
    if (WordList->CanFocus()) WordList->SetFocus();
    ReplaceEdit->Text = "";
    LookupButton->Enabled = false;
    ReplaceButton->Enabled = false;
    Timer->Enabled = true;
}

void TThesDialog::ContextLVSelectItem(rtl::TObject*, ui::TListItem* Item, bool Selected) {
    if (Selected && !notFound_) DialogControl->SetContext(Item->Index());
}

void TThesDialog::WordListSelectItem(rtl::TObject*, ui::TListItem* Item, bool Selected) {
    const auto i = static_cast<size_t>(Item->Index());
    if (!Selected || i >= words_.size()) return;
    const std::string& w = words_[i];
    ReplaceEdit->Text = rtl::SameText(w, LookupCombo->Text()) ? std::string() : w;
}

void TThesDialog::WordListDblClick(rtl::TObject*) {
    const int i = WordList->ItemIndex;
    if (i >= 0) DialogControl->DoubleClickWord(word(words_.at(static_cast<size_t>(i))));
}

void TThesDialog::ReplaceEditChange(rtl::TObject*) {
    const std::string typed = ReplaceEdit->Text();
    // A character the thesaurus's code page lacks would cut the word short.
    const bool some = !typed.empty() && FitsCp1252(typed);
    LookupButton->Enabled = some && enabled(tdcLookup);
    ReplaceButton->Enabled = some && enabled(tdcReplace);
}

void TThesDialog::lookup(const std::string& utf8) { DialogControl->LookupWord(word(utf8)); }

void TThesDialog::LookupComboChange(rtl::TObject*) {
    const int i = LookupCombo->ItemIndex;
    if (i >= 0) lookup(LookupCombo->Items->Get(i));
}

void TThesDialog::PreviousButtonClick(rtl::TObject*) {
    if (LookupCombo->Items->Count < 2) return;
    LookupCombo->Items->Delete(0);
    lookup(LookupCombo->Items->Get(0));
}

void TThesDialog::LookupButtonClick(rtl::TObject*) { lookup(ReplaceEdit->Text()); }

void TThesDialog::ReplaceButtonClick(rtl::TObject*) { DialogControl->ReplaceWord(word(ReplaceEdit->Text())); }

void TThesDialog::CloseButtonClick(rtl::TObject*) { DialogControl->Cancel(); }

void TThesDialog::FormClose(rtl::TObject*, ui::TCloseAction&) {
    if (ModalResult() != ui::mrOk) DialogControl->Cancel();
}

void TThesDialog::TimerTimer(rtl::TObject*) {
    Timer->Enabled = false;
    const int i = WordList->ItemIndex, count = WordList->Items->Count;
    if (i < 0) return;
    // The row half a page below it to the bottom, then the row half a page
    // above it to the top, leaves it in the middle.
    const int half = WordList->VisibleRowCount / 2;
    WordList->Items->Item(std::min(count - 1, i + half))->MakeVisible();
    WordList->Items->Item(std::max(0, i - half))->MakeVisible();
}

}  // namespace spell

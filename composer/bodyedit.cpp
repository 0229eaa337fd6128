// The composer's body editor commands, keys and timers.
#include "composer/bodyedit.h"

#include "composer/cssdsgnr.h"
#include "composer/mlsend.h"
#include "helpers/edhistory.h"
#include "helpers/edithelpers.h"
#include "helpers/htmlcolour.h"
#include "helpers/kwutil.h"
#include "helpers/textsearch.h"
#include "mailbox/kwem1.h"
#include "mailbox/kwfnddlg.h"
#include "platform/rtl/sysutils.h"
#include "platform/ui/clipbrd.h"
#include "platform/ui/dialogs.h"
#include "spell/lx3thesaurus.h"

namespace composer {

std::string QuoteBlock(std::string_view Style, std::string_view Text) {
    return "<BLOCKQUOTE STYLE=\"" + std::string(Style) + "\">\r\n" + std::string(Text) + "\r\n</BLOCKQUOTE>";
}

TReplaced ReplaceEvery(std::string_view Text, std::string_view Search, std::string_view Replacement) {
    helpers::textreplaced r = helpers::textreplace(Text, Search, Replacement, false);
    return {std::move(r.text), r.count};
}

std::string QuoteStylePath() { return helpers::homedir + "pelliwoxblockstyle.txt"; }

TBodyEditor::TBodyEditor(Tmlsend& Window) : w_(Window) {
    ui::TRichEdit* bdy = w_.bdy;
    PopupMenu1 = new ui::TPopupMenu(&w_);
    const auto ctrl = ui::scCtrl, alt = ui::scAlt;
    Undo1 = item("Undo     Ctrl+Z", 0, [this] { Undo1Click(Undo1); });
    Redo1 = item("Redo     Ctrl+Shift+Z", 0, [this] { Redo1Click(Redo1); });
    Cut1 = item("Cut", ctrl | 'X', [this, bdy] { change([bdy] { bdy->CutToClipboard(); }); });
    Copy1 = item("Copy", ctrl | 'C', [this] { Copy1Click(Copy1); });
    Paste1 = item("Paste", ctrl | 'V', [this] { Paste1Click(Paste1); });
    HTMLPaste1 = item("HTML Paste", ctrl | alt | 'V', [this] { HTMLPaste1Click(HTMLPaste1); });
    Delete1 = item("Delete", 0, [this, bdy] { change([bdy] { helpers::edinsert(bdy, ""); }); });
    SelectAll1 = item("Select All", ctrl | 'A', [bdy] { bdy->SelectAll(); });
    BlockQuote1 = item("Quote Selected Text", ctrl | 'B', [this] { BlockQuote1Click(BlockQuote1); });
    WebFont1 = item("Web Font", ui::VK_F7, [this] { WebFont1Click(WebFont1); });
    // Put Style, Thesaurus Lookup and Configure Quote Style leave the focus
    // where it is.
    PutStyleintoCSSDesigner1 = item("Put Style into CSS Designer", ui::VK_F8, nullptr);
    PutStyleintoCSSDesigner1->Enabled = true;
    PutStyleintoCSSDesigner1->OnClick = [this](rtl::TObject* s) { PutStyleintoCSSDesigner1Click(s); };
    ThesaurusLookup1 = item("Thesaurus Lookup", ctrl | 'T', nullptr);
    ThesaurusLookup1->Enabled = true;
    ThesaurusLookup1->OnClick = [this](rtl::TObject* s) { ThesaurusLookup1Click(s); };
    FindText1 = item("Find Text", ctrl | 'F', [this] { FindText1Click(FindText1); });
    FindAgain1 = item("Find Again", ui::VK_F3, [this] { FindAgain1Click(FindAgain1); });
    FindandReplace1 = item("Find and Replace", ctrl | 'H', [this] { FindandReplace1Click(FindandReplace1); });
    SetBlockStyle1 = item("Configure Quote Style", ctrl | alt | 'B', nullptr);
    SetBlockStyle1->Enabled = true;
    SetBlockStyle1->OnClick = [this](rtl::TObject* s) { SetBlockStyle1Click(s); };
    PopupMenu1->OnPopup = [this](rtl::TObject* s) { PopupMenu1Popup(s); };
    bdy->PopupMenu = PopupMenu1;

    auto timer = [this](int interval, bool on, void (TBodyEditor::*tick)(rtl::TObject*)) {
        auto* t = new ui::TTimer(&w_);
        t->Enabled = false;
        t->Interval = interval;
        t->OnTimer = [this, tick](rtl::TObject* s) { (this->*tick)(s); };
        t->Enabled = on;
        return t;
    };
    Timer1 = timer(100, false, &TBodyEditor::Timer1Timer);
    Timer2 = timer(20, false, &TBodyEditor::Timer2Timer);
    Timer4 = timer(67, true, &TBodyEditor::Timer4Timer);

    bdy->OnChange = [this](rtl::TObject* s) { bdyChange(s); };
    bdy->OnKeyDown = [this](rtl::TObject* s, ui::WORD& k, ui::TShiftState sh) { bdyKeyDown(s, k, sh); };
    bdy->OnKeyPress = [this](rtl::TObject* s, char32_t& k) { bdyKeyPress(s, k); };
    bdy->OnMouseDown = [this](rtl::TObject*, ui::TMouseButton, ui::TShiftState, int, int) { w_.SelectPlaceholder(); };
}

TBodyEditor::~TBodyEditor() {
    // The window's controls outlive this object by a little.
    for (ui::TTimer* t : {Timer1, Timer2, Timer4}) t->OnTimer = nullptr;
    ui::TRichEdit* bdy = w_.bdy;
    bdy->OnChange = nullptr;
    bdy->OnKeyDown = nullptr;
    bdy->OnKeyPress = nullptr;
    bdy->OnMouseDown = nullptr;
    PopupMenu1->OnPopup = nullptr;
    for (int i = 0; i < PopupMenu1->Items->Count(); ++i) PopupMenu1->Items->Items(i)->OnClick = nullptr;
}

ui::TMenuItem* TBodyEditor::item(const char* caption, ui::TShortCut shortcut, std::function<void()> action) {
    auto* i = new ui::TMenuItem(PopupMenu1);
    i->Caption = caption;
    i->ShortCut = shortcut;
    if (action) {
        i->OnClick = [this, action](rtl::TObject*) {
            focus();
            action();
        };
    } else {
        i->Enabled = false;
    }
    PopupMenu1->Items->Add(i);
    return i;
}

void TBodyEditor::focus() {
    if (w_.bdy->CanFocus()) w_.bdy->SetFocus();
}

void TBodyEditor::step(int delta) {
    focus();
    if (inHistoryStep_) return;
    mailbox::TFlagScope running(inHistoryStep_);
    helpers::histstep(w_.bdy, delta);
}

void TBodyEditor::Undo1Click(rtl::TObject*) { step(-1); }
void TBodyEditor::Redo1Click(rtl::TObject*) { step(+1); }

void TBodyEditor::Copy1Click(rtl::TObject*) {
    ui::TRichEdit* bdy = w_.bdy;
    ui::Clipboard()->AsText = bdy->SelLength > 0 ? bdy->SelText() : bdy->Text();
}

void TBodyEditor::change(const std::function<void()>& edit) {
    // What was typed before is a step of its own.
    if (Timer1->Enabled()) Timer1Timer(Timer1);
    edit();
    // The change itself is the next step, taken now rather than after a
    // pause in which more could join it.
    if (Timer1->Enabled()) Timer1Timer(Timer1);
    // The new text took the colour of its neighbour, and the visible lines
    // may read as they did before: the next tick colours them afresh.
    helpers::hlinvalidate();
}

void TBodyEditor::insert(const std::string& text) {
    change([this, &text] { helpers::edinsert(w_.bdy, text); });
}

void TBodyEditor::Paste1Click(rtl::TObject*) { insert(ui::Clipboard()->AsText()); }

void TBodyEditor::HTMLPaste1Click(rtl::TObject*) { insert(helpers::htmlescape(ui::Clipboard()->AsText())); }

void TBodyEditor::BlockQuote1Click(rtl::TObject*) {
    ui::TRichEdit* bdy = w_.bdy;
    if (bdy->SelLength <= 0) return;
    insert(QuoteBlock(w_.BlockStyle, bdy->SelText()));
}

void TBodyEditor::WebFont1Click(rtl::TObject*) {
    ui::TRichEdit* bdy = w_.bdy;
    if (bdy->SelLength <= 0) return;
    ui::TFontDialog dialog(nullptr);
    if (!dialog.Execute()) return;
    helpers::TFontSpec font;
    font.Name = dialog.Font->Name();
    font.Size = dialog.Font->Size;
    font.Color = dialog.Font->Color;
    font.Style = dialog.Font->Style;
    insert(helpers::fontspan(font, bdy->SelText()));
}

void TBodyEditor::PutStyleintoCSSDesigner1Click(rtl::TObject*) {
    Tcssdsgnr* designer = cssdsgnr;
    if (!designer) return w_.NotYet("The style designer");
    designer->ParseStyle(w_.bdy->SelText());
    designer->Show();
    designer->BringToFront();
}

void TBodyEditor::SetBlockStyle1Click(rtl::TObject*) {
    Tcssdsgnr* designer = cssdsgnr;
    if (!designer) return w_.NotYet("The style designer");
    // Shown modally it must not be up already.
    if (designer->Visible()) designer->Hide();
    designer->ParseStyle(w_.BlockStyle);
    if (designer->ShowModal() != ui::mrOk) return;
    // It goes into a STYLE attribute: declarations only, no double quotes.
    w_.BlockStyle = StyleAttributeText(designer->StyleText());
    helpers::savetext(QuoteStylePath(), w_.BlockStyle);
}

void TBodyEditor::ThesaurusLookup1Click(rtl::TObject*) {
    change([this] { w_.Thesaurus31->LookupWinControl(w_.bdy); });
}

void TBodyEditor::FindText1Click(rtl::TObject*) {
    mailbox::Tkwfind* find = mailbox::kwfind;
    if (!find) return w_.NotYet("The find dialog");
    std::string text = find->fndtxt->Text;
    if (find->Execute("Find Text", "Text to Find", true, text)) find->FindInRichEdit(w_.bdy);
}

void TBodyEditor::FindAgain1Click(rtl::TObject* Sender) {
    mailbox::Tkwfind* find = mailbox::kwfind;
    if (!find || find->fndtxt->Text().empty()) return FindText1Click(Sender);
    find->FindInRichEdit(w_.bdy);
}

void TBodyEditor::FindandReplace1Click(rtl::TObject*) {
    ui::TRichEdit* bdy = w_.bdy;
    const int start = bdy->SelStart, length = bdy->SelLength;
    const std::string caption = std::string(length > 0 ? "Selected Text" : "Global") + " Search and Replace";
    // The program's input dialog: wide enough for the caption, and it keeps
    // the texts typed before.
    std::string search = LastSearch;
    if (!helpers::inputdialog(caption, "Search String (Case Insensitive)", search)) return;
    LastSearch = search;
    std::string replacement = LastReplacement;
    if (!helpers::inputdialog(caption, "Replace " + search + " With", replacement)) return;
    LastReplacement = replacement;
    const TReplaced r = ReplaceEvery(length > 0 ? bdy->SelText() : bdy->Text(), search, replacement);
    // Nothing found changes nothing: no step in the history, no new colours.
    if (r.Count > 0) {
        change([&] {
            if (length > 0) helpers::edinsert(bdy, r.Text);
            else helpers::edsettext(bdy, r.Text);
        });
    }
    // A letter of other case may take more or fewer bytes than the one
    // searched for: the selection is what was put in.
    bdy->Select(start, length > 0 ? static_cast<int64_t>(r.Count > 0 ? r.Text.size() : length) : 0);
    bdy->SetScrollPos(false, bdy->LineFromChar(start));
}

void TBodyEditor::PopupMenu1Popup(rtl::TObject*) { BlockQuote1->Enabled = w_.bdy->SelLength > 0; }

void TBodyEditor::bdyChange(rtl::TObject*) {
    if (w_.Loading || helpers::edfrozen || w_.bdy->GetTextLen() == 0) return;
    Timer1->Enabled = true;
}

void TBodyEditor::bdyKeyDown(rtl::TObject*, ui::WORD& Key, ui::TShiftState Shift) {
    const ui::TShiftState mods = ui::KeyModifiers(Shift);
    std::function<void()> command;
    if (Key == 'Z' && mods == ui::ssCtrl) command = [this] { Undo1Click(Undo1); };
    else if (Key == 'Z' && mods == (ui::ssCtrl | ui::ssShift)) command = [this] { Redo1Click(Redo1); };
    else if (Key == ui::VK_INSERT && mods == ui::ssShift) command = [this] { Paste1->Click(); };
    else if (Key == ui::VK_INSERT && mods == ui::ssCtrl) command = [this] { Copy1->Click(); };
    if (!command) return;
    Key = 0;
    command();
}

void TBodyEditor::bdyKeyPress(rtl::TObject*, char32_t& Key) {
    if (Key != '\r' || !helpers::rematchc("<html*>", w_.bdy->Text(), false)) return;
    Key = 0;
    helpers::edinsert(w_.bdy, "<BR>\r\n");
}

void TBodyEditor::Timer1Timer(rtl::TObject*) {
    Timer1->Enabled = false;
    if (w_.Loading || helpers::edfrozen) return;
    // A change that left the text as it was (a word pasted over itself) is
    // no step: an undo must always show something.
    if (helpers::histidx >= 0 && helpers::histsnap(helpers::histidx).text == w_.bdy->Text()) {
        helpers::histpos(w_.bdy);
        return;
    }
    helpers::histpush(w_.bdy);
}

void TBodyEditor::Timer2Timer(rtl::TObject*) {
    if (!w_.Visible() || w_.Loading || helpers::edfrozen) return;
    Timer2->Enabled = false;
    helpers::hilite(w_.bdy);
    helpers::histpos(w_.bdy);
}

void TBodyEditor::Timer4Timer(rtl::TObject*) {
    if (!Timer2->Enabled) Timer2->Enabled = true;
}

}  // namespace composer

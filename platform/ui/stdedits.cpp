// Edits and memos: TCustomEdit, TEdit, TCustomMemo and their edit messages.
#include "platform/ui/stdctrls.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/ui/controls_p.h"

namespace ui {

using detail::FromWidgetText;
using detail::lineSelect;
using detail::lineSelLength;
using detail::lineSelStart;
using detail::S;
using detail::TTextMap;
using detail::ToWidgetText;

namespace {

LRESULT packWords(int64_t lo, int64_t hi) {
    return static_cast<LRESULT>((static_cast<uint32_t>(hi) & 0xFFFF) << 16 | (static_cast<uint32_t>(lo) & 0xFFFF));
}
}  // namespace

// ----------------------------------------------------------- TCustomEdit

void TCustomEdit::setMaxLength(int v) {
    maxLength_ = std::max(0, v);
    ApplyMaxLength();
}

void TCustomEdit::Changed() {
    if (OnChange) SafeCall([this] { OnChange(this); });
}

namespace {

using EditHandler = LRESULT (*)(TCustomEdit&, WPARAM, LPARAM);

const std::unordered_map<unsigned, EditHandler>& editMessages() {
    static const std::unordered_map<unsigned, EditHandler> table = {
        {EM_GETSEL,
         [](TCustomEdit& e, WPARAM w, LPARAM l) -> LRESULT {
             const int64_t start = e.GetSelStart(), end = start + e.GetSelLength();
             if (w) *reinterpret_cast<uint32_t*>(w) = static_cast<uint32_t>(start);
             if (l) *reinterpret_cast<uint32_t*>(l) = static_cast<uint32_t>(end);
             return packWords(start, end);
         }},
        {EM_SETSEL,
         [](TCustomEdit& e, WPARAM w, LPARAM l) -> LRESULT {
             const int64_t start = static_cast<int32_t>(w), end = static_cast<int32_t>(l);
             if (start == -1) {
                 e.Select(e.GetSelStart(), 0);
                 return 0;
             }
             const int64_t stop = end == -1 ? e.GetTextLen() : end;
             e.Select(std::min(start, stop), std::abs(stop - start));
             return 0;
         }},
        {EM_REPLACESEL,
         [](TCustomEdit& e, WPARAM, LPARAM l) -> LRESULT {
             e.SetSelText(l ? std::string(reinterpret_cast<const char*>(l)) : std::string());
             return 0;
         }},
        {EM_SCROLLCARET,
         [](TCustomEdit& e, WPARAM, LPARAM) -> LRESULT {
             e.ScrollCaret();
             return 1;
         }},
        {WM_GETTEXTLENGTH, [](TCustomEdit& e, WPARAM, LPARAM) -> LRESULT { return e.GetTextLen(); }},
        {EM_GETTEXTLENGTHEX, [](TCustomEdit& e, WPARAM, LPARAM) -> LRESULT { return e.GetTextLen(); }},
        {EM_SETREADONLY,
         [](TCustomEdit& e, WPARAM w, LPARAM) -> LRESULT {
             e.SetReadOnly(w != 0);
             return 1;
         }},
        // A single-line edit is its own only line.
        {EM_GETLINECOUNT, [](TCustomEdit&, WPARAM, LPARAM) -> LRESULT { return 1; }},
        {EM_LINEFROMCHAR, [](TCustomEdit&, WPARAM, LPARAM) -> LRESULT { return 0; }},
        {EM_EXLINEFROMCHAR, [](TCustomEdit&, WPARAM, LPARAM) -> LRESULT { return 0; }},
        {EM_GETFIRSTVISIBLELINE, [](TCustomEdit&, WPARAM, LPARAM) -> LRESULT { return 0; }},
        {EM_LINEINDEX,
         [](TCustomEdit&, WPARAM w, LPARAM) -> LRESULT { return static_cast<int32_t>(w) <= 0 ? 0 : -1; }},
        {EM_LINELENGTH, [](TCustomEdit& e, WPARAM, LPARAM) -> LRESULT { return e.GetTextLen(); }},
    };
    return table;
}
}  // namespace

LRESULT TCustomEdit::Perform(unsigned msg, WPARAM wParam, LPARAM lParam) {
    const auto& table = editMessages();
    auto it = table.find(msg);
    return it == table.end() ? 0 : it->second(*this, wParam, lParam);
}

// ----------------------------------------------------------------- TEdit

namespace {

QLineEdit* lineEdit(const TControl* c) { return static_cast<QLineEdit*>(c->Widget()); }

}  // namespace

// Selections of one-line editors, shared with the combo box's edit.
namespace detail {

int lineSelStart(const QLineEdit* e) {
    return static_cast<int>(TTextMap(e->text()).ToBytes(e->hasSelectedText() ? e->selectionStart() : e->cursorPosition()));
}

int lineSelLength(const QLineEdit* e) {
    if (!e->hasSelectedText()) return 0;
    const TTextMap map(e->text());
    return static_cast<int>(map.ToBytes(e->selectionEnd()) - map.ToBytes(e->selectionStart()));
}

void lineSelect(QLineEdit* e, int64_t start, int64_t length) {
    const TTextMap map(e->text());
    const int a = map.ToChars(start);
    const int b = map.ToChars(map.ToBytes(a) + std::max<int64_t>(0, length), true);
    if (b > a) e->setSelection(a, b - a);
    else e->setCursorPosition(a);
}

}  // namespace detail

TEdit::TEdit(rtl::TComponent* owner) : TCustomEdit(owner) {
    auto* edit = new QLineEdit;
    SetWidget(edit);
    QObject::connect(edit, &QLineEdit::textChanged, Context(), [this] { Changed(); });
    ApplyMaxLength();
}

void TEdit::setPasswordChar(char v) {
    passwordChar_ = v;
    lineEdit(this)->setEchoMode(v ? QLineEdit::Password : QLineEdit::Normal);
}

std::string TEdit::GetText() const { return FromWidgetText(lineEdit(this)->text()); }
void TEdit::SetText(const std::string& text) { lineEdit(this)->setText(ToWidgetText(text)); }

int TEdit::GetSelStart() const { return lineSelStart(lineEdit(this)); }
int TEdit::GetSelLength() const { return lineSelLength(lineEdit(this)); }
void TEdit::Select(int64_t start, int64_t length) { lineSelect(lineEdit(this), start, length); }

std::string TEdit::GetSelText() const { return FromWidgetText(lineEdit(this)->selectedText()); }
void TEdit::SetSelText(const std::string& text) { lineEdit(this)->insert(ToWidgetText(text)); }
int64_t TEdit::GetTextLen() const { return TTextMap(lineEdit(this)->text()).ByteLength(); }
bool TEdit::GetReadOnly() const { return lineEdit(this)->isReadOnly(); }
void TEdit::SetReadOnly(bool v) { lineEdit(this)->setReadOnly(v); }
bool TEdit::GetModified() const { return lineEdit(this)->isModified(); }
void TEdit::SetModified(bool v) { lineEdit(this)->setModified(v); }
void TEdit::CopyToClipboard() { lineEdit(this)->copy(); }
void TEdit::CutToClipboard() { lineEdit(this)->cut(); }
void TEdit::PasteFromClipboard() { lineEdit(this)->paste(); }
void TEdit::Undo() { lineEdit(this)->undo(); }
void TEdit::ApplyMaxLength() { lineEdit(this)->setMaxLength(maxLength_ > 0 ? maxLength_ : 0x7FFFFFFF); }

// ----------------------------------------------------------- TCustomMemo

namespace {

class TMemoLines;
}  // namespace

struct TMemoPrivate {
    explicit TMemoPrivate(TCustomMemo* memo);

    QPlainTextEdit* edit = nullptr;
    mutable TTextMap map;
    mutable bool mapValid = false;
    int formatting = 0;
    bool pendingChange = false;
    uint32_t eventMask = ENM_CHANGE | ENM_SELCHANGE;
    TScrollStyle scrollBars = ssNone;
    std::unique_ptr<TStrings> lines;

    const TTextMap& Map() const {
        if (!mapValid) {
            map.Build(edit->document()->toRawText());
            mapValid = true;
        }
        return map;
    }
};

namespace {

// A memo's lines: the parts of its text between line breaks. A final line
// break leaves no extra (empty) line.
class TMemoLines : public TStrings {
public:
    explicit TMemoLines(TCustomMemo* memo, QPlainTextEdit* edit) : memo_(memo), edit_(edit) {}

    int GetCount() const override {
        QTextDocument* doc = edit_->document();
        int n = doc->blockCount();
        if (doc->lastBlock().length() <= 1) --n;  // the empty line after a final break
        return n;
    }
    std::string Get(int index) const override {
        CheckIndex(index, GetCount());
        return S(edit_->document()->findBlockByNumber(index).text());
    }
    void Put(int index, const std::string& s) override {
        CheckIndex(index, GetCount());
        const QTextBlock b = edit_->document()->findBlockByNumber(index);
        QTextCursor c(b);
        c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        c.insertText(ToWidgetText(s));
    }
    void Insert(int index, const std::string& s) override {
        CheckIndex(index, GetCount() + 1);
        QTextDocument* doc = edit_->document();
        const QTextBlock b = doc->findBlockByNumber(index);
        QTextCursor c(doc);
        if (b.isValid()) {
            c.setPosition(b.position());
            c.insertText(ToWidgetText(s) + QChar('\n'));
        } else {
            c.movePosition(QTextCursor::End);
            c.insertText(QChar('\n') + ToWidgetText(s));
        }
    }
    void Delete(int index) override {
        CheckIndex(index, GetCount());
        QTextDocument* doc = edit_->document();
        const QTextBlock b = doc->findBlockByNumber(index);
        QTextCursor c(doc);
        if (b.next().isValid()) {
            c.setPosition(b.position());
            c.setPosition(b.next().position(), QTextCursor::KeepAnchor);
        } else {
            c.setPosition(std::max(0, b.position() - 1));
            c.setPosition(b.position() + b.length() - 1, QTextCursor::KeepAnchor);
        }
        c.removeSelectedText();
    }
    void Clear() override { memo_->SetText(""); }
    std::string GetText() const override { return memo_->GetText(); }
    void SetText(std::string_view text) override { memo_->SetText(std::string(text)); }

protected:
    void SetUpdateState(bool updating) override {
        edit_->setUpdatesEnabled(!updating);
        if (!updating) edit_->viewport()->update();
    }

private:
    TCustomMemo* memo_;
    QPlainTextEdit* edit_;
};
}  // namespace

TMemoPrivate::TMemoPrivate(TCustomMemo* memo)
    : edit(new QPlainTextEdit), lines(std::make_unique<TMemoLines>(memo, edit)) {}

TCustomMemo::TCustomMemo(rtl::TComponent* owner)
    : TCustomEdit(owner), m_(std::make_unique<TMemoPrivate>(this)), Lines(m_->lines.get()) {
    SetWidget(m_->edit);
    QTextDocument* doc = m_->edit->document();
    QObject::connect(doc, &QTextDocument::contentsChange, Context(), [this](int, int, int) {
        if (m_->formatting) return;
        m_->mapValid = false;
        m_->pendingChange = true;
    });
    QObject::connect(doc, &QTextDocument::contentsChanged, Context(), [this] {
        if (!m_->pendingChange) return;
        m_->pendingChange = false;
        if (!RichMessages() || (m_->eventMask & ENM_CHANGE)) Changed();
    });
    QObject::connect(m_->edit, &QPlainTextEdit::selectionChanged, Context(), [this] {
        if (m_->eventMask & ENM_SELCHANGE) SelectionChanged();
    });
    setScrollBars(ssNone);
}

TCustomMemo::~TCustomMemo() = default;

QPlainTextEdit* TCustomMemo::Editor() const { return m_->edit; }
QTextDocument* TCustomMemo::Document() const { return m_->edit->document(); }
void TCustomMemo::BeginFormat() { ++m_->formatting; }
void TCustomMemo::EndFormat() { --m_->formatting; }
bool TCustomMemo::InFormat() const { return m_->formatting > 0; }
uint32_t TCustomMemo::EventMask() const { return m_->eventMask; }
void TCustomMemo::SetEventMask(uint32_t mask) { m_->eventMask = mask; }
int TCustomMemo::CharsOf(int64_t bytes, bool roundUp) const { return m_->Map().ToChars(bytes, roundUp); }
int64_t TCustomMemo::BytesOf(int chars) const { return m_->Map().ToBytes(chars); }

bool TCustomMemo::getWordWrap() const { return m_->edit->lineWrapMode() != QPlainTextEdit::NoWrap; }

void TCustomMemo::setWordWrap(bool v) {
    m_->edit->setLineWrapMode(v ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

TScrollStyle TCustomMemo::getScrollBars() const { return m_->scrollBars; }

void TCustomMemo::setScrollBars(TScrollStyle v) {
    m_->scrollBars = v;
    auto policy = [](bool on) { return on ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff; };
    m_->edit->setHorizontalScrollBarPolicy(policy(v == ssHorizontal || v == ssBoth));
    m_->edit->setVerticalScrollBarPolicy(policy(v == ssVertical || v == ssBoth));
}

bool TCustomMemo::getWantTabs() const { return !m_->edit->tabChangesFocus(); }
void TCustomMemo::setWantTabs(bool v) { m_->edit->setTabChangesFocus(!v); }

std::string TCustomMemo::GetText() const { return FromWidgetText(m_->Map().Text()); }
void TCustomMemo::SetText(const std::string& text) { m_->edit->setPlainText(ToWidgetText(text)); }

int TCustomMemo::GetSelStart() const {
    const QTextCursor c = m_->edit->textCursor();
    return static_cast<int>(BytesOf(c.selectionStart()));
}

int TCustomMemo::GetSelLength() const {
    const QTextCursor c = m_->edit->textCursor();
    return static_cast<int>(BytesOf(c.selectionEnd()) - BytesOf(c.selectionStart()));
}

void TCustomMemo::Select(int64_t start, int64_t length) {
    const int a = CharsOf(start);
    const int b = CharsOf(BytesOf(a) + std::max<int64_t>(0, length), true);
    QTextCursor c(Document());
    c.setPosition(a);
    c.setPosition(b, QTextCursor::KeepAnchor);
    m_->edit->setTextCursor(c);
}

std::string TCustomMemo::GetSelText() const { return FromWidgetText(m_->edit->textCursor().selectedText()); }

void TCustomMemo::SetSelText(const std::string& text) {
    QTextCursor c = m_->edit->textCursor();
    c.insertText(ToWidgetText(text));
    m_->edit->setTextCursor(c);
}

int64_t TCustomMemo::GetTextLen() const { return m_->Map().ByteLength(); }
bool TCustomMemo::GetReadOnly() const { return m_->edit->isReadOnly(); }

void TCustomMemo::SetReadOnly(bool v) {
    m_->edit->setReadOnly(v);
    // A read-only memo still lets the caret move and select by keyboard.
    if (v) m_->edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

bool TCustomMemo::GetModified() const { return Document()->isModified(); }
void TCustomMemo::SetModified(bool v) { Document()->setModified(v); }
void TCustomMemo::ScrollCaret() { m_->edit->ensureCursorVisible(); }
void TCustomMemo::CopyToClipboard() { m_->edit->copy(); }
void TCustomMemo::CutToClipboard() { m_->edit->cut(); }
void TCustomMemo::PasteFromClipboard() { m_->edit->paste(); }
void TCustomMemo::Undo() { m_->edit->undo(); }

int TCustomMemo::LineFromChar(int64_t pos) const { return Document()->findBlock(CharsOf(pos)).blockNumber(); }

int64_t TCustomMemo::LineIndex(int line) const {
    const QTextBlock b = Document()->findBlockByNumber(line);
    return b.isValid() ? BytesOf(b.position()) : -1;
}

int TCustomMemo::LineCount() const { return Document()->blockCount(); }

int TCustomMemo::FirstVisibleLine() const { return m_->edit->cursorForPosition(QPoint(0, 0)).blockNumber(); }

void TCustomMemo::LineScroll(int chars, int lines) {
    QScrollBar* v = m_->edit->verticalScrollBar();
    QScrollBar* h = m_->edit->horizontalScrollBar();
    v->setValue(v->value() + lines);
    h->setValue(h->value() + chars * m_->edit->fontMetrics().averageCharWidth());
}

int64_t TCustomMemo::CharFromPos(TPoint p) const {
    const QPoint vp = m_->edit->viewport()->mapFrom(m_->edit, QPoint(p.X, p.Y));
    return BytesOf(m_->edit->cursorForPosition(vp).position());
}

TPoint TCustomMemo::PosFromChar(int64_t pos) const {
    QTextCursor c(Document());
    c.setPosition(CharsOf(pos));
    const QPoint at = m_->edit->viewport()->mapTo(m_->edit, m_->edit->cursorRect(c).topLeft());
    return {at.x(), at.y()};
}

int TCustomMemo::ScrollPos(bool horizontal) const {
    return (horizontal ? m_->edit->horizontalScrollBar() : m_->edit->verticalScrollBar())->value();
}

void TCustomMemo::SetScrollPos(bool horizontal, int pos) {
    (horizontal ? m_->edit->horizontalScrollBar() : m_->edit->verticalScrollBar())->setValue(pos);
}

void TCustomMemo::SetRedraw(bool on) {
    m_->edit->viewport()->setUpdatesEnabled(on);
    if (on) m_->edit->viewport()->update();
}

namespace {

using MemoHandler = LRESULT (*)(TCustomMemo&, WPARAM, LPARAM, bool rich);

int64_t caretOr(TCustomMemo& m, WPARAM w) {
    const auto v = static_cast<int32_t>(w);
    return v == -1 ? m.GetSelStart() : v;
}

LRESULT scrollRequest(TCustomMemo& m, WPARAM w, bool horizontal) {
    static const std::unordered_map<unsigned, int> kDelta = {{SB_LINEUP, -1}, {SB_LINEDOWN, 1}};
    const unsigned code = LOWORD(w);
    const int pos = m.ScrollPos(horizontal);
    const int page = horizontal ? m.Width() : std::max(1, m.Height() / std::max(1, m.Font->Size() * 2));
    if (code == SB_THUMBPOSITION || code == SB_THUMBTRACK) m.SetScrollPos(horizontal, static_cast<int>(HIWORD(w)));
    else if (code == SB_PAGEUP || code == SB_PAGEDOWN) m.SetScrollPos(horizontal, pos + (code == SB_PAGEUP ? -page : page));
    else if (code == SB_TOP) m.SetScrollPos(horizontal, 0);
    else if (code == SB_BOTTOM) m.SetScrollPos(horizontal, 0x7FFFFFFF);
    else if (auto it = kDelta.find(code); it != kDelta.end()) m.SetScrollPos(horizontal, pos + it->second);
    return 0;
}

const std::unordered_map<unsigned, MemoHandler>& memoMessages() {
    static const std::unordered_map<unsigned, MemoHandler> table = {
        {EM_GETLINECOUNT, [](TCustomMemo& m, WPARAM, LPARAM, bool) -> LRESULT { return m.LineCount(); }},
        {EM_LINEFROMCHAR,
         [](TCustomMemo& m, WPARAM w, LPARAM, bool) -> LRESULT { return m.LineFromChar(caretOr(m, w)); }},
        {EM_EXLINEFROMCHAR, [](TCustomMemo& m, WPARAM, LPARAM l, bool) -> LRESULT { return m.LineFromChar(l); }},
        {EM_LINEINDEX,
         [](TCustomMemo& m, WPARAM w, LPARAM, bool) -> LRESULT {
             const auto line = static_cast<int32_t>(w);
             return m.LineIndex(line == -1 ? m.LineFromChar(m.GetSelStart()) : line);
         }},
        {EM_LINELENGTH,
         [](TCustomMemo& m, WPARAM w, LPARAM, bool) -> LRESULT {
             const int line = m.LineFromChar(caretOr(m, w));
             const int64_t start = m.LineIndex(line), next = m.LineIndex(line + 1);
             return (next < 0 ? m.GetTextLen() : next - 2) - start;
         }},
        {EM_GETFIRSTVISIBLELINE, [](TCustomMemo& m, WPARAM, LPARAM, bool) -> LRESULT { return m.FirstVisibleLine(); }},
        {EM_LINESCROLL,
         [](TCustomMemo& m, WPARAM w, LPARAM l, bool) -> LRESULT {
             m.LineScroll(static_cast<int32_t>(w), static_cast<int32_t>(l));
             return 1;
         }},
        {EM_GETLINE,
         [](TCustomMemo& m, WPARAM w, LPARAM l, bool) -> LRESULT {
             // The buffer's first word holds its size; the line is copied
             // without a terminating zero.
             auto* buf = reinterpret_cast<char*>(l);
             const auto line = static_cast<int32_t>(w);
             if (!buf || line < 0 || line >= m.LineCount()) return 0;
             uint16_t size;
             std::memcpy(&size, buf, sizeof size);
             const int64_t start = m.LineIndex(line), next = m.LineIndex(line + 1);
             const std::string text = m.GetText();
             const size_t end = next < 0 ? text.size() : static_cast<size_t>(next - 2);
             const size_t n = std::min<size_t>(size, end - static_cast<size_t>(start));
             std::memcpy(buf, text.data() + start, n);
             return static_cast<LRESULT>(n);
         }},
        {EM_CHARFROMPOS,
         [](TCustomMemo& m, WPARAM, LPARAM l, bool rich) -> LRESULT {
             if (rich) return l ? m.CharFromPos(*reinterpret_cast<const TPoint*>(l)) : -1;
             const int64_t pos = m.CharFromPos({static_cast<int16_t>(LOWORD(l)), static_cast<int16_t>(HIWORD(l))});
             return packWords(pos, m.LineFromChar(pos));
         }},
        {EM_POSFROMCHAR,
         [](TCustomMemo& m, WPARAM w, LPARAM l, bool rich) -> LRESULT {
             if (rich) {
                 if (w) *reinterpret_cast<TPoint*>(w) = m.PosFromChar(l);
                 return 0;
             }
             if (static_cast<int64_t>(w) >= m.GetTextLen()) return -1;
             const TPoint p = m.PosFromChar(static_cast<int64_t>(w));
             return packWords(p.X, p.Y);
         }},
        {WM_SETREDRAW,
         [](TCustomMemo& m, WPARAM w, LPARAM, bool) -> LRESULT {
             m.SetRedraw(w != 0);
             return 0;
         }},
        {WM_VSCROLL, [](TCustomMemo& m, WPARAM w, LPARAM, bool) -> LRESULT { return scrollRequest(m, w, false); }},
        {WM_HSCROLL, [](TCustomMemo& m, WPARAM w, LPARAM, bool) -> LRESULT { return scrollRequest(m, w, true); }},
        {EM_SETBKGNDCOLOR,
         [](TCustomMemo& m, WPARAM w, LPARAM l, bool) -> LRESULT {
             const TColor old = m.Color;
             m.Color = w ? clWindow : static_cast<TColor>(l);
             return old;
         }},
    };
    return table;
}
}  // namespace

LRESULT TCustomMemo::Perform(unsigned msg, WPARAM wParam, LPARAM lParam) {
    if (msg == EM_GETEVENTMASK) return RichMessages() ? m_->eventMask : 0;
    if (msg == EM_SETEVENTMASK) {
        const uint32_t old = m_->eventMask;
        if (RichMessages()) m_->eventMask = static_cast<uint32_t>(lParam);
        return old;
    }
    const auto& table = memoMessages();
    auto it = table.find(msg);
    if (it != table.end()) return it->second(*this, wParam, lParam, RichMessages());
    return TCustomEdit::Perform(msg, wParam, lParam);
}

}  // namespace ui

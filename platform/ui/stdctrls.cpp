#include "platform/ui/stdctrls.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/ui/controls_p.h"
#include "platform/ui/forms.h"

namespace ui {

using detail::FromWidgetText;
using detail::Q;
using detail::S;
using detail::TTextMap;
using detail::ToWidgetText;

namespace {

// A caption with "&" access keys shown as the platform shows them: "&&"
// is one "&", a single "&" only marks the next letter.
QString labelText(std::string_view caption) {
    std::string t;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) ++i;
        t += caption[i];
    }
    return detail::DisplayText(t);
}

// Runs F with the control's own change notifications held back.
class Quiet {
public:
    explicit Quiet(int& depth) : depth_(depth) { ++depth_; }
    ~Quiet() { --depth_; }
    Quiet(const Quiet&) = delete;

private:
    int& depth_;
};

LRESULT packWords(int64_t lo, int64_t hi) {
    return static_cast<LRESULT>((static_cast<uint32_t>(hi) & 0xFFFF) << 16 | (static_cast<uint32_t>(lo) & 0xFFFF));
}

// The entries of a list or combo box, kept in its item model. A sorted
// list inserts each new entry in order, letter case ignored.
class TModelStrings : public TStrings {
public:
    // Changes made through the list count as the program's own: Quiet is
    // raised while they run, so the control's user events stay silent.
    TModelStrings(QAbstractItemModel* model, int& quiet, std::function<void(int row)> prepare,
                  std::function<void(bool)> updating)
        : model_(model), quiet_(quiet), prepare_(std::move(prepare)), updating_(std::move(updating)) {}

    int GetCount() const override { return model_->rowCount(); }
    std::string Get(int index) const override {
        CheckIndex(index, GetCount());
        return S(model_->index(index, 0).data(Qt::DisplayRole).toString());
    }
    void Put(int index, const std::string& s) override {
        CheckIndex(index, GetCount());
        Quiet q(quiet_);
        model_->setData(model_->index(index, 0), Q(s), Qt::DisplayRole);
    }
    void Insert(int index, const std::string& s) override {
        CheckIndex(index, GetCount() + 1);
        insertAt(index, Q(s));
    }
    int Add(const std::string& s) override {
        const QString text = Q(s);
        int at = GetCount();
        if (sorted) {
            at = 0;
            for (int hi = GetCount(); at < hi;) {
                const int mid = (at + hi) / 2;
                if (compare(model_->index(mid, 0).data().toString(), text) <= 0) at = mid + 1;
                else hi = mid;
            }
        }
        insertAt(at, text);
        return at;
    }
    void Delete(int index) override {
        CheckIndex(index, GetCount());
        Quiet q(quiet_);
        model_->removeRow(index);
    }
    void Clear() override {
        Quiet q(quiet_);
        model_->removeRows(0, model_->rowCount());
    }
    void Sort() {
        Quiet q(quiet_);
        QStringList all;
        for (int i = 0; i < GetCount(); ++i) all << model_->index(i, 0).data().toString();
        std::stable_sort(all.begin(), all.end(), [](const QString& a, const QString& b) { return compare(a, b) < 0; });
        for (int i = 0; i < all.size(); ++i) model_->setData(model_->index(i, 0), all[i], Qt::DisplayRole);
    }

    bool sorted = false;

protected:
    void SetUpdateState(bool updating) override {
        if (updating_) updating_(updating);
    }

private:
    static int compare(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive); }
    void insertAt(int index, const QString& text) {
        Quiet q(quiet_);
        model_->insertRow(index);
        model_->setData(model_->index(index, 0), text, Qt::DisplayRole);
        if (prepare_) prepare_(index);
    }

    QAbstractItemModel* model_;
    int& quiet_;
    std::function<void(int)> prepare_;
    std::function<void(bool)> updating_;
};

}  // namespace

// ---------------------------------------------------------------- TLabel

TLabel::TLabel(rtl::TComponent* owner) : TControl(owner) {
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SetWidget(label);
    SetClickOnRelease(true);
    SetPassiveMouse(true);
}

void TLabel::fit() {
    auto* label = static_cast<QLabel*>(Widget());
    if (autoSize_ && !label->wordWrap()) label->resize(label->sizeHint());
}

void TLabel::setCaption(std::string v) {
    caption_ = std::move(v);
    static_cast<QLabel*>(Widget())->setText(labelText(caption_));
    fit();
}

bool TLabel::getWordWrap() const { return static_cast<QLabel*>(Widget())->wordWrap(); }

void TLabel::setWordWrap(bool v) {
    static_cast<QLabel*>(Widget())->setWordWrap(v);
    fit();
}

void TLabel::setAutoSize(bool v) {
    autoSize_ = v;
    fit();
}

bool TLabel::getTransparent() const { return !Widget()->autoFillBackground(); }
void TLabel::setTransparent(bool v) { Widget()->setAutoFillBackground(!v); }

void TLabel::setAlignment(TAlignment v) {
    alignment_ = v;
    static_cast<QLabel*>(Widget())->setAlignment(detail::QtAlignment(v) | Qt::AlignTop);
}

void TLabel::FontChanged() {
    TControl::FontChanged();
    fit();
}

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

// Selections of one-line editors (edits and combo boxes), in bytes.
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

}  // namespace

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

// ------------------------------------------------------------- TComboBox

namespace {

class TComboWidget : public QComboBox {
public:
    explicit TComboWidget(TComboBox* owner) : owner_(owner) {}
    void showPopup() override {
        if (owner_->OnDropDown) SafeCall([this] { owner_->OnDropDown(owner_); });
        QComboBox::showPopup();
        popupShown = true;
    }
    void hidePopup() override {
        QComboBox::hidePopup();
        popupShown = false;
        if (owner_->OnCloseUp) SafeCall([this] { owner_->OnCloseUp(owner_); });
    }
    bool extendedUI = false;
    bool popupShown = false;
    int droppedWidth = 0;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (extendedUI && e->key() == Qt::Key_Down && e->modifiers() == Qt::NoModifier && !popupShown) {
            showPopup();
            return;
        }
        QComboBox::keyPressEvent(e);
    }

private:
    TComboBox* owner_;
};

}  // namespace

struct TComboPrivate {
    explicit TComboPrivate(TComboBox* owner)
        : combo(new TComboWidget(owner)), items(std::make_unique<TModelStrings>(combo->model(), quiet, nullptr, nullptr)) {}
    TComboWidget* combo;
    int quiet = 0;
    std::unique_ptr<TModelStrings> items;
};

TComboBox::TComboBox(rtl::TComponent* owner)
    : TWinControl(owner), c_(std::make_unique<TComboPrivate>(this)), Items(c_->items.get()) {
    TComboWidget* combo = c_->combo;
    combo->setInsertPolicy(QComboBox::NoInsert);
    SetWidget(combo);
    AddEventWidget(combo->view());
    setStyle(csDropDown);
    QObject::connect(combo, &QComboBox::currentIndexChanged, Context(), [this](int) {
        if (c_->quiet) return;
        if (OnChange) SafeCall([this] { OnChange(this); });
    });
    QObject::connect(combo, &QComboBox::activated, Context(), [this](int) {
        if (OnSelect) SafeCall([this] { OnSelect(this); });
    });
}

TComboBox::~TComboBox() = default;

void TComboBox::setStyle(TComboBoxStyle v) {
    style_ = v;
    Quiet q(c_->quiet);
    QComboBox* combo = c_->combo;
    combo->setEditable(v != csDropDownList);
    if (QLineEdit* edit = combo->lineEdit()) {
        combo->setCompleter(nullptr);
        AddEventWidget(edit);
        QObject::connect(edit, &QLineEdit::textEdited, Context(), [this] {
            if (OnChange) SafeCall([this] { OnChange(this); });
        });
        setMaxLength(maxLength_);
    }
}

std::string TComboBox::getText() const { return S(c_->combo->currentText()); }

void TComboBox::setText(std::string v) {
    Quiet q(c_->quiet);
    if (c_->combo->isEditable()) c_->combo->setEditText(Q(v));
    else c_->combo->setCurrentIndex(c_->combo->findText(Q(v), Qt::MatchFixedString));
}

int TComboBox::getItemIndex() const {
    if (c_->combo->popupShown) return c_->combo->view()->currentIndex().row();
    return c_->combo->currentIndex();
}

void TComboBox::setItemIndex(int v) {
    Quiet q(c_->quiet);
    c_->combo->setCurrentIndex(v >= 0 && v < c_->combo->count() ? v : -1);
    if (v < 0 && c_->combo->isEditable()) c_->combo->setEditText(QString());
}

int TComboBox::getDropDownCount() const { return c_->combo->maxVisibleItems(); }
void TComboBox::setDropDownCount(int v) { c_->combo->setMaxVisibleItems(std::max(1, v)); }
bool TComboBox::getSorted() const { return c_->items->sorted; }

void TComboBox::setSorted(bool v) {
    c_->items->sorted = v;
    if (!v) return;
    Quiet q(c_->quiet);
    const QString text = c_->combo->currentText();
    c_->items->Sort();
    if (c_->combo->isEditable()) c_->combo->setEditText(text);
}

void TComboBox::setMaxLength(int v) {
    maxLength_ = std::max(0, v);
    if (QLineEdit* e = c_->combo->lineEdit()) e->setMaxLength(maxLength_ > 0 ? maxLength_ : 0x7FFFFFFF);
}

bool TComboBox::getDroppedDown() const { return c_->combo->popupShown; }

void TComboBox::setDroppedDown(bool v) {
    if (v == c_->combo->popupShown) return;
    if (v) c_->combo->showPopup();
    else c_->combo->hidePopup();
}

namespace {
QLineEdit* comboEdit(const TComboPrivate& c) { return c.combo->lineEdit(); }
}  // namespace

int TComboBox::getSelStart() const {
    QLineEdit* e = comboEdit(*c_);
    return e ? lineSelStart(e) : 0;
}

void TComboBox::setSelStart(int v) {
    if (QLineEdit* e = comboEdit(*c_)) lineSelect(e, v, 0);
}

int TComboBox::getSelLength() const {
    QLineEdit* e = comboEdit(*c_);
    return e ? lineSelLength(e) : 0;
}

void TComboBox::setSelLength(int v) {
    if (QLineEdit* e = comboEdit(*c_)) lineSelect(e, lineSelStart(e), v);
}

std::string TComboBox::getSelText() const {
    QLineEdit* e = comboEdit(*c_);
    return e ? S(e->selectedText()) : std::string();
}

void TComboBox::setSelText(std::string v) {
    if (QLineEdit* e = comboEdit(*c_)) e->insert(Q(v));
}

void TComboBox::SelectAll() {
    if (QLineEdit* e = comboEdit(*c_)) e->selectAll();
}

LRESULT TComboBox::Perform(unsigned msg, WPARAM wParam, LPARAM) {
    TComboWidget* combo = c_->combo;
    switch (msg) {
        case CB_SETDROPPEDWIDTH:
            combo->droppedWidth = static_cast<int>(wParam);
            combo->view()->setMinimumWidth(combo->droppedWidth);
            return combo->droppedWidth;
        case CB_GETDROPPEDWIDTH: return std::max(combo->droppedWidth, combo->width());
        case CB_SETEXTENDEDUI: combo->extendedUI = wParam != 0; return 0;
        case CB_GETEXTENDEDUI: return combo->extendedUI;
        case CB_SHOWDROPDOWN: setDroppedDown(wParam != 0); return 1;
        case CB_GETDROPPEDSTATE: return combo->popupShown;
        default: return 0;
    }
}

// -------------------------------------------------------------- TListBox

namespace {

// A list widget that re-spreads its columns when it is resized.
class TListWidget : public QListWidget {
public:
    int columns = 0;
    void layoutColumns() {
        if (columns <= 0) {
            setWrapping(false);
            setGridSize(QSize());
            return;
        }
        setFlow(QListView::TopToBottom);
        setWrapping(true);
        setResizeMode(QListView::Adjust);
        const int h = std::max(1, sizeHintForRow(0) > 0 ? sizeHintForRow(0) : fontMetrics().height() + 2);
        setGridSize(QSize(std::max(1, viewport()->width() / columns), h));
    }

protected:
    void resizeEvent(QResizeEvent* e) override {
        QListWidget::resizeEvent(e);
        if (columns > 0) layoutColumns();
    }
};

}  // namespace

struct TListBoxPrivate {
    explicit TListBoxPrivate(bool checkable) : list(new TListWidget) {
        TListWidget* l = list;
        auto prepare = [l, checkable](int row) {
            if (!checkable) return;
            QListWidgetItem* item = l->item(row);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
        };
        auto updating = [l](bool on) { l->setUpdatesEnabled(!on); };
        items = std::make_unique<TModelStrings>(l->model(), quiet, prepare, updating);
    }
    TListWidget* list;
    int quiet = 0;
    std::unique_ptr<TModelStrings> items;
    TCanvas canvas;
};

TListBox::TListBox(rtl::TComponent* owner, bool checkable)
    : TWinControl(owner), l_(std::make_unique<TListBoxPrivate>(checkable)), Items(l_->items.get()) {
    TListWidget* list = l_->list;
    SetWidget(list);
    setMultiSelect(false);
    // The user's choices raise OnClick, by mouse or by keyboard.
    QObject::connect(list, &QListWidget::itemSelectionChanged, Context(), [this] {
        if (l_->quiet == 0) Click();
    });
}

TListBox::~TListBox() = default;

int TListBox::getItemIndex() const {
    QListWidget* list = l_->list;
    if (!multiSelect_) {
        const auto sel = list->selectionModel()->selectedRows();
        return sel.isEmpty() ? -1 : sel.front().row();
    }
    return list->currentRow();
}

void TListBox::setItemIndex(int v) {
    Quiet q(l_->quiet);
    QListWidget* list = l_->list;
    if (v < 0 || v >= list->count()) {
        if (!multiSelect_) list->clearSelection();
        list->setCurrentRow(-1, QItemSelectionModel::NoUpdate);
        return;
    }
    list->setCurrentRow(v, multiSelect_ ? QItemSelectionModel::NoUpdate : QItemSelectionModel::ClearAndSelect);
}

namespace {

QListWidgetItem* itemAt(QListWidget* list, int i) {
    QListWidgetItem* item = list->item(i);
    if (!item) throw rtl::EListError("List index out of bounds (" + std::to_string(i) + ")");
    return item;
}

}  // namespace

bool TListBox::getSelected(int i) const { return itemAt(l_->list, i)->isSelected(); }

void TListBox::setSelected(int i, bool v) {
    QListWidgetItem* item = itemAt(l_->list, i);
    Quiet q(l_->quiet);
    if (!multiSelect_ && v) l_->list->setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
    else item->setSelected(v);
}

void TListBox::setMultiSelect(bool v) {
    multiSelect_ = v;
    l_->list->setSelectionMode(!v ? QAbstractItemView::SingleSelection
                                  : extendedSelect_ ? QAbstractItemView::ExtendedSelection
                                                    : QAbstractItemView::MultiSelection);
}

void TListBox::setExtendedSelect(bool v) {
    extendedSelect_ = v;
    setMultiSelect(multiSelect_);
}

bool TListBox::getSorted() const { return l_->items->sorted; }

void TListBox::setSorted(bool v) {
    l_->items->sorted = v;
    if (v) l_->items->Sort();
}

int TListBox::getTopIndex() const {
    const QModelIndex i = l_->list->indexAt(QPoint(1, 1));
    return i.isValid() ? i.row() : 0;
}

void TListBox::setTopIndex(int v) {
    if (QListWidgetItem* item = l_->list->item(std::clamp(v, 0, std::max(0, l_->list->count() - 1))))
        l_->list->scrollToItem(item, QAbstractItemView::PositionAtTop);
}

int TListBox::getItemHeight() const {
    const int h = l_->list->sizeHintForRow(0);
    return h > 0 ? h : l_->list->fontMetrics().height() + 2;
}

void TListBox::setColumns(int v) {
    columns_ = std::max(0, v);
    l_->list->columns = columns_;
    l_->list->layoutColumns();
}

int TListBox::getSelCount() const { return static_cast<int>(l_->list->selectionModel()->selectedRows().size()); }

TCanvas* TListBox::Canvas() {
    l_->canvas.Font->Assign(*Font);
    return &l_->canvas;
}

void TListBox::FontChanged() {
    TWinControl::FontChanged();
    if (columns_ > 0) l_->list->layoutColumns();
}

int TListBox::ItemAtPos(TPoint p, bool existing) const {
    QListWidget* list = l_->list;
    const QPoint vp = list->viewport()->mapFrom(list, QPoint(p.X, p.Y));
    const QModelIndex i = list->indexAt(vp);
    if (i.isValid()) return i.row();
    return existing ? -1 : list->count();
}

TRect TListBox::ItemRect(int index) const {
    QListWidget* list = l_->list;
    QListWidgetItem* item = list->item(index);
    if (!item) return {};
    const QRect r = list->visualItemRect(item).translated(list->viewport()->pos());
    return {r.left(), r.top(), r.right() + 1, r.bottom() + 1};
}

void TListBox::ClearSelection() {
    Quiet q(l_->quiet);
    l_->list->clearSelection();
}

void TListBox::SelectAll() {
    Quiet q(l_->quiet);
    if (multiSelect_) l_->list->selectAll();
}

// --------------------------------------------------------- TCheckListBox

TCheckListBox::TCheckListBox(rtl::TComponent* owner) : TListBox(owner, true) {
    QObject::connect(l_->list, &QListWidget::itemChanged, Context(), [this](QListWidgetItem*) {
        if (l_->quiet == 0 && OnClickCheck) SafeCall([this] { OnClickCheck(this); });
    });
}

bool TCheckListBox::getChecked(int i) const { return itemAt(l_->list, i)->checkState() == Qt::Checked; }

void TCheckListBox::setChecked(int i, bool v) {
    QListWidgetItem* item = itemAt(l_->list, i);
    Quiet q(l_->quiet);
    item->setCheckState(v ? Qt::Checked : Qt::Unchecked);
}

// ------------------------------------------------------- buttons & boxes

TButton::TButton(rtl::TComponent* owner) : TWinControl(owner) {
    auto* button = new QPushButton;
    button->setAutoDefault(false);
    SetWidget(button);
    QObject::connect(button, &QPushButton::clicked, Context(), [this] { Click(); });
}

void TButton::setCaption(std::string v) {
    caption_ = std::move(v);
    static_cast<QPushButton*>(Widget())->setText(detail::DisplayText(caption_));
}

void TButton::setDefault(bool v) {
    default_ = v;
    static_cast<QPushButton*>(Widget())->setDefault(v);
}

void TButton::Click() {
    if (modalResult_ != mrNone)
        if (TForm* form = ParentForm()) form->ModalResult = modalResult_;
    TWinControl::Click();
}

namespace {

struct KindInfo {
    const char* caption;
    TModalResult result;
    bool isDefault, isCancel;
};

const KindInfo& kindInfo(TBitBtnKind k) {
    static const KindInfo kKinds[] = {
        {"", mrNone, false, false},      {"OK", mrOk, true, false},        {"Cancel", mrCancel, false, true},
        {"&Help", mrNone, false, false}, {"&Yes", mrYes, true, false},     {"&No", mrNo, false, true},
        {"&Close", mrNone, false, false}, {"Abort", mrAbort, false, true}, {"&Retry", mrRetry, false, false},
        {"&Ignore", mrIgnore, false, false}, {"&All", mrNone, false, false}};
    return kKinds[k];
}

}  // namespace

void TBitBtn::setKind(TBitBtnKind v) {
    kind_ = v;
    if (v == bkCustom) return;
    const KindInfo& k = kindInfo(v);
    if (Caption().empty()) Caption = k.caption;
    ModalResult = k.result;
    Default = k.isDefault;
    Cancel = k.isCancel;
}

void TBitBtn::Click() {
    TButton::Click();
    if (kind_ == bkClose)
        if (TForm* form = ParentForm()) form->Close();
}

TCheckBox::TCheckBox(rtl::TComponent* owner) : TWinControl(owner) {
    auto* box = new QCheckBox;
    SetWidget(box);
    QObject::connect(box, &QCheckBox::stateChanged, Context(), [this](int) { Click(); });
}

void TCheckBox::setCaption(std::string v) {
    caption_ = std::move(v);
    static_cast<QCheckBox*>(Widget())->setText(detail::DisplayText(caption_));
}

bool TCheckBox::getChecked() const { return static_cast<QCheckBox*>(Widget())->checkState() == Qt::Checked; }
void TCheckBox::setChecked(bool v) { static_cast<QCheckBox*>(Widget())->setCheckState(v ? Qt::Checked : Qt::Unchecked); }

TCheckBoxState TCheckBox::getState() const {
    static const TCheckBoxState kStates[] = {cbUnchecked, cbGrayed, cbChecked};
    return kStates[static_cast<QCheckBox*>(Widget())->checkState()];
}

void TCheckBox::setState(TCheckBoxState v) {
    static const Qt::CheckState kStates[] = {Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked};
    static_cast<QCheckBox*>(Widget())->setCheckState(kStates[v]);
}

bool TCheckBox::getAllowGrayed() const { return static_cast<QCheckBox*>(Widget())->isTristate(); }
void TCheckBox::setAllowGrayed(bool v) { static_cast<QCheckBox*>(Widget())->setTristate(v); }

TRadioButton::TRadioButton(rtl::TComponent* owner) : TWinControl(owner) {
    auto* button = new QRadioButton;
    SetWidget(button);
    QObject::connect(button, &QRadioButton::toggled, Context(), [this](bool on) {
        if (on) Click();
    });
}

void TRadioButton::setCaption(std::string v) {
    caption_ = std::move(v);
    static_cast<QRadioButton*>(Widget())->setText(detail::DisplayText(caption_));
}

bool TRadioButton::getChecked() const { return static_cast<QRadioButton*>(Widget())->isChecked(); }
void TRadioButton::setChecked(bool v) { static_cast<QRadioButton*>(Widget())->setChecked(v); }

TGroupBox::TGroupBox(rtl::TComponent* owner) : TWinControl(owner) {
    SetWidget(new QGroupBox);
    SetPassiveMouse(true);
}

void TGroupBox::setCaption(std::string v) {
    caption_ = std::move(v);
    static_cast<QGroupBox*>(Widget())->setTitle(detail::DisplayText(caption_));
}

}  // namespace ui

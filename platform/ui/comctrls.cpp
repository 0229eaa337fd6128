#include "platform/ui/comctrls.h"


#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "platform/rtl/sysutils.h"
#include "platform/ui/controls_p.h"
#include "platform/ui/printers.h"

namespace ui {

using detail::Q;
using detail::QtColor;
using detail::S;

namespace {

void checkRow(int index, int count) {
    if (index < 0 || index >= count) throw rtl::EListError("List index out of bounds (" + rtl::IntToStr(index) + ")");
}

// The rows of an owner-data list: texts and colours come from the list
// view's events, one row at a time, and are kept only until the next paint.
class TOwnerDataModel : public QAbstractTableModel {
public:
    explicit TOwnerDataModel(TListView* view) : view_(view), row_(view) {}

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : count; }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : view_->Columns->Count; }
    Qt::ItemFlags flags(const QModelIndex&) const override { return Qt::ItemIsEnabled | Qt::ItemIsSelectable; }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= count) return {};
        if (role != Qt::DisplayRole && role != Qt::BackgroundRole && role != Qt::ForegroundRole) return {};
        fill(index.row());
        if (role == Qt::BackgroundRole) return background_;
        if (role == Qt::ForegroundRole) return foreground_;
        const int col = index.column();
        if (col == 0) return Q(row_.Caption);
        return col - 1 < row_.SubItems->Count() ? Q((*row_.SubItems)[col - 1]) : QVariant();
    }

    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o != Qt::Horizontal || role != Qt::DisplayRole || section >= view_->Columns->Count) return {};
        return Q(view_->Columns[section]->Caption());
    }

    void setCount(int n) {
        n = std::max(0, n);
        invalidate();
        if (n > count) {
            beginInsertRows(QModelIndex(), count, n - 1);
            count = n;
            endInsertRows();
        } else if (n < count) {
            beginRemoveRows(QModelIndex(), n, count - 1);
            count = n;
            endRemoveRows();
        }
    }
    void columnAdded(int i) {
        beginInsertColumns(QModelIndex(), i, i);
        endInsertColumns();
    }
    void columnsCleared(int n) {
        if (n == 0) return;
        beginRemoveColumns(QModelIndex(), 0, n - 1);
        endRemoveColumns();
    }
    void rowsChanged(int first, int last) {
        invalidate();
        if (count == 0 || columnCount(QModelIndex()) == 0) return;
        first = std::clamp(first, 0, count - 1);
        last = std::clamp(last, first, count - 1);
        emit dataChanged(index(first, 0), index(last, columnCount(QModelIndex()) - 1));
    }
    void captionChanged(int i) { emit headerDataChanged(Qt::Horizontal, i, i); }
    void invalidate() { cached_ = -1; }

    // Every paint asks afresh.
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) invalidate();
        return false;
    }

    int count = 0;

private:
    TCustomDrawState drawState(int row) const {
        QTableView* table = static_cast<QTableView*>(view_->Widget());
        TCustomDrawState s = 0;
        if (table->selectionModel()->isRowSelected(row, QModelIndex())) s |= cdsSelected;
        if (table->currentIndex().row() == row) s |= cdsFocused;
        return s;
    }

    void fill(int row) const {
        if (row == cached_) return;
        cached_ = row;
        row_.Reset(row);
        if (view_->OnData) SafeCall([&] { view_->OnData(view_, &row_); });
        background_ = foreground_ = QVariant();
        if (!view_->OnCustomDrawItem) return;
        TCanvas& canvas = *view_->Canvas;
        const TColor base = view_->Color, text = view_->Font->Color;
        canvas.Brush->Color = base;
        canvas.Font->Color = text;
        bool defaultDraw = true;
        SafeCall([&] { view_->OnCustomDrawItem(view_, &row_, drawState(row), defaultDraw); });
        if (canvas.Brush->Color() != base) background_ = QtColor(canvas.Brush->Color);
        if (canvas.Font->Color() != text) foreground_ = QtColor(canvas.Font->Color);
    }

    TListView* view_;
    mutable TListItem row_;
    mutable int cached_ = -1;
    mutable QVariant background_, foreground_;
};

}  // namespace

struct TListViewPrivate {
    explicit TListViewPrivate(TListView* view)
        : columns(view), items(view), scratch(view), table(new QTableView), model(new TOwnerDataModel(view)) {
        model->setParent(table);
    }
    TListColumns columns;
    TListItems items;
    TCanvas canvas;
    TListItem scratch;
    QTableView* table;
    TOwnerDataModel* model;
    int updates = 0;

    QItemSelectionModel* selection() const { return table->selectionModel(); }
    QModelIndex at(int row) const { return model->index(row, 0); }

    // The selected rows as sorted, disjoint spans.
    std::vector<std::pair<int, int>> spans() const {
        std::vector<std::pair<int, int>> s;
        for (const QItemSelectionRange& r : selection()->selection()) s.emplace_back(r.top(), r.bottom());
        std::sort(s.begin(), s.end());
        std::vector<std::pair<int, int>> merged;
        for (const auto& p : s) {
            if (!merged.empty() && p.first <= merged.back().second + 1) merged.back().second = std::max(merged.back().second, p.second);
            else merged.push_back(p);
        }
        return merged;
    }
};

// ---------------------------------------------------------- TListColumn

void TListColumn::setCaption(std::string v) {
    caption_ = std::move(v);
    view_->v_->model->captionChanged(index_);
}

int TListColumn::getWidth() const { return view_->v_->table->horizontalHeader()->sectionSize(index_); }
void TListColumn::setWidth(int v) { view_->v_->table->horizontalHeader()->resizeSection(index_, std::max(0, v)); }

TListColumn* TListColumns::Add() {
    const int i = getCount();
    columns_.push_back(std::make_unique<TListColumn>(view_, i));
    view_->v_->model->columnAdded(i);
    view_->v_->table->horizontalHeader()->resizeSection(i, 50);
    return columns_.back().get();
}

void TListColumns::Clear() {
    const int n = getCount();
    columns_.clear();
    view_->v_->model->columnsCleared(n);
}

TListColumn* TListColumns::Items(int index) const {
    checkRow(index, getCount());
    return columns_[static_cast<size_t>(index)].get();
}

// ------------------------------------------------------------ TListItem

void TListItem::Reset(int index) {
    index_ = index;
    Caption.clear();
    subItems_.Clear();
}

bool TListItem::getSelected() const { return view_->v_->selection()->isRowSelected(index_, QModelIndex()); }

void TListItem::setSelected(bool v) {
    TListViewPrivate& p = *view_->v_;
    checkRow(index_, p.model->count);
    QItemSelectionModel::SelectionFlags f = v ? QItemSelectionModel::Select : QItemSelectionModel::Deselect;
    if (v && !view_->MultiSelect) f = QItemSelectionModel::ClearAndSelect;
    p.selection()->select(p.at(index_), f | QItemSelectionModel::Rows);
}

bool TListItem::getFocused() const { return view_->v_->table->currentIndex().row() == index_; }

void TListItem::setFocused(bool v) {
    TListViewPrivate& p = *view_->v_;
    checkRow(index_, p.model->count);
    if (v) p.selection()->setCurrentIndex(p.at(index_), QItemSelectionModel::NoUpdate);
    else if (getFocused()) p.selection()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

void TListItem::MakeVisible(bool) {
    TListViewPrivate& p = *view_->v_;
    if (index_ >= 0 && index_ < p.model->count) p.table->scrollTo(p.at(index_), QAbstractItemView::EnsureVisible);
}

// ----------------------------------------------------------- TListItems

int TListItems::getCount() const { return view_->v_->model->count; }
void TListItems::setCount(int v) { view_->v_->model->setCount(v); }

TListItem* TListItems::Item(int index) const {
    TListViewPrivate& p = *view_->v_;
    checkRow(index, p.model->count);
    p.scratch.Reset(index);
    if (view_->OnData) view_->OnData(view_, &p.scratch);
    return &p.scratch;
}

void TListItems::BeginUpdate() {
    TListViewPrivate& p = *view_->v_;
    if (p.updates++ == 0) p.table->viewport()->setUpdatesEnabled(false);
}

void TListItems::EndUpdate() {
    TListViewPrivate& p = *view_->v_;
    if (p.updates == 0 || --p.updates > 0) return;
    p.model->invalidate();
    p.table->viewport()->setUpdatesEnabled(true);
    p.table->viewport()->update();
}

// ------------------------------------------------------------ TListView

TListView::TListView(rtl::TComponent* owner)
    : TWinControl(owner),
      v_(std::make_unique<TListViewPrivate>(this)),
      Columns(&v_->columns),
      Items(&v_->items),
      Canvas(&v_->canvas) {
    QTableView* table = v_->table;
    table->setModel(v_->model);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    table->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    table->setWordWrap(false);
    table->setCornerButtonEnabled(false);
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setMinimumSectionSize(1);
    QHeaderView* header = table->horizontalHeader();
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    SetWidget(table);
    table->viewport()->installEventFilter(v_->model);
    SetClickOnRelease(true);
    setMultiSelect(false);
    setGridLines(false);
    setHideSelection(true);
    QObject::connect(header, &QHeaderView::sectionClicked, Context(), [this](int i) {
        if (OnColumnClick && i < Columns->Count) SafeCall([&] { OnColumnClick(this, Columns[i]); });
    });
    QObject::connect(header, &QHeaderView::customContextMenuRequested, Context(), [this, header](const QPoint& pos) {
        const int i = header->logicalIndexAt(pos);
        if (!OnColumnRightClick || i < 0 || i >= Columns->Count) return;
        const QPoint p = Widget()->mapFromGlobal(header->viewport()->mapToGlobal(pos));
        SafeCall([&] { OnColumnRightClick(this, Columns[i], TPoint{p.x(), p.y()}); });
    });
    QObject::connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, Context(),
                     [this](const QItemSelection& on, const QItemSelection& off) {
                         if (!OnSelectItem) return;
                         for (const auto* s : {&off, &on})
                             for (const QItemSelectionRange& r : *s)
                                 for (int row = r.top(); row <= r.bottom(); ++row)
                                     if (row < v_->model->count)
                                         SafeCall([&] { OnSelectItem(this, Items->Item(row), s == &on); });
                     });
    FontChanged();
}

TListView::~TListView() = default;

bool TListView::getShowColumnHeaders() const { return !v_->table->horizontalHeader()->isHidden(); }
void TListView::setShowColumnHeaders(bool v) { v_->table->horizontalHeader()->setHidden(!v); }

int ScrollBarWidth() { return QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent); }

bool TListView::getMultiSelect() const {
    return v_->table->selectionMode() == QAbstractItemView::ExtendedSelection;
}

void TListView::setMultiSelect(bool v) {
    v_->table->setSelectionMode(v ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

namespace {
// Draws a table's selection as plain rows while it lacks the focus and the
// list hides its selection then.
class TSelectionPainter : public QObject {
public:
    TSelectionPainter(QTableView* table, const bool* hide) : QObject(table), table_(table), hide_(hide) {
        table->installEventFilter(this);
    }
    void apply() {
        QPalette pal = table_->palette();
        const QPalette normal = table_->style()->standardPalette();
        const bool plain = *hide_ && !table_->hasFocus();
        for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
            pal.setColor(g, QPalette::Highlight, plain ? pal.color(g, QPalette::Base) : normal.color(g, QPalette::Highlight));
            pal.setColor(g, QPalette::HighlightedText,
                         plain ? pal.color(g, QPalette::Text) : normal.color(g, QPalette::HighlightedText));
        }
        table_->setPalette(pal);
    }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::FocusIn || e->type() == QEvent::FocusOut) apply();
        return false;
    }

private:
    QTableView* table_;
    const bool* hide_;
};
}  // namespace

void TListView::setHideSelection(bool v) {
    hideSelection_ = v;
    if (!selectionPainter_) selectionPainter_ = new TSelectionPainter(v_->table, &hideSelection_);
    static_cast<TSelectionPainter*>(selectionPainter_)->apply();
}

bool TListView::getGridLines() const { return v_->table->showGrid(); }
void TListView::setGridLines(bool v) { v_->table->setShowGrid(v); }

int TListView::getItemIndex() const {
    const auto s = v_->spans();
    return s.empty() ? -1 : s.front().first;
}

void TListView::setItemIndex(int v) {
    ClearSelection();
    if (v < 0) return;
    checkRow(v, v_->model->count);
    v_->selection()->setCurrentIndex(v_->at(v), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

TListItem* TListView::getSelected() const {
    const int i = getItemIndex();
    return i < 0 ? nullptr : Items->Item(i);
}

TListItem* TListView::getItemFocused() const {
    const int i = v_->table->currentIndex().row();
    return i < 0 ? nullptr : Items->Item(i);
}

int TListView::getSelCount() const {
    int n = 0;
    for (const auto& s : v_->spans()) n += s.second - s.first + 1;
    return n;
}

TListItem* TListView::getTopItem() const {
    const QModelIndex i = v_->table->indexAt(QPoint(0, 0));
    return i.isValid() ? Items->Item(i.row()) : nullptr;
}

int TListView::getVisibleRowCount() const {
    const int h = std::max(1, v_->table->verticalHeader()->defaultSectionSize());
    return v_->table->viewport()->height() / h;
}

void TListView::ClearSelection() { v_->selection()->clearSelection(); }
void TListView::SelectAll() { v_->table->selectAll(); }

std::vector<int> TListView::SelectedIndexes() const {
    std::vector<int> rows;
    for (const auto& s : v_->spans())
        for (int r = s.first; r <= s.second; ++r) rows.push_back(r);
    return rows;
}

TListItem* TListView::GetNextItem(TListItem* start, TSearchDirection, TItemStates states) {
    const int from = start ? start->Index() : -1;
    int found = -1;
    if (states & isSelected) {
        for (const auto& s : v_->spans())
            if (s.second > from) {
                found = std::max(s.first, from + 1);
                break;
            }
    }
    if (states & isFocused) {
        const int cur = v_->table->currentIndex().row();
        if (cur > from && (found < 0 || cur < found)) found = cur;
    }
    if (!(states & (isSelected | isFocused)) && from + 1 < v_->model->count) found = from + 1;
    return found < 0 ? nullptr : Items->Item(found);
}

void TListView::UpdateItems(int first, int last) { v_->model->rowsChanged(first, last); }

int TListView::ScrollPos(bool horizontal) const {
    return (horizontal ? v_->table->horizontalScrollBar() : v_->table->verticalScrollBar())->value();
}

void TListView::Scroll(int dx, int dy) {
    QScrollBar* h = v_->table->horizontalScrollBar();
    QScrollBar* v = v_->table->verticalScrollBar();
    h->setValue(h->value() + dx);
    v->setValue(v->value() + dy / std::max(1, v_->table->verticalHeader()->defaultSectionSize()));
}

void TListView::FontChanged() {
    TWinControl::FontChanged();
    const QFontMetrics m(Font->ToQFont());
    v_->table->verticalHeader()->setDefaultSectionSize(m.height() + 4);
    v_->model->invalidate();
}

// ------------------------------------------------------------ TRichEdit

// Tells the rich edit's subclass which lines changed, at once, and that
// the view may differ, once the events of the moment are done.
struct TRichEditPrivate : public QObject {
    explicit TRichEditPrivate(TRichEdit* q) : q(q) {}

    bool eventFilter(QObject*, QEvent* e) override {
        switch (e->type()) {
            case QEvent::FocusIn:
            case QEvent::FocusOut:
            case QEvent::Show:
            case QEvent::Resize:
                schedule();
                break;
            default:
                break;
        }
        return false;
    }

    void contentsChange(int from, int added) {
        if (q->InFormat() || q->Destroying()) return;
        QTextDocument* doc = q->Document();
        const int now = doc->blockCount();
        const QTextBlock first = doc->findBlock(from), last = doc->findBlock(from + added);
        const int a = first.isValid() ? first.blockNumber() : 0;
        const int b = last.isValid() ? last.blockNumber() : now - 1;
        const int delta = now - blocks;
        blocks = now;
        SafeCall([&] { q->LinesChanged(a, std::max(1, b - a + 1), delta); });
        schedule();
    }

    void schedule() {
        if (pending || q->Destroying()) return;
        pending = true;
        QTimer::singleShot(0, this, [this] {
            pending = false;
            if (!q->Destroying()) SafeCall([this] { q->ViewChanged(); });
        });
    }

    TRichEdit* q;
    int blocks = 1;
    bool pending = false;
};

TRichEdit::TRichEdit(rtl::TComponent* owner) : TCustomMemo(owner), r_(std::make_unique<TRichEditPrivate>(this)) {
    QPlainTextEdit* editor = Editor();
    QTextDocument* doc = Document();
    doc->setUndoRedoEnabled(false);
    r_->blocks = doc->blockCount();
    TRichEditPrivate* r = r_.get();
    QObject::connect(doc, &QTextDocument::contentsChange, r, [r](int from, int, int added) { r->contentsChange(from, added); });
    QObject::connect(editor, &QPlainTextEdit::cursorPositionChanged, r, [r] { r->schedule(); });
    QObject::connect(editor->verticalScrollBar(), &QScrollBar::valueChanged, r, [r] { r->schedule(); });
    QObject::connect(editor->horizontalScrollBar(), &QScrollBar::valueChanged, r, [r] { r->schedule(); });
    editor->installEventFilter(r);
    editor->viewport()->installEventFilter(r);
}

TRichEdit::~TRichEdit() {
    // The widget outlives this part by a little: no more calls into it.
    if (QPlainTextEdit* editor = Editor()) {
        editor->removeEventFilter(r_.get());
        editor->viewport()->removeEventFilter(r_.get());
    }
}

void TRichEdit::SetLineUnderlines(int Line, const std::vector<std::pair<int64_t, int64_t>>& Ranges, TColor Color) {
    QTextDocument* doc = Document();
    const QTextBlock block = doc->findBlockByNumber(Line);
    if (!block.isValid()) return;
    struct Run {
        int from, to;
        QTextCharFormat format;
    };
    std::vector<Run> waves;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment f = it.fragment();
        if (f.isValid() && f.charFormat().underlineStyle() == QTextCharFormat::WaveUnderline)
            waves.push_back({f.position(), f.position() + f.length(), f.charFormat()});
    }
    if (waves.empty() && Ranges.empty()) return;
    const bool modified = doc->isModified();
    BeginFormat();
    QTextCursor c(doc);
    // A wave takes the place of the text's own underline: what it was is
    // kept beside the wave and comes back when the wave goes.
    constexpr int kOwnUnderline = QTextFormat::UserProperty + 1, kOwnUnderlineColor = QTextFormat::UserProperty + 2;
    for (Run& w : waves) {
        QTextCharFormat& f = w.format;
        f.clearProperty(QTextFormat::TextUnderlineStyle);
        f.clearProperty(QTextFormat::TextUnderlineColor);
        if (f.hasProperty(kOwnUnderline)) f.setProperty(QTextFormat::TextUnderlineStyle, f.property(kOwnUnderline));
        if (f.hasProperty(kOwnUnderlineColor))
            f.setProperty(QTextFormat::TextUnderlineColor, f.property(kOwnUnderlineColor));
        f.clearProperty(kOwnUnderline);
        f.clearProperty(kOwnUnderlineColor);
        c.setPosition(w.from);
        c.setPosition(w.to, QTextCursor::KeepAnchor);
        c.setCharFormat(f);
    }
    if (!Ranges.empty()) {
        const detail::TTextMap map(block.text());
        const int end = block.length() - 1;
        struct Part {
            int from, to;
            QTextCharFormat wave;
        };
        std::vector<Part> parts;
        for (const auto& [from, to] : Ranges) {
            const int a = block.position() + std::min(map.ToChars(from), end);
            const int b = block.position() + std::min(map.ToChars(to, true), end);
            if (b <= a) continue;
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment f = it.fragment();
                const int x = std::max(a, f.position()), y = std::min(b, f.position() + f.length());
                if (!f.isValid() || y <= x) continue;
                const QTextCharFormat own = f.charFormat();
                QTextCharFormat wave;
                if (own.hasProperty(QTextFormat::TextUnderlineStyle))
                    wave.setProperty(kOwnUnderline, own.property(QTextFormat::TextUnderlineStyle));
                if (own.hasProperty(QTextFormat::TextUnderlineColor))
                    wave.setProperty(kOwnUnderlineColor, own.property(QTextFormat::TextUnderlineColor));
                wave.setUnderlineStyle(QTextCharFormat::WaveUnderline);
                wave.setUnderlineColor(QtColor(Color));
                parts.push_back({x, y, wave});
            }
        }
        for (const Part& part : parts) {
            c.setPosition(part.from);
            c.setPosition(part.to, QTextCursor::KeepAnchor);
            c.mergeCharFormat(part.wave);
        }
    }
    EndFormat();
    // A format is no edit of the text.
    if (!modified) doc->setModified(false);
}

void TRichEdit::ViewChangedLater() { r_->schedule(); }

void TRichEdit::VisibleLines(int& First, int& Last) const {
    const QPlainTextEdit* editor = Editor();
    First = editor->cursorForPosition(QPoint(0, 0)).blockNumber();
    Last = std::max(First, editor->cursorForPosition(QPoint(0, std::max(0, editor->viewport()->height() - 1))).blockNumber());
}

void TRichEdit::SelectionChanged() {
    if (OnSelectionChange) SafeCall([this] { OnSelectionChange(this); });
}

void TRichEdit::Print(const std::string& caption) {
    std::unique_ptr<QTextDocument> copy(Document()->clone());
    Printer()->PrintDocument(*copy, caption, PageRect);
}

namespace {

QTextCharFormat attributesOf(QPlainTextEdit* edit, bool defaults) {
    QTextCharFormat f;
    if (defaults) {
        f.setFont(edit->document()->defaultFont());
        f.setForeground(edit->palette().color(QPalette::Text));
        return f;
    }
    f = edit->textCursor().charFormat();
    if (f.foreground().style() == Qt::NoBrush) f.setForeground(edit->palette().color(QPalette::Text));
    if (f.fontFamilies().toStringList().isEmpty()) f.setFontFamilies({edit->document()->defaultFont().family()});
    if (f.fontPointSize() <= 0) f.setFontPointSize(edit->document()->defaultFont().pointSizeF());
    return f;
}

}  // namespace

TColor TTextAttributes::getColor() const {
    return detail::FromQColor(attributesOf(edit_->Editor(), defaults_).foreground().color());
}

std::string TTextAttributes::getName() const {
    const QStringList families = attributesOf(edit_->Editor(), defaults_).fontFamilies().toStringList();
    return families.isEmpty() ? std::string() : S(families.front());
}

int TTextAttributes::getSize() const {
    return static_cast<int>(std::lround(attributesOf(edit_->Editor(), defaults_).fontPointSize()));
}

int TTextAttributes::getHeight() const { return -static_cast<int>(std::lround(getSize() * double(kPixelsPerInch) / 72)); }

TUnderlineStyle TTextAttributes::getUnderlineStyle() const {
    switch (attributesOf(edit_->Editor(), defaults_).underlineStyle()) {
        case QTextCharFormat::NoUnderline:
            return usNone;
        case QTextCharFormat::WaveUnderline:
        case QTextCharFormat::SpellCheckUnderline:
            return usWave;
        default:
            return usSingle;
    }
}

TColor TTextAttributes::getUnderlineColor() const {
    const QColor c = attributesOf(edit_->Editor(), defaults_).underlineColor();
    return c.isValid() ? detail::FromQColor(c) : clDefault;
}

TFontStyles TTextAttributes::getStyle() const {
    const QTextCharFormat f = attributesOf(edit_->Editor(), defaults_);
    return (f.fontWeight() >= QFont::Bold ? fsBold : 0u) | (f.fontItalic() ? fsItalic : 0u) |
           (f.fontUnderline() ? fsUnderline : 0u) | (f.fontStrikeOut() ? fsStrikeOut : 0u);
}

namespace {

QTextCharFormat styleFormat(TFontStyles v) {
    QTextCharFormat f;
    f.setFontWeight(v & fsBold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(v & fsItalic);
    f.setFontUnderline(v & fsUnderline);
    f.setFontStrikeOut(v & fsStrikeOut);
    return f;
}

// The defaults: the document's font and the text colour of the palette.
void applyDefaults(QPlainTextEdit* editor, const QTextCharFormat& f) {
    if (f.hasProperty(QTextFormat::ForegroundBrush)) {
        QPalette pal = editor->palette();
        pal.setColor(QPalette::Text, f.foreground().color());
        editor->setPalette(pal);
    }
    QFont font = editor->document()->defaultFont();
    if (f.hasProperty(QTextFormat::FontFamilies)) font.setFamilies(f.fontFamilies().toStringList());
    if (f.hasProperty(QTextFormat::FontPointSize)) font.setPointSizeF(f.fontPointSize());
    if (f.hasProperty(QTextFormat::FontWeight)) font.setBold(f.fontWeight() >= QFont::Bold);
    if (f.hasProperty(QTextFormat::FontItalic)) font.setItalic(f.fontItalic());
    if (f.hasProperty(QTextFormat::FontUnderline)) font.setUnderline(f.fontUnderline());
    if (f.hasProperty(QTextFormat::FontStrikeOut)) font.setStrikeOut(f.fontStrikeOut());
    editor->document()->setDefaultFont(font);
}

}  // namespace

// Formats the selection (or what is typed next), or the defaults; never
// counted as a change of the text.
void TTextAttributes::apply(const QTextCharFormat& f) {
    QPlainTextEdit* editor = edit_->Editor();
    const bool modified = editor->document()->isModified();
    edit_->BeginFormat();
    if (defaults_) {
        applyDefaults(editor, f);
    } else {
        QTextCursor c = editor->textCursor();
        if (c.hasSelection()) c.mergeCharFormat(f);
        else editor->mergeCurrentCharFormat(f);
    }
    edit_->EndFormat();
    if (!modified) editor->document()->setModified(false);
}

void TTextAttributes::setColor(TColor v) {
    QTextCharFormat f;
    f.setForeground(QtColor(v));
    apply(f);
}

void TTextAttributes::setName(std::string v) {
    QTextCharFormat f;
    f.setFontFamilies({Q(v)});
    apply(f);
}

void TTextAttributes::setSize(int v) {
    QTextCharFormat f;
    f.setFontPointSize(std::max(1, v));
    apply(f);
}

void TTextAttributes::setHeight(int v) { setSize(static_cast<int>(std::lround(std::abs(v) * 72.0 / kPixelsPerInch))); }

void TTextAttributes::setStyle(TFontStyles v) { apply(styleFormat(v)); }

void TTextAttributes::setUnderlineStyle(TUnderlineStyle v) {
    QTextCharFormat f;
    f.setUnderlineStyle(v == usWave ? QTextCharFormat::WaveUnderline
                        : v == usSingle ? QTextCharFormat::SingleUnderline
                                        : QTextCharFormat::NoUnderline);
    apply(f);
}

void TTextAttributes::setUnderlineColor(TColor v) {
    QTextCharFormat f;
    f.setUnderlineColor(v == clDefault ? QColor() : QtColor(v));
    apply(f);
}

void TTextAttributes::Assign(const TFont& font) {
    QTextCharFormat f = styleFormat(font.Style);
    f.setForeground(QtColor(font.Color));
    f.setFontFamilies({Q(font.Name())});
    f.setFontPointSize(std::max(1, font.Size()));
    apply(f);
}

// ----------------------------------------------------------- TStatusBar

void TStatusPanel::setText(std::string v) {
    text_ = std::move(v);
    label_->setText(detail::DisplayText(text_));
}

void TStatusPanel::setWidth(int v) {
    width_ = std::max(0, v);
    // The last panel reaches to the bar's right end whatever its width.
    if (last_) {
        label_->setMinimumWidth(0);
        label_->setMaximumWidth(QWIDGETSIZE_MAX);
    } else {
        label_->setFixedWidth(width_);
    }
}

void TStatusPanel::setAlignment(TAlignment v) {
    alignment_ = v;
    label_->setAlignment(detail::QtAlignment(v) | Qt::AlignVCenter);
}

TStatusPanel* TStatusPanels::Add() {
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setFrameShape(QFrame::StyledPanel);
    label->setFrameShadow(QFrame::Sunken);
    static_cast<QStatusBar*>(bar_->Widget())->addWidget(label, 1);
    if (!panels_.empty()) {
        panels_.back()->last_ = false;
        panels_.back()->Width = panels_.back()->Width();
    }
    panels_.push_back(std::make_unique<TStatusPanel>(label));
    panels_.back()->last_ = true;
    panels_.back()->Width = 50;
    return panels_.back().get();
}

void TStatusPanels::Clear() {
    for (auto& p : panels_) delete p->label_;
    panels_.clear();
}

TStatusPanel* TStatusPanels::Items(int index) const {
    checkRow(index, getCount());
    return panels_[static_cast<size_t>(index)].get();
}

TStatusBar::TStatusBar(rtl::TComponent* owner) : TWinControl(owner) {
    auto* bar = new QStatusBar;
    SetWidget(bar);
    SetPassiveMouse(true);
    Height = bar->fontMetrics().height() + 8;
    Align = alBottom;
}

void TStatusBar::setSimplePanel(bool v) {
    simplePanel_ = v;
    auto* bar = static_cast<QStatusBar*>(Widget());
    if (v) bar->showMessage(detail::DisplayText(simpleText_));
    else bar->clearMessage();
}

void TStatusBar::setSimpleText(std::string v) {
    simpleText_ = std::move(v);
    if (simplePanel_) static_cast<QStatusBar*>(Widget())->showMessage(detail::DisplayText(simpleText_));
}

// -------------------------------------------------------------- TUpDown

namespace {

// Up and Down in an up-down's associate press its buttons.
class TArrowKeys : public QObject {
public:
    TArrowKeys(TUpDown* upDown, QObject* parent) : QObject(parent), upDown_(upDown) {}
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::KeyPress || !upDown_->ArrowKeys) return false;
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->modifiers() != Qt::NoModifier || (k->key() != Qt::Key_Up && k->key() != Qt::Key_Down)) return false;
        upDown_->Step(k->key() == Qt::Key_Up ? btNext : btPrev);
        return true;
    }

private:
    TUpDown* upDown_;
};

}  // namespace

TUpDown::TUpDown(rtl::TComponent* owner) : TWinControl(owner) {
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (TUDBtnType b : {btNext, btPrev}) {
        auto* button = new QToolButton;
        button->setArrowType(b == btNext ? Qt::UpArrow : Qt::DownArrow);
        button->setAutoRepeat(true);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        layout->addWidget(button);
        QObject::connect(button, &QToolButton::clicked, box, [this, b] { Step(b); });
    }
    SetWidget(box);
    SetPassiveMouse(true);
    SetBounds(0, 0, 17, 21);
}

TUpDown::~TUpDown() {
    if (associate_) RemoveFreeNotification(associate_);
}

void TUpDown::showPosition() {
    auto* edit = dynamic_cast<TCustomEdit*>(associate_);
    if (!edit) return;
    std::string digits = rtl::IntToStr(std::abs(static_cast<int64_t>(position_)));
    if (thousands_)
        for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<size_t>(i), ",");
    edit->Text = (position_ < 0 ? "-" : "") + digits;
}

void TUpDown::setMin(int v) {
    min_ = v;
    setPosition(position_);
}

void TUpDown::setMax(int v) {
    max_ = v;
    setPosition(position_);
}

void TUpDown::setPosition(int v) {
    position_ = std::clamp(v, std::min(min_, max_), std::max(min_, max_));
    showPosition();
}

void TUpDown::setThousands(bool v) {
    thousands_ = v;
    showPosition();
}

void TUpDown::setAssociate(TWinControl* v) {
    if (associate_) RemoveFreeNotification(associate_);
    associate_ = v;
    if (!v) return;
    FreeNotification(v);
    delete keyFilter_;
    keyFilter_ = new TArrowKeys(this, Widget());
    v->Widget()->installEventFilter(keyFilter_);
    // The buttons take the right end of the associate's place.
    SetParent(v->Parent);
    const int w = Width;
    v->Width = std::max(0, v->Width - w);
    SetBounds(v->Left + v->Width, v->Top, w, v->Height);
    showPosition();
}

void TUpDown::Step(TUDBtnType button) {
    const int lo = std::min(min_, max_), hi = std::max(min_, max_);
    int64_t next = static_cast<int64_t>(position_) + (button == btNext ? increment_ : -increment_);
    if (next > hi) next = wrap_ ? lo : hi;
    if (next < lo) next = wrap_ ? hi : lo;
    setPosition(static_cast<int>(next));
    if (OnClick) SafeCall([&] { OnClick(this, button); });
}

void TUpDown::Notification(rtl::TComponent* component, rtl::TOperation op) {
    TWinControl::Notification(component, op);
    if (op == rtl::opRemove && component == associate_) associate_ = nullptr;
}

// ---------------------------------------------------------- page control

TPageControl::TPageControl(rtl::TComponent* owner) : TWinControl(owner) {
    auto* tabs = new QTabWidget;
    SetWidget(tabs);
    QObject::connect(tabs, &QTabWidget::currentChanged, Context(), [this](int) {
        if (quiet_ == 0 && OnChange) SafeCall([this] { OnChange(this); });
    });
}

void TPageControl::insertPage(TTabSheet* page) {
    if (std::find(pages_.begin(), pages_.end(), page) != pages_.end()) return;
    ++quiet_;
    pages_.push_back(page);
    static_cast<QTabWidget*>(Widget())->addTab(page->Widget(), detail::DisplayText(page->Caption()));
    --quiet_;
}

void TPageControl::removePage(TTabSheet* page) {
    auto it = std::find(pages_.begin(), pages_.end(), page);
    if (it == pages_.end()) return;
    ++quiet_;
    auto* tabs = static_cast<QTabWidget*>(Widget());
    tabs->removeTab(tabs->indexOf(page->Widget()));
    pages_.erase(it);
    --quiet_;
}

TTabSheet* TPageControl::Pages(int index) const {
    checkRow(index, getPageCount());
    return pages_[static_cast<size_t>(index)];
}

TTabSheet* TPageControl::getActivePage() const {
    const int i = getActivePageIndex();
    return i < 0 ? nullptr : pages_[static_cast<size_t>(i)];
}

void TPageControl::setActivePage(TTabSheet* v) {
    auto it = std::find(pages_.begin(), pages_.end(), v);
    if (it != pages_.end()) setActivePageIndex(static_cast<int>(it - pages_.begin()));
}

int TPageControl::getActivePageIndex() const {
    auto* tabs = static_cast<QTabWidget*>(Widget());
    QWidget* w = tabs->currentWidget();
    for (size_t i = 0; i < pages_.size(); ++i)
        if (pages_[i]->Widget() == w) return static_cast<int>(i);
    return -1;
}

void TPageControl::setActivePageIndex(int v) {
    checkRow(v, getPageCount());
    ++quiet_;
    static_cast<QTabWidget*>(Widget())->setCurrentWidget(pages_[static_cast<size_t>(v)]->Widget());
    --quiet_;
}

TTabSheet::TTabSheet(rtl::TComponent* owner) : TWinControl(owner) {
    SetWidget(new QWidget);
    SetPassiveMouse(true);
}

TTabSheet::~TTabSheet() {
    if (pageControl_) pageControl_->removePage(this);
}

void TTabSheet::setCaption(std::string v) {
    caption_ = std::move(v);
    if (!pageControl_) return;
    auto* tabs = static_cast<QTabWidget*>(pageControl_->Widget());
    tabs->setTabText(tabs->indexOf(Widget()), detail::DisplayText(caption_));
}

void TTabSheet::setPageControl(TPageControl* v) { SetParent(v); }

void TTabSheet::SetParent(TWinControl* parent) {
    if (pageControl_) {
        pageControl_->removePage(this);
        pageControl_ = nullptr;
    }
    TWinControl::SetParent(parent);
    if (auto* pc = dynamic_cast<TPageControl*>(parent)) {
        pageControl_ = pc;
        pc->insertPage(this);
    }
}

int TTabSheet::PageIndex() const {
    if (!pageControl_) return -1;
    for (int i = 0; i < pageControl_->PageCount; ++i)
        if (pageControl_->Pages(i) == this) return i;
    return -1;
}

}  // namespace ui

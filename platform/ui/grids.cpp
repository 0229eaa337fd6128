#include "platform/ui/grids.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <vector>

#include "platform/ui/controls_p.h"

namespace ui {

using detail::Q;
using detail::S;

namespace {

// The cell editor: reports the text when it opens and each change while
// the user types, writing it into the cell as it goes.
class TGridDelegate : public QStyledItemDelegate {
public:
    explicit TGridDelegate(TStringGrid* grid, QObject* parent) : QStyledItemDelegate(parent), grid_(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override {
        auto* e = new QLineEdit(parent);
        e->setFrame(false);
        const QPersistentModelIndex at(index);
        QObject::connect(e, &QLineEdit::textEdited, e, [this, at](const QString& text) { edited(at, text); });
        editor = e;
        return e;
    }
    void setEditorData(QWidget* w, const QModelIndex& index) const override {
        // The cell took the editor's own text: the editor is not opening, and
        // the text it began with stays as it was.
        if (writing_) return;
        std::string value = S(index.data().toString());
        if (grid_->OnGetEditText)
            SafeCall([&] { grid_->OnGetEditText(grid_, col(index), row(index), value); });
        static_cast<QLineEdit*>(w)->setText(Q(value));
    }
    void setModelData(QWidget* w, QAbstractItemModel* model, const QModelIndex& index) const override {
        const QString text = static_cast<QLineEdit*>(w)->text();
        if (model->data(index).toString() != text) edited(QPersistentModelIndex(index), text);
    }
    void destroyEditor(QWidget* w, const QModelIndex& index) const override {
        if (editor == w) editor = nullptr;
        QStyledItemDelegate::destroyEditor(w, index);
    }

    mutable QPointer<QWidget> editor;

private:
    int col(const QModelIndex& i) const { return i.column() + grid_->FixedCols; }
    int row(const QModelIndex& i) const { return i.row() + grid_->FixedRows; }
    void edited(const QPersistentModelIndex& at, const QString& text) const {
        if (!at.isValid()) return;
        const std::string value = S(text);
        {
            const QScopedValueRollback<bool> writing(writing_, true);
            grid_->SetCell(col(at), row(at), value);
        }
        if (grid_->OnSetEditText) SafeCall([&] { grid_->OnSetEditText(grid_, col(at), row(at), value); });
    }

    TStringGrid* grid_;
    mutable bool writing_ = false;
};

// The table: a click on the current cell opens its editor at once. The
// table's own way waits out the double-click time first and meanwhile
// takes typed keys for a search, so a fast typist's first keys were lost.
class TGridTable : public QTableWidget {
protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override {
        if (trigger == SelectedClicked) return QTableWidget::edit(index, EditKeyPressed, nullptr);
        return QTableWidget::edit(index, trigger, event);
    }
};

QTableWidgetItem* itemOf(QTableWidgetItem* existing, const std::function<void(QTableWidgetItem*)>& install) {
    if (existing) return existing;
    auto* item = new QTableWidgetItem;
    install(item);
    return item;
}

}  // namespace

struct TGridPrivate {
    QTableWidget* table = nullptr;
    TGridDelegate* delegate = nullptr;
    std::string corner;
};

TStringGrid::TStringGrid(rtl::TComponent* owner) : TWinControl(owner), g_(std::make_unique<TGridPrivate>()) {
    auto* table = new TGridTable;
    g_->table = table;
    g_->delegate = new TGridDelegate(this, table);
    table->setItemDelegate(g_->delegate);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->horizontalHeader()->setHighlightSections(false);
    table->verticalHeader()->setHighlightSections(false);
    SetWidget(table);
    reshape(5, 5);
    setOptions(options_);
    setDefaultRowHeight(24);
    setDefaultColWidth(64);
}

TStringGrid::~TStringGrid() = default;

void TStringGrid::reshape(int cols, int rows) {
    QTableWidget* t = g_->table;
    t->setColumnCount(std::max(0, cols - fixedCols_));
    t->setRowCount(std::max(0, rows - fixedRows_));
    for (int c = 0; c < t->columnCount(); ++c)
        if (!t->horizontalHeaderItem(c)) t->setHorizontalHeaderItem(c, new QTableWidgetItem);
    for (int r = 0; r < t->rowCount(); ++r)
        if (!t->verticalHeaderItem(r)) t->setVerticalHeaderItem(r, new QTableWidgetItem);
    t->horizontalHeader()->setVisible(fixedRows_ > 0);
    t->verticalHeader()->setVisible(fixedCols_ > 0);
}

int TStringGrid::getColCount() const { return g_->table->columnCount() + fixedCols_; }
int TStringGrid::getRowCount() const { return g_->table->rowCount() + fixedRows_; }
void TStringGrid::setColCount(int v) { reshape(std::max(v, fixedCols_ + 1), getRowCount()); }
void TStringGrid::setRowCount(int v) { reshape(getColCount(), std::max({v, fixedRows_, 1})); }

// The texts stay in their cells; only the fixed part moves.
void TStringGrid::refix(int& fixed, int v) {
    v = std::clamp(v, 0, 1);
    if (v == fixed) return;
    const int cols = getColCount(), rows = getRowCount();
    std::vector<std::string> cells;
    for (int c = 0; c < cols; ++c)
        for (int r = 0; r < rows; ++r) cells.push_back(GetCell(c, r));
    fixed = v;
    reshape(std::max(cols, fixedCols_ + 1), std::max(rows, fixedRows_));
    auto it = cells.begin();
    for (int c = 0; c < cols; ++c)
        for (int r = 0; r < rows; ++r) SetCell(c, r, *it++);
}

void TStringGrid::setFixedCols(int v) { refix(fixedCols_, v); }
void TStringGrid::setFixedRows(int v) { refix(fixedRows_, v); }

int TStringGrid::getDefaultRowHeight() const { return g_->table->verticalHeader()->defaultSectionSize(); }

void TStringGrid::setDefaultRowHeight(int v) {
    QHeaderView* h = g_->table->verticalHeader();
    h->setMinimumSectionSize(std::min(v, h->minimumSectionSize()));
    h->setDefaultSectionSize(v);
    g_->table->horizontalHeader()->setFixedHeight(v);
}

int TStringGrid::getDefaultColWidth() const { return g_->table->horizontalHeader()->defaultSectionSize(); }
void TStringGrid::setDefaultColWidth(int v) { g_->table->horizontalHeader()->setDefaultSectionSize(v); }

int TStringGrid::getRow() const {
    const int r = g_->table->currentRow();
    return (r < 0 ? 0 : r) + fixedRows_;
}

void TStringGrid::setRow(int v) {
    checkCell(getCol(), v);
    if (v >= fixedRows_) g_->table->setCurrentCell(v - fixedRows_, std::max(0, getCol() - fixedCols_));
}

int TStringGrid::getCol() const {
    const int c = g_->table->currentColumn();
    return (c < 0 ? 0 : c) + fixedCols_;
}

void TStringGrid::setCol(int v) {
    checkCell(v, getRow());
    if (v >= fixedCols_) g_->table->setCurrentCell(std::max(0, getRow() - fixedRows_), v - fixedCols_);
}

void TStringGrid::setOptions(TGridOptions v) {
    options_ = v;
    QTableWidget* t = g_->table;
    t->setEditTriggers(v & goEditing ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                           QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked
                                     : QAbstractItemView::NoEditTriggers);
    t->setTabKeyNavigation(v & goTabs);
    t->setShowGrid(v & (goVertLine | goHorzLine));
    t->setSelectionBehavior(v & goRowSelect ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    t->horizontalHeader()->setSectionResizeMode(v & goColSizing ? QHeaderView::Interactive : QHeaderView::Fixed);
    t->verticalHeader()->setSectionResizeMode(v & goRowSizing ? QHeaderView::Interactive : QHeaderView::Fixed);
}

bool TStringGrid::getEditorMode() const { return g_->delegate->editor != nullptr; }

void TStringGrid::setEditorMode(bool v) {
    QTableWidget* t = g_->table;
    if (v) {
        if (getEditorMode() || t->rowCount() == 0 || t->columnCount() == 0) return;
        if (!t->currentIndex().isValid()) t->setCurrentCell(0, 0);
        if (!t->currentItem()) t->setItem(t->currentRow(), t->currentColumn(), new QTableWidgetItem);
        t->editItem(t->currentItem());
        return;
    }
    if (QWidget* e = g_->delegate->editor) {
        emit g_->delegate->commitData(e);
        emit g_->delegate->closeEditor(e);
    }
}

int TStringGrid::getColWidth(int i) const {
    checkCell(i, 0);
    if (i < fixedCols_) return g_->table->verticalHeader()->width();
    return g_->table->horizontalHeader()->sectionSize(i - fixedCols_);
}

void TStringGrid::setColWidth(int i, int v) {
    checkCell(i, 0);
    if (i < fixedCols_) g_->table->verticalHeader()->setFixedWidth(v);
    else g_->table->horizontalHeader()->resizeSection(i - fixedCols_, v);
}

void TStringGrid::checkCell(int col, int row) const {
    if (col < 0 || row < 0 || col >= getColCount() || row >= getRowCount())
        throw EInvalidGridOperation("Grid index out of range");
}

std::string TStringGrid::GetCell(int col, int row) const {
    checkCell(col, row);
    QTableWidget* t = g_->table;
    const int c = col - fixedCols_, r = row - fixedRows_;
    if (c < 0 && r < 0) return g_->corner;
    const QTableWidgetItem* item = r < 0 ? t->horizontalHeaderItem(c) : c < 0 ? t->verticalHeaderItem(r) : t->item(r, c);
    return item ? S(item->text()) : std::string();
}

void TStringGrid::SetCell(int col, int row, const std::string& text) {
    checkCell(col, row);
    QTableWidget* t = g_->table;
    const int c = col - fixedCols_, r = row - fixedRows_;
    if (c < 0 && r < 0) {
        g_->corner = text;
        return;
    }
    QTableWidgetItem* item;
    if (r < 0) item = itemOf(t->horizontalHeaderItem(c), [&](QTableWidgetItem* i) { t->setHorizontalHeaderItem(c, i); });
    else if (c < 0) item = itemOf(t->verticalHeaderItem(r), [&](QTableWidgetItem* i) { t->setVerticalHeaderItem(r, i); });
    else item = itemOf(t->item(r, c), [&](QTableWidgetItem* i) { t->setItem(r, c, i); });
    item->setText(Q(text));
}

}  // namespace ui

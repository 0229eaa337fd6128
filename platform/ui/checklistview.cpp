// TCheckListView over a QTreeWidget without branches.
#include "platform/ui/checklistview.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTreeWidget>

#include "platform/ui/controls_p.h"

namespace ui {

using detail::Q;
using detail::S;

namespace {

class TTree : public QTreeWidget {
public:
    explicit TTree(TCheckListViewPrivate* v) : v_(v) {}
    bool editing() const { return state() == QAbstractItemView::EditingState; }
    QRect checkRect(const QModelIndex& index) const {
        QStyleOptionViewItem opt;
        initViewItemOption(&opt);
        opt.rect = visualRect(index);
        opt.features |= QStyleOptionViewItem::HasCheckIndicator;
        return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, this);
    }

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    TCheckListViewPrivate* v_;
};

}  // namespace

struct TCheckListViewPrivate {
    explicit TCheckListViewPrivate(TCheckListView* q) : q(q), tree(new TTree(this)) {}
    TCheckListView* q;
    TTree* tree;
    int quiet = 0;
    bool readOnly = true;
    // What each row showed last: the user's changes are told against it.
    std::vector<std::string> captions;
    std::vector<bool> checked;

    using Quiet = detail::Quiet;

    QTreeWidgetItem* item(int row) const {
        QTreeWidgetItem* it = tree->topLevelItem(row);
        if (!it) throw rtl::EListError("List index out of bounds (" + std::to_string(row) + ")");
        return it;
    }
    bool allowEdit(int row) {
        if (readOnly) return false;
        bool allow = true;
        if (q->OnEditing) SafeCall([&] { q->OnEditing(q, row, allow); });
        return allow;
    }
    void changed(QTreeWidgetItem* it, int column);
};

bool TTree::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (trigger == QAbstractItemView::AllEditTriggers || (editTriggers() & trigger)) {
        if (index.column() != 0 || !v_->allowEdit(index.row())) return false;
    }
    return QTreeWidget::edit(index, trigger, event);
}

void TTree::mouseReleaseEvent(QMouseEvent* e) {
    const QModelIndex index = indexAt(e->position().toPoint());
    const bool onBox = index.isValid() && checkRect(index.siblingAtColumn(0)).contains(e->position().toPoint());
    const bool wasEditing = editing();
    QTreeWidget::mouseReleaseEvent(e);
    if (e->button() != Qt::LeftButton || !index.isValid() || onBox || wasEditing || editing() ||
        !v_->q->CheckOnLabelClick())
        return;
    // A click on the text counts as a click on the box.
    QTreeWidgetItem* it = topLevelItem(index.row());
    if (it) it->setCheckState(0, it->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

void TCheckListViewPrivate::changed(QTreeWidgetItem* it, int column) {
    if (quiet > 0 || column != 0) return;
    const int row = tree->indexOfTopLevelItem(it);
    if (row < 0 || row >= static_cast<int>(captions.size())) return;
    const bool isChecked = it->checkState(0) == Qt::Checked;
    if (isChecked != checked[static_cast<size_t>(row)]) {
        checked[static_cast<size_t>(row)] = isChecked;
        // Told once the view is done with the item: a handler may refill
        // the list, which would pull the item from under the view.
        QMetaObject::invokeMethod(
            q->Context(),
            [q = q, row] {
                if (q->OnItemChecked && row < q->Count()) SafeCall([&] { q->OnItemChecked(q, row); });
            },
            Qt::QueuedConnection);
        return;
    }
    const std::string text = S(it->text(0));
    if (text == captions[static_cast<size_t>(row)]) return;
    bool accept = true;
    if (q->OnEdited) SafeCall([&] { q->OnEdited(q, row, text, accept); });
    // The handler may have refilled the list.
    if (row >= q->Count() || tree->topLevelItem(row) != it) return;
    if (accept) {
        // The handler may have set the caption it wants shown.
        captions[static_cast<size_t>(row)] = S(it->text(0));
    } else {
        Quiet hold(quiet);
        it->setText(0, Q(captions[static_cast<size_t>(row)]));
    }
}

TCheckListView::TCheckListView(rtl::TComponent* owner)
    : TWinControl(owner), v_(std::make_unique<TCheckListViewPrivate>(this)) {
    QTreeWidget* tree = v_->tree;
    tree->setRootIsDecorated(false);
    tree->setItemsExpandable(false);
    tree->setUniformRowHeights(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->header()->setStretchLastSection(false);
    tree->header()->setSectionsClickable(false);
    tree->setColumnCount(1);
    tree->setHeaderHidden(true);
    SetWidget(tree);
    AddEventWidget(tree->viewport());
    QObject::connect(tree, &QTreeWidget::itemChanged, Context(),
                     [this](QTreeWidgetItem* it, int column) { v_->changed(it, column); });
    QObject::connect(tree->selectionModel(), &QItemSelectionModel::selectionChanged, Context(),
                     [this](const QItemSelection& selected, const QItemSelection& deselected) {
                         if (v_->quiet > 0 || !OnSelectItem) return;
                         for (const QModelIndex& i : deselected.indexes())
                             if (i.column() == 0) SafeCall([&] { OnSelectItem(this, i.row(), false); });
                         for (const QModelIndex& i : selected.indexes())
                             if (i.column() == 0) SafeCall([&] { OnSelectItem(this, i.row(), true); });
                     });
}

TCheckListView::~TCheckListView() = default;

void TCheckListView::SetColumns(const std::vector<std::string>& Captions) {
    QStringList labels;
    for (const auto& c : Captions) labels << Q(c);
    v_->tree->setColumnCount(std::max<int>(1, static_cast<int>(labels.size())));
    v_->tree->setHeaderLabels(labels);
}

int TCheckListView::ColumnCount() const { return v_->tree->columnCount(); }
int TCheckListView::ColumnWidth(int Column) const { return v_->tree->columnWidth(Column); }
void TCheckListView::SetColumnWidth(int Column, int Width) { v_->tree->setColumnWidth(Column, Width); }
void TCheckListView::AutoSizeColumn(int Column) { v_->tree->resizeColumnToContents(Column); }
int TCheckListView::ViewWidth() const { return v_->tree->viewport()->width(); }
bool TCheckListView::VerticalScrollBarShown() const { return v_->tree->verticalScrollBar()->isVisible(); }

int TCheckListView::Count() const { return v_->tree->topLevelItemCount(); }

int TCheckListView::AddItem(const std::string& Caption, const std::vector<std::string>& SubItems) {
    TCheckListViewPrivate::Quiet hold(v_->quiet);
    auto* it = new QTreeWidgetItem;
    it->setText(0, Q(Caption));
    for (size_t i = 0; i < SubItems.size(); ++i) it->setText(static_cast<int>(i) + 1, Q(SubItems[i]));
    it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
    it->setCheckState(0, Qt::Unchecked);
    v_->tree->addTopLevelItem(it);
    v_->captions.push_back(Caption);
    v_->checked.push_back(false);
    return Count() - 1;
}

void TCheckListView::Clear() {
    TCheckListViewPrivate::Quiet hold(v_->quiet);
    v_->tree->clear();
    v_->captions.clear();
    v_->checked.clear();
}

std::string TCheckListView::Caption(int Row) const { return S(v_->item(Row)->text(0)); }

void TCheckListView::SetCaption(int Row, const std::string& Caption) {
    TCheckListViewPrivate::Quiet hold(v_->quiet);
    v_->item(Row)->setText(0, Q(Caption));
    v_->captions[static_cast<size_t>(Row)] = Caption;
}

std::string TCheckListView::SubItem(int Row, int Column) const { return S(v_->item(Row)->text(Column)); }

TRect TCheckListView::LabelRect(int Row) const {
    QTreeWidgetItem* it = v_->item(Row);
    const QModelIndex index = v_->tree->indexFromItem(it, 0);
    const QRect cell = v_->tree->visualRect(index);
    const QRect box = v_->tree->checkRect(index);
    const QPoint topLeft = v_->tree->viewport()->mapTo(v_->tree, QPoint(box.right() + 4, cell.top()));
    const QPoint bottomRight = v_->tree->viewport()->mapTo(v_->tree, cell.bottomRight());
    return TRect{topLeft.x(), topLeft.y(), bottomRight.x() + 1, bottomRight.y() + 1};
}

void TCheckListView::EditCaption(int Row) {
    QTreeWidgetItem* it = v_->item(Row);
    if (!v_->allowEdit(Row)) return;
    v_->tree->editItem(it, 0);
}

bool TCheckListView::IsEditing() const { return v_->tree->editing(); }

bool TCheckListView::getChecked(int row) const { return v_->item(row)->checkState(0) == Qt::Checked; }

void TCheckListView::setChecked(int row, bool v) {
    TCheckListViewPrivate::Quiet hold(v_->quiet);
    v_->item(row)->setCheckState(0, v ? Qt::Checked : Qt::Unchecked);
    v_->checked[static_cast<size_t>(row)] = v;
}

int TCheckListView::getItemIndex() const {
    const auto rows = v_->tree->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void TCheckListView::setItemIndex(int v) {
    TCheckListViewPrivate::Quiet hold(v_->quiet);
    if (v < 0 || v >= Count()) {
        v_->tree->clearSelection();
        return;
    }
    v_->tree->setCurrentItem(v_->item(v));
}

bool TCheckListView::getReadOnly() const { return v_->readOnly; }

void TCheckListView::setReadOnly(bool v) {
    v_->readOnly = v;
    v_->tree->setEditTriggers(v ? QAbstractItemView::NoEditTriggers
                                : QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
}

bool TCheckListView::getShowColumnHeaders() const { return !v_->tree->isHeaderHidden(); }
void TCheckListView::setShowColumnHeaders(bool v) { v_->tree->setHeaderHidden(!v); }

}  // namespace ui

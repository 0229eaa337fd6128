// Lists and combo boxes: TComboBox, TListBox, TCheckListBox, over one item-model
// list of strings.
#include "platform/ui/stdctrls.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <algorithm>
#include <functional>

#include "platform/ui/controls_p.h"

namespace ui {

using detail::lineSelect;
using detail::lineSelLength;
using detail::lineSelStart;
using detail::Q;
using detail::S;

namespace {

using detail::Quiet;

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

}  // namespace ui

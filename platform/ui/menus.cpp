#include "platform/ui/menus.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <algorithm>
#include <array>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"
#include "platform/ui/answerer.h"
#include "platform/ui/controls_p.h"

namespace ui {

using detail::Q;

namespace {

struct KeyName {
    WORD key;
    const char* name;
};
constexpr std::array<KeyName, 14> kKeyNames = {{{VK_BACK, "BkSp"}, {VK_TAB, "Tab"}, {VK_RETURN, "Enter"},
                                               {VK_ESCAPE, "Esc"}, {VK_SPACE, "Space"}, {VK_PRIOR, "PgUp"},
                                               {VK_NEXT, "PgDn"}, {VK_END, "End"}, {VK_HOME, "Home"},
                                               {VK_LEFT, "Left"}, {VK_UP, "Up"}, {VK_RIGHT, "Right"},
                                               {VK_DOWN, "Down"}, {VK_INSERT, "Ins"}}};

std::string keyName(WORD key) {
    if (key == VK_DELETE) return "Del";
    if (key >= VK_F1 && key <= VK_F12) return "F" + rtl::IntToStr(key - VK_F1 + 1);
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return std::string(1, static_cast<char>(key));
    for (const KeyName& k : kKeyNames)
        if (k.key == key) return k.name;
    return "";
}

}  // namespace

TShortCut ShortCut(WORD key, TShiftState shift) {
    TShortCut s = static_cast<TShortCut>(key & 0x1FFF);
    if (shift & ssShift) s |= scShift;
    if (shift & ssCtrl) s |= scCtrl;
    if (shift & ssAlt) s |= scAlt;
    return s;
}

std::string ShortCutToText(TShortCut shortCut) {
    const std::string name = keyName(shortCut & 0x1FFF);
    if (name.empty()) return "";
    std::string t;
    if (shortCut & scCtrl) t += "Ctrl+";
    if (shortCut & scAlt) t += "Alt+";
    if (shortCut & scShift) t += "Shift+";
    return t + name;
}

// ------------------------------------------------------------ TMenuItem

TMenuItem::TMenuItem(rtl::TComponent* owner) : rtl::TComponent(owner), action_(new QAction) {
    QObject::connect(action_, &QAction::triggered, [this] { SafeCall([this] { Click(); }); });
}

TMenuItem::~TMenuItem() {
    BeginDestroy();
    if (parent_) parent_->Remove(this);
    while (!items_.empty()) {
        TMenuItem* child = items_.back();
        items_.pop_back();
        child->parent_ = nullptr;
        delete child;
    }
    delete menu_;
    delete action_;
}

void TMenuItem::setCaption(std::string v) {
    caption_ = std::move(v);
    const bool line = caption_ == "-";
    action_->setSeparator(line);
    // A separator's text would be drawn on it as a section title.
    action_->setText(line ? QString() : Q(caption_));
}

void TMenuItem::setShortCut(TShortCut v) {
    shortCut_ = v;
    // Shown in the menu only; the controls dispatch the keys themselves.
    action_->setShortcutContext(Qt::WidgetShortcut);
    action_->setShortcut(QKeySequence(Q(ShortCutToText(v))));
}

void TMenuItem::setEnabled(bool v) {
    enabled_ = v;
    action_->setEnabled(v);
}

void TMenuItem::setVisible(bool v) {
    visible_ = v;
    action_->setVisible(v);
}

void TMenuItem::setChecked(bool v) {
    checked_ = v;
    action_->setCheckable(v || action_->isCheckable());
    action_->setChecked(v);
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
    if (!item || item == this) return;
    if (index < 0 || index > Count()) throw rtl::EListError("Menu index out of range (" + rtl::IntToStr(index) + ")");
    if (item->parent_) item->parent_->Remove(item);
    items_.insert(items_.begin() + index, item);
    item->parent_ = this;
    rebuild();
}

void TMenuItem::Remove(TMenuItem* item) {
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end()) return;
    items_.erase(it);
    item->parent_ = nullptr;
    rebuild();
}

TMenuItem* TMenuItem::Items(int index) const {
    if (index < 0 || index >= Count()) throw rtl::EListError("Menu index out of range (" + rtl::IntToStr(index) + ")");
    return items_[static_cast<size_t>(index)];
}

QMenu* TMenuItem::SubMenu() {
    if (!menu_) {
        menu_ = new QMenu;
        action_->setMenu(menu_);
    }
    return menu_;
}

void TMenuItem::rebuild() {
    QMenu* m = SubMenu();
    m->clear();
    for (TMenuItem* item : items_) m->addAction(item->action_);
    if (onChildrenChanged_) onChildrenChanged_();
    if (parent_) parent_->rebuild();
}

void TMenuItem::Click() {
    if (enabled_ && OnClick) OnClick(this);
}

TMenuItem* TMenuItem::FindByShortCut(TShortCut shortCut) {
    if (!enabled_ || !visible_ || shortCut == 0) return nullptr;
    if (shortCut_ == shortCut && items_.empty()) return this;
    for (TMenuItem* item : items_)
        if (TMenuItem* hit = item->FindByShortCut(shortCut)) return hit;
    return nullptr;
}

// ---------------------------------------------------------------- TMenu

TMenu::TMenu(rtl::TComponent* owner) : rtl::TComponent(owner), root_(new TMenuItem(nullptr)), Items(root_) {}

TMenu::~TMenu() {
    BeginDestroy();
    delete root_;
}

void TPopupMenu::Popup(int x, int y) {
    if (OnPopup) SafeCall([this] { OnPopup(this); });
    Items->SubMenu()->popup(QPoint(x, y));
}

TMenuItem* TPopupMenu::TrackPopup(int x, int y) {
    if (OnPopup) SafeCall([this] { OnPopup(this); });
    return Answerer().TrackPopup(*this, x, y);
}

namespace {

TMenuItem* itemOf(TMenuItem* root, const QAction* action) {
    for (int i = 0; i < root->Count(); ++i) {
        TMenuItem* item = root->Items(i);
        if (item->Action() == action) return item;
        if (TMenuItem* hit = itemOf(item, action)) return hit;
    }
    return nullptr;
}

}  // namespace

TMenuItem* TPopupMenu::RunQt(int x, int y) {
    // The picked action's trigger has clicked its item by the time exec returns.
    const QAction* picked = Items->SubMenu()->exec(QPoint(x, y));
    return picked ? itemOf(Items, picked) : nullptr;
}

TMainMenu::TMainMenu(rtl::TComponent* owner) : TMenu(owner), bar_(new QMenuBar) {
    Items->onChildrenChanged_ = [this] { rebuild(); };
}

TMainMenu::~TMainMenu() {
    BeginDestroy();
    Items->onChildrenChanged_ = nullptr;
    delete bar_;
}

void TMainMenu::rebuild() {
    bar_->clear();
    for (int i = 0; i < Items->Count(); ++i) bar_->addAction(Items->Items(i)->Action());
}

}  // namespace ui

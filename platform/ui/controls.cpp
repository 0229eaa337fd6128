#include "platform/ui/controls.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QVariant>
#include <algorithm>
#include <array>
#include <unordered_map>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"
#include "platform/ui/controls_p.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"

namespace ui {

using detail::Q;
using detail::S;

namespace detail {

QColor QtColor(TColor c) {
    const TColor rgb = ColorToRGB(c);
    return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

TColor FromQColor(const QColor& c) { return RGB(c.red(), c.green(), c.blue()); }

Qt::Alignment QtAlignment(int alignment) {
    static const Qt::Alignment kAlign[] = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter};
    return alignment >= 0 && alignment < 3 ? kAlign[alignment] : Qt::AlignLeft;
}

QString DisplayText(std::string_view text) { return ToWidgetText(text); }

WORD VirtualKey(const QKeyEvent& e) {
    static const std::unordered_map<int, WORD> kKeys = {
        {Qt::Key_Backspace, VK_BACK}, {Qt::Key_Tab, VK_TAB},         {Qt::Key_Backtab, VK_TAB},
        {Qt::Key_Return, VK_RETURN},  {Qt::Key_Enter, VK_RETURN},    {Qt::Key_Shift, VK_SHIFT},
        {Qt::Key_Control, VK_CONTROL}, {Qt::Key_Alt, VK_MENU},       {Qt::Key_Pause, VK_PAUSE},
        {Qt::Key_Escape, VK_ESCAPE},  {Qt::Key_Space, VK_SPACE},     {Qt::Key_PageUp, VK_PRIOR},
        {Qt::Key_PageDown, VK_NEXT},  {Qt::Key_End, VK_END},         {Qt::Key_Home, VK_HOME},
        {Qt::Key_Left, VK_LEFT},      {Qt::Key_Up, VK_UP},           {Qt::Key_Right, VK_RIGHT},
        {Qt::Key_Down, VK_DOWN},      {Qt::Key_Insert, VK_INSERT},   {Qt::Key_Delete, VK_DELETE},
        {Qt::Key_Menu, VK_APPS}};
    const int k = e.key();
    if (k >= Qt::Key_A && k <= Qt::Key_Z) return static_cast<WORD>('A' + (k - Qt::Key_A));
    if (k >= Qt::Key_0 && k <= Qt::Key_9) return static_cast<WORD>('0' + (k - Qt::Key_0));
    if (k >= Qt::Key_F1 && k <= Qt::Key_F12) return static_cast<WORD>(VK_F1 + (k - Qt::Key_F1));
    auto it = kKeys.find(k);
    return it == kKeys.end() ? 0 : it->second;
}

TShiftState ShiftState(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons) {
    TShiftState s = 0;
    if (mods & Qt::ShiftModifier) s |= ssShift;
    if (mods & Qt::ControlModifier) s |= ssCtrl;
    if (mods & Qt::AltModifier) s |= ssAlt;
    if (buttons & Qt::LeftButton) s |= ssLeft;
    if (buttons & Qt::RightButton) s |= ssRight;
    if (buttons & Qt::MiddleButton) s |= ssMiddle;
    return s;
}

unsigned ShortCutOf(WORD key, TShiftState shift) { return ShortCut(key, shift); }

}  // namespace detail

void HandleEventException(const std::exception& e) { Application->HandleException(e); }

namespace {

const char* const kControlProperty = "pelliwoxControl";

TMouseButton mouseButton(Qt::MouseButton b) {
    if (b == Qt::RightButton) return mbRight;
    if (b == Qt::MiddleButton) return mbMiddle;
    return mbLeft;
}

Qt::CursorShape cursorShape(TCursor c) {
    static const std::unordered_map<int, Qt::CursorShape> kShapes = {
        {crArrow, Qt::ArrowCursor},     {crCross, Qt::CrossCursor},       {crIBeam, Qt::IBeamCursor},
        {crSizeWE, Qt::SizeHorCursor},  {crHourGlass, Qt::WaitCursor},    {crHandPoint, Qt::PointingHandCursor}};
    auto it = kShapes.find(c);
    return it == kShapes.end() ? Qt::ArrowCursor : it->second;
}

// A control's Enter and Exit events follow the application's focus.
void focusChanged(QWidget* old, QWidget* now) {
    TControl* from = TControl::FromWidget(old);
    TControl* to = TControl::FromWidget(now);
    if (from == to) return;
    if (from && !from->Destroying() && from->OnExit) SafeCall([&] { from->OnExit(from); });
    if (to && !to->Destroying() && to->OnEnter) SafeCall([&] { to->OnEnter(to); });
}

// The keys held down, seen as the application receives them.
class TKeyTracker : public QObject {
public:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease) return false;
        auto* k = static_cast<QKeyEvent*>(e);
        const WORD vk = detail::VirtualKey(*k);
        if (vk && !k->isAutoRepeat()) held[vk] = e->type() == QEvent::KeyPress;
        return false;
    }
    std::unordered_map<WORD, bool> held;
};

TKeyTracker* keyTracker() {
    static TKeyTracker* tracker = nullptr;
    if (!tracker && qApp) {
        tracker = new TKeyTracker;
        tracker->setParent(qApp);
        qApp->installEventFilter(tracker);
    }
    return tracker;
}

void trackFocus() {
    static bool connected = false;
    if (connected || !qApp) return;
    connected = true;
    QObject::connect(qApp, &QApplication::focusChanged, qApp, focusChanged);
    keyTracker();
    detail::ShareDefaultColormap();
}

}  // namespace

int16_t GetKeyState(int vk) {
    static const std::unordered_map<int, Qt::MouseButton> kButtons = {
        {VK_LBUTTON, Qt::LeftButton}, {VK_RBUTTON, Qt::RightButton}, {VK_MBUTTON, Qt::MiddleButton}};
    static const std::unordered_map<int, Qt::KeyboardModifier> kModifiers = {
        {VK_SHIFT, Qt::ShiftModifier}, {VK_CONTROL, Qt::ControlModifier}, {VK_MENU, Qt::AltModifier}};
    bool down = false;
    if (auto b = kButtons.find(vk); b != kButtons.end()) down = QGuiApplication::mouseButtons() & b->second;
    if (auto m = kModifiers.find(vk); m != kModifiers.end())
        down = QGuiApplication::queryKeyboardModifiers() & m->second;
    if (TKeyTracker* t = keyTracker()) {
        auto it = t->held.find(static_cast<WORD>(vk));
        down = down || (it != t->held.end() && it->second);
    }
    return down ? static_cast<int16_t>(0x8000) : 0;
}

// ------------------------------------------------------- TControlPrivate

bool TControlPrivate::menuShortcut(WORD key, TShiftState shift) {
    const TShortCut sc = ShortCut(key, shift);
    if (key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU) return false;
    TMenuItem* item = popup ? popup->FindItemByShortCut(sc) : nullptr;
    if (!item) {
        TForm* form = q->ParentForm();
        TMainMenu* menu = form ? form->Menu() : nullptr;
        if (menu) item = menu->FindItemByShortCut(sc);
    }
    if (!item) return false;
    SafeCall([&] { item->Click(); });
    return true;
}

void TControlPrivate::showContextPopup(const QPoint& globalPos, bool fromMouse) {
    bool handled = false;
    const QPoint local = widget ? widget->mapFromGlobal(globalPos) : QPoint();
    const TPoint at = fromMouse ? TPoint{local.x(), local.y()} : TPoint{-1, -1};
    QPointer<QWidget> alive(widget);
    SafeCall([&] { q->DoContextPopup(at, handled); });
    if (!alive || handled || !popup) return;
    popup->PopupComponent = q;
    popup->Popup(globalPos.x(), globalPos.y());
}

// ---------------------------------------------------------- TEventBridge

bool TEventBridge::keyDown(QKeyEvent* e) {
    TControl* c = control_;
    QPointer<TEventBridge> alive(this);
    TForm* form = c->ParentForm();
    TForm* preview = form && form != c && form->KeyPreview() ? form : nullptr;
    WORD key = detail::VirtualKey(*e);
    const TShiftState shift = detail::ShiftState(e->modifiers());
    if (key) {
        if (c->d_->menuShortcut(key, shift)) return true;
        if (preview && preview->OnKeyDown) SafeCall([&] { preview->OnKeyDown(preview, key, shift); });
        if (!alive || !key) return true;
        if (c->OnKeyDown) SafeCall([&] { c->OnKeyDown(c, key, shift); });
        if (!alive || !key) return true;
    }
    const QList<uint> chars = e->text().toUcs4();
    if (chars.isEmpty()) return false;
    const char32_t typed = chars.front();
    char32_t ch = typed;
    if (preview && preview->OnKeyPress) SafeCall([&] { preview->OnKeyPress(preview, ch); });
    if (!alive || !ch) return true;
    SafeCall([&] { c->KeyPress(ch); });
    if (!alive || !ch) return true;
    if (ch == typed) return false;
    // Another character is typed in place of the key.
    QObject* target = c->Widget() ? QApplication::focusWidget() : nullptr;
    if (!target) return true;
    const QString text = QString::fromUcs4(&ch, 1);
    QKeyEvent replacement(QEvent::KeyPress, 0, e->modifiers() & ~Qt::ControlModifier, text);
    retyping_ = true;
    QApplication::sendEvent(target, &replacement);
    if (alive) retyping_ = false;
    return true;
}

bool TEventBridge::keyUp(QKeyEvent* e) {
    TControl* c = control_;
    QPointer<TEventBridge> alive(this);
    WORD key = detail::VirtualKey(*e);
    if (!key) return false;
    const TShiftState shift = detail::ShiftState(e->modifiers());
    TForm* form = c->ParentForm();
    if (form && form != c && form->KeyPreview() && form->OnKeyUp) SafeCall([&] { form->OnKeyUp(form, key, shift); });
    if (!alive || !key) return true;
    if (c->OnKeyUp) SafeCall([&] { c->OnKeyUp(c, key, shift); });
    return !alive || !key;
}

namespace {

// A key event reaches a control's widgets first at the focused widget and
// then, when that ignores it, at each parent in turn. Only the first of
// these is the control's key: a parent that holds the focus inside it
// leaves the key to the focused part.
bool keyIsForwarded(QObject* watched) {
    QWidget* focus = QApplication::focusWidget();
    auto* w = qobject_cast<QWidget*>(watched);
    return focus && w && focus != w && w->isAncestorOf(focus);
}

// Mouse events on a scroll area's viewport that the viewport leaves come on
// to the area itself; the control has seen them already.
bool mouseIsForwarded(QObject* watched, QWidget* main, const QPoint& pos) {
    auto* area = qobject_cast<QAbstractScrollArea*>(main);
    return area && watched == main && area->viewport()->geometry().contains(pos);
}

}  // namespace

bool TEventBridge::mouse(QObject* watched, QMouseEvent* e) {
    TControl* c = control_;
    QWidget* main = c->Widget();
    if (mouseIsForwarded(watched, main, e->position().toPoint())) return false;
    const QPoint p = main->mapFromGlobal(e->globalPosition().toPoint());
    const TShiftState shift = detail::ShiftState(e->modifiers(), e->buttons());
    QPointer<TEventBridge> alive(this);
    switch (e->type()) {
        case QEvent::MouseMove:
            if (c->OnMouseMove) SafeCall([&] { c->OnMouseMove(c, shift, p.x(), p.y()); });
            break;
        case QEvent::MouseButtonPress:
            c->d_->pressedInside = e->button() == Qt::LeftButton;
            if (c->OnMouseDown) SafeCall([&] { c->OnMouseDown(c, mouseButton(e->button()), shift, p.x(), p.y()); });
            break;
        case QEvent::MouseButtonDblClick:
            if (e->button() == Qt::LeftButton && c->OnDblClick) SafeCall([&] { c->OnDblClick(c); });
            break;
        default:
            if (c->OnMouseUp) SafeCall([&] { c->OnMouseUp(c, mouseButton(e->button()), shift, p.x(), p.y()); });
            if (alive && c->d_->clickOnRelease && e->button() == Qt::LeftButton && c->d_->pressedInside &&
                main->rect().contains(p))
                c->Click();
            if (alive) c->d_->pressedInside = false;
    }
    // A control that does nothing with the mouse itself (a label, a panel)
    // keeps its mouse events from its parent.
    if (alive && c->d_->passiveMouse) {
        e->accept();
        return true;
    }
    return !alive;
}

bool TEventBridge::eventFilter(QObject* watched, QEvent* event) {
    TControl* c = control_;
    if (c->Destroying()) return false;
    QWidget* main = c->Widget();
    if (!main) return false;
    switch (event->type()) {
        case QEvent::ShortcutOverride: {
            auto* e = static_cast<QKeyEvent*>(event);
            const WORD key = detail::VirtualKey(*e);
            const TShiftState shift = detail::ShiftState(e->modifiers());
            TMenuItem* item = c->d_->popup ? c->d_->popup->FindItemByShortCut(ShortCut(key, shift)) : nullptr;
            if (item) e->accept();  // keep the key for the menu rather than the widget's own shortcut
            return false;
        }
        case QEvent::KeyPress:
            if (retyping_ || keyIsForwarded(watched)) return false;
            return keyDown(static_cast<QKeyEvent*>(event));
        case QEvent::KeyRelease:
            if (keyIsForwarded(watched)) return false;
            return keyUp(static_cast<QKeyEvent*>(event));
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            return mouse(watched, static_cast<QMouseEvent*>(event));
        case QEvent::ContextMenu: {
            auto* e = static_cast<QContextMenuEvent*>(event);
            if (!c->HasContextPopup()) return false;  // the widget's own menu, or the parent's
            c->d_->showContextPopup(e->globalPos(), e->reason() == QContextMenuEvent::Mouse);
            return true;
        }
        case QEvent::Resize:
            if (auto* wc = dynamic_cast<TWinControl*>(c); wc && watched == wc->ClientWidget()) wc->AlignControls();
            if (watched == main && c->OnResize) SafeCall([&] { c->OnResize(c); });
            return false;
        default:
            return false;
    }
}

// ------------------------------------------------------------- TControl

TControl::TControl(rtl::TComponent* owner)
    : rtl::TComponent(owner), d_(std::make_unique<TControlPrivate>(this)), Font(&d_->font) {
    d_->font.OnChange = [this](rtl::TObject*) {
        if (!d_->fontFromParent) d_->parentFont = false;
        FontChanged();
    };
}

TControl::~TControl() {
    BeginDestroy();
    if (d_->parent) d_->parent->removeControl(this);
    if (d_->popup) RemoveFreeNotification(d_->popup);
    d_->bridge.reset();
    if (d_->widget) {
        d_->widget->setProperty(kControlProperty, QVariant());
        delete d_->widget.data();
    }
}

void TControl::SetWidget(QWidget* widget, bool topLevel) {
    d_->widget = widget;
    d_->topLevel = topLevel;
    d_->bridge = std::make_unique<TEventBridge>(this);
    widget->setProperty(kControlProperty, QVariant::fromValue(static_cast<void*>(this)));
    AddEventWidget(widget);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) AddEventWidget(area->viewport());
    widget->setFont(d_->font.ToQFont());
    trackFocus();
    if (!topLevel)
        if (auto* owner = dynamic_cast<TWinControl*>(Owner())) SetParent(owner);
}

void TControl::AddEventWidget(QObject* widget) {
    widget->installEventFilter(d_->bridge.get());
    if (auto* w = qobject_cast<QWidget*>(widget)) w->setMouseTracking(true);
}

void TControl::SetClickOnRelease(bool on) { d_->clickOnRelease = on; }
void TControl::SetPassiveMouse(bool on) { d_->passiveMouse = on; }

QObject* TControl::Context() const { return d_->bridge.get(); }

QWidget* TControl::Widget() const { return d_->widget.data(); }

TControl* TControl::FromWidget(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        const QVariant v = w->property(kControlProperty);
        if (v.isValid()) return static_cast<TControl*>(v.value<void*>());
    }
    return nullptr;
}

TForm* TControl::ParentForm() const {
    for (const TControl* c = this; c; c = c->d_->parent)
        if (auto* f = dynamic_cast<const TForm*>(c)) return const_cast<TForm*>(f);
    return nullptr;
}

void TControl::Notification(rtl::TComponent* component, rtl::TOperation op) {
    if (op == rtl::opRemove && component == d_->popup) d_->popup = nullptr;
}

void TControl::KeyPress(char32_t& Key) {
    if (OnKeyPress) OnKeyPress(this, Key);
}

void TControl::DoContextPopup(TPoint MousePos, bool& Handled) {
    if (OnContextPopup) OnContextPopup(this, MousePos, Handled);
}

bool TControl::HasContextPopup() const { return OnContextPopup || d_->popup; }

int TControl::getLeft() const { return Widget() ? Widget()->x() : 0; }
int TControl::getTop() const { return Widget() ? Widget()->y() : 0; }
int TControl::getWidth() const { return Widget() ? Widget()->width() : 0; }
int TControl::getHeight() const { return Widget() ? Widget()->height() : 0; }
void TControl::setLeft(int v) { SetBounds(v, getTop(), getWidth(), getHeight()); }
void TControl::setTop(int v) { SetBounds(getLeft(), v, getWidth(), getHeight()); }
void TControl::setWidth(int v) { SetBounds(getLeft(), getTop(), v, getHeight()); }
void TControl::setHeight(int v) { SetBounds(getLeft(), getTop(), getWidth(), v); }

void TControl::SetBounds(int left, int top, int width, int height) {
    QWidget* w = Widget();
    if (!w) return;
    w->setGeometry(left, top, std::max(0, width), std::max(0, height));
    if (d_->parent && d_->align != alNone) d_->parent->AlignControls();
}

int TControl::getClientWidth() const {
    auto* wc = dynamic_cast<const TWinControl*>(this);
    QWidget* cw = wc ? wc->ClientWidget() : Widget();
    return cw ? cw->width() : 0;
}

int TControl::getClientHeight() const {
    auto* wc = dynamic_cast<const TWinControl*>(this);
    QWidget* cw = wc ? wc->ClientWidget() : Widget();
    return cw ? cw->height() : 0;
}

void TControl::setClientWidth(int v) { setWidth(v + getWidth() - getClientWidth()); }
void TControl::setClientHeight(int v) { setHeight(v + getHeight() - getClientHeight()); }

bool TControl::getVisible() const { return d_->visible; }

void TControl::SetVisible(bool v) {
    d_->visible = v;
    if (Widget() && (d_->parent || d_->topLevel)) Widget()->setVisible(v);
    if (d_->parent && d_->align != alNone) d_->parent->AlignControls();
}

bool TControl::getEnabled() const { return Widget() && !Widget()->testAttribute(Qt::WA_Disabled); }

void TControl::setEnabled(bool v) {
    if (Widget()) Widget()->setEnabled(v);
}

std::string TControl::getHint() const { return d_->hint; }

void TControl::setHint(std::string v) {
    d_->hint = std::move(v);
    setShowHint(d_->showHint);
}

bool TControl::getShowHint() const { return d_->showHint; }

void TControl::setShowHint(bool v) {
    d_->showHint = v;
    if (!Widget()) return;
    const std::string shortHint = d_->hint.substr(0, d_->hint.find('|'));
    Widget()->setToolTip(v ? detail::DisplayText(shortHint) : QString());
}

TAlign TControl::getAlign() const { return d_->align; }

void TControl::setAlign(TAlign v) {
    d_->align = v;
    if (d_->parent) d_->parent->AlignControls();
}

TColor TControl::getColor() const { return d_->color == clDefault ? DefaultColor() : d_->color; }

void TControl::setColor(TColor v) {
    d_->color = v;
    ApplyColor(v);
}

void TControl::ApplyColor(TColor color) {
    QWidget* w = Widget();
    if (!w) return;
    QPalette pal = w->palette();
    const QPalette::ColorRole role = DefaultColor() == clWindow ? QPalette::Base : QPalette::Window;
    pal.setColor(role, detail::QtColor(color));
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

TCursor TControl::getCursor() const { return d_->cursor; }

void TControl::setCursor(TCursor v) {
    d_->cursor = v;
    if (!Widget()) return;
    if (v == crDefault) Widget()->unsetCursor();
    else Widget()->setCursor(cursorShape(v));
}

TWinControl* TControl::getParent() const { return d_->parent; }

void TControl::SetParent(TWinControl* parent) {
    if (parent == d_->parent || parent == this) return;
    if (d_->parent) d_->parent->removeControl(this);
    d_->parent = parent;
    if (QWidget* w = Widget()) {
        w->setParent(parent ? parent->ClientWidget() : nullptr);
        if (parent && d_->visible) w->show();
    }
    if (!parent) return;
    parent->insertControl(this);
    if (d_->parentFont) {
        d_->fontFromParent = true;
        d_->font.Assign(*parent->Font);
        d_->fontFromParent = false;
    }
    parent->AlignControls();
}

TPopupMenu* TControl::getPopupMenu() const { return d_->popup; }

void TControl::setPopupMenu(TPopupMenu* v) {
    if (d_->popup) RemoveFreeNotification(d_->popup);
    d_->popup = v;
    if (v) FreeNotification(v);
}

bool TControl::getParentFont() const { return d_->parentFont; }

void TControl::setParentFont(bool v) {
    d_->parentFont = v;
    if (v && d_->parent) {
        d_->fontFromParent = true;
        d_->font.Assign(*d_->parent->Font);
        d_->fontFromParent = false;
    }
}

void TControl::FontChanged() {
    QWidget* w = Widget();
    if (w) {
        w->setFont(d_->font.ToQFont());
        QPalette pal = w->palette();
        const QColor c = detail::QtColor(d_->font.Color);
        // The disabled group keeps the style's grey, so a disabled control looks it.
        for (QPalette::ColorRole r : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) pal.setColor(g, r, c);
        w->setPalette(pal);
    }
    if (auto* wc = dynamic_cast<TWinControl*>(this))
        for (TControl* child : wc->controls_)
            if (child->d_->parentFont) {
                child->d_->fontFromParent = true;
                child->d_->font.Assign(d_->font);
                child->d_->fontFromParent = false;
            }
}

void TControl::SetFocus() {
    if (QWidget* w = Widget()) w->setFocus(Qt::OtherFocusReason);
}

bool TControl::Focused() const {
    QWidget* w = Widget();
    QWidget* f = QApplication::focusWidget();
    return w && f && (f == w || w->isAncestorOf(f));
}

bool TControl::CanFocus() const {
    QWidget* w = Widget();
    return w && w->isVisible() && w->isEnabled();
}

void TControl::BringToFront() {
    if (QWidget* w = Widget()) {
        w->raise();
        if (w->isWindow()) w->activateWindow();
    }
}

void TControl::SendToBack() {
    if (QWidget* w = Widget()) w->lower();
}

void TControl::Repaint() {
    if (QWidget* w = Widget()) w->repaint();
}

void TControl::Invalidate() {
    if (QWidget* w = Widget()) w->update();
}

void TControl::Update() { Repaint(); }

TPoint TControl::ClientToScreen(TPoint p) const {
    const QPoint g = Widget() ? Widget()->mapToGlobal(QPoint(p.X, p.Y)) : QPoint(p.X, p.Y);
    return {g.x(), g.y()};
}

TPoint TControl::ScreenToClient(TPoint p) const {
    const QPoint l = Widget() ? Widget()->mapFromGlobal(QPoint(p.X, p.Y)) : QPoint(p.X, p.Y);
    return {l.x(), l.y()};
}

void TControl::Click() {
    if (OnClick) SafeCall([this] { OnClick(this); });
}

// ---------------------------------------------------------- TWinControl

TWinControl::TWinControl(rtl::TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
    // Children outlive their parent's widget as hidden widgets of their own
    // until their owners free them.
    while (!controls_.empty()) controls_.back()->SetParent(nullptr);
}

QWidget* TWinControl::ClientWidget() const { return Widget(); }

int TWinControl::ControlCount() const { return static_cast<int>(controls_.size()); }

TControl* TWinControl::Controls(int i) const {
    if (i < 0 || i >= ControlCount()) throw rtl::EListError("Control index out of range (" + rtl::IntToStr(i) + ")");
    return controls_[static_cast<size_t>(i)];
}

void TWinControl::insertControl(TControl* c) {
    if (std::find(controls_.begin(), controls_.end(), c) == controls_.end()) controls_.push_back(c);
}

void TWinControl::removeControl(TControl* c) {
    controls_.erase(std::remove(controls_.begin(), controls_.end(), c), controls_.end());
}

void TWinControl::AlignControls() {
    QWidget* client = ClientWidget();
    if (!client) return;
    QRect r = client->rect();
    auto place = [&](TAlign which, auto&& take) {
        for (TControl* c : controls_)
            if (c->d_->align == which && c->d_->visible && c->Widget()) take(c->Widget());
    };
    place(alTop, [&](QWidget* w) {
        w->setGeometry(r.left(), r.top(), r.width(), w->height());
        r.setTop(r.top() + w->height());
    });
    place(alBottom, [&](QWidget* w) {
        w->setGeometry(r.left(), r.bottom() + 1 - w->height(), r.width(), w->height());
        r.setBottom(r.bottom() - w->height());
    });
    place(alLeft, [&](QWidget* w) {
        w->setGeometry(r.left(), r.top(), w->width(), std::max(0, r.height()));
        r.setLeft(r.left() + w->width());
    });
    place(alRight, [&](QWidget* w) {
        w->setGeometry(r.right() + 1 - w->width(), r.top(), w->width(), std::max(0, r.height()));
        r.setRight(r.right() - w->width());
    });
    place(alClient, [&](QWidget* w) { w->setGeometry(r.left(), r.top(), std::max(0, r.width()), std::max(0, r.height())); });
}

// -------------------------------------------------------------- TStrings

void TStrings::CheckIndex(int index, int limit) const {
    if (index < 0 || index >= limit)
        throw rtl::EStringListError("List index out of bounds (" + rtl::IntToStr(index) + ")");
}

void TStrings::Put(int index, const std::string& s) {
    CheckIndex(index, GetCount());
    BeginUpdate();
    Delete(index);
    Insert(index, s);
    EndUpdate();
}

int TStrings::Add(const std::string& s) {
    const int i = GetCount();
    Insert(i, s);
    return i;
}

std::string TStrings::GetText() const {
    std::string t;
    for (int i = 0, n = GetCount(); i < n; ++i) t += Get(i) + "\r\n";
    return t;
}

void TStrings::SetText(std::string_view text) {
    rtl::TStringList lines;
    lines.SetText(text);
    Assign(lines);
}

void TStrings::BeginUpdate() {
    if (updateCount_++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0) SetUpdateState(false);
}

int TStrings::IndexOf(std::string_view s) const {
    for (int i = 0, n = GetCount(); i < n; ++i)
        if (rtl::SameText(Get(i), s)) return i;
    return -1;
}

void TStrings::Exchange(int a, int b) {
    CheckIndex(a, GetCount());
    CheckIndex(b, GetCount());
    if (a == b) return;
    const std::string sa = Get(a), sb = Get(b);
    BeginUpdate();
    Put(a, sb);
    Put(b, sa);
    EndUpdate();
}

void TStrings::Move(int from, int to) {
    CheckIndex(from, GetCount());
    CheckIndex(to, GetCount());
    if (from == to) return;
    const std::string s = Get(from);
    BeginUpdate();
    Delete(from);
    Insert(to, s);
    EndUpdate();
}

void TStrings::Assign(const rtl::TStringList& source) {
    BeginUpdate();
    Clear();
    for (const std::string& s : source) Add(s);
    EndUpdate();
}

void TStrings::Assign(const TStrings& source) {
    if (&source == this) return;
    Assign(source.ToStringList());
}

void TStrings::AddStrings(const rtl::TStringList& source) {
    BeginUpdate();
    for (const std::string& s : source) Add(s);
    EndUpdate();
}

rtl::TStringList TStrings::ToStringList() const {
    rtl::TStringList l;
    for (int i = 0, n = GetCount(); i < n; ++i) l.Add(Get(i));
    return l;
}

// --------------------------------------------------------- TOwnedStrings

std::string TOwnedStrings::Get(int index) const {
    CheckIndex(index, GetCount());
    return items_[static_cast<size_t>(index)];
}

void TOwnedStrings::Put(int index, const std::string& s) {
    CheckIndex(index, GetCount());
    items_[static_cast<size_t>(index)] = s;
    changed();
}

void TOwnedStrings::Insert(int index, const std::string& s) {
    CheckIndex(index, GetCount() + 1);
    items_.insert(items_.begin() + index, s);
    changed();
}

void TOwnedStrings::Delete(int index) {
    CheckIndex(index, GetCount());
    items_.erase(items_.begin() + index);
    changed();
}

void TOwnedStrings::Clear() {
    items_.clear();
    changed();
}

void TOwnedStrings::SetUpdateState(bool updating) {
    updating_ = updating;
    if (!updating) changed();
}

void TOwnedStrings::changed() {
    if (!updating_ && changed_) changed_();
}

}  // namespace ui

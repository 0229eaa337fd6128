#pragma once
// What the control classes share inside the library: the private part of a
// control, the bridge that turns Qt input events into the control's events,
// and conversions between the program's values and Qt's.
#include <QColor>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>

#include "platform/ui/controls.h"
#include "platform/ui/textmap.h"

class QKeyEvent;
class QLineEdit;
class QMouseEvent;

namespace ui {

namespace detail {

QColor QtColor(TColor c);
TColor FromQColor(const QColor& c);
// Horizontal alignment of a caption or text.
Qt::Alignment QtAlignment(int alignment);
// A caption for display: line breaks of any kind become "\n".
QString DisplayText(std::string_view text);
// Windows key code and shift state of a Qt key event; 0 for keys without one.
WORD VirtualKey(const QKeyEvent& e);
TShiftState ShiftState(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons = Qt::NoButton);
// A shortcut (key | scShift | scCtrl | scAlt) of a key event.
unsigned ShortCutOf(WORD key, TShiftState shift);
// Selections of one-line editors (edits and combo boxes), in bytes.
int lineSelStart(const QLineEdit* e);
int lineSelLength(const QLineEdit* e);
void lineSelect(QLineEdit* e, int64_t start, int64_t length);
// Once per application: its top-level windows use the screen's default
// colormap on X11.
void ShareDefaultColormap();

// Holds back a control's own change notifications while it lives (the
// depth counts nested holds).
class Quiet {
public:
    explicit Quiet(int& depth) : depth_(depth) { ++depth_; }
    ~Quiet() { --depth_; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

private:
    int& depth_;
};

}  // namespace detail

// Receives the input events of a control's widgets and raises the
// control's events. Deleting it ends every connection made with it as
// context, so it goes first when a control is destroyed.
class TEventBridge : public QObject {
public:
    explicit TEventBridge(TControl* control) : control_(control) {}
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool keyDown(QKeyEvent* e);
    bool keyUp(QKeyEvent* e);
    bool mouse(QObject* watched, QMouseEvent* e);
    TControl* control_;
    bool retyping_ = false;
};

struct TControlPrivate {
    explicit TControlPrivate(TControl* q) : q(q) {}

    TControl* q;
    QPointer<QWidget> widget;
    std::unique_ptr<TEventBridge> bridge;
    TFont font;
    TWinControl* parent = nullptr;
    TPopupMenu* popup = nullptr;
    std::string hint;
    bool showHint = false;
    bool visible = true;
    bool topLevel = false;
    bool parentFont = true;
    bool fontFromParent = false;  // the font is being set by the parent
    bool clickOnRelease = false;
    bool passiveMouse = false;
    bool pressedInside = false;
    TAlign align = alNone;
    TColor color = clDefault;
    TCursor cursor = crDefault;

    // The control's own popup menu shortcuts and the form's menu come
    // before the key handlers, as menu keys do.
    bool menuShortcut(WORD key, TShiftState shift);
    void showContextPopup(const QPoint& pos, bool fromMouse);
};

}  // namespace ui

#pragma once
// The base of every control: position, visibility, font, hint, tag, the
// keyboard, mouse and focus events, context popups, and the string lists
// that controls expose (`Items`, `Lines`). A control is a thin object over
// its Qt widget; it is owned by its owner (and destroyed with it) and shown
// inside its parent. A control made with a windowed control as owner takes
// that owner as its parent too.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/rtl/classes.h"
#include "platform/ui/graphics.h"
#include "platform/ui/props.h"
#include "platform/win/messages.h"

class QWidget;
class QObject;

namespace ui {

using WORD = uint16_t;
using win::LPARAM;
using win::LRESULT;
using win::WPARAM;

// Virtual key codes.
constexpr WORD VK_BACK = 8, VK_TAB = 9, VK_RETURN = 13, VK_SHIFT = 16, VK_CONTROL = 17, VK_MENU = 18,
               VK_PAUSE = 19, VK_ESCAPE = 27, VK_SPACE = 32, VK_PRIOR = 33, VK_NEXT = 34, VK_END = 35,
               VK_HOME = 36, VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39, VK_DOWN = 40, VK_INSERT = 45,
               VK_DELETE = 46, VK_APPS = 93, VK_F1 = 0x70, VK_F2 = 0x71, VK_F3 = 0x72, VK_F4 = 0x73,
               VK_F5 = 0x74, VK_F6 = 0x75, VK_F7 = 0x76, VK_F8 = 0x77, VK_F9 = 0x78, VK_F10 = 0x79,
               VK_F11 = 0x7A, VK_F12 = 0x7B;

constexpr WORD VK_LBUTTON = 1, VK_RBUTTON = 2, VK_MBUTTON = 4;

// Whether a key or mouse button is down now: the high bit (the result is
// negative) when it is. Keys count from the first control made on.
int16_t GetKeyState(int vk);

enum TShiftStateFlag : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64 };
using TShiftState = unsigned;
// The keyboard part of a shift state; handlers that need modifiers to
// match exactly compare this.
inline TShiftState KeyModifiers(TShiftState s) { return s & (ssShift | ssAlt | ssCtrl); }

enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
using TCursor = int;
constexpr TCursor crDefault = 0, crArrow = -2, crCross = -3, crIBeam = -4, crSizeWE = -9, crHourGlass = -11,
                  crHandPoint = -21;

class TWinControl;
class TPopupMenu;

using TKeyEvent = std::function<void(rtl::TObject* Sender, WORD& Key, TShiftState Shift)>;
// Key is the character typed (a code point; 13 for Enter, 27 for Escape,
// 8 for Backspace). Setting it to 0 swallows the key; another character
// is typed instead.
using TKeyPressEvent = std::function<void(rtl::TObject* Sender, char32_t& Key)>;
using TMouseEvent = std::function<void(rtl::TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(rtl::TObject* Sender, TShiftState Shift, int X, int Y)>;
// MousePos is in the control's client coordinates; (-1, -1) when the menu
// key asked. Handled suppresses the control's popup menu.
using TContextPopupEvent = std::function<void(rtl::TObject* Sender, TPoint MousePos, bool& Handled)>;

// An exception that escapes an event handler goes to the application's
// exception handling (forms.h) instead of unwinding through the loop.
void HandleEventException(const std::exception& e);
template <class F>
void SafeCall(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        HandleEventException(e);
    } catch (...) {
        HandleEventException(rtl::Exception("Unknown exception in an event handler"));
    }
}

struct TControlPrivate;

class TControl : public rtl::TComponent {
    std::unique_ptr<TControlPrivate> d_;  // first: the properties below reach into it

    int getLeft() const;
    void setLeft(int v);
    int getTop() const;
    void setTop(int v);
    int getWidth() const;
    void setWidth(int v);
    int getHeight() const;
    void setHeight(int v);
    int getClientWidth() const;
    void setClientWidth(int v);
    int getClientHeight() const;
    void setClientHeight(int v);
    bool getVisible() const;
    void setVisible(bool v) { SetVisible(v); }
    bool getEnabled() const;
    void setEnabled(bool v);
    std::string getHint() const;
    void setHint(std::string v);
    bool getShowHint() const;
    void setShowHint(bool v);
    int getTag() const { return tag_; }
    void setTag(int v) { tag_ = v; }
    TAlign getAlign() const;
    void setAlign(TAlign v);
    TColor getColor() const;
    void setColor(TColor v);
    TCursor getCursor() const;
    void setCursor(TCursor v);
    TWinControl* getParent() const;
    void setParent(TWinControl* v) { SetParent(v); }
    TPopupMenu* getPopupMenu() const;
    void setPopupMenu(TPopupMenu* v);
    bool getParentFont() const;
    void setParentFont(bool v);

    int tag_ = 0;

public:
    explicit TControl(rtl::TComponent* owner);
    ~TControl() override;
    const char* ClassName() const override { return "TControl"; }

    TProp<TControl, int, &TControl::getLeft, &TControl::setLeft> Left{this};
    TProp<TControl, int, &TControl::getTop, &TControl::setTop> Top{this};
    TProp<TControl, int, &TControl::getWidth, &TControl::setWidth> Width{this};
    TProp<TControl, int, &TControl::getHeight, &TControl::setHeight> Height{this};
    TProp<TControl, int, &TControl::getClientWidth, &TControl::setClientWidth> ClientWidth{this};
    TProp<TControl, int, &TControl::getClientHeight, &TControl::setClientHeight> ClientHeight{this};
    TProp<TControl, bool, &TControl::getVisible, &TControl::setVisible> Visible{this};
    TProp<TControl, bool, &TControl::getEnabled, &TControl::setEnabled> Enabled{this};
    // The tooltip is the part before a "|"; it shows only while ShowHint.
    TProp<TControl, std::string, &TControl::getHint, &TControl::setHint> Hint{this};
    TProp<TControl, bool, &TControl::getShowHint, &TControl::setShowHint> ShowHint{this};
    TProp<TControl, int, &TControl::getTag, &TControl::setTag> Tag{this};
    TProp<TControl, TAlign, &TControl::getAlign, &TControl::setAlign> Align{this};
    TProp<TControl, TColor, &TControl::getColor, &TControl::setColor> Color{this};
    TProp<TControl, TCursor, &TControl::getCursor, &TControl::setCursor> Cursor{this};
    TProp<TControl, TWinControl*, &TControl::getParent, &TControl::setParent> Parent{this};
    TProp<TControl, TPopupMenu*, &TControl::getPopupMenu, &TControl::setPopupMenu> PopupMenu{this};
    // While set, the control follows its parent's font; assigning to Font
    // clears it.
    TProp<TControl, bool, &TControl::getParentFont, &TControl::setParentFont> ParentFont{this};
    TPart<TFont> Font;

    void SetBounds(int left, int top, int width, int height);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    virtual void SetVisible(bool v);
    virtual void SetParent(TWinControl* parent);
    void SetFocus();
    bool Focused() const;
    bool CanFocus() const;
    void BringToFront();
    void SendToBack();
    // Paints at once (Repaint), or later (Invalidate).
    void Repaint();
    void Invalidate();
    void Refresh() { Repaint(); }
    void Update();
    TPoint ClientToScreen(TPoint p) const;
    TPoint ScreenToClient(TPoint p) const;
    // Runs the control's handling of a platform message; 0 for messages the
    // control does not know.
    virtual LRESULT Perform(unsigned msg, WPARAM wParam, LPARAM lParam) { return 0; }
    // What a click does: raises OnClick.
    virtual void Click();

    rtl::TNotifyEvent OnClick;
    rtl::TNotifyEvent OnDblClick;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TKeyPressEvent OnKeyPress;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    rtl::TNotifyEvent OnEnter;
    rtl::TNotifyEvent OnExit;
    TContextPopupEvent OnContextPopup;
    rtl::TNotifyEvent OnResize;

    // Library and test use: the widget, and the control that owns a widget.
    QWidget* Widget() const;
    static TControl* FromWidget(const QWidget* widget);
    // The form this control sits on (itself for a form), or null.
    class TForm* ParentForm() const;

protected:
    // Called once by each control's constructor with its new widget.
    void SetWidget(QWidget* widget, bool topLevel = false);
    // Further widgets whose input events count as the control's (scroll
    // area viewports, combo box editors and lists).
    void AddEventWidget(QObject* widget);
    // Whether a left-button release raises OnClick (controls without a
    // click of their own: labels, panels, lists).
    void SetClickOnRelease(bool on);
    // For controls with no mouse handling of their own (labels, panels,
    // boxes): their mouse events stop at them instead of going on to the
    // parent.
    void SetPassiveMouse(bool on);
    virtual void FontChanged();
    // The colour a control has by default; Color equal to it leaves the
    // style's own.
    virtual TColor DefaultColor() const { return clBtnFace; }
    virtual void ApplyColor(TColor color);

    // The object that Qt connections of this control are made with, so
    // they end before the control's parts go.
    QObject* Context() const;
    void Notification(rtl::TComponent* component, rtl::TOperation op) override;
    // A character typed: raises OnKeyPress, which may change or swallow it.
    virtual void KeyPress(char32_t& Key);
    // A context popup asked for at MousePos (as OnContextPopup gets it):
    // raises OnContextPopup; Handled suppresses the popup menu. Controls
    // that offer a menu of their own say so with HasContextPopup.
    virtual void DoContextPopup(TPoint MousePos, bool& Handled);
    virtual bool HasContextPopup() const;

private:
    friend struct TControlPrivate;
    friend class TEventBridge;
    friend class TWinControl;
    friend class TForm;
};

// A control that holds other controls and lays out the aligned ones.
class TWinControl : public TControl {
public:
    explicit TWinControl(rtl::TComponent* owner);
    ~TWinControl() override;
    const char* ClassName() const override { return "TWinControl"; }

    int ControlCount() const;
    TControl* Controls(int i) const;
    // Places the aligned children: top ones down from the top, bottom ones
    // up from the bottom, then left and right ones, then the client one in
    // what is left.
    void AlignControls();

    // Library use: the widget children are placed in.
    virtual QWidget* ClientWidget() const;

private:
    friend class TControl;
    void insertControl(TControl* c);
    void removeControl(TControl* c);
    std::vector<TControl*> controls_;
};

// A list of texts shown by a control (a memo's lines, a list's items).
// Indexes count from 0; a bad index raises rtl::EStringListError.
class TStrings : public rtl::TObject {
    std::string getText() const { return GetText(); }
    void setText(std::string v) { SetText(v); }
    std::string getString(int i) const { return Get(i); }
    void setString(int i, std::string v) { Put(i, v); }

public:
    TStrings() = default;
    TStrings(const TStrings&) = delete;
    const char* ClassName() const override { return "TStrings"; }

    virtual int GetCount() const = 0;
    virtual std::string Get(int index) const = 0;
    virtual void Put(int index, const std::string& s);
    virtual void Insert(int index, const std::string& s) = 0;
    virtual void Delete(int index) = 0;
    virtual void Clear() = 0;
    // Appends (or, in a sorted list, inserts in order); returns the index.
    virtual int Add(const std::string& s);
    // Lines joined with CR LF after each; setting splits at CR LF, LF or CR.
    virtual std::string GetText() const;
    virtual void SetText(std::string_view text);

    TReadProp<TStrings, int, &TStrings::GetCount> Count{this};
    TProp<TStrings, std::string, &TStrings::getText, &TStrings::setText> Text{this};
    TIndexedProp<TStrings, std::string, &TStrings::getString, &TStrings::setString> Strings{this};
    std::string operator[](int index) const { return Get(index); }

    // Stops repainting until the matching EndUpdate.
    void BeginUpdate();
    void EndUpdate();
    // Index of the first entry equal to S, letter case ignored; -1 if none.
    int IndexOf(std::string_view s) const;
    void Exchange(int a, int b);
    void Move(int from, int to);
    void Assign(const rtl::TStringList& source);
    void Assign(const TStrings& source);
    void AddStrings(const rtl::TStringList& source);
    rtl::TStringList ToStringList() const;

protected:
    virtual void SetUpdateState(bool updating) {}
    void CheckIndex(int index, int limit) const;

private:
    int updateCount_ = 0;
};

// Texts kept in memory, telling their owner of every change (radio group
// items and similar).
class TOwnedStrings : public TStrings {
public:
    explicit TOwnedStrings(std::function<void()> changed) : changed_(std::move(changed)) {}
    int GetCount() const override { return static_cast<int>(items_.size()); }
    std::string Get(int index) const override;
    void Put(int index, const std::string& s) override;
    void Insert(int index, const std::string& s) override;
    void Delete(int index) override;
    void Clear() override;

protected:
    void SetUpdateState(bool updating) override;

private:
    void changed();
    std::vector<std::string> items_;
    std::function<void()> changed_;
    bool updating_ = false;
};

}  // namespace ui

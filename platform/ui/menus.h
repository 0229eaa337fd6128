#pragma once
// Menus: items with captions, shortcuts and click events, a window's main
// menu and popup menus. Shortcuts are served by the controls' own key
// handling (a control's popup menu, then its form's main menu), before the
// key events of the control.
#include <string>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/ui/controls.h"

class QAction;
class QMenu;
class QMenuBar;

namespace ui {

// A key with modifier bits.
using TShortCut = uint16_t;
constexpr TShortCut scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000;
TShortCut ShortCut(WORD key, TShiftState shift);
// "Ctrl+Shift+Z", "F7", "Ctrl+Alt+V".
std::string ShortCutToText(TShortCut shortCut);

class TMenuItem : public rtl::TComponent {
    std::string getCaption() const { return caption_; }
    void setCaption(std::string v);
    TShortCut getShortCut() const { return shortCut_; }
    void setShortCut(TShortCut v);
    bool getEnabled() const { return enabled_; }
    void setEnabled(bool v);
    bool getVisible() const { return visible_; }
    void setVisible(bool v);
    bool getChecked() const { return checked_; }
    void setChecked(bool v);
    int getTag() const { return tag_; }
    void setTag(int v) { tag_ = v; }

    std::string caption_;
    TShortCut shortCut_ = 0;
    bool enabled_ = true, visible_ = true, checked_ = false;
    int tag_ = 0;

public:
    explicit TMenuItem(rtl::TComponent* owner);
    ~TMenuItem() override;
    const char* ClassName() const override { return "TMenuItem"; }

    // "-" makes a separator; "&" marks the access key.
    TProp<TMenuItem, std::string, &TMenuItem::getCaption, &TMenuItem::setCaption> Caption{this};
    TProp<TMenuItem, TShortCut, &TMenuItem::getShortCut, &TMenuItem::setShortCut> ShortCut{this};
    TProp<TMenuItem, bool, &TMenuItem::getEnabled, &TMenuItem::setEnabled> Enabled{this};
    TProp<TMenuItem, bool, &TMenuItem::getVisible, &TMenuItem::setVisible> Visible{this};
    TProp<TMenuItem, bool, &TMenuItem::getChecked, &TMenuItem::setChecked> Checked{this};
    TProp<TMenuItem, int, &TMenuItem::getTag, &TMenuItem::setTag> Tag{this};

    void Add(TMenuItem* item);
    void Insert(int index, TMenuItem* item);
    void Remove(TMenuItem* item);
    int Count() const { return static_cast<int>(items_.size()); }
    TMenuItem* Items(int index) const;
    TMenuItem* operator[](int index) const { return Items(index); }
    TMenuItem* Parent() const { return parent_; }
    // Raises OnClick when the item is enabled.
    virtual void Click();
    // This item or one below it with that shortcut, enabled and visible.
    TMenuItem* FindByShortCut(TShortCut shortCut);

    rtl::TNotifyEvent OnClick;

    // Library use.
    QAction* Action() const { return action_; }
    QMenu* SubMenu();

private:
    void rebuild();
    QAction* action_;
    QMenu* menu_ = nullptr;
    TMenuItem* parent_ = nullptr;
    std::vector<TMenuItem*> items_;
    std::function<void()> onChildrenChanged_;
    friend class TMainMenu;
};

class TMenu : public rtl::TComponent {
    TMenuItem* root_;

public:
    explicit TMenu(rtl::TComponent* owner);
    ~TMenu() override;
    TPart<TMenuItem> Items;
    TMenuItem* FindItemByShortCut(TShortCut shortCut) { return Items->FindByShortCut(shortCut); }
};

class TPopupMenu : public TMenu {
public:
    explicit TPopupMenu(rtl::TComponent* owner) : TMenu(owner) {}
    const char* ClassName() const override { return "TPopupMenu"; }
    // Shows the menu at a screen point and returns at once; the chosen
    // item's OnClick runs when it is picked. OnPopup runs first.
    void Popup(int x, int y);
    // Shows the menu at a screen point and waits for the pick, through the
    // answerer (tests script it): the chosen item, after its OnClick ran,
    // or null. OnPopup runs first.
    TMenuItem* TrackPopup(int x, int y);
    // Library use: the menu on screen, for TrackPopup.
    TMenuItem* RunQt(int x, int y);
    rtl::TComponent* PopupComponent = nullptr;
    rtl::TNotifyEvent OnPopup;
};

class TMainMenu : public TMenu {
public:
    explicit TMainMenu(rtl::TComponent* owner);
    ~TMainMenu() override;
    const char* ClassName() const override { return "TMainMenu"; }
    // Library use: the bar a form shows.
    QMenuBar* MenuBar() const { return bar_; }

private:
    void rebuild();
    QMenuBar* bar_;
};

}  // namespace ui

#pragma once
// Panels, timers and radio groups.
#include <memory>
#include <string>

#include "platform/ui/controls.h"
#include "platform/ui/stdctrls.h"

class QLabel;
class QTimer;

namespace ui {

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

// A plain container with a caption drawn behind its controls.
class TPanel : public TWinControl {
    std::string getCaption() const { return caption_; }
    void setCaption(std::string v);
    TBevelCut getBevelOuter() const { return bevelOuter_; }
    void setBevelOuter(TBevelCut v);
    TAlignment getAlignment() const { return alignment_; }
    void setAlignment(TAlignment v);

    std::string caption_;
    TBevelCut bevelOuter_ = bvRaised;
    TAlignment alignment_ = taCenter;
    QLabel* label_;

public:
    explicit TPanel(rtl::TComponent* owner);
    const char* ClassName() const override { return "TPanel"; }
    TProp<TPanel, std::string, &TPanel::getCaption, &TPanel::setCaption> Caption{this};
    TProp<TPanel, TBevelCut, &TPanel::getBevelOuter, &TPanel::setBevelOuter> BevelOuter{this};
    TProp<TPanel, TAlignment, &TPanel::getAlignment, &TPanel::setAlignment> Alignment{this};
};

// Raises OnTimer every Interval milliseconds while Enabled (and Interval
// above 0). Enabling a disabled timer, or changing the interval, starts the
// count afresh; enabling an enabled one changes nothing. A timer starts
// enabled with an interval of 1000 ms, and ticks with no OnTimer do nothing.
class TTimer : public rtl::TComponent {
    bool getEnabled() const { return enabled_; }
    void setEnabled(bool v);
    int getInterval() const { return interval_; }
    void setInterval(int v);

    bool enabled_ = true;
    int interval_ = 1000;
    QTimer* timer_;
    void update();

public:
    explicit TTimer(rtl::TComponent* owner);
    ~TTimer() override;
    const char* ClassName() const override { return "TTimer"; }
    TProp<TTimer, bool, &TTimer::getEnabled, &TTimer::setEnabled> Enabled{this};
    TProp<TTimer, int, &TTimer::getInterval, &TTimer::setInterval> Interval{this};
    rtl::TNotifyEvent OnTimer;
};

struct TRadioGroupPrivate;

// Radio buttons made from Items in a captioned box. Choosing a button, by
// the user or by setting ItemIndex, raises OnClick.
class TRadioGroup : public TWinControl {
    std::unique_ptr<TRadioGroupPrivate> r_;  // first: Items points into it

    std::string getCaption() const { return caption_; }
    void setCaption(std::string v);
    int getItemIndex() const { return itemIndex_; }
    void setItemIndex(int v);
    int getColumns() const { return columns_; }
    void setColumns(int v);

    std::string caption_;
    int itemIndex_ = -1;
    int columns_ = 1;
    void rebuild();

public:
    explicit TRadioGroup(rtl::TComponent* owner);
    ~TRadioGroup() override;
    const char* ClassName() const override { return "TRadioGroup"; }
    TPart<TStrings> Items;
    TProp<TRadioGroup, std::string, &TRadioGroup::getCaption, &TRadioGroup::setCaption> Caption{this};
    TProp<TRadioGroup, int, &TRadioGroup::getItemIndex, &TRadioGroup::setItemIndex> ItemIndex{this};
    TProp<TRadioGroup, int, &TRadioGroup::getColumns, &TRadioGroup::setColumns> Columns{this};

private:
    friend struct TRadioGroupPrivate;
};

}  // namespace ui

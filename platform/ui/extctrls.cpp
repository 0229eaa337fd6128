#include "platform/ui/extctrls.h"

#include <QButtonGroup>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/ui/controls_p.h"

namespace ui {

// --------------------------------------------------------------- TPanel

TPanel::TPanel(rtl::TComponent* owner) : TWinControl(owner) {
    auto* frame = new QFrame;
    // The caption fills the panel beneath the controls placed on it later.
    label_ = new QLabel;
    label_->setTextFormat(Qt::PlainText);
    label_->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label_);
    SetWidget(frame);
    SetClickOnRelease(true);
    SetPassiveMouse(true);
    setBevelOuter(bvRaised);
    setAlignment(taCenter);
}

void TPanel::setCaption(std::string v) {
    caption_ = std::move(v);
    label_->setText(detail::DisplayText(caption_));
}

void TPanel::setBevelOuter(TBevelCut v) {
    bevelOuter_ = v;
    auto* frame = static_cast<QFrame*>(Widget());
    static const QFrame::Shadow kShadow[] = {QFrame::Plain, QFrame::Sunken, QFrame::Raised, QFrame::Plain};
    frame->setFrameShape(v == bvNone || v == bvSpace ? QFrame::NoFrame : QFrame::Panel);
    frame->setFrameShadow(kShadow[v]);
}

void TPanel::setAlignment(TAlignment v) {
    alignment_ = v;
    label_->setAlignment(detail::QtAlignment(v) | Qt::AlignVCenter);
}

// --------------------------------------------------------------- TTimer

TTimer::TTimer(rtl::TComponent* owner) : rtl::TComponent(owner), timer_(new QTimer) {
    QObject::connect(timer_, &QTimer::timeout, timer_, [this] {
        if (OnTimer) SafeCall([this] { OnTimer(this); });
    });
    update();
}

TTimer::~TTimer() {
    BeginDestroy();
    delete timer_;
}

void TTimer::update() {
    if (enabled_ && interval_ > 0) timer_->start(interval_);
    else timer_->stop();
}

void TTimer::setEnabled(bool v) {
    if (v == enabled_) return;
    enabled_ = v;
    update();
}

void TTimer::setInterval(int v) {
    if (v == interval_) return;
    interval_ = v;
    update();
}

// ---------------------------------------------------------- TRadioGroup

struct TRadioGroupPrivate {
    explicit TRadioGroupPrivate(TRadioGroup* group) : items([group] { group->rebuild(); }) {}
    TOwnedStrings items;
    QButtonGroup* buttons = nullptr;
    int quiet = 0;
};

TRadioGroup::TRadioGroup(rtl::TComponent* owner)
    : TWinControl(owner), r_(std::make_unique<TRadioGroupPrivate>(this)), Items(&r_->items) {
    auto* box = new QGroupBox;
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(6, 2, 6, 2);
    grid->setVerticalSpacing(0);
    r_->buttons = new QButtonGroup(box);
    r_->buttons->setExclusive(true);
    SetWidget(box);
    SetPassiveMouse(true);
    QObject::connect(r_->buttons, &QButtonGroup::idToggled, Context(), [this](int id, bool on) {
        if (!on || r_->quiet) return;
        itemIndex_ = id;
        Click();
    });
}

TRadioGroup::~TRadioGroup() = default;

void TRadioGroup::setCaption(std::string v) {
    caption_ = std::move(v);
    static_cast<QGroupBox*>(Widget())->setTitle(detail::DisplayText(caption_));
}

void TRadioGroup::rebuild() {
    auto* layout = static_cast<QGridLayout*>(Widget()->layout());
    for (QAbstractButton* b : r_->buttons->buttons()) {
        r_->buttons->removeButton(b);
        delete b;
    }
    const int n = Items->Count;
    const int perColumn = (n + columns_ - 1) / std::max(1, columns_);
    ++r_->quiet;
    for (int i = 0; i < n; ++i) {
        auto* b = new QRadioButton(detail::DisplayText(Items[i]));
        r_->buttons->addButton(b, i);
        layout->addWidget(b, perColumn ? i % perColumn : 0, perColumn ? i / perColumn : 0);
        if (i == itemIndex_) b->setChecked(true);
    }
    --r_->quiet;
    if (itemIndex_ >= n) itemIndex_ = -1;
}

void TRadioGroup::setItemIndex(int v) {
    if (v < -1) v = -1;
    if (v >= Items->Count) v = Items->Count - 1;
    if (v == itemIndex_) return;
    itemIndex_ = v;
    if (v < 0) {
        ++r_->quiet;
        r_->buttons->setExclusive(false);
        for (QAbstractButton* b : r_->buttons->buttons()) b->setChecked(false);
        r_->buttons->setExclusive(true);
        --r_->quiet;
        return;
    }
    r_->buttons->button(v)->setChecked(true);
}

void TRadioGroup::setColumns(int v) {
    columns_ = std::max(1, v);
    rebuild();
}

}  // namespace ui

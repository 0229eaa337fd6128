// Captions, buttons and boxes: TLabel, TButton, TBitBtn, TCheckBox, TRadioButton,
// TGroupBox.
#include "platform/ui/stdctrls.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "platform/ui/controls_p.h"
#include "platform/ui/forms.h"

namespace ui {

namespace {

// A caption with "&" access keys shown as the platform shows them: "&&"
// is one "&", a single "&" only marks the next letter.
QString labelText(std::string_view caption) {
    std::string t;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) ++i;
        t += caption[i];
    }
    return detail::DisplayText(t);
}
}  // namespace

// ---------------------------------------------------------------- TLabel

TLabel::TLabel(rtl::TComponent* owner) : TControl(owner) {
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SetWidget(label);
    SetClickOnRelease(true);
    SetPassiveMouse(true);
}

void TLabel::fit() {
    auto* label = static_cast<QLabel*>(Widget());
    if (autoSize_ && !label->wordWrap()) label->resize(label->sizeHint());
}

void TLabel::setCaption(std::string v) {
    caption_ = std::move(v);
    static_cast<QLabel*>(Widget())->setText(labelText(caption_));
    fit();
}

bool TLabel::getWordWrap() const { return static_cast<QLabel*>(Widget())->wordWrap(); }

void TLabel::setWordWrap(bool v) {
    static_cast<QLabel*>(Widget())->setWordWrap(v);
    fit();
}

void TLabel::setAutoSize(bool v) {
    autoSize_ = v;
    fit();
}

bool TLabel::getTransparent() const { return !Widget()->autoFillBackground(); }
void TLabel::setTransparent(bool v) { Widget()->setAutoFillBackground(!v); }

void TLabel::setAlignment(TAlignment v) {
    alignment_ = v;
    static_cast<QLabel*>(Widget())->setAlignment(detail::QtAlignment(v) | Qt::AlignTop);
}

void TLabel::FontChanged() {
    TControl::FontChanged();
    fit();
}

// ------------------------------------------------------- buttons & boxes

TButton::TButton(rtl::TComponent* owner) : TWinControl(owner) {
    auto* button = new QPushButton;
    button->setAutoDefault(false);
    SetWidget(button);
    QObject::connect(button, &QPushButton::clicked, Context(), [this] { Click(); });
}

void TButton::setCaption(std::string v) {
    caption_ = std::move(v);
    static_cast<QPushButton*>(Widget())->setText(detail::DisplayText(caption_));
}

void TButton::setDefault(bool v) {
    default_ = v;
    static_cast<QPushButton*>(Widget())->setDefault(v);
}

void TButton::Click() {
    if (modalResult_ != mrNone)
        if (TForm* form = ParentForm()) form->ModalResult = modalResult_;
    TWinControl::Click();
}

namespace {

struct KindInfo {
    const char* caption;
    TModalResult result;
    bool isDefault, isCancel;
};

const KindInfo& kindInfo(TBitBtnKind k) {
    static const KindInfo kKinds[] = {
        {"", mrNone, false, false},      {"OK", mrOk, true, false},        {"Cancel", mrCancel, false, true},
        {"&Help", mrNone, false, false}, {"&Yes", mrYes, true, false},     {"&No", mrNo, false, true},
        {"&Close", mrNone, false, false}, {"Abort", mrAbort, false, true}, {"&Retry", mrRetry, false, false},
        {"&Ignore", mrIgnore, false, false}, {"&All", mrNone, false, false}};
    return kKinds[k];
}
}  // namespace

void TBitBtn::setKind(TBitBtnKind v) {
    kind_ = v;
    if (v == bkCustom) return;
    const KindInfo& k = kindInfo(v);
    if (Caption().empty()) Caption = k.caption;
    ModalResult = k.result;
    Default = k.isDefault;
    Cancel = k.isCancel;
}

void TBitBtn::Click() {
    TButton::Click();
    if (kind_ == bkClose)
        if (TForm* form = ParentForm()) form->Close();
}

TCheckBox::TCheckBox(rtl::TComponent* owner) : TWinControl(owner) {
    auto* box = new QCheckBox;
    SetWidget(box);
    QObject::connect(box, &QCheckBox::stateChanged, Context(), [this](int) { Click(); });
}

void TCheckBox::setCaption(std::string v) {
    caption_ = std::move(v);
    static_cast<QCheckBox*>(Widget())->setText(detail::DisplayText(caption_));
}

bool TCheckBox::getChecked() const { return static_cast<QCheckBox*>(Widget())->checkState() == Qt::Checked; }
void TCheckBox::setChecked(bool v) { static_cast<QCheckBox*>(Widget())->setCheckState(v ? Qt::Checked : Qt::Unchecked); }

TCheckBoxState TCheckBox::getState() const {
    static const TCheckBoxState kStates[] = {cbUnchecked, cbGrayed, cbChecked};
    return kStates[static_cast<QCheckBox*>(Widget())->checkState()];
}

void TCheckBox::setState(TCheckBoxState v) {
    static const Qt::CheckState kStates[] = {Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked};
    static_cast<QCheckBox*>(Widget())->setCheckState(kStates[v]);
}

bool TCheckBox::getAllowGrayed() const { return static_cast<QCheckBox*>(Widget())->isTristate(); }
void TCheckBox::setAllowGrayed(bool v) { static_cast<QCheckBox*>(Widget())->setTristate(v); }

TRadioButton::TRadioButton(rtl::TComponent* owner) : TWinControl(owner) {
    auto* button = new QRadioButton;
    SetWidget(button);
    QObject::connect(button, &QRadioButton::toggled, Context(), [this](bool on) {
        if (on) Click();
    });
}

void TRadioButton::setCaption(std::string v) {
    caption_ = std::move(v);
    static_cast<QRadioButton*>(Widget())->setText(detail::DisplayText(caption_));
}

bool TRadioButton::getChecked() const { return static_cast<QRadioButton*>(Widget())->isChecked(); }
void TRadioButton::setChecked(bool v) { static_cast<QRadioButton*>(Widget())->setChecked(v); }

TGroupBox::TGroupBox(rtl::TComponent* owner) : TWinControl(owner) {
    SetWidget(new QGroupBox);
    SetPassiveMouse(true);
}

void TGroupBox::setCaption(std::string v) {
    caption_ = std::move(v);
    static_cast<QGroupBox*>(Widget())->setTitle(detail::DisplayText(caption_));
}

}  // namespace ui

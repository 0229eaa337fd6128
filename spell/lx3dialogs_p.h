#pragma once
// What the suite's stock dialogs share inside the library.
#include "platform/ui/forms.h"

namespace spell::detail {

// Holds back a dialog's reactions to its own changes while it lives.
class TFilling {
public:
    explicit TFilling(int& depth) : depth_(depth) { ++depth_; }
    ~TFilling() { --depth_; }
    TFilling(const TFilling&) = delete;
    TFilling& operator=(const TFilling&) = delete;

private:
    int& depth_;
};

// Centred on the owner form, on the screen without one.
inline ui::TPosition CentredOn(rtl::TComponent* Owner) {
    return dynamic_cast<ui::TForm*>(Owner) ? ui::poOwnerFormCenter : ui::poScreenCenter;
}

}  // namespace spell::detail

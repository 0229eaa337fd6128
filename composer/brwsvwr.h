#pragma once
// The message viewer and HTML editor (its Part comes with the composer).
#include "platform/ui/forms.h"

namespace composer {

class Tbrwsvwr : public ui::TForm {
public:
    explicit Tbrwsvwr(rtl::TComponent* owner);
    ~Tbrwsvwr() override;
    const char* ClassName() const override { return "Tbrwsvwr"; }
};

extern Tbrwsvwr* brwsvwr;

}  // namespace composer

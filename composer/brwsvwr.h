#pragma once
// The message viewer and HTML editor; an empty window until the composer is built.
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

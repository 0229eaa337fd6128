#pragma once
// The composer and sender window; an empty window until the composer is built.
#include "platform/ui/forms.h"

namespace composer {

class Tmlsend : public ui::TForm {
public:
    explicit Tmlsend(rtl::TComponent* owner);
    ~Tmlsend() override;
    const char* ClassName() const override { return "Tmlsend"; }
};

extern Tmlsend* mlsend;

}  // namespace composer

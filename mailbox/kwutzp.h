#pragma once
// The zip options window of archiving; empty until archiving is built.
#include "platform/ui/forms.h"

namespace mailbox {

class Tkwutzp : public ui::TForm {
public:
    explicit Tkwutzp(rtl::TComponent* owner);
    ~Tkwutzp() override;
    const char* ClassName() const override { return "Tkwutzp"; }
};

extern Tkwutzp* kwutzp;

}  // namespace mailbox

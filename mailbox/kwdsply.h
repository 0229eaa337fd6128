#pragma once
// The text window: the summary of the selected message (its Part comes with message rendering).
#include "platform/ui/forms.h"

namespace mailbox {

class Tkwdsply : public ui::TForm {
public:
    explicit Tkwdsply(rtl::TComponent* owner);
    ~Tkwdsply() override;
    const char* ClassName() const override { return "Tkwdsply"; }
};

extern Tkwdsply* kwdsply;

}  // namespace mailbox

#pragma once
// The text window showing the selected message; empty until messages are rendered.
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

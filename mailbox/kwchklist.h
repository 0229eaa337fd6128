#pragma once
// The check-list dialog; an empty window for now.
#include "platform/ui/forms.h"

namespace mailbox {

class Tkwchklist : public ui::TForm {
public:
    explicit Tkwchklist(rtl::TComponent* owner);
    ~Tkwchklist() override;
    const char* ClassName() const override { return "Tkwchklist"; }
};

extern Tkwchklist* kwchklist;

}  // namespace mailbox

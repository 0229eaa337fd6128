#pragma once
// The style designer of the quote style; an empty window until the composer is built.
#include "platform/ui/forms.h"

namespace composer {

class Tcssdsgnr : public ui::TForm {
public:
    explicit Tcssdsgnr(rtl::TComponent* owner);
    ~Tcssdsgnr() override;
    const char* ClassName() const override { return "Tcssdsgnr"; }
};

extern Tcssdsgnr* cssdsgnr;

}  // namespace composer

#pragma once
// The style designer of the quote style (its Part comes with the composer).
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

#include "composer/cssdsgnr.h"

namespace composer {

Tcssdsgnr* cssdsgnr = nullptr;

Tcssdsgnr::Tcssdsgnr(rtl::TComponent* owner) : ui::TForm(owner) {
    cssdsgnr = this;
    Caption = "Pelliwox - Style Designer";
}

Tcssdsgnr::~Tcssdsgnr() {
    if (cssdsgnr == this) cssdsgnr = nullptr;
}

}  // namespace composer

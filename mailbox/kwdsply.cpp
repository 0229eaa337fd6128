#include "mailbox/kwdsply.h"

namespace mailbox {

Tkwdsply* kwdsply = nullptr;

Tkwdsply::Tkwdsply(rtl::TComponent* owner) : ui::TForm(owner) {
    kwdsply = this;
    Caption = "Pelliwox";
}

Tkwdsply::~Tkwdsply() {
    if (kwdsply == this) kwdsply = nullptr;
}

}  // namespace mailbox

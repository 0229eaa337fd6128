#include "mailbox/kwutzp.h"

namespace mailbox {

Tkwutzp* kwutzp = nullptr;

Tkwutzp::Tkwutzp(rtl::TComponent* owner) : ui::TForm(owner) {
    kwutzp = this;
    Caption = "Pelliwox - Zip Options";
}

Tkwutzp::~Tkwutzp() {
    if (kwutzp == this) kwutzp = nullptr;
}

}  // namespace mailbox

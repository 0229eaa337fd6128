#include "mailbox/kwchklist.h"

namespace mailbox {

Tkwchklist* kwchklist = nullptr;

Tkwchklist::Tkwchklist(rtl::TComponent* owner) : ui::TForm(owner) {
    kwchklist = this;
    Caption = "Pelliwox";
}

Tkwchklist::~Tkwchklist() {
    if (kwchklist == this) kwchklist = nullptr;
}

}  // namespace mailbox

#include "composer/brwsvwr.h"

namespace composer {

Tbrwsvwr* brwsvwr = nullptr;

Tbrwsvwr::Tbrwsvwr(rtl::TComponent* owner) : ui::TForm(owner) {
    brwsvwr = this;
    Caption = "Pelliwox - Viewer";
}

Tbrwsvwr::~Tbrwsvwr() {
    if (brwsvwr == this) brwsvwr = nullptr;
}

}  // namespace composer

#include "composer/mlsend.h"

namespace composer {

Tmlsend* mlsend = nullptr;

Tmlsend::Tmlsend(rtl::TComponent* owner) : ui::TForm(owner) {
    mlsend = this;
    Caption = "Pelliwox - Compose";
}

Tmlsend::~Tmlsend() {
    if (mlsend == this) mlsend = nullptr;
}

}  // namespace composer

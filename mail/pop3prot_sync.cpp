#include "mail/pop3prot.h"

namespace mail {

bool TSyncPop3Cli::Synchronize(void (TCustomPop3Cli::*Proc)()) {
    try {
        (this->*Proc)();
    } catch (...) {
        // The refusal's text, when it has one, is in ErrorMessage.
        return false;
    }
    return WaitUntilReady();
}

bool TSyncPop3Cli::WaitUntilReady() { return WaitRequest(Timeout); }

}  // namespace mail

#include "mail/pop3prot.h"

#include <exception>

namespace mail {

bool TSyncPop3Cli::Synchronize(void (TCustomPop3Cli::*Proc)()) {
    try {
        (this->*Proc)();
    } catch (...) {
        // The refusal's text, when it has one, is in ErrorMessage.
        return false;
    }
    // The work overlaps the server's; a failure in it is raised once the
    // answer is in, so the session stays in step.
    std::exception_ptr failed;
    try {
        RunWhileWaiting();
    } catch (...) {
        failed = std::current_exception();
    }
    const bool ok = WaitUntilReady();
    if (failed) std::rethrow_exception(failed);
    return ok;
}

void TSyncPop3Cli::RunWhileWaiting() {
    if (!WhileWaiting) return;
    const auto work = std::move(WhileWaiting);
    WhileWaiting = nullptr;
    work();
}

bool TSyncPop3Cli::WaitUntilReady() { return WaitRequest(Timeout); }

}  // namespace mail

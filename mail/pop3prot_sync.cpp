#include "mail/pop3prot.h"
#include "platform/win/pump.h"

namespace mail {

namespace {
constexpr int64_t kWakeMs = 1000;  // the wait looks at the clock at least this often
}

bool TSyncPop3Cli::Synchronize(void (TCustomPop3Cli::*Proc)()) {
    try {
        (this->*Proc)();
    } catch (...) {
        // The refusal's text, when it has one, is in ErrorMessage.
        return false;
    }
    return WaitUntilReady();
}

bool TSyncPop3Cli::WaitUntilReady() {
    FLastActivity = win::GetTickCount();
    while (true) {
        if (FState == pop3Ready) return FRequestResult == 0;
        const int64_t limit = static_cast<int64_t>(Timeout) * 1000;
        const int64_t left = limit - win::TicksSince(FLastActivity);
        if (win::Terminated() || (Timeout > 0 && left < 0)) {
            Abort();
            FErrorMessage = "426 Timeout";
            FStatusCode = POP3_TIMEOUT;
            return false;
        }
        win::WaitForEvent(Timeout > 0 ? std::min(kWakeMs, left + 1) : kWakeMs);
    }
}

void TSyncPop3Cli::TriggerResponse(const std::string& Msg) {
    TPop3Cli::TriggerResponse(Msg);
    // The limit bounds the silence between lines, not a long answer.
    if (Timeout > 0) FLastActivity = win::GetTickCount();
}

}  // namespace mail

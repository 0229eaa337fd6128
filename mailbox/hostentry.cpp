#include "mailbox/hostentry.h"

#include "platform/rtl/sysutils.h"

namespace mailbox {

THostAddress ParseHostEntry(std::string_view entry) {
    THostAddress a;
    const std::string text = rtl::Trim(entry.substr(0, entry.find('(')));
    const size_t slash = text.find('/');
    a.host = rtl::Trim(text.substr(0, slash));
    std::string rest = slash == std::string::npos ? std::string() : rtl::Trim(text.substr(slash + 1));
    if (!rest.empty() && (rest[0] == '+' || rest[0] == '-')) {
        a.tls = rest[0] == '+' ? TTlsMode::Explicit : TTlsMode::Implicit;
        rest.erase(0, 1);
    }
    a.port = rtl::StrToIntDef(rest, 110);
    return a;
}

}  // namespace mailbox

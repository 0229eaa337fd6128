#pragma once
// A POP3 host entry as the host list shows it: "host[/[+|-]port] (description)".
#include <string>
#include <string_view>

namespace mailbox {

enum class TTlsMode { None, Explicit, Implicit };

struct THostAddress {
    std::string host;
    int port = 110;
    TTlsMode tls = TTlsMode::None;
};

// "+" before the port asks for TLS started with STLS, "-" for TLS from the
// first byte; a missing or unreadable port is 110.
THostAddress ParseHostEntry(std::string_view entry);

}  // namespace mailbox

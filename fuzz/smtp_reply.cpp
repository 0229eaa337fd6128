// SMTP server replies as arbitrary bytes, cut at line ends: the reply code
// reader gives a code within 32 bits for any line, and says "continued"
// only where a hyphen follows the digits.
#include <cstdint>
#include <string>

#include "mail/smtpprot.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string all(reinterpret_cast<const char*>(data), size);
    size_t from = 0;
    while (from <= all.size()) {
        size_t lf = all.find('\n', from);
        if (lf == std::string::npos) lf = all.size();
        const std::string line = all.substr(from, lf - from);
        from = lf + 1;
        bool continued = true;
        const int code = mail::SmtpReplyCode(line, continued);
        if (continued && line.find('-') == std::string::npos) __builtin_trap();
        if (code == 20600 && continued) __builtin_trap();
    }
    return 0;
}

// SMTP server replies as arbitrary bytes, cut at line ends: the reply code
// reader gives a code within 32 bits for any line, and says "continued"
// only where a hyphen follows the digits.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_lines.h"
#include "mail/smtpprot.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ForEachServerLine(data, size, [](const std::string& line) {
        bool continued = true;
        const int code = mail::SmtpReplyCode(line, continued);
        if (continued && line.find('-') == std::string::npos) __builtin_trap();
        if (code == 20600 && continued) __builtin_trap();
    });
    return 0;
}

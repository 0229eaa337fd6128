// POP3 server lines as arbitrary bytes, cut at line ends as the line engine
// cuts them: the readers of status lines, numbers and unique ids never
// overflow, never read past a line, and give only what the line holds.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_lines.h"
#include "mail/pop3prot_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ForEachServerLine(data, size, [](const std::string& line) {
        // A multi-line answer's line, dot-stuffing undone as the client does.
        const std::string unstuffed = line.size() > 1 && line[0] == '.' && line[1] == '.' ? line.substr(1) : line;
        int64_t a, b;
        if (mail::Pop3ExtractNumbers(unstuffed, a, b) && (a < 0 || b < 0)) __builtin_trap();
        if (!mail::Pop3ExtractNumbers(unstuffed, a, b) && (a != 0 || b != 0)) __builtin_trap();
        int n;
        std::string uidl;
        if (mail::Pop3ExtractUidl(unstuffed, n, uidl)) {
            if (n < 0 || uidl.size() > unstuffed.size() || unstuffed.find(uidl) == std::string::npos) __builtin_trap();
            for (char c : uidl)
                if (c < '!' || c > '~') __builtin_trap();
        }
        size_t i;
        int64_t first;
        if (mail::Pop3ReadFirstNumber(unstuffed, i, INT32_MAX, first) && (first < 0 || first > INT32_MAX || i > unstuffed.size()))
            __builtin_trap();
    });
    return 0;
}

// Reply lines as arbitrary bytes, one per input line: the reader's codes stay
// three-digit codes, a multi-line reply ends only at its own code, and an
// address read from a 227 or 229 reply reads the same when written again.
#include <cstdint>
#include <string>

#include "mail/ftpcli_parse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string in(reinterpret_cast<const char*>(data), size);
    mail::TFtpReplyReader reader;
    int open = 0;  // the code a multi-line reply opened with
    for (size_t at = 0; at <= in.size();) {
        size_t end = in.find('\n', at);
        if (end == std::string::npos) end = in.size();
        const std::string line = in.substr(at, end - at);
        at = end + 1;

        int code = 0;
        const bool inside = reader.InMultiLine();
        const mail::TFtpReplyReader::TKind kind = reader.Feed(line, code);
        if (kind == mail::TFtpReplyReader::ReplyBad && inside) __builtin_trap();
        if (kind == mail::TFtpReplyReader::ReplyFinal) {
            if (code < 100 || code > 699 || (inside && code != open)) __builtin_trap();
            if (reader.InMultiLine()) __builtin_trap();
        }
        if (!inside && reader.InMultiLine()) open = code;

        uint8_t a[4];
        uint16_t port = 0;
        if (mail::FtpParsePasvReply(line, a, port)) {
            if (port == 0) __builtin_trap();
            const std::string again = "227 (" + std::to_string(a[0]) + "," + std::to_string(a[1]) + "," +
                                      std::to_string(a[2]) + "," + std::to_string(a[3]) + "," +
                                      std::to_string(port >> 8) + "," + std::to_string(port & 255) + ")";
            uint8_t b[4];
            uint16_t port2 = 0;
            if (!mail::FtpParsePasvReply(again, b, port2) || port2 != port || std::string(a, a + 4) != std::string(b, b + 4))
                __builtin_trap();
        }
        if (mail::FtpParseEpsvReply(line, port)) {
            uint16_t port2 = 0;
            if (port == 0 || !mail::FtpParseEpsvReply("229 (|||" + std::to_string(port) + "|)", port2) || port2 != port)
                __builtin_trap();
        }
    }
    return 0;
}

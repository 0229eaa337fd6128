// Base64 decoding of arbitrary text, into fresh and into used memory, and
// the round trip of arbitrary bytes through the whole-string and line-by-line
// encoders.
#include <cstdint>
#include <string>
#include <string_view>

#include "mail/mimeutils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    const std::string decoded = mail::Base64Decode(in);
    if (decoded.size() > size) __builtin_trap();
    // Into memory that held something longer: nothing of it may remain.
    std::string reused(size + 64, 'x');
    mail::Base64DecodeInto(in, reused);
    if (reused != decoded) __builtin_trap();

    if (mail::Base64Decode(mail::Base64Encode(in)) != in) __builtin_trap();
    std::string lines;
    for (int pos = 1; pos <= static_cast<int>(size);) lines += mail::Base64EncodeEx(in, 76, pos) + "\r\n";
    if (mail::Base64Decode(lines) != in) __builtin_trap();
    return 0;
}

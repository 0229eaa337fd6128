// Quoted-printable decoding of arbitrary text, and the round trip of
// arbitrary bytes through each encoder.
#include <cstdint>
#include <string>
#include <string_view>

#include "mail/mimeutils.h"
#include "platform/rtl/exceptions.h"

namespace {

void expectRoundTrip(std::string_view in, const std::string& encoded) {
    if (mail::DecodeQuotedPrintable(encoded) != in) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    try {
        mail::DecodeQuotedPrintable(in);
    } catch (const rtl::EConvertError&) {
        // bad escapes are reported, not decoded
    }

    expectRoundTrip(in, mail::SplitQuotedPrintableString(mail::EncodeQuotedPrintable(in)));
    expectRoundTrip(in, mail::StrEncodeQP(in, 76, mail::TSysCharSet()));
    const int maxLen = size > 0 ? data[0] % 80 : 75;
    std::string lines;
    for (int pos = 1; pos <= static_cast<int>(size);) {
        if (!lines.empty()) lines += "\r\n";
        lines += mail::StrEncodeQPEx(in, maxLen, mail::TSysCharSet(), false, pos, true);
    }
    expectRoundTrip(in, lines);
    return 0;
}

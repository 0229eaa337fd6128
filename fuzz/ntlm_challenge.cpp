// The server's NTLM challenge message, as arbitrary bytes in base64 and as
// arbitrary text; then an answer built from the parsed challenge.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "mail/evqntlmmsgs.h"
#include "mail/mimeutils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    const mail::TNTLM_Msg2_Info info = mail::NtlmGetMessage2(mail::Base64Encode(in));
    if (info.Valid != (size >= 32)) __builtin_trap();
    if (info.Target.size() > size || info.Domain.size() > size || info.Server.size() > size) __builtin_trap();
    mail::NtlmGetMessage2(in);

    const size_t half = size / 2;
    const size_t third = std::min<size_t>(3, size);
    mail::NtlmGetMessage3(in.substr(0, third), in.substr(third, 3), in.substr(0, half), in.substr(half), info.Challenge);
    return 0;
}

#pragma once
// The three NTLM (version 1) messages, as base64 text: negotiate, challenge
// and authenticate.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace mail {

using TNtlmChallenge = std::array<uint8_t, 8>;

// What the server's challenge message says. Names are widened byte by byte.
struct TNTLM_Msg2_Info {
    bool Valid = false;
    std::u16string Target;
    std::u16string Domain;  // target information entry 2
    std::u16string Server;  // target information entry 1
    TNtlmChallenge Challenge{};
};

std::string NtlmGetMessage1(std::string_view Host, std::string_view Domain);
// Valid is false for an empty text and for a message too short to hold the
// challenge; fields that point outside the message are left empty.
TNTLM_Msg2_Info NtlmGetMessage2(std::string_view Msg);
std::string NtlmGetMessage3(std::string_view Domain, std::string_view Host, std::string_view User,
                            std::string_view Password, const TNtlmChallenge& Challenge);

}  // namespace mail

#include "mail/evqntlmmsgs.h"

#include <algorithm>
#include <cstring>

#include "mail/evqdes.h"
#include "mail/evqmd4.h"
#include "mail/mimeutils.h"
#include "platform/rtl/sysutils.h"

namespace mail {

namespace {

constexpr char kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', '\0'};
constexpr size_t kMsg1Header = 32;
constexpr size_t kMsg2Header = 48;
constexpr size_t kMsg3Header = 64;
constexpr size_t kChallengeAt = 24;
constexpr uint32_t kMsg1Flags = 0x8207;
constexpr uint32_t kMsg1WorkstationSupplied = 0x2000;
constexpr uint32_t kMsg1DomainSupplied = 0x1000;
constexpr uint32_t kMsg3Flags = 0x8205;
constexpr size_t kResponseLen = 24;
constexpr size_t kLmPasswordLen = 14;
constexpr char kLmConstant[] = "KGS!@#$%";

void put16(std::string& m, size_t at, size_t v) {
    m[at] = static_cast<char>(v & 0xFF);
    m[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& m, size_t at, size_t v) {
    put16(m, at, v & 0xFFFF);
    put16(m, at + 2, (v >> 16) & 0xFFFF);
}

uint32_t get16(std::string_view m, size_t at) {
    return uint32_t(uint8_t(m[at])) | uint32_t(uint8_t(m[at + 1])) << 8;
}

uint32_t get32(std::string_view m, size_t at) { return get16(m, at) | get16(m, at + 2) << 16; }

// A header of Size zero bytes with the signature and the message type.
std::string newMessage(size_t size, uint32_t type) {
    std::string m(size, '\0');
    std::memcpy(m.data(), kSignature, sizeof(kSignature));
    put32(m, 8, type);
    return m;
}

// Length, allocated length and offset of one field.
void putField(std::string& m, size_t at, size_t len, size_t offset) {
    put16(m, at, len);
    put16(m, at + 2, len);
    put32(m, at + 4, offset);
}

// The bytes a field descriptor at At points to, cut to what the message holds.
std::string_view getField(std::string_view m, size_t at) {
    const size_t len = get16(m, at);
    const size_t offset = get32(m, at + 4);
    if (offset >= m.size()) return {};
    return m.substr(offset, std::min(len, m.size() - offset));
}

std::u16string widen(std::string_view s) {
    std::u16string w;
    w.reserve(s.size());
    for (char c : s) w += static_cast<char16_t>(static_cast<uint8_t>(c));
    return w;
}

void appendUtf16LE(std::string& out, uint32_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
}

// The 16-bit little-endian form of a text. Our texts are UTF-8, so characters
// are decoded first; a byte that is not part of a well-formed character
// stands for itself, as it would in a single-byte code page.
std::string toUnicode(std::string_view s) {
    std::string out;
    out.reserve(s.size() * 2);
    for (size_t i = 0; i < s.size();) {
        const int n = Utf8CharLength(s, i);
        uint32_t cp = static_cast<uint8_t>(s[i]);
        if (n > 1) {
            cp &= 0xFFu >> (n + 1);
            for (int k = 1; k < n; ++k) cp = cp << 6 | (static_cast<uint8_t>(s[i + static_cast<size_t>(k)]) & 0x3F);
        }
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            appendUtf16LE(out, 0xD800 | (cp >> 10));
            appendUtf16LE(out, 0xDC00 | (cp & 0x3FF));
        } else {
            appendUtf16LE(out, cp);
        }
        i += static_cast<size_t>(n);
    }
    return out;
}

// Spreads 56 key bits over eight bytes, leaving each low (parity) bit clear.
void desKeyFrom7(const uint8_t* b, uint8_t key[8]) {
    key[0] = b[0];
    for (int i = 1; i < 7; ++i) key[i] = static_cast<uint8_t>(b[i - 1] << (8 - i) | b[i] >> i);
    key[7] = static_cast<uint8_t>(b[6] << 1);
}

// Each 7-byte piece of Keys encrypts Block; the results are joined.
std::string desEncryptWithPieces(std::string_view keys, const uint8_t block[8]) {
    std::string out;
    for (size_t at = 0; at + 7 <= keys.size(); at += 7) {
        uint8_t key[8], result[8];
        desKeyFrom7(reinterpret_cast<const uint8_t*>(keys.data()) + at, key);
        DES(block, result, key, true);
        out.append(reinterpret_cast<const char*>(result), 8);
    }
    return out;
}

std::string lmHash(std::string_view password) {
    std::string pw = rtl::UpperCase(password.substr(0, kLmPasswordLen));
    pw.resize(kLmPasswordLen, '\0');
    return desEncryptWithPieces(pw, reinterpret_cast<const uint8_t*>(kLmConstant));
}

std::string ntHash(std::string_view password) { return MD4String(toUnicode(password)); }

// The 16-byte hash padded to 21 bytes encrypts the challenge three times.
std::string challengeResponse(std::string hash, const TNtlmChallenge& challenge) {
    hash.resize(21, '\0');
    return desEncryptWithPieces(hash, challenge.data());
}

}  // namespace

std::string NtlmGetMessage1(std::string_view Host, std::string_view Domain) {
    const std::string ws = rtl::UpperCase(Host);
    const std::string dom = rtl::UpperCase(Domain);
    std::string m = newMessage(kMsg1Header, 1);
    uint32_t flags = kMsg1Flags;
    if (!ws.empty()) flags |= kMsg1WorkstationSupplied;
    if (!dom.empty()) flags |= kMsg1DomainSupplied;
    put32(m, 12, flags);
    putField(m, 16, dom.size(), dom.empty() ? 0 : kMsg1Header + ws.size());
    putField(m, 24, ws.size(), ws.empty() ? 0 : kMsg1Header);
    return Base64Encode(m + ws + dom);
}

TNTLM_Msg2_Info NtlmGetMessage2(std::string_view Msg) {
    TNTLM_Msg2_Info info;
    if (Msg.empty()) return info;
    const std::string m = Base64Decode(Msg);
    if (m.size() < kChallengeAt + info.Challenge.size()) return info;
    info.Valid = true;
    std::memcpy(info.Challenge.data(), m.data() + kChallengeAt, info.Challenge.size());
    info.Target = widen(getField(m, 12));
    if (m.size() < kMsg2Header) return info;  // older servers send no target information
    const std::string_view targetInfo = getField(m, 40);
    size_t pos = 0;
    while (pos + 4 <= targetInfo.size()) {
        const uint32_t type = get16(targetInfo, pos);
        const size_t len = get16(targetInfo, pos + 2);
        if (type == 0 && len == 0) break;
        const std::string_view value = targetInfo.substr(pos + 4, len);
        if (type == 1) info.Server = widen(value);
        if (type == 2) info.Domain = widen(value);
        pos += 4 + len;
    }
    return info;
}

std::string NtlmGetMessage3(std::string_view Domain, std::string_view Host, std::string_view User,
                            std::string_view Password, const TNtlmChallenge& Challenge) {
    const std::string dom = toUnicode(Domain);
    const std::string user = toUnicode(User);
    const std::string ws = toUnicode(Host);
    const size_t lmAt = kMsg3Header + dom.size() + user.size() + ws.size();
    std::string m = newMessage(kMsg3Header, 3);
    putField(m, 12, kResponseLen, lmAt);
    putField(m, 20, kResponseLen, lmAt + kResponseLen);
    putField(m, 28, dom.size(), kMsg3Header);
    putField(m, 36, user.size(), kMsg3Header + dom.size());
    putField(m, 44, ws.size(), kMsg3Header + dom.size() + user.size());
    putField(m, 52, 0, 0);
    put32(m, 60, kMsg3Flags);
    m += dom + user + ws;
    m += challengeResponse(lmHash(Password), Challenge);
    m += challengeResponse(ntHash(Password), Challenge);
    return Base64Encode(m);
}

}  // namespace mail

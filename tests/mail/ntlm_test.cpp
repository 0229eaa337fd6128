#include "mail/evqntlmmsgs.h"

#include <gtest/gtest.h>

#include "mail/mimeutils.h"
#include "tests/mail/mail_test_util.h"

using namespace mail;
using mailtest::fromHex;
using mailtest::toHex;

namespace {

uint32_t le16(const std::string& m, size_t at) { return uint8_t(m[at]) | uint8_t(m[at + 1]) << 8; }
uint32_t le32(const std::string& m, size_t at) { return le16(m, at) | le16(m, at + 2) << 16; }

// Length, allocated length and offset of the field described at At.
struct Field {
    uint32_t len, alloc, offset;
};
Field field(const std::string& m, size_t at) { return {le16(m, at), le16(m, at + 2), le32(m, at + 4)}; }
std::string fieldBytes(const std::string& m, size_t at) {
    const Field f = field(m, at);
    return m.substr(f.offset, f.len);
}

const TNtlmChallenge kChallenge = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};

TEST(NtlmMessage1, EmptyNames) {
    const std::string m = Base64Decode(NtlmGetMessage1("", ""));
    ASSERT_EQ(m.size(), 32u);
    EXPECT_EQ(m.substr(0, 8), std::string("NTLMSSP\0", 8));
    EXPECT_EQ(le32(m, 8), 1u);
    EXPECT_EQ(le32(m, 12), 0x8207u);
    EXPECT_EQ(m.substr(16), std::string(16, '\0'));
}

TEST(NtlmMessage1, WorkstationThenDomainUpperCased) {
    const std::string m = Base64Decode(NtlmGetMessage1("abc", "dom1"));
    EXPECT_EQ(le32(m, 12), 0xB207u);
    EXPECT_EQ(m.substr(32), "ABCDOM1");
    const Field dom = field(m, 16), ws = field(m, 24);
    EXPECT_EQ(dom.len, 4u);
    EXPECT_EQ(dom.alloc, 4u);
    EXPECT_EQ(dom.offset, 35u);
    EXPECT_EQ(ws.len, 3u);
    EXPECT_EQ(ws.offset, 32u);
}

TEST(NtlmMessage3, LayoutWithOneCharacterNames) {
    const std::string m = Base64Decode(NtlmGetMessage3("D", "W", "U", "pw", kChallenge));
    ASSERT_EQ(m.size(), 118u);
    EXPECT_EQ(m.substr(0, 8), std::string("NTLMSSP\0", 8));
    EXPECT_EQ(le32(m, 8), 3u);
    EXPECT_EQ(le32(m, 60), 0x8205u);
    const struct {
        size_t at;
        uint32_t len, offset;
    } fields[] = {{12, 24, 70}, {20, 24, 94}, {28, 2, 64}, {36, 2, 66}, {44, 2, 68}, {52, 0, 0}};
    for (const auto& f : fields) {
        EXPECT_EQ(field(m, f.at).len, f.len) << f.at;
        EXPECT_EQ(field(m, f.at).alloc, f.len) << f.at;
        EXPECT_EQ(field(m, f.at).offset, f.offset) << f.at;
    }
    EXPECT_EQ(m.substr(64, 6), std::string("D\0U\0W\0", 6));
}

// The LM and NT responses of the published NTLMv1 examples.
TEST(NtlmMessage3, PublishedResponses) {
    const struct {
        const char* password;
        const char* lm;
        const char* nt;
    } cases[] = {
        {"Password", "98def7b87f88aa5dafe2df779688a172def11c7d5ccdef13",
         "67c43011f30298a2ad35ece64f16331c44bdbed927841f94"},
        {"SecREt01", "c337cd5cbd44fc9782a667af6d427c6de67c20c2d3e77c56",
         "25a98c1c31e81847466b29b2df4680f39958fb8c213a9cc6"},
    };
    for (const auto& c : cases) {
        const std::string m = Base64Decode(NtlmGetMessage3("Domain", "", "User", c.password, kChallenge));
        EXPECT_EQ(toHex(fieldBytes(m, 12)), c.lm) << c.password;
        EXPECT_EQ(toHex(fieldBytes(m, 20)), c.nt) << c.password;
        EXPECT_EQ(fieldBytes(m, 36), std::string("U\0s\0e\0r\0", 8));
    }
}

TEST(NtlmMessage3, LmUsesFourteenCharacters) {
    const std::string longer = Base64Decode(NtlmGetMessage3("", "", "u", "abcdefghijklmnXYZ", kChallenge));
    const std::string cut = Base64Decode(NtlmGetMessage3("", "", "u", "ABCDEFGHIJKLMN", kChallenge));
    EXPECT_EQ(fieldBytes(longer, 12), fieldBytes(cut, 12));
    EXPECT_NE(fieldBytes(longer, 20), fieldBytes(cut, 20));
}

TEST(NtlmMessage3, Utf8NamesAndPasswordsGoOutAsTheirCharacters) {
    // U+00FC, U+20AC and U+1D11E (a surrogate pair).
    const std::string m = Base64Decode(NtlmGetMessage3("", "", "J\xC3\xBC\xE2\x82\xAC\xF0\x9D\x84\x9E", "x", kChallenge));
    EXPECT_EQ(toHex(fieldBytes(m, 36)), "4a00fc00ac2034d81edd");
    // A password in UTF-8 and the same password as single bytes give one NT response.
    const std::string utf8 = Base64Decode(NtlmGetMessage3("", "", "u", "K\xC3\xB6ln", kChallenge));
    const std::string latin1 = Base64Decode(NtlmGetMessage3("", "", "u", "K\xF6ln", kChallenge));
    EXPECT_EQ(fieldBytes(utf8, 20), fieldBytes(latin1, 20));
}

std::string u16(std::string_view s) {
    std::string out;
    for (char c : s) out += std::string{c, '\0'};
    return out;
}

// A challenge message as a server builds it, with the field descriptors
// pointing wherever the test wants.
struct Msg2Builder {
    std::string m = std::string("NTLMSSP\0", 8) + std::string(40, '\0');
    Msg2Builder() {
        m[8] = 2;
        for (size_t i = 0; i < 8; ++i) m[24 + i] = static_cast<char>(kChallenge[i]);
    }
    void setField(size_t at, uint32_t len, uint32_t offset) {
        for (int i = 0; i < 2; ++i) m[at + i] = m[at + 2 + i] = static_cast<char>(len >> (8 * i));
        for (int i = 0; i < 4; ++i) m[at + 4 + i] = static_cast<char>(offset >> (8 * i));
    }
    std::string entry(uint16_t type, const std::string& value) {
        return std::string{char(type & 0xFF), char(type >> 8), char(value.size() & 0xFF), char(value.size() >> 8)} + value;
    }
};

TEST(NtlmMessage2, ReadsTargetInformationAndChallenge) {
    Msg2Builder b;
    const std::string target = u16("DOMAIN");
    const std::string info = b.entry(2, u16("DOMAIN")) + b.entry(1, u16("SERVER")) + b.entry(4, u16("x.test")) + b.entry(0, "");
    b.setField(12, static_cast<uint32_t>(target.size()), 48);
    b.setField(40, static_cast<uint32_t>(info.size()), static_cast<uint32_t>(48 + target.size()));
    const TNTLM_Msg2_Info r = NtlmGetMessage2(Base64Encode(b.m + target + info));
    EXPECT_TRUE(r.Valid);
    EXPECT_EQ(r.Challenge, kChallenge);
    EXPECT_EQ(r.Target, std::u16string(u"D\0O\0M\0A\0I\0N\0", 12));
    EXPECT_EQ(r.Domain, std::u16string(u"D\0O\0M\0A\0I\0N\0", 12));
    EXPECT_EQ(r.Server, std::u16string(u"S\0E\0R\0V\0E\0R\0", 12));
}

TEST(NtlmMessage2, EmptyOrShortMessagesAreNotValid) {
    EXPECT_FALSE(NtlmGetMessage2("").Valid);
    EXPECT_FALSE(NtlmGetMessage2(Base64Encode(std::string("NTLMSSP\0\2\0\0\0", 12))).Valid);
    // An older 32-byte form still carries the challenge.
    Msg2Builder b;
    const TNTLM_Msg2_Info r = NtlmGetMessage2(Base64Encode(b.m.substr(0, 32)));
    EXPECT_TRUE(r.Valid);
    EXPECT_EQ(r.Challenge, kChallenge);
    EXPECT_TRUE(r.Target.empty());
}

TEST(NtlmMessage2, FieldsPointingOutsideAreCutOrEmpty) {
    const struct {
        uint32_t targetLen, targetOffset, infoLen, infoOffset;
        size_t targetChars;
    } cases[] = {
        {10, 0xFFFFFFFF, 8, 0xFFFFFFF0, 0},  // far outside
        {4, 52, 0xFFFF, 48, 4},               // lengths past the end are cut
        {0xFFFF, 54, 4, 56, 6},
    };
    for (const auto& c : cases) {
        Msg2Builder b;
        b.setField(12, c.targetLen, c.targetOffset);
        b.setField(40, c.infoLen, c.infoOffset);
        // Entries whose own lengths run past the message.
        const std::string tail = b.entry(2, "ab") + std::string{char(1), 0, char(0xFF), char(0x7F)} + "xy";
        const TNTLM_Msg2_Info r = NtlmGetMessage2(Base64Encode(b.m + tail));
        EXPECT_TRUE(r.Valid);
        EXPECT_EQ(r.Challenge, kChallenge);
        EXPECT_EQ(r.Target.size(), c.targetChars);
    }
}

}  // namespace

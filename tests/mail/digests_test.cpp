#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "mail/evqdes.h"
#include "mail/evqmd4.h"
#include "mail/evqmd5.h"
#include "mail/mimeutils.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"
#include "tests/mail/mail_test_util.h"
#include "tests/support/plants.h"

using namespace mail;
using mailtest::fromHex;
using mailtest::toHex;

namespace {

struct DigestCase {
    const char* input;
    const char* digest;
};

// RFC 1321, appendix A.5.
const DigestCase kMd5Suite[] = {
    {"", "D41D8CD98F00B204E9800998ECF8427E"},
    {"a", "0CC175B9C0F1B6A831C399E269772661"},
    {"abc", "900150983CD24FB0D6963F7D28E17F72"},
    {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
    {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57EDF4A22BE3C955AC49DA2E2107B67A"},
};

// RFC 1320, appendix A.5.
const DigestCase kMd4Suite[] = {
    {"", "31d6cfe0d16ae931b73c59d7e0c089c0"},
    {"a", "bde52cb31de33e46245e05fbdbd6fb24"},
    {"abc", "a448017aaf21d8525fc10ae87aa6729d"},
    {"message digest", "d9130a8164549fe818874806e1c7014b"},
    {"abcdefghijklmnopqrstuvwxyz", "d79e1c308aa5bbcdeea8ed63df412da9"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "043f8582f241db351ce627e153e7f0e4"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "e33b4ddc9c38f2199c3e7b164fcc0536"},
};

TEST(MD5, Rfc1321Suite) {
    for (const auto& c : kMd5Suite) EXPECT_EQ(StrMD5(c.input), c.digest) << c.input;
    EXPECT_EQ(GetMD5(nullptr, 0), StrMD5(""));
}

TEST(MD5, PiecewiseUpdatesMatchOneCall) {
    const std::string text = kMd5Suite[6].input;
    TMD5Context ctx;
    MD5Init(ctx);
    for (size_t at = 0; at < text.size(); at += 7)
        MD5Update(ctx, text.data() + at, static_cast<int32_t>(std::min<size_t>(7, text.size() - at)));
    MD5Update(ctx, text.data(), -5);  // adds nothing
    TMD5Digest d;
    MD5Final(d, ctx);
    EXPECT_EQ(MD5DigestToHex(d), kMd5Suite[6].digest);
    const TMD5Context zero{};
    EXPECT_EQ(std::memcmp(&ctx, &zero, sizeof ctx), 0) << "the context is wiped";
}

TEST(MD5, MillionBytesThroughFileAndBuffer) {
    const std::string data(1000000, 'a');  // crosses the 16 KB and 100 KB pieces
    const std::string path = mailtest::tempPath("md5_million.bin");
    std::ofstream(path, std::ios::binary) << data;
    EXPECT_EQ(FileMD5(path), "7707D6AE4E027C70EEA2A935C2296F21");
    EXPECT_EQ(GetMD5(data.data(), data.size()), "7707D6AE4E027C70EEA2A935C2296F21");
    std::remove(path.c_str());
    EXPECT_THROW(FileMD5(path), rtl::EInOutError);
}

// A file's digest is taken only of a regular file: a link to one is
// followed, and a pipe is refused at once rather than waited on for ever.
TEST(MD5, FileDigestsReadOnlyRegularFiles) {
    testsupport::TPlantBed bed("abc");
    const std::vector<testsupport::TFileUse> digests = {
        {"file digest",
         [](const std::string& n) {
             if (FileMD5(n) != "900150983CD24FB0D6963F7D28E17F72") throw std::runtime_error("not the victim's");
         },
         [](const std::string& n, const std::string& reason) { return "Cannot open file \"" + n + "\". " + reason; }},
    };
    testsupport::ExpectReadsOfRegularFilesOnly(bed, digests);
}

TEST(MD5, Hmac) {
    // RFC 2202, section 2.
    const struct {
        std::string key, data;
        const char* mac;
    } cases[] = {
        {std::string(16, '\x0b'), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
        {"Jefe", "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
        {std::string(16, '\xaa'), std::string(50, '\xdd'), "56be34521d144c88dbb8c733f0e8b3f6"},
        {fromHex("0102030405060708090a0b0c0d0e0f10111213141516171819"), std::string(50, '\xcd'),
         "697eaf0aca3a3aea3a75164746ffaa79"},
        {std::string(16, '\x0c'), "Test With Truncation", "56461ef2342edc00f9bab995690efd4c"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
         "6f630fad67cda0ee1fb1f562db3aa53e"},
    };
    for (const auto& c : cases) EXPECT_EQ(rtl::LowerCase(MD5DigestToHex(HMAC_MD5(c.key, c.data))), c.mac);
}

TEST(MD5, ApopDigest) {
    // RFC 1939, APOP example.
    EXPECT_EQ(rtl::LowerCase(StrMD5("<1896.697170952@dbc.mtview.ca.us>tanstaaf")), "c4c9334bac560ecc979e58001b3e22fb");
}

TEST(MD5, CramMd5Answer) {
    // RFC 2195: the server's challenge and the client's answer as they travel.
    const std::string challenge = Base64Decode("PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+");
    ASSERT_EQ(challenge, "<1896.697170952@postoffice.reston.mci.net>");
    const std::string answer = "tim " + rtl::LowerCase(MD5DigestToHex(HMAC_MD5("tanstaaftanstaaf", challenge)));
    EXPECT_EQ(answer, "tim b913a602c7eda7a495b4e6e7334d3890");
    EXPECT_EQ(Base64Encode(answer), "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw");
}

TEST(MD4, Rfc1320Suite) {
    for (const auto& c : kMd4Suite) {
        const std::string d = MD4String(c.input);
        EXPECT_EQ(d.size(), 16u);
        EXPECT_EQ(toHex(d), c.digest) << c.input;
    }
}

TEST(MD4, UninitialisedOrFinishedContextRaises) {
    TMD4Context ctx;
    MD4Burn(ctx);
    EXPECT_THROW(MD4Update(ctx, "a", 1), MD4Exception);
    MD4Init(ctx);
    MD4UpdateStr(ctx, "abc");
    TMD4Digest d;
    MD4Final(ctx, d);
    EXPECT_EQ(toHex(std::string(d.begin(), d.end())), kMd4Suite[2].digest);
    try {
        MD4Final(ctx, d);
        FAIL();
    } catch (const MD4Exception& e) {
        EXPECT_EQ(e.Message, "MD4 not initialized");
    }
    EXPECT_THROW(MD4UpdateStr(ctx, "x"), MD4Exception);
}

struct DesCase {
    const char* key;
    const char* plain;
    const char* cipher;
};

const DesCase kDesKnownAnswers[] = {
    {"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},  // "Now is t"
    {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
    // NIST variable plaintext, variable key and S-box rows.
    {"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
    {"0101010101010101", "4000000000000000", "DD7F121CA5015619"},
    {"0101010101010101", "2000000000000000", "2E8653104F3834EA"},
    {"8001010101010101", "0000000000000000", "95A8D72813DAA94D"},
    {"4001010101010101", "0000000000000000", "0EEC1487DD8C26D5"},
    {"2001010101010101", "0000000000000000", "7AD16FFB79C45926"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "690F5B0D9A26939B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "7A389D10354BD271"},
};

std::string des(const std::string& key, const std::string& in, bool encrypt) {
    uint8_t out[8];
    DES(reinterpret_cast<const uint8_t*>(in.data()), out, reinterpret_cast<const uint8_t*>(key.data()), encrypt);
    return std::string(reinterpret_cast<char*>(out), 8);
}

TEST(DES, KnownAnswersBothWays) {
    for (const auto& c : kDesKnownAnswers) {
        const std::string key = fromHex(c.key);
        EXPECT_EQ(rtl::UpperCase(toHex(des(key, fromHex(c.plain), true))), c.cipher) << c.key;
        EXPECT_EQ(rtl::UpperCase(toHex(des(key, fromHex(c.cipher), false))), c.plain) << c.key;
    }
}

TEST(DES, ParityBitsAreIgnored) {
    const std::string key = fromHex("0123456789ABCDEF");
    std::string flipped = key;
    for (auto& b : flipped) b = static_cast<char>(b ^ 1);
    EXPECT_EQ(des(flipped, "Now is t", true), des(key, "Now is t", true));
}

}  // namespace

// MD4, RIPEMD-128 and RIPEMD-256, and the digest classes' frame.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/zipcrypto/crypto_test_util.h"
#include "zip/crypto/avcipher.h"

using namespace zipcrypto;
using namespace cryptotest;

namespace {

std::string digestHex(THashClass h, const std::string& text) {
    return toHex(THash::CalcString(h, text, nullptr, kFormatCopy));
}

const std::string kDigits = "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
const std::string kAlnum = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
const std::string kFips = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";

}  // namespace

// RFC 1320 and the RIPEMD authors' test suite.
TEST(MD4Family, PublishedVectors) {
    const struct {
        THashClass cls;
        std::string text;
        const char* digest;
    } cases[] = {
        {THash_MD4::Class(), "", "31d6cfe0d16ae931b73c59d7e0c089c0"},
        {THash_MD4::Class(), "a", "bde52cb31de33e46245e05fbdbd6fb24"},
        {THash_MD4::Class(), "abc", "a448017aaf21d8525fc10ae87aa6729d"},
        {THash_MD4::Class(), "message digest", "d9130a8164549fe818874806e1c7014b"},
        {THash_MD4::Class(), kAlnum, "043f8582f241db351ce627e153e7f0e4"},
        {THash_MD4::Class(), kDigits, "e33b4ddc9c38f2199c3e7b164fcc0536"},
        {THash_RipeMD128::Class(), "", "cdf26213a150dc3ecb610f18f6b38b46"},
        {THash_RipeMD128::Class(), "a", "86be7afa339d0fc7cfc785e72f578d33"},
        {THash_RipeMD128::Class(), "abc", "c14a12199c66e4ba84636b0f69144c77"},
        {THash_RipeMD128::Class(), "message digest", "9e327b3d6e523062afc1132d7df9d1b8"},
        {THash_RipeMD128::Class(), kFips, "a1aa0689d0fafa2ddc22e88b49133a06"},
        {THash_RipeMD128::Class(), kDigits, "3f45ef194732c2dbb2c4a2c769795fa3"},
        {THash_RipeMD128::Class(), std::string(1000000, 'a'), "4a7f5723f954eba1216c9d8f6320431f"},
        {THash_RipeMD256::Class(), "", "02ba4c4e5f8ecd1877fc52d64d30e37a2d9774fb1e5d026380ae0168e3c5522d"},
        {THash_RipeMD256::Class(), "a", "f9333e45d857f5d90a91bab70a1eba0cfb1be4b0783c9acfcd883a9134692925"},
        {THash_RipeMD256::Class(), "abc", "afbd6e228b9d8cbbcef5ca2d03e6dba10ac0bc7dcbe4680e1e42d2e975459b65"},
        {THash_RipeMD256::Class(), "message digest", "87e971759a1ce47a514d5c914c392c9018c7c46bc14465554afcdf54a5070c0e"},
        {THash_RipeMD256::Class(), kFips, "3843045583aac6c8c8d9128573e7a9809afb2a0f34ccc36ea9e72f16f6368e3f"},
        {THash_RipeMD256::Class(), kDigits, "06fdcc7a409548aaf91368c06a6275b553e3f099bf0ea4edfd6778df89a890dd"},
        {THash_RipeMD256::Class(), std::string(1000000, 'a'),
         "ac953744e10e31514c150d4d8d7b677342e33399788296e43ae4850ce4f97978"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(digestHex(c.cls, c.text), c.digest) << c.cls->ClassName << " " << c.text.substr(0, 20);
}

// Around the padding boundary (56 bytes need a second block) and in
// pieces of 1, 63 and 200 bytes.
TEST(MD4Family, PiecesAndPaddingBoundaries) {
    ASSERT_TRUE(loadLegacyProvider());
    for (THashClass cls : {THash_MD4::Class(), THash_RipeMD128::Class(), THash_RipeMD256::Class()}) {
        for (size_t n : {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 128, 1000, 4099}) {
            const Bytes data = randomBytes(n, static_cast<uint32_t>(n) + 3);
            const std::string whole = toHex(THash::CalcBuffer(cls, data.data(), static_cast<int64_t>(n), nullptr, kFormatCopy));
            if (cls == THash_MD4::Class()) {
                EXPECT_EQ(whole, toHex(opensslDigest("MD4", data))) << n;
            }
            for (size_t piece : {1, 63, 200}) {
                auto h = cls->Make();
                h->Init();
                for (size_t at = 0; at < n; at += piece)
                    h->Calc(data.data() + at, static_cast<int64_t>(std::min(piece, n - at)));
                h->Done();
                EXPECT_EQ(toHex(h->DigestKey(), static_cast<size_t>(h->DigestKeySize())), whole)
                    << cls->ClassName << " " << n << " in pieces of " << piece;
            }
        }
    }
}

// The bit length is counted in 64 bits: past 512 MiB it still is the
// message's (OpenSSL's digest of the same zeros).
TEST(MD4Family, MessagesPast512MiBKeepTheirBitLength) {
    const size_t total = (size_t(1) << 29) + 1000;
    const Bytes zeros(1 << 20, 0);
    auto h = THash_MD4::Class()->Make();
    h->Init();
    for (size_t at = 0; at < total; at += zeros.size())
        h->Calc(zeros.data(), static_cast<int64_t>(std::min(zeros.size(), total - at)));
    h->Done();
    EXPECT_EQ(toHex(h->DigestKey(), 16), "859de90e256657408946226e8ca1e238");
}

TEST(MD4Family, SelfTestsAreNotImplemented) {
    const struct {
        THashClass cls;
        const char* text;
    } cases[] = {{THash_MD4::Class(), "Not implemented 28"},
                 {THash_RipeMD128::Class(), "Not implemented 30"},
                 {THash_RipeMD256::Class(), "Not implemented 31"}};
    for (const auto& c : cases) {
        try {
            THash::SelfTest(c.cls);
            ADD_FAILURE() << c.cls->ClassName;
        } catch (const rtl::Exception& e) {
            EXPECT_EQ(e.Message, c.text);
        }
    }
}

TEST(HashFrame, StreamsFromTheirPositionOrWhole) {
    const Bytes data = randomBytes(10000, 21);
    TBytesStream s(std::string(data.begin(), data.end()));
    std::vector<std::pair<int64_t, int64_t>> progress;
    SetProgress([&](rtl::TObject*, int64_t c, int64_t m) { progress.emplace_back(c, m); });
    s.SetPosition(5000);
    const std::string whole = THash::CalcStream(THash_RipeMD128::Class(), &s, -1, nullptr, kFormatCopy);
    EXPECT_EQ(whole, THash::CalcBuffer(THash_RipeMD128::Class(), data.data(), 10000, nullptr, kFormatCopy));
    EXPECT_EQ(progress, (std::vector<std::pair<int64_t, int64_t>>{
                            {0, 10000}, {4096, 10000}, {8192, 10000}, {10000, 10000}, {0, 0}}));
    SetProgress(nullptr);
    s.SetPosition(100);
    EXPECT_EQ(THash::CalcStream(THash_RipeMD128::Class(), &s, 300, nullptr, kFormatCopy),
              THash::CalcBuffer(THash_RipeMD128::Class(), data.data() + 100, 300, nullptr, kFormatCopy));
    const std::string path = tempPath("calcfile.bin");
    writeFile(path, std::string(data.begin(), data.end()));
    EXPECT_EQ(THash::CalcFile(THash_RipeMD128::Class(), path, nullptr, kFormatCopy), whole);
    // The default format is a placeholder.
    EXPECT_THROW(THash::CalcBuffer(THash_RipeMD128::Class(), data.data(), 1), rtl::Exception);
}

TEST(HashFrame, CodingActionsThroughTheFrame) {
    const Bytes data = randomBytes(100, 22);
    const THashClass cls = THash_RipeMD256::Class();
    // paCalc digests the buffer and leaves it alone.
    auto h = cls->Make();
    Bytes buf = data;
    h->CodeBuffer(buf.data(), 100, paCalc);
    EXPECT_EQ(buf, data);
    EXPECT_EQ(toHex(h->DigestKey(), 32), toHex(THash::CalcBuffer(cls, data.data(), 100, nullptr, kFormatCopy)));
    // paEncode XORs a stream of chained digests; paDecode takes it off.
    auto e = cls->Make();
    e->CodeBuffer(buf.data(), 100, paEncode);
    EXPECT_NE(buf, data);
    auto d = cls->Make();
    d->CodeBuffer(buf.data(), 100, paDecode);
    EXPECT_EQ(buf, data);
    // paScramble replaces each 32-byte piece by the digest of it.
    auto sc = cls->Make();
    buf = data;
    sc->CodeBuffer(buf.data(), 100, paScramble);
    const std::string first = THash::CalcBuffer(cls, data.data(), 32, nullptr, kFormatCopy);
    EXPECT_EQ(toHex(Bytes(buf.begin(), buf.begin() + 32)), toHex(first));
    // Outside the action set nothing is done.
    auto off = cls->Make();
    off->Actions = PASet(paCalc);
    buf = data;
    off->CodeBuffer(buf.data(), 100, paEncode);
    EXPECT_EQ(buf, data);
}

// A cipher chained inside a hash codes the buffer first; the hash digests
// what the cipher made.
TEST(HashFrame, ChainedCoders) {
    Bytes key(16, 7), key2(16, 7);
    auto cipher = TCipher::CreateKey(TCipher_Rijndael::Class(), key);
    cipher->Mode = cmCTR;
    auto h = THash_MD4::Class()->Make();
    h->SetProtection(cipher);
    const Bytes data = randomBytes(64, 23);
    Bytes buf = data;
    h->CodeBuffer(buf.data(), 64, paCalc);
    auto reference = TCipher::CreateKey(TCipher_Rijndael::Class(), key2);
    reference->Mode = cmCTR;
    Bytes sealed = data;
    reference->EncodeBuffer(sealed.data(), sealed.data(), 64);
    EXPECT_EQ(toHex(buf), toHex(sealed));
    EXPECT_EQ(toHex(h->DigestKey(), 16),
              toHex(THash::CalcBuffer(THash_MD4::Class(), sealed.data(), 64, nullptr, kFormatCopy)));
}

// Calculating reads the file only: even a file no one may write (the
// running test program) is digested, named as source and destination.
TEST(HashFrame, CalculatingOpensTheFileForReadingOnly) {
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    auto h = THash_MD4::Class()->Make();
    h->CodeFile(self, self, paCalc);
    EXPECT_EQ(toHex(h->DigestKey(), 16), toHex(THash::CalcFile(THash_MD4::Class(), self, nullptr, kFormatCopy)));
}

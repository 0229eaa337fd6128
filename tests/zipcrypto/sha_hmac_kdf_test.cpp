// SHA-1, the hash descriptors, HMAC and PBKDF2 of AES entries.
#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <set>

#include "tests/support/plants.h"
#include "tests/zipcrypto/crypto_test_util.h"
#include "zip/crypto/avhash.h"
#include "zip/crypto/avhmac.h"
#include "zip/crypto/avkeyderiv.h"
#include "zip/crypto/avpb_kdf.h"
#include "zip/crypto/avpbkdf_2.h"
#include "zip/crypto/avsha1.h"

using namespace zipcrypto;
using namespace cryptotest;

namespace {

Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes sha1(const Bytes& data) {
    TSHA1Digest d;
    SHA1FullXL(d, data.data(), static_cast<uint32_t>(data.size()));
    return Bytes(d.begin(), d.end());
}

// Feeds Data in pieces of the given sizes, cycling.
Bytes sha1InPieces(const Bytes& data, const std::vector<size_t>& pieces) {
    THashContext ctx;
    SHA1Init(ctx);
    size_t at = 0;
    for (size_t k = 0; at < data.size(); ++k) {
        const size_t n = std::min(pieces[k % pieces.size()], data.size() - at);
        SHA1UpdateXL(ctx, data.data() + at, static_cast<uint32_t>(n));
        at += n;
    }
    TSHA1Digest d;
    SHA1Final(ctx, d);
    return Bytes(d.begin(), d.end());
}

Bytes hmac(const Bytes& key, const Bytes& data) {
    THMAC_Context ctx;
    hmac_init(ctx, FindHash_by_ID(_SHA1), key.data(), key.size());
    hmac_updateXL(ctx, data.data(), static_cast<uint32_t>(data.size()));
    THashDigest d;
    hmac_final(ctx, d);
    return Bytes(d.begin(), d.begin() + 20);
}

}  // namespace

TEST(SHA1, FipsVectors) {
    const struct {
        std::string text;
        const char* digest;
    } cases[] = {
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toHex(sha1(bytesOf(c.text))), c.digest) << c.text.size();
        EXPECT_EQ(toHex(sha1InPieces(bytesOf(c.text), {1})), c.digest) << c.text.size();
    }
    EXPECT_TRUE(SHA1SelfTest());
}

TEST(SHA1, MatchesOpenSslOnRandomInputsInUnevenPieces) {
    for (size_t n : {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 127, 128, 129, 1000, 4097, 65536 + 7}) {
        const Bytes data = randomBytes(n, static_cast<uint32_t>(n));
        const std::string expected = toHex(opensslDigest("SHA1", data));
        EXPECT_EQ(toHex(sha1(data)), expected) << n;
        EXPECT_EQ(toHex(sha1InPieces(data, {1, 63, 200, 64, 7})), expected) << n;
    }
}

TEST(HashDescriptors, FoundByIdAndByNameInAnyCase) {
    const THashDesc* d = FindHash_by_ID(_SHA1);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->BlockLength, 64);
    EXPECT_EQ(d->DigestLength, 20);
    for (const char* name : {"sha1", "SHA1", "Sha1"}) EXPECT_EQ(FindHash_by_Name(name), d) << name;
    EXPECT_EQ(FindHash_by_Name("sha256"), nullptr);
    EXPECT_EQ(FindHash_by_ID(9), nullptr);
    EXPECT_EQ(FindHash_by_ID(_MD5), nullptr);
}

TEST(HashDescriptors, RegistrationChecksTheHeaderAndTheId) {
    // Registered descriptors stay for the whole run: they must be static.
    static const THashDesc good = [] {
        THashDesc d = SHA1Desc();
        d.AlgorithmId = _SHA256;
        std::strcpy(d.Name, "Test256");
        return d;
    }();
    static const THashDesc wrongId = [] {
        THashDesc d = good;
        std::strcpy(d.Name, "WrongId");
        return d;
    }();
    static const THashDesc wrongSignature = [] {
        THashDesc d = good;
        d.AlgorithmId = _SHA384;
        d.Signature = 0x1234;
        std::strcpy(d.Name, "WrongSig");
        return d;
    }();
    RegisterHash(_SHA256, &good);
    RegisterHash(_SHA224, &wrongId);
    RegisterHash(_SHA384, &wrongSignature);
    EXPECT_EQ(FindHash_by_ID(_SHA256), &good);
    EXPECT_EQ(FindHash_by_Name("TEST256"), &good);
    EXPECT_EQ(FindHash_by_ID(_SHA224), nullptr);
    EXPECT_EQ(FindHash_by_ID(_SHA384), nullptr);
    EXPECT_EQ(FindHash_by_Name("WrongSig"), nullptr);

    // The generic calls do nothing for an invalid descriptor.
    THashDigest digest;
    digest.fill(0x77);
    HashFullXL(&wrongSignature, digest, "abc", 3);
    HashFull(nullptr, digest, "abc", 3);
    EXPECT_EQ(digest[0], 0x77);
}

TEST(HashDescriptors, HashFileReadsInTheCallersBlocks) {
    const Bytes data = randomBytes(10000, 5);
    const std::string path = tempPath("hashfile.bin");
    writeFile(path, std::string(data.begin(), data.end()));
    for (uint32_t block : {1u, 64u, 999u, 20000u}) {
        std::vector<uint8_t> buffer(block);
        THashDigest digest;
        int error = -1;
        HashFile(path, FindHash_by_ID(_SHA1), digest, buffer.data(), block, error);
        ASSERT_EQ(error, 0) << block;
        EXPECT_EQ(toHex(digest.data(), 20), toHex(opensslDigest("SHA1", data))) << block;
        EXPECT_TRUE(std::all_of(digest.begin() + 20, digest.end(), [](uint8_t b) { return b == 0; }));
    }
    std::vector<uint8_t> buffer(64);
    THashDigest digest;
    int error = 0;
    HashFile(path, nullptr, digest, buffer.data(), 64, error);
    EXPECT_EQ(error, kHashErrInvalidDesc);
    TSHA1Digest d20;
    SHA1File(tempPath("absent.bin"), d20, buffer.data(), 64, error);
    EXPECT_EQ(error, ENOENT);
    SHA1File(path, d20, buffer.data(), 0, error);
    EXPECT_EQ(error, EINVAL);
}

// A digest of a file follows a link to the file it names; a pipe is
// refused (EINVAL) at once, a dangling link fails as a missing file.
TEST(HashDescriptors, HashFileReadsRegularFilesOnly) {
    testsupport::TPlantBed bed("abc");
    std::vector<uint8_t> buffer(64);
    testsupport::ExpectReadsOfRegularFilesOnly(
        bed, {{"SHA-1 of a file",
               [&](const std::string& path) {
                   TSHA1Digest d20;
                   int error = -1;
                   SHA1File(path, d20, buffer.data(), 64, error);
                   if (error != 0) throw std::runtime_error(std::strerror(error));
                   if (toHex(d20.data(), 20) != "a9993e364706816aba3e25717850c26c9cd0d89d")
                       throw std::runtime_error("not the victim's digest");
               },
               [](const std::string&, const std::string&) { return std::string(std::strerror(EINVAL)); },
               [](const std::string&) { return std::string(std::strerror(ENOENT)); }}});
}

// RFC 2202, the seven HMAC-SHA1 cases.
TEST(HMAC, Rfc2202) {
    const struct {
        Bytes key, data;
        const char* mac;
    } cases[] = {
        {repeat(0x0b, 20), bytesOf("Hi There"), "b617318655057264e28bc0b6fb378c8ef146be00"},
        {bytesOf("Jefe"), bytesOf("what do ya want for nothing?"), "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {repeat(0xaa, 20), repeat(0xdd, 50), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
        {fromHex("0102030405060708090a0b0c0d0e0f10111213141516171819"), repeat(0xcd, 50),
         "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
        {repeat(0x0c, 20), bytesOf("Test With Truncation"), "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
        {repeat(0xaa, 80), bytesOf("Test Using Larger Than Block-Size Key - Hash Key First"),
         "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
        {repeat(0xaa, 80), bytesOf("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"),
         "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
    };
    for (const auto& c : cases) EXPECT_EQ(toHex(hmac(c.key, c.data)), c.mac) << c.key.size();
}

// Keys around the block length: up to 64 bytes they are used as they are,
// from 65 on they are hashed first.
TEST(HMAC, KeysAroundTheBlockLengthMatchOpenSsl) {
    for (size_t k : {0, 1, 20, 63, 64, 65, 128, 129, 1000}) {
        const Bytes key = randomBytes(k, 100 + static_cast<uint32_t>(k));
        const Bytes data = randomBytes(3 * k + 1, 7);
        EXPECT_EQ(toHex(hmac(key, data)), toHex(opensslHmacSha1(key, data))) << k;
    }
}

// RFC 6070, all but the 16,777,216-iteration case (a test of its own).
TEST(PBKDF2, Rfc6070) {
    const struct {
        std::string password, salt;
        int iterations;
        size_t length;
        const char* key;
    } cases[] = {
        {"password", "salt", 1, 20, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
        {"password", "salt", 2, 20, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
        {"password", "salt", 4096, 20, "4b007901b765489abead49d926f721d065a429c1"},
        {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096, 25,
         "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
        {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096, 16, "56fa6aa75548099dcc37d7f03425e0c3"},
    };
    for (const auto& c : cases) {
        Bytes out(c.length);
        PBKDF2(c.password.data(), c.password.size(), c.salt.data(), c.salt.size(), c.iterations, out.data(),
               out.size());
        EXPECT_EQ(toHex(out), c.key) << c.password << " " << c.iterations;
    }
}

TEST(PBKDF2, DISABLED_Rfc6070SixteenMillionIterations) {
    Bytes out(20);
    PBKDF2("password", 8, "salt", 4, 16777216, out.data(), out.size());
    EXPECT_EQ(toHex(out), "eefe3d61cd4da4e4e9945b3d6ba2158c2634e984");
}

TEST(PBKDF2, OutputLengthsCutTheLastBlock) {
    const Bytes salt = randomBytes(16, 3);
    for (size_t len : {1, 19, 20, 21, 34, 40, 66, 100}) {
        Bytes out(len);
        ASSERT_EQ(kdf2s(FindHash_by_ID(_SHA1), "secret", salt.data(), salt.size(), 1000, out.data(), len), kKdfOk);
        EXPECT_EQ(toHex(out), toHex(opensslPbkdf2Sha1("secret", salt, 1000, len))) << len;
    }
}

TEST(PBKDF2, ResultCodesAndIterationCountsBelowOne) {
    uint8_t out[20];
    static const THashDesc noDigest = [] {
        THashDesc d = SHA1Desc();
        d.DigestLength = 0;
        return d;
    }();
    EXPECT_EQ(kdf2(nullptr, "p", 1, "s", 1, 1, out, sizeof out), kKdfNoDesc);
    EXPECT_EQ(kdf2(&noDigest, "p", 1, "s", 1, 1, out, sizeof out), kKdfNoDigest);
    for (int32_t iterations : {0, -5}) {
        std::fill(std::begin(out), std::end(out), 0x55);
        EXPECT_EQ(kdf2(FindHash_by_ID(_SHA1), "p", 1, "s", 1, iterations, out, sizeof out), kKdfOk);
        EXPECT_TRUE(std::all_of(std::begin(out), std::end(out), [](uint8_t b) { return b == 0; })) << iterations;
    }
}

// The key generator of AES entries: AES-256 asks for 2 x 32 + 2 bytes.
TEST(TPBKDF2Generator, KeysMatchOpenSslForAnyPasswordLength) {
    const Bytes salt = fromHex("00112233445566778899aabbccddeeff");
    // Passwords past the 32 KiB a fixed staging buffer would hold, and past
    // what a 16-bit length can say.
    for (size_t n : {0, 1, 64, 65, 32767, 32768, 70000}) {
        const Bytes pw = randomBytes(n, 11 + static_cast<uint32_t>(n));
        const std::string password(pw.begin(), pw.end());
        TPBKDF2 kdf(password, salt.data(), static_cast<uint32_t>(salt.size()), 1000);
        EXPECT_EQ(kdf.IterationCount(), 1000u);
        EXPECT_EQ(toHex(kdf.GetSaltValue()), toHex(salt));
        EXPECT_EQ(toHex(kdf.GetKeyBytes(66)), toHex(opensslPbkdf2Sha1(password, salt, 1000, 66))) << n;
    }
}

// Salts come from the system's generator: every byte value occurs, 0xFF
// included, and no two salts repeat.
TEST(TPBKDF2Generator, FreshSaltsUseEveryByteValueAndDiffer) {
    std::set<std::string> salts;
    std::set<uint8_t> seen;
    for (int i = 0; i < 512; ++i) {
        TPBKDF2 kdf("pw", 16, 1000);
        const Bytes s = kdf.GetSaltValue();
        ASSERT_EQ(s.size(), 16u);
        salts.insert(toHex(s));
        seen.insert(s.begin(), s.end());
    }
    EXPECT_EQ(salts.size(), 512u);
    EXPECT_EQ(seen.size(), 256u);  // 8192 bytes miss a value with odds below 1e-10
}

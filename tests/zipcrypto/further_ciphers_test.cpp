// The further block ciphers: published vectors, OpenSSL where it has the
// cipher, and the key forms each class keeps.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/zipcrypto/crypto_test_util.h"
#include "zip/crypto/avcipher_more.h"

using namespace zipcrypto;
using namespace cryptotest;

namespace {

const TCipherClass kFurther[] = {TCipher_RijndaelAv::Class(), TCipher_Blowfish::Class(), TCipher_1DES::Class(),
                                 TCipher_3DES::Class(),       TCipher_3TDES::Class(),    TCipher_Twofish::Class(),
                                 TCipher_Square::Class()};

}  // namespace

TEST(FurtherCiphers, PublishedVectors) {
    const struct {
        TCipherClass cls;
        const char *key, *plain, *cipher;
    } cases[] = {
        // Blowfish: the author's ECB vectors.
        {TCipher_Blowfish::Class(), "0000000000000000", "0000000000000000", "4ef997456198dd78"},
        {TCipher_Blowfish::Class(), "ffffffffffffffff", "ffffffffffffffff", "51866fd5b85ecb8a"},
        {TCipher_Blowfish::Class(), "3000000000000000", "1000000000000001", "7d856f9a613063f2"},
        // DES and triple DES with three keys: the validation data of the standards.
        {TCipher_1DES::Class(), "0101010101010101", "95f8a5e5dd31d900", "8000000000000000"},
        {TCipher_1DES::Class(), "0101010101010101", "329a8ed523d71aec", "0000100000000000"},
        {TCipher_3DES::Class(), "0123456789abcdeffedcba987654321089abcdef01234567", "0123456789abcde7",
         "de0b7c06ae5e0ed5"},
        // Twofish: the designers' vectors for 128, 192 and 256-bit keys.
        {TCipher_Twofish::Class(), "00000000000000000000000000000000", "00000000000000000000000000000000",
         "9f589f5cf6122c32b6bfec2f2ae8c35a"},
        {TCipher_Twofish::Class(), "9f589f5cf6122c32b6bfec2f2ae8c35a", "d491db16e7b1c39e86cb086b789f5419",
         "019f9809de1711858faac3a3ba20fbc3"},
        {TCipher_Twofish::Class(), "000000000000000000000000000000000000000000000000",
         "00000000000000000000000000000000", "efa71f788965bd4453f860178fc19101"},
        {TCipher_Twofish::Class(), "efa71f788965bd4453f860178fc191010000000000000000",
         "88b2b2706b105e36b446bb6d731a1e88", "39da69d6ba4997d585b6dc073ca341b2"},
        {TCipher_Twofish::Class(), "0000000000000000000000000000000000000000000000000000000000000000",
         "00000000000000000000000000000000", "57ff739d4dc92c1bd7fc01700cc8216f"},
        {TCipher_Twofish::Class(), "d43bb7556ea32e46f2a282b7d45b4e0d57ff739d4dc92c1bd7fc01700cc8216f",
         "90afe91bb288544f2c32dc239b2635e6", "6cb4561c40bf0a9705931cb6d408e7fa"},
        // Square: the designers' vectors.
        {TCipher_Square::Class(), "00000000000000000000000000000000", "00000000000000000000000000000000",
         "3c00428f8abbc0b84f057cc19c26f8cf"},
        {TCipher_Square::Class(), "000102030405060708090a0b0c0d0e0f", "00000000000000000000000000000000",
         "ff596fa668bfc3014200ae01e2bba0a0"},
        {TCipher_Square::Class(), "000102030405060708090a0b0c0d0e0f", "000102030405060708090a0b0c0d0e0f",
         "7c3491d94994e70f0ec2e7a5ccb5a14f"},
        {TCipher_Square::Class(), "915f4619be41b2516355a50110a9ce91", "21a5dbee154b8f6d6ff33b98f448e95a",
         "3388801f66e7fcc0bce522a23a4f0c7f"},
        {TCipher_Square::Class(), "5269f149d41ba0152497574d7f153125", "65c178b284d197ccd3f111a282f17f29",
         "d7b7209e0879744c782809b6d2e0b1b0"},
    };
    for (const auto& c : cases) {
        auto cipher = keyed(c.cls, fromHex(c.key));
        EXPECT_EQ(toHex(encode(*cipher, fromHex(c.plain))), c.cipher) << c.cls->ClassName << " " << c.key;
        EXPECT_EQ(toHex(decode(*cipher, fromHex(c.cipher))), c.plain) << c.cls->ClassName << " " << c.key;
    }
}

// Crypto++'s validation data (libcrypto++-utils): lines of key, plain and
// cipher text in hex. Every line of the DES certification set, Square's and
// Twofish's files (Twofish's keys are 16, 24 and 32 bytes), and the
// three-key triple DES vector of 3desval.dat (its lines are, in order, for
// two-key triple DES, three-key triple DES and DESX).
TEST(FurtherCiphers, CryptoPlusPlusValidationData) {
    const struct {
        TCipherClass cls;
        const char* file;
        int onlyLine;  // 0: every line
        size_t least;
    } sets[] = {
        {TCipher_1DES::Class(), "descert.dat", 0, 150},
        {TCipher_3DES::Class(), "3desval.dat", 2, 1},
        {TCipher_Square::Class(), "squareva.dat", 0, 8},
        {TCipher_Twofish::Class(), "twofishv.dat", 0, 9},
    };
    for (const auto& set : sets) {
        const std::string file = std::string("/usr/share/crypto++/TestData/") + set.file;
        std::ifstream in(file);
        ASSERT_TRUE(in) << file << " is missing (package libcrypto++-utils)";
        size_t checked = 0;
        int number = 0;
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            std::string key, plain, cipher;
            if (!(fields >> key >> plain >> cipher)) continue;
            if (set.onlyLine && ++number != set.onlyLine) continue;
            ASSERT_LE(key.size(), static_cast<size_t>(2 * set.cls->KeySize)) << line;
            auto c = keyed(set.cls, fromHex(key));
            EXPECT_EQ(toHex(encode(*c, fromHex(plain))), toHex(fromHex(cipher))) << file << ": " << line;
            EXPECT_EQ(toHex(decode(*c, fromHex(cipher))), toHex(fromHex(plain))) << file << ": " << line;
            ++checked;
        }
        EXPECT_GE(checked, set.least) << file;
    }
}

// A partial last block in ECB could never be decoded again: refused, and
// the data stay as they were.
TEST(FurtherCiphers, DesFamilyEcbRefusesAPartialBlock) {
    for (TCipherClass cls : {TCipher_1DES::Class(), TCipher_3DES::Class(), TCipher_3TDES::Class()}) {
        auto c = keyed(cls, randomBytes(24, 95));
        Bytes data = randomBytes(static_cast<size_t>(cls->BlockSize) + 3, 96);
        const Bytes before = data;
        for (bool encoding : {true, false}) {
            try {
                if (encoding) c->EncodeBuffer(data.data(), data.data(), static_cast<int64_t>(data.size()));
                else c->DecodeBuffer(data.data(), data.data(), static_cast<int64_t>(data.size()));
                ADD_FAILURE() << cls->ClassName << ": a partial block was coded";
            } catch (const ECipherException& e) {
                EXPECT_EQ(e.ErrorCode, errPartialBlock) << cls->ClassName;
            }
            EXPECT_EQ(data, before) << cls->ClassName;
        }
    }
}

TEST(FurtherCiphers, MatchOpenSslOnRandomKeysAndData) {
    ASSERT_TRUE(loadLegacyProvider());
    const struct {
        TCipherClass cls;
        const char* name;
        size_t keyLength;
    } cases[] = {
        {TCipher_Blowfish::Class(), "bf-ecb", 4},   {TCipher_Blowfish::Class(), "bf-ecb", 16},
        {TCipher_Blowfish::Class(), "bf-ecb", 56},  {TCipher_1DES::Class(), "des-ecb", 8},
        {TCipher_3DES::Class(), "des-ede3-ecb", 24}, {TCipher_1DES::Class(), "des-cbc", 8},
    };
    for (const auto& c : cases) {
        const Bytes key = randomBytes(c.keyLength, static_cast<uint32_t>(c.keyLength) + 40);
        const Bytes iv = randomBytes(8, 41);
        const bool cbc = std::string(c.name).ends_with("cbc");
        for (size_t n : {8, 16, 800}) {
            const Bytes data = randomBytes(n, static_cast<uint32_t>(n));
            auto cipher = TCipher::Create(c.cls);
            cipher->Init(key.data(), static_cast<int>(key.size()), iv.data());
            cipher->Mode = cbc ? cmCBC : cmECB;
            EXPECT_EQ(toHex(encode(*cipher, data)), toHex(opensslCipher(c.name, key, iv, data, true)))
                << c.name << " key " << c.keyLength << " " << n;
        }
    }
}

TEST(FurtherCiphers, RijndaelVariantEqualsAesBelow32ByteKeysOnly) {
    forEachRijndaelPath([&](const char* path) {
        const Bytes data = randomBytes(64, 50);
        for (size_t k : {16, 24, 32}) {
            const Bytes key = randomBytes(k, 51);
            const Bytes aes = encode(*keyed(TCipher_Rijndael::Class(), key), data);
            const Bytes variant = encode(*keyed(TCipher_RijndaelAv::Class(), key), data);
            if (k < 32) {
                EXPECT_EQ(toHex(variant), toHex(aes)) << k << " " << path;
            } else {
                EXPECT_NE(toHex(variant), toHex(aes)) << k << " " << path;
            }
            EXPECT_EQ(toHex(decode(*keyed(TCipher_RijndaelAv::Class(), key), variant)), toHex(data)) << k << " " << path;
        }
    });
}

// A 16-byte key leaves K3 zero: not two-key triple DES, which reuses K1.
TEST(FurtherCiphers, TripleDesSixteenByteKeyLeavesTheThirdKeyZero) {
    const Bytes key = randomBytes(16, 60);
    const Bytes data = randomBytes(32, 61);
    const Bytes ours = encode(*keyed(TCipher_3DES::Class(), key), data);
    EXPECT_NE(toHex(ours), toHex(opensslCipher("des-ede-ecb", key, {}, data, true)));
    Bytes zeroK3 = key;
    zeroK3.resize(24, 0);
    EXPECT_EQ(toHex(ours), toHex(opensslCipher("des-ede3-ecb", zeroK3, {}, data, true)));
}

TEST(FurtherCiphers, TwofishPadsOddKeyLengthsToThirtyTwoBytes) {
    const Bytes key = randomBytes(20, 70);
    Bytes padded = key;
    padded.resize(32, 0);
    const Bytes data = randomBytes(48, 71);
    EXPECT_EQ(toHex(encode(*keyed(TCipher_Twofish::Class(), key), data)),
              toHex(encode(*keyed(TCipher_Twofish::Class(), padded), data)));
    Bytes sixteen(key.begin(), key.begin() + 16);
    Bytes sixteenPadded = sixteen;
    sixteenPadded.resize(32, 0);
    EXPECT_NE(toHex(encode(*keyed(TCipher_Twofish::Class(), sixteen), data)),
              toHex(encode(*keyed(TCipher_Twofish::Class(), sixteenPadded), data)));
}

// Three DES blocks with words exchanged between the passes: each pass is
// triple DES's, so a block with equal thirds keeps equal thirds.
TEST(FurtherCiphers, TripleDesOnWideBlocksInvertsAndMixesTheThirds) {
    const Bytes key = randomBytes(24, 80);
    auto wide = keyed(TCipher_3TDES::Class(), key);
    for (uint32_t seed = 0; seed < 20; ++seed) {
        const Bytes block = randomBytes(24, seed);
        const Bytes sealed = encode(*wide, block);
        EXPECT_EQ(toHex(decode(*wide, sealed)), toHex(block)) << seed;
    }
    // Changing one byte of the first third changes all three.
    Bytes a(24, 0), b(24, 0);
    b[0] = 1;
    const Bytes ea = encode(*wide, a), eb = encode(*wide, b);
    for (int third = 0; third < 3; ++third)
        EXPECT_NE(toHex(&ea[8 * third], 8), toHex(&eb[8 * third], 8)) << third;
}

TEST(FurtherCiphers, EveryModeRoundTrips) {
    const TCipherMode modes[] = {cmCTS, cmCBC, cmCFB, cmOFB, cmCTR, cmECB};
    for (TCipherClass cls : kFurther) {
        const Bytes key = randomBytes(static_cast<size_t>(cls->KeySize), 90);
        for (TCipherMode mode : modes) {
            size_t n = 3 * static_cast<size_t>(cls->BlockSize) + 5;
            if (mode == cmECB) n -= 5;
            const Bytes data = randomBytes(n, mode);
            const Bytes sealed = encode(*keyed(cls, key, mode), data);
            EXPECT_NE(toHex(sealed), toHex(data)) << cls->ClassName << " " << mode;
            EXPECT_EQ(toHex(decode(*keyed(cls, key, mode), sealed)), toHex(data)) << cls->ClassName << " " << mode;
        }
    }
}

TEST(FurtherCiphers, UnregisteredAndWithoutSelfTests) {
    const struct {
        TCipherClass cls;
        const char* text;
        int block, key;
    } cases[] = {
        {TCipher_RijndaelAv::Class(), "Not implemented 20", 16, 32},
        {TCipher_Blowfish::Class(), "NOTSRCCOPY implemented 21", 8, 56},
        {TCipher_1DES::Class(), "Not implemented 22", 8, 8},
        {TCipher_3DES::Class(), "Not implemented 24", 8, 24},
        {TCipher_3TDES::Class(), "Not implemented 25", 24, 24},
        {TCipher_Twofish::Class(), "Not implemented 26", 16, 32},
        {TCipher_Square::Class(), "Not implemented 27", 16, 16},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(raisedText([&] { TCipher::SelfTest(c.cls); }), c.text) << c.cls->ClassName;
        EXPECT_EQ(GetCipherClass(c.cls->ClassName), nullptr) << c.cls->ClassName;
        auto cipher = TCipher::Create(c.cls);
        EXPECT_EQ(cipher->BlockSize(), c.block);
        EXPECT_EQ(TCipher::MaxKeySize(c.cls), c.key);
    }
}

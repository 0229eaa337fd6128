// The cipher framework and the Rijndael cipher: published vectors, OpenSSL
// on the same inputs, and the chaining modes both ways.
#include <gtest/gtest.h>

#include "tests/zipcrypto/crypto_test_util.h"
#include "zip/crypto/avcipher.h"

using namespace zipcrypto;
using namespace cryptotest;

namespace {

std::shared_ptr<TCipher> rijndael(const Bytes& key, TCipherMode mode, const Bytes& iv = {}) {
    return keyed(TCipher_Rijndael::Class(), key, mode, iv);
}

const char* ecbName(size_t keyLength) {
    return keyLength == 16 ? "aes-128-ecb" : keyLength == 24 ? "aes-192-ecb" : "aes-256-ecb";
}

// AES entries' counter: the first 8 bytes count from 1, little-endian.
Bytes ctrReference(const Bytes& key, const Bytes& data) {
    Bytes counters;
    for (uint64_t block = 1; counters.size() < data.size(); ++block) {
        for (int i = 0; i < 8; ++i) counters.push_back(static_cast<uint8_t>(block >> (8 * i)));
        counters.insert(counters.end(), 8, 0);
    }
    const Bytes stream = opensslCipher(ecbName(key.size()), key, {}, counters, true);
    Bytes out(data.size());
    for (size_t i = 0; i < data.size(); ++i) out[i] = data[i] ^ stream[i];
    return out;
}


const Bytes kKey128 = fromHex("2b7e151628aed2a6abf7158809cf4f3c");
const Bytes kIV = fromHex("000102030405060708090a0b0c0d0e0f");
const TCipherMode kAllModes[] = {cmCTS, cmCBC, cmCFB, cmOFB, cmCTR, cmECB, cmCTSMAC, cmCBCMAC, cmCFBMAC};

}  // namespace

TEST(Rijndael, Fips197Vectors) {
    forEachRijndaelPath([&](const char* path) {
        const struct {
            const char *key, *plain, *cipher;
        } cases[] = {
            {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734", "3925841d02dc09fbdc118597196a0b32"},
            {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
            {"000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
             "dda97ca4864cdfe06eaf70a0ec0d7191"},
            {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "00112233445566778899aabbccddeeff",
             "8ea2b7ca516745bfeafc49904b496089"},
        };
        for (const auto& c : cases) {
            auto cipher = rijndael(fromHex(c.key), cmECB);
            EXPECT_EQ(toHex(encode(*cipher, fromHex(c.plain))), c.cipher) << c.key << " " << path;
            EXPECT_EQ(toHex(decode(*cipher, fromHex(c.cipher))), c.plain) << c.key << " " << path;
        }
    });
}

TEST(Rijndael, Sp80038aCbc) {
    auto c = rijndael(kKey128, cmCBC, kIV);
    const Bytes plain = fromHex(
        "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
        "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
    const std::string expected =
        "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
        "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7";
    EXPECT_EQ(toHex(encode(*c, plain)), expected);
    c->Done();
    EXPECT_EQ(toHex(decode(*c, fromHex(expected))), toHex(plain));
}

TEST(Rijndael, StandardModesMatchOpenSslOnRandomInputs) {
    forEachRijndaelPath([&](const char* path) {
        const struct {
            TCipherMode mode;
            const char* name;  // "%d": the key bits
            bool wholeBlocks;
        } modes[] = {{cmECB, "aes-%d-ecb", true}, {cmCBC, "aes-%d-cbc", true}, {cmCFB, "aes-%d-cfb8", false}};
        for (size_t keyLength : {16, 24, 32}) {
            const Bytes key = randomBytes(keyLength, static_cast<uint32_t>(keyLength));
            const Bytes iv = randomBytes(16, 99);
            for (const auto& m : modes) {
                char name[32];
                std::snprintf(name, sizeof name, m.name, static_cast<int>(keyLength * 8));
                for (size_t n : {0, 1, 15, 16, 17, 31, 32, 48, 100, 4096}) {
                    if (m.wholeBlocks) n -= n % 16;
                    const Bytes data = randomBytes(n, static_cast<uint32_t>(n) + 1000);
                    const Bytes expected = opensslCipher(name, key, iv, data, true);
                    auto c = rijndael(key, m.mode, iv);
                    EXPECT_EQ(toHex(encode(*c, data)), toHex(expected)) << name << " " << n << " " << path;
                    c->Done();
                    EXPECT_EQ(toHex(decode(*c, expected)), toHex(data)) << name << " " << n << " " << path;
                }
            }
        }
    });
}

TEST(Rijndael, CounterModeMatchesTheLittleEndianCounterStream) {
    forEachRijndaelPath([&](const char* path) {
        for (size_t keyLength : {16, 24, 32}) {
            const Bytes key = randomBytes(keyLength, 7 + static_cast<uint32_t>(keyLength));
            for (size_t n : {1, 15, 16, 17, 32, 1000, 70000}) {
                const Bytes data = randomBytes(n, static_cast<uint32_t>(n));
                auto c = rijndael(key, cmCTR);
                EXPECT_EQ(toHex(encode(*c, data)), toHex(ctrReference(key, data))) << keyLength << " " << n << " " << path;
            }
        }
    });
}

TEST(Rijndael, CounterModeCarriesOnAcrossCallsAndDecodesTheSameWay) {
    const Bytes key = randomBytes(32, 1);
    const Bytes data = randomBytes(1000, 2);
    const Bytes whole = encode(*rijndael(key, cmCTR), data);
    auto c = rijndael(key, cmCTR);
    Bytes pieces;
    size_t at = 0;
    for (size_t n : {20, 12, 1, 63, 200, 16, 688}) {
        const Bytes part(data.begin() + at, data.begin() + at + n);
        const Bytes out = encode(*c, part);
        pieces.insert(pieces.end(), out.begin(), out.end());
        at += n;
        c->Done();  // does not restart the counter
    }
    ASSERT_EQ(at, data.size());
    EXPECT_EQ(toHex(pieces), toHex(whole));
    EXPECT_EQ(toHex(decode(*rijndael(key, cmCTR), whole)), toHex(data));
}

// A new key starts a new keystream, also in the middle of a counter block.
TEST(Rijndael, RekeyingRestartsTheCounterStream) {
    const Bytes k1 = randomBytes(16, 1), k2 = randomBytes(16, 2);
    const Bytes data = randomBytes(16, 3);
    auto c = rijndael(k1, cmCTR);
    encode(*c, randomBytes(20, 4));
    c->Init(k2.data(), 16, nullptr);
    EXPECT_EQ(toHex(encode(*c, data)), toHex(ctrReference(k2, data)));
}

TEST(Rijndael, EveryModeRoundTripsInPlaceAndBetweenBuffers) {
    forEachRijndaelPath([&](const char* path) {
        const Bytes key = randomBytes(24, 5);
        for (TCipherMode mode : kAllModes) {
            const bool mac = mode == cmCTSMAC || mode == cmCBCMAC || mode == cmCFBMAC;
            for (size_t n : {0, 1, 15, 16, 17, 20, 33, 100, 4096}) {
                if (mode == cmECB) n -= n % 16;
                const Bytes data = randomBytes(n, static_cast<uint32_t>(n + 17 * mode));
                const Bytes sealed = encode(*rijndael(key, mode), data);
                Bytes inPlace = data;
                rijndael(key, mode)->EncodeBuffer(inPlace.data(), inPlace.data(), static_cast<int64_t>(n));
                if (mac) {
                    // MAC modes leave the data alone and the destination unwritten.
                    EXPECT_EQ(toHex(inPlace), toHex(data)) << mode << " " << n << " " << path;
                    EXPECT_EQ(sealed, Bytes(n, 0)) << mode << " " << n << " " << path;
                    continue;
                }
                EXPECT_EQ(toHex(inPlace), toHex(sealed)) << mode << " " << n << " " << path;
                if (n >= 16) {
                    EXPECT_NE(toHex(sealed), toHex(data)) << mode << " " << n << " " << path;
                }
                EXPECT_EQ(toHex(decode(*rijndael(key, mode), sealed)), toHex(data)) << mode << " " << n << " " << path;
                rijndael(key, mode)->DecodeBuffer(inPlace.data(), inPlace.data(), static_cast<int64_t>(n));
                EXPECT_EQ(toHex(inPlace), toHex(data)) << mode << " " << n << " " << path;
            }
        }
    });
}

// The MAC is the feedback register, the same whichever direction runs.
TEST(Rijndael, MacModesGiveTheFeedbackRegisterAsTheMac) {
    const Bytes key = randomBytes(16, 8);
    const Bytes data = randomBytes(40, 9);
    for (TCipherMode mode : {cmCTSMAC, cmCBCMAC, cmCFBMAC}) {
        auto a = rijndael(key, mode), b = rijndael(key, mode);
        Bytes copy = data;
        a->EncodeBuffer(copy.data(), copy.data(), 40);
        b->DecodeBuffer(copy.data(), copy.data(), 40);
        EXPECT_EQ(toHex(a->Feedback(), 16), toHex(b->Feedback(), 16)) << mode;
        EXPECT_NE(toHex(a->Feedback(), 16), toHex(a->InitVector(), 16)) << mode;
        Bytes other = data;
        other[39] ^= 1;
        auto c = rijndael(key, mode);
        c->EncodeBuffer(other.data(), other.data(), 40);
        if (mode == cmCFBMAC) {  // the block MAC modes do not use the tail's bytes
            EXPECT_NE(toHex(c->Feedback(), 16), toHex(a->Feedback(), 16)) << mode;
        } else {
            EXPECT_EQ(toHex(c->Feedback(), 16), toHex(a->Feedback(), 16)) << mode;
        }
    }
    // In the block MAC modes only whole blocks count.
    auto a = rijndael(key, cmCBCMAC);
    Bytes untouched(32, 0);
    a->EncodeBuffer(data.data(), untouched.data(), 32);
    EXPECT_EQ(untouched, Bytes(32, 0));
    Bytes cbc = encode(*rijndael(key, cmCBC), Bytes(data.begin(), data.begin() + 32));
    EXPECT_EQ(toHex(a->Feedback(), 16), toHex(Bytes(cbc.begin() + 16, cbc.end())));
}

TEST(Rijndael, CbcTailIsXoredWithTheEncryptedFeedback) {
    const Bytes data = randomBytes(20, 10);
    auto c = rijndael(kKey128, cmCBC, kIV);
    const Bytes sealed = encode(*c, data);
    const Bytes head = opensslCipher("aes-128-cbc", kKey128, kIV, Bytes(data.begin(), data.begin() + 16), true);
    EXPECT_EQ(toHex(Bytes(sealed.begin(), sealed.begin() + 16)), toHex(head));
    const Bytes pad = opensslCipher("aes-128-ecb", kKey128, {}, head, true);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(sealed[16 + i], data[16 + i] ^ pad[i]) << i;
    c->Done();
    EXPECT_EQ(toHex(decode(*c, sealed)), toHex(data));
}

// A partial last block in ECB could never be decoded again: refused.
TEST(Rijndael, EcbRefusesAPartialBlock) {
    auto c = rijndael(kKey128, cmECB);
    Bytes data = randomBytes(20, 11);
    const Bytes before = data;
    for (bool encoding : {true, false}) {
        try {
            if (encoding)
                c->EncodeBuffer(data.data(), data.data(), 20);
            else
                c->DecodeBuffer(data.data(), data.data(), 20);
            FAIL() << "a partial block was coded";
        } catch (const ECipherException& e) {
            EXPECT_EQ(e.ErrorCode, errPartialBlock);
        }
        EXPECT_EQ(data, before);
    }
}

TEST(Rijndael, KeysArePaddedToTheNextSizeAndCut) {
    const Bytes key = randomBytes(40, 12);
    const struct {
        size_t given, used;
        int rounds;
    } cases[] = {{1, 16, 10}, {16, 16, 10}, {17, 24, 12}, {20, 24, 12}, {24, 24, 12}, {25, 32, 14}, {40, 32, 14}};
    const Bytes block = randomBytes(16, 13);
    for (const auto& k : cases) {
        Bytes given(key.begin(), key.begin() + k.given);
        auto c = rijndael(given, cmECB);
        EXPECT_EQ(static_cast<TCipher_Rijndael&>(*c).Rounds(), k.rounds) << k.given;
        Bytes padded(key.begin(), key.begin() + std::min(k.given, k.used));
        padded.resize(k.used, 0);
        EXPECT_EQ(toHex(encode(*c, block)), toHex(opensslCipher(ecbName(k.used), padded, {}, block, true))) << k.given;
    }
}

TEST(Rijndael, TheDefaultVectorIsTheEncryptionOfAllOnes) {
    auto c = rijndael(kKey128, cmCBC);
    EXPECT_EQ(toHex(c->InitVector(), 16), toHex(opensslCipher("aes-128-ecb", kKey128, {}, Bytes(16, 0xFF), true)));
    EXPECT_EQ(toHex(c->Feedback(), 16), toHex(c->InitVector(), 16));
}

TEST(Rijndael, DoneRestartsChainingFromTheVector) {
    const Bytes data = randomBytes(40, 14);
    auto c = rijndael(kKey128, cmCBC);
    const Bytes first = encode(*c, data);
    EXPECT_EQ(toHex(encode(*c, data)) == toHex(first), false);
    c->Done();
    c->Done();
    EXPECT_EQ(toHex(encode(*c, data)), toHex(first));
}

TEST(Rijndael, UnkeyedOrWipedCiphersRefuseToCode) {
    auto c = TCipher::Create(TCipher_Rijndael::Class());
    uint8_t block[16] = {};
    const auto expectRefusal = [&](const std::function<void()>& f) {
        try {
            f();
            FAIL() << "coded without a key";
        } catch (const ECipherException& e) {
            EXPECT_EQ(e.ErrorCode, errNotInitialized);
            EXPECT_STREQ(e.what(), "TCipher_Rijndael is not initialized call Init() or InitKey() before.");
        }
    };
    expectRefusal([&] { c->EncodeBuffer(block, block, 16); });
    expectRefusal([&] { c->CodeBuffer(block, 16, paEncode); });
    c->Init(kKey128.data(), 16, nullptr);
    EXPECT_TRUE(c->GetFlag(1));
    c->EncodeBuffer(block, block, 16);
    c->Protect();
    EXPECT_FALSE(c->GetFlag(1));
    expectRefusal([&] { c->DecodeBuffer(block, block, 16); });
    EXPECT_EQ(raisedText([] { TCipher::SelfTest(TCipher_Rijndael::Class()); }), "Not implemented 20");
}

TEST(Rijndael, RawKeysReplaceTheCallersCopyByTheirEncryption) {
    const Bytes plainKey = randomBytes(20, 15);
    Bytes key = plainKey;
    auto c = TCipher::CreateKey(TCipher_Rijndael::Class(), key);
    EXPECT_TRUE(c->GetFlag(0));
    auto reference = rijndael(plainKey, cmCTS);
    EXPECT_EQ(toHex(key), toHex(encode(*reference, plainKey)));
    // Keyed the same way, the two code alike.
    const Bytes data = randomBytes(64, 16);
    reference->Done();
    EXPECT_EQ(toHex(encode(*c, data)), toHex(encode(*reference, data)));
}

// A cipher keyed from raw bytes codes through the frame too: buffer, stream
// and string calls never hand back the plain text as if it were coded.
TEST(Rijndael, RawKeyedCiphersCodeThroughTheFrame) {
    Bytes key = kKey128;
    auto c = TCipher::CreateKey(TCipher_Rijndael::Class(), key);
    c->Mode = cmCTR;
    const Bytes data = randomBytes(100, 17);
    Bytes framed = data;
    c->CodeBuffer(framed.data(), 100, paEncode);
    EXPECT_EQ(toHex(framed), toHex(ctrReference(kKey128, data)));
    const std::string text = "attack at dawn";
    auto d = TCipher::CreateKey(TCipher_Rijndael::Class(), key = kKey128);
    d->Mode = cmCTR;
    const std::string sealed = d->CodeString(text, paEncode, kFormatCopy);
    EXPECT_EQ(toHex(sealed), toHex(ctrReference(kKey128, Bytes(text.begin(), text.end()))));
}

TEST(Rijndael, PassPhrasesKeyThroughTheHashClass) {
    const std::string phrase = "correct horse";
    for (THashClass h : {THash_RipeMD256::Class(), THash_MD4::Class()}) {
        auto c = TCipher::Create(TCipher_Rijndael::Class());
        c->SetHashClass(h == THash_RipeMD256::Class() ? nullptr : h);  // nothing: the default
        EXPECT_EQ(c->HashClass(), h);
        c->InitKey(phrase, nullptr);
        EXPECT_TRUE(c->GetFlag(0));
        c->Mode = cmECB;
        const std::string digest = THash::CalcString(h, phrase, nullptr, kFormatCopy);
        // The key is gone from the cipher's hash object.
        EXPECT_NE(toHex(c->Hash()->DigestKey(), digest.size()), toHex(digest)) << h->ClassName;
        auto reference = rijndael(Bytes(digest.begin(), digest.end()), cmECB);
        const Bytes block = randomBytes(32, 18);
        EXPECT_EQ(toHex(encode(*c, block)), toHex(encode(*reference, block))) << h->ClassName;
    }
}

TEST(CipherRegistry, NamesClassesAndDefaults) {
    EXPECT_EQ(GetCipherClass("TCipher_Rijndael"), TCipher_Rijndael::Class());
    EXPECT_EQ(GetCipherClass("rijndael"), TCipher_Rijndael::Class());
    EXPECT_EQ(GetCipherClass("Blowfish"), nullptr);
    EXPECT_EQ(GetCipherName(TCipher_Rijndael::Class()), "Rijndael");
    EXPECT_EQ(DefaultCipherClass(), TCipher_Rijndael::Class());
    EXPECT_EQ(TCipher::MaxKeySize(TCipher_Rijndael::Class()), 32);
    EXPECT_FALSE(RegisterCipher(nullptr, "x", "y"));

    ASSERT_TRUE(RegisterCipher(TCipher_Rijndael::Class(), "  AES ", "the standard"));
    ASSERT_EQ(CipherList().size(), 1u);
    EXPECT_EQ(CipherList()[0].Name, "AES");
    EXPECT_EQ(CipherList()[0].Description, "the standard");
    EXPECT_EQ(GetCipherClass("aes"), TCipher_Rijndael::Class());
    std::vector<std::pair<std::string, TCipherClass>> names;
    CipherNames(&names);
    EXPECT_EQ(names, (std::vector<std::pair<std::string, TCipherClass>>{{"AES", TCipher_Rijndael::Class()}}));
    EXPECT_TRUE(UnregisterCipher(TCipher_Rijndael::Class()));
    EXPECT_FALSE(UnregisterCipher(TCipher_Rijndael::Class()));
    EXPECT_EQ(GetCipherClass("Rijndael"), nullptr);
    EXPECT_EQ(GetCipherName(TCipher_Rijndael::Class()), "Rijndael");  // the short class name
    ASSERT_TRUE(RegisterCipher(TCipher_Rijndael::Class(), "", ""));
    EXPECT_EQ(CipherList()[0].Name, "Rijndael");

    SetDefaultCipherClass(nullptr);
    EXPECT_EQ(DefaultCipherClass(), TCipher_Rijndael::Class());
}

TEST(HashRegistry, NamesClassesAndDefaults) {
    EXPECT_TRUE(HashList().empty());
    EXPECT_EQ(DefaultHashClass(), THash_RipeMD256::Class());
    for (THashClass h : {THash_MD4::Class(), THash_RipeMD128::Class(), THash_RipeMD256::Class()})
        ASSERT_TRUE(RegisterHash(h, "", ""));
    EXPECT_EQ(HashList()[1].Name, "RipeMD128");
    EXPECT_EQ(GetHashClass("THash_ripemd128"), THash_RipeMD128::Class());
    EXPECT_EQ(GetHashClass("MD4"), THash_MD4::Class());
    SetDefaultHashClass(THash_MD4::Class());
    EXPECT_EQ(DefaultHashClass(), THash_MD4::Class());
    SetDefaultHashClass(nullptr);
    EXPECT_EQ(DefaultHashClass(), THash_RipeMD256::Class());
    for (THashClass h : {THash_MD4::Class(), THash_RipeMD128::Class(), THash_RipeMD256::Class()})
        EXPECT_TRUE(UnregisterHash(h));
    EXPECT_EQ(GetHashClass("MD4"), nullptr);
}

// AES entries: the 0x9901 field, the entry encoder and decoder against an
// independent computation with OpenSSL, archives we write against 7-Zip,
// and 7-Zip's AES entries through our decoder. The entries are read
// straight from the file (local header, data area), not through the
// archiver's extraction.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <zlib.h>

#include <map>
#include <random>
#include <set>

#include "platform/ui/prompter.h"
#include "tests/zip/zip_support.h"
#include "zip/arkivolt.h"
#include "zip/avaes.h"
#include "zip/avexcept.h"
#include "zip/avrecords.h"

using namespace zip;
using namespace ziptest;

namespace {

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b) s += static_cast<char>(c);
    return s;
}

std::string Random(size_t n, uint32_t seed) {
    std::mt19937 g(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(g());
    return s;
}

// Compressible text of about n bytes.
std::string Text(size_t n) {
    std::string s;
    for (int i = 0; s.size() < n; ++i) s += "<p>line " + std::to_string(i % 977) + " of the page</p>\r\n";
    return s.substr(0, n);
}

std::string RawInflate(const std::string& in) {
    z_stream zs{};
    EXPECT_EQ(inflateInit2(&zs, -MAX_WBITS), Z_OK);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    zs.avail_in = static_cast<uInt>(in.size());
    std::string out;
    int r = Z_OK;
    char buf[65536];
    while (r == Z_OK) {
        zs.next_out = reinterpret_cast<Bytef*>(buf);
        zs.avail_out = sizeof buf;
        r = inflate(&zs, Z_NO_FLUSH);
        out.append(buf, sizeof buf - zs.avail_out);
    }
    EXPECT_EQ(r, Z_STREAM_END);
    inflateEnd(&zs);
    return out;
}

// One entry as it lies in the file.
struct TRawEntry {
    std::string name;
    uint16_t localMethod = 0, centralMethod = 0;
    uint32_t localCrc = 0, centralCrc = 0;
    bool aes = false;
    TAesField field;
    std::string data;  // the whole data area: start block, data, code
    int64_t dataAt = 0;
};

std::vector<TRawEntry> RawEntries(const std::string& zip) {
    TArkivolt ark;
    ark.FileName = zip;
    ark.OpenArchive(kModeReadOnly);
    const std::string bytes = ReadFile(zip);
    std::vector<TRawEntry> out;
    for (int32_t i = 0; i < ark.Directory().Count(); ++i) {
        const TDirItem& it = ark.Directory()[i];
        const size_t at = static_cast<size_t>(it.Offset());
        EXPECT_EQ(Get32(bytes, at), kLocalSig);
        TRawEntry e;
        e.name = it.Name;
        e.centralMethod = it.CompressionMethod;
        e.centralCrc = it.Crc32;
        e.localMethod = Get16(bytes, at + 8);
        e.localCrc = Get32(bytes, at + 14);
        const size_t n = Get16(bytes, at + 26), m = Get16(bytes, at + 28);
        e.aes = FindAesExtraField(std::string_view(bytes).substr(at + 30 + n, m), e.field);
        e.dataAt = static_cast<int64_t>(at + 30 + n + m);
        e.data = bytes.substr(at + 30 + n + m, static_cast<size_t>(it.CSize()));
        out.push_back(e);
    }
    ark.CloseArchive();
    return out;
}

enum class TDecoded { Ok, WrongPassword, Damaged };

// Decrypts an AES entry's data area in chunks of the given size and undoes
// its compression.
TDecoded Decode(const TRawEntry& e, const std::string& password, std::string& plain, size_t chunk = 4093) {
    const size_t salt = AesSaltLength(e.field), start = AesStartBlockSize(e.field);
    EXPECT_GE(e.data.size(), AesOverhead(e.field));
    TAesEntryDecoder dec(password, e.field, std::string_view(e.data).substr(0, salt),
                         std::string_view(e.data).substr(salt, kAesVerifierSize));
    if (!dec.PasswordMatches()) {
        std::string none;
        EXPECT_THROW(dec.Decrypt(none.data(), 0), EAvException);
        return TDecoded::WrongPassword;
    }
    std::string body = e.data.substr(start, e.data.size() - AesOverhead(e.field));
    for (size_t at = 0; at < body.size(); at += chunk) dec.Decrypt(body.data() + at, std::min(chunk, body.size() - at));
    if (!dec.Authentic(std::string_view(e.data).substr(e.data.size() - kAesAuthCodeSize))) return TDecoded::Damaged;
    plain = e.field.ActualMethod == 8 ? RawInflate(body) : body;
    return TDecoded::Ok;
}

const TRawEntry& Entry(const std::vector<TRawEntry>& entries, const std::string& name) {
    for (const auto& e : entries)
        if (e.name == name) return e;
    ADD_FAILURE() << "no entry " << name;
    static const TRawEntry none;
    return none;
}

}  // namespace

// ------------------------------------------------------------- the field

TEST(AesField, BuildAndParseAreChecked) {
    // AES-128 over deflated data.
    EXPECT_EQ(AesExtraFieldData({2, 1, 8}), Bytes({0x02, 0x00, 0x41, 0x45, 0x01, 0x08, 0x00}));
    TAesField f;
    ASSERT_TRUE(ParseAesExtraField(Bytes({0x01, 0x00, 0x41, 0x45, 0x03, 0x00, 0x00}), f));
    EXPECT_EQ(f.Version, 1);
    EXPECT_EQ(f.Strength, 3);
    EXPECT_EQ(f.ActualMethod, 0);
    const std::string bad[] = {
        Bytes({0x02, 0x00, 0x41, 0x45, 0x01, 0x08}),              // short
        Bytes({0x02, 0x00, 0x41, 0x45, 0x01, 0x08, 0x00, 0x00}),  // long
        Bytes({0x02, 0x00, 0x41, 0x46, 0x01, 0x08, 0x00}),        // not "AE"
        Bytes({0x02, 0x00, 0x41, 0x45, 0x00, 0x08, 0x00}),        // strength 0
        Bytes({0x02, 0x00, 0x41, 0x45, 0x04, 0x08, 0x00}),        // strength 4
        Bytes({0x03, 0x00, 0x41, 0x45, 0x01, 0x08, 0x00}),        // version 3
    };
    for (const auto& b : bad) {
        TAesField g{7, 7, 7};
        EXPECT_FALSE(ParseAesExtraField(b, g)) << testing::PrintToString(b);
        EXPECT_EQ(g.Version, 7);
    }
    // In a whole extra area: after other blocks; a block that overruns the
    // area ends the search.
    const std::string aes = Bytes({0x01, 0x99, 0x07, 0x00}) + AesExtraFieldData({2, 2, 8});
    const std::string other = Bytes({0x55, 0x54, 0x05, 0x00, 1, 2, 3, 4, 5});
    EXPECT_TRUE(FindAesExtraField(other + aes, f));
    EXPECT_EQ(f.Strength, 2);
    EXPECT_FALSE(FindAesExtraField(other, f));
    EXPECT_FALSE(FindAesExtraField(Bytes({0x55, 0x54, 0x40, 0x00, 1}) + aes, f));
    EXPECT_FALSE(FindAesExtraField(aes.substr(0, 10), f));
}

// ------------------------------------------------------- encoder, decoder

namespace {

// The entry's ciphertext and code computed apart from our code: keys by
// OpenSSL's PBKDF2, the keystream as AES-ECB of a little-endian counter
// from 1, the code as OpenSSL's HMAC-SHA1 over the ciphertext.
std::string OpenSslEntry(const std::string& password, const std::string& salt, int strength,
                         const std::string& plain, std::string& verifier) {
    const size_t kl = AesKeyLength(static_cast<uint8_t>(strength));
    std::string keys(2 * kl + 2, '\0');
    PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()),
                           reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()), 1000,
                           static_cast<int>(keys.size()), reinterpret_cast<unsigned char*>(keys.data()));
    verifier = keys.substr(2 * kl);
    const EVP_CIPHER* ecb = kl == 16 ? EVP_aes_128_ecb() : kl == 24 ? EVP_aes_192_ecb() : EVP_aes_256_ecb();
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, ecb, nullptr, reinterpret_cast<const unsigned char*>(keys.data()), nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    std::string out = plain;
    unsigned char counter[16] = {}, stream[16];
    for (size_t at = 0; at < out.size(); ++at) {
        if (at % 16 == 0) {
            for (int k = 0; k < 8 && ++counter[k] == 0; ++k) {
            }
            int n = 0;
            EVP_EncryptUpdate(ctx, stream, &n, counter, 16);
        }
        out[at] = static_cast<char>(out[at] ^ stream[at % 16]);
    }
    EVP_CIPHER_CTX_free(ctx);
    unsigned char mac[20];
    unsigned int macLen = 0;
    HMAC(EVP_sha1(), keys.data() + kl, static_cast<int>(kl), reinterpret_cast<const unsigned char*>(out.data()),
         out.size(), mac, &macLen);
    return out + std::string(reinterpret_cast<char*>(mac), 10);
}

}  // namespace

TEST(AesEntry, EncoderMatchesAnIndependentComputationAndDecodes) {
    const std::string plain = Random(1000, 1);
    for (uint8_t strength : {1, 2, 3}) {
        const TAesField field{2, strength, 8};
        TAesEntryEncoder enc("pass word", field);
        const std::string start = enc.StartBlock();
        ASSERT_EQ(start.size(), 6u + 4u * strength) << int(strength);
        // Chunks of any size: the counter runs on across calls.
        std::string out = plain;
        size_t at = 0;
        for (size_t n : {7, 33, 16, 1, 943}) {
            enc.Encrypt(out.data() + at, n);
            at += n;
        }
        ASSERT_EQ(at, plain.size());
        out += enc.AuthCode();
        EXPECT_THROW(enc.Encrypt(out.data(), 1), rtl::Exception);
        std::string verifier;
        const std::string salt = start.substr(0, AesSaltLength(field));
        EXPECT_EQ(out, OpenSslEntry("pass word", salt, strength, plain, verifier)) << int(strength);
        EXPECT_EQ(start.substr(salt.size()), verifier);

        TRawEntry e;
        e.field = {2, strength, 0};
        e.data = start + out;
        std::string back;
        EXPECT_EQ(Decode(e, "pass word", back, 1000), TDecoded::Ok);
        EXPECT_EQ(back, plain);
    }
}

TEST(AesEntry, EveryEncoderHasItsOwnSalt) {
    const TAesField field{2, 3, 0};
    TAesEntryEncoder a("same", field), b("same", field);
    EXPECT_NE(a.StartBlock().substr(0, 16), b.StartBlock().substr(0, 16));
}

TEST(AesEntry, WrongPasswordAndChangedBytesAreCaught) {
    const TAesField field{2, 3, 0};
    const std::string plain = Text(5000);
    TAesEntryEncoder enc("right", field);
    std::string body = plain;
    enc.Encrypt(body.data(), body.size());
    TRawEntry e;
    e.field = field;
    e.data = enc.StartBlock() + body + enc.AuthCode();
    std::string back;
    ASSERT_EQ(Decode(e, "right", back), TDecoded::Ok);

    // A wrong password fails the verifier, or, 1 time in 65,536, the code.
    const TDecoded wrong = Decode(e, "wrong", back);
    EXPECT_NE(wrong, TDecoded::Ok);
    // A verifier that matches a wrong password (forged here from OpenSSL's
    // keys) gets past the first check; the code still fails.
    std::string verifier;
    OpenSslEntry("wrong", e.data.substr(0, 16), 3, "", verifier);
    TRawEntry forged = e;
    forged.data.replace(16, 2, verifier);
    EXPECT_EQ(Decode(forged, "wrong", back), TDecoded::Damaged);

    // One flipped bit in the data, the code or the salt.
    for (size_t at : {size_t(18), size_t(18 + 2500), e.data.size() - 1, size_t(0)}) {
        TRawEntry bad = e;
        bad.data[at] = static_cast<char>(bad.data[at] ^ 0x04);
        EXPECT_NE(Decode(bad, "right", back), TDecoded::Ok) << at;
    }
    // Salt and verifier of the wrong length are refused.
    EXPECT_THROW(TAesEntryDecoder("right", field, e.data.substr(0, 8), e.data.substr(16, 2)), EAvException);
    EXPECT_THROW(TAesEntryDecoder("right", field, e.data.substr(0, 16), e.data.substr(16, 1)), EAvException);
    EXPECT_THROW(TAesEntryDecoder("right", TAesField{2, 4, 0}, e.data.substr(0, 16), e.data.substr(16, 2)),
                 EAvException);
}

// ------------------------------------------------------- archives we write

namespace {

struct AesArchive : ::testing::Test {
    TScratch dir;
    TArkivolt ark;
    ui::TScriptedPrompter prompter;
    std::map<std::string, std::string> files;

    void SetUp() override {
        ark.Name = "Arkivolt1";
        files["src/page.htm"] = Text(200000);
        files["src/photo.bin"] = Random(3 << 20, 2);  // several chunks, stored by deflate's choice
        files["src/empty.txt"] = "";
        for (const auto& [name, data] : files) WriteFile(dir / name, data);
    }
    void TearDown() override { EXPECT_EQ(prompter.unexpected, 0); }

    void Create(const std::string& zip) {
        ark.FileName = zip;
        ark.OpenArchive(kModeCreate);
        ark.BaseDir = dir.Path();
        ark.Options.Recurse = false;
    }
    void Add(const std::vector<std::string>& names) {
        ark.FileMasks = names;
        ark.AddFiles();
    }
    std::string Write(TAvCryptoAlgorithm method, const std::string& password) {
        const std::string zip = dir / ("aes" + std::to_string(method) + ".zip");
        ark.SetCompressionMode(9);
        Create(zip);
        ark.SetPassword(password);
        ark.EncryptionMethod = method;
        Add({"src/page.htm", "src/photo.bin", "src/empty.txt"});
        ark.CloseArchive();
        return zip;
    }
};

}  // namespace

TEST_F(AesArchive, EachStrengthPassesSevenZipAndExtractsByteIdentical) {
    for (TAvCryptoAlgorithm method : {caAES_128, caAES_192, caAES_256}) {
        SCOPED_TRACE(method);
        const std::string zip = Write(method, "Pa55 w0rd");
        const TRun test = Shell("7zz t -p'Pa55 w0rd' " + Quote(zip));
        EXPECT_EQ(test.status, 0) << test.output;
        const std::string out = dir / ("out" + std::to_string(method));
        const TRun x = Shell("7zz x -y -p'Pa55 w0rd' -o" + Quote(out) + " " + Quote(zip));
        EXPECT_EQ(x.status, 0) << x.output;
        for (const auto& [name, data] : files) EXPECT_TRUE(ReadFile(out + "/" + name) == data) << name;
        EXPECT_NE(Shell("7zz t -pwrong " + Quote(zip)).status, 0);

        const auto entries = RawEntries(zip);
        ASSERT_EQ(entries.size(), 3u);
        std::set<std::string> salts;
        for (const auto& e : entries) {
            SCOPED_TRACE(e.name);
            EXPECT_EQ(e.localMethod, kAesMethod);
            EXPECT_EQ(e.centralMethod, kAesMethod);
            // AE-2: the code vouches for the data, the CRC says nothing.
            EXPECT_EQ(e.localCrc, 0u);
            EXPECT_EQ(e.centralCrc, 0u);
            ASSERT_TRUE(e.aes);
            EXPECT_EQ(e.field.Version, 2);
            EXPECT_EQ(e.field.Strength, AesStrength(method));
            salts.insert(e.data.substr(0, AesSaltLength(e.field)));
            std::string plain;
            EXPECT_EQ(Decode(e, "Pa55 w0rd", plain), TDecoded::Ok);
            EXPECT_TRUE(plain == files[e.name]);
        }
        EXPECT_EQ(salts.size(), 3u);
        EXPECT_EQ(Entry(entries, "src/page.htm").field.ActualMethod, 8);
        EXPECT_EQ(Entry(entries, "src/empty.txt").field.ActualMethod, 0);
        EXPECT_EQ(Entry(entries, "src/empty.txt").data.size(), AesOverhead(Entry(entries, "src/empty.txt").field));
    }
}

TEST_F(AesArchive, AFlippedByteIsCaughtBySevenZipAndTheDecoder) {
    const std::string zip = Write(caAES_256, "secret");
    const TRawEntry e = Entry(RawEntries(zip), "src/page.htm");
    std::string bytes = ReadFile(zip);
    const size_t at = static_cast<size_t>(e.dataAt) + e.data.size() / 2;
    bytes[at] = static_cast<char>(bytes[at] ^ 0x20);
    WriteFile(zip, bytes);
    EXPECT_NE(Shell("7zz t -psecret " + Quote(zip)).status, 0);
    std::string plain;
    EXPECT_EQ(Decode(Entry(RawEntries(zip), "src/page.htm"), "secret", plain), TDecoded::Damaged);
    EXPECT_EQ(Decode(Entry(RawEntries(zip), "src/empty.txt"), "secret", plain), TDecoded::Ok);
}

// Password and method are the entry's own, taken when it was added, even
// when the batch is written after they changed.
TEST_F(AesArchive, EachEntryKeepsThePasswordAndMethodItWasAddedWith) {
    const std::string zip = dir / "mixed.zip";
    Create(zip);
    ark.BeginUpdate();
    ark.SetPassword("first");
    ark.EncryptionMethod = caAES_128;
    Add({"src/page.htm"});
    ark.SetPassword("second");
    ark.EncryptionMethod = caAES_256;
    Add({"src/empty.txt"});
    ark.SetPassword("");
    Add({"src/photo.bin"});
    ark.EndUpdate();
    ark.CloseArchive();
    const auto entries = RawEntries(zip);
    std::string plain;
    const TRawEntry& page = Entry(entries, "src/page.htm");
    EXPECT_EQ(page.field.Strength, 1);
    EXPECT_EQ(Decode(page, "first", plain), TDecoded::Ok);
    EXPECT_TRUE(plain == files["src/page.htm"]);
    const TRawEntry& empty = Entry(entries, "src/empty.txt");
    EXPECT_EQ(empty.field.Strength, 3);
    EXPECT_EQ(Decode(empty, "second", plain), TDecoded::Ok);
    const TRawEntry& photo = Entry(entries, "src/photo.bin");
    EXPECT_FALSE(photo.aes);
    EXPECT_NE(photo.centralMethod, kAesMethod);
    EXPECT_EQ(Shell("7zz t -pfirst " + Quote(zip) + " src/page.htm src/photo.bin").status, 0);
}

// --------------------------------------------------- 7-Zip's AES entries

TEST(SevenZipAes, EntriesDecodeByteIdenticalThroughTheDecoder) {
    TScratch dir;
    std::map<std::string, std::string> files = {
        {"page.htm", Text(100000)}, {"noise.bin", Random(300000, 3)}, {"empty.txt", ""}, {"tiny.txt", "x"}};
    for (const auto& [name, data] : files) WriteFile(dir / name, data);
    for (const char* mem : {"AES128", "AES192", "AES256"}) {
        SCOPED_TRACE(mem);
        const std::string zip = dir / (std::string(mem) + ".zip");
        const TRun a = Shell("cd " + Quote(dir.Path()) + " && 7zz a -tzip -mem=" + mem + " -p'k3y ring' " + Quote(zip) +
                             " page.htm noise.bin empty.txt tiny.txt");
        ASSERT_EQ(a.status, 0) << a.output;
        const auto entries = RawEntries(zip);
        ASSERT_EQ(entries.size(), files.size());
        for (const auto& e : entries) {
            SCOPED_TRACE(e.name);
            ASSERT_TRUE(e.aes);
            EXPECT_EQ(e.centralMethod, kAesMethod);
            std::string plain;
            ASSERT_EQ(Decode(e, "k3y ring", plain), TDecoded::Ok);
            EXPECT_TRUE(plain == files[e.name]);
            EXPECT_NE(Decode(e, "k3y rinG", plain), TDecoded::Ok);
            if (e.data.size() > AesOverhead(e.field)) {
                TRawEntry bad = e;
                bad.data[AesStartBlockSize(e.field)] ^= 1;
                EXPECT_EQ(Decode(bad, "k3y ring", plain), TDecoded::Damaged);
            }
        }
    }
}

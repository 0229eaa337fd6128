// Throughput of the zip suite's SHA-1, AES (CTR as AES entries use it, and
// CBC) and PBKDF2-HMAC-SHA1, beside OpenSSL's EVP on the same buffers in the
// same run. Prints MB/s (iterations per second for PBKDF2). Then an archive
// of the same size written by the archiver with AES-256 entries and without
// encryption, and the AES archive tested by `7zz t` and by the archiver.
//   bench_zipcrypto [MB]   (default 64)
#include <openssl/evp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <vector>

#include "zip/crypto/avcipher.h"
#include "zip/crypto/avkeyderiv.h"
#include "zip/crypto/avsha1.h"
#include "zip/arkivolt.h"

using namespace zipcrypto;

namespace {

using Clock = std::chrono::steady_clock;

// The best of three runs, in seconds.
double best(const std::function<void()>& run) {
    double b = 1e30;
    for (int i = 0; i < 3; ++i) {
        const auto t0 = Clock::now();
        run();
        b = std::min(b, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return b;
}

void row(const char* what, double ours, double theirs, const char* unit) {
    std::printf("%-28s %10.1f %10.1f %s   (ours / OpenSSL %.2f)\n", what, ours, theirs, unit, ours / theirs);
}

void opensslCipher(const EVP_CIPHER* c, const uint8_t* key, const uint8_t* iv, std::vector<uint8_t>& buf) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n = 0;
    if (EVP_EncryptInit_ex(ctx, c, nullptr, key, iv) != 1 || EVP_CIPHER_CTX_set_padding(ctx, 0) != 1 ||
        EVP_EncryptUpdate(ctx, buf.data(), &n, buf.data(), static_cast<int>(buf.size())) != 1)
        throw std::runtime_error("OpenSSL cipher failed");
    EVP_CIPHER_CTX_free(ctx);
}

// Half text-like, half noise: one file per 4 MB, so the per-entry key
// derivation counts as it does in a real archive.
void archiveFigures(const std::vector<uint8_t>& noise, double mb) {
    char tmpl[] = "/tmp/pelliwox-bench-XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    std::vector<std::string> names;
    const size_t per = 4 << 20;
    for (size_t at = 0, n = 0; at < noise.size(); at += per, ++n) {
        std::string data(reinterpret_cast<const char*>(noise.data()) + at, std::min(per, noise.size() - at));
        if (n % 2 == 0)
            for (size_t i = 0; i < data.size(); ++i) data[i] = "abcdefgh ijklm\r\n"[static_cast<uint8_t>(data[i]) % 16];
        names.push_back("f" + std::to_string(n) + ".bin");
        std::ofstream(dir + "/" + names.back(), std::ios::binary) << data;
    }
    const auto write = [&](const std::string& zip, zip::TAvCryptoAlgorithm method, const std::string& password) {
        const auto t0 = Clock::now();
        zip::TArkivolt ark;
        ark.FileName = zip;
        ark.OpenArchive(zip::kModeCreate);
        ark.BaseDir = dir;
        ark.Options.Recurse = false;
        ark.SetCompressionMode(6);
        ark.SetPassword(password);
        ark.EncryptionMethod = method;
        ark.FileMasks = names;
        ark.AddFiles();
        ark.CloseArchive();
        return std::chrono::duration<double>(Clock::now() - t0).count();
    };
    const double plain = write(dir + "/plain.zip", zip::caPkzipClassic, "");
    const double aes = write(dir + "/aes.zip", zip::caAES_256, "bench pass");
    const auto t0 = Clock::now();
    const int tested = std::system(("7zz t -pbench\\ pass " + dir + "/aes.zip >/dev/null 2>&1").c_str());
    const double test = std::chrono::duration<double>(Clock::now() - t0).count();
    // The same archive tested by the archiver itself; a failure is counted
    // and passed over, so the time covers every entry.
    int failures = 0;
    const auto t1 = Clock::now();
    {
        zip::TArkivolt ark;
        ark.FileName = dir + "/aes.zip";
        ark.OpenArchive(zip::kModeReadOnly);
        ark.SetPassword("bench pass");
        ark.OnProcessFileFailure = [&](const std::string&, zip::TAvProcessOperation, int, int, const std::string&,
                                       zip::TAvAction& action) {
            ++failures;
            action = zip::fxaIgnore;
        };
        ark.TestFiles("*.*", 10431, "");
    }
    const double ownTest = std::chrono::duration<double>(Clock::now() - t1).count();
    std::printf("\nArchive of %.0f MB in %zu files, compression mode 6:\n", mb, names.size());
    std::printf("%-28s %10.1f MB/s\n", "write, no encryption", mb / plain);
    std::printf("%-28s %10.1f MB/s\n", "write, AES-256", mb / aes);
    std::printf("%-28s %10.1f MB/s  (%s)\n", "7zz t of the AES archive", mb / test, tested == 0 ? "passed" : "FAILED");
    std::printf("%-28s %10.1f MB/s  (%s; ours / 7zz %.2f)\n", "our test of the AES archive", mb / ownTest,
                failures == 0 ? "passed" : "FAILED", test / ownTest);
    std::filesystem::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
    const size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    std::vector<uint8_t> buf(mb << 20);
    for (size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<uint8_t>(i * 131 + 7);
    const double size = static_cast<double>(mb);
    uint8_t key[32], iv[16] = {};
    for (int i = 0; i < 32; ++i) key[i] = static_cast<uint8_t>(i);

    std::printf("%-28s %10s %10s\n", "", "ours", "OpenSSL");
    volatile uint8_t sink = 0;
    const double shaOurs = best([&] {
        THashContext ctx;
        SHA1Init(ctx);
        for (size_t at = 0; at < buf.size(); at += 1 << 20) SHA1UpdateXL(ctx, buf.data() + at, 1 << 20);
        TSHA1Digest d;
        SHA1Final(ctx, d);
        sink = sink + d[0];
    });
    const double shaTheirs = best([&] {
        unsigned char md[EVP_MAX_MD_SIZE];
        unsigned int len = 0;
        EVP_Digest(buf.data(), buf.size(), md, &len, EVP_sha1(), nullptr);
        sink = sink + md[0];
    });
    row("SHA-1", size / shaOurs, size / shaTheirs, "MB/s");

    const struct {
        const char* name;
        int keyBytes;
        TCipherMode mode;
        const EVP_CIPHER* evp;
    } ciphers[] = {
        {"AES-128-CTR", 16, cmCTR, EVP_aes_128_ctr()},
        {"AES-256-CTR", 32, cmCTR, EVP_aes_256_ctr()},
        {"AES-256-CBC", 32, cmCBC, EVP_aes_256_cbc()},
    };
    for (const auto& c : ciphers) {
        auto cipher = TCipher::Create(TCipher_Rijndael::Class());
        cipher->Init(key, c.keyBytes, iv);
        cipher->Mode = c.mode;
        const double ours = best([&] { cipher->EncodeBuffer(buf.data(), buf.data(), static_cast<int64_t>(buf.size())); });
        const double theirs = best([&] { opensslCipher(c.evp, key, iv, buf); });
        row(c.name, size / ours, size / theirs, "MB/s");
    }

    const int iterations = 100000;
    uint8_t out[66];
    const double kdfOurs = best([&] { PBKDF2("password", 8, "saltsaltsaltsalt", 16, iterations, out, sizeof out); });
    const double kdfTheirs = best([&] {
        PKCS5_PBKDF2_HMAC_SHA1("password", 8, reinterpret_cast<const unsigned char*>("saltsaltsaltsalt"), 16,
                               iterations, sizeof out, out);
    });
    // 66 bytes are four blocks: four times the iterations.
    row("PBKDF2-HMAC-SHA1 (66 bytes)", iterations / kdfOurs, iterations / kdfTheirs, "iterations/s");
    // What every AES-256 entry costs before its first byte: 1000 iterations, 66 bytes.
    const int entries = 200;
    const double keysOurs = best([&] {
        for (int i = 0; i < entries; ++i) PBKDF2("password", 8, "saltsaltsaltsalt", 16, 1000, out, sizeof out);
    });
    const double keysTheirs = best([&] {
        for (int i = 0; i < entries; ++i)
            PKCS5_PBKDF2_HMAC_SHA1("password", 8, reinterpret_cast<const unsigned char*>("saltsaltsaltsalt"), 16,
                                   1000, sizeof out, out);
    });
    row("AES-256 entry keys", entries / keysOurs, entries / keysTheirs, "entries/s");
    archiveFigures(buf, size);
    return 0;
}

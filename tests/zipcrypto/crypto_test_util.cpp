#include "tests/zipcrypto/crypto_test_util.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/provider.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/rtl/exceptions.h"

namespace cryptotest {

Bytes fromHex(const std::string& hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::string toHex(const uint8_t* p, size_t n) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += kHex[p[i] >> 4];
        s += kHex[p[i] & 15];
    }
    return s;
}

Bytes randomBytes(size_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    Bytes b(n);
    for (auto& x : b) x = static_cast<uint8_t>(gen());
    return b;
}

Bytes repeat(uint8_t byte, size_t n) { return Bytes(n, byte); }

Bytes opensslDigest(const char* name, const Bytes& data) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    const EVP_MD* md_type = EVP_get_digestbyname(name);
    if (!md_type || EVP_Digest(data.data(), data.size(), md, &len, md_type, nullptr) != 1)
        throw std::runtime_error(std::string("OpenSSL has no digest ") + name);
    return Bytes(md, md + len);
}

Bytes opensslHmacSha1(const Bytes& key, const Bytes& data) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (!HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()), data.data(), data.size(), md, &len))
        throw std::runtime_error("OpenSSL HMAC failed");
    return Bytes(md, md + len);
}

Bytes opensslPbkdf2Sha1(const std::string& password, const Bytes& salt, int iterations, size_t length) {
    Bytes out(length);
    if (PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()), salt.data(),
                               static_cast<int>(salt.size()), iterations, static_cast<int>(length), out.data()) != 1)
        throw std::runtime_error("OpenSSL PBKDF2 failed");
    return out;
}

bool loadLegacyProvider() {
    static OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    static OSSL_PROVIDER* deflt = OSSL_PROVIDER_load(nullptr, "default");
    return legacy && deflt;
}

Bytes opensslCipher(const char* name, const Bytes& key, const Bytes& iv, const Bytes& data, bool encrypt) {
    const EVP_CIPHER* c = EVP_get_cipherbyname(name);
    if (!c) throw std::runtime_error(std::string("OpenSSL has no cipher ") + name);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    Bytes out(data.size() + 64);
    int n1 = 0, n2 = 0;
    // Ciphers of variable key length take the key's.
    const bool ok = EVP_CipherInit_ex(ctx, c, nullptr, nullptr, nullptr, encrypt) == 1 &&
                    (EVP_CIPHER_CTX_get_key_length(ctx) == static_cast<int>(key.size()) ||
                     EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(key.size())) == 1) &&
                    EVP_CipherInit_ex(ctx, nullptr, nullptr, key.data(), iv.empty() ? nullptr : iv.data(), encrypt) == 1 &&
                    EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
                    EVP_CipherUpdate(ctx, out.data(), &n1, data.data(), static_cast<int>(data.size())) == 1 &&
                    EVP_CipherFinal_ex(ctx, out.data() + n1, &n2) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok) throw std::runtime_error(std::string("OpenSSL cipher failed: ") + name);
    out.resize(static_cast<size_t>(n1 + n2));
    return out;
}

std::shared_ptr<zipcrypto::TCipher> keyed(zipcrypto::TCipherClass cls, const Bytes& key, zipcrypto::TCipherMode mode,
                                          const Bytes& iv) {
    auto c = zipcrypto::TCipher::Create(cls);
    c->Init(key.data(), static_cast<int>(key.size()), iv.empty() ? nullptr : iv.data());
    c->Mode = mode;
    return c;
}

Bytes encode(zipcrypto::TCipher& c, const Bytes& data) {
    Bytes out(data.size());
    c.EncodeBuffer(data.data(), out.data(), static_cast<int64_t>(data.size()));
    return out;
}

Bytes decode(zipcrypto::TCipher& c, const Bytes& data) {
    Bytes out(data.size());
    c.DecodeBuffer(data.data(), out.data(), static_cast<int64_t>(data.size()));
    return out;
}

void forEachRijndaelPath(const std::function<void(const char* path)>& body) {
    struct Restore {
        ~Restore() { zipcrypto::TCipher_Rijndael::AllowHardware(true); }
    } restore;
    for (bool hardware : {false, true}) {
        if (hardware && !zipcrypto::TCipher_Rijndael::HardwareAvailable()) continue;
        zipcrypto::TCipher_Rijndael::AllowHardware(hardware);
        body(hardware ? "instructions" : "tables");
    }
}

std::string raisedText(const std::function<void()>& f) {
    try {
        f();
    } catch (const rtl::Exception& e) {
        return e.Message;
    }
    return "(nothing raised)";
}

std::string tempPath(const std::string& name) {
    // Made on first use, removed when the run ends.
    struct TempDir {
        std::filesystem::path path =
            std::filesystem::temp_directory_path() / ("zipcrypto_test_" + std::to_string(::getpid()));
        TempDir() { std::filesystem::create_directories(path); }
        ~TempDir() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static const TempDir dir;
    return (dir.path / name).string();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << bytes;
    if (!f) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace cryptotest

#pragma once
// Hex, random bytes and OpenSSL's answers for the crypto tests.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zip/crypto/avcipher.h"

namespace cryptotest {

using Bytes = std::vector<uint8_t>;

Bytes fromHex(const std::string& hex);
std::string toHex(const uint8_t* p, size_t n);
inline std::string toHex(const Bytes& b) { return toHex(b.data(), b.size()); }
inline std::string toHex(const std::string& s) { return toHex(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }
// Deterministic pseudo-random bytes, so a failure can be replayed.
Bytes randomBytes(size_t n, uint32_t seed);
Bytes repeat(uint8_t byte, size_t n);

// OpenSSL as the oracle.
Bytes opensslDigest(const char* name, const Bytes& data);
Bytes opensslHmacSha1(const Bytes& key, const Bytes& data);
Bytes opensslPbkdf2Sha1(const std::string& password, const Bytes& salt, int iterations, size_t length);
// MD4, DES and Blowfish live in OpenSSL's legacy provider.
bool loadLegacyProvider();
// Cipher names as EVP knows them ("aes-128-cbc"); no padding.
Bytes opensslCipher(const char* name, const Bytes& key, const Bytes& iv, const Bytes& data, bool encrypt);

// The message of the rtl::Exception F raises, or "(nothing raised)".
std::string raisedText(const std::function<void()>& f);

// A cipher of the class keyed with Key (and IV, when given) in Mode.
std::shared_ptr<zipcrypto::TCipher> keyed(zipcrypto::TCipherClass cls, const Bytes& key,
                                          zipcrypto::TCipherMode mode = zipcrypto::cmECB, const Bytes& iv = {});
// EncodeBuffer and DecodeBuffer into a new buffer.
Bytes encode(zipcrypto::TCipher& c, const Bytes& data);
Bytes decode(zipcrypto::TCipher& c, const Bytes& data);

// Runs Body with Rijndael's table rounds and, where the processor has them,
// with its AES instructions; Body gets the path's name.
void forEachRijndaelPath(const std::function<void(const char* path)>& body);

// A file under the test's own temporary folder.
std::string tempPath(const std::string& name);
void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);

}  // namespace cryptotest

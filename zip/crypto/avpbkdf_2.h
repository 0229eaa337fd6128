#pragma once
// The key generator of AES entries: PBKDF2-HMAC-SHA1 over a password and a salt.
#include <cstdint>
#include <string>
#include <vector>

namespace zipcrypto {

class TPBKDF2 {
public:
    // A fresh salt of SaltLength random bytes from the system's generator.
    TPBKDF2(std::string Password, uint32_t SaltLength, uint32_t IterationNumber);
    TPBKDF2(std::string Password, const void* Salt, uint32_t SaltLength, uint32_t IterationNumber);
    ~TPBKDF2();
    TPBKDF2(const TPBKDF2&) = delete;
    TPBKDF2& operator=(const TPBKDF2&) = delete;

    // Count derived bytes; the password may be of any length.
    std::vector<uint8_t> GetKeyBytes(uint32_t Count) const;
    std::vector<uint8_t> GetSaltValue() const { return SaltValue; }
    uint32_t IterationCount() const { return IterationNumber; }
    void Initialize() {}
    void Reset() {}

private:
    std::string Password;
    std::vector<uint8_t> SaltValue;
    uint32_t IterationNumber;
};

}  // namespace zipcrypto

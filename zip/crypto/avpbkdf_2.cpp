#include "zip/crypto/avpbkdf_2.h"

#include <cstring>

#include "zip/crypto/avdecutil.h"
#include "zip/crypto/avkeyderiv.h"

namespace zipcrypto {

TPBKDF2::TPBKDF2(std::string Password, uint32_t SaltLength, uint32_t IterationNumber)
    : Password(std::move(Password)), SaltValue(SaltLength), IterationNumber(IterationNumber) {
    // Salts come from the system's generator over all 256 byte values: a
    // clock-seeded generator repeats salts, and equal salts under one
    // password give equal keystreams.
    RandomBytes(SaltValue.data(), SaltValue.size());
}

TPBKDF2::TPBKDF2(std::string Password, const void* Salt, uint32_t SaltLength, uint32_t IterationNumber)
    : Password(std::move(Password)), SaltValue(SaltLength), IterationNumber(IterationNumber) {
    if (SaltLength > 0) std::memcpy(SaltValue.data(), Salt, SaltLength);
}

TPBKDF2::~TPBKDF2() {
    WipeBytes(Password.data(), Password.size());
    WipeBytes(SaltValue.data(), SaltValue.size());
}

std::vector<uint8_t> TPBKDF2::GetKeyBytes(uint32_t Count) const {
    std::vector<uint8_t> key(Count);
    PBKDF2(Password.data(), Password.size(), SaltValue.data(), SaltValue.size(),
           static_cast<int32_t>(IterationNumber), key.data(), key.size());
    return key;
}

}  // namespace zipcrypto

#pragma once
// PBKDF2 with HMAC over any hash descriptor.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "zip/crypto/avhash.h"

namespace zipcrypto {

constexpr int kKdfOk = 0;
constexpr int kKdfNoDesc = 1;
constexpr int kKdfNoDigest = 2;

// Fills Output with the derived key. An iteration count of 0 or less gives
// zero bytes. Returns 0, or 1 without a usable descriptor, or 2 when its
// digest length is 0.
int kdf2(const THashDesc* Desc, const void* Password, size_t PasswordLength, const void* Salt,
         size_t SaltLength, int32_t Iterations, void* Output, size_t OutputLength);
int kdf2s(const THashDesc* Desc, std::string_view Password, const void* Salt, size_t SaltLength,
          int32_t Iterations, void* Output, size_t OutputLength);

}  // namespace zipcrypto

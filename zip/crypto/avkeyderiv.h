#pragma once
// PBKDF2 over HMAC-SHA1, the key derivation of AES entries.
#include <cstddef>
#include <cstdint>

#include "platform/rtl/exceptions.h"

namespace zipcrypto {

RTL_EXCEPTION_CLASS(EKeyDerivation, rtl::Exception);

// Raises EKeyDerivation "Runtime error 254" when SHA-1 is not registered.
void PBKDF2(const void* Password, size_t PasswordLength, const void* Salt, size_t SaltLength,
            int32_t Iterations, void* Output, size_t OutputLength);

}  // namespace zipcrypto

#include "zip/crypto/avkeyderiv.h"

#include "zip/crypto/avpb_kdf.h"

namespace zipcrypto {

void PBKDF2(const void* Password, size_t PasswordLength, const void* Salt, size_t SaltLength,
            int32_t Iterations, void* Output, size_t OutputLength) {
    if (kdf2(FindHash_by_ID(_SHA1), Password, PasswordLength, Salt, SaltLength, Iterations, Output,
             OutputLength) != kKdfOk)
        throw EKeyDerivation("Runtime error 254");
}

}  // namespace zipcrypto

#include "zip/crypto/avpb_kdf.h"

#include <algorithm>
#include <cstring>

#include "zip/crypto/avhmac.h"

namespace zipcrypto {

namespace {

void updateAll(THMAC_Context& c, const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const uint32_t piece = n > 0x40000000 ? 0x40000000 : static_cast<uint32_t>(n);
        hmac_updateXL(c, p, piece);
        p += piece;
        n -= piece;
    }
}

}  // namespace

int kdf2(const THashDesc* Desc, const void* Password, size_t PasswordLength, const void* Salt,
         size_t SaltLength, int32_t Iterations, void* Output, size_t OutputLength) {
    if (!IsValidHashDesc(Desc)) return kKdfNoDesc;
    const size_t dl = Desc->DigestLength;
    if (dl == 0) return kKdfNoDigest;
    auto* out = static_cast<uint8_t*>(Output);
    THMAC_Context keyed;  // the password's inner state, copied for every MAC
    hmac_init(keyed, Desc, Password, PasswordLength);
    THashDigest u, t;
    for (uint32_t block = 1; OutputLength > 0; ++block) {
        const uint8_t counter[4] = {uint8_t(block >> 24), uint8_t(block >> 16), uint8_t(block >> 8), uint8_t(block)};
        t.fill(0);
        for (int32_t j = 0; j < Iterations; ++j) {
            THMAC_Context c = keyed;
            if (j == 0) {
                updateAll(c, Salt, SaltLength);
                hmac_updateXL(c, counter, 4);
            } else {
                hmac_updateXL(c, u.data(), static_cast<uint32_t>(dl));
            }
            hmac_final(c, u);
            for (size_t k = 0; k < dl; ++k) t[k] ^= u[k];
        }
        const size_t take = std::min(dl, OutputLength);
        std::memcpy(out, t.data(), take);
        out += take;
        OutputLength -= take;
    }
    u.fill(0);
    t.fill(0);
    std::memset(&keyed, 0, sizeof keyed);
    return kKdfOk;
}

int kdf2s(const THashDesc* Desc, std::string_view Password, const void* Salt, size_t SaltLength,
          int32_t Iterations, void* Output, size_t OutputLength) {
    return kdf2(Desc, Password.data(), Password.size(), Salt, SaltLength, Iterations, Output, OutputLength);
}

}  // namespace zipcrypto

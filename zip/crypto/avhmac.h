#pragma once
// HMAC over any hash descriptor.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "zip/crypto/avhash.h"

namespace zipcrypto {

// A keyed context may be copied: each copy computes one MAC under the key.
struct THMAC_Context {
    THashContext HashContext;  // the inner hash, the key's inner pad absorbed
    THashContext Outer;        // the outer hash, the key's outer pad absorbed
    const THashDesc* Desc;
};

// A key longer than the block is replaced by its digest. An invalid
// descriptor leaves the context unusable: the calls below then do nothing.
void hmac_init(THMAC_Context& Context, const THashDesc* Desc, const void* Key, size_t KeyLength);
void hmac_inits(THMAC_Context& Context, const THashDesc* Desc, std::string_view Key);
void hmac_update(THMAC_Context& Context, const void* Data, uint16_t Length);
void hmac_updateXL(THMAC_Context& Context, const void* Data, uint32_t Length);
// The MAC in the front of Digest; the context is wiped.
void hmac_final(THMAC_Context& Context, THashDigest& Digest);

}  // namespace zipcrypto

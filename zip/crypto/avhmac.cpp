#include "zip/crypto/avhmac.h"

#include <cstring>

namespace zipcrypto {

namespace {

constexpr uint8_t kInnerPad = 0x36;
constexpr uint8_t kInnerToOuter = 0x36 ^ 0x5C;

bool usable(const THMAC_Context& c) {
    return IsValidHashDesc(c.Desc) && c.Desc->BlockLength <= sizeof c.Key && c.Desc->DigestLength <= 64;
}

// Feeds any length through the descriptor's 32-bit update.
void update(const THashDesc* d, THashContext& ctx, const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const uint32_t piece = n > 0x40000000 ? 0x40000000 : static_cast<uint32_t>(n);
        d->UpdateProc(ctx, p, piece);
        p += piece;
        n -= piece;
    }
}

}  // namespace

void hmac_init(THMAC_Context& Context, const THashDesc* Desc, const void* Key, size_t KeyLength) {
    std::memset(&Context, 0, sizeof Context);
    Context.Desc = Desc;
    if (!usable(Context)) {
        Context.Desc = nullptr;
        return;
    }
    const size_t block = Desc->BlockLength;
    if (KeyLength > block) {
        THashDigest d;
        Desc->InitProc(Context.HashContext);
        update(Desc, Context.HashContext, Key, KeyLength);
        Desc->FinalProc(Context.HashContext, d);
        std::memcpy(Context.Key, d.data(), Desc->DigestLength);
        d.fill(0);
    } else if (KeyLength > 0) {
        std::memcpy(Context.Key, Key, KeyLength);
    }
    for (size_t i = 0; i < block; ++i) Context.Key[i] ^= kInnerPad;
    Desc->InitProc(Context.HashContext);
    Desc->UpdateProc(Context.HashContext, Context.Key, static_cast<uint32_t>(block));
}

void hmac_inits(THMAC_Context& Context, const THashDesc* Desc, std::string_view Key) {
    hmac_init(Context, Desc, Key.data(), Key.size());
}

void hmac_updateXL(THMAC_Context& Context, const void* Data, uint32_t Length) {
    if (Context.Desc && Length > 0) Context.Desc->UpdateProc(Context.HashContext, Data, Length);
}

void hmac_update(THMAC_Context& Context, const void* Data, uint16_t Length) {
    hmac_updateXL(Context, Data, Length);
}

void hmac_final(THMAC_Context& Context, THashDigest& Digest) {
    const THashDesc* d = Context.Desc;
    if (!d) return;
    d->FinalProc(Context.HashContext, Digest);
    const uint32_t block = d->BlockLength;
    for (uint32_t i = 0; i < block; ++i) Context.Key[i] ^= kInnerToOuter;
    d->InitProc(Context.HashContext);
    d->UpdateProc(Context.HashContext, Context.Key, block);
    d->UpdateProc(Context.HashContext, Digest.data(), d->DigestLength);
    d->FinalProc(Context.HashContext, Digest);
    std::memset(&Context, 0, sizeof Context);
}

}  // namespace zipcrypto

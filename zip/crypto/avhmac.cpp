#include "zip/crypto/avhmac.h"

#include <cstring>

#include "zip/crypto/avdecutil.h"

namespace zipcrypto {

namespace {

constexpr uint8_t kInnerPad = 0x36;
constexpr uint8_t kInnerToOuter = 0x36 ^ 0x5C;

constexpr size_t kMaxBlock = 128;

bool usable(const THashDesc* d) {
    return IsValidHashDesc(d) && d->BlockLength <= kMaxBlock && d->DigestLength <= 64 &&
           d->DigestLength <= d->BlockLength;
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
    if (!usable(Desc)) return;
    Context.Desc = Desc;
    const size_t block = Desc->BlockLength;
    uint8_t key[kMaxBlock] = {};
    if (KeyLength > block) {
        THashDigest d;
        Desc->InitProc(Context.HashContext);
        update(Desc, Context.HashContext, Key, KeyLength);
        Desc->FinalProc(Context.HashContext, d);
        std::memcpy(key, d.data(), Desc->DigestLength);
        WipeBytes(d.data(), d.size());
    } else if (KeyLength > 0) {
        std::memcpy(key, Key, KeyLength);
    }
    for (size_t i = 0; i < block; ++i) key[i] ^= kInnerPad;
    Desc->InitProc(Context.HashContext);
    Desc->UpdateProc(Context.HashContext, key, static_cast<uint32_t>(block));
    for (size_t i = 0; i < block; ++i) key[i] ^= kInnerToOuter;
    Desc->InitProc(Context.Outer);
    Desc->UpdateProc(Context.Outer, key, static_cast<uint32_t>(block));
    WipeBytes(key, sizeof key);
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
    d->UpdateProc(Context.Outer, Digest.data(), d->DigestLength);
    d->FinalProc(Context.Outer, Digest);
    WipeBytes(&Context, sizeof Context);
}

}  // namespace zipcrypto

#include "zip/crypto/avsha1.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "zip/crypto/avdecutil.h"

namespace zipcrypto {

namespace {

uint32_t f1(uint32_t b, uint32_t c, uint32_t d) { return d ^ (b & (c ^ d)); }
uint32_t f2(uint32_t b, uint32_t c, uint32_t d) { return b ^ c ^ d; }
uint32_t f3(uint32_t b, uint32_t c, uint32_t d) { return (b & c) | (d & (b | c)); }

// One step; the caller rotates the names of the five words instead of moving them.
#define SHA1_STEP(a, b, c, d, e, f, k, i)                     \
    e += ROL(a, 5) + f(b, c, d) + (k) + schedule(w, i);      \
    b = ROL(b, 30);
#define SHA1_FIVE(f, k, i)                \
    SHA1_STEP(a, b, c, d, e, f, k, i)     \
    SHA1_STEP(e, a, b, c, d, f, k, i + 1) \
    SHA1_STEP(d, e, a, b, c, f, k, i + 2) \
    SHA1_STEP(c, d, e, a, b, f, k, i + 3) \
    SHA1_STEP(b, c, d, e, a, f, k, i + 4)

// The message schedule in a ring of 16 words.
uint32_t schedule(uint32_t w[16], int i) {
    if (i < 16) return w[i];
    return w[i & 15] = ROL(w[(i + 13) & 15] ^ w[(i + 8) & 15] ^ w[(i + 2) & 15] ^ w[i & 15], 1);
}

void compress(uint32_t h[5], const uint8_t* block) {
    uint32_t w[16];
    for (int i = 0; i < 16; ++i) w[i] = LoadBE32(block + 4 * i);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int i = 0; i < 20; i += 5) { SHA1_FIVE(f1, 0x5A827999, i) }
    for (int i = 20; i < 40; i += 5) { SHA1_FIVE(f2, 0x6ED9EBA1, i) }
    for (int i = 40; i < 60; i += 5) { SHA1_FIVE(f3, 0x8F1BBCDC, i) }
    for (int i = 60; i < 80; i += 5) { SHA1_FIVE(f2, 0xCA62C1D6, i) }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
}

#undef SHA1_FIVE
#undef SHA1_STEP

constexpr uint32_t kOID[] = {1, 3, 14, 3, 2, 26};

const THashDesc kDesc = {
    kHashDescSignature, kHashDescSize, kHashDescVersion, 64, 20, SHA1Init, SHA1FinalEx, SHA1UpdateXL,
    _SHA1,              "SHA1",        kOID,             6,
};

}  // namespace

const THashDesc& SHA1Desc() { return kDesc; }

void SHA1Init(THashContext& Context) {
    std::memset(&Context, 0, sizeof Context);
    static constexpr uint32_t kInit[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::memcpy(Context.Hash, kInit, sizeof kInit);
}

void SHA1UpdateXL(THashContext& Context, const void* Data, uint32_t Length) {
    if (Length == 0) return;
    const auto* in = static_cast<const uint8_t*>(Data);
    Context.BitLength += uint64_t(Length) * 8;
    if (Context.Index > 0) {
        const uint32_t take = std::min<uint32_t>(Length, 64 - Context.Index);
        std::memcpy(Context.Buffer + Context.Index, in, take);
        Context.Index += take;
        in += take;
        Length -= take;
        if (Context.Index < 64) return;
        compress(Context.Hash, Context.Buffer);
        Context.Index = 0;
    }
    for (; Length >= 64; in += 64, Length -= 64) compress(Context.Hash, in);
    if (Length > 0) std::memcpy(Context.Buffer, in, Length);
    Context.Index = Length;
}

void SHA1Update(THashContext& Context, const void* Data, uint16_t Length) {
    SHA1UpdateXL(Context, Data, Length);
}

void SHA1FinalEx(THashContext& Context, THashDigest& Digest) {
    Digest.fill(0);
    uint8_t* buf = Context.Buffer;
    uint32_t i = Context.Index;
    buf[i++] = 0x80;
    if (i > 56) {
        std::memset(buf + i, 0, 64 - i);
        compress(Context.Hash, buf);
        i = 0;
    }
    std::memset(buf + i, 0, 56 - i);
    StoreBE32(buf + 56, static_cast<uint32_t>(Context.BitLength >> 32));
    StoreBE32(buf + 60, static_cast<uint32_t>(Context.BitLength));
    compress(Context.Hash, buf);
    for (int w = 0; w < 5; ++w) StoreBE32(Digest.data() + 4 * w, Context.Hash[w]);
    std::memset(&Context, 0, sizeof Context);
}

void SHA1Final(THashContext& Context, TSHA1Digest& Digest) {
    THashDigest full;
    SHA1FinalEx(Context, full);
    std::copy_n(full.begin(), Digest.size(), Digest.begin());
}

void SHA1FullXL(TSHA1Digest& Digest, const void* Data, uint32_t Length) {
    THashContext ctx;
    SHA1Init(ctx);
    SHA1UpdateXL(ctx, Data, Length);
    SHA1Final(ctx, Digest);
}

void SHA1Full(TSHA1Digest& Digest, const void* Data, uint16_t Length) { SHA1FullXL(Digest, Data, Length); }

void SHA1File(const std::string& FileName, TSHA1Digest& Digest, void* Buffer, uint32_t BufferSize,
              int& Error) {
    THashDigest full;
    HashFile(FileName, &kDesc, full, Buffer, BufferSize, Error);
    if (Error == 0) std::copy_n(full.begin(), Digest.size(), Digest.begin());
}

bool SHA1SelfTest() {
    struct TCase {
        std::string_view Text;
        TSHA1Digest Expected;
    };
    static const TCase kCases[] = {
        {"abc",
         {0xA9, 0x99, 0x3E, 0x36, 0x47, 0x06, 0x81, 0x6A, 0xBA, 0x3E,
          0x25, 0x71, 0x78, 0x50, 0xC2, 0x6C, 0x9C, 0xD0, 0xD8, 0x9D}},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         {0x84, 0x98, 0x3E, 0x44, 0x1C, 0x3B, 0xD2, 0x6E, 0xBA, 0xAE,
          0x4A, 0xA1, 0xF9, 0x51, 0x29, 0xE5, 0xE5, 0x46, 0x70, 0xF1}},
    };
    for (const auto& c : kCases) {
        TSHA1Digest whole, bytewise;
        SHA1FullXL(whole, c.Text.data(), static_cast<uint32_t>(c.Text.size()));
        THashContext ctx;
        SHA1Init(ctx);
        for (char ch : c.Text) SHA1Update(ctx, &ch, 1);
        SHA1Final(ctx, bytewise);
        if (whole != c.Expected || bytewise != c.Expected) return false;
    }
    return true;
}

}  // namespace zipcrypto

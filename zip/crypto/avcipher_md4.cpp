// MD4, RIPEMD-128 and RIPEMD-256 over one block buffer and digest area.
#include <algorithm>
#include <bit>
#include <cstring>

#include "mail/evqmd4.h"
#include "zip/crypto/avcipher.h"

namespace zipcrypto {

// The digest is the area's words stored little-endian: as they lie in memory.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr uint32_t kMD4Init[10] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0,
                                   0x76543210, 0xFEDCBA98, 0x89ABCDEF, 0x01234567, 0x3C2D1E0F};
constexpr uint32_t kRipeMD256Init[10] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0x76543210,
                                         0xFEDCBA98, 0x89ABCDEF, 0x01234567, 0x01234567, 0x3C2D1E0F};

// RIPEMD's two lines: message word order, rotations, constants. The right
// line uses the round functions in reverse order.
constexpr int kWordL[64] = {0, 1, 2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                            7, 4, 13, 1,  10, 6,  15, 3,  12, 0,  9,  5,  2,  14, 11, 8,
                            3, 10, 14, 4, 9,  15, 8,  1,  2,  7,  0,  6,  13, 11, 5,  12,
                            1, 9, 11, 10, 0,  8,  12, 4,  13, 3,  7,  15, 14, 5,  6,  2};
constexpr int kWordR[64] = {5,  14, 7,  0, 9, 2,  11, 4,  13, 6,  15, 8,  1,  10, 3, 12,
                            6,  11, 3,  7, 0, 13, 5,  10, 14, 15, 8,  12, 4,  9,  1, 2,
                            15, 5,  1,  3, 7, 14, 6,  9,  11, 8,  12, 2,  10, 0,  4, 13,
                            8,  6,  4,  1, 3, 11, 15, 0,  5,  12, 2,  13, 9,  7,  10, 14};
constexpr int kRotL[64] = {11, 14, 15, 12, 5,  8,  7,  9,  11, 13, 14, 15, 6,  7,  9,  8,
                           7,  6,  8,  13, 11, 9,  7,  15, 7,  12, 15, 9,  11, 7,  13, 12,
                           11, 13, 6,  7,  14, 9,  13, 15, 14, 8,  13, 6,  5,  12, 7,  5,
                           11, 12, 14, 15, 14, 15, 9,  8,  9,  14, 5,  6,  8,  6,  5,  12};
constexpr int kRotR[64] = {8,  9,  9,  11, 13, 15, 15, 5,  7,  7,  8,  11, 14, 14, 12, 6,
                           9,  13, 15, 7,  12, 8,  9,  11, 7,  7,  12, 7,  6,  15, 13, 11,
                           9,  7,  15, 11, 8,  6,  6,  14, 12, 13, 5,  14, 13, 13, 7,  5,
                           15, 5,  8,  11, 14, 14, 6,  14, 6,  9,  12, 9,  12, 5,  15, 8};
constexpr uint32_t kConstL[4] = {0x00000000, 0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC};
constexpr uint32_t kConstR[4] = {0x50A28BE6, 0x5C4DD124, 0x6D703EF3, 0x00000000};

uint32_t ripeF(int round, uint32_t x, uint32_t y, uint32_t z) {
    switch (round) {
    case 0: return x ^ y ^ z;
    case 1: return (x & y) | (~x & z);
    case 2: return (x | ~y) ^ z;
    default: return (x & z) | (y & ~z);
    }
}

// One round (16 steps) of one line over the chaining words h[0..3].
void ripeRound(uint32_t h[4], const uint32_t x[16], int round, bool right) {
    const int fn = right ? 3 - round : round;
    const uint32_t k = right ? kConstR[round] : kConstL[round];
    const int* words = right ? kWordR : kWordL;
    const int* rots = right ? kRotR : kRotL;
    for (int i = 16 * round; i < 16 * round + 16; ++i) {
        const uint32_t t = ROL(h[0] + ripeF(fn, h[1], h[2], h[3]) + x[words[i]] + k, rots[i]);
        h[0] = h[3];
        h[3] = h[2];
        h[2] = h[1];
        h[1] = t;
    }
}

void loadBlock(uint32_t x[16], const uint8_t* block) {
    for (int i = 0; i < 16; ++i) x[i] = LoadLE32(block + 4 * i);
}

template <class T>
std::shared_ptr<THash> make() {
    return std::make_shared<T>();
}

const THashClassInfo kMD4 = {"THash_MD4", make<THash_MD4>, 16};
const THashClassInfo kRipeMD128 = {"THash_RipeMD128", make<THash_RipeMD128>, 16};
const THashClassInfo kRipeMD256 = {"THash_RipeMD256", make<THash_RipeMD256>, 32};

}  // namespace

THashClass THash_MD4::Class() { return &kMD4; }
THashClass THash_RipeMD128::Class() { return &kRipeMD128; }
THashClass THash_RipeMD256::Class() { return &kRipeMD256; }

const uint8_t* THash_MD4::TestVector() const { throw rtl::Exception("Not implemented 28"); }
const uint8_t* THash_RipeMD128::TestVector() const { throw rtl::Exception("Not implemented 30"); }
const uint8_t* THash_RipeMD256::TestVector() const { throw rtl::Exception("Not implemented 31"); }

THash_MD4::~THash_MD4() {
    WipeBytes(FDigest, sizeof FDigest);
    WipeBytes(FBuffer, sizeof FBuffer);
}

const uint32_t* THash_MD4::InitWords() const { return kMD4Init; }
const uint32_t* THash_RipeMD256::InitWords() const { return kRipeMD256Init; }

void THash_MD4::Init() {
    std::memset(FBuffer, 0, sizeof FBuffer);
    std::memcpy(FDigest, InitWords(), sizeof FDigest);
    FCount = 0;
    Protect(true);
}

void THash_MD4::Calc(const void* Buffer, int64_t Size) {
    if (Size <= 0) return;
    const auto* p = static_cast<const uint8_t*>(Buffer);
    const size_t held = FCount % 64;
    FCount += static_cast<uint64_t>(Size);
    size_t n = static_cast<size_t>(Size);
    if (held > 0) {
        const size_t take = std::min(n, 64 - held);
        std::memcpy(FBuffer + held, p, take);
        p += take;
        n -= take;
        if (held + take < 64) return;
        Transform(FBuffer);
    }
    for (; n >= 64; p += 64, n -= 64) Transform(p);
    if (n > 0) std::memcpy(FBuffer, p, n);
}

void THash_MD4::Done() {
    size_t i = FCount % 64;
    FBuffer[i++] = 0x80;
    if (i > 56) {
        std::memset(FBuffer + i, 0, 64 - i);
        Transform(FBuffer);
        i = 0;
    }
    std::memset(FBuffer + i, 0, 56 - i);
    const uint64_t bits = FCount * 8;
    for (int b = 0; b < 8; ++b) FBuffer[56 + b] = static_cast<uint8_t>(bits >> (8 * b));
    Transform(FBuffer);
    std::memset(FBuffer, 0, sizeof FBuffer);
    Protect(false);
}

void THash_MD4::Transform(const uint8_t* Block) { mail::MD4Transform(FDigest, Block); }

void THash_RipeMD128::Transform(const uint8_t* Block) {
    uint32_t x[16];
    loadBlock(x, Block);
    uint32_t l[4] = {FDigest[0], FDigest[1], FDigest[2], FDigest[3]};
    uint32_t r[4] = {FDigest[0], FDigest[1], FDigest[2], FDigest[3]};
    for (int round = 0; round < 4; ++round) {
        ripeRound(l, x, round, false);
        ripeRound(r, x, round, true);
    }
    const uint32_t t = FDigest[1] + l[2] + r[3];
    FDigest[1] = FDigest[2] + l[3] + r[0];
    FDigest[2] = FDigest[3] + l[0] + r[1];
    FDigest[3] = FDigest[0] + l[1] + r[2];
    FDigest[0] = t;
}

void THash_RipeMD256::Transform(const uint8_t* Block) {
    uint32_t x[16];
    loadBlock(x, Block);
    uint32_t l[4] = {FDigest[0], FDigest[1], FDigest[2], FDigest[3]};
    uint32_t r[4] = {FDigest[4], FDigest[5], FDigest[6], FDigest[7]};
    for (int round = 0; round < 4; ++round) {
        ripeRound(l, x, round, false);
        ripeRound(r, x, round, true);
        // After each round the lines exchange one chaining word: A, B, C, D in turn.
        std::swap(l[round], r[round]);
    }
    for (int i = 0; i < 4; ++i) {
        FDigest[i] += l[i];
        FDigest[4 + i] += r[i];
    }
}

}  // namespace zipcrypto

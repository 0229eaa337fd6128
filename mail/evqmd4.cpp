#include "mail/evqmd4.h"

#include <algorithm>
#include <cstring>

namespace mail {

namespace {

uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

uint32_t loadLE(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void storeLE(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void checkInitialized(const TMD4Context& c) {
    if (!c.Initialized) throw MD4Exception("MD4 not initialized");
}

uint32_t roundF(uint32_t b, uint32_t c, uint32_t d) { return (b & c) | (~b & d); }
uint32_t roundG(uint32_t b, uint32_t c, uint32_t d) { return (b & c) | (b & d) | (c & d); }
uint32_t roundH(uint32_t b, uint32_t c, uint32_t d) { return b ^ c ^ d; }

struct TRound {
    uint32_t (*Fn)(uint32_t, uint32_t, uint32_t);
    uint32_t K;
    int Order[16];  // message word of each step
    int Shift[4];
};

constexpr TRound kRounds[3] = {
    {roundF, 0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {3, 7, 11, 19}},
    {roundG, 0x5a827999, {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15}, {3, 5, 9, 13}},
    {roundH, 0x6ed9eba1, {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15}, {3, 9, 11, 15}},
};

}  // namespace

void MD4Burn(TMD4Context& Context) { std::memset(&Context, 0, sizeof(Context)); }

void MD4Init(TMD4Context& Context) {
    MD4Burn(Context);
    Context.State[0] = 0x67452301;
    Context.State[1] = 0xefcdab89;
    Context.State[2] = 0x98badcfe;
    Context.State[3] = 0x10325476;
    Context.Initialized = true;
}

void MD4Compress(TMD4Context& Context) { MD4Transform(Context.State, Context.Buffer); }

void MD4Transform(uint32_t State[4], const uint8_t Block[64]) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = loadLE(Block + 4 * i);
    uint32_t h[4] = {State[0], State[1], State[2], State[3]};
    for (const auto& r : kRounds) {
        for (int i = 0; i < 16; ++i) {
            // The steps update a, d, c, b in turn; the other three follow in order.
            const int j = (4 - i % 4) % 4;
            h[j] = rotl(h[j] + r.Fn(h[(j + 1) % 4], h[(j + 2) % 4], h[(j + 3) % 4]) + x[r.Order[i]] + r.K,
                        r.Shift[i % 4]);
        }
    }
    for (int i = 0; i < 4; ++i) State[i] += h[i];
}

void MD4Update(TMD4Context& Context, const void* Input, uint32_t Count) {
    checkInitialized(Context);
    const uint64_t bits = (uint64_t(Context.CountHi) << 32 | Context.CountLo) + uint64_t(Count) * 8;
    Context.CountHi = static_cast<uint32_t>(bits >> 32);
    Context.CountLo = static_cast<uint32_t>(bits);
    const auto* in = static_cast<const uint8_t*>(Input);
    while (Count > 0) {
        const uint32_t take = std::min<uint32_t>(Count, 64 - Context.Index);
        std::memcpy(Context.Buffer + Context.Index, in, take);
        Context.Index += take;
        in += take;
        Count -= take;
        if (Context.Index == 64) {
            MD4Compress(Context);
            Context.Index = 0;
        }
    }
}

void MD4UpdateStr(TMD4Context& Context, std::string_view S) {
    if (S.empty()) return;
    MD4Update(Context, S.data(), static_cast<uint32_t>(S.size()));
}

void MD4Final(TMD4Context& Context, TMD4Digest& Digest) {
    checkInitialized(Context);
    uint8_t length[8];
    storeLE(length, Context.CountLo);
    storeLE(length + 4, Context.CountHi);
    static constexpr uint8_t kPadding[64] = {0x80};
    const uint32_t held = Context.Index;
    MD4Update(Context, kPadding, held < 56 ? 56 - held : 120 - held);
    MD4Update(Context, length, 8);
    for (int i = 0; i < 4; ++i) storeLE(Digest.data() + 4 * i, Context.State[i]);
    MD4Burn(Context);
}

std::string MD4String(std::string_view S) {
    TMD4Context ctx;
    MD4Init(ctx);
    MD4UpdateStr(ctx, S);
    TMD4Digest d;
    MD4Final(ctx, d);
    return std::string(reinterpret_cast<const char*>(d.data()), d.size());
}

}  // namespace mail

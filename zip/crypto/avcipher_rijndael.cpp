// The Rijndael (AES) cipher: table-driven rounds over big-endian column
// words, or the processor's AES instructions where it has them.
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "zip/crypto/avcipher.h"

namespace zipcrypto {

namespace {

uint8_t xtime(uint8_t x) { return static_cast<uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1B : 0)); }

uint8_t gmul(uint8_t a, uint8_t b) {
    uint8_t r = 0;
    for (; b; b >>= 1, a = xtime(a))
        if (b & 1) r ^= a;
    return r;
}

uint32_t word(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    return uint32_t(a) << 24 | uint32_t(b) << 16 | uint32_t(c) << 8 | d;
}

// The S-box and the round tables, built once from the field arithmetic.
struct TTables {
    uint8_t S[256], Si[256];
    uint32_t Te[4][256], Td[4][256];

    TTables() {
        // S-box: the inverse in GF(2^8) followed by the affine map.
        uint8_t p = 1, q = 1;
        S[0] = 0x63;
        do {
            p = p ^ xtime(p);  // p *= 3
            q ^= q << 1;       // q /= 3
            q ^= q << 2;
            q ^= q << 4;
            if (q & 0x80) q ^= 0x09;
            const uint8_t x = q ^ uint8_t(q << 1 | q >> 7) ^ uint8_t(q << 2 | q >> 6) ^ uint8_t(q << 3 | q >> 5) ^
                              uint8_t(q << 4 | q >> 4);
            S[p] = x ^ 0x63;
        } while (p != 1);
        for (int i = 0; i < 256; ++i) Si[S[i]] = static_cast<uint8_t>(i);
        for (int i = 0; i < 256; ++i) {
            const uint8_t s = S[i], si = Si[i];
            Te[0][i] = word(gmul(s, 2), s, s, gmul(s, 3));
            Td[0][i] = word(gmul(si, 14), gmul(si, 9), gmul(si, 13), gmul(si, 11));
            for (int t = 1; t < 4; ++t) {
                Te[t][i] = ROR(Te[t - 1][i], 8);
                Td[t][i] = ROR(Td[t - 1][i], 8);
            }
        }
    }

    uint32_t SubWord(uint32_t w) const {
        return word(S[w >> 24], S[(w >> 16) & 0xFF], S[(w >> 8) & 0xFF], S[w & 0xFF]);
    }
    // InvMixColumns of one round-key column.
    uint32_t InvMix(uint32_t w) const {
        return Td[0][S[w >> 24]] ^ Td[1][S[(w >> 16) & 0xFF]] ^ Td[2][S[(w >> 8) & 0xFF]] ^ Td[3][S[w & 0xFF]];
    }
};

const TTables& tables() {
    static const TTables t;
    return t;
}

bool& hardwareAllowed() {
    static bool allowed = true;
    return allowed;
}

#if defined(__x86_64__)
bool hardwarePresent() {
    static const bool present = __builtin_cpu_supports("aes") && __builtin_cpu_supports("ssse3");
    return present;
}

// The schedule's words are numbers; the instructions take the round keys
// as bytes in order.
__attribute__((target("aes,ssse3"))) __m128i roundKey(const uint32_t* keys, int round) {
    const __m128i wordBytes = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(keys + 4 * round)), wordBytes);
}

__attribute__((target("aes,ssse3"))) void encodeHardware(const uint32_t* keys, int rounds, uint8_t* data) {
    __m128i b = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data)), roundKey(keys, 0));
    for (int r = 1; r < rounds; ++r) b = _mm_aesenc_si128(b, roundKey(keys, r));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(data), _mm_aesenclast_si128(b, roundKey(keys, rounds)));
}

// The equivalent inverse cipher: the keys from the last round to the first.
__attribute__((target("aes,ssse3"))) void decodeHardware(const uint32_t* keys, int rounds, uint8_t* data) {
    __m128i b = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data)), roundKey(keys, rounds));
    for (int r = rounds - 1; r > 0; --r) b = _mm_aesdec_si128(b, roundKey(keys, r));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(data), _mm_aesdeclast_si128(b, roundKey(keys, 0)));
}

// Four blocks at a time keep the instruction's pipeline full.
__attribute__((target("aes,ssse3"))) void encodeBlocksHardware(const uint32_t* keys, int rounds, uint8_t* data,
                                                               int count) {
    __m128i k[15];
    for (int r = 0; r <= rounds; ++r) k[r] = roundKey(keys, r);
    auto* p = reinterpret_cast<__m128i*>(data);
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        __m128i b0 = _mm_xor_si128(_mm_loadu_si128(p + i), k[0]);
        __m128i b1 = _mm_xor_si128(_mm_loadu_si128(p + i + 1), k[0]);
        __m128i b2 = _mm_xor_si128(_mm_loadu_si128(p + i + 2), k[0]);
        __m128i b3 = _mm_xor_si128(_mm_loadu_si128(p + i + 3), k[0]);
        for (int r = 1; r < rounds; ++r) {
            b0 = _mm_aesenc_si128(b0, k[r]);
            b1 = _mm_aesenc_si128(b1, k[r]);
            b2 = _mm_aesenc_si128(b2, k[r]);
            b3 = _mm_aesenc_si128(b3, k[r]);
        }
        _mm_storeu_si128(p + i, _mm_aesenclast_si128(b0, k[rounds]));
        _mm_storeu_si128(p + i + 1, _mm_aesenclast_si128(b1, k[rounds]));
        _mm_storeu_si128(p + i + 2, _mm_aesenclast_si128(b2, k[rounds]));
        _mm_storeu_si128(p + i + 3, _mm_aesenclast_si128(b3, k[rounds]));
    }
    for (; i < count; ++i) encodeHardware(keys, rounds, data + 16 * i);
    WipeBytes(k, sizeof k);
}
#else
bool hardwarePresent() { return false; }
void encodeHardware(const uint32_t*, int, uint8_t*) {}
void decodeHardware(const uint32_t*, int, uint8_t*) {}
void encodeBlocksHardware(const uint32_t*, int, uint8_t*, int) {}
#endif

std::shared_ptr<TCipher> makeRijndael() { return std::make_shared<TCipher_Rijndael>(); }

const TCipherClassInfo kRijndael = {"TCipher_Rijndael", makeRijndael, 16, 32, 480};

}  // namespace

TCipherClass TCipher_Rijndael::Class() { return &kRijndael; }

bool TCipher_Rijndael::HardwareAvailable() { return hardwarePresent(); }

void TCipher_Rijndael::AllowHardware(bool Allow) { hardwareAllowed() = Allow; }

const uint8_t* TCipher_Rijndael::TestVector() const { throw rtl::Exception("Not implemented 20"); }

uint32_t TCipher_Rijndael::SubWord(uint32_t Word) { return tables().SubWord(Word); }

void TCipher_Rijndael::ExpandKey(const uint8_t Key[32]) {
    const TTables& T = tables();
    const int nk = FRounds - 6;  // 4, 6 or 8 key words
    const int total = 4 * (FRounds + 1);
    uint32_t* w = EncKeys();
    for (int i = 0; i < nk; ++i) w[i] = LoadBE32(Key + 4 * i);
    uint32_t rcon = 1;
    for (int i = nk; i < total; ++i) {
        uint32_t t = w[i - 1];
        if (i % nk == 0) {
            t = T.SubWord((t << 8) | (t >> 24)) ^ (rcon << 24);
            rcon = xtime(static_cast<uint8_t>(rcon));
        } else if (nk > 6 && i % nk == 4) {
            t = T.SubWord(t);
        }
        w[i] = w[i - nk] ^ t;
    }
}

void TCipher_Rijndael::Init(const void* Key, int Size, const void* IV) {
    InitBegin(Size);
    FRounds = Size <= 16 ? 10 : Size <= 24 ? 12 : 14;
    uint8_t key[32] = {};
    if (Size > 0) std::memcpy(key, Key, static_cast<size_t>(Size));
    ExpandKey(key);
    // The equivalent inverse cipher's keys: the same round keys with
    // InvMixColumns applied to all but the first and the last.
    const int total = 4 * (FRounds + 1);
    const uint32_t* e = EncKeys();
    uint32_t* d = DecKeys();
    for (int i = 0; i < total; ++i) d[i] = (i < 4 || i >= total - 4) ? e[i] : tables().InvMix(e[i]);
    WipeBytes(key, sizeof key);
    FHardware = hardwareAllowed() && hardwarePresent();
    InitEnd(IV);
}

void TCipher_Rijndael::Encode(uint8_t* Data) {
    if (FHardware) return encodeHardware(EncKeys(), FRounds, Data);
    const TTables& T = tables();
    const uint32_t* rk = EncKeys();
    uint32_t s0 = LoadBE32(Data) ^ rk[0], s1 = LoadBE32(Data + 4) ^ rk[1], s2 = LoadBE32(Data + 8) ^ rk[2],
             s3 = LoadBE32(Data + 12) ^ rk[3];
    for (int r = 1; r < FRounds; ++r) {
        rk += 4;
        const uint32_t t0 = T.Te[0][s0 >> 24] ^ T.Te[1][(s1 >> 16) & 0xFF] ^ T.Te[2][(s2 >> 8) & 0xFF] ^ T.Te[3][s3 & 0xFF] ^ rk[0];
        const uint32_t t1 = T.Te[0][s1 >> 24] ^ T.Te[1][(s2 >> 16) & 0xFF] ^ T.Te[2][(s3 >> 8) & 0xFF] ^ T.Te[3][s0 & 0xFF] ^ rk[1];
        const uint32_t t2 = T.Te[0][s2 >> 24] ^ T.Te[1][(s3 >> 16) & 0xFF] ^ T.Te[2][(s0 >> 8) & 0xFF] ^ T.Te[3][s1 & 0xFF] ^ rk[2];
        const uint32_t t3 = T.Te[0][s3 >> 24] ^ T.Te[1][(s0 >> 16) & 0xFF] ^ T.Te[2][(s1 >> 8) & 0xFF] ^ T.Te[3][s2 & 0xFF] ^ rk[3];
        s0 = t0, s1 = t1, s2 = t2, s3 = t3;
    }
    rk += 4;
    const uint8_t* S = T.S;
    StoreBE32(Data, word(S[s0 >> 24], S[(s1 >> 16) & 0xFF], S[(s2 >> 8) & 0xFF], S[s3 & 0xFF]) ^ rk[0]);
    StoreBE32(Data + 4, word(S[s1 >> 24], S[(s2 >> 16) & 0xFF], S[(s3 >> 8) & 0xFF], S[s0 & 0xFF]) ^ rk[1]);
    StoreBE32(Data + 8, word(S[s2 >> 24], S[(s3 >> 16) & 0xFF], S[(s0 >> 8) & 0xFF], S[s1 & 0xFF]) ^ rk[2]);
    StoreBE32(Data + 12, word(S[s3 >> 24], S[(s0 >> 16) & 0xFF], S[(s1 >> 8) & 0xFF], S[s2 & 0xFF]) ^ rk[3]);
}

void TCipher_Rijndael::EncodeBlocks(uint8_t* Data, int Count) {
    if (FHardware) return encodeBlocksHardware(EncKeys(), FRounds, Data, Count);
    TCipher::EncodeBlocks(Data, Count);
}

void TCipher_Rijndael::Decode(uint8_t* Data) {
    if (FHardware) return decodeHardware(DecKeys(), FRounds, Data);
    const TTables& T = tables();
    // The round keys are taken from the last to the first.
    const uint32_t* rk = DecKeys() + 4 * FRounds;
    uint32_t s0 = LoadBE32(Data) ^ rk[0], s1 = LoadBE32(Data + 4) ^ rk[1], s2 = LoadBE32(Data + 8) ^ rk[2],
             s3 = LoadBE32(Data + 12) ^ rk[3];
    for (int r = 1; r < FRounds; ++r) {
        rk -= 4;
        const uint32_t t0 = T.Td[0][s0 >> 24] ^ T.Td[1][(s3 >> 16) & 0xFF] ^ T.Td[2][(s2 >> 8) & 0xFF] ^ T.Td[3][s1 & 0xFF] ^ rk[0];
        const uint32_t t1 = T.Td[0][s1 >> 24] ^ T.Td[1][(s0 >> 16) & 0xFF] ^ T.Td[2][(s3 >> 8) & 0xFF] ^ T.Td[3][s2 & 0xFF] ^ rk[1];
        const uint32_t t2 = T.Td[0][s2 >> 24] ^ T.Td[1][(s1 >> 16) & 0xFF] ^ T.Td[2][(s0 >> 8) & 0xFF] ^ T.Td[3][s3 & 0xFF] ^ rk[2];
        const uint32_t t3 = T.Td[0][s3 >> 24] ^ T.Td[1][(s2 >> 16) & 0xFF] ^ T.Td[2][(s1 >> 8) & 0xFF] ^ T.Td[3][s0 & 0xFF] ^ rk[3];
        s0 = t0, s1 = t1, s2 = t2, s3 = t3;
    }
    rk -= 4;
    const uint8_t* Si = T.Si;
    StoreBE32(Data, word(Si[s0 >> 24], Si[(s3 >> 16) & 0xFF], Si[(s2 >> 8) & 0xFF], Si[s1 & 0xFF]) ^ rk[0]);
    StoreBE32(Data + 4, word(Si[s1 >> 24], Si[(s0 >> 16) & 0xFF], Si[(s3 >> 8) & 0xFF], Si[s2 & 0xFF]) ^ rk[1]);
    StoreBE32(Data + 8, word(Si[s2 >> 24], Si[(s1 >> 16) & 0xFF], Si[(s0 >> 8) & 0xFF], Si[s3 & 0xFF]) ^ rk[2]);
    StoreBE32(Data + 12, word(Si[s3 >> 24], Si[(s2 >> 16) & 0xFF], Si[(s1 >> 8) & 0xFF], Si[s0 & 0xFF]) ^ rk[3]);
}

}  // namespace zipcrypto

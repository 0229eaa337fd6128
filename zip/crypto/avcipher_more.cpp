// The further block ciphers: the Rijndael variant, Blowfish, the DES family
// Twofish and Square.
#include "zip/crypto/avcipher_more.h"

#include <cstring>

#include "mail/evqdes.h"

namespace zipcrypto {

namespace {

[[noreturn]] void notImplemented(const char* text) { throw rtl::Exception(text); }

template <class T>
std::shared_ptr<TCipher> make() {
    return std::make_shared<T>();
}

const TCipherClassInfo kRijndaelAv = {"TCipher_RijndaelAv", make<TCipher_RijndaelAv>, 16, 32, 480};
const TCipherClassInfo kBlowfish = {"TCipher_Blowfish", make<TCipher_Blowfish>, 8, 56, 4168};
const TCipherClassInfo k1DES = {"TCipher_1DES", make<TCipher_1DES>, 8, 8, 256};
const TCipherClassInfo k3DES = {"TCipher_3DES", make<TCipher_3DES>, 8, 24, 768};
const TCipherClassInfo k3TDES = {"TCipher_3TDES", make<TCipher_3TDES>, 24, 24, 768};
const TCipherClassInfo kTwofish = {"TCipher_Twofish", make<TCipher_Twofish>, 16, 32, 4256};
const TCipherClassInfo kSquare = {"TCipher_Square", make<TCipher_Square>, 16, 16, 288};

// ---- The digits of pi, for Blowfish's initial tables

// A fixed-point number: word 0 is the integer part, the rest the fraction,
// most significant first.
using TBig = std::vector<uint32_t>;

void divSmall(TBig& x, uint32_t d) {
    uint64_t r = 0;
    for (uint32_t& w : x) {
        const uint64_t cur = (r << 32) | w;
        w = static_cast<uint32_t>(cur / d);
        r = cur % d;
    }
}

void mulSmall(TBig& x, uint32_t m) {
    uint64_t carry = 0;
    for (size_t i = x.size(); i-- > 0;) {
        const uint64_t p = uint64_t(x[i]) * m + carry;
        x[i] = static_cast<uint32_t>(p);
        carry = p >> 32;
    }
}

void addTo(TBig& a, const TBig& b, bool subtract) {
    uint64_t carry = 0;
    for (size_t i = a.size(); i-- > 0;) {
        if (subtract) {
            const uint64_t s = uint64_t(a[i]) - b[i] - carry;
            a[i] = static_cast<uint32_t>(s);
            carry = (s >> 32) ? 1 : 0;
        } else {
            const uint64_t s = uint64_t(a[i]) + b[i] + carry;
            a[i] = static_cast<uint32_t>(s);
            carry = s >> 32;
        }
    }
}

bool isZero(const TBig& x) {
    for (uint32_t w : x)
        if (w) return false;
    return true;
}

// arctan(1/m) by its series.
TBig arctanInverse(uint32_t m, size_t words) {
    TBig sum(words), term(words);
    term[0] = 1;
    divSmall(term, m);
    sum = term;
    for (uint32_t k = 1;; ++k) {
        divSmall(term, m * m);
        if (isZero(term)) break;
        TBig t = term;
        divSmall(t, 2 * k + 1);
        addTo(sum, t, k % 2 == 1);
    }
    return sum;
}

// The first Count 32-bit words of pi's fraction: 16 atan(1/5) - 4 atan(1/239).
std::vector<uint32_t> piFraction(size_t count) {
    const size_t words = count + 3;  // the integer part and two guard words
    TBig pi = arctanInverse(5, words);
    mulSmall(pi, 16);
    TBig t = arctanInverse(239, words);
    mulSmall(t, 4);
    addTo(pi, t, true);
    return std::vector<uint32_t>(pi.begin() + 1, pi.begin() + 1 + static_cast<ptrdiff_t>(count));
}

constexpr int kBlowfishP = 18;
constexpr int kBlowfishWords = kBlowfishP + 4 * 256;

// The P-array and the four S-boxes, in that order, from the digits of pi.
const std::vector<uint32_t>& blowfishInitial() {
    static const std::vector<uint32_t> t = piFraction(kBlowfishWords);
    return t;
}

// ---- Twofish's fixed permutations and matrices

// q0 and q1, each built from four 4-bit tables.
constexpr uint8_t kQT[2][4][16] = {
    {{0x8, 0x1, 0x7, 0xD, 0x6, 0xF, 0x3, 0x2, 0x0, 0xB, 0x5, 0x9, 0xE, 0xC, 0xA, 0x4},
     {0xE, 0xC, 0xB, 0x8, 0x1, 0x2, 0x3, 0x5, 0xF, 0x4, 0xA, 0x6, 0x7, 0x0, 0x9, 0xD},
     {0xB, 0xA, 0x5, 0xE, 0x6, 0xD, 0x9, 0x0, 0xC, 0x8, 0xF, 0x3, 0x2, 0x4, 0x7, 0x1},
     {0xD, 0x7, 0xF, 0x4, 0x1, 0x2, 0x6, 0xE, 0x9, 0xB, 0x3, 0x0, 0x8, 0x5, 0xC, 0xA}},
    {{0x2, 0x8, 0xB, 0xD, 0xF, 0x7, 0x6, 0xE, 0x3, 0x1, 0x9, 0x4, 0x0, 0xA, 0xC, 0x5},
     {0x1, 0xE, 0x2, 0xB, 0x4, 0xC, 0x3, 0x7, 0x6, 0xD, 0xA, 0x5, 0xF, 0x9, 0x0, 0x8},
     {0x4, 0xC, 0x7, 0x5, 0x1, 0x6, 0x9, 0xA, 0x0, 0xE, 0xD, 0x8, 0x2, 0xB, 0x3, 0xF},
     {0xB, 0x9, 0x5, 0x1, 0xC, 0x3, 0xD, 0xE, 0x6, 0x4, 0x7, 0xF, 0x2, 0x0, 0x8, 0xA}},
};

uint8_t ror4(uint8_t x, int n) { return static_cast<uint8_t>(((x >> n) | (x << (4 - n))) & 0xF); }

uint8_t qPermute(int which, uint8_t x) {
    const auto& t = kQT[which];
    uint8_t a = x >> 4, b = x & 0xF;
    uint8_t a1 = a ^ b, b1 = a ^ ror4(b, 1) ^ static_cast<uint8_t>((a << 3) & 0xF);
    a = t[0][a1], b = t[1][b1];
    const uint8_t a2 = a ^ b, b2 = a ^ ror4(b, 1) ^ static_cast<uint8_t>((a << 3) & 0xF);
    return static_cast<uint8_t>(t[3][b2] << 4 | t[2][a2]);
}

uint8_t gfMul(uint8_t a, uint8_t b, uint16_t poly) {
    uint16_t r = 0, x = a;
    for (; b; b >>= 1) {
        if (b & 1) r ^= x;
        x <<= 1;
        if (x & 0x100) x ^= poly;
    }
    return static_cast<uint8_t>(r);
}

constexpr uint8_t kMDS[4][4] = {
    {0x01, 0xEF, 0x5B, 0x5B}, {0x5B, 0xEF, 0xEF, 0x01}, {0xEF, 0x5B, 0x01, 0xEF}, {0xEF, 0x01, 0xEF, 0x5B}};
constexpr uint8_t kRS[4][8] = {{0x01, 0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E},
                               {0xA4, 0x56, 0x82, 0xF3, 0x1E, 0xC6, 0x68, 0xE5},
                               {0x02, 0xA1, 0xFC, 0xC1, 0x47, 0xAE, 0x3D, 0x19},
                               {0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E, 0x03}};

struct TTwofishTables {
    uint8_t Q[2][256];
    uint32_t MDS[4][256];  // column i of the MDS matrix times a byte
    TTwofishTables() {
        for (int x = 0; x < 256; ++x) {
            Q[0][x] = qPermute(0, static_cast<uint8_t>(x));
            Q[1][x] = qPermute(1, static_cast<uint8_t>(x));
        }
        for (int col = 0; col < 4; ++col)
            for (int x = 0; x < 256; ++x) {
                uint32_t w = 0;
                for (int row = 0; row < 4; ++row)
                    w |= uint32_t(gfMul(kMDS[row][col], static_cast<uint8_t>(x), 0x169)) << (8 * row);
                MDS[col][x] = w;
            }
    }
};

const TTwofishTables& twofish() {
    static const TTwofishTables t;
    return t;
}

// The q permutations each byte of h passes through, per key word, by byte.
// Index 0: the last permutation; index n: the one before XOR with key word n - 1.
constexpr int kQOrder[5][4] = {{1, 0, 1, 0}, {0, 0, 1, 1}, {0, 1, 0, 1}, {1, 1, 0, 0}, {1, 0, 0, 1}};

// Twofish's h: the byte X of each lane through the q permutations and the
// key words L (k of them, last first), then the MDS column of that lane.
uint32_t twofishH(int lane, uint8_t x, const uint32_t* l, int k) {
    const TTwofishTables& T = twofish();
    uint8_t y = x;
    for (int stage = k; stage >= 1; --stage) {
        y = T.Q[kQOrder[stage][lane]][y] ^ static_cast<uint8_t>(l[stage - 1] >> (8 * lane));
    }
    y = T.Q[kQOrder[0][lane]][y];
    return T.MDS[lane][y];
}

uint32_t twofishHWord(uint32_t x, const uint32_t* l, int k) {
    uint32_t r = 0;
    for (int lane = 0; lane < 4; ++lane) r ^= twofishH(lane, static_cast<uint8_t>(x >> (8 * lane)), l, k);
    return r;
}

}  // namespace

TCipherClass TCipher_RijndaelAv::Class() { return &kRijndaelAv; }
TCipherClass TCipher_Blowfish::Class() { return &kBlowfish; }
TCipherClass TCipher_1DES::Class() { return &k1DES; }
TCipherClass TCipher_3DES::Class() { return &k3DES; }
TCipherClass TCipher_3TDES::Class() { return &k3TDES; }
TCipherClass TCipher_Twofish::Class() { return &kTwofish; }
TCipherClass TCipher_Square::Class() { return &kSquare; }

const uint8_t* TCipher_Blowfish::TestVector() const { notImplemented("NOTSRCCOPY implemented 21"); }
const uint8_t* TCipher_1DES::TestVector() const { notImplemented("Not implemented 22"); }
const uint8_t* TCipher_3DES::TestVector() const { notImplemented("Not implemented 24"); }
const uint8_t* TCipher_3TDES::TestVector() const { notImplemented("Not implemented 25"); }
const uint8_t* TCipher_Twofish::TestVector() const { notImplemented("Not implemented 26"); }
const uint8_t* TCipher_Square::TestVector() const { notImplemented("Not implemented 27"); }

// ---- TCipher_RijndaelAv

void TCipher_RijndaelAv::ExpandKey(const uint8_t Key[32]) {
    if (FRounds < 14) {
        TCipher_Rijndael::ExpandKey(Key);
        return;
    }
    // Groups of 8 words; the last group is cut at the 60 words 14 rounds use.
    uint32_t w[64];
    for (int i = 0; i < 8; ++i) w[i] = LoadBE32(Key + 4 * i);
    uint32_t rcon = 1;
    for (int g = 8; g < 64; g += 8) {
        const uint32_t last = w[g - 1];
        w[g] = w[g - 8] ^ SubWord((last << 8) | (last >> 24)) ^ (rcon << 24);
        rcon = (rcon << 1) ^ ((rcon & 0x80) ? 0x1B : 0);
        for (int j = 1; j < 8; ++j) w[g + j] = w[g + j - 8] ^ w[g + j - 1];
        w[g + 4] ^= SubWord(w[g + 3]);
        for (int j = 5; j < 8; ++j) w[g + j] ^= w[g + j - 1];
    }
    std::memcpy(EncKeys(), w, 60 * sizeof(uint32_t));
    WipeBytes(w, sizeof w);
}

// ---- TCipher_Blowfish

void TCipher_Blowfish::encrypt(uint32_t& l, uint32_t& r) const {
    const uint32_t* p = const_cast<TCipher_Blowfish*>(this)->Schedule();
    const uint32_t* s = p + kBlowfishP;
    for (int i = 0; i < 16; ++i) {
        l ^= p[i];
        r ^= ((s[l >> 24] + s[256 + ((l >> 16) & 0xFF)]) ^ s[512 + ((l >> 8) & 0xFF)]) + s[768 + (l & 0xFF)];
        std::swap(l, r);
    }
    std::swap(l, r);
    r ^= p[16];
    l ^= p[17];
}

void TCipher_Blowfish::Init(const void* Key, int Size, const void* IV) {
    InitBegin(Size);
    uint32_t* p = Schedule();
    const std::vector<uint32_t>& initial = blowfishInitial();
    std::copy(initial.begin(), initial.end(), p);
    const auto* key = static_cast<const uint8_t*>(Key);
    if (Size > 0) {
        for (int i = 0, at = 0; i < kBlowfishP; ++i) {
            uint32_t k = 0;
            for (int b = 0; b < 4; ++b, at = (at + 1) % Size) k = (k << 8) | key[at];
            p[i] ^= k;
        }
    }
    uint32_t l = 0, r = 0;
    for (int i = 0; i < kBlowfishWords; i += 2) {
        encrypt(l, r);
        p[i] = l;
        p[i + 1] = r;
    }
    InitEnd(IV);
}

void TCipher_Blowfish::Encode(uint8_t* Data) {
    uint32_t l = LoadBE32(Data), r = LoadBE32(Data + 4);
    encrypt(l, r);
    StoreBE32(Data, l);
    StoreBE32(Data + 4, r);
}

void TCipher_Blowfish::Decode(uint8_t* Data) {
    const uint32_t* p = Schedule();
    const uint32_t* s = p + kBlowfishP;
    uint32_t l = LoadBE32(Data), r = LoadBE32(Data + 4);
    for (int i = 17; i > 1; --i) {
        l ^= p[i];
        r ^= ((s[l >> 24] + s[256 + ((l >> 16) & 0xFF)]) ^ s[512 + ((l >> 8) & 0xFF)]) + s[768 + (l & 0xFF)];
        std::swap(l, r);
    }
    std::swap(l, r);
    r ^= p[1];
    l ^= p[0];
    StoreBE32(Data, l);
    StoreBE32(Data + 4, r);
}

// ---- The DES family, over the DES of the NTLM responses. The schedule
// area holds prepared DES key schedules of 32 words each.

void TCipher_1DES::MakeKey(const uint8_t Key[8], bool Reverse, uint32_t* Schedule) {
    mail::DESKeySchedule(Key, Reverse, Schedule);
}

void TCipher_1DES::desBlock(uint8_t* Data, int Index) {
    uint8_t out[8];
    mail::DESBlock(Data, out, Schedule() + 32 * Index);
    std::memcpy(Data, out, 8);
}

void TCipher_1DES::Init(const void* Key, int Size, const void* IV) {
    InitBegin(Size);
    uint8_t key[8] = {};
    if (Size > 0) std::memcpy(key, Key, static_cast<size_t>(Size));
    MakeKey(key, false, Schedule());
    MakeKey(key, true, Schedule() + 32);
    WipeBytes(key, sizeof key);
    InitEnd(IV);
}

void TCipher_1DES::Encode(uint8_t* Data) { desBlock(Data, 0); }
void TCipher_1DES::Decode(uint8_t* Data) { desBlock(Data, 1); }

void TCipher_3DES::Init(const void* Key, int Size, const void* IV) {
    InitBegin(Size);
    // A shorter key is zero-padded: a 16-byte key gets a zero K3, not K1
    // as two-key triple DES would have it.
    uint8_t key[24] = {};
    if (Size > 0) std::memcpy(key, Key, static_cast<size_t>(Size));
    const struct {
        int part;
        bool reverse;
    } order[] = {{0, false}, {1, true}, {2, false}, {2, true}, {1, false}, {0, true}};
    for (int i = 0; i < 6; ++i) MakeKey(key + 8 * order[i].part, order[i].reverse, Schedule() + 32 * i);
    WipeBytes(key, sizeof key);
    InitEnd(IV);
}

void TCipher_3DES::Encode(uint8_t* Data) {
    for (int i : {0, 1, 2}) desBlock(Data, i);
}

void TCipher_3DES::Decode(uint8_t* Data) {
    for (int i : {3, 4, 5}) desBlock(Data, i);
}

namespace {

// Exchanges words 1 and 2, and 3 and 4, of a 24-byte block.
void exchangeWords(uint8_t* d) {
    uint8_t t[4];
    for (int a : {4, 12}) {
        std::memcpy(t, d + a, 4);
        std::memcpy(d + a, d + a + 4, 4);
        std::memcpy(d + a + 4, t, 4);
    }
}

}  // namespace

// Each pass runs one schedule over the three blocks: 0, 1, 2 to encode and
// 3, 4, 5 to decode, with the same word exchange between passes.
void TCipher_3TDES::Encode(uint8_t* Data) {
    for (int p = 0; p < 3; ++p) {
        if (p > 0) exchangeWords(Data);
        for (int b = 0; b < 3; ++b) desBlock(Data + 8 * b, p);
    }
}

void TCipher_3TDES::Decode(uint8_t* Data) {
    for (int p = 0; p < 3; ++p) {
        if (p > 0) exchangeWords(Data);
        for (int b = 0; b < 3; ++b) desBlock(Data + 8 * b, 3 + p);
    }
}

// ---- TCipher_Twofish: 40 round-key words, then four key-dependent
// tables of 256 words (the S-boxes with the MDS matrix folded in).

void TCipher_Twofish::Init(const void* Key, int Size, const void* IV) {
    InitBegin(Size);
    uint8_t key[32] = {};
    if (Size > 0) std::memcpy(key, Key, static_cast<size_t>(Size));
    const int k = Size == 16 ? 2 : Size == 24 ? 3 : 4;  // 64-bit key words
    uint32_t me[4], mo[4], s[4];
    for (int i = 0; i < k; ++i) {
        me[i] = LoadLE32(key + 8 * i);
        mo[i] = LoadLE32(key + 8 * i + 4);
        // The S-box key words: the Reed-Solomon code of each 8 key bytes,
        // used in reverse order.
        uint32_t w = 0;
        for (int row = 0; row < 4; ++row) {
            uint8_t v = 0;
            for (int col = 0; col < 8; ++col) v ^= gfMul(kRS[row][col], key[8 * i + col], 0x14D);
            w |= uint32_t(v) << (8 * row);
        }
        s[k - 1 - i] = w;
    }
    uint32_t* sk = Schedule();
    constexpr uint32_t rho = 0x01010101;
    for (int i = 0; i < 20; ++i) {
        const uint32_t a = twofishHWord(2 * i * rho, me, k);
        const uint32_t b = ROL(twofishHWord((2 * i + 1) * rho, mo, k), 8);
        sk[2 * i] = a + b;
        sk[2 * i + 1] = ROL(a + 2 * b, 9);
    }
    uint32_t* tables = sk + 40;
    for (int lane = 0; lane < 4; ++lane)
        for (int x = 0; x < 256; ++x) tables[256 * lane + x] = twofishH(lane, static_cast<uint8_t>(x), s, k);
    WipeBytes(key, sizeof key);
    WipeBytes(me, sizeof me);
    WipeBytes(mo, sizeof mo);
    WipeBytes(s, sizeof s);
    InitEnd(IV);
}

namespace {

uint32_t twofishG(const uint32_t* t, uint32_t x) {
    return t[x & 0xFF] ^ t[256 + ((x >> 8) & 0xFF)] ^ t[512 + ((x >> 16) & 0xFF)] ^ t[768 + (x >> 24)];
}

}  // namespace

void TCipher_Twofish::Encode(uint8_t* Data) {
    const uint32_t* sk = Schedule();
    const uint32_t* t = sk + 40;
    uint32_t r[4];
    for (int i = 0; i < 4; ++i) r[i] = LoadLE32(Data + 4 * i) ^ sk[i];
    for (int round = 0; round < 16; ++round) {
        const uint32_t t0 = twofishG(t, r[0]);
        const uint32_t t1 = twofishG(t, ROL(r[1], 8));
        r[2] = ROR(r[2] ^ (t0 + t1 + sk[8 + 2 * round]), 1);
        r[3] = ROL(r[3], 1) ^ (t0 + 2 * t1 + sk[9 + 2 * round]);
        std::swap(r[0], r[2]);
        std::swap(r[1], r[3]);
    }
    // Undo the last exchange while whitening.
    StoreLE32(Data, r[2] ^ sk[4]);
    StoreLE32(Data + 4, r[3] ^ sk[5]);
    StoreLE32(Data + 8, r[0] ^ sk[6]);
    StoreLE32(Data + 12, r[1] ^ sk[7]);
}

void TCipher_Twofish::Decode(uint8_t* Data) {
    const uint32_t* sk = Schedule();
    const uint32_t* t = sk + 40;
    uint32_t r[4];
    r[2] = LoadLE32(Data) ^ sk[4];
    r[3] = LoadLE32(Data + 4) ^ sk[5];
    r[0] = LoadLE32(Data + 8) ^ sk[6];
    r[1] = LoadLE32(Data + 12) ^ sk[7];
    for (int round = 15; round >= 0; --round) {
        std::swap(r[0], r[2]);
        std::swap(r[1], r[3]);
        const uint32_t t0 = twofishG(t, r[0]);
        const uint32_t t1 = twofishG(t, ROL(r[1], 8));
        r[2] = ROL(r[2], 1) ^ (t0 + t1 + sk[8 + 2 * round]);
        r[3] = ROR(r[3] ^ (t0 + 2 * t1 + sk[9 + 2 * round]), 1);
    }
    for (int i = 0; i < 4; ++i) StoreLE32(Data + 4 * i, r[i] ^ sk[i]);
}

// ---- TCipher_Square. The block is four rows of four bytes; a round is
// theta (each row times a fixed polynomial), gamma (the S-box), pi (the
// transposition) and the key. Theta is folded into the round keys, so the
// encryption keys are theta(k0) ... theta(k7), k8 and the decryption keys
// k8, k7 ... k1, theta(k0).

namespace {

constexpr uint16_t kSquarePoly = 0x1F5;
constexpr uint8_t kTheta[4] = {2, 1, 1, 3};
constexpr uint8_t kThetaInverse[4] = {14, 9, 13, 11};
// The S-box is an affine map of the inverse in GF(2^8): its matrix by columns, and its constant.
constexpr uint8_t kSquareAffine[8] = {0x7F, 0xDA, 0xBC, 0x78, 0xF0, 0x60, 0xC0, 0x80};
constexpr uint8_t kSquareAffineConstant = 0xB1;

struct TSquareTables {
    uint8_t S[256], Si[256];
    uint8_t Mul[4][256], MulInverse[4][256];  // by the coefficients of theta and its inverse
    TSquareTables() {
        for (int x = 0; x < 256; ++x) {
            uint8_t inverse = 0;
            for (int y = 1; x && y < 256 && !inverse; ++y)
                if (gfMul(static_cast<uint8_t>(x), static_cast<uint8_t>(y), kSquarePoly) == 1)
                    inverse = static_cast<uint8_t>(y);
            uint8_t s = kSquareAffineConstant;
            for (int b = 0; b < 8; ++b)
                if (inverse >> b & 1) s ^= kSquareAffine[b];
            S[x] = s;
            Si[s] = static_cast<uint8_t>(x);
            for (int k = 0; k < 4; ++k) {
                Mul[k][x] = gfMul(kTheta[k], static_cast<uint8_t>(x), kSquarePoly);
                MulInverse[k][x] = gfMul(kThetaInverse[k], static_cast<uint8_t>(x), kSquarePoly);
            }
        }
    }
};

const TSquareTables& square() {
    static const TSquareTables t;
    return t;
}

// Each row times the polynomial whose products Mul holds, modulo x^4 + 1.
void squareTheta(uint8_t* st, const uint8_t (*mul)[256]) {
    for (int row = 0; row < 16; row += 4) {
        uint8_t out[4];
        for (int j = 0; j < 4; ++j)
            out[j] = mul[j][st[row]] ^ mul[(j + 3) & 3][st[row + 1]] ^ mul[(j + 2) & 3][st[row + 2]] ^
                     mul[(j + 1) & 3][st[row + 3]];
        std::memcpy(st + row, out, 4);
    }
}

void squareSubstitute(uint8_t* st, const uint8_t* box) {
    for (int i = 0; i < 16; ++i) st[i] = box[st[i]];
}

void squareTranspose(uint8_t* st) {
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j) std::swap(st[4 * i + j], st[4 * j + i]);
}

void squareAddKey(uint8_t* st, const uint32_t* key) {
    for (int i = 0; i < 4; ++i) StoreLE32(st + 4 * i, LoadLE32(st + 4 * i) ^ key[i]);
}

void squareKeyToWords(const uint8_t* st, uint32_t* key) {
    for (int i = 0; i < 4; ++i) key[i] = LoadLE32(st + 4 * i);
}

}  // namespace

void TCipher_Square::Init(const void* Key, int Size, const void* IV) {
    InitBegin(Size);
    const TSquareTables& T = square();
    uint32_t k[9][4] = {};
    uint8_t key[16] = {};
    if (Size > 0) std::memcpy(key, Key, static_cast<size_t>(Size));
    squareKeyToWords(key, k[0]);
    for (int t = 1; t <= 8; ++t) {
        // The last row rotated by one byte towards the front (right, as a
        // little-endian word), with the round constant 2^(t-1) in its first byte.
        k[t][0] = k[t - 1][0] ^ ROR(k[t - 1][3], 8) ^ (1u << (t - 1));
        for (int i = 1; i < 4; ++i) k[t][i] = k[t - 1][i] ^ k[t][i - 1];
    }
    uint32_t* enc = Schedule();
    uint32_t* dec = Schedule() + 36;
    for (int t = 0; t <= 8; ++t) {
        uint8_t st[16];
        for (int i = 0; i < 4; ++i) StoreLE32(st + 4 * i, k[t][i]);
        if (t < 8) squareTheta(st, T.Mul);
        squareKeyToWords(st, enc + 4 * t);
        std::memcpy(dec + 4 * (8 - t), t == 0 ? enc : k[t], 16);
        WipeBytes(st, sizeof st);
    }
    WipeBytes(k, sizeof k);
    WipeBytes(key, sizeof key);
    InitEnd(IV);
}

void TCipher_Square::Encode(uint8_t* Data) {
    const TSquareTables& T = square();
    const uint32_t* key = Schedule();
    squareAddKey(Data, key);
    for (int t = 1; t <= 8; ++t) {
        squareSubstitute(Data, T.S);
        squareTranspose(Data);
        if (t < 8) squareTheta(Data, T.Mul);
        squareAddKey(Data, key + 4 * t);
    }
}

void TCipher_Square::Decode(uint8_t* Data) {
    const TSquareTables& T = square();
    const uint32_t* key = Schedule() + 36;
    squareAddKey(Data, key);
    squareTranspose(Data);
    squareSubstitute(Data, T.Si);
    for (int i = 1; i < 8; ++i) {
        squareTheta(Data, T.MulInverse);
        squareAddKey(Data, key + 4 * i);
        squareTranspose(Data);
        squareSubstitute(Data, T.Si);
    }
    squareAddKey(Data, key + 32);
}

}  // namespace zipcrypto

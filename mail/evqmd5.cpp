#include "mail/evqmd5.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/fileio.h"
#include "platform/rtl/sysutils.h"

namespace mail {

namespace {

constexpr uint32_t kShift[64] = {
    7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
    5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
    4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
    6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21,
};

// floor(abs(sin(i + 1)) * 2^32)
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

constexpr size_t kUpdatePiece = 16384;
constexpr size_t kFileBlock = 102400;

uint32_t rotl(uint32_t x, uint32_t n) { return (x << n) | (x >> (32 - n)); }

uint32_t loadLE(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void storeLE(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void addBytes(TMD5Context& c, const uint8_t* in, size_t n) {
    size_t held = (c.Count[0] >> 3) & 0x3F;
    const uint64_t bits = (uint64_t(c.Count[1]) << 32 | c.Count[0]) + uint64_t(n) * 8;
    c.Count[0] = static_cast<uint32_t>(bits);
    c.Count[1] = static_cast<uint32_t>(bits >> 32);
    while (n > 0) {
        const size_t take = std::min(n, 64 - held);
        std::memcpy(c.Buffer + held, in, take);
        held += take;
        in += take;
        n -= take;
        if (held == 64) {
            MD5Transform(c.State, c.Buffer);
            held = 0;
        }
    }
}

std::string toHex(const uint8_t* p, size_t n) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        s += kHex[p[i] >> 4];
        s += kHex[p[i] & 0x0F];
    }
    return s;
}

// A regular file only: a pipe would keep the digest waiting for ever.
int openForReading(const std::string& fileName) {
    rtl::TFileFailure why;
    struct stat st {};
    const int fd = rtl::OpenRegularRead(fileName, st, why);
    if (fd < 0) throw rtl::EInOutError("Cannot open file \"" + fileName + "\". " + why.Text());
    return fd;
}

}  // namespace

// The digest of A followed by B.
static TMD5Digest md5Of(std::string_view a, std::string_view b = {}) {
    TMD5Context ctx;
    MD5Init(ctx);
    MD5UpdateBuffer(ctx, a.data(), a.size());
    MD5UpdateBuffer(ctx, b.data(), b.size());
    TMD5Digest d;
    MD5Final(d, ctx);
    return d;
}

void MD5Init(TMD5Context& Context) {
    std::memset(&Context, 0, sizeof(Context));
    Context.State[0] = 0x67452301;
    Context.State[1] = 0xefcdab89;
    Context.State[2] = 0x98badcfe;
    Context.State[3] = 0x10325476;
}

void MD5Update(TMD5Context& Context, const void* Input, int32_t Count) {
    if (Count > 0) addBytes(Context, static_cast<const uint8_t*>(Input), static_cast<size_t>(Count));
}

void MD5Final(TMD5Digest& Digest, TMD5Context& Context) {
    uint8_t length[8];
    storeLE(length, Context.Count[0]);
    storeLE(length + 4, Context.Count[1]);
    const size_t held = (Context.Count[0] >> 3) & 0x3F;
    static constexpr uint8_t kPadding[64] = {0x80};
    addBytes(Context, kPadding, held < 56 ? 56 - held : 120 - held);
    addBytes(Context, length, 8);
    for (int i = 0; i < 4; ++i) storeLE(Digest.data() + 4 * i, Context.State[i]);
    std::memset(&Context, 0, sizeof(Context));
}

void MD5Transform(uint32_t State[4], const uint8_t Block[64]) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = loadLE(Block + 4 * i);
    uint32_t a = State[0], b = State[1], c = State[2], d = State[3];
    for (int i = 0; i < 64; ++i) {
        uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (b & d) | (c & ~d);
            g = (5 * i + 1) & 15;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) & 15;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) & 15;
        }
        const uint32_t t = d;
        d = c;
        c = b;
        b = b + rotl(a + f + kSine[i] + x[g], kShift[i]);
        a = t;
    }
    State[0] += a;
    State[1] += b;
    State[2] += c;
    State[3] += d;
}

void MD5UpdateBuffer(TMD5Context& Context, const void* Buffer, size_t Size) {
    const auto* p = static_cast<const uint8_t*>(Buffer);
    while (Size > 0) {
        const size_t n = std::min(Size, kUpdatePiece);
        addBytes(Context, p, n);
        p += n;
        Size -= n;
    }
}

std::string MD5DigestToHex(const TMD5Digest& Digest) { return toHex(Digest.data(), Digest.size()); }

std::string GetMD5(const void* Buffer, size_t Size) {
    return MD5DigestToHex(md5Of(std::string_view(static_cast<const char*>(Buffer), Size)));
}

std::string StrMD5(std::string_view S) { return GetMD5(S.data(), S.size()); }

std::string FileMD5(const std::string& FileName) {
    const int fd = openForReading(FileName);
    TMD5Context ctx;
    MD5Init(ctx);
    std::vector<uint8_t> block(kFileBlock);
    for (;;) {
        const ssize_t r = ::read(fd, block.data(), block.size());
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            const int err = errno;
            ::close(fd);
            throw rtl::EInOutError("Cannot read file \"" + FileName + "\". " + rtl::SysErrorMessage(err));
        }
        if (r == 0) break;
        MD5UpdateBuffer(ctx, block.data(), static_cast<size_t>(r));
    }
    ::close(fd);
    TMD5Digest d;
    MD5Final(d, ctx);
    return MD5DigestToHex(d);
}

TMD5Digest HMAC_MD5(std::string_view Key, std::string_view Data) {
    constexpr size_t kBlock = 64;
    char key[kBlock] = {};
    if (Key.size() > kBlock) {
        const TMD5Digest kd = md5Of(Key);
        std::memcpy(key, kd.data(), kd.size());
    } else if (!Key.empty()) {
        std::memcpy(key, Key.data(), Key.size());
    }
    char ipad[kBlock], opad[kBlock];
    for (size_t i = 0; i < kBlock; ++i) {
        ipad[i] = static_cast<char>(key[i] ^ 0x36);
        opad[i] = static_cast<char>(key[i] ^ 0x5c);
    }
    const TMD5Digest inner = md5Of(std::string_view(ipad, kBlock), Data);
    return md5Of(std::string_view(opad, kBlock),
                 std::string_view(reinterpret_cast<const char*>(inner.data()), inner.size()));
}

}  // namespace mail

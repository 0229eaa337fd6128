#include "zip/avcrypt.h"

#include <sys/random.h>
#include <zlib.h>

#include <array>
#include <cerrno>

#include "zip/avexcept.h"

namespace zip {

namespace {

constexpr std::array<uint32_t, 256> MakeTable() {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[n] = c;
    }
    return t;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeTable();

void UpdateKeys(TZipKey& k, uint8_t plain) {
    k.k0 = ZipCrcByte(plain, k.k0);
    k.k1 = (k.k1 + (k.k0 & 0xFF)) * 134775813u + 1;
    k.k2 = ZipCrcByte(static_cast<uint8_t>(k.k1 >> 24), k.k2);
}

uint8_t StreamByte(const TZipKey& k) {
    const uint32_t t = (k.k2 | 2) & 0xFFFF;
    return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}

}  // namespace

uint32_t ZipCrcByte(uint8_t b, uint32_t crc) { return kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8); }

uint32_t ZipCrcUpdate(uint32_t crc, const void* data, size_t len) {
    // The same CRC as the table's, over many bytes at a time: zlib's works on
    // the finished (complemented) value.
    return ~static_cast<uint32_t>(crc32_z(~crc, static_cast<const Bytef*>(data), len));
}

uint32_t ZipCrc32(std::string_view data) { return ~ZipCrcUpdate(0xFFFFFFFFu, data.data(), data.size()); }

void ZipEncryptKeyInit(std::string_view password, TZipKey& keys) {
    keys = TZipKey();
    for (unsigned char c : password) UpdateKeys(keys, c);
}

void ZipKeyInit(std::string_view password, TZipKey& keys, uint8_t header[12]) {
    ZipEncryptKeyInit(password, keys);
    ZipDecryptBuffer(header, 12, keys);
}

uint8_t ZipEncryptByte(uint8_t b, TZipKey& keys) {
    const uint8_t c = b ^ StreamByte(keys);
    UpdateKeys(keys, b);
    return c;
}

void ZipEncryptBuffer(uint8_t* buf, size_t count, TZipKey& keys) {
    for (size_t i = 0; i < count; ++i) buf[i] = ZipEncryptByte(buf[i], keys);
}

void ZipDecryptBuffer(uint8_t* buf, size_t count, TZipKey& keys) {
    for (size_t i = 0; i < count; ++i) {
        buf[i] ^= StreamByte(keys);
        UpdateKeys(keys, buf[i]);
    }
}

void ZipMakeHeader(uint32_t crc, TZipKey& keys, uint8_t out[12]) {
    AvRandomBytes(out, 10);
    out[10] = static_cast<uint8_t>(crc >> 16);
    out[11] = static_cast<uint8_t>(crc >> 24);
    ZipEncryptBuffer(out, 12, keys);
}

bool ZipHeaderMatches(const uint8_t header[12], uint32_t crc, uint16_t dosTime, uint16_t flags) {
    const uint8_t check = flags & 0x0008 ? static_cast<uint8_t>(dosTime >> 8) : static_cast<uint8_t>(crc >> 24);
    return header[11] == check;
}

void AvRandomBytes(uint8_t* out, size_t count) {
    while (count > 0) {
        const ssize_t r = ::getrandom(out, count, 0);
        if (r < 0) {
            if (errno == EINTR) continue;
            throw EAvException(0);
        }
        out += r;
        count -= static_cast<size_t>(r);
    }
}

}  // namespace zip

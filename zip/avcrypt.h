#pragma once
// CRC-32 of the zip format and the traditional zip cipher.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zip {

// Running CRC: start at 0xFFFFFFFF, store the complement at the end.
uint32_t ZipCrcByte(uint8_t b, uint32_t crc);
uint32_t ZipCrcUpdate(uint32_t crc, const void* data, size_t len);
// The finished CRC-32 of a whole buffer.
uint32_t ZipCrc32(std::string_view data);

struct TZipKey {
    uint32_t k0 = 0x12345678, k1 = 0x23456789, k2 = 0x34567890;
};

void ZipEncryptKeyInit(std::string_view password, TZipKey& keys);
// Sets the keys from the password and decrypts the 12 header bytes in place.
void ZipKeyInit(std::string_view password, TZipKey& keys, uint8_t header[12]);
uint8_t ZipEncryptByte(uint8_t b, TZipKey& keys);
void ZipEncryptBuffer(uint8_t* buf, size_t count, TZipKey& keys);
void ZipDecryptBuffer(uint8_t* buf, size_t count, TZipKey& keys);

// The 12-byte header of an entry: 10 random bytes, then the CRC's bits
// 16-23 and 24-31, encrypted with the keys (which it advances).
void ZipMakeHeader(uint32_t crc, TZipKey& keys, uint8_t out[12]);
// Whether a decrypted header fits: its last byte against the high byte of
// the CRC, or of the DOS time when flag bit 3 is set.
bool ZipHeaderMatches(const uint8_t header[12], uint32_t crc, uint16_t dosTime, uint16_t flags);

// Bytes from the system's random source (every value 0-255).
void AvRandomBytes(uint8_t* out, size_t count);

}  // namespace zip

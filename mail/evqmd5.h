#pragma once
// MD5 digests: APOP, CRAM-MD5 (through HMAC-MD5) and file checksums.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mail {

struct TMD5Context {
    uint32_t State[4];
    uint32_t Count[2];  // bits added, low word first
    uint8_t Buffer[64];
};
static_assert(sizeof(TMD5Context) == 88);

using TMD5Digest = std::array<uint8_t, 16>;

void MD5Init(TMD5Context& Context);
// A negative count adds nothing.
void MD5Update(TMD5Context& Context, const void* Input, int32_t Count);
// Writes the digest and wipes the context.
void MD5Final(TMD5Digest& Digest, TMD5Context& Context);
void MD5Transform(uint32_t State[4], const uint8_t Block[64]);
// Adds a buffer of any size in pieces of at most 16 KB.
void MD5UpdateBuffer(TMD5Context& Context, const void* Buffer, size_t Size);

// 32 upper-case hexadecimal digits.
std::string GetMD5(const void* Buffer, size_t Size);
std::string StrMD5(std::string_view S);
// Raises rtl::EInOutError when the file cannot be opened or read.
std::string FileMD5(const std::string& FileName);

// Keyed digest for CRAM-MD5; a key longer than 64 bytes is replaced by its MD5.
TMD5Digest HMAC_MD5(std::string_view Key, std::string_view Data);
// 32 upper-case hexadecimal digits of a digest.
std::string MD5DigestToHex(const TMD5Digest& Digest);

}  // namespace mail

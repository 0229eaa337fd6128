#pragma once
// Hash descriptors: a registry of digest algorithms by id and name, and
// calls that hash through any registered descriptor.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace zipcrypto {

enum THashAlgorithm : uint32_t {
    _MD4 = 0, _MD5, _RIPEMD160, _SHA1, _SHA224, _SHA256, _SHA384, _SHA512, _Whirlpool,
};
constexpr uint32_t kMaxHashId = _Whirlpool;

// Shared by every algorithm; zeroed by init and again after final.
struct THashContext {
    uint32_t Hash[16];
    uint64_t BitLength;
    uint8_t Buffer[128];
    uint32_t Index;  // bytes held in Buffer
};

// Final routines zero it first and fill the digest's length from the front.
using THashDigest = std::array<uint8_t, 64>;

using THashInitProc = void (*)(THashContext& Context);
using THashFinalProc = void (*)(THashContext& Context, THashDigest& Digest);
using THashUpdateProc = void (*)(THashContext& Context, const void* Data, uint32_t Length);

constexpr uint16_t kHashDescSignature = 0x3D7A;
constexpr uint16_t kHashDescSize = 80;
constexpr uint32_t kHashDescVersion = 0x00010003;

struct THashDesc {
    uint16_t Signature;
    uint16_t DescSize;
    uint32_t DescVersion;
    uint16_t BlockLength;
    uint16_t DigestLength;
    THashInitProc InitProc;
    THashFinalProc FinalProc;
    THashUpdateProc UpdateProc;
    uint32_t AlgorithmId;
    char Name[20];  // at most 19 characters
    const uint32_t* OID;
    uint32_t OIDLength;
};

// Stores the descriptor in slot Id when its header is right and its id is Id.
void RegisterHash(uint32_t Id, const THashDesc* Desc);
// The descriptor of slot Id, or nullptr.
const THashDesc* FindHash_by_ID(uint32_t Id);
// The first registered descriptor of that name (at most 19 characters,
// letter case ignored), or nullptr.
const THashDesc* FindHash_by_Name(std::string_view Name);
// A descriptor whose header and procedures are usable.
bool IsValidHashDesc(const THashDesc* Desc);

// These do nothing for an invalid descriptor.
void HashInit(const THashDesc* Desc, THashContext& Context);
void HashUpdate(const THashDesc* Desc, THashContext& Context, const void* Data, uint16_t Length);
void HashUpdateXL(const THashDesc* Desc, THashContext& Context, const void* Data, uint32_t Length);
void HashFinal(const THashDesc* Desc, THashContext& Context, THashDigest& Digest);
void HashFullXL(const THashDesc* Desc, THashDigest& Digest, const void* Data, uint32_t Length);
void HashFull(const THashDesc* Desc, THashDigest& Digest, const void* Data, uint16_t Length);

constexpr int kHashErrInvalidDesc = 204;
// Hashes the file read-only in blocks of BufferSize bytes through Buffer.
// Error is 0 (Digest valid), 204 for an invalid descriptor, otherwise the
// system's error number (EINVAL for no buffer).
void HashFile(const std::string& FileName, const THashDesc* Desc, THashDigest& Digest, void* Buffer,
              uint32_t BufferSize, int& Error);

}  // namespace zipcrypto

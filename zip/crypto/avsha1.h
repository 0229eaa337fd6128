#pragma once
// SHA-1, also reachable as the hash descriptor of id 3.
#include <array>
#include <cstdint>
#include <string>

#include "zip/crypto/avhash.h"

namespace zipcrypto {

using TSHA1Digest = std::array<uint8_t, 20>;

const THashDesc& SHA1Desc();

void SHA1Init(THashContext& Context);
void SHA1UpdateXL(THashContext& Context, const void* Data, uint32_t Length);
void SHA1Update(THashContext& Context, const void* Data, uint16_t Length);
// Writes the digest into the front of the zeroed buffer and wipes the context.
void SHA1FinalEx(THashContext& Context, THashDigest& Digest);
void SHA1Final(THashContext& Context, TSHA1Digest& Digest);
void SHA1FullXL(TSHA1Digest& Digest, const void* Data, uint32_t Length);
void SHA1Full(TSHA1Digest& Digest, const void* Data, uint16_t Length);
// As HashFile, with the 20-byte digest.
void SHA1File(const std::string& FileName, TSHA1Digest& Digest, void* Buffer, uint32_t BufferSize,
              int& Error);
// The two FIPS messages, hashed at once and byte by byte, give their digests.
bool SHA1SelfTest();

}  // namespace zipcrypto

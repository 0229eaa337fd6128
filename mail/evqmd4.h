#pragma once
// MD4 digests, for the NT password hash.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/rtl/exceptions.h"

namespace mail {

RTL_EXCEPTION_CLASS(MD4Exception, rtl::Exception);

struct TMD4Context {
    bool Initialized;
    uint32_t CountHi;  // bits added
    uint32_t CountLo;
    uint32_t Index;    // bytes held in Buffer
    uint32_t State[4];
    uint8_t Buffer[64];
};

using TMD4Digest = std::array<uint8_t, 16>;

void MD4Burn(TMD4Context& Context);
void MD4Init(TMD4Context& Context);
// Update and Final raise MD4Exception "MD4 not initialized" on a context that
// was never initialised or was already finished.
void MD4Update(TMD4Context& Context, const void* Input, uint32_t Count);
void MD4UpdateStr(TMD4Context& Context, std::string_view S);
void MD4Compress(TMD4Context& Context);
// One compression of a 64-byte block into State; the zip suite's MD4 uses it too.
void MD4Transform(uint32_t State[4], const uint8_t Block[64]);
void MD4Final(TMD4Context& Context, TMD4Digest& Digest);
// The 16 raw digest bytes.
std::string MD4String(std::string_view S);

}  // namespace mail

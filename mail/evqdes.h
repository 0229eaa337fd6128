#pragma once
// Single-block DES, for the NTLM responses.
#include <cstdint>

namespace mail {

// One 8-byte block under an 8-byte key (the low bit of each key byte is
// parity and ignored). Encrypt false runs the subkeys backwards: decryption.
void DES(const uint8_t Input[8], uint8_t Output[8], const uint8_t Key[8], bool Encrypt);

}  // namespace mail

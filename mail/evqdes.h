#pragma once
// Single-block DES, for the NTLM responses.
#include <cstdint>

namespace mail {

// One 8-byte block under an 8-byte key (the low bit of each key byte is
// parity and ignored). Encrypt false runs the subkeys backwards: decryption.
void DES(const uint8_t Input[8], uint8_t Output[8], const uint8_t Key[8], bool Encrypt);

// A prepared key for many blocks: the 16 round keys, each as two words
// holding its first and last 24 bits, in the order the rounds take them
// (backwards with Reverse, for decryption).
void DESKeySchedule(const uint8_t Key[8], bool Reverse, uint32_t Schedule[32]);
// One block through the rounds of a prepared schedule.
void DESBlock(const uint8_t Input[8], uint8_t Output[8], const uint32_t Schedule[32]);

}  // namespace mail

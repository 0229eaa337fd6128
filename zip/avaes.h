#pragma once
// AES entries: the 0x9901 extra field, and the encoder and decoder of one
// entry's data (PBKDF2-HMAC-SHA1 keys, AES in counter mode, a 10-byte
// HMAC-SHA1 authentication code over the encrypted bytes).
//
// An AES entry has compression method 99 and the 0x9901 field in its local
// and central headers. Its data area, counted in the compressed size, is
//     salt (8, 12 or 16 bytes) | verifier (2) | encrypted data | code (10)
// where the encrypted data is the entry compressed by the field's
// ActualMethod (0 or 8). AE-2 entries store CRC 0: the code authenticates
// them. AE-1 entries carry the code too and store the real CRC as well.
//
// Reading one entry:
//     TAesField field;
//     if (!FindAesExtraField(localExtra, field)) -> not a usable AES entry
//     salt = AesSaltLength(field) bytes, verifier = 2 bytes after it
//     TAesEntryDecoder dec(password, field, salt, verifier);
//     if (!dec.PasswordMatches()) -> wrong password (ask again or fail)
//     for each chunk of the CSize - AesOverhead(field) encrypted bytes:
//         dec.Decrypt(chunk, n);   // in place, any chunk sizes
//     if (!dec.Authentic(last 10 bytes of the data area)) -> damaged entry
// A verifier can match a wrong password by chance (1 in 65,536); the code
// then fails, so nothing decrypted may be trusted before Authentic().
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zip/avoptions.h"
#include "zip/avrecords.h"
#include "zip/crypto/avhmac.h"

namespace zipcrypto {
class TCipher;
class TPBKDF2;
}

namespace zip {

inline constexpr uint16_t kAesExtraId = 0x9901, kAesMethod = 99;
inline constexpr uint16_t kAesVersion1 = 1, kAesVersion2 = 2;
inline constexpr int32_t kAesIterations = 1000;
inline constexpr size_t kAesVerifierSize = 2, kAesAuthCodeSize = 10, kAesFieldSize = 7;

// The data of the 0x9901 field.
struct TAesField {
    uint16_t Version = kAesVersion2;
    uint8_t Strength = 3;  // 1: 128-bit key, 2: 192, 3: 256
    uint16_t ActualMethod = 0;  // the compression applied before encryption
};

// Key bytes of a strength (16, 24, 32), 0 for an unknown one.
size_t AesKeyLength(uint8_t strength);
// Salt bytes: half the key (8, 12, 16).
size_t AesSaltLength(const TAesField& field);
// Salt and verifier in front of the data: 10, 14 or 18 bytes.
size_t AesStartBlockSize(const TAesField& field);
// Start block plus authentication code: what the data area adds.
size_t AesOverhead(const TAesField& field);
// The strength of an archiver encryption method, 0 for the classic cipher.
uint8_t AesStrength(TAvCryptoAlgorithm method);

// The 7 data bytes: version, "AE", strength, actual method.
std::string AesExtraFieldData(const TAesField& field);
TAvExtraField AesExtraField(const TAesField& field);
// Whether the data are exactly one well-formed field (version 1 or 2,
// "AE", strength 1-3); only then is Field set.
bool ParseAesExtraField(std::string_view data, TAesField& field);
// Looks for a well-formed 0x9901 block in a header's whole extra area; a
// block running past the area's end ends the search.
bool FindAesExtraField(std::string_view extra, TAesField& field);

// What the encoder and decoder share: keys, counter-mode cipher, HMAC.
class TAesEntryCipher {
public:
    TAesEntryCipher(const TAesEntryCipher&) = delete;
    TAesEntryCipher& operator=(const TAesEntryCipher&) = delete;
    const TAesField& Field() const { return field_; }

protected:
    TAesEntryCipher(const TAesField& field, const zipcrypto::TPBKDF2& keys);
    ~TAesEntryCipher();
    // Counter mode runs on across calls; the HMAC takes the encrypted side.
    void Crypt(void* data, size_t count, bool decrypting);
    // Ends the HMAC; the first 10 bytes of it.
    std::array<uint8_t, kAesAuthCodeSize> FinishCode();

    TAesField field_;
    std::vector<uint8_t> salt_;
    std::array<uint8_t, kAesVerifierSize> verifier_{};

private:
    std::shared_ptr<zipcrypto::TCipher> cipher_;
    zipcrypto::THMAC_Context hmac_{};
    bool finished_ = false;
};

// Writes one entry: a fresh random salt per encoder, so no two entries
// share a keystream even under one password.
class TAesEntryEncoder : public TAesEntryCipher {
public:
    // Raises EAvException 8 for a field of unknown strength.
    TAesEntryEncoder(std::string_view password, const TAesField& field);
    // Salt and verifier, written in front of the data.
    std::string StartBlock() const;
    // In place; chunks of any size, in order.
    void Encrypt(void* data, size_t count);
    // The 10 bytes written after the data. Ends encoding: calls after it raise.
    std::string AuthCode();
};

// Reads one entry; independent of where the bytes come from.
class TAesEntryDecoder : public TAesEntryCipher {
public:
    // Salt and Verifier as stored in the start block. Raises EAvException 8
    // when the field's strength is unknown or the salt's length does not
    // suit it, or the verifier is not 2 bytes.
    TAesEntryDecoder(std::string_view password, const TAesField& field, std::string_view salt,
                     std::string_view verifier);
    // Whether the password's verifier equals the stored one.
    bool PasswordMatches() const { return matches_; }
    // In place; chunks of any size, in order. Raises EAvException 67 when
    // the password does not match: its output would be noise.
    void Decrypt(void* data, size_t count);
    // After the last chunk: whether the stored 10-byte code equals the
    // code of what was decrypted. Ends decoding: calls after it raise.
    bool Authentic(std::string_view storedCode);

private:
    bool matches_ = false;
};

}  // namespace zip

#include "zip/avaes.h"

#include <algorithm>

#include "zip/avexcept.h"
#include "zip/crypto/avcipher.h"
#include "zip/crypto/avdecutil.h"
#include "zip/crypto/avpbkdf_2.h"

namespace zip {

using namespace zipcrypto;

size_t AesKeyLength(uint8_t strength) { return strength >= 1 && strength <= 3 ? 8u + 8u * strength : 0; }
size_t AesSaltLength(const TAesField& field) { return AesKeyLength(field.Strength) / 2; }
size_t AesStartBlockSize(const TAesField& field) { return AesSaltLength(field) + kAesVerifierSize; }
size_t AesOverhead(const TAesField& field) { return AesStartBlockSize(field) + kAesAuthCodeSize; }

uint8_t AesStrength(TAvCryptoAlgorithm method) {
    switch (method) {
        case caAES_128: return 1;
        case caAES_192: return 2;
        case caAES_256: return 3;
        default: return 0;
    }
}

std::string AesExtraFieldData(const TAesField& field) {
    std::string d;
    Put16(d, field.Version);
    d += "AE";
    d += static_cast<char>(field.Strength);
    Put16(d, field.ActualMethod);
    return d;
}

TAvExtraField AesExtraField(const TAesField& field) { return {kAesExtraId, AesExtraFieldData(field)}; }

bool ParseAesExtraField(std::string_view data, TAesField& field) {
    if (data.size() != kAesFieldSize || data.substr(2, 2) != "AE") return false;
    TAesField f;
    f.Version = Get16(data, 0);
    f.Strength = static_cast<uint8_t>(data[4]);
    f.ActualMethod = Get16(data, 5);
    if ((f.Version != kAesVersion1 && f.Version != kAesVersion2) || AesKeyLength(f.Strength) == 0) return false;
    field = f;
    return true;
}

bool FindAesExtraField(std::string_view extra, TAesField& field) {
    for (size_t at = 0; extra.size() - at >= 4;) {
        const uint16_t id = Get16(extra, at);
        const size_t size = Get16(extra, at + 2);
        if (size > extra.size() - at - 4) return false;
        if (id == kAesExtraId) return ParseAesExtraField(extra.substr(at + 4, size), field);
        at += 4 + size;
    }
    return false;
}

// ------------------------------------------------------------ the shared part

namespace {

size_t CheckedKeyLength(const TAesField& field) {
    const size_t n = AesKeyLength(field.Strength);
    if (n == 0) throw EAvException(8);
    return n;
}

}  // namespace

TAesEntryCipher::TAesEntryCipher(const TAesField& field, const TPBKDF2& kdf) : field_(field) {
    const size_t kl = CheckedKeyLength(field);
    // Encryption key, HMAC key, verifier.
    std::vector<uint8_t> keys = kdf.GetKeyBytes(static_cast<uint32_t>(2 * kl + kAesVerifierSize));
    salt_ = kdf.GetSaltValue();
    cipher_ = TCipher::Create(TCipher_Rijndael::Class());
    cipher_->Init(keys.data(), static_cast<int>(kl), nullptr);
    // Counter mode from a zero block whose first 8 bytes count up
    // little-endian: the first block encrypts the counter 1.
    cipher_->Mode = cmCTR;
    // Without SHA-1 the HMAC would do nothing and every code would match.
    const THashDesc* sha1 = FindHash_by_Name("SHA1");
    if (!sha1) {
        WipeBytes(keys.data(), keys.size());
        throw rtl::Exception("AES entry: no SHA-1 for its authentication code");
    }
    hmac_init(hmac_, sha1, keys.data() + kl, kl);
    verifier_ = {keys[2 * kl], keys[2 * kl + 1]};
    WipeBytes(keys.data(), keys.size());
}

TAesEntryCipher::~TAesEntryCipher() {
    WipeBytes(&hmac_, sizeof hmac_);
    WipeBytes(salt_.data(), salt_.size());
}

void TAesEntryCipher::Crypt(void* data, size_t count, bool decrypting) {
    if (finished_) throw rtl::Exception("AES entry: data after the authentication code");
    auto* p = static_cast<uint8_t*>(data);
    const auto mac = [&] {
        for (size_t at = 0; at < count;) {
            const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(count - at, 0x40000000));
            hmac_updateXL(hmac_, p + at, piece);
            at += piece;
        }
    };
    if (decrypting) mac();
    cipher_->EncodeBuffer(p, p, static_cast<int64_t>(count));
    if (!decrypting) mac();
}

std::array<uint8_t, kAesAuthCodeSize> TAesEntryCipher::FinishCode() {
    if (finished_) throw rtl::Exception("AES entry: the authentication code was already taken");
    finished_ = true;
    THashDigest digest;
    hmac_final(hmac_, digest);
    std::array<uint8_t, kAesAuthCodeSize> code;
    std::copy_n(digest.begin(), code.size(), code.begin());
    WipeBytes(digest.data(), digest.size());
    cipher_->Protect();
    return code;
}

// -------------------------------------------------------------------- encoder

TAesEntryEncoder::TAesEntryEncoder(std::string_view password, const TAesField& field)
    : TAesEntryCipher(field, TPBKDF2(std::string(password), static_cast<uint32_t>(CheckedKeyLength(field) / 2),
                                     kAesIterations)) {}

std::string TAesEntryEncoder::StartBlock() const {
    std::string b(salt_.begin(), salt_.end());
    b.append(verifier_.begin(), verifier_.end());
    return b;
}

void TAesEntryEncoder::Encrypt(void* data, size_t count) { Crypt(data, count, false); }

std::string TAesEntryEncoder::AuthCode() {
    const auto code = FinishCode();
    return std::string(code.begin(), code.end());
}

// -------------------------------------------------------------------- decoder

namespace {

const TAesField& CheckedStart(const TAesField& field, std::string_view salt, std::string_view verifier) {
    if (salt.size() != CheckedKeyLength(field) / 2 || verifier.size() != kAesVerifierSize) throw EAvException(8);
    return field;
}

}  // namespace

TAesEntryDecoder::TAesEntryDecoder(std::string_view password, const TAesField& field, std::string_view salt,
                                   std::string_view verifier)
    : TAesEntryCipher(CheckedStart(field, salt, verifier),
                      TPBKDF2(std::string(password), salt.data(), static_cast<uint32_t>(salt.size()), kAesIterations)) {
    matches_ = static_cast<uint8_t>(verifier[0]) == verifier_[0] && static_cast<uint8_t>(verifier[1]) == verifier_[1];
}

void TAesEntryDecoder::Decrypt(void* data, size_t count) {
    if (!matches_) throw EAvException(67);
    Crypt(data, count, true);
}

bool TAesEntryDecoder::Authentic(std::string_view storedCode) {
    const auto code = FinishCode();
    if (!matches_ || storedCode.size() != code.size()) return false;
    // Every byte is compared, so the time taken tells nothing of where they differ.
    uint8_t diff = 0;
    for (size_t i = 0; i < code.size(); ++i) diff |= static_cast<uint8_t>(storedCode[i]) ^ code[i];
    return diff == 0;
}

}  // namespace zip

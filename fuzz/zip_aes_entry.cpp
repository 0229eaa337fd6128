// An AES entry as a reader meets it: a header's extra area and the entry's
// data area, both from the input (2 bytes of extra length, little-endian,
// the extra area, then the data area); the password is "fuzz". Seeds in
// tests/data/zip/aes_corpus are entries our encoder wrote.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "zip/avaes.h"
#include "zip/avexcept.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    const size_t n = std::min<size_t>(zip::Get16(in, 0), size - 2);
    zip::TAesField field;
    if (!zip::FindAesExtraField(in.substr(2, n), field)) return 0;
    // A field that was read builds back to bytes that read the same.
    zip::TAesField again;
    if (!zip::ParseAesExtraField(zip::AesExtraFieldData(field), again) || again.Version != field.Version ||
        again.Strength != field.Strength || again.ActualMethod != field.ActualMethod)
        std::abort();
    std::string area(in.substr(2 + n));
    if (area.size() < zip::AesOverhead(field)) return 0;
    const size_t salt = zip::AesSaltLength(field), start = zip::AesStartBlockSize(field);
    zip::TAesEntryDecoder dec("fuzz", field, std::string_view(area).substr(0, salt),
                              std::string_view(area).substr(salt, zip::kAesVerifierSize));
    if (!dec.PasswordMatches()) {
        try {
            dec.Decrypt(area.data(), 0);
        } catch (const zip::EAvException&) {
            return 0;
        }
        std::abort();  // a wrong password must not decrypt
    }
    const size_t body = area.size() - zip::AesOverhead(field);
    dec.Decrypt(area.data() + start, body / 2);
    dec.Decrypt(area.data() + start + body / 2, body - body / 2);
    dec.Authentic(std::string_view(area).substr(area.size() - zip::kAesAuthCodeSize));
    return 0;
}

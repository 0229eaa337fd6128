// The text-to-numbers cipher: three decimal digits per byte, each byte
// combined with a byte of the key.
//
// It hides text from a casual look and nothing more. The keys are built into
// the program, the same in every copy, and one known line of plain text
// gives the key back: anyone with the file recovers what it holds. Its
// format stays because stored files and sent mail are written in it; what
// protects the files is that they are their owner's alone.
#include "helpers/internal.h"
#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace helpers {

namespace {

// The key byte for the 1-based position I: the key's (I mod L) + 1-th.
unsigned char keybyte(std::string_view key, size_t i) {
    return static_cast<unsigned char>(key[i % key.size()]);
}

// An empty key stands for the default key.
std::string_view usedkey(std::string_view key) {
    if (!key.empty()) return key;
    return defkey.empty() ? std::string_view(defaultkey) : std::string_view(defkey);
}

}  // namespace

std::string numcipher(std::string_view text, std::string_view key) {
    key = usedkey(key);
    std::string out;
    out.reserve(text.size() * 3);
    for (size_t i = 1; i <= text.size(); ++i)
        out += zeropad(static_cast<unsigned char>(text[i - 1]) ^ keybyte(key, i), 3);
    return out;
}

std::string numdecipher(std::string_view digits, std::string_view key) {
    key = usedkey(key);
    std::string out;
    out.reserve(digits.size() / 3 + 1);
    for (size_t j = 1; j <= digits.size(); j += 3) {
        const int v = rtl::StrToIntDef(digits.substr(j - 1, 3), 0);
        out += static_cast<char>((v ^ keybyte(key, (j + 2) / 3)) & 0xFF);
    }
    return out;
}

}  // namespace helpers

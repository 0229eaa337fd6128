#pragma once
// Small helpers shared by the mail tests.
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace mailtest {

inline std::string fromHex(std::string_view hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return out;
}

inline std::string toHex(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (char c : bytes) {
        out += kHex[static_cast<uint8_t>(c) >> 4];
        out += kHex[static_cast<uint8_t>(c) & 0x0F];
    }
    return out;
}

// Splits at every occurrence of Sep.
inline std::vector<std::string> split(std::string_view s, std::string_view sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t p; (p = s.find(sep, start)) != std::string_view::npos; start = p + sep.size())
        parts.emplace_back(s.substr(start, p - start));
    parts.emplace_back(s.substr(start));
    return parts;
}

// A path in the test folder, unique to this process, so that runs of several
// build folders at once do not meet.
std::string tempPath(const std::string& name);

// True when every byte of S belongs to a complete UTF-8 character.
bool isCompleteUtf8(std::string_view s);

enum class TextKind { Ascii, Latin1, Utf8 };

// Mail-like text from a seeded generator: words, blanks (trailing ones too),
// "=", "?", "_", dots at line starts, tabs, long lines, CR LF line breaks
// when Lines is set; 8-bit bytes for Latin1, multi-byte characters for Utf8.
std::string randomText(std::mt19937& rng, TextKind kind, bool lines);

}  // namespace mailtest

// Windows-1252 letter case.
#include "spell/lxcase.h"

namespace spell {

namespace {

// The four upper-case letters of the 0x80 block and their lower-case pairs.
constexpr unsigned char upper80[] = {0x8A, 0x8C, 0x8E, 0x9F};
constexpr unsigned char lower80[] = {0x9A, 0x9C, 0x9E, 0xFF};

}  // namespace

bool LxIsUpper(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return true;
    if (c >= 0xC0 && c <= 0xDE) return c != 0xD7;
    for (const auto u : upper80)
        if (c == u) return true;
    return false;
}

bool LxIsLower(unsigned char c) {
    if (c >= 'a' && c <= 'z') return true;
    if (c >= 0xDF) return c != 0xF7;
    for (const auto l : lower80)
        if (c == l) return true;
    return c == 0x83 || c == 0xAA || c == 0xB5 || c == 0xBA;
}

bool LxIsAlpha(unsigned char c) { return LxIsUpper(c) || LxIsLower(c); }

unsigned char LxToLower(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
    for (size_t i = 0; i < sizeof upper80; ++i)
        if (c == upper80[i]) return lower80[i];
    return c;
}

unsigned char LxToUpper(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
    for (size_t i = 0; i < sizeof lower80; ++i)
        if (c == lower80[i]) return upper80[i];
    return c;
}

std::string LxLowerCase(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(LxToLower(static_cast<unsigned char>(c)));
    return out;
}

std::string LxUpperCase(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(LxToUpper(static_cast<unsigned char>(c)));
    return out;
}

bool LxHasUpper(std::string_view s) {
    for (const unsigned char c : s)
        if (LxIsUpper(c)) return true;
    return false;
}

bool LxAllLower(std::string_view s) { return !LxHasUpper(s); }

bool LxAllUpper(std::string_view s) {
    for (const unsigned char c : s)
        if (LxIsLower(c)) return false;
    return true;
}

bool LxHasTypographicApostrophe(std::string_view s) {
    return s.find(LxTypographicApostrophe) != std::string_view::npos;
}

namespace {

std::string swapped(std::string_view s, char from, char to) {
    std::string out(s);
    for (char& c : out)
        if (c == from) c = to;
    return out;
}

}  // namespace

std::string LxPlainApostrophes(std::string_view s) { return swapped(s, LxTypographicApostrophe, '\''); }
std::string LxTypographicApostrophes(std::string_view s) { return swapped(s, '\'', LxTypographicApostrophe); }

}  // namespace spell

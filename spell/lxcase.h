#pragma once
// Letter case of the suite's 8-bit words, by the Windows-1252 letters (the
// code page of its English dictionaries).
#include <string>
#include <string_view>

namespace spell {

bool LxIsUpper(unsigned char c);
bool LxIsLower(unsigned char c);
bool LxIsAlpha(unsigned char c);
unsigned char LxToLower(unsigned char c);
unsigned char LxToUpper(unsigned char c);
std::string LxLowerCase(std::string_view s);
std::string LxUpperCase(std::string_view s);
// Holds a letter and no upper-case one (or no lower-case one).
bool LxAllLower(std::string_view s);
bool LxAllUpper(std::string_view s);
bool LxHasUpper(std::string_view s);

// The typographic apostrophe (0x92, the same byte in Windows-1250, -1251 and
// -1252). Inside a word it is the apostrophe: words are looked up, stored
// and suggested with the plain one.
constexpr char LxTypographicApostrophe = '\x92';
bool LxHasTypographicApostrophe(std::string_view s);
std::string LxPlainApostrophes(std::string_view s);
// S with each plain apostrophe written as the typographic one.
std::string LxTypographicApostrophes(std::string_view s);

}  // namespace spell

#pragma once
// Windows-1252, the 8-bit code page of the suite's English words, to and
// from the program's UTF-8 text.
#include <cstdint>
#include <string>
#include <string_view>

namespace spell {

// The byte for a Unicode character, or -1 when the code page has none.
int Cp1252FromUnicode(uint32_t Code);
// The Unicode character of a byte (the five unused bytes map to themselves).
uint32_t UnicodeFromCp1252(unsigned char Byte);

// False (Out partly filled) when the text is not UTF-8 or holds a
// character the code page lacks.
bool Cp1252FromUtf8(std::string_view Utf8, std::string& Out);
std::string Utf8FromCp1252(std::string_view Bytes);
// Decodes the character at At and moves past it; false on a malformed,
// overlong or surrogate sequence.
bool NextUtf8(std::string_view Utf8, size_t& At, uint32_t& Code);
void AppendUtf8(std::string& Out, uint32_t Code);

}  // namespace spell

#pragma once
// The 8-bit code pages the suite keeps text in (Windows-1252 for its English
// words and most interface texts, Windows-1250 and Windows-1251 for the
// Central European and Cyrillic ones), to and from the program's UTF-8.
//
// A byte a code page leaves unused stands for the C1 control of the same
// value, both ways, so any 8-bit text survives a trip through UTF-8; a
// character the code page lacks has no byte.
#include <cstdint>
#include <string>
#include <string_view>

namespace spell {

enum class CodePage : uint16_t { Cp1250 = 1250, Cp1251 = 1251, Cp1252 = 1252 };

// The byte for a Unicode character, or -1 when the code page has none.
int CodePageFromUnicode(CodePage Page, uint32_t Code);
// The Unicode character of a byte.
uint32_t UnicodeFromCodePage(CodePage Page, unsigned char Byte);

// False (Out partly filled) when the text is not UTF-8 or holds a
// character the code page lacks.
bool CodePageFromUtf8(CodePage Page, std::string_view Utf8, std::string& Out);
std::string Utf8FromCodePage(CodePage Page, std::string_view Bytes);

inline int Cp1252FromUnicode(uint32_t Code) { return CodePageFromUnicode(CodePage::Cp1252, Code); }
inline uint32_t UnicodeFromCp1252(unsigned char Byte) { return UnicodeFromCodePage(CodePage::Cp1252, Byte); }
inline bool Cp1252FromUtf8(std::string_view Utf8, std::string& Out) {
    return CodePageFromUtf8(CodePage::Cp1252, Utf8, Out);
}
// Whether every character of the text has a Windows-1252 byte: text typed
// for a word must, or it could only be stored cut short or mangled.
inline bool FitsCp1252(std::string_view Utf8) {
    std::string bytes;
    return Cp1252FromUtf8(Utf8, bytes);
}
inline std::string Utf8FromCp1252(std::string_view Bytes) { return Utf8FromCodePage(CodePage::Cp1252, Bytes); }

// Decodes the character at At and moves past it; false on a malformed,
// overlong or surrogate sequence.
bool NextUtf8(std::string_view Utf8, size_t& At, uint32_t& Code);
void AppendUtf8(std::string& Out, uint32_t Code);

}  // namespace spell

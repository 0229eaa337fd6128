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

}  // namespace spell

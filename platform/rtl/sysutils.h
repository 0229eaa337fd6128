#pragma once
// Byte-string helpers. Texts are std::string holding bytes; positions count
// from 1 and 0 means "not found", the way the program's text code expects.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/rtl/exceptions.h"

namespace rtl {

// Substring from 1-based Index, Count bytes. A start outside 1..length
// or a count of 0 or less gives an empty text.
std::string Copy(std::string_view s, int64_t index, int64_t count);
// Everything from Index to the end.
std::string CopyFrom(std::string_view s, int64_t index);
// 1-based position of Sub in S, 0 when absent or when Sub is empty.
int Pos(std::string_view sub, std::string_view s);
// The same, starting the search at Offset (1-based); 0 for a bad offset.
int PosEx(std::string_view sub, std::string_view s, int64_t offset = 1);
// Removes Count bytes from 1-based Index (nothing for a bad index).
void Delete(std::string& s, int64_t index, int64_t count);
// Inserts Sub before 1-based Index (index past the end appends).
void Insert(std::string_view sub, std::string& s, int64_t index);

// Blanks and control characters (bytes up to 0x20) are trimmed.
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

// ASCII case mapping; bytes above 0x7F are left alone.
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);
int CompareStr(std::string_view a, std::string_view b);
bool StartsText(std::string_view prefix, std::string_view s);

std::string IntToStr(int64_t v);
std::string IntToHex(uint64_t v, int digits);
// Decimal with optional sign and blanks before it; "$" or "0x" for hex.
// Raises EConvertError "'x' is not a valid integer value".
int StrToInt(std::string_view s);
int64_t StrToInt64(std::string_view s);
int StrToIntDef(std::string_view s, int def);
int64_t StrToInt64Def(std::string_view s, int64_t def);
bool TryStrToInt(std::string_view s, int& out);
bool TryStrToInt64(std::string_view s, int64_t& out);

// printf-style formatting into a text.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

enum TReplaceFlag : unsigned { rfReplaceAll = 1, rfIgnoreCase = 2 };
std::string StringReplace(std::string_view s, std::string_view from, std::string_view to,
                          unsigned flags);
std::string StringOfChar(char c, int64_t count);

// Path pieces. Paths use "/"; the extension includes its dot.
std::string ExtractFilePath(std::string_view path);
std::string ExtractFileName(std::string_view path);
std::string ExtractFileExt(std::string_view path);
std::string ChangeFileExt(std::string_view path, std::string_view ext);
std::string IncludeTrailingPathDelimiter(std::string_view path);
std::string ExcludeTrailingPathDelimiter(std::string_view path);

// The platform's text for an errno value.
std::string SysErrorMessage(int code);

// Appends the UTF-8 bytes of code point Cp (at most U+10FFFF).
void AppendUtf8(std::string& out, uint32_t cp);

}  // namespace rtl

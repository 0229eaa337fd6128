#pragma once
// MIME building blocks on byte strings: base64, quoted-printable, encoded
// header words, wrapping and folding, dot escaping and content types. No
// state is kept between calls. Positions count from 1.
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/classes.h"

namespace mail {

// A set of byte values; built from the bytes of a text.
class TSysCharSet {
public:
    TSysCharSet() = default;
    // Implicit, so that a text literal reads as a set.
    TSysCharSet(std::string_view chars);
    TSysCharSet(const char* chars) : TSysCharSet(std::string_view(chars)) {}
    bool Has(unsigned char c) const { return bits_.test(c); }
    TSysCharSet operator+(const TSysCharSet& other) const;

private:
    std::bitset<256> bits_;
};

// Length of the UTF-8 character starting at byte I of S: 2 to 4 for a
// well-formed multi-byte sequence, 1 for anything else (ASCII, stray bytes).
int Utf8CharLength(std::string_view s, size_t i);

// Base64.
std::string Base64Encode(std::string_view Input);
// One output line from Pos on: groups are added while the line is shorter
// than MaxLen, so it reaches the first multiple of 4 at or above MaxLen.
std::string Base64EncodeEx(std::string_view Input, int MaxLen, int& Pos);
// Line breaks and other bytes outside the alphabet are skipped; a short last
// group gives the bytes it holds.
std::string Base64Decode(std::string_view Input);
// The same into Out, whose memory serves when it is large enough; the number
// of Base64 characters read ("=" included).
size_t Base64DecodeInto(std::string_view Input, std::string& Out);

// A file opened for base64 encoding: read-only, and read through a buffer
// because the encoder takes it three bytes at a time.
class TEncFileStream {
public:
    TEncFileStream(const std::string& FileName, int ShareMode);
    ~TEncFileStream();
    TEncFileStream(const TEncFileStream&) = delete;
    TEncFileStream& operator=(const TEncFileStream&) = delete;

    // Fewer bytes than asked only at the end of the file; a read error raises
    // rtl::EInOutError rather than passing for the end.
    size_t Read(void* Buf, size_t Count);
    // Kept for callers; files here are shared by the system's own rules.
    int ShareMode() const { return shareMode_; }

private:
    std::string fileName_;
    int fd_ = -1;
    int shareMode_;
    std::vector<unsigned char> buf_;
    size_t bufPos_ = 0;
    size_t bufLen_ = 0;
};
using PEncFileStream = std::unique_ptr<TEncFileStream>;

// Raises rtl::EInOutError when the file cannot be opened.
PEncFileStream InitFileEncBase64(const std::string& FileName, int ShareMode);
// The next line of at most 72 characters (54 bytes); More is true while the
// last read filled a whole group.
std::string DoFileEncBase64(PEncFileStream& Stream, bool& More);
void EndFileEncBase64(PEncFileStream& Stream);

// Quoted-printable.
std::string EncodeQuotedPrintable(std::string_view S);
// Raises rtl::EConvertError on an escape that is not two hexadecimal digits.
std::string DecodeQuotedPrintable(std::string_view S);
std::string SplitQuotedPrintableString(std::string_view S);
std::string StrEncodeQP(std::string_view Input, int MaxCol, const TSysCharSet& CharsToEncode);
// One output line from Pos on, ending in "=" when more input is left.
std::string StrEncodeQPEx(std::string_view Buf, int MaxLen, const TSysCharSet& CharsToEncode,
                          bool ShortSpace, int& Pos, bool LimitLines);

// Encoded words ("B" or "Q") for a header value; raises rtl::Exception on a
// bad charset or encoding letter.
std::string HdrEncodeInLine(std::string_view Input, const TSysCharSet& Specials, char EncType,
                            std::string_view CharSet, int MaxCol, bool DoFold);

// The next segment of Line from Pos; Pos becomes 2147483647 at the end.
std::string EvqWrapTextEx(std::string_view Line, std::string_view BreakStr,
                          const TSysCharSet& BreakingChars, int MaxCol,
                          const TSysCharSet& QuoteChars, int& Pos);
void FoldHdrLine(rtl::TStringList& HdrLines, std::string_view HdrLine);
std::string FoldString(std::string_view S, const TSysCharSet& BreakingChars, int MaxCol);
std::string UnFoldHdrLine(std::string_view S);

bool NeedsEncoding(std::string_view S);
bool NeedsEncodingPChar(const char* S);
void DotEscape(std::string& S);
std::string FilenameToContentType(std::string_view FileName);

}  // namespace mail

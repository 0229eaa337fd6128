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

// ---- Outgoing text in a character set ----

// The converter (iconv's name) that writes a declared character set: the
// declared name itself unless it is known here under another.
std::string CharsetConverterName(std::string_view Declared);
// Whether text can be written in the declared set here (it has a converter).
bool CharsetWritable(std::string_view Declared);
// Whether the text is well-formed UTF-8 (ASCII is).
bool IsUtf8(std::string_view Text);
// UTF-8 text in its composed form (NFC), so that a letter typed as a base
// and a combining accent is the one character a legacy set can hold. Text
// that is not UTF-8 comes back unchanged.
std::string ComposedUtf8(std::string_view Text);

struct TCharsetText {
    bool ok = false;          // every character was written
    bool known = true;        // the set has a converter here
    std::string text;         // the bytes (when ok)
    std::string unmappable;   // the first characters (UTF-8) the set cannot hold
};
// The program's UTF-8 text, composed, in the declared set.
TCharsetText Utf8ToCharset(std::string_view Utf8, std::string_view Declared);

// ---- Header values and MIME parameters ----
// Every header value and parameter goes out in ASCII, one way: text that
// needs encoding (8-bit or control characters, or "=?" that would read as
// an encoded word) is written in CharSet when that set holds all of it
// (and writes ASCII as ASCII), else in UTF-8. Text is the program's own
// (UTF-8); text that is not UTF-8 is taken as already written in CharSet.

// Characters a display name (a phrase) may not hold unencoded.
const TSysCharSet& PhraseSpecials();
// Whether a value must be encoded to stand in a header.
bool HeaderNeedsEncoding(std::string_view Text);
// Encoded words ("B" or "Q"), each of at most MaxWord characters (unless
// one character alone takes more) and each holding whole characters;
// Specials are encoded too in "Q" words.
std::vector<std::string> EncodeHeaderWords(std::string_view Text, std::string_view CharSet, char EncType,
                                           const TSysCharSet& Specials, size_t MaxWord = 75);
// The value as it stands in a header: unchanged when it needs no encoding,
// else its encoded words separated by blanks. A word must fit beside the
// header's name on the first line (a break between them reads as a blank
// at the value's start): MaxWord is what the name leaves of 78 columns.
std::string HeaderText(std::string_view Text, std::string_view CharSet, char EncType, const TSysCharSet& Specials,
                       size_t MaxWord = 75);
// A parameter as it follows "; " in a header, one entry per parameter
// written: name="value" alone for a short printable ASCII value without
// quotes or backslashes; else the RFC 2231 form (name*=charset''%XX...,
// in numbered pieces when long) followed by the plain form for readers
// that know no RFC 2231 (a quoted string, or encoded words when the value
// is not printable ASCII).
std::vector<std::string> MimeParameter(std::string_view Name, std::string_view Value, std::string_view CharSet,
                                       char EncType);
// A header line folded near MaxCol: a line break is put before blanks
// (outside quoted strings where it can, never before the value's first
// word), so that unfolding gives the line back. Lines already broken are
// folded piece by piece; a word longer than the column stays whole.
std::string FoldHeader(std::string_view Line, size_t MaxCol = 78);
// Whether a header line (with its folds) is safe to send: no NUL, every
// line break a CR LF followed by a blank and more than blanks, and no
// physical line longer than 998 characters.
bool HeaderLineSafe(std::string_view Line);

bool NeedsEncoding(std::string_view S);
bool NeedsEncodingPChar(const char* S);
void DotEscape(std::string& S);
std::string FilenameToContentType(std::string_view FileName);

}  // namespace mail

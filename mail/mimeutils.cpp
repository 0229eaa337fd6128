#include "mail/mimeutils.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"

namespace mail {

namespace {

constexpr char kBase64Chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr uint8_t kPad = 64;
constexpr uint8_t kNotBase64 = 255;
constexpr int kLastPos = INT_MAX;

constexpr std::array<uint8_t, 256> makeDecodeTable() {
    std::array<uint8_t, 256> t{};
    for (auto& v : t) v = kNotBase64;
    for (int i = 0; i < 64; ++i) t[static_cast<uint8_t>(kBase64Chars[i])] = static_cast<uint8_t>(i);
    t['='] = kPad;
    return t;
}
constexpr auto kDecodeTable = makeDecodeTable();

uint8_t byteAt(std::string_view s, size_t i) { return static_cast<uint8_t>(s[i]); }

// Writes up to three bytes as four characters at Dst, padding a short group.
void writeBase64Group(char* dst, const uint8_t* p, size_t n) {
    const uint32_t b0 = p[0];
    const uint32_t b1 = n > 1 ? p[1] : 0;
    const uint32_t b2 = n > 2 ? p[2] : 0;
    dst[0] = kBase64Chars[b0 >> 2];
    dst[1] = kBase64Chars[((b0 & 0x03) << 4) | (b1 >> 4)];
    dst[2] = n > 1 ? kBase64Chars[((b1 & 0x0F) << 2) | (b2 >> 6)] : '=';
    dst[3] = n > 2 ? kBase64Chars[b2 & 0x3F] : '=';
}

size_t base64Length(size_t bytes) { return (bytes + 2) / 3 * 4; }

void appendBase64Group(std::string& out, const uint8_t* p, size_t n) {
    const size_t at = out.size();
    out.resize(at + 4);
    writeBase64Group(out.data() + at, p, n);
}

void appendBase64(std::string& out, std::string_view in) {
    const auto* p = reinterpret_cast<const uint8_t*>(in.data());
    size_t at = out.size();
    out.resize(at + base64Length(in.size()));
    for (size_t i = 0; i < in.size(); i += 3, at += 4) writeBase64Group(out.data() + at, p + i, std::min<size_t>(3, in.size() - i));
}

// Writes the bytes of a group of N table values (2 to 4) at Dst and returns
// their count; a pad ends the bytes it yields.
size_t writeDecodedGroup(char* dst, const uint8_t* q, int n) {
    if (n < 2 || q[0] == kPad || q[1] == kPad) return 0;
    dst[0] = static_cast<char>((q[0] << 2) | (q[1] >> 4));
    if (n < 3 || q[2] == kPad) return 1;
    dst[1] = static_cast<char>(((q[1] << 4) | (q[2] >> 2)) & 0xFF);
    if (n < 4 || q[3] == kPad) return 2;
    dst[2] = static_cast<char>(((q[2] << 6) | q[3]) & 0xFF);
    return 3;
}

void appendHexEscape(std::string& out, uint8_t b) {
    out += '=';
    out += kHexDigits[b >> 4];
    out += kHexDigits[b & 0x0F];
}

bool isPrintableAscii(uint8_t c) { return c >= ' ' && c <= '~'; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A blank as the last byte of the input would end a line and be lost in
// transport, so it is written as an escape.
bool isTrailingBlank(std::string_view s, size_t i) { return s[i] == ' ' && i + 1 == s.size(); }

// The encoded form of the byte at I for the line encoders.
void appendQPByte(std::string& out, std::string_view s, size_t i, const TSysCharSet& charsToEncode,
                  bool shortSpace) {
    const uint8_t c = byteAt(s, i);
    if (c == ' ' && shortSpace && charsToEncode.Has(c))
        out += '_';
    else if (isPrintableAscii(c) && c != '=' && !charsToEncode.Has(c) && !isTrailingBlank(s, i))
        out += static_cast<char>(c);
    else
        appendHexEscape(out, c);
}

// One quoted-printable line from Pos. A unit (a byte, or with KeepChars a
// whole UTF-8 character) goes in only when the line then still leaves room
// for the soft-break "=" within MaxLen; a unit that does not fit ends the line
// with "=". An empty line always takes one unit, so every call advances.
std::string encodeQPLine(std::string_view buf, int maxLen, const TSysCharSet& charsToEncode,
                         bool shortSpace, int& pos, bool limitLines, bool keepChars) {
    std::string out;
    if (limitLines && maxLen > 0) out.reserve(static_cast<size_t>(maxLen));
    size_t i = pos < 1 ? 0 : static_cast<size_t>(pos - 1);
    std::string unit;
    while (i < buf.size()) {
        const size_t n = keepChars ? static_cast<size_t>(Utf8CharLength(buf, i)) : 1;
        unit.clear();
        for (size_t k = 0; k < n; ++k) appendQPByte(unit, buf, i + k, charsToEncode, shortSpace);
        if (limitLines && !out.empty() &&
            static_cast<int64_t>(out.size() + unit.size()) > static_cast<int64_t>(maxLen) - 1) {
            out += '=';
            pos = static_cast<int>(i + 1);
            return out;
        }
        out += unit;
        i += n;
    }
    pos = static_cast<int>(buf.size() + 1);
    return out;
}

std::string joinWords(const std::vector<std::string>& words) {
    std::string out;
    for (size_t i = 0; i < words.size(); ++i) {
        if (i > 0) out += "\r\n\t";
        out += words[i];
    }
    return out;
}

// Splits Input into runs of whole characters whose base64 form fits Room
// characters (no limit without folding); each run holds at least one character.
std::vector<std::string> base64Words(std::string_view input, const std::string& prefix, int maxCol,
                                     bool doFold) {
    const int64_t room = static_cast<int64_t>(maxCol) - static_cast<int64_t>(prefix.size()) - 2;
    std::vector<std::string> words;
    size_t start = 0;
    size_t i = 0;
    auto closeWord = [&](size_t end) {
        std::string w = prefix;
        appendBase64(w, input.substr(start, end - start));
        words.push_back(w + "?=");
        start = end;
    };
    while (i < input.size()) {
        const size_t n = static_cast<size_t>(Utf8CharLength(input, i));
        if (doFold && i > start && static_cast<int64_t>(base64Length(i + n - start)) > room) closeWord(i);
        i += n;
    }
    closeWord(input.size());
    return words;
}

std::vector<std::string> quotedWords(std::string_view input, const TSysCharSet& specials,
                                     const std::string& prefix, int maxCol, bool doFold) {
    const TSysCharSet charsToEncode = specials + TSysCharSet(" =?_");
    const int maxLen = maxCol - static_cast<int>(prefix.size()) - 2;
    std::vector<std::string> words;
    int pos = 1;
    while (pos <= static_cast<int>(input.size())) {
        std::string text = encodeQPLine(input, maxLen, charsToEncode, true, pos, doFold, true);
        if (!text.empty() && text.back() == '=') text.pop_back();
        words.push_back(prefix + text + "?=");
    }
    return words;
}

// Segments of S cut at the breaking characters, trimmed; blank-only pieces
// are dropped because a header line of blanks alone reads as the header's end.
std::vector<std::string> foldSegments(std::string_view s, const TSysCharSet& breakingChars, int maxCol) {
    std::vector<std::string> segs;
    int pos = 1;
    while (pos <= static_cast<int>(s.size())) {
        std::string seg = rtl::Trim(EvqWrapTextEx(s, "\r\n\t", breakingChars, maxCol, TSysCharSet(), pos));
        if (!seg.empty()) segs.push_back(std::move(seg));
    }
    return segs;
}

const TSysCharSet& headerBreakingChars() {
    static const TSysCharSet set("\t ,;>]");
    return set;
}

}  // namespace

TSysCharSet::TSysCharSet(std::string_view chars) {
    for (char c : chars) bits_.set(static_cast<uint8_t>(c));
}

TSysCharSet TSysCharSet::operator+(const TSysCharSet& other) const {
    TSysCharSet r = *this;
    r.bits_ |= other.bits_;
    return r;
}

int Utf8CharLength(std::string_view s, size_t i) {
    if (i >= s.size()) return 1;
    const uint8_t c = byteAt(s, i);
    int n = 0;
    uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;       // overlong
        if (c == 0xED) hi = 0x9F;       // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;       // overlong
        if (c == 0xF4) hi = 0x8F;       // beyond U+10FFFF
    } else {
        return 1;
    }
    if (i + static_cast<size_t>(n) > s.size()) return 1;
    const uint8_t second = byteAt(s, i + 1);
    if (second < lo || second > hi) return 1;
    for (int k = 2; k < n; ++k)
        if ((byteAt(s, i + static_cast<size_t>(k)) & 0xC0) != 0x80) return 1;
    return n;
}

// ---- Base64 ----

std::string Base64Encode(std::string_view Input) {
    std::string out;
    out.reserve(base64Length(Input.size()));
    appendBase64(out, Input);
    return out;
}

std::string Base64EncodeEx(std::string_view Input, int MaxLen, int& Pos) {
    std::string out;
    if (Pos < 1) Pos = 1;
    const auto* p = reinterpret_cast<const uint8_t*>(Input.data());
    // A line always takes one group, so a caller's loop moves on whatever MaxLen is.
    while (Pos <= static_cast<int>(Input.size()) && (out.empty() || static_cast<int>(out.size()) < MaxLen)) {
        const size_t i = static_cast<size_t>(Pos - 1);
        appendBase64Group(out, p + i, std::min<size_t>(3, Input.size() - i));
        Pos += 3;
    }
    return out;
}

std::string Base64Decode(std::string_view Input) {
    std::string out;
    Base64DecodeInto(Input, out);
    return out;
}

size_t Base64DecodeInto(std::string_view Input, std::string& Out) {
    Out.resize(Input.size() / 4 * 3 + 3);
    char* w = Out.data();
    const auto* p = reinterpret_cast<const uint8_t*>(Input.data());
    const auto* const end = p + Input.size();
    size_t taken = 0;
    uint8_t q[4];
    int n = 0;
    while (p < end) {
        // Between groups, four Base64 characters in a row (nearly all of a
        // mail's lines) give their three bytes at once.
        while (n == 0 && end - p >= 4) {
            const uint8_t a = kDecodeTable[p[0]], b = kDecodeTable[p[1]], c = kDecodeTable[p[2]],
                          d = kDecodeTable[p[3]];
            if ((a | b | c | d) >= kPad) break;
            w[0] = static_cast<char>((a << 2) | (b >> 4));
            w[1] = static_cast<char>(((b << 4) | (c >> 2)) & 0xFF);
            w[2] = static_cast<char>(((c << 6) | d) & 0xFF);
            w += 3;
            p += 4;
            taken += 4;
        }
        if (p == end) break;
        const uint8_t v = kDecodeTable[*p++];
        if (v == kNotBase64) continue;
        ++taken;
        q[n++] = v;
        if (n == 4) {
            w += writeDecodedGroup(w, q, 4);
            n = 0;
        }
    }
    w += writeDecodedGroup(w, q, n);
    Out.resize(static_cast<size_t>(w - Out.data()));
    return taken;
}

// ---- Base64 from a file ----

TEncFileStream::TEncFileStream(const std::string& FileName, int ShareMode)
    : fileName_(FileName), shareMode_(ShareMode), buf_(64 * 1024) {
    fd_ = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        throw rtl::EInOutError("Cannot open file \"" + FileName + "\". " + rtl::SysErrorMessage(errno));
}

TEncFileStream::~TEncFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

size_t TEncFileStream::Read(void* Buf, size_t Count) {
    auto* dst = static_cast<unsigned char*>(Buf);
    size_t done = 0;
    while (done < Count) {
        if (bufPos_ == bufLen_) {
            ssize_t r;
            do r = ::read(fd_, buf_.data(), buf_.size());
            while (r < 0 && errno == EINTR);
            if (r < 0)
                throw rtl::EInOutError("Cannot read file \"" + fileName_ + "\". " + rtl::SysErrorMessage(errno));
            if (r == 0) break;
            bufPos_ = 0;
            bufLen_ = static_cast<size_t>(r);
        }
        const size_t n = std::min(Count - done, bufLen_ - bufPos_);
        std::copy_n(buf_.data() + bufPos_, n, dst + done);
        bufPos_ += n;
        done += n;
    }
    return done;
}

PEncFileStream InitFileEncBase64(const std::string& FileName, int ShareMode) {
    return std::make_unique<TEncFileStream>(FileName, ShareMode);
}

std::string DoFileEncBase64(PEncFileStream& Stream, bool& More) {
    constexpr size_t kLineChars = 72;
    std::string out;
    More = false;
    if (!Stream) return out;
    out.reserve(kLineChars);
    uint8_t group[3];
    while (out.size() < kLineChars) {
        const size_t n = Stream->Read(group, 3);
        if (n > 0) appendBase64Group(out, group, n);
        More = n == 3;
        if (!More) break;
    }
    return out;
}

void EndFileEncBase64(PEncFileStream& Stream) { Stream.reset(); }

// ---- Quoted-printable ----

std::string EncodeQuotedPrintable(std::string_view S) {
    std::string out;
    out.reserve(S.size() + S.size() / 4);
    for (size_t i = 0; i < S.size(); ++i) {
        const uint8_t c = byteAt(S, i);
        if (c == '=' || !isPrintableAscii(c) || isTrailingBlank(S, i))
            appendHexEscape(out, c);
        else
            out += static_cast<char>(c);
    }
    return out;
}

std::string DecodeQuotedPrintable(std::string_view S) {
    std::string out;
    out.reserve(S.size());
    size_t i = 0;
    while (i < S.size()) {
        const size_t eq = S.find('=', i);
        if (eq == std::string_view::npos) {
            out.append(S.substr(i));
            break;
        }
        out.append(S.substr(i, eq - i));
        i = eq + 1;
        if (i == S.size()) break;  // a lone "=" at the very end
        if (S[i] == '\r' || S[i] == '\n') {  // soft break: "=" CR LF, or "=" LF as written on Unix
            if (S[i] == '\r') ++i;
            if (i < S.size() && S[i] == '\n') ++i;
            continue;
        }
        const std::string_view pair = S.substr(i, 2);
        const int hi = hexValue(pair[0]);
        const int lo = pair.size() == 2 ? hexValue(pair[1]) : -1;
        if (hi < 0 || lo < 0)
            throw rtl::EConvertError("'$" + std::string(pair) + "' is not a valid integer value");
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

std::string SplitQuotedPrintableString(std::string_view S) {
    constexpr size_t kFirst = 76;
    constexpr size_t kStep = 75;
    const size_t len = S.size();
    if (len <= kFirst) return std::string(S);
    std::string out;
    out.reserve(len + len / kStep * 3 + 3);
    size_t start = 1;
    size_t end = kFirst;
    do {
        // Never split "=" from its two digits.
        if (S[end - 2] == '=')
            end -= 1;
        else if (S[end - 3] == '=')
            end -= 2;
        out.append(S.substr(start - 1, end - start));
        out += "=\r\n";
        start = end;
        end = start + kStep;
    } while (len >= end);
    out.append(S.substr(start - 1));
    return out;
}

std::string StrEncodeQP(std::string_view Input, int MaxCol, const TSysCharSet& CharsToEncode) {
    std::string out;
    out.reserve(Input.size() * 2);
    int col = 1;
    for (size_t i = 0; i < Input.size(); ++i) {
        const size_t before = out.size();
        appendQPByte(out, Input, i, CharsToEncode, false);
        col += static_cast<int>(out.size() - before);
        if (col >= MaxCol) {
            out += "=\r\n";
            col = 1;
        }
    }
    return out;
}

std::string StrEncodeQPEx(std::string_view Buf, int MaxLen, const TSysCharSet& CharsToEncode,
                          bool ShortSpace, int& Pos, bool LimitLines) {
    return encodeQPLine(Buf, MaxLen, CharsToEncode, ShortSpace, Pos, LimitLines, false);
}

// ---- Encoded words ----

std::string HdrEncodeInLine(std::string_view Input, const TSysCharSet& Specials, char EncType,
                            std::string_view CharSet, int MaxCol, bool DoFold) {
    if (DoFold && MaxCol < 25) MaxCol = 25;
    if (CharSet.size() < 4)
        throw rtl::Exception("Function 'HdrEncodeInLine', invalid CharSet: " + std::string(CharSet));
    if (EncType != 'B' && EncType != 'Q')
        throw rtl::Exception(std::string("Function 'HdrEncodeInLine', invalid EncType: ") + EncType);
    const std::string prefix = "=?" + rtl::LowerCase(CharSet) + "?" + EncType + "?";
    if (EncType == 'B') return joinWords(base64Words(Input, prefix, MaxCol, DoFold));
    return joinWords(quotedWords(Input, Specials, prefix, MaxCol, DoFold));
}

// ---- Wrapping and folding ----

std::string EvqWrapTextEx(std::string_view Line, std::string_view BreakStr,
                          const TSysCharSet& BreakingChars, int MaxCol,
                          const TSysCharSet& QuoteChars, int& Pos) {
    constexpr char kNoQuote = ' ';
    if (Pos < 1) Pos = 1;
    const int len = static_cast<int>(Line.size());
    const int start = Pos;
    int col = 1;
    int breakPos = 0;
    char quote = kNoQuote;
    bool existingBreak = false;
    while (Pos <= len) {
        const char c = Line[static_cast<size_t>(Pos - 1)];
        const bool outsideQuotes = quote == kNoQuote;
        if (outsideQuotes && !BreakStr.empty() && c == BreakStr[0] &&
            rtl::SameText(BreakStr, Line.substr(static_cast<size_t>(Pos - 1), BreakStr.size()))) {
            Pos += static_cast<int>(BreakStr.size()) - 1;
            breakPos = Pos;
            existingBreak = true;
        } else if (outsideQuotes && BreakingChars.Has(static_cast<uint8_t>(c))) {
            breakPos = Pos;
        } else if (QuoteChars.Has(static_cast<uint8_t>(c))) {
            if (c == quote)
                quote = kNoQuote;
            else if (outsideQuotes)
                quote = c;
        }
        ++Pos;
        ++col;
        if (quote == kNoQuote && (existingBreak || (col > MaxCol && breakPos > start))) {
            const int segEnd = existingBreak ? breakPos - static_cast<int>(BreakStr.size()) : breakPos;
            Pos = breakPos + 1;
            return std::string(Line.substr(static_cast<size_t>(start - 1),
                                           static_cast<size_t>(std::max(0, segEnd - start + 1))));
        }
    }
    Pos = kLastPos;
    return start <= len ? std::string(Line.substr(static_cast<size_t>(start - 1))) : std::string();
}

void FoldHdrLine(rtl::TStringList& HdrLines, std::string_view HdrLine) {
    const auto segs = foldSegments(HdrLine, headerBreakingChars(), 76);
    for (size_t i = 0; i < segs.size(); ++i) HdrLines.Add(i == 0 ? segs[i] : "\t" + segs[i]);
}

std::string FoldString(std::string_view S, const TSysCharSet& BreakingChars, int MaxCol) {
    return joinWords(foldSegments(S, BreakingChars, MaxCol));
}

std::string UnFoldHdrLine(std::string_view S) {
    std::string out;
    out.reserve(S.size());
    for (size_t i = 0; i < S.size(); ++i) {
        if (S[i] != '\r') {
            out += S[i];
        } else if (i + 2 < S.size() && S[i + 1] == '\n' && (S[i + 2] == '\t' || S[i + 2] == ' ')) {
            out += ' ';
            i += 2;
        }
    }
    return out;
}

// ---- Small helpers ----

bool NeedsEncoding(std::string_view S) {
    return std::any_of(S.begin(), S.end(), [](char ch) {
        const auto c = static_cast<uint8_t>(ch);
        return !isPrintableAscii(c) && c != '\t' && c != '\n' && c != '\r';
    });
}

bool NeedsEncodingPChar(const char* S) { return S != nullptr && NeedsEncoding(std::string_view(S)); }

void DotEscape(std::string& S) {
    std::string out;
    out.reserve(S.size() + S.size() / 16 + 1);
    if (!S.empty() && S[0] == '.') out += '.';
    size_t i = 0;
    while (i < S.size()) {
        const size_t crlf = S.find("\r\n.", i);
        if (crlf == std::string::npos) {
            out.append(S, i, std::string::npos);
            break;
        }
        out.append(S, i, crlf + 2 - i);
        out += '.';
        i = crlf + 2;
    }
    S = std::move(out);
}

std::string FilenameToContentType(std::string_view FileName) {
    struct Entry {
        std::string_view ext, type;
    };
    static constexpr Entry kTypes[] = {
        {"htm", "text/html"},   {"html", "text/html"},  {"gif", "image/gif"},   {"bmp", "image/bmp"},
        {"jpg", "image/jpeg"},  {"jpeg", "image/jpeg"}, {"txt", "text/plain"},
    };
    const std::string ext = rtl::LowerCase(rtl::CopyFrom(rtl::ExtractFileExt(FileName), 2));
    for (const auto& e : kTypes)
        if (e.ext == ext) return std::string(e.type);
    return "application/octet-stream";
}

}  // namespace mail

#include "mail/mimeutils.h"

#include <fcntl.h>
#include <iconv.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/fileio.h"
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
    // A regular file only: a pipe named as an attachment is refused, not waited on.
    struct stat st {};
    rtl::TFileFailure why;
    fd_ = rtl::OpenRegularRead(FileName, st, why);
    if (fd_ < 0) throw rtl::EInOutError("Cannot open file \"" + FileName + "\". " + why.Text());
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

// ---- Outgoing text in a character set ----

namespace {

// Declared names the converters know under another name (or the variant
// the declaring system means, as CP932 for shift_jis; IBM1160 is IBM-Thai
// with the euro added); an empty converter for a set no message text can be
// written in here (IBM290 has no lower-case letters).
struct TConverterName {
    const char* declared;
    const char* converter;
};
constexpr TConverterName kConverterNames[] = {
    {"ibm290", ""},                {"dos-862", "CP862"},          {"ibm00858", "IBM858"},         {"ibm01047", "IBM1047"},
    {"ibm01140", "IBM1140"},       {"ibm01141", "IBM1141"},        {"ibm01142", "IBM1142"},
    {"ibm01143", "IBM1143"},       {"ibm01144", "IBM1144"},        {"ibm01145", "IBM1145"},
    {"ibm01146", "IBM1146"},       {"ibm01147", "IBM1147"},        {"ibm01148", "IBM1148"},
    {"ibm01149", "IBM1149"},       {"ibm737", "CP737"},            {"iso-8859-8-i", "ISO-8859-8"},
    {"ks_c_5601-1987", "CP949"},   {"shift_jis", "CP932"},         {"unicodefffe", "UTF-16BE"},
    {"x-cp20261", "T.61-8BIT"},    {"x-cp20269", "ISO_6937"},      {"x-cp20936", "GB2312"},
    {"x-cp20949", "EUC-KR"},       {"x-cp50227", "ISO-2022-CN"},   {"x-ia5-german", "ISO646-DE"},
    {"x-ia5-norwegian", "ISO646-NO"}, {"x-ia5-swedish", "ISO646-SE"}, {"x-mac-ce", "MAC-CENTRALEUROPE"},
    {"x-mac-cyrillic", "MAC-CYRILLIC"}, {"x-mac-icelandic", "MAC-IS"}, {"x-mac-ukrainian", "MAC-UK"},
    {"ibm-thai", "IBM1160"},
};

bool isUtf8Converter(std::string_view converter) {
    const std::string c = rtl::UpperCase(std::string(converter));
    return c == "UTF-8" || c == "UTF8";
}

// A converter from UTF-8 into one set, opened once and used for many texts;
// each conversion starts and ends in the set's initial shift state.
class TOutConverter {
public:
    explicit TOutConverter(const std::string& converter) {
        if (!converter.empty()) cd_ = ::iconv_open(converter.c_str(), "UTF-8");
    }
    ~TOutConverter() {
        if (open()) ::iconv_close(cd_);
    }
    TOutConverter(const TOutConverter&) = delete;
    TOutConverter& operator=(const TOutConverter&) = delete;
    bool open() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // False when a character cannot be written; Bad then holds up to the
    // first 40 bytes of such characters (each skipped, the rest still read).
    bool convert(std::string_view in, std::string& out, std::string* bad = nullptr) {
        ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        out.resize(in.size() * 4 + 16);
        char* src = const_cast<char*>(in.data());
        size_t left = in.size();
        char* dst = out.data();
        size_t room = out.size();
        auto grow = [&] {
            const size_t used = static_cast<size_t>(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            room = out.size() - used;
        };
        bool ok = true;
        while (left > 0) {
            if (::iconv(cd_, &src, &left, &dst, &room) != static_cast<size_t>(-1)) continue;
            if (errno == E2BIG) {
                grow();
                continue;
            }
            // A character the set cannot hold, or a broken sequence.
            ok = false;
            const size_t at = static_cast<size_t>(src - in.data());
            const size_t n = std::min(left, static_cast<size_t>(Utf8CharLength(in, at)));
            if (bad && bad->size() < 40) bad->append(in.substr(at, n));
            src += n;
            left -= n;
        }
        // The end of the shift state, for the sets that have one.
        while (::iconv(cd_, nullptr, nullptr, &dst, &room) == static_cast<size_t>(-1) && errno == E2BIG) grow();
        out.resize(static_cast<size_t>(dst - out.data()));
        return ok;
    }

private:
    iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
};

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; });
}

bool isToken(std::string_view s) {
    static const TSysCharSet tokenChars(
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!#$&+-^_`{}~.");
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return tokenChars.Has(static_cast<uint8_t>(c)); });
}

// How a header value is written: the label of its set, the text to write
// (UTF-8 when Utf8) and the converter that writes it (empty: as it is).
struct THeaderSet {
    std::string label;
    std::string source;
    std::string converter;
    bool utf8 = true;
};

THeaderSet headerSet(std::string_view text, std::string_view charset) {
    THeaderSet set;
    if (!IsUtf8(text)) {
        set.label = isToken(charset) ? rtl::LowerCase(std::string(charset)) : "iso-8859-1";
        set.source = std::string(text);
        set.utf8 = false;
        return set;
    }
    set.source = ComposedUtf8(text);
    set.label = "utf-8";
    const std::string converter = CharsetConverterName(charset);
    if (!isToken(charset) || isUtf8Converter(converter)) return set;
    TOutConverter conv(converter);
    if (!conv.open()) return set;
    // Only a set that writes ASCII as ASCII can stand in an encoded word
    // beside the header's own text.
    static const std::string ascii = [] {
        std::string a;
        for (char c = ' '; c < '\x7f'; ++c) a += c;
        return a;
    }();
    std::string out;
    if (!conv.convert(ascii, out) || out != ascii) return set;
    if (!conv.convert(set.source, out)) return set;
    set.label = rtl::LowerCase(std::string(charset));
    set.converter = converter;
    return set;
}

std::string qWord(std::string_view bytes, const TSysCharSet& specials) {
    const TSysCharSet charsToEncode = specials + TSysCharSet(" =?_");
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) appendQPByte(out, bytes, i, charsToEncode, true);
    return out;
}

// Header lines are folded to this many columns.
constexpr size_t kFoldColumn = 78;
// A parameter piece stays within this, so that its line fits the column.
constexpr size_t kParamRoom = kFoldColumn - 8;

}  // namespace

std::string CharsetConverterName(std::string_view Declared) {
    const std::string lower = rtl::LowerCase(rtl::Trim(std::string(Declared)));
    for (const auto& n : kConverterNames)
        if (lower == n.declared) return n.converter;
    return rtl::Trim(std::string(Declared));
}

bool IsUtf8(std::string_view Text) {
    for (size_t i = 0; i < Text.size();) {
        if (byteAt(Text, i) < 0x80) {
            ++i;
            continue;
        }
        const int n = Utf8CharLength(Text, i);
        if (n == 1) return false;
        i += static_cast<size_t>(n);
    }
    return true;
}

std::string ComposedUtf8(std::string_view Text) {
    if (isAscii(Text) || !IsUtf8(Text) || Text.size() > static_cast<size_t>(INT32_MAX / 4)) return std::string(Text);
    UErrorCode e = U_ZERO_ERROR;
    const UNormalizer2* nfc = unorm2_getNFCInstance(&e);
    if (U_FAILURE(e)) return std::string(Text);
    std::vector<UChar> wide(Text.size() + 1);
    int32_t wideLen = 0;
    u_strFromUTF8(wide.data(), static_cast<int32_t>(wide.size()), &wideLen, Text.data(),
                  static_cast<int32_t>(Text.size()), &e);
    if (U_FAILURE(e)) return std::string(Text);
    if (unorm2_quickCheck(nfc, wide.data(), wideLen, &e) == UNORM_YES && U_SUCCESS(e)) return std::string(Text);
    e = U_ZERO_ERROR;
    // Composing never makes a text longer than three times its length.
    std::vector<UChar> composed(static_cast<size_t>(wideLen) * 3 + 1);
    const int32_t composedLen =
        unorm2_normalize(nfc, wide.data(), wideLen, composed.data(), static_cast<int32_t>(composed.size()), &e);
    if (U_FAILURE(e)) return std::string(Text);
    std::string out(static_cast<size_t>(composedLen) * 3 + 1, '\0');
    int32_t outLen = 0;
    u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &outLen, composed.data(), composedLen, &e);
    if (U_FAILURE(e)) return std::string(Text);
    out.resize(static_cast<size_t>(outLen));
    return out;
}

bool CharsetWritable(std::string_view Declared) {
    const std::string converter = CharsetConverterName(Declared);
    return isUtf8Converter(converter) || TOutConverter(converter).open();
}

TCharsetText Utf8ToCharset(std::string_view Utf8, std::string_view Declared) {
    TCharsetText r;
    const std::string text = ComposedUtf8(Utf8);
    const std::string converter = CharsetConverterName(Declared);
    if (isUtf8Converter(converter)) {
        r.ok = IsUtf8(text);
        if (r.ok) r.text = text;
        else r.unmappable = "(bytes that are not UTF-8)";
        return r;
    }
    TOutConverter conv(converter);
    if (!conv.open()) {
        // Plain ASCII needs no converter, whatever the set (the sets that
        // are not ASCII-based all have one).
        r.known = false;
        r.ok = isAscii(text);
        if (r.ok) r.text = text;
        return r;
    }
    std::string out;
    r.ok = conv.convert(text, out, &r.unmappable);
    if (r.ok) r.text = std::move(out);
    return r;
}

// ---- Header values and MIME parameters ----

const TSysCharSet& PhraseSpecials() {
    // Everything but letters, digits and the few signs an encoded word may
    // carry plainly in a phrase.
    static const TSysCharSet set("\"#$%&'(),.:;<>@[\\]^`{|}~");
    return set;
}

bool HeaderNeedsEncoding(std::string_view Text) {
    return NeedsEncoding(Text) || Text.find("=?") != std::string_view::npos ||
           Text.find_first_of("\r\n") != std::string_view::npos;
}

std::vector<std::string> EncodeHeaderWords(std::string_view Text, std::string_view CharSet, char EncType,
                                           const TSysCharSet& Specials, size_t MaxWord) {
    if (EncType != 'B' && EncType != 'Q')
        throw rtl::Exception(std::string("Function 'EncodeHeaderWords', invalid EncType: ") + EncType);
    const THeaderSet set = headerSet(Text, CharSet);
    TOutConverter conv(set.converter);
    const std::string prefix = "=?" + set.label + "?" + EncType + "?";
    std::string bytes;
    auto encode = [&](std::string_view run) {
        if (conv.open()) conv.convert(run, bytes);
        else bytes.assign(run);
        return prefix + (EncType == 'B' ? Base64Encode(bytes) : qWord(bytes, Specials)) + "?=";
    };
    // Runs of whole characters, each as long as its word fits (and at
    // least one character, whatever the set's name takes).
    std::vector<std::string> words;
    const std::string_view src = set.source;
    size_t start = 0;
    std::string word;
    for (size_t i = 0; i < src.size();) {
        const size_t n = set.utf8 ? static_cast<size_t>(Utf8CharLength(src, i)) : 1;
        std::string longer = encode(src.substr(start, i + n - start));
        if (longer.size() > MaxWord && i > start) {
            words.push_back(std::move(word));
            start = i;
            word = encode(src.substr(i, n));
        } else {
            word = std::move(longer);
        }
        i += n;
    }
    if (start < src.size()) words.push_back(std::move(word));
    return words;
}

std::string HeaderText(std::string_view Text, std::string_view CharSet, char EncType, const TSysCharSet& Specials,
                       size_t MaxWord) {
    if (!HeaderNeedsEncoding(Text)) return std::string(Text);
    std::string out;
    for (const std::string& w : EncodeHeaderWords(Text, CharSet, EncType, Specials, MaxWord))
        out += (out.empty() ? "" : " ") + w;
    return out;
}

std::vector<std::string> MimeParameter(std::string_view Name, std::string_view Value, std::string_view CharSet,
                                       char EncType) {
    const std::string name(Name);
    const bool printable = !HeaderNeedsEncoding(Value) && Value.find('\t') == std::string_view::npos;
    if (printable && Value.find_first_of("\"\\") == std::string_view::npos &&
        Name.size() + Value.size() + 4 <= kParamRoom)
        return {name + "=\"" + std::string(Value) + "\""};

    // RFC 2231: the set's bytes, every one that is not a plain token
    // character as %XX, cut into numbered pieces (never inside an escape,
    // nor inside a UTF-8 character) when the whole does not fit a line.
    const THeaderSet set = headerSet(Value, CharSet);
    std::string bytes = set.source;
    if (!set.converter.empty()) TOutConverter(set.converter).convert(set.source, bytes);
    static const TSysCharSet attributeChars(
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!#$&+-.^_`|~");
    std::vector<std::string> units;
    for (char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        std::string unit = attributeChars.Has(b) ? std::string(1, c)
                                                 : std::string{'%', kHexDigits[b >> 4], kHexDigits[b & 0x0F]};
        // A UTF-8 continuation byte stays with the character it belongs to.
        if (set.label == "utf-8" && (b & 0xC0) == 0x80 && !units.empty()) units.back() += unit;
        else units.push_back(std::move(unit));
    }
    const std::string head = set.label + "''";
    std::vector<std::string> params;
    std::string whole = head;
    for (const auto& u : units) whole += u;
    if (name.size() + 2 + whole.size() <= kParamRoom) {
        params.push_back(name + "*=" + whole);
    } else {
        std::string piece = head;
        auto close = [&] {
            params.push_back(name + "*" + rtl::IntToStr(static_cast<int>(params.size())) + "*=" + piece);
            piece.clear();
        };
        for (const auto& u : units) {
            const size_t label = name.size() + 6;  // name*NN*=
            if (!piece.empty() && label + piece.size() + u.size() > kParamRoom) close();
            piece += u;
        }
        if (!piece.empty()) close();
    }

    // The plain form for readers that know no RFC 2231.
    std::string plain;
    if (printable) {
        for (char c : Value) {
            if (c == '"' || c == '\\') plain += '\\';
            plain += c;
        }
    } else {
        // Words short enough that the first fits its line beside the name.
        const size_t room = kFoldColumn - std::min(kFoldColumn / 2, name.size() + 6);
        for (const std::string& w : EncodeHeaderWords(Value, CharSet, EncType, PhraseSpecials(), room))
            plain += (plain.empty() ? "" : " ") + w;
    }
    params.push_back(name + "=\"" + plain + "\"");
    return params;
}

namespace {

bool isWsp(char c) { return c == ' ' || c == '\t'; }

// One physical line folded. The first line of a header keeps its name and
// the value's first word together: a reader may keep the blank of a break
// between them as part of the value.
std::string foldPiece(std::string_view p, size_t maxCol, bool first) {
    if (p.size() <= maxCol) return std::string(p);
    // Whether each position lies inside a quoted string.
    std::vector<bool> quoted(p.size());
    bool inQuote = false;
    for (size_t i = 0; i < p.size(); ++i) {
        quoted[i] = inQuote;
        if (inQuote && p[i] == '\\') {
            if (i + 1 < p.size()) quoted[++i] = true;
        } else if (p[i] == '"') {
            inQuote = !inQuote;
        }
    }
    size_t lastWord = p.size();
    while (lastWord > 0 && isWsp(p[lastWord - 1])) --lastWord;
    size_t minBreak = 1;
    if (first) {
        size_t i = p.find(':');
        i = i == std::string_view::npos ? 0 : i + 1;
        while (i < p.size() && isWsp(p[i])) ++i;
        while (i < p.size() && !isWsp(p[i])) ++i;
        minBreak = i;
    }
    std::string out;
    size_t start = 0;
    while (p.size() - start > maxCol) {
        size_t outside = std::string_view::npos, inside = std::string_view::npos, beyond = std::string_view::npos;
        bool text = false;  // the line so far holds more than blanks
        for (size_t i = start; i < lastWord; ++i) {
            if (!isWsp(p[i])) {
                text = true;
                continue;
            }
            if (!text || i < minBreak) continue;
            if (i - start > maxCol) {
                beyond = i;
                break;
            }
            (quoted[i] ? inside : outside) = i;
        }
        const size_t at = outside != std::string_view::npos  ? outside
                          : inside != std::string_view::npos ? inside
                                                             : beyond;
        if (at == std::string_view::npos) break;
        out.append(p.substr(start, at - start)).append("\r\n");
        start = at;
    }
    out.append(p.substr(start));
    return out;
}

}  // namespace

std::string FoldHeader(std::string_view Line, size_t MaxCol) {
    std::string out;
    size_t start = 0;
    while (true) {
        const size_t crlf = Line.find("\r\n", start);
        const std::string_view piece = Line.substr(start, crlf == std::string_view::npos ? std::string_view::npos : crlf - start);
        out += foldPiece(piece, MaxCol, start == 0);
        if (crlf == std::string_view::npos) break;
        out += "\r\n";
        start = crlf + 2;
    }
    return out;
}

bool HeaderLineSafe(std::string_view Line) {
    constexpr size_t kMaxLine = 998;
    size_t lineStart = 0;
    for (size_t i = 0; i < Line.size(); ++i) {
        const char c = Line[i];
        if (c == '\0' || c == '\n') return false;
        if (c != '\r') continue;
        if (i - lineStart > kMaxLine) return false;
        if (i + 2 >= Line.size() || Line[i + 1] != '\n' || !isWsp(Line[i + 2])) return false;
        // A continuation of blanks alone would read as the header's end.
        size_t j = i + 2;
        while (j < Line.size() && isWsp(Line[j])) ++j;
        if (j == Line.size() || Line[j] == '\r') return false;
        lineStart = i + 2;
        ++i;
    }
    return Line.size() - lineStart <= kMaxLine;
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
        // Pictures the composer inserts carry their own type, so that a
        // reader shows them in place.
        {"png", "image/png"},   {"jpe", "image/jpeg"},  {"jfif", "image/jpeg"}, {"ico", "image/x-icon"},
        {"tif", "image/tiff"},  {"tiff", "image/tiff"}, {"webp", "image/webp"}, {"svg", "image/svg+xml"},
        {"emf", "image/emf"},   {"wmf", "image/wmf"},
    };
    const std::string ext = rtl::LowerCase(rtl::CopyFrom(rtl::ExtractFileExt(FileName), 2));
    for (const auto& e : kTypes)
        if (e.ext == ext) return std::string(e.type);
    return "application/octet-stream";
}

}  // namespace mail

// Received text in its declared character set turned into UTF-8, and GUIDs.
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <random>

#include "helpers/internal.h"
#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace helpers {

namespace {

struct CodePageIds {
    bool loaded = false;
    std::string text;
};

CodePageIds& cpids() {
    static CodePageIds ids;
    return ids;
}

struct CodePageName {
    int32_t codepage;
    const char* name;
};

// Windows code page numbers whose converter has a name other than "CP" + number.
constexpr CodePageName kNames[] = {
    {0, "UTF-8"},          {1, "CP437"},          {2, "MACINTOSH"},         {3, "UTF-8"},
    {1200, "UTF-16LE"},    {1201, "UTF-16BE"},    {1361, "JOHAB"},          {10000, "MACINTOSH"},
    {10007, "MAC-CYRILLIC"}, {10029, "MAC-CENTRALEUROPE"}, {12000, "UTF-32LE"}, {12001, "UTF-32BE"},
    {20127, "ASCII"},      {20866, "KOI8-R"},     {20932, "EUC-JP"},        {20936, "GB2312"},
    {21866, "KOI8-U"},     {28591, "ISO-8859-1"}, {28592, "ISO-8859-2"},    {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"}, {28595, "ISO-8859-5"}, {28596, "ISO-8859-6"},    {28597, "ISO-8859-7"},
    {28598, "ISO-8859-8"}, {28599, "ISO-8859-9"}, {28603, "ISO-8859-13"},   {28605, "ISO-8859-15"},
    {38598, "ISO-8859-8"}, {50220, "ISO-2022-JP"}, {50221, "ISO-2022-JP"},  {50222, "ISO-2022-JP"},
    {50225, "ISO-2022-KR"}, {51932, "EUC-JP"},    {51936, "EUC-CN"},        {51949, "EUC-KR"},
    {54936, "GB18030"},    {65000, "UTF-7"},      {65001, "UTF-8"},
};

std::string convertername(int32_t codepage) {
    for (const auto& n : kNames)
        if (n.codepage == codepage) return n.name;
    return "CP" + rtl::IntToStr(codepage);
}

// What a byte that cannot be read in the source set becomes.
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

}  // namespace

void detail::resetcodepages() { cpids() = CodePageIds{}; }

std::string charsetconv(std::string_view text, std::string_view charset) {
    CodePageIds& ids = cpids();
    if (!ids.loaded) {
        ids.text = loadtext(homedir + "codepageids.txt");
        ids.loaded = true;
    }
    if (charset.empty()) return validutf8(text);
    const std::string key = "~" + rtl::LowerCase(charset) + "=";
    const size_t p = ids.text.find(key);
    if (p == std::string::npos) return validutf8(text);
    // The number is read from its digits, however many of the five there are.
    const std::string field = ids.text.substr(p + key.size(), 5);
    const size_t digits = std::find_if(field.begin(), field.end(), [](char c) { return c < '0' || c > '9'; }) -
                          field.begin();
    if (digits == 0) return validutf8(text);
    return cpconv(text, static_cast<int32_t>(rtl::StrToIntDef(field.substr(0, digits), 0)));
}

namespace {

// What each byte of a single-byte set reads as, in UTF-8 (at most four
// bytes: every such set stays within the first plane).
struct TByteTable {
    struct Entry {
        char utf8[4];
        uint8_t length;
    };
    Entry bytes[256];
    bool asciiSame = true;  // ASCII reads as ASCII, as in nearly every set
};

// Converters are opened once per code page: opening one costs far more
// than converting a header. A set that reads one byte as one character
// also gets a byte table, made from its own converter, as going through the
// converter a character at a time costs more than all else a text of that
// set goes through.
class TConverters {
public:
    ~TConverters() {
        for (auto& [cp, cd] : open_)
            if (cd != reinterpret_cast<iconv_t>(-1)) ::iconv_close(cd);
    }
    iconv_t get(int32_t codepage) {
        auto it = open_.find(codepage);
        if (it == open_.end()) it = open_.emplace(codepage, ::iconv_open("UTF-8", convertername(codepage).c_str())).first;
        if (it->second != reinterpret_cast<iconv_t>(-1)) ::iconv(it->second, nullptr, nullptr, nullptr, nullptr);
        return it->second;
    }
    // Null for a set that is not read byte by byte.
    const TByteTable* table(int32_t codepage, bool singlebyte) {
        auto it = tables_.find(codepage);
        if (it == tables_.end()) it = tables_.emplace(codepage, singlebyte ? maketable(codepage) : nullptr).first;
        return it->second.get();
    }

private:
    std::unique_ptr<TByteTable> maketable(int32_t codepage) {
        iconv_t cd = get(codepage);
        if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
        auto t = std::make_unique<TByteTable>();
        for (int b = 0; b < 256; ++b) {
            char in = static_cast<char>(b);
            char* ip = &in;
            size_t inleft = 1;
            auto& e = t->bytes[b];
            char* o = e.utf8;
            size_t oleft = sizeof e.utf8;
            ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
            const size_t r = ::iconv(cd, &ip, &inleft, &o, &oleft);
            const int err = errno;
            if (r != static_cast<size_t>(-1) && inleft == 0 && ::iconv(cd, nullptr, nullptr, &o, &oleft) == 0) {
                e.length = static_cast<uint8_t>(o - e.utf8);
            } else if (r == static_cast<size_t>(-1) && err == EILSEQ && o == e.utf8) {
                std::memcpy(e.utf8, kReplacement.data(), kReplacement.size());
                e.length = static_cast<uint8_t>(kReplacement.size());
            } else {
                // A byte that starts a longer character, or more than fits: no
                // single-byte set after all.
                return nullptr;
            }
        }
        for (int b = 0; b < 0x80; ++b)
            if (t->bytes[b].length != 1 || t->bytes[b].utf8[0] != static_cast<char>(b)) t->asciiSame = false;
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        return t;
    }

    std::map<int32_t, iconv_t> open_;
    std::map<int32_t, std::unique_ptr<TByteTable>> tables_;
};

std::string bytetableconv(std::string_view text, const TByteTable& t) {
    const auto* begin = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = begin + text.size();
    // The exact length first: a guess would have the output filled twice.
    size_t length = 0;
    for (const auto* p = begin; p < end; ++p) length += t.bytes[*p].length;
    std::string out(length, '\0');
    char* w = out.data();
    for (const auto* p = begin; p < end;) {
        // Runs of ASCII eight bytes at a time.
        while (t.asciiSame && end - p >= 8) {
            uint64_t v;
            std::memcpy(&v, p, 8);
            if (v & 0x8080808080808080ULL) break;
            std::memcpy(w, p, 8);
            w += 8;
            p += 8;
        }
        if (p == end) break;
        const auto& e = t.bytes[*p++];
        std::memcpy(w, e.utf8, e.length);
        w += e.length;
    }
    return out;
}

}  // namespace

namespace {

// The length of the well-formed UTF-8 character at I, 0 when none starts there.
size_t utf8length(std::string_view text, size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) return 1;
    const size_t n = (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3 : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
    if (n == 0 || i + n > text.size()) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    const auto c1 = static_cast<unsigned char>(text[i + 1]);
    // No overlong forms, surrogates or code points past U+10FFFF.
    if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 > 0x9F) || (c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 > 0x8F))
        return 0;
    return n;
}

// Windows-1252's characters for the bytes 0x80 to 0x9F; its five gaps read as Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void appendcp1252(std::string& out, unsigned char c) {
    const char16_t u = (c >= 0x80 && c <= 0x9F) ? kCp1252High[c - 0x80] : c;
    if (u < 0x800) {
        out += static_cast<char>(0xC0 | (u >> 6));
    } else {
        out += static_cast<char>(0xE0 | (u >> 12));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (u & 0x3F));
}

}  // namespace

bool detail::isascii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

detail::TTextKind detail::textkind(std::string_view text) {
    bool ascii = true;
    for (size_t i = 0; i < text.size();) {
        // Runs of ASCII, the usual case, eight bytes at a time.
        while (i + 8 <= text.size()) {
            uint64_t w;
            std::memcpy(&w, text.data() + i, 8);
            if (w & 0x8080808080808080ULL) break;
            i += 8;
        }
        while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
        if (i >= text.size()) break;
        const size_t n = utf8length(text, i);
        if (n == 0) return TTextKind::bytes;
        ascii = false;
        i += n;
    }
    return ascii ? TTextKind::ascii : TTextKind::utf8;
}

bool isutf8(std::string_view text) { return detail::textkind(text) != detail::TTextKind::bytes; }

std::string validutf8(std::string_view text) {
    if (isutf8(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (size_t i = 0; i < text.size();) {
        const size_t n = utf8length(text, i);
        if (n == 0) {
            appendcp1252(out, static_cast<unsigned char>(text[i]));
            ++i;
        } else {
            out.append(text, i, n);
            i += n;
        }
    }
    return out;
}

std::string cpconv(std::string_view text, int32_t codepage) {
    // Text that is already what the target holds needs no converter. (Not so
    // for the 7-bit and wide sets, whose ASCII bytes mean something else.)
    const std::string name = convertername(codepage);
    const bool wideOr7bit = codepage == 1200 || codepage == 1201 || codepage == 12000 || codepage == 12001 ||
                            codepage == 65000 || codepage == 52936 || (codepage >= 50220 && codepage <= 50229);
    if ((name == "UTF-8" && isutf8(text)) || (!wideOr7bit && detail::isascii(text))) return std::string(text);
    static TConverters converters;
    // Glibc's converters of 1255 and 1258 join a letter with the accents
    // after it, which a table of single bytes cannot.
    const bool singlebyte = !wideOr7bit && codepage != 1255 && codepage != 1258;
    if (const TByteTable* t = converters.table(codepage, singlebyte)) return bytetableconv(text, *t);
    iconv_t cd = converters.get(codepage);
    if (cd == reinterpret_cast<iconv_t>(-1)) return validutf8(text);
    std::string out;
    out.reserve(text.size() * 2);
    char buf[8192];
    char* in = const_cast<char*>(text.data());
    size_t inleft = text.size();
    // What the converter still holds written out: the end of a shift state,
    // or a letter it keeps back to join with accents that may follow.
    auto drain = [&] {
        for (;;) {
            char* o = buf;
            size_t oleft = sizeof buf;
            const size_t r = ::iconv(cd, nullptr, nullptr, &o, &oleft);
            const int err = errno;
            out.append(buf, static_cast<size_t>(o - buf));
            if (r != static_cast<size_t>(-1)) return true;
            if (err != E2BIG) return false;
        }
    };
    // The whole text, zero bytes included.
    while (inleft > 0) {
        char* o = buf;
        size_t oleft = sizeof buf;
        const size_t r = ::iconv(cd, &in, &inleft, &o, &oleft);
        const int err = errno;
        out.append(buf, static_cast<size_t>(o - buf));
        if (r != static_cast<size_t>(-1) || err == E2BIG) continue;
        if (err != EILSEQ && err != EINVAL) break;
        // What came before the byte stays before its replacement.
        if (!drain()) break;
        out += kReplacement;
        ++in;
        --inleft;
    }
    // The converter failed in some other way: the text as a whole is read
    // as every unknown text is.
    if (inleft > 0 || !drain()) return validutf8(text);
    return out;
}

std::string newguid() {
    static std::random_device device;
    static const char hex[] = "0123456789abcdef";
    unsigned char b[16];
    for (size_t i = 0; i < 16; i += 4) {
        const uint32_t v = device();
        for (size_t k = 0; k < 4; ++k) b[i + k] = static_cast<unsigned char>(v >> (8 * k));
    }
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);  // version 4
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);  // variant
    std::string r = "{";
    for (size_t i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) r += '-';
        r += hex[b[i] >> 4];
        r += hex[b[i] & 15];
    }
    return r + "}";
}

}  // namespace helpers

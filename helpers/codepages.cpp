// Received text in its declared character set turned into UTF-8, and GUIDs.
#include <iconv.h>

#include <algorithm>
#include <cerrno>
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
    if (charset.empty()) return std::string(text);
    const std::string key = "~" + rtl::LowerCase(charset) + "=";
    const size_t p = ids.text.find(key);
    if (p == std::string::npos) return std::string(text);
    // The number is read from its digits, however many of the five there are.
    const std::string field = ids.text.substr(p + key.size(), 5);
    const size_t digits = std::find_if(field.begin(), field.end(), [](char c) { return c < '0' || c > '9'; }) -
                          field.begin();
    if (digits == 0) return std::string(text);
    return cpconv(text, static_cast<int32_t>(rtl::StrToIntDef(field.substr(0, digits), 0)));
}

std::string cpconv(std::string_view text, int32_t codepage) {
    iconv_t cd = ::iconv_open("UTF-8", convertername(codepage).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text);
    std::string out;
    out.reserve(text.size() * 2);
    char buf[8192];
    char* in = const_cast<char*>(text.data());
    size_t inleft = text.size();
    bool flushed = false;
    while (!flushed) {
        char* o = buf;
        size_t oleft = sizeof buf;
        // The whole text, zero bytes included; then the end of any shift state.
        const size_t r = inleft > 0 ? ::iconv(cd, &in, &inleft, &o, &oleft) : ::iconv(cd, nullptr, nullptr, &o, &oleft);
        const int err = errno;
        out.append(buf, static_cast<size_t>(o - buf));
        if (r != static_cast<size_t>(-1)) {
            flushed = inleft == 0 && o == buf;
            continue;
        }
        if (err == E2BIG) continue;
        if ((err == EILSEQ || err == EINVAL) && inleft > 0) {
            out += kReplacement;
            ++in;
            --inleft;
            ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
            continue;
        }
        break;
    }
    ::iconv_close(cd);
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

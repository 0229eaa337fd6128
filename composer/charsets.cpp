// The character-set list and the conversion of outgoing text.
#include "composer/charsets.h"

#include <iconv.h>

#include <cerrno>

#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace composer {

namespace {

// The list as the composer offers it. Sets without a converter here can be
// declared, but a text with anything beyond ASCII cannot be written in them.
const std::vector<TCharsetEntry> kEntries = {
    {"ASMO-708", "Arabic (ASMO 708)", "ASMO-708"},
    {"big5", "Chinese Traditional (Big5)", "BIG5"},
    {"cp1025", "IBM EBCDIC (Cyrillic Serbian-Bulgarian)", "IBM1025"},
    {"cp866", "Cyrillic (DOS)", "CP866"},
    {"cp875", "IBM EBCDIC (Greek Modern)", "IBM875"},
    {"csISO2022JP", "Japanese (JIS-Allow 1 byte Kana)", "ISO-2022-JP"},
    {"DOS-720", "Arabic (DOS)", ""},
    {"DOS-862", "Hebrew (DOS)", "CP862"},
    {"EUC-CN", "Chinese Simplified (EUC)", "EUC-CN"},
    {"euc-jp", "Japanese (JIS 0208-1990 and 0212-1990)", "EUC-JP"},
    {"EUC-JP", "Japanese (EUC)", "EUC-JP"},
    {"euc-kr", "Korean (EUC)", "EUC-KR"},
    {"GB18030", "Chinese Simplified (GB18030)", "GB18030"},
    {"gb2312", "Chinese Simplified (GB2312)", "GB2312"},
    {"hz-gb-2312", "Chinese Simplified (HZ)", ""},
    {"IBM00858", "OEM Multilingual Latin I", "IBM858"},
    {"IBM00924", "IBM Latin-1", ""},
    {"IBM01047", "IBM Latin-1", "IBM1047"},
    {"IBM01140", "IBM EBCDIC (US-Canada-Euro)", "IBM1140"},
    {"IBM01141", "IBM EBCDIC (Germany-Euro)", "IBM1141"},
    {"IBM01142", "IBM EBCDIC (Denmark-Norway-Euro)", "IBM1142"},
    {"IBM01143", "IBM EBCDIC (Finland-Sweden-Euro)", "IBM1143"},
    {"IBM01144", "IBM EBCDIC (Italy-Euro)", "IBM1144"},
    {"IBM01145", "IBM EBCDIC (Spain-Euro)", "IBM1145"},
    {"IBM01146", "IBM EBCDIC (UK-Euro)", "IBM1146"},
    {"IBM01147", "IBM EBCDIC (France-Euro)", "IBM1147"},
    {"IBM01148", "IBM EBCDIC (International-Euro)", "IBM1148"},
    {"IBM01149", "IBM EBCDIC (Icelandic-Euro)", "IBM1149"},
    {"IBM037", "IBM EBCDIC (US-Canada)", "IBM037"},
    {"IBM1026", "IBM EBCDIC (Turkish Latin-5)", "IBM1026"},
    {"IBM273", "IBM EBCDIC (Germany)", "IBM273"},
    {"IBM277", "IBM EBCDIC (Denmark-Norway)", "IBM277"},
    {"IBM278", "IBM EBCDIC (Finland-Sweden)", "IBM278"},
    {"IBM280", "IBM EBCDIC (Italy)", "IBM280"},
    {"IBM284", "IBM EBCDIC (Spain)", "IBM284"},
    {"IBM285", "IBM EBCDIC (UK)", "IBM285"},
    {"IBM290", "IBM EBCDIC (Japanese katakana)", ""},
    {"IBM297", "IBM EBCDIC (France)", "IBM297"},
    {"IBM420", "IBM EBCDIC (Arabic)", "IBM420"},
    {"IBM423", "IBM EBCDIC (Greek)", "IBM423"},
    {"IBM424", "IBM EBCDIC (Hebrew)", "IBM424"},
    {"IBM437", "OEM United States", "IBM437"},
    {"IBM500", "IBM EBCDIC (International)", "IBM500"},
    {"ibm737", "Greek (DOS)", "CP737"},
    {"ibm775", "Baltic (DOS)", "CP775"},
    {"ibm850", "Western European (DOS)", "CP850"},
    {"ibm852", "Central European (DOS)", "CP852"},
    {"IBM855", "OEM Cyrillic", "IBM855"},
    {"ibm857", "Turkish (DOS)", "CP857"},
    {"IBM860", "Portuguese (DOS)", "IBM860"},
    {"ibm861", "Icelandic (DOS)", "CP861"},
    {"IBM863", "French Canadian (DOS)", "IBM863"},
    {"IBM864", "Arabic (864)", "IBM864"},
    {"IBM865", "Nordic (DOS)", "IBM865"},
    {"ibm869", "Greek, Modern (DOS)", "CP869"},
    {"IBM870", "IBM EBCDIC (Multilingual Latin-2)", "IBM870"},
    {"IBM871", "IBM EBCDIC (Icelandic)", "IBM871"},
    {"IBM880", "IBM EBCDIC (Cyrillic Russian)", "IBM880"},
    {"IBM905", "IBM EBCDIC (Turkish)", "IBM905"},
    {"IBM-Thai", "IBM EBCDIC (Thai)", ""},
    {"iso-2022-jp", "Japanese (JIS)", "ISO-2022-JP"},
    {"iso-2022-jp", "Japanese (JIS-Allow 1 byte Kana - SO/SI)", "ISO-2022-JP"},
    {"iso-2022-kr", "Korean (ISO)", "ISO-2022-KR"},
    {"iso-8859-1", "ISO 8859-1 Latin 1; Western European (ISO)", "ISO-8859-1"},
    {"iso-8859-13", "Estonian (ISO)", "ISO-8859-13"},
    {"iso-8859-15", "Latin 9 (ISO)", "ISO-8859-15"},
    {"iso-8859-2", "Central European (ISO)", "ISO-8859-2"},
    {"iso-8859-3", "Latin 3 (ISO)", "ISO-8859-3"},
    {"iso-8859-4", "Baltic (ISO)", "ISO-8859-4"},
    {"iso-8859-5", "Cyrillic (ISO)", "ISO-8859-5"},
    {"iso-8859-6", "Arabic (ISO)", "ISO-8859-6"},
    {"iso-8859-7", "Greek (ISO)", "ISO-8859-7"},
    {"iso-8859-8", "Hebrew (ISO-Visual)", "ISO-8859-8"},
    {"iso-8859-8-i", "Hebrew (ISO-Logical)", "ISO-8859-8"},
    {"iso-8859-9", "Turkish (ISO)", "ISO-8859-9"},
    {"Johab", "Korean (Johab)", "JOHAB"},
    {"koi8-r", "Cyrillic (KOI8-R)", "KOI8-R"},
    {"koi8-u", "Cyrillic (KOI8-U)", "KOI8-U"},
    {"ks_c_5601-1987", "Korean", "CP949"},
    {"macintosh", "Western European (Mac)", "MACINTOSH"},
    {"shift_jis", "Japanese (Shift-JIS)", "CP932"},
    {"unicodeFFFE", "Unicode (Big-Endian)", "UTF-16BE"},
    {"us-ascii", "US-ASCII", "ASCII"},
    {"utf-16", "Unicode", "UTF-16"},
    {"utf-32", "Unicode (UTF-32)", "UTF-32"},
    {"utf-32BE", "Unicode (UTF-32 Big-Endian)", "UTF-32BE"},
    {"utf-7", "Unicode (UTF-7)", "UTF-7"},
    {"utf-8", "Unicode (UTF-8)", "UTF-8"},
    {"windows-1250", "Central European (Windows)", "CP1250"},
    {"windows-1251", "Cyrillic (Windows)", "CP1251"},
    {"windows-1252", "Western European (Windows)", "CP1252"},
    {"windows-1253", "Greek (Windows)", "CP1253"},
    {"windows-1254", "Turkish (Windows)", "CP1254"},
    {"windows-1255", "Hebrew (Windows)", "CP1255"},
    {"windows-1256", "Arabic (Windows)", "CP1256"},
    {"windows-1257", "Baltic (Windows)", "CP1257"},
    {"windows-1258", "Vietnamese (Windows)", "CP1258"},
    {"windows-874", "Thai (Windows)", "CP874"},
    {"x_Chinese-Eten", "Chinese Traditional (Eten)", ""},
    {"x-Chinese_CNS", "Chinese Traditional (CNS)", ""},
    {"x-cp20001", "TCA Taiwan", ""},
    {"x-cp20003", "IBM5550 Taiwan", ""},
    {"x-cp20004", "TeleText Taiwan", ""},
    {"x-cp20005", "Wang Taiwan", ""},
    {"x-cp20261", "T.61", "T.61-8BIT"},
    {"x-cp20269", "ISO-6937", "ISO_6937"},
    {"x-cp20936", "Chinese Simplified (GB2312-80)", "GB2312"},
    {"x-cp20949", "Korean Wansung", "EUC-KR"},
    {"x-cp50227", "Chinese Simplified (ISO-2022)", "ISO-2022-CN"},
    {"x-EBCDIC-KoreanExtended", "IBM EBCDIC (Korean Extended)", ""},
    {"x-Europa", "Europa", ""},
    {"x-IA5", "Western European (IA5)", ""},
    {"x-IA5-German", "German (IA5)", "ISO646-DE"},
    {"x-IA5-Norwegian", "Norwegian (IA5)", "ISO646-NO"},
    {"x-IA5-Swedish", "Swedish (IA5)", "ISO646-SE"},
    {"x-iscii-as", "ISCII Assamese", ""},
    {"x-iscii-be", "ISCII Bengali", ""},
    {"x-iscii-de", "ISCII Devanagari", ""},
    {"x-iscii-gu", "ISCII Gujarati", ""},
    {"x-iscii-ka", "ISCII Kannada", ""},
    {"x-iscii-ma", "ISCII Malayalam", ""},
    {"x-iscii-or", "ISCII Oriya", ""},
    {"x-iscii-pa", "ISCII Punjabi", ""},
    {"x-iscii-ta", "ISCII Tamil", ""},
    {"x-iscii-te", "ISCII Telugu", ""},
    {"x-mac-arabic", "Arabic (Mac)", ""},
    {"x-mac-ce", "Central European (Mac)", "MAC-CENTRALEUROPE"},
    {"x-mac-chinesesimp", "Chinese Simplified (Mac)", ""},
    {"x-mac-chinesetrad", "Chinese Traditional (Mac)", ""},
    {"x-mac-croatian", "Croatian (Mac)", ""},
    {"x-mac-cyrillic", "Cyrillic (Mac)", "MAC-CYRILLIC"},
    {"x-mac-greek", "Greek (Mac)", ""},
    {"x-mac-hebrew", "Hebrew (Mac)", ""},
    {"x-mac-icelandic", "Icelandic (Mac)", "MAC-IS"},
    {"x-mac-japanese", "Japanese (Mac)", ""},
    {"x-mac-korean", "Korean (Mac)", ""},
    {"x-mac-romanian", "Romanian (Mac)", ""},
    {"x-mac-thai", "Thai (Mac)", ""},
    {"x-mac-turkish", "Turkish (Mac)", ""},
    {"x-mac-ukrainian", "Cyrillic (Mac)", "MAC-UK"},
};

bool isascii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// Length of the UTF-8 character at I (1 for a stray byte).
size_t charlength(std::string_view s, size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    return i + n <= s.size() ? n : 1;
}

}  // namespace

const std::vector<TCharsetEntry>& CharsetEntries() { return kEntries; }

std::string CharsetEntryText(const TCharsetEntry& e) { return std::string(e.name) + ", " + e.description; }

std::string CharsetName(std::string_view entryText) {
    const std::string f = helpers::getdelimel(entryText, ",", 1);
    return f == helpers::endfield ? std::string() : rtl::Trim(f);
}

int FindCharset(std::string_view name) {
    const std::string want = rtl::LowerCase(std::string(name));
    for (size_t i = 0; i < kEntries.size(); ++i)
        if (rtl::LowerCase(kEntries[i].name) == want) return static_cast<int>(i);
    return -1;
}

int SearchCharsets(std::string_view pattern, int start) {
    const int n = static_cast<int>(kEntries.size());
    if (n == 0) return -1;
    if (start < 0 || start >= n) start = 0;
    for (int k = 0; k < n; ++k) {
        const int i = (start + k) % n;
        if (helpers::rematchc(pattern, CharsetEntryText(kEntries[static_cast<size_t>(i)]), false)) return i;
    }
    return -1;
}

bool CharsetValueRange(std::string_view page, size_t& start, size_t& length) {
    const std::string lower = rtl::LowerCase(std::string(page));
    const size_t at = lower.find(";charset=");
    if (at == std::string::npos) return false;
    const size_t quote = page.find('"', at + 9);
    if (quote == std::string::npos) return false;
    start = at + 9;
    length = quote - start;
    return true;
}

std::string RewriteCharsetDeclaration(std::string_view body, std::string_view name) {
    size_t start = 0, length = 0;
    if (!CharsetValueRange(body, start, length)) return std::string(body);
    std::string out(body);
    out.replace(start, length, name);
    return out;
}

std::string DeclaredCharset(std::string_view page) {
    size_t start = 0, length = 0;
    if (!CharsetValueRange(page, start, length)) return "";
    return rtl::Trim(std::string(page.substr(start, length)));
}

TConversion ToCharset(std::string_view utf8, std::string_view name) {
    TConversion r;
    const int i = FindCharset(name);
    const std::string converter = i < 0 ? "" : kEntries[static_cast<size_t>(i)].converter;
    if (converter == "UTF-8") {
        r.ok = true;
        r.text = std::string(utf8);
        return r;
    }
    iconv_t cd = converter.empty() ? reinterpret_cast<iconv_t>(-1) : ::iconv_open(converter.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // Nothing to convert in plain ASCII, whatever the set (but for the
        // sets that are not ASCII-based, all of which have a converter).
        r.known = false;
        r.ok = isascii(utf8);
        if (r.ok) r.text = std::string(utf8);
        return r;
    }
    std::string out;
    out.resize(utf8.size() * 4 + 16);
    char* in = const_cast<char*>(utf8.data());
    size_t inleft = utf8.size();
    char* o = out.data();
    size_t oleft = out.size();
    r.ok = true;
    while (true) {
        const size_t done = inleft > 0 ? ::iconv(cd, &in, &inleft, &o, &oleft) : ::iconv(cd, nullptr, nullptr, &o, &oleft);
        if (done != static_cast<size_t>(-1)) {
            if (inleft == 0) {
                if (in == nullptr) break;
                in = nullptr;  // flush the shift state once
                continue;
            }
            continue;
        }
        if (errno == E2BIG) {
            const size_t used = static_cast<size_t>(o - out.data());
            out.resize(out.size() * 2);
            o = out.data() + used;
            oleft = out.size() - used;
            continue;
        }
        // A character the set cannot hold (or a broken sequence): noted,
        // skipped, and the rest searched for more.
        r.ok = false;
        const size_t at = static_cast<size_t>(in - utf8.data());
        const size_t len = charlength(utf8, at);
        if (r.unmappable.size() < 40) r.unmappable.append(utf8.substr(at, len));
        in += len;
        inleft -= len;
    }
    ::iconv_close(cd);
    out.resize(static_cast<size_t>(o - out.data()));
    if (r.ok) r.text = std::move(out);
    return r;
}

}  // namespace composer

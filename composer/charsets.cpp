// The character-set list and the conversion of outgoing text.
#include "composer/charsets.h"

#include "helpers/kwutil.h"
#include "mail/mimeutils.h"
#include "platform/rtl/sysutils.h"

namespace composer {

namespace {

// The sets the composer knows, in the list's order. Only those with a
// converter here are offered: a set that cannot be written would end every
// send in it with the question whether to send in utf-8 instead. Which
// converter writes a set is the mail library's to say.
const std::vector<TCharsetEntry> kAllEntries = {
    {"ASMO-708", "Arabic (ASMO 708)"},
    {"big5", "Chinese Traditional (Big5)"},
    {"cp1025", "IBM EBCDIC (Cyrillic Serbian-Bulgarian)"},
    {"cp866", "Cyrillic (DOS)"},
    {"cp875", "IBM EBCDIC (Greek Modern)"},
    {"csISO2022JP", "Japanese (JIS-Allow 1 byte Kana)"},
    {"DOS-720", "Arabic (DOS)"},
    {"DOS-862", "Hebrew (DOS)"},
    {"EUC-CN", "Chinese Simplified (EUC)"},
    {"euc-jp", "Japanese (JIS 0208-1990 and 0212-1990)"},
    {"EUC-JP", "Japanese (EUC)"},
    {"euc-kr", "Korean (EUC)"},
    {"GB18030", "Chinese Simplified (GB18030)"},
    {"gb2312", "Chinese Simplified (GB2312)"},
    {"hz-gb-2312", "Chinese Simplified (HZ)"},
    {"IBM00858", "OEM Multilingual Latin I"},
    {"IBM00924", "IBM Latin-1"},
    {"IBM01047", "IBM Latin-1"},
    {"IBM01140", "IBM EBCDIC (US-Canada-Euro)"},
    {"IBM01141", "IBM EBCDIC (Germany-Euro)"},
    {"IBM01142", "IBM EBCDIC (Denmark-Norway-Euro)"},
    {"IBM01143", "IBM EBCDIC (Finland-Sweden-Euro)"},
    {"IBM01144", "IBM EBCDIC (Italy-Euro)"},
    {"IBM01145", "IBM EBCDIC (Spain-Euro)"},
    {"IBM01146", "IBM EBCDIC (UK-Euro)"},
    {"IBM01147", "IBM EBCDIC (France-Euro)"},
    {"IBM01148", "IBM EBCDIC (International-Euro)"},
    {"IBM01149", "IBM EBCDIC (Icelandic-Euro)"},
    {"IBM037", "IBM EBCDIC (US-Canada)"},
    {"IBM1026", "IBM EBCDIC (Turkish Latin-5)"},
    {"IBM273", "IBM EBCDIC (Germany)"},
    {"IBM277", "IBM EBCDIC (Denmark-Norway)"},
    {"IBM278", "IBM EBCDIC (Finland-Sweden)"},
    {"IBM280", "IBM EBCDIC (Italy)"},
    {"IBM284", "IBM EBCDIC (Spain)"},
    {"IBM285", "IBM EBCDIC (UK)"},
    {"IBM290", "IBM EBCDIC (Japanese katakana)"},
    {"IBM297", "IBM EBCDIC (France)"},
    {"IBM420", "IBM EBCDIC (Arabic)"},
    {"IBM423", "IBM EBCDIC (Greek)"},
    {"IBM424", "IBM EBCDIC (Hebrew)"},
    {"IBM437", "OEM United States"},
    {"IBM500", "IBM EBCDIC (International)"},
    {"ibm737", "Greek (DOS)"},
    {"ibm775", "Baltic (DOS)"},
    {"ibm850", "Western European (DOS)"},
    {"ibm852", "Central European (DOS)"},
    {"IBM855", "OEM Cyrillic"},
    {"ibm857", "Turkish (DOS)"},
    {"IBM860", "Portuguese (DOS)"},
    {"ibm861", "Icelandic (DOS)"},
    {"IBM863", "French Canadian (DOS)"},
    {"IBM864", "Arabic (864)"},
    {"IBM865", "Nordic (DOS)"},
    {"ibm869", "Greek, Modern (DOS)"},
    {"IBM870", "IBM EBCDIC (Multilingual Latin-2)"},
    {"IBM871", "IBM EBCDIC (Icelandic)"},
    {"IBM880", "IBM EBCDIC (Cyrillic Russian)"},
    {"IBM905", "IBM EBCDIC (Turkish)"},
    {"IBM-Thai", "IBM EBCDIC (Thai)"},
    {"iso-2022-jp", "Japanese (JIS)"},
    {"iso-2022-jp", "Japanese (JIS-Allow 1 byte Kana - SO/SI)"},
    {"iso-2022-kr", "Korean (ISO)"},
    {"iso-8859-1", "ISO 8859-1 Latin 1; Western European (ISO)"},
    {"iso-8859-13", "Estonian (ISO)"},
    {"iso-8859-15", "Latin 9 (ISO)"},
    {"iso-8859-2", "Central European (ISO)"},
    {"iso-8859-3", "Latin 3 (ISO)"},
    {"iso-8859-4", "Baltic (ISO)"},
    {"iso-8859-5", "Cyrillic (ISO)"},
    {"iso-8859-6", "Arabic (ISO)"},
    {"iso-8859-7", "Greek (ISO)"},
    {"iso-8859-8", "Hebrew (ISO-Visual)"},
    {"iso-8859-8-i", "Hebrew (ISO-Logical)"},
    {"iso-8859-9", "Turkish (ISO)"},
    {"Johab", "Korean (Johab)"},
    {"koi8-r", "Cyrillic (KOI8-R)"},
    {"koi8-u", "Cyrillic (KOI8-U)"},
    {"ks_c_5601-1987", "Korean"},
    {"macintosh", "Western European (Mac)"},
    {"shift_jis", "Japanese (Shift-JIS)"},
    {"unicodeFFFE", "Unicode (Big-Endian)"},
    {"us-ascii", "US-ASCII"},
    {"utf-16", "Unicode"},
    {"utf-32", "Unicode (UTF-32)"},
    {"utf-32BE", "Unicode (UTF-32 Big-Endian)"},
    {"utf-7", "Unicode (UTF-7)"},
    {"utf-8", "Unicode (UTF-8)"},
    {"windows-1250", "Central European (Windows)"},
    {"windows-1251", "Cyrillic (Windows)"},
    {"windows-1252", "Western European (Windows)"},
    {"windows-1253", "Greek (Windows)"},
    {"windows-1254", "Turkish (Windows)"},
    {"windows-1255", "Hebrew (Windows)"},
    {"windows-1256", "Arabic (Windows)"},
    {"windows-1257", "Baltic (Windows)"},
    {"windows-1258", "Vietnamese (Windows)"},
    {"windows-874", "Thai (Windows)"},
    {"x_Chinese-Eten", "Chinese Traditional (Eten)"},
    {"x-Chinese_CNS", "Chinese Traditional (CNS)"},
    {"x-cp20001", "TCA Taiwan"},
    {"x-cp20003", "IBM5550 Taiwan"},
    {"x-cp20004", "TeleText Taiwan"},
    {"x-cp20005", "Wang Taiwan"},
    {"x-cp20261", "T.61"},
    {"x-cp20269", "ISO-6937"},
    {"x-cp20936", "Chinese Simplified (GB2312-80)"},
    {"x-cp20949", "Korean Wansung"},
    {"x-cp50227", "Chinese Simplified (ISO-2022)"},
    {"x-EBCDIC-KoreanExtended", "IBM EBCDIC (Korean Extended)"},
    {"x-Europa", "Europa"},
    {"x-IA5", "Western European (IA5)"},
    {"x-IA5-German", "German (IA5)"},
    {"x-IA5-Norwegian", "Norwegian (IA5)"},
    {"x-IA5-Swedish", "Swedish (IA5)"},
    {"x-iscii-as", "ISCII Assamese"},
    {"x-iscii-be", "ISCII Bengali"},
    {"x-iscii-de", "ISCII Devanagari"},
    {"x-iscii-gu", "ISCII Gujarati"},
    {"x-iscii-ka", "ISCII Kannada"},
    {"x-iscii-ma", "ISCII Malayalam"},
    {"x-iscii-or", "ISCII Oriya"},
    {"x-iscii-pa", "ISCII Punjabi"},
    {"x-iscii-ta", "ISCII Tamil"},
    {"x-iscii-te", "ISCII Telugu"},
    {"x-mac-arabic", "Arabic (Mac)"},
    {"x-mac-ce", "Central European (Mac)"},
    {"x-mac-chinesesimp", "Chinese Simplified (Mac)"},
    {"x-mac-chinesetrad", "Chinese Traditional (Mac)"},
    {"x-mac-croatian", "Croatian (Mac)"},
    {"x-mac-cyrillic", "Cyrillic (Mac)"},
    {"x-mac-greek", "Greek (Mac)"},
    {"x-mac-hebrew", "Hebrew (Mac)"},
    {"x-mac-icelandic", "Icelandic (Mac)"},
    {"x-mac-japanese", "Japanese (Mac)"},
    {"x-mac-korean", "Korean (Mac)"},
    {"x-mac-romanian", "Romanian (Mac)"},
    {"x-mac-thai", "Thai (Mac)"},
    {"x-mac-turkish", "Turkish (Mac)"},
    {"x-mac-ukrainian", "Cyrillic (Mac)"},
};

}  // namespace

const std::vector<TCharsetEntry>& CharsetEntries() {
    static const std::vector<TCharsetEntry> writable = [] {
        std::vector<TCharsetEntry> list;
        for (const TCharsetEntry& e : kAllEntries)
            if (mail::CharsetWritable(e.name)) list.push_back(e);
        return list;
    }();
    return writable;
}

std::string CharsetEntryText(const TCharsetEntry& e) { return std::string(e.name) + ", " + e.description; }

std::string CharsetName(std::string_view entryText) {
    const std::string f = helpers::getdelimel(entryText, ",", 1);
    return f == helpers::endfield ? std::string() : rtl::Trim(f);
}

int FindCharset(std::string_view name) {
    const std::vector<TCharsetEntry>& entries = CharsetEntries();
    const std::string want = rtl::LowerCase(std::string(name));
    for (size_t i = 0; i < entries.size(); ++i)
        if (rtl::LowerCase(entries[i].name) == want) return static_cast<int>(i);
    return -1;
}

int SearchCharsets(std::string_view pattern, int start) {
    const std::vector<TCharsetEntry>& entries = CharsetEntries();
    const int n = static_cast<int>(entries.size());
    if (n == 0) return -1;
    if (start < 0 || start >= n) start = 0;
    for (int k = 0; k < n; ++k) {
        const int i = (start + k) % n;
        if (helpers::rematchc(pattern, CharsetEntryText(entries[static_cast<size_t>(i)]), false)) return i;
    }
    return -1;
}

namespace {

// The value of the first "charset=" inside a META element that stands as
// its own attribute or after a blank or ";" in its content attribute
// ("text/html; charset=utf-8", charset="utf-8", charset=utf-8): where it
// starts and its length; false when there is none.
bool metaCharset(std::string_view page, const std::string& lower, size_t& start, size_t& length) {
    for (size_t meta = lower.find("<meta"); meta != std::string::npos; meta = lower.find("<meta", meta + 5)) {
        const size_t end = lower.find('>', meta);
        if (end == std::string::npos) return false;
        for (size_t at = lower.find("charset=", meta); at < end; at = lower.find("charset=", at + 8)) {
            if (std::string_view(" \t\r\n;\"'").find(lower[at - 1]) == std::string_view::npos) continue;
            size_t value = at + 8;
            const char quote = value < end && (page[value] == '"' || page[value] == '\'') ? page[value++] : 0;
            size_t stop = value;
            while (stop < end && (quote ? page[stop] != quote
                                        : std::string_view(" \t\r\n;\"'/").find(page[stop]) == std::string_view::npos))
                ++stop;
            start = value;
            length = stop - value;
            return true;
        }
    }
    return false;
}

}  // namespace

bool CharsetValueRange(std::string_view page, size_t& start, size_t& length) {
    const std::string lower = rtl::LowerCase(std::string(page));
    bool found = false;
    const size_t at = lower.find(";charset=");
    if (at != std::string::npos) {
        const size_t quote = page.find('"', at + 9);
        if (quote != std::string::npos) {
            start = at + 9;
            length = quote - start;
            found = true;
        }
    }
    // A META element's declaration in another form, when it comes first.
    size_t metaStart = 0, metaLength = 0;
    if (metaCharset(page, lower, metaStart, metaLength) && (!found || metaStart < start)) {
        start = metaStart;
        length = metaLength;
        found = true;
    }
    return found;
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

TConversion ToCharset(std::string_view utf8, std::string_view name) { return mail::Utf8ToCharset(utf8, name); }

}  // namespace composer

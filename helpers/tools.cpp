// Speech markup, reading mail dates, file sniffing, accent folding and CSV fields.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "helpers/internal.h"
#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace helpers {

namespace {

bool isdigitc(char c) { return c >= '0' && c <= '9'; }

// h:n, h:n:s or h:n:s.z; the empty text is midnight.
bool readtime(const std::string& text, TDateTime& out) {
    out = 0;
    if (text.empty()) return true;
    int parts[4] = {0, 0, 0, 0};
    int count = 0;
    size_t i = 0;
    while (count < 4) {
        const size_t start = i;
        int v = 0;
        while (i < text.size() && isdigitc(text[i]) && i - start < 4) v = v * 10 + (text[i++] - '0');
        if (i == start) return false;
        parts[count++] = v;
        if (i == text.size()) break;
        const char sep = text[i++];
        if (!(sep == ':' && count < 3) && !(sep == '.' && count == 3)) return false;
    }
    if (count < 2 || i != text.size()) return false;
    int ms = parts[3];
    return rtl::TryEncodeTime(parts[0], parts[1], parts[2], std::min(ms, 999), out);
}

struct Signature {
    std::string_view bytes;
    std::string_view extra;  // must stand at offset 8 as well
    const char* ext;
};

using namespace std::string_view_literals;
const Signature kSignatures[] = {
    {"BM"sv, ""sv, "bmp"},
    {"MZ"sv, ""sv, "exe"},
    {"PK\x03\x04"sv, ""sv, "zip"},
    {"RIFF"sv, "AVI"sv, "avi"},
    {"RIFF"sv, ""sv, "wav"},
    {"MThd"sv, ""sv, "mid"},
    {"\x89PNG"sv, ""sv, "png"},
    {"\x00\x00\x01\xBA"sv, ""sv, "mpg"},
    {"\x60\xEA"sv, ""sv, "arj"},
    {"\x05\x00"sv, ""sv, "cpd"},
    {"\x06\x00"sv, ""sv, "cpd"},
    {"GIF"sv, ""sv, "gif"},
    {"\x00\x01\x00\x00"sv, ""sv, "mdb"},
    {"\x00\x00\x01\x00"sv, ""sv, "ico"},
    {"\x01\x00\x00\x00"sv, ""sv, "emf"},
    {"\xFF\xD8\xFF"sv, ""sv, "jpg"},
    {"{\\rt"sv, ""sv, "rtf"},
    {"BEGIN:VCALENDAR"sv, ""sv, "ics"},
    {"%PDF"sv, ""sv, "pdf"},
};

// What the accented letters U+00C0 to U+00FF fold to.
constexpr std::string_view kFolded = "AAAAAAECEEEEIIIIDNOOOOOx0UUUUYPsaaaaaaeceeeeiiiiOnooooo/0uuuuypy";

size_t unitlength(std::string_view s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 1;
    if (n == 1 || i + n > s.size()) return 1;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
    return n;
}

// The text cut into characters: UTF-8 sequences, or single bytes where the
// text is not valid UTF-8.
std::vector<std::string_view> characters(std::string_view s) {
    std::vector<std::string_view> r;
    for (size_t i = 0; i < s.size();) {
        const size_t n = unitlength(s, i);
        r.push_back(s.substr(i, n));
        i += n;
    }
    return r;
}

// Accented Latin-1 letters, in UTF-8 or as stray single bytes, lose their accents.
std::string_view fold(std::string_view ch) {
    unsigned code = 0;
    if (ch.size() == 2 && static_cast<unsigned char>(ch[0]) == 0xC3) code = 0xC0 + (static_cast<unsigned char>(ch[1]) - 0x80);
    else if (ch.size() == 1 && static_cast<unsigned char>(ch[0]) >= 0xC0) code = static_cast<unsigned char>(ch[0]);
    return code >= 0xC0 ? kFolded.substr(code - 0xC0, 1) : ch;
}

bool isalnumascii(std::string_view ch) {
    if (ch.size() != 1) return false;
    const char c = ch[0];
    return isdigitc(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::string speechtag(int32_t pitch) {
    const int32_t r1 = randomint(0x7FFFFFFF);
    const int32_t r2 = randomint(0x7FFFFFFF);
    return "<PITCH ABSMIDDLE=\"" + rtl::IntToStr(pitch + (r1 % 7) - 3) + "\"><RATE ABSSPEED=\"" +
           rtl::IntToStr((r2 % 2) - 1) + "\">";
}

std::string speechmarkup(std::string_view text, int32_t chunklength, int32_t pitch) {
    if (text.find('<') != std::string_view::npos && text.find('>') != std::string_view::npos) return std::string(text);
    std::string out, chunk;
    for (const auto& field : detail::splitfields(text, " ", true)) {
        const std::string word = rtl::Trim(field);
        if (word.empty()) continue;
        chunk += word + " ";
        if (static_cast<int64_t>(chunk.size()) > chunklength) {
            out += speechtag(pitch) + rtl::Trim(chunk) + "</RATE></PITCH> ";
            chunk.clear();
        }
    }
    if (!chunk.empty()) out += speechtag(pitch) + rtl::Trim(chunk) + "</RATE></PITCH>";
    return out;
}

TDateTime parsedate(std::string_view text) {
    std::string t = rtl::Trim(text);
    const long double v = txtfloat(t);
    if (v != 0) return static_cast<TDateTime>(v);
    const size_t digit = t.find_first_of("0123456789");
    t = digit == std::string::npos ? std::string() : t.substr(digit);
    std::string time;
    const int p = rtl::Pos(":", t);
    if (p > 8) {
        time = rtl::Trim(rtl::CopyFrom(t, p - 2));
        t = rtl::Trim(rtl::Copy(t, 1, p - 3));
    }
    std::string zone;
    const size_t blank = time.find(' ');
    if (blank != std::string::npos) {
        zone = rtl::Trim(time.substr(blank + 1));
        time = rtl::Trim(time.substr(0, blank));
    }
    // The value is built from the fields read, never re-read through the
    // locale's date text.
    int y, m, d;
    TDateTime clock;
    if (!readdate(t, y, m, d) || !readtime(time, clock)) return 0;
    const int64_t z = detail::atoi64(zone);
    const int64_t az = z < 0 ? -z : z;
    const int64_t minutes = (az / 100) * 60 + az % 100;
    return rtl::EncodeDate(y, m, d) + clock - static_cast<double>(z < 0 ? -minutes : minutes) / 1440.0;
}

std::string sniffext(std::string_view data) {
    for (const auto& s : kSignatures) {
        if (data.substr(0, s.bytes.size()) != s.bytes) continue;
        if (!s.extra.empty() && (data.size() < 8 + s.extra.size() || data.substr(8, s.extra.size()) != s.extra)) continue;
        return s.ext;
    }
    return "bin";
}

std::string foldaccents(std::string_view text, std::string_view filter) {
    const bool active = !filter.empty() && filter != endfield;
    const bool exclude = active && filter.size() >= 2 && filter[0] == '!';
    if (exclude) filter.remove_prefix(1);
    const auto allowed = characters(filter);
    auto listed = [&](std::string_view ch) { return std::find(allowed.begin(), allowed.end(), ch) != allowed.end(); };
    std::string out;
    for (const auto ch : characters(text)) {
        const std::string_view f = fold(ch);
        const bool keep = !active ? isalnumascii(f) : (exclude ? !listed(f) : listed(f));
        if (keep) out += f;
    }
    return out;
}

void quotefieldto(std::string& out, std::string_view text) {
    auto has = [text](char c) { return std::memchr(text.data(), c, text.size()) != nullptr; };
    // A lone CR breaks a line in a spreadsheet as surely as a LF.
    const bool cr = has('\r');
    const bool quoted = cr || has('\n') || has(',');
    if (quoted) out += '"';
    if (!cr && !has('"')) {
        out.append(text);
    } else {
        for (size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;  // CR LF becomes LF
            out += c == '"' ? '\'' : c;
        }
    }
    if (quoted) out += '"';
}

std::string quotefield(std::string_view text) {
    std::string r;
    quotefieldto(r, text);
    return r;
}

}  // namespace helpers

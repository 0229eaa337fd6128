// Library globals, waits, the user's formats, start-up and exit.
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "helpers/internal.h"
#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/pump.h"

namespace helpers {

std::string lastmatch;
int32_t matchpos = 0;
int32_t matchend = 0;
bool reerrflag = false;
bool fieldquoted = false;
const std::string defaultkey = "Kq7w!zPm3#tR9v&Lx2(Hb5^nDe8%";
std::string defkey = defaultkey;
std::string sendcharset = "iso-8859-1";
std::string sendresult, sendreply, sendreceipt, sendctypes;
std::string sendchecked = "|";
std::string homedir;
bool edfrozen = false;
rtl::TStringList worklist1, worklist2, worklist3, worklist4;
int32_t replcount = 0;
TFormatSettings formatsettings;

namespace {

std::mt19937& generator() {
    static std::mt19937 g;
    return g;
}

// One strftime conversion in the class library's notation. Two-digit years
// are written with four digits: they are read back wrongly otherwise.
std::string convertSpec(char c) {
    switch (c) {
        case 'd': return "dd";
        case 'e': return "d";
        case 'm': return "mm";
        case 'y': case 'Y': case 'C': return "yyyy";
        case 'b': case 'h': return "mmm";
        case 'B': return "mmmm";
        case 'a': return "ddd";
        case 'A': return "dddd";
        case 'H': case 'I': case 'k': case 'l': return "hh";
        case 'M': return "nn";
        case 'S': return "ss";
        case 'p': case 'P': return "AM/PM";
        case 'T': return "hh:nn:ss";
        case 'R': return "hh:nn";
        case 'D': return "mm/dd/yyyy";
        case 'F': return "yyyy-mm-dd";
        case 'r': return "hh:nn:ss AM/PM";
        case 'n': case 't': return " ";
        case '%': return "%";
        default: return "";
    }
}

// A strftime format turned into the class library's, literal letters quoted.
std::string fromStrftime(std::string_view f) {
    std::string r;
    for (size_t i = 0; i < f.size(); ++i) {
        const char c = f[i];
        if (c == '%' && i + 1 < f.size()) {
            size_t j = i + 1;
            while (j < f.size() && (f[j] == 'E' || f[j] == 'O' || f[j] == '-' || f[j] == '_' || f[j] == '0'))
                ++j;
            if (j < f.size()) r += convertSpec(f[j]);
            i = j;
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '"') {
            r += '\'';
            r += c;
            r += '\'';
        } else {
            r += c;
        }
    }
    return r;
}

}  // namespace

void waitpump(int32_t ms) {
    while (ms > 0) {
        win::PumpFor(std::min(ms, 1000));
        ms -= 1000;
        win::ProcessMessages();
    }
}

void keccakf(uint64_t st[25]) {
    static const uint64_t rc[24] = {
        0x0000000000000001ULL, 0x0000000000008082ULL, 0x800000000000808AULL, 0x8000000080008000ULL,
        0x000000000000808BULL, 0x0000000080000001ULL, 0x8000000080008081ULL, 0x8000000000008009ULL,
        0x000000000000008AULL, 0x0000000000000088ULL, 0x0000000080008009ULL, 0x000000008000000AULL,
        0x000000008000808BULL, 0x800000000000008BULL, 0x8000000000008089ULL, 0x8000000000008003ULL,
        0x8000000000008002ULL, 0x8000000000000080ULL, 0x000000000000800AULL, 0x800000008000000AULL,
        0x8000000080008081ULL, 0x8000000000008080ULL, 0x0000000080000001ULL, 0x8000000080008008ULL};
    static const int rotc[24] = {1, 3, 6, 10, 15, 21, 28, 36, 45, 55, 2, 14,
                                 27, 41, 56, 8, 25, 43, 62, 18, 39, 61, 20, 44};
    static const int piln[24] = {10, 7, 11, 17, 18, 3, 5, 16, 8, 21, 24, 4,
                                 15, 23, 19, 13, 12, 2, 20, 14, 22, 9, 6, 1};
    auto rotl = [](uint64_t x, int n) { return (x << n) | (x >> (64 - n)); };
    for (int round = 0; round < 24; ++round) {
        uint64_t bc[5];
        for (int i = 0; i < 5; ++i) bc[i] = st[i] ^ st[i + 5] ^ st[i + 10] ^ st[i + 15] ^ st[i + 20];
        for (int i = 0; i < 5; ++i) {
            const uint64_t t = bc[(i + 4) % 5] ^ rotl(bc[(i + 1) % 5], 1);
            for (int j = 0; j < 25; j += 5) st[j + i] ^= t;
        }
        uint64_t t = st[1];
        for (int i = 0; i < 24; ++i) {
            const int j = piln[i];
            const uint64_t keep = st[j];
            st[j] = rotl(t, rotc[i]);
            t = keep;
        }
        for (int j = 0; j < 25; j += 5) {
            for (int i = 0; i < 5; ++i) bc[i] = st[j + i];
            for (int i = 0; i < 5; ++i) st[j + i] ^= (~bc[(i + 1) % 5]) & bc[(i + 2) % 5];
        }
        st[0] ^= rc[round];
    }
}

TFormatSettings localeformats() {
    TFormatSettings fs;
    // Asked without changing the process locale: number conversions elsewhere
    // rely on the C one.
    locale_t loc = ::newlocale(LC_ALL_MASK, "", static_cast<locale_t>(0));
    if (!loc) return fs;
    const std::string radix = ::nl_langinfo_l(RADIXCHAR, loc);
    const std::string thousands = ::nl_langinfo_l(THOUSEP, loc);
    const std::string date = fromStrftime(::nl_langinfo_l(D_FMT, loc));
    const std::string time = fromStrftime(::nl_langinfo_l(T_FMT, loc));
    ::freelocale(loc);
    if (!radix.empty()) fs.DecimalSeparator = radix;
    if (!thousands.empty() && thousands != radix) fs.ThousandSeparator = thousands;
    if (!date.empty()) fs.ShortDateFormat = date;
    if (!time.empty()) fs.LongTimeFormat = time;
    return fs;
}

void seedrand() {
    const auto v = static_cast<int32_t>(fracpart(rtl::Now()) * 1000000000.0L);
    std::string digits = rtl::IntToStr(v);
    std::reverse(digits.begin(), digits.end());
    generator().seed(static_cast<uint32_t>(rtl::StrToInt64Def(digits, 0)));
}

int32_t randomint(int32_t n) {
    if (n < 1) return 0;
    return static_cast<int32_t>(generator()() % static_cast<uint32_t>(n));
}

void screeninit() {
    formatsettings = localeformats();
    seedrand();
}

void utilinit() {
    lastmatch.clear();
    defkey = defaultkey;
    sendcharset = "iso-8859-1";
    sendresult.clear();
    sendreply.clear();
    sendreceipt.clear();
    sendctypes.clear();
    sendchecked = "|";
    homedir.clear();
    homedir = findhomedir(false);
    for (auto* l : {&worklist1, &worklist2, &worklist3, &worklist4}) l->Clear();
    screeninit();
}

void utilexit() {
    detail::resetpatterns();
    detail::resetpaths();
    detail::resetsystem();
    detail::resetcodepages();
    detail::resetautolink();
    homedir.clear();
    lastmatch.clear();
    sendresult.clear();
    sendreply.clear();
    sendreceipt.clear();
    sendctypes.clear();
}

}  // namespace helpers

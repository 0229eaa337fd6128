// Windows-1252 conversion.
#include "spell/lxcodepage.h"

namespace spell {

namespace {

// 0x80..0x9F; 0 where the code page leaves the byte unused.
constexpr uint16_t high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                               0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                               0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                               0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

int Cp1252FromUnicode(uint32_t Code) {
    if (Code < 0x80 || (Code >= 0xA0 && Code <= 0xFF)) return static_cast<int>(Code);
    for (int i = 0; i < 32; ++i)
        if (high[i] != 0 && high[i] == Code) return 0x80 + i;
    return -1;
}

uint32_t UnicodeFromCp1252(unsigned char Byte) {
    if (Byte < 0x80 || Byte >= 0xA0) return Byte;
    const uint16_t u = high[Byte - 0x80];
    return u ? u : Byte;
}

bool NextUtf8(std::string_view Utf8, size_t& At, uint32_t& Code) {
    if (At >= Utf8.size()) return false;
    const unsigned char c = static_cast<unsigned char>(Utf8[At]);
    const int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || At + static_cast<size_t>(extra) >= Utf8.size()) return false;
    Code = extra == 0 ? c : c & (0x3Fu >> extra);
    for (int k = 1; k <= extra; ++k) {
        const unsigned char t = static_cast<unsigned char>(Utf8[At + static_cast<size_t>(k)]);
        if ((t & 0xC0) != 0x80) return false;
        Code = Code << 6 | (t & 0x3Fu);
    }
    constexpr uint32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (Code < least[extra] || Code > 0x10FFFF || (Code >= 0xD800 && Code < 0xE000)) return false;
    At += static_cast<size_t>(extra) + 1;
    return true;
}

bool Cp1252FromUtf8(std::string_view Utf8, std::string& Out) {
    Out.clear();
    for (size_t i = 0; i < Utf8.size();) {
        uint32_t code = 0;
        if (!NextUtf8(Utf8, i, code)) return false;
        const int b = Cp1252FromUnicode(code);
        if (b < 0) return false;
        Out += static_cast<char>(b);
    }
    return true;
}

void AppendUtf8(std::string& Out, uint32_t Code) {
    if (Code < 0x80) {
        Out += static_cast<char>(Code);
    } else if (Code < 0x800) {
        Out += static_cast<char>(0xC0 | (Code >> 6));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    } else if (Code < 0x10000) {
        Out += static_cast<char>(0xE0 | (Code >> 12));
        Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    } else {
        Out += static_cast<char>(0xF0 | (Code >> 18));
        Out += static_cast<char>(0x80 | ((Code >> 12) & 0x3F));
        Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    }
}

std::string Utf8FromCp1252(std::string_view Bytes) {
    std::string out;
    for (const unsigned char b : Bytes) AppendUtf8(out, UnicodeFromCp1252(b));
    return out;
}

}  // namespace spell

// Character-set conversion checked against iconv's command line, and GUIDs.
#include <random>
#include <regex>
#include <set>

#include "helpers/kwutil.h"
#include "tests/helpers/support.h"

using namespace helpers;

namespace {

class CodepagesTest : public kwtest::KwTest {};

std::string range(int from, int to, std::string_view skip = "") {
    std::string s;
    for (int c = from; c <= to; ++c)
        if (skip.find(static_cast<char>(c)) == std::string_view::npos) s += static_cast<char>(c);
    return s;
}

TEST_F(CodepagesTest, CpconvAgreesWithIconv) {
    const std::string zero("a\0b", 3);  // the whole text, not up to its first zero byte
    struct Case {
        int32_t codepage;
        std::string iconvname, text;
    } const cases[] = {
        {1252, "CP1252", range(0x20, 0xFF, "\x81\x8D\x8F\x90\x9D") + zero},
        {1251, "CP1251", range(0xC0, 0xFF) + zero},
        {1250, "CP1250", range(0xA0, 0xFF)},
        {28592, "ISO-8859-2", range(0xA0, 0xFF)},
        {20866, "KOI8-R", range(0xC0, 0xFF)},
        {1, "CP437", range(0x80, 0xFF)},
        {932, "CP932", "\x93\xfa\x96\x7b\x8c\xea"},
        {936, "CP936", "\xd6\xd0\xce\xc4"},
        {54936, "GB18030", "\xd6\xd0\x81\x30\x81\x30"},
        {50220, "ISO-2022-JP", "\x1b$B$3$s\x1b(B ok"},
        {65001, "UTF-8", "h\xc3\xa9llo \xe2\x82\xac"},
    };
    for (const auto& c : cases) {
        const std::string want = kwtest::run("iconv -f " + c.iconvname + " -t UTF-8", c.text);
        EXPECT_EQ(cpconv(c.text, c.codepage), want) << c.iconvname;
    }
}

// The single-byte sets read every byte, and whole texts, as iconv does
// (which drops with -c what the program shows as U+FFFD).
TEST_F(CodepagesTest, SingleByteSetsReadEveryByteAsIconvDoes) {
    const std::pair<int32_t, const char*> sets[] = {
        {1250, "CP1250"},       {1251, "CP1251"},        {1252, "CP1252"},        {1253, "CP1253"},
        {1254, "CP1254"},       {1255, "CP1255"},        {1256, "CP1256"},        {1257, "CP1257"},
        {1258, "CP1258"},       {1, "CP437"},            {850, "CP850"},          {852, "CP852"},
        {866, "CP866"},         {874, "CP874"},          {20127, "ASCII"},        {20866, "KOI8-R"},
        {21866, "KOI8-U"},      {28591, "ISO-8859-1"},   {28592, "ISO-8859-2"},   {28593, "ISO-8859-3"},
        {28594, "ISO-8859-4"},  {28595, "ISO-8859-5"},   {28596, "ISO-8859-6"},   {28597, "ISO-8859-7"},
        {28598, "ISO-8859-8"},  {28599, "ISO-8859-9"},   {28603, "ISO-8859-13"},  {28605, "ISO-8859-15"},
        {10000, "MACINTOSH"},   {10007, "MAC-CYRILLIC"},
    };
    const std::string fffd = "\xEF\xBF\xBD";
    std::string eachByte;  // every byte on a line of its own
    for (int b = 0; b < 256; ++b)
        if (b != '\n') eachByte += std::string(1, static_cast<char>(b)) + "\n";
    std::mt19937 rng(5);
    std::string text(6000, '\0');
    for (char& c : text) c = static_cast<char>(rng() % 4 ? 0x80 + rng() % 128 : rng() % 128);
    for (const auto& [cp, name] : sets) {
        const std::string iconv = std::string("sh -c 'iconv -c -f ") + name + " -t UTF-8; true'";
        const std::string lines = kwtest::run(iconv, eachByte);
        size_t at = 0;
        for (int b = 0; b < 256; ++b) {
            if (b == '\n') continue;
            const size_t nl = lines.find('\n', at);
            ASSERT_NE(nl, std::string::npos) << name;
            const std::string want = nl == at ? fffd : lines.substr(at, nl - at);
            EXPECT_EQ(cpconv(std::string(1, static_cast<char>(b)), cp), want) << name << " byte " << b;
            at = nl + 1;
        }
        std::string got = cpconv(text, cp);
        for (size_t r = got.find(fffd); r != std::string::npos; r = got.find(fffd, r)) got.erase(r, fffd.size());
        EXPECT_EQ(got, kwtest::run(iconv, text)) << name;
    }
}

TEST_F(CodepagesTest, UnreadableBytesBecomeReplacementCharacters) {
    EXPECT_EQ(cpconv("a\x81z", 1252), "a\xEF\xBF\xBDz");
    EXPECT_EQ(cpconv("\xC3(x\xE2\x82", 65001), "\xEF\xBF\xBD(x\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST_F(CodepagesTest, TextOfAnUnknownSetKeepsItsUtf8AndReadsOtherBytesAsWindows1252) {
    const std::pair<std::string, std::string> cases[] = {
        {"caf\xE9", "caf\xC3\xA9"},
        {"\xC3\xA9t\xE9", "\xC3\xA9t\xC3\xA9"},          // the UTF-8 stays, the stray byte is read
        {"\x80 \x93q\x94 \x9F", "\xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D \xC5\xB8"},
        {"\x81\x8D", "\xC2\x81\xC2\x8D"},                  // unassigned in Windows-1252
        {"a\xC3", "a\xC3\x83"},                             // a cut sequence
        {"\xC0\x80", "\xC3\x80\xE2\x82\xAC"},              // an overlong zero
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"}, // a surrogate
        {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC"},  // past U+10FFFF
        {"plain text, long enough for the ASCII run", "plain text, long enough for the ASCII run"},
        {"\xF0\x9F\x98\x80!", "\xF0\x9F\x98\x80!"},
    };
    kwtest::writefile(homedir + "codepageids.txt", "~bad=abcde\r\n~nosuch=99999\r\n");
    for (const auto& [in, want] : cases) {
        EXPECT_EQ(validutf8(in), want);
        EXPECT_TRUE(isutf8(want));
        // Every road that cannot use a set gives the same answer.
        for (const char* set : {"", "unknown", "bad", "nosuch"}) EXPECT_EQ(charsetconv(in, set), want) << set;
        EXPECT_EQ(cpconv(in, 99999), want);
    }
    EXPECT_FALSE(isutf8("caf\xE9"));
    EXPECT_FALSE(isutf8("\xED\xA0\x80"));
}

TEST_F(CodepagesTest, WhatAKnownSetCannotReadStillGivesUtf8) {
    kwtest::writefile(homedir + "codepageids.txt", "~utf-16le=01200\r\n~iso-2022-jp=50220\r\n~shift_jis=00932");
    for (const auto& [text, set] : std::initializer_list<std::pair<std::string, const char*>>{
             {"a\0b", "utf-16le"}, {"\x1b$B\xFF\xFE\x1b(B", "iso-2022-jp"}, {"\x82\xA0\xFF\x80", "shift_jis"}})
        EXPECT_TRUE(isutf8(charsetconv(text, set))) << set;
}

TEST_F(CodepagesTest, CharsetconvLooksNamesUpOnce) {
    kwtest::writefile(homedir + "codepageids.txt",
                      "~windows-1252=01252\r\n~koi8-r=20866\r\n~short=1250\r\n~bad=abcde\r\n~utf-8=65001");
    EXPECT_EQ(charsetconv(std::string("a\0\xE9", 3), "Windows-1252"), std::string("a\0\xC3\xA9", 4));
    EXPECT_EQ(charsetconv("\xC1", "KOI8-R"), "\xD0\xB0");
    EXPECT_EQ(charsetconv("\xB9", "short"), "\xC4\x85");  // "1250" and a line end: read from its digits
    EXPECT_EQ(charsetconv("\xC3\xA9", "UTF-8"), "\xC3\xA9");
    kwtest::writefile(homedir + "codepageids.txt", "");
    EXPECT_EQ(charsetconv("\xE9", "windows-1252"), "\xC3\xA9");  // loaded once a run
}

TEST_F(CodepagesTest, GuidsAreLowerCaseAndUnique) {
    std::set<std::string> seen;
    const std::regex form(R"(\{[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}\})");
    for (int i = 0; i < 100; ++i) {
        const std::string g = newguid();
        EXPECT_EQ(g.size(), 38u);
        EXPECT_TRUE(std::regex_match(g, form)) << g;
        seen.insert(g);
    }
    EXPECT_EQ(seen.size(), 100u);
}

}  // namespace

// Character-set conversion checked against iconv's command line, and GUIDs.
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

TEST_F(CodepagesTest, UnreadableBytesBecomeReplacementCharacters) {
    EXPECT_EQ(cpconv("a\x81z", 1252), "a\xEF\xBF\xBDz");
    EXPECT_EQ(cpconv("\xC3(x\xE2\x82", 65001), "\xEF\xBF\xBD(x\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(cpconv("as is \xE9", 99999), "as is \xE9");  // no such code page
}

TEST_F(CodepagesTest, CharsetconvLooksNamesUpOnce) {
    kwtest::writefile(homedir + "codepageids.txt",
                      "~windows-1252=01252\r\n~koi8-r=20866\r\n~short=1250\r\n~bad=abcde\r\n~utf-8=65001");
    EXPECT_EQ(charsetconv(std::string("a\0\xE9", 3), "Windows-1252"), std::string("a\0\xC3\xA9", 4));
    EXPECT_EQ(charsetconv("\xC1", "KOI8-R"), "\xD0\xB0");
    EXPECT_EQ(charsetconv("\xB9", "short"), "\xC4\x85");  // "1250" and a line end: read from its digits
    EXPECT_EQ(charsetconv("\xE9", "bad"), "\xE9");
    EXPECT_EQ(charsetconv("\xE9", "unknown"), "\xE9");
    EXPECT_EQ(charsetconv("\xE9", ""), "\xE9");
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

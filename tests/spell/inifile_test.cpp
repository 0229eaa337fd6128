// The profile file: names match without case, values come back as written,
// untouched lines survive a write, and a failed write changes nothing.
#include <gtest/gtest.h>

#include "spell/lxinifile.h"
#include "tests/spell/spell_support.h"

using spell::TLxIniFile;

TEST(SpellIni, ReadsLikeAProfileFile) {
    spelltest::TempDir dir;
    const std::string name = dir.path("p.ini");
    spelltest::writeFile(name,
                         "; a comment\r\n[First]\r\nKey=one\r\n  spaced  =  two words  \r\nquoted=\"q v\"\r\n"
                         "empty=\r\n\r\n[second]\nkey=other\n");
    const TLxIniFile ini(name);
    struct Case {
        const char *section, *key, *expect;
    } cases[] = {
        {"First", "Key", "one"},     {"FIRST", "kEY", "one"},     {"first", "spaced", "two words"},
        {"First", "quoted", "q v"},  {"First", "empty", ""},      {"Second", "KEY", "other"},
        {"First", "missing", "def"}, {"Third", "key", "def"},
    };
    for (const auto& c : cases) EXPECT_EQ(ini.ReadString(c.section, c.key, "def"), c.expect) << c.section << "/" << c.key;
    EXPECT_EQ(ini.ReadSection("first"), (std::vector<std::string>{"Key", "spaced", "quoted", "empty"}));
}

TEST(SpellIni, WritesKeepEveryOtherLine) {
    spelltest::TempDir dir;
    const std::string name = dir.path("p.ini");
    spelltest::writeFile(name, "; keep me\r\n[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
    TLxIniFile ini(name);
    ini.WriteString("a", "X", "10");    // replaces in place, whatever the case
    ini.WriteString("A", "z", "3");     // new key at the section's end, before the blank line
    ini.WriteString("C", "w", "4");     // new section at the end
    std::string error;
    ASSERT_TRUE(ini.UpdateFile(error)) << error;
    EXPECT_EQ(spelltest::readFile(name), "; keep me\r\n[A]\r\nX=10\r\nz=3\r\n\r\n[B]\r\ny=2\r\n\r\n[C]\r\nw=4\r\n");
    EXPECT_FALSE(ini.Modified());
}

TEST(SpellIni, AFailedWriteKeepsTheFileAndTheChanges) {
    spelltest::TempDir dir;
    const std::string name = dir.path("p.ini");
    spelltest::writeFile(name, "[A]\r\nx=1\r\n");
    TLxIniFile ini(name);
    ini.WriteString("A", "big", std::string(8000, 'v'));
    std::string error;
    {
        spelltest::FileSizeLimit limit(4096);
        EXPECT_FALSE(ini.UpdateFile(error));
    }
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(ini.Modified());
    EXPECT_EQ(spelltest::readFile(name), "[A]\r\nx=1\r\n");
    ASSERT_TRUE(ini.UpdateFile(error)) << error;
    EXPECT_EQ(TLxIniFile(name).ReadString("A", "big", "").size(), 8000u);
}

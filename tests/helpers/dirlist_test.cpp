// Folder listings over a small tree made for the test, and Base64 parts.
#include <sys/stat.h>
#include <unistd.h>

#include <regex>

#include "helpers/kwutil.h"
#include "tests/helpers/support.h"

using namespace helpers;
using kwtest::writefile;

namespace {

class DirlistTest : public kwtest::KwTest {
protected:
    void SetUp() override {
        KwTest::SetUp();
        root = *home / "tree/";
        for (const char* d : {"tree", "tree/backup", "tree/backup/deep", "tree/other"}) ::mkdir((*home / d).c_str(), 0755);
        make("a.txt", 10, 2024, 1, 10, 12);
        make("b.htm", 200, 2024, 2, 1, 0);
        make("c.TXT", 5, 2023, 12, 31, 23);
        make("noext", 3, 2024, 1, 20, 0);
        make(".hidden.txt", 1, 2024, 1, 5, 0);
        make("kw64_{0a1b}.png", 4, 2024, 1, 15, 0);
        make("backup/d.txt", 50, 2024, 3, 1, 0);
        make("backup/deep/e.txt", 7, 2022, 6, 1, 0);
        make("other/f.txt", 1000, 2025, 1, 1, 0);
        ::symlink("..", (root + "other/loop").c_str());  // leads back up the tree
    }
    void make(const std::string& name, size_t size, int y, int m, int d, int h) {
        writefile(root + name, std::string(size, 'x'));
        kwtest::setmtime(root + name, y, m, d, h);
    }
    std::string root;
};

TEST_F(DirlistTest, MasksPickFilesOfOneFolder) {
    EXPECT_EQ(dirlist(root, "*.txt", "", "", ""), ".hidden.txt\r\na.txt\r\nc.TXT\r\n");
    EXPECT_EQ(dirlist(root, "*", "", "", ""), "noext\r\n");
    EXPECT_EQ(dirlist(root.substr(0, root.size() - 1), "*.*", "", "", ""),
              ".hidden.txt\r\na.txt\r\nb.htm\r\nc.TXT\r\nkw64_{0a1b}.png\r\nnoext\r\n");
    EXPECT_EQ(dirlist(root, "kw64_{*}.*", "", "", ""), "kw64_{0a1b}.png\r\n");
    EXPECT_EQ(dirlist(root, "*.txt;-a*.*", "", "", ""), ".hidden.txt\r\nc.TXT\r\n");
    EXPECT_EQ(dirlist(root, "*.*;-no*", "", "", ""), ".hidden.txt\r\na.txt\r\nb.htm\r\nc.TXT\r\nkw64_{0a1b}.png\r\n");
    EXPECT_EQ(dirlist(*home / "missing/", "*.*", "", "", ""), "");
}

TEST_F(DirlistTest, DateRangesAreInclusive) {
    EXPECT_EQ(dirlist(root, "*.*", "2024/01/06-2024/01/31", "", ""), "a.txt\r\nkw64_{0a1b}.png\r\nnoext\r\n");
    EXPECT_EQ(dirlist(root, "*.*", "-2024/01/05", "", ""), ".hidden.txt\r\nc.TXT\r\n");
    EXPECT_EQ(dirlist(root, "*.*", "2024/02/01-", "", ""), "b.htm\r\n");
}

TEST_F(DirlistTest, NewestAndOldest) {
    EXPECT_EQ(dirlist(root, "*.*", "*", "", ""), "b.htm");
    EXPECT_EQ(dirlist(root, "*.*", "#", "", ""), "c.TXT");
    EXPECT_EQ(dirlist(root, "*.txt", "*", "", "/*.*"), root + "other/f.txt");
    EXPECT_EQ(dirlist(root, "*.txt", "#", "", "/*.*"), root + "backup/deep/e.txt");
    EXPECT_EQ(dirlist(root, "*.zip", "*", "", ""), "");
}

TEST_F(DirlistTest, SizesDetailsAndWidth) {
    EXPECT_EQ(dirlist(root, "*.*", "", "10,200", ""), "a.txt\r\nb.htm\r\n");
    EXPECT_EQ(dirlist(root, "*.*", "", "0-4", ""), ".hidden.txt\r\nkw64_{0a1b}.png\r\nnoext\r\n");
    EXPECT_EQ(dirlist(root, "a.txt", "", "", "Full 12"), "a.txt        | 10/01/2024 12:00:00 | 10\r\n");
    EXPECT_EQ(dirlist(root, "b.htm", "", "", "full"), "b.htm | 01/02/2024 | 200\r\n");
    EXPECT_EQ(dirlist(root, "a.txt", "", "", "3"), "a.t\r\n");
}

TEST_F(DirlistTest, FolderFiltersWalkTheTreeWithoutFollowingLinks) {
    EXPECT_EQ(dirlist(root, "*.txt", "", "", "/*.*"),
              root + ".hidden.txt\r\n" + root + "a.txt\r\n" + root + "backup/d.txt\r\n" + root +
                  "backup/deep/e.txt\r\n" + root + "c.TXT\r\n" + root + "other/f.txt\r\n");
    EXPECT_EQ(dirlist(root, "*.txt", "", "", "/BACKUP"), root + "backup/d.txt\r\n" + root + "backup/deep/e.txt\r\n");
    EXPECT_EQ(dirlist(root, "*.txt", "", "", "/kwre:dee."), root + "backup/deep/e.txt\r\n");
    EXPECT_EQ(dirlist(root, "*.txt", "", "", "/ack"), "");  // a whole component only
    EXPECT_TRUE(dirfilter(root + "x/", "nothing; *.* "));
    EXPECT_FALSE(dirfilter(root, ""));
}

TEST_F(DirlistTest, Base64Table) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},           {"Zg==", "f"},           {"Zm8=", "fo"},         {"Zm9v", "foo"},
        {"Zm9vYg==", "foob"}, {"Zm9vYmE=", "fooba"}, {"Zm9vYmFy", "foobar"}, {"Zm9v\r\nYmFy", "foobar"},
        {"Zm9v\nYmFy", ""}, {"Zm9", ""},             {"Zm9 ", ""},           {"Zg==Zm9v", "f"},
        {"AAE=", std::string("\0\1", 2)}, {"=Zg=", ""}, {"Zm9vYmF!", ""},  {"+/+/", "\xfb\xff\xbf"},
        {"Zm9v\r\r\n\nYmFy", "foobar"},  // a removed line break brings another together
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(b64decode(text), want) << text;
}

TEST_F(DirlistTest, Base64PartsGoToTemporaryFilesNamedByTheirType) {
    const std::string png = "iVBORw0KGgoAAAANSUhEUg==";  // the first bytes of a PNG file
    const std::string r = b64decode("~" + png);
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(r[0], '~');
    const std::string path = r.substr(1);
    EXPECT_TRUE(std::regex_match(path, std::regex(homedir + R"(kw64_\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\}\.png)")))
        << path;
    EXPECT_EQ(kwtest::readfile(path), b64decode(png));
    EXPECT_EQ(b64decode("~Zm9vYmFy").substr(r.size() - 3), "bin");
}

TEST_F(DirlistTest, Base64PartThatCannotBeWrittenGivesNothing) {
    homedir = *home / "no/such/folder/";
    prompter->QueueResult(ui::mrOk);
    EXPECT_EQ(b64decode("~fnBhdGg="), "");  // the data "~path" must not come back as a path
    ASSERT_EQ(prompter->prompts.size(), 1u);
    EXPECT_EQ(prompter->prompts[0].text.rfind("Could not Open " + homedir + "kw64_", 0), 0u);
}

}  // namespace

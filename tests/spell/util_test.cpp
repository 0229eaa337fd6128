// The suite's shared functions: the user dictionaries' hash, path
// variables, dialog placement, the event list and the atomic file write.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "platform/rtl/sysutils.h"
#include "platform/win/program.h"
#include "spell/lx3util.h"
#include "tests/spell/spell_support.h"
#include "tests/support/env_var.h"
#include "tests/support/plants.h"

using namespace spell;

namespace {

using testsupport::EnvVar;

std::string appDir() { return LxExcludeTrailingBackslash(rtl::ExtractFilePath(win::ProgramPath())); }

}  // namespace

// Values from a separate model of the hash's 32-bit signed arithmetic.
TEST(SpellUtil, HashStringMatchesTheFileFormat) {
    struct Case {
        const char* word;
        int32_t slots, home;
    } cases[] = {{"hello", 251, 178},         {"the", 509, 74},   {"\xE9t\xE9", 1021, 822},
                 {"zzzzzzzzzzzzzzzzzzzz", 251, 215}, {"a", 251, 97}, {"Pelliwox", 2147483647, 606386426}};
    for (const auto& c : cases) EXPECT_EQ(HashString(c.word, c.slots), c.home) << c.word;
    EXPECT_EQ(SecondaryHash(178), 178 % 97 + 1);
    EXPECT_EQ(GetNextPrime(0), 251);
    EXPECT_EQ(GetNextPrime(251), 509);
    EXPECT_EQ(GetNextPrime(2147483647), 2147483647);
}

TEST(SpellUtil, VariablesReplaceTheirFirstOccurrenceOnly) {
    EXPECT_EQ(ReplaceString("ab", "X", "abab"), "Xab");
    const std::string user = ExpandFixedVars("%UserName%");
    EXPECT_FALSE(user.empty());
    EXPECT_NE(user, "%UserName%");
    EXPECT_EQ(ExpandFixedVars("%UserName%/%UserName%"), user + "/%UserName%");
    EXPECT_EQ(ExpandFixedVars("%AppName%"), rtl::ChangeFileExt(rtl::ExtractFileName(win::ProgramPath()), ""));
    EXPECT_EQ(ExpandChangingVars("%AppDir%/x"), appDir() + "/x");
}

TEST(SpellUtil, AppDataFallsBackToTheProgramFolder) {
    {
        EnvVar xdg("XDG_DATA_HOME", "/srv/data/");
        EXPECT_EQ(ExpandChangingVars("%AppData%/d"), "/srv/data/d");
    }
    EnvVar xdg("XDG_DATA_HOME", nullptr);
    EnvVar home("HOME", nullptr);
    EXPECT_EQ(ExpandChangingVars("%AppData%"), appDir());
}

TEST(SpellUtil, EnvironmentVariablesExpandAndUnknownOnesStay) {
    EnvVar a("SPELLTEST_A", "alpha");
    EnvVar gone("SPELLTEST_NONE", nullptr);
    EXPECT_EQ(ExpandChangingVars("%SPELLTEST_A%-%SPELLTEST_NONE%-%SPELLTEST_A%"), "alpha-%SPELLTEST_NONE%-alpha");
    EXPECT_EQ(ExpandChangingVars("100%"), "100%");
    // A result past the expansion buffer leaves the text as it was.
    const std::string big(5000, 'x');
    EnvVar b("SPELLTEST_BIG", big.c_str());
    EXPECT_EQ(ExpandChangingVars("%SPELLTEST_BIG%"), "%SPELLTEST_BIG%");
}

TEST(SpellUtil, DialogsStayOnTheirMonitor) {
    const TLxRect mon{0, 0, 1000, 800};
    struct Case {
        int x, y, w, h, ex, ey;
    } cases[] = {
        {100, 100, 300, 200, 100, 100},  // fits
        {-50, -20, 300, 200, 0, 0},      // off the top left
        {900, 700, 300, 200, 700, 600},  // past the bottom right
        {-10, -10, 1200, 900, -200, -100},  // larger than the monitor: right and bottom edges win
    };
    for (const auto& c : cases) {
        const TLxPoint p = AdjustDialogPosition(c.x, c.y, c.w, c.h, mon);
        EXPECT_EQ(p.X, c.ex) << c.x << "," << c.y;
        EXPECT_EQ(p.Y, c.ey) << c.x << "," << c.y;
    }
    // Below a selection, or above it when there is no room below.
    const TLxRect word{400, 300, 460, 320};
    TLxPoint p = AdjustDialogToRect({0, 0}, 300, 200, word, true, true, mon);
    EXPECT_EQ(p.X, 400);
    EXPECT_EQ(p.Y, 320);
    const TLxRect low{400, 700, 460, 720};
    p = AdjustDialogToRect({0, 0}, 300, 200, low, true, true, mon);
    EXPECT_EQ(p.Y, 500);
}

TEST(SpellUtil, EventListAddsEachListenerOnceAndNotifiesInOrder) {
    TEventList list;
    std::string calls;
    int a = 0, b = 0;
    EXPECT_EQ(list.Add(&a, [&](void*) { calls += "a"; }), 0);
    EXPECT_EQ(list.Add(&b, [&](void*) { calls += "b"; }), 0);
    EXPECT_EQ(list.Add(&a, [&](void*) { calls += "A"; }), 1);
    list.Notify(nullptr);
    EXPECT_EQ(calls, "ab");
    list.Remove(&a);
    list.Notify(nullptr);
    EXPECT_EQ(calls, "abb");
    EXPECT_EQ(list.Count(), 1);
}

TEST(SpellUtil, AtomicWriteLeavesTheOldContentWhenItFails) {
    spelltest::TempDir dir;
    const std::string name = dir.path("f.txt");
    std::string error;
    ASSERT_TRUE(WriteFileAtomic(name, "old content", 0600, error)) << error;
    struct stat st {};
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    {
        spelltest::FileSizeLimit limit(4096);
        EXPECT_FALSE(WriteFileAtomic(name, std::string(10000, 'n'), 0600, error));
    }
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(spelltest::readFile(name), "old content");
    // No temporary file is left behind.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.dir())) files += e.is_regular_file();
    EXPECT_EQ(files, 1);
}

// A link or a pipe where a dictionary or the configuration is written: the
// write is refused with the reason, nothing is written through or made
// where the link points, and nothing waits on the pipe.
TEST(SpellUtil, WritesNeverGoThroughPlants) {
    testsupport::TPlantBed bed;
    testsupport::ExpectNoWritesThroughPlants(
        bed, {{"a whole file",
               [](const std::string& path) {
                   std::string error;
                   if (!WriteFileAtomic(path, "new", 0600, error)) throw std::runtime_error(error);
               },
               [](const std::string&, const std::string& reason) { return reason; }},
              {"whether it can be written",
               [](const std::string& path) {
                   if (!CanFileBeWritten(path, false)) throw std::runtime_error("no");
               },
               [](const std::string&, const std::string&) { return std::string("no"); }}});
}

// Reads follow a link to the file it names, refuse a pipe at once, and fail
// on a dangling link as on a missing file.
TEST(SpellUtil, ReadsTakeRegularFilesOnly) {
    testsupport::TPlantBed bed("victim's words");
    testsupport::ExpectReadsOfRegularFilesOnly(
        bed, {{"a whole file",
               [](const std::string& path) {
                   std::string bytes, error;
                   TFileStamp stamp;
                   if (!ReadRegularFile(path, bytes, stamp, error)) throw std::runtime_error(error);
                   if (bytes != "victim's words" || stamp.Size != 14) throw std::runtime_error("not the victim");
               },
               [](const std::string& path, const std::string& reason) {
                   return reason.find(path) == 0 ? reason : "Cannot open " + path + ": " + reason;
               }}});
    // A file of /proc tells no size; it is read to its end all the same.
    std::string bytes, error;
    TFileStamp stamp;
    ASSERT_TRUE(ReadRegularFile("/proc/self/status", bytes, stamp, error)) << error;
    EXPECT_NE(bytes.find("\nPid:"), std::string::npos);
}

// The folders made for dictionaries and settings are their owner's alone,
// whatever the umask lets through.
TEST(SpellUtil, FoldersAreMadeForTheirOwnerOnly) {
    spelltest::TempDir dir;
    const testsupport::TUmaskScope umask(022);
    LXForceDirectories(dir.path("a/b/"));
    EXPECT_EQ(testsupport::ModeOf(dir.path("a")), 0700u);
    EXPECT_EQ(testsupport::ModeOf(dir.path("a/b")), 0700u);
}

TEST(SpellUtil, RenameNeverReplacesAnotherFile) {
    spelltest::TempDir dir;
    spelltest::writeFile(dir.path("a"), "A");
    spelltest::writeFile(dir.path("b"), "B");
    std::string error;
    EXPECT_FALSE(RenameFileNoReplace(dir.path("a"), dir.path("b"), error));
    EXPECT_EQ(spelltest::readFile(dir.path("a")), "A");
    EXPECT_EQ(spelltest::readFile(dir.path("b")), "B");
    EXPECT_TRUE(RenameFileNoReplace(dir.path("a"), dir.path("c"), error));
    EXPECT_EQ(spelltest::readFile(dir.path("c")), "A");
}

TEST(SpellUtil, CanFileBeWrittenLeavesNoTemporaryFile) {
    spelltest::TempDir dir;
    EXPECT_TRUE(CanFileBeWritten(dir.path("new"), true));
    EXPECT_FALSE(std::filesystem::exists(dir.path("new")));
    EXPECT_FALSE(CanFileBeWritten(dir.path("no/such/folder/x"), true));
    EXPECT_FALSE(CanFileBeWritten("", true));
}

// Damaged and hostile archives (made by tests/data/zip/make-damaged.py):
// what was rebuilt is reported, overlapping entries are refused, local
// headers must agree with the directory, and what a crash leaves behind
// is cleaned up by the next write or open.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include "platform/ui/prompter.h"
#include "tests/zip/zip_support.h"
#include "zip/arkivolt.h"
#include "zip/avstream.h"

using namespace zip;
using namespace ziptest;
namespace fs = std::filesystem;

namespace {

std::string Fixture(const std::string& name) { return std::string(ZIP_DATA) + "/damaged/" + name; }

std::vector<std::string> Listing(TAvBaseArchiver& a) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < a.Directory().Count(); ++i) names.push_back(a.Directory()[i].Name);
    return names;
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct Failure {
    std::string name, message;
    int native;
};

class ZipDamage : public ::testing::Test {
protected:
    ui::TScriptedPrompter prompter;
    TScratch dir;
    std::vector<Failure> failures;
    std::vector<std::pair<std::string, std::vector<std::string>>> damaged;

    void TearDown() override { EXPECT_EQ(prompter.unexpected, 0); }

    std::unique_ptr<TArkivolt> Open(const std::string& zip, uint16_t mode = kModeReadOnly) {
        auto ark = std::make_unique<TArkivolt>();
        ark->FileName = zip;
        ark->OnArchiveDamaged = [this](const std::string& why, const std::vector<std::string>& lost) {
            damaged.emplace_back(why, lost);
        };
        ark->OnProcessFileFailure = [this](const std::string& name, TAvProcessOperation, int native, int,
                                           const std::string& message, TAvAction& action) {
            failures.push_back({name, message, native});
            action = fxaIgnore;
        };
        ark->OpenArchive(mode);
        return ark;
    }

    // The code a call raises, 0 when it raises nothing.
    static int CodeOf(const std::function<void()>& f, std::string* message = nullptr) {
        try {
            f();
        } catch (const EAvException& e) {
            if (message) *message = e.Message;
            return e.NativeError;
        }
        return 0;
    }
};

}  // namespace

// End records and directories that lie: the directory comes back from the
// local headers, the caller is told, and neither test nor extraction
// succeeds; opening strictly refuses. unzip refuses or warns on each too.
TEST_F(ZipDamage, ARebuiltDirectoryIsReportedAndNeverTestsAsSound) {
    struct Case {
        const char* file;
        const char* reason;  // part of what the caller is told
        int strict;          // the code of a strict open
        bool unzipRefuses;   // (it lists an archive whose comment is cut, with a warning)
    } cases[] = {
        {"cut.zip", "no end record", 48, true},
        {"count-ffff.zip", "counts 65535 entries", 57, true},
        {"count-short.zip", "counts 1 entries, its directory holds 2", 57, true},
        {"comment-past.zip", "no end record", 48, false},
        {"zip64-count.zip", "4294967295 entries", 57, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        damaged.clear();
        auto ark = Open(Fixture(c.file));
        ASSERT_TRUE(ark->DirectoryRebuilt());
        ASSERT_EQ(damaged.size(), 1u);
        EXPECT_NE(damaged[0].first.find(c.reason), std::string::npos) << damaged[0].first;
        EXPECT_EQ(damaged[0].second, ark->Damage().Lost);
        EXPECT_EQ(CodeOf([&] { ark->TestFiles("*.*", 10431, ""); }), 48);
        ark->BaseDir = dir / "out";
        EXPECT_EQ(CodeOf([&] { ark->ExtractFiles("*.*", 10431, ""); }), 48);
        EXPECT_FALSE(FileExists(dir / "out"));
        EXPECT_EQ(CodeOf([&] {
                      std::string text;
                      ark->ExtractToString(ark->Directory()[0].Name, text);
                  }),
                  48);
        // Asked for what can be had, the intact entries test clean.
        ark->ExtractCorruptedFiles = true;
        ark->TestFiles("*.*", 10431, "");
        EXPECT_TRUE(failures.empty());

        TArkivolt strict;
        strict.RepairMode = false;
        strict.FileName = Fixture(c.file);
        EXPECT_EQ(CodeOf([&] { strict.OpenArchive(kModeReadOnly); }), c.strict);
        const TRun unzip = Shell("unzip -tq " + Quote(Fixture(c.file)));
        EXPECT_EQ(unzip.status != 0, c.unzipRefuses) << unzip.output;
        EXPECT_NE(Shell("7zz t " + Quote(Fixture(c.file))).status, 0);
    }
}

// An archive cut in the middle: the entries before the cut come back, the
// one whose data are cut is named as lost, and no batch writes the guess back.
TEST_F(ZipDamage, ACutArchiveNamesItsHalfPresentEntryAndTakesNoBatch) {
    const std::string zip = dir / "cut.zip";
    fs::copy_file(Fixture("cut.zip"), zip);
    const std::string before = ReadFile(zip);
    auto ark = Open(zip, 2);
    const std::vector<std::string> kept = Listing(*ark);
    ASSERT_FALSE(kept.empty());
    ASSERT_LT(kept.size(), 35u);
    char next[16];
    std::snprintf(next, sizeof next, "page%02zu.htm", kept.size());
    EXPECT_EQ(ark->Damage().Lost, std::vector<std::string>{next});
    for (size_t i = 0; i < kept.size(); ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "page%02zu.htm", i);
        EXPECT_EQ(kept[i], name);
    }
    EXPECT_EQ(CodeOf([&] { ark->AddFromString("new.txt", "new", 32, 0); }), 48);
    ark->CloseArchive();
    EXPECT_EQ(ReadFile(zip), before);

    // Repairing keeps the intact entries and lists the one it could not.
    TArkivolt repair;
    repair.FileName = zip;
    EXPECT_EQ(repair.RepairArchive(dir / "fixed.zip"), std::vector<std::string>{next});
    ExpectPeersAccept(dir / "fixed.zip");
    auto fixed = Open(dir / "fixed.zip");
    EXPECT_EQ(Listing(*fixed), kept);
    EXPECT_FALSE(fixed->DirectoryRebuilt());
}

// Entries whose data overlap (zip bombs) are refused however the archive
// is opened, as unzip refuses them.
TEST_F(ZipDamage, OverlappingEntriesAreRefused) {
    for (const char* file : {"overlap-full.zip", "overlap-quoted.zip"}) {
        SCOPED_TRACE(file);
        for (const bool repair : {true, false}) {
            TArkivolt ark;
            ark.RepairMode = repair;
            ark.FileName = Fixture(file);
            std::string message;
            EXPECT_EQ(CodeOf([&] { ark.OpenArchive(kModeReadOnly); }, &message), 57);
            EXPECT_NE(message.find("overlap"), std::string::npos) << message;
            EXPECT_FALSE(ark.Active());
        }
        const TRun unzip = Shell("unzip -tq " + Quote(Fixture(file)));
        EXPECT_NE(unzip.output.find("overlapped components"), std::string::npos) << unzip.output;
        TArkivolt repair;
        repair.FileName = Fixture(file);
        EXPECT_EQ(CodeOf([&] { repair.RepairArchive(dir / "out.zip"); }), 57);
        EXPECT_FALSE(FileExists(dir / "out.zip"));
    }
}

// The directory decides what an archive holds, as for the peers: bytes of
// local headers it does not name are not entries.
TEST_F(ZipDamage, WhatTheDirectoryDoesNotNameIsNotListedOrExtracted) {
    const std::string zip = Fixture("hidden.zip");
    auto ark = Open(zip);
    EXPECT_FALSE(ark->DirectoryRebuilt());
    EXPECT_EQ(Listing(*ark), std::vector<std::string>{"shown.txt"});
    EXPECT_EQ(Shell("unzip -Z1 " + Quote(zip)).output, "shown.txt\n");
    EXPECT_EQ(PythonListing(zip).substr(0, 10), "shown.txt|");
    ark->BaseDir = dir / "out";
    ark->ExtractFiles("*.*", 10431, "");
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(FilesIn(dir / "out"), std::vector<std::string>{"shown.txt"});
}

// A local header that names another file or gives other sizes than its
// directory entry fails the entry, saying so.
TEST_F(ZipDamage, ALocalHeaderThatDisagreesIsReported) {
    struct Case {
        const char* file;
        const char* what;
    } cases[] = {
        {"local-name.zip", "names \"hiddn.exe\""},
        {"local-size.zip", "other sizes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        failures.clear();
        auto ark = Open(Fixture(c.file));
        ark->TestFiles("*.*", 10431, "");
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_EQ(failures[0].native, 8);
        EXPECT_NE(failures[0].message.find(c.what), std::string::npos) << failures[0].message;
        ark->BaseDir = dir / "out";
        ark->ExtractFiles("*.*", 10431, "");
        EXPECT_FALSE(FileExists(dir / ("out/" + ark->Directory()[0].Name)));
    }
    // unzip warns about the name too (it does not look at the local sizes).
    EXPECT_NE(Shell("unzip -tq " + Quote(Fixture("local-name.zip"))).output.find("mismatching \"local\" filename"),
              std::string::npos);
}

TEST_F(ZipDamage, MethodsThatAreNotDecodedAreNamed) {
    for (const auto& [file, method] : std::map<std::string, std::string>{{"bzip2.zip", "BZip2"}, {"lzma.zip", "LZMA"}}) {
        auto ark = Open(Fixture(file));
        std::string text, message;
        EXPECT_EQ(CodeOf([&] { ark->ExtractToString(ark->Directory()[0].Name, text); }, &message), 68);
        EXPECT_NE(message.find(method + " compression method is not supported"), std::string::npos) << message;
        EXPECT_EQ(Shell("/usr/bin/python3 -m zipfile -t " + Quote(Fixture(file))).status, 0);
    }
}

namespace {

// Runs Work in a child process that kills itself (SIGKILL, as kill -9)
// when Work's archiver reaches the point Kill names.
void KilledDuring(const std::function<void()>& work) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        work();
        ::_exit(0);  // the kill never came: the parent sees the wrong status
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
}

void KillOnSecondChunk(TAvBaseArchiver& a) {
    a.OnFileProgress = [n = 0](const std::string&, double, TAvProcessOperation, TAvProgressPhase ph, bool&) mutable {
        if (ph == ppProcess && ++n == 2) ::raise(SIGKILL);
    };
}

// A new archive of these entries (name, content).
void MakeArchive(const std::string& zip, const std::vector<std::pair<std::string, std::string>>& entries) {
    TArkivolt ark;
    ark.FileName = zip;
    ark.OpenArchive(kModeCreate);
    for (const auto& [name, content] : entries) ark.AddFromString(name, content, 32, 0);
    ark.CloseArchive();
}

std::string Incompressible(size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
    return s;
}

}  // namespace

// A killed append leaves its room as a hole in front of a copy of the old
// directory; the next write puts its entries into that room.
TEST_F(ZipDamage, TheRoomOfAKilledAppendIsReclaimedByTheNextWrite) {
    const std::string zip = dir / "a.zip";
    WriteFile(dir / "big.bin", Incompressible(3 << 20, 7));
    MakeArchive(zip, {{"first.txt", std::string(5000, 'f')}});
    const int64_t whole = static_cast<int64_t>(fs::file_size(zip));
    KilledDuring([&] {
        TArkivolt ark;
        ark.FileName = zip;
        ark.OpenArchive(2);
        KillOnSecondChunk(ark);
        ark.BaseDir = dir.Path();
        ark.AddFiles("big.bin", 10431, "");
    });
    const int64_t killed = static_cast<int64_t>(fs::file_size(zip));
    ASSERT_GT(killed, whole + (3 << 20));
    auto ark = Open(zip, 2);
    EXPECT_FALSE(ark->DirectoryRebuilt());
    EXPECT_EQ(Listing(*ark), std::vector<std::string>{"first.txt"});
    ark->AddFromString("second.txt", "second", 32, 0);
    ark->CloseArchive();
    EXPECT_LT(static_cast<int64_t>(fs::file_size(zip)), whole + 200);
    ExpectPeersAccept(zip);
    EXPECT_EQ(PythonListing(zip, true), "first.txt|" + std::string(5000, 'f') + "\nsecond.txt|second\n");
}

// A killed rewrite leaves its temporary beside the archive; the next open
// removes it, and nothing that merely looks like one.
TEST_F(ZipDamage, TheNextOpenRemovesOnlyItsOwnStaleTemporaries) {
    const std::string zip = dir / "box.zip";
    WriteFile(dir / "big.bin", Incompressible(3 << 20, 9));
    MakeArchive(zip, {{"a.txt", std::string(3000, 'a')}, {"b.txt", std::string(3000, 'b')},
                      {"c.txt", std::string(3000, 'c')}});
    const std::string before = ReadFile(zip);
    // Deleting the first entry and replacing the last rewrites beside the
    // archive; the kill comes while the new last entry is written.
    KilledDuring([&] {
        TArkivolt ark;
        ark.FileName = zip;
        ark.OpenArchive(2);
        KillOnSecondChunk(ark);
        ark.BeginUpdate();
        ark.DeleteFiles("a.txt", 10431, "");
        ark.BaseDir = dir.Path();
        ark.AddFromStream("c.txt", std::make_shared<TAvFileStream>(dir / "big.bin", TAvFileStream::ofRead), false, 0,
                          0, 32, 0);
        ark.EndUpdate();
    });
    EXPECT_EQ(ReadFile(zip), before);
    std::vector<std::string> stale;
    for (const auto& n : FilesIn(dir.Path()))
        if (n.rfind(".box.zip.FC", 0) == 0) stale.push_back(n);
    ASSERT_EQ(stale.size(), 1u);
    const std::string own = stale[0], prefix = own.substr(0, own.size() - 6);
    // Look-alikes: another archive's inode, one in use, a link, an old-style name.
    WriteFile(dir / ".box.zip.FC1.abcdef", "another inode");
    WriteFile(dir / (prefix + "inuse1"), "a live writer's");
    const int held = ::open((dir / (prefix + "inuse1")).c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    fs::create_symlink(dir / "big.bin", dir / (prefix + "link01"));
    WriteFile(dir / "FCabcdef", "someone else's");
    auto ark = Open(zip, 2);
    ::close(held);
    std::vector<std::string> left{".box.zip.FC1.abcdef", prefix + "inuse1", prefix + "link01", "FCabcdef",
                                  "big.bin", "box.zip"};
    std::sort(left.begin(), left.end());
    EXPECT_EQ(FilesIn(dir.Path()), left);
    EXPECT_EQ(Listing(*ark), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
}

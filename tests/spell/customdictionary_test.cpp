// User dictionaries: the word store, its file, and saving beside another
// writer.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "spell/lx3customdictionary.h"
#include "spell/lx3util.h"
#include "spell/lxformat.h"
#include "tests/spell/spell_support.h"
#include "tests/support/plants.h"

using namespace spell;

namespace {

std::set<std::string> ignoreWords(TCustomDictionary& d) {
    std::set<std::string> out;
    for (int i = 0; i < d.IgnoreCount(); ++i) out.insert(d.GetIgnoreWord(i));
    return out;
}

std::set<std::string> pairs(TCustomDictionary& d) {
    std::set<std::string> out;
    std::string w, r;
    for (int i = 0; i < d.AutoCorrectCount(); ++i) {
        d.GetAutoCorrectWord(i, w, r);
        out.insert(w + ">" + r);
    }
    return out;
}

// What a fresh object finds in the file.
std::set<std::string> fileIgnoreWords(const std::string& name) {
    TCustomDictionary d;
    d.WriteFilename(name);
    return ignoreWords(d);
}

std::set<std::string> filePairs(const std::string& name) {
    TCustomDictionary d;
    d.WriteFilename(name);
    return pairs(d);
}

}  // namespace

TEST(SpellUserDictionary, EntriesAndTheirRules) {
    TCustomDictionary d;  // no file: in memory
    EXPECT_TRUE(d.AddIgnore("colour"));
    EXPECT_TRUE(d.AddExclude("irregardless"));
    EXPECT_TRUE(d.AddAutoCorrect("teh", "the"));
    EXPECT_FALSE(d.AddAutoCorrect("colour", "color"));  // one word, one kind
    EXPECT_FALSE(d.AddIgnore("teh"));
    EXPECT_FALSE(d.AddIgnore(""));
    EXPECT_FALSE(d.AddAutoCorrect(std::string(300, 'w'), std::string(201, 'r')));  // 501 bytes
    EXPECT_TRUE(d.AddAutoCorrect(std::string(300, 'w'), std::string(200, 'r')));
    EXPECT_TRUE(d.IgnoreExists("colour"));
    EXPECT_FALSE(d.IgnoreExists("Colour"));  // bytes as written
    EXPECT_FALSE(d.ExcludeExists("colour"));
    EXPECT_TRUE(d.ExcludeExists("irregardless"));
    std::string r;
    EXPECT_TRUE(d.AutoCorrectExists("teh", r));
    EXPECT_EQ(r, "the");
    EXPECT_EQ(d.GetIgnoreWord(5), "");
    EXPECT_TRUE(d.RemoveIgnore("colour"));
    EXPECT_FALSE(d.RemoveIgnore("colour"));
    EXPECT_FALSE(d.RemoveExclude("teh"));  // not of that kind
    EXPECT_EQ(d.WordCount(), 3);
    EXPECT_EQ(d.IgnoreCount(), 0);
    EXPECT_EQ(d.AutoCorrectCount(), 2);
}

TEST(SpellUserDictionary, TheTableGrowsAtAQuarterAndTheBufferOnlyGrows) {
    TCustomDictionary d;
    EXPECT_EQ(d.SlotCount(), 0);
    d.AddIgnore("w1");
    EXPECT_EQ(d.SlotCount(), 251);
    for (int i = 2; i <= 62; ++i) d.AddIgnore("w" + std::to_string(i));
    EXPECT_EQ(d.SlotCount(), 251);
    d.AddIgnore("w63");
    EXPECT_EQ(d.SlotCount(), 509);
    for (int i = 1; i <= 63; ++i) EXPECT_TRUE(d.IgnoreExists("w" + std::to_string(i)));
    const int64_t used = d.BufferUsed();
    d.RemoveIgnore("w5");
    d.AddIgnore("w5");
    EXPECT_EQ(d.BufferUsed(), used + 4);
    // Many removals and additions: the probing never runs out of free slots.
    for (int round = 0; round < 30; ++round)
        for (int i = 0; i < 100; ++i) {
            ASSERT_TRUE(d.AddExclude("x" + std::to_string(round * 100 + i)));
            ASSERT_TRUE(d.RemoveExclude("x" + std::to_string(round * 100 + i)));
        }
    EXPECT_TRUE(d.IgnoreExists("w63"));
}

TEST(SpellUserDictionary, RoundTripsThroughItsFile) {
    spelltest::TempDir dir;
    const std::string name = dir.path("user.lxu");
    {
        TCustomDictionary d;
        d.WriteFilename(name);
        ASSERT_EQ(d.Filename(), name);  // not there yet, can be made
        d.AddIgnore("Pelliwox");
        d.AddIgnore("\xE9t\xE9");
        d.AddExclude("alot");
        d.AddAutoCorrect("recieve", "receive");
        EXPECT_TRUE(d.Save());
    }
    const std::string bytes = spelltest::readFile(name);
    EXPECT_EQ(bytes.substr(0, 121), std::string(LxuBanner) + '\0' + '\x1A');
    TCustomDictionary d;
    d.WriteFilename(name);
    EXPECT_EQ(ignoreWords(d), (std::set<std::string>{"Pelliwox", "\xE9t\xE9"}));
    EXPECT_EQ(d.GetExcludeWord(0), "alot");
    EXPECT_EQ(pairs(d), std::set<std::string>{"recieve>receive"});
    // Nothing changed: nothing written.
    d.WriteLoaded(false);
    EXPECT_EQ(spelltest::readFile(name), bytes);
    // A file of another kind is not taken.
    spelltest::writeFile(dir.path("other.lxu"), "not a dictionary at all, but long enough to read 121 bytes" +
                                                    std::string(100, '.'));
    d.WriteFilename(dir.path("other.lxu"));
    EXPECT_EQ(d.Filename(), name);
}

// A link or a pipe at a user dictionary's name: it is not taken as the
// dictionary, and a dictionary saved there refuses it with the reason,
// writing nothing through it and never waiting on the pipe.
TEST(SpellUserDictionary, NeverWrittenThroughPlants) {
    testsupport::TPlantBed bed;
    testsupport::ExpectNoWritesThroughPlants(
        bed,
        {{"save as",
          [](const std::string& path) {
              TCustomDictionary d;
              d.AddIgnore("Pelliwox");
              if (!d.SaveAs(path)) throw std::runtime_error(d.LastError());
          },
          [](const std::string&, const std::string& reason) { return reason; }},
         {"named as the dictionary",
          [](const std::string& path) {
              TCustomDictionary d;
              d.WriteFilename(path);
              if (d.Filename() != path) throw std::runtime_error("not taken");
          },
          [](const std::string&, const std::string&) { return std::string("not taken"); }}},
        "user.lxu");
}

TEST(SpellUserDictionary, ASaveReplacesTheFileInOneStep) {
    spelltest::TempDir dir;
    const std::string name = dir.path("user.lxu");
    TCustomDictionary d;
    d.WriteFilename(name);
    d.AddIgnore("one");
    ASSERT_TRUE(d.Save());
    struct stat before {};
    ::stat(name.c_str(), &before);
    d.AddIgnore("two");
    ASSERT_TRUE(d.Save());
    struct stat after {};
    ::stat(name.c_str(), &after);
    EXPECT_NE(before.st_ino, after.st_ino);  // a new file renamed into place, not the old one rewritten
}

TEST(SpellUserDictionary, AFailedSaveKeepsTheChangesAndReports) {
    spelltest::TempDir dir;
    const std::string name = dir.path("user.lxu");
    TCustomDictionary d;
    d.WriteFilename(name);
    d.AddIgnore("kept");
    ASSERT_TRUE(d.Save());
    const std::string before = spelltest::readFile(name);
    std::string reported;
    d.OnSaveFailed = [&](const std::string& e) { reported = e; };
    d.AddIgnore(std::string(400, 'z'));
    for (int i = 0; i < 50; ++i) d.AddIgnore("filler" + std::to_string(i));
    {
        spelltest::FileSizeLimit limit(before.size() + 100);
        EXPECT_FALSE(d.Save());
        d.WriteLoaded(false);  // cannot save: stays loaded
    }
    EXPECT_TRUE(d.Modified());
    EXPECT_TRUE(d.Loaded());
    EXPECT_FALSE(reported.empty());
    EXPECT_EQ(spelltest::readFile(name), before);
    ASSERT_TRUE(d.Save()) << d.LastError();
    EXPECT_EQ(fileIgnoreWords(name).count("filler49"), 1u);
}

TEST(SpellUserDictionary, TwoWritersKeepBothSidesChanges) {
    spelltest::TempDir dir;
    const std::string name = dir.path("user.lxu");
    {
        TCustomDictionary seed;
        seed.WriteFilename(name);
        seed.AddIgnore("shared");
        seed.AddIgnore("gone");
        seed.AddAutoCorrect("teh", "the");
        ASSERT_TRUE(seed.Save());
    }
    TCustomDictionary a, b;
    a.WriteFilename(name);
    b.WriteFilename(name);
    ASSERT_TRUE(a.IgnoreExists("shared"));
    ASSERT_TRUE(b.IgnoreExists("shared"));
    a.AddIgnore("fromA");
    a.RemoveIgnore("gone");
    b.AddIgnore("fromB");
    // A pair edited in place: removed, then added with the new replacement.
    b.RemoveAutoCorrect("teh");
    b.AddAutoCorrect("teh", "The");
    // Removed and added back in the same session.
    b.RemoveIgnore("shared");
    b.AddIgnore("shared");
    ASSERT_TRUE(a.Save());
    ASSERT_TRUE(b.Save());  // merges into a's file
    EXPECT_EQ(fileIgnoreWords(name), (std::set<std::string>{"shared", "fromA", "fromB"}));
    EXPECT_EQ(filePairs(name), std::set<std::string>{"teh>The"});
    // b now holds what it wrote, so its next save neither loses a's words
    // nor replays its own changes again.
    EXPECT_TRUE(b.IgnoreExists("fromA"));
    b.AddIgnore("later");
    ASSERT_TRUE(b.Save());
    EXPECT_EQ(fileIgnoreWords(name), (std::set<std::string>{"shared", "fromA", "fromB", "later"}));
    EXPECT_EQ(filePairs(name), std::set<std::string>{"teh>The"});
}

TEST(SpellUserDictionary, AChangeWithinTheSameSecondAndSizeIsSeen) {
    spelltest::TempDir dir;
    const std::string name = dir.path("user.lxu");
    {
        TCustomDictionary seed;
        seed.WriteFilename(name);
        seed.AddAutoCorrect("teh", "the");
        ASSERT_TRUE(seed.Save());
    }
    struct stat st {};
    ::stat(name.c_str(), &st);
    TCustomDictionary a;
    a.WriteFilename(name);
    ASSERT_EQ(a.AutoCorrectCount(), 1);  // loaded now
    // Another program changes one byte in place and its time moves by one
    // nanosecond only.
    std::string bytes = spelltest::readFile(name);
    const size_t at = bytes.rfind("the");
    bytes[at] = 'T';
    spelltest::writeFile(name, bytes);
    timespec times[2] = {st.st_atim, st.st_mtim};
    times[1].tv_nsec = (times[1].tv_nsec + 1) % 1000000000;
    ASSERT_EQ(::utimensat(AT_FDCWD, name.c_str(), times, 0), 0);
    a.AddIgnore("mine");
    ASSERT_TRUE(a.Save());
    EXPECT_EQ(filePairs(name), std::set<std::string>{"teh>The"});
    EXPECT_EQ(fileIgnoreWords(name), std::set<std::string>{"mine"});
}

TEST(SpellUserDictionary, ProcessesSavingAtOnceLoseNothing) {
    spelltest::TempDir dir;
    const std::string name = dir.path("user.lxu");
    constexpr int writers = 4, rounds = 25;
    std::vector<pid_t> children;
    for (int p = 0; p < writers; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failures = 0;
            for (int r = 0; r < rounds; ++r) {
                TCustomDictionary d;
                d.WriteFilename(name);
                d.AddIgnore("p" + std::to_string(p) + "r" + std::to_string(r));
                failures += !d.Save();
            }
            ::_exit(failures);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::set<std::string> expect;
    for (int p = 0; p < writers; ++p)
        for (int r = 0; r < rounds; ++r) expect.insert("p" + std::to_string(p) + "r" + std::to_string(r));
    EXPECT_EQ(fileIgnoreWords(name), expect);
}

TEST(SpellUserDictionary, DamagedFilesAreNotReadNorWrittenOver) {
    spelltest::TempDir dir;
    const std::string good = dir.path("good.lxu");
    {
        TCustomDictionary d;
        d.WriteFilename(good);
        d.AddIgnore("alpha");
        d.AddAutoCorrect("teh", "the");
        ASSERT_TRUE(d.Save());
    }
    const std::string bytes = spelltest::readFile(good);
    const auto at32 = [](std::string s, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) s[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
        return s;
    };
    // Slot values of the two entries, wherever they sit.
    size_t live = 0;
    for (size_t i = 141; i < 141 + 4 * 251; i += 4)
        if (bytes[i] > 0 && !live) live = i;
    const size_t bAt = 141 + 4 * 251;
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"cut in the header", bytes.substr(0, 130)},
        {"slot count past the file", at32(bytes, 137, 0x40000000)},
        {"negative slot count", at32(bytes, 137, 0xFFFFFFFF)},
        {"buffer size past the file", at32(bytes, bAt, 0x7FFFFFFF)},
        {"slot past the buffer", at32(bytes, live, 0x00100000)},
        {"slot of another negative value", at32(bytes, live, 0xFFFFFFF0)},
        {"slot not at an entry's start", at32(bytes, live, static_cast<uint32_t>(bytes[live]) + 1)},
        {"buffer cut before the zero byte", bytes.substr(0, bytes.size() - 1)},
    };
    for (const auto& c : cases) {
        const std::string name = dir.path("bad.lxu");
        spelltest::writeFile(name, c.bytes);
        {
            TCustomDictionary d;
            d.WriteFilename(name);
            EXPECT_FALSE(d.IgnoreExists("alpha")) << c.what;
            EXPECT_TRUE(d.LoadFailed()) << c.what;
            EXPECT_FALSE(d.LastError().empty()) << c.what;
            EXPECT_EQ(d.IgnoreCount(), 0) << c.what;
            EXPECT_FALSE(d.AddIgnore("new")) << c.what;
        }
        EXPECT_EQ(spelltest::readFile(name), c.bytes) << c.what;
    }
}

TEST(SpellUserDictionary, AFailedRenameChangesNothing) {
    spelltest::TempDir dir;
    const std::string name = dir.path("user.lxu");
    TCustomDictionary d;
    d.WriteFilename(name);
    d.AddIgnore("word");
    spelltest::writeFile(dir.path("taken.lxu"), "someone else's");
    struct Case {
        std::string target;
    } cases[] = {{dir.path("taken.lxu")}, {dir.path("no/such/folder/x.lxu")}};
    for (const auto& c : cases) {
        EXPECT_FALSE(d.RenameTo(c.target)) << c.target;
        EXPECT_EQ(d.Filename(), name);
        EXPECT_TRUE(std::filesystem::exists(name));
        EXPECT_FALSE(d.LastError().empty());
    }
    EXPECT_EQ(spelltest::readFile(dir.path("taken.lxu")), "someone else's");
    EXPECT_TRUE(d.RenameTo(dir.path("renamed.lxu")));
    EXPECT_FALSE(std::filesystem::exists(name));
    EXPECT_EQ(fileIgnoreWords(dir.path("renamed.lxu")), std::set<std::string>{"word"});
}

// The other program's reader and writer of the format (tests/spell/lxuio.py).
TEST(SpellUserDictionary, AnotherImplementationReadsAndWritesTheSameFiles) {
    spelltest::TempDir dir;
    std::vector<std::string> entries;
    for (int i = 0; i < 300; ++i)  // past two growths of the table
        entries.push_back(i % 3 == 0 ? "I\tword" + std::to_string(i)
                          : i % 3 == 1 ? "E\tbad\xE9" + std::to_string(i)
                                       : "A\tteh" + std::to_string(i) + "\tthe" + std::to_string(i));
    std::string text;
    for (const auto& e : entries) text += e + "\n";
    spelltest::writeFile(dir.path("in.txt"), text);

    // Theirs, read by ours.
    const std::string theirs = dir.path("theirs.lxu");
    ASSERT_EQ(std::system(("/usr/bin/python3 " SPELL_TEST_DIR "/lxuio.py write '" + theirs + "' < '" +
                           dir.path("in.txt") + "'")
                              .c_str()),
              0);
    TCustomDictionary d;
    d.WriteFilename(theirs);
    EXPECT_EQ(d.IgnoreCount(), 100);
    EXPECT_EQ(d.SlotCount(), 2039);  // grown as ours grows it
    std::string r;
    EXPECT_TRUE(d.IgnoreExists("word297"));
    EXPECT_TRUE(d.ExcludeExists("bad\xE9" "1"));
    EXPECT_TRUE(d.AutoCorrectExists("teh2", r));
    EXPECT_EQ(r, "the2");

    // Ours, read by theirs: the same entries, each where the hash puts it.
    const std::string ours = dir.path("ours.lxu");
    {
        TCustomDictionary o;
        o.WriteFilename(ours);
        for (int i = 0; i < 300; ++i) {
            if (i % 3 == 0) o.AddIgnore("word" + std::to_string(i));
            if (i % 3 == 1) o.AddExclude("bad\xE9" + std::to_string(i));
            if (i % 3 == 2) o.AddAutoCorrect("teh" + std::to_string(i), "the" + std::to_string(i));
        }
        o.RemoveIgnore("word0");
        ASSERT_TRUE(o.Save());
    }
    auto dumped = spelltest::pythonLines("lxuio.py", {"dump", ours});
    std::set<std::string> got(dumped.begin(), dumped.end()), expect(entries.begin() + 1, entries.end());
    EXPECT_EQ(got, expect);
}

// Whole-file input and output, the error log and reports.
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <filesystem>

#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"
#include "tests/helpers/support.h"

using namespace helpers;
using kwtest::readfile;
using kwtest::writefile;

namespace {

class FilesTest : public kwtest::KwTest {
protected:
    std::string log() { return readfile(homedir + "devudariri_msgs.log"); }
    size_t entries() {
        const std::string l = log();
        size_t n = 0;
        for (size_t p = l.find("\r\n"); p != std::string::npos; p = l.find("\r\n", p + 2)) ++n;
        return n;
    }
};

TEST_F(FilesTest, MissingAndEmptyFilesLoadAsEmptyWithoutAMessage) {
    writefile(*home / "empty", "");
    EXPECT_EQ(loadtext(*home / "missing"), "");
    EXPECT_EQ(loadtext(*home / "empty"), "");
    EXPECT_EQ(loadtext(*home / "no/such/folder/x"), "");
    EXPECT_EQ(filesize64(*home / "no/such/folder/x"), 0);
    EXPECT_EQ(filesize64(home->path()), 0);  // a folder has no contents to read
    EXPECT_TRUE(prompter->prompts.empty());
}

TEST_F(FilesTest, LoadtextKeepsEveryByte) {
    const std::string bytes("a\0b\r\n\xFF", 6);
    writefile(*home / "bin", bytes);
    EXPECT_EQ(filesize64(*home / "bin"), 6);
    EXPECT_EQ(loadtext(*home / "bin"), bytes);
}

TEST_F(FilesTest, SavetextReplacesAppendsAndTruncates) {
    const std::string f = *home / "t.txt";
    EXPECT_TRUE(savetext(f, "one"));
    EXPECT_TRUE(savetext("+" + f, "two"));
    EXPECT_EQ(readfile(f), "onetwo");
    EXPECT_TRUE(savetext("+" + f, ""));
    EXPECT_EQ(readfile(f), "onetwo");
    EXPECT_TRUE(savetext("+" + (*home / "new.txt"), "x"));
    EXPECT_EQ(readfile(*home / "new.txt"), "x");
    EXPECT_TRUE(savetext(f, ""));
    EXPECT_TRUE(kwtest::exists(f));
    EXPECT_EQ(readfile(f), "");
}

// A save never leaves a file readable by more people than before, and makes
// one that is looser than asked for the owner's alone; no temporary file
// stays behind.
TEST_F(FilesTest, ASaveTightensALooserFileAndNeverLoosensOne) {
    struct Case {
        mode_t before;
        int createmode;
        mode_t after;
    };
    const Case cases[] = {
        {0644, 0600, 0600},  // a hosts file first written by hand
        {0666, 0600, 0600},
        {0640, 0600, 0600},
        {0400, 0600, 0400},  // the owner's own stricter choice stays
        {0644, 0666, 0644},  // a caller that lets the umask decide changes nothing
    };
    for (const bool append : {false, true}) {
        for (const auto& c : cases) {
            const std::string f = *home / "file";
            writefile(f, "old");
            ASSERT_EQ(::chmod(f.c_str(), c.before), 0);
            EXPECT_TRUE(savetext((append ? "+" : "") + f, "new", c.createmode)) << std::oct << c.before;
            EXPECT_EQ(readfile(f), append ? "oldnew" : "new");
            struct stat st {};
            ASSERT_EQ(::stat(f.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, c.after) << std::oct << c.before << " " << c.createmode << " append "
                                                   << append;
            size_t count = 0;
            for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(home->path())) ++count;
            EXPECT_EQ(count, 1u);
            ::unlink(f.c_str());
        }
    }
}

// Whether anything in a folder had its permissions (or other attributes)
// changed since the watch began.
class AttributeWatch {
public:
    explicit AttributeWatch(const std::string& folder) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        EXPECT_GE(::inotify_add_watch(fd_, folder.c_str(), IN_ATTRIB), 0);
    }
    ~AttributeWatch() { ::close(fd_); }
    bool changed() const {
        alignas(inotify_event) char buf[4096];
        return ::read(fd_, buf, sizeof buf) > 0;
    }

private:
    int fd_;
};

mode_t modeof(const std::string& name) {
    struct stat st {};
    EXPECT_EQ(::stat(name.c_str(), &st), 0) << name;
    return st.st_mode & 07777;
}

// What the program keeps holds mail and addresses: a new file is its
// owner's alone from the moment it exists, without the caller asking.
TEST_F(FilesTest, ANewFileIsPrivateFromTheStart) {
    // With no umask a file made with the mode of the C library would be 0666.
    const kwtest::TUmaskScope umask(0);
    for (const std::string& name : {*home / "secret", "+" + *home / "appended", *home / "scratch"}) {
        const AttributeWatch watch(home->path());
        EXPECT_TRUE(name.find("scratch") != std::string::npos ? savescratch(name, "key") : savetext(name, "key"))
            << name;
        EXPECT_EQ(modeof(name.substr(name[0] == '+')), 0600u) << name;
        EXPECT_FALSE(watch.changed()) << name << ": the mode was set after the file existed";
    }
    FILE* f = fopenretry(*home / "opened", "wb");
    ASSERT_NE(f, nullptr);
    fclosechk(f);
    EXPECT_EQ(modeof(*home / "opened"), 0600u);
    // A caller may let the umask decide.
    EXPECT_TRUE(savetext(*home / "shared", "x", 0666));
    EXPECT_EQ(modeof(*home / "shared"), 0666u);
}

TEST_F(FilesTest, SavetextIntoAMissingFolderReportsAndFails) {
    const std::string f = *home / "nofolder/x.txt";
    prompter->QueueResult(ui::mrOk);
    EXPECT_FALSE(savetext(f, "data"));
    ASSERT_EQ(prompter->prompts.size(), 1u);
    EXPECT_EQ(prompter->prompts[0].text, "Could not Open " + f + "\r\n" + rtl::SysErrorMessage(ENOENT));
    EXPECT_EQ(lasterrtext(), rtl::SysErrorMessage(ENOENT));
}

// While it holds, writes past Bytes fail with EFBIG.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit small = old_;
        small.rlim_cur = bytes;
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldhandler_);
    }

private:
    rlimit old_{};
    void (*oldhandler_)(int) = std::signal(SIGXFSZ, SIG_IGN);
};

// A write that fails is a failure, told with its own reason, and a replaced
// file is left as it was.
TEST_F(FilesTest, AFailedWriteIsAFailureWithItsOwnReason) {
    const std::string f = *home / "kept";
    writefile(f, "old");
    for (const std::string& name : {f, "+" + f}) {
        prompter->QueueResult(ui::mrOk);
        {
            const FileSizeLimit limit(4);
            EXPECT_FALSE(savetext(name, std::string(100, 'x'))) << name;
        }
        EXPECT_EQ(lasterrtext(), rtl::SysErrorMessage(EFBIG)) << name;
    }
    ASSERT_EQ(prompter->prompts.size(), 2u);
    for (const auto& p : prompter->prompts) EXPECT_EQ(p.text, "Could not Write " + f + "\r\n" + rtl::SysErrorMessage(EFBIG));
    EXPECT_EQ(readfile(f).substr(0, 3), "old");
}

// The log entry written about a failure may fail on its own; what the
// caller then tells is the first failure, not the log's.
TEST_F(FilesTest, TheFailureIsToldNotTheLogsOwn) {
    ASSERT_EQ(::mkdir((homedir + "devudariri_msgs.log").c_str(), 0700), 0);
    FILE* f = std::fopen("/dev/full", "w");
    ASSERT_NE(f, nullptr);
    std::fputs("pending", f);
    prompter->QueueResult(ui::mrOk);
    EXPECT_NE(fclosechk(f), 0);
    EXPECT_EQ(lasterrtext(), rtl::SysErrorMessage(ENOSPC));
    ASSERT_EQ(prompter->prompts.size(), 1u);
    EXPECT_EQ(prompter->prompts[0].text, "Could not Open " + homedir + "devudariri_msgs.log\r\n" + homedir +
                                             "devudariri_msgs.log is a folder, not a regular file");
}

// Kills the test binary if a call blocks (on a pipe nobody reads).
class Watchdog {
public:
    explicit Watchdog(unsigned seconds) { ::alarm(seconds); }
    ~Watchdog() { ::alarm(0); }
};

// Whatever is planted where a file is written (a link, dangling or live, a
// link in the folder, a pipe), the writer refuses, says why, and leaves
// what the plant points to as it was: no file made at a link's target, no
// victim overwritten, no write blocked on a pipe without a reader.
TEST_F(FilesTest, NothingIsWrittenThroughALinkOrIntoAPipe) {
    const Watchdog watchdog(60);
    const kwtest::TTempDir outside;
    writefile(outside / "source", "source bytes");
    const auto saved = retrysleep;
    retrysleep = [](int32_t) {};
    struct Restore {
        std::function<void(int32_t)> saved;
        ~Restore() { retrysleep = saved; }
    } restore{saved};
    auto opens = [](const std::string& name, const char* mode) {
        FILE* f = fopenretry(name, mode);
        fclosechk(f);
        return f != nullptr;
    };
    struct Writer {
        const char* what;
        std::function<bool(const std::string&)> write;
        bool reports;  // tells the user itself
    };
    const Writer writers[] = {
        {"savetext", [](const std::string& n) { return savetext(n, "data"); }, true},
        {"append", [](const std::string& n) { return savetext("+" + n, "data"); }, true},
        {"savescratch", [](const std::string& n) { return savescratch(n, "data"); }, true},
        {"fopenretry wb", [&](const std::string& n) { return opens(n, "wb"); }, false},
        {"fopenretry ab", [&](const std::string& n) { return opens(n, "ab"); }, false},
        {"filecopy", [&](const std::string& n) { return filecopy(outside / "source", n); }, false},
    };
    enum TPlant { dangling, live, pipe, folderlink };
    const char* const plantnames[] = {"dangling link", "live link", "pipe", "link in the folder"};
    for (const auto& w : writers) {
        for (const TPlant plant : {dangling, live, pipe, folderlink}) {
            const std::string context = std::string(w.what) + ", " + plantnames[plant];
            const std::string victim = outside / "victim";
            writefile(victim, "victim");
            std::string name = *home / "target";
            std::string reason;
            switch (plant) {
                case dangling:
                    ASSERT_EQ(::symlink((outside / "created").c_str(), name.c_str()), 0);
                    reason = name + " is a link (to " + outside / "created" + "); the program does not write through links";
                    break;
                case live:
                    ASSERT_EQ(::symlink(victim.c_str(), name.c_str()), 0);
                    reason = name + " is a link (to " + victim + "); the program does not write through links";
                    break;
                case pipe:
                    ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0);
                    reason = name + " is a pipe, not a regular file";
                    break;
                case folderlink:
                    ASSERT_EQ(::symlink(outside.path().c_str(), (*home / "sub").c_str()), 0);
                    name = *home / "sub/victim";
                    reason = *home / "sub is a link (to " + outside.path() + "); the program does not write through links";
                    break;
            }
            if (w.reports) prompter->QueueResult(ui::mrOk);
            const size_t before = prompter->prompts.size();
            EXPECT_FALSE(w.write(name)) << context;
            EXPECT_EQ(lasterrtext(), reason) << context;
            if (w.reports) {
                ASSERT_EQ(prompter->prompts.size(), before + 1) << context;
                EXPECT_EQ(prompter->prompts.back().text, "Could not Open " + name + "\r\n" + reason) << context;
            }
            EXPECT_EQ(readfile(victim), "victim") << context;
            EXPECT_FALSE(kwtest::exists(outside / "created")) << context;
            struct stat st {};
            EXPECT_EQ(::lstat((*home / (plant == folderlink ? "sub" : "target")).c_str(), &st), 0) << context;
            EXPECT_EQ(plant == pipe ? S_ISFIFO(st.st_mode) : S_ISLNK(st.st_mode), true) << context << ": the plant stays";
            // Nothing else was left in either folder.
            size_t count = 0;
            for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(home->path())) ++count;
            EXPECT_EQ(count, 1u) << context;
            std::filesystem::remove(*home / (plant == folderlink ? "sub" : "target"));
        }
    }
}

// Reads never wait on a pipe or device, and read files whose status tells
// no size (those of /proc) to their end; a link to a file is read.
TEST_F(FilesTest, ReadsTakeRegularFilesToTheirEnd) {
    const Watchdog watchdog(60);
    ASSERT_EQ(::mkfifo((*home / "pipe").c_str(), 0600), 0);
    prompter->QueueResult(ui::mrOk);
    EXPECT_EQ(loadtext(*home / "pipe"), "");
    ASSERT_EQ(prompter->prompts.size(), 1u);
    EXPECT_EQ(prompter->prompts[0].text,
              "Could not Open " + *home / "pipe" + "\r\n" + *home / "pipe" + " is a pipe, not a regular file");
    EXPECT_EQ(fopenretry(*home / "pipe", "rb"), nullptr);
    EXPECT_EQ(lasterrtext(), *home / "pipe" + " is a pipe, not a regular file");
    const std::string status = loadtext("/proc/self/status");
    EXPECT_EQ(status.rfind("Name:", 0), 0u) << status.substr(0, 40);
    EXPECT_NE(status.find("\nPid:"), std::string::npos);
    writefile(*home / "real", "real bytes");
    ::symlink((*home / "real").c_str(), (*home / "link").c_str());
    EXPECT_EQ(loadtext(*home / "link"), "real bytes");
}

TEST_F(FilesTest, FailingCloseIsLoggedOnce) {
    FILE* f = std::fopen("/dev/full", "w");
    ASSERT_NE(f, nullptr);
    std::fputs("pending", f);
    EXPECT_NE(fclosechk(f), 0);
    EXPECT_EQ(fclosechk(nullptr), 0);
    EXPECT_NE(log().find("\r\nCannot Close File Handle\r\n"), std::string::npos);
}

TEST_F(FilesTest, ErrorLogOnAFullDiskDoesNotFeedOnItself) {
    writefile(homedir + "devudariri_msgs.log", "old entries\r\n");
    prompter->QueueResult(ui::mrOk);
    {
        const FileSizeLimit limit(8);
        errlog("first");  // every write of the log fails
    }
    ASSERT_EQ(prompter->prompts.size(), 1u);
    EXPECT_EQ(prompter->prompts[0].text.rfind("Could not Write " + homedir + "devudariri_msgs.log", 0), 0u);
}

TEST_F(FilesTest, ErrlogAppendsTwoLineEntries) {
    errlog("first message");
    errlog("second");
    EXPECT_EQ(entries(), 4u);
    char cwd[PATH_MAX];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    const std::string l = log();
    const std::string head = " User " + winuser() + " in " + cwd + "\r\nfirst message\r\n";
    EXPECT_NE(l.find(head), std::string::npos) << l;
    EXPECT_EQ(l.substr(l.size() - 8), "second\r\n");
    EXPECT_EQ(l[2], '/');  // the pinned short date leads the entry
}

TEST_F(FilesTest, ErrreportTrimsAndShowsAPlainBox) {
    prompter->QueueResult(ui::mrOk);
    errreport("\r\n  something failed \r\n\r\n");
    ASSERT_EQ(prompter->prompts.size(), 1u);
    EXPECT_EQ(prompter->prompts[0].text, "something failed");
    EXPECT_EQ(prompter->prompts[0].buttons, ui::mbOK);
    EXPECT_FALSE(kwtest::exists(homedir + "devudariri_msgs.log"));  // a report is not logged
}

}  // namespace

// Whole-file input and output, the error log and reports.
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
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

TEST_F(FilesTest, ReplacingLeavesNoTemporaryFileAndKeepsModeAndLinks) {
    const std::string f = *home / "keep.txt";
    writefile(f, "old");
    ::chmod(f.c_str(), 0640);
    ::symlink(f.c_str(), (*home / "link").c_str());
    EXPECT_TRUE(savetext(*home / "link", "new content"));
    EXPECT_EQ(readfile(f), "new content");
    struct stat st {};
    ASSERT_EQ(::lstat((*home / "link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    size_t count = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(home->path())) ++count;
    EXPECT_EQ(count, 2u);
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

TEST_F(FilesTest, ANewFileHasItsCreationModeFromTheStart) {
    // With no umask a file made with the default mode would be 0666.
    struct UmaskGuard {
        mode_t old = ::umask(0);
        ~UmaskGuard() { ::umask(old); }
    } guard;
    for (const std::string name : {*home / "secret", "+" + *home / "appended"}) {
        const AttributeWatch watch(home->path());
        EXPECT_TRUE(savetext(name, "key", 0600)) << name;
        EXPECT_EQ(modeof(name.substr(name[0] == '+')), 0600u) << name;
        EXPECT_FALSE(watch.changed()) << name << ": the mode was set after the file existed";
    }
    // An existing file keeps its own mode.
    writefile(*home / "shared", "old");
    ::chmod((*home / "shared").c_str(), 0644);
    EXPECT_TRUE(savetext(*home / "shared", "new", 0600));
    EXPECT_EQ(readfile(*home / "shared"), "new");
    EXPECT_EQ(modeof(*home / "shared"), 0644u);
}

TEST_F(FilesTest, SavetextIntoAMissingFolderReportsAndFails) {
    const std::string f = *home / "nofolder/x.txt";
    prompter->QueueResult(ui::mrOk);
    EXPECT_FALSE(savetext(f, "data"));
    ASSERT_EQ(prompter->prompts.size(), 1u);
    EXPECT_EQ(prompter->prompts[0].text, "Could not Open " + f + "\r\n" + rtl::SysErrorMessage(ENOENT));
    EXPECT_EQ(lasterrtext(), rtl::SysErrorMessage(ENOENT));
}

TEST_F(FilesTest, AFailedWriteIsAFailureNotASuccess) {
    // /dev/full takes the open and refuses the bytes.
    for (const std::string name : {"/dev/full", "+/dev/full"}) {
        prompter->QueueResult(ui::mrOk);
        EXPECT_FALSE(savetext(name, "data")) << name;
    }
    ASSERT_EQ(prompter->prompts.size(), 2u);
    EXPECT_EQ(prompter->prompts[0].text.rfind("Could not Write /dev/full\r\n", 0), 0u);
    struct stat st {};
    ASSERT_EQ(::stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));  // written where it is, never replaced
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
    ::symlink("/dev/full", (homedir + "devudariri_msgs.log").c_str());
    prompter->QueueResult(ui::mrOk);
    errlog("first");  // every write of the log fails, and so does its close
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

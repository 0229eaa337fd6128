// File checks, copies, and renames and deletes that retry and ask.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"
#include "tests/helpers/support.h"

using namespace helpers;
using kwtest::readfile;
using kwtest::writefile;

namespace {

class FileopsTest : public kwtest::KwTest {
protected:
    void SetUp() override {
        KwTest::SetUp();
        saved = retrysleep;
        retrysleep = [this](int32_t ms) {
            EXPECT_EQ(ms, 120);
            ++pauses;
            if (onpause) onpause(pauses);
        };
    }
    void TearDown() override {
        retrysleep = saved;
        KwTest::TearDown();
    }
    std::function<void(int32_t)> saved;
    std::function<void(int)> onpause;
    int pauses = 0;
};

TEST_F(FileopsTest, PathexistsIsTrueOnlyForFiles) {
    writefile(*home / "f", "x");
    EXPECT_TRUE(pathexists(*home / "f"));
    EXPECT_FALSE(pathexists(home->path()));
    EXPECT_FALSE(pathexists(*home / "missing"));
    EXPECT_FALSE(pathexists(*home / "no/such/folder/f"));
    EXPECT_FALSE(pathexists(""));
}

TEST_F(FileopsTest, DatesOfFiles) {
    writefile(*home / "f", "x");
    kwtest::setmtime(*home / "f", 2020, 5, 6, 7, 8, 9);
    EXPECT_NEAR(filedate(*home / "f"), rtl::EncodeDate(2020, 5, 6) + rtl::EncodeTime(7, 8, 9, 0), 1e-9);
    EXPECT_EQ(filedate(*home / "missing"), 0);
    const TDateTime t = rtl::EncodeDate(2020, 1, 1);
    EXPECT_TRUE(sametime(t, t + 4.0 / 86400));
    EXPECT_FALSE(sametime(t, t - 5.0 / 86400));
}

TEST_F(FileopsTest, FilecopyOverwrites) {
    writefile(*home / "a", "new");
    writefile(*home / "b", "old and longer");
    EXPECT_TRUE(filecopy(*home / "a", *home / "b"));
    EXPECT_EQ(readfile(*home / "b"), "new");
    EXPECT_FALSE(filecopy(*home / "missing", *home / "c"));
    EXPECT_FALSE(kwtest::exists(*home / "c"));
}

TEST_F(FileopsTest, RenameMovesAndNeverReplaces) {
    writefile(*home / "a", "A");
    ::chmod((*home / "a").c_str(), 0444);
    EXPECT_TRUE(renameretry(*home / "a", *home / "b"));
    EXPECT_EQ(readfile(*home / "b"), "A");
    EXPECT_FALSE(renameretry(*home / "a", *home / "c"));  // the source is gone: no question
    EXPECT_EQ(pauses, 0);
    EXPECT_TRUE(prompter->prompts.empty());
}

TEST_F(FileopsTest, RenameOntoAnExistingFileAsksAfterAHundredAttempts) {
    writefile(*home / "a", "A");
    writefile(*home / "b", "B");
    prompter->QueueResult(ui::mrYes);
    prompter->QueueResult(ui::mrNo);
    EXPECT_FALSE(renameretry(*home / "a", *home / "b"));
    EXPECT_EQ(pauses, 200);
    ASSERT_EQ(prompter->prompts.size(), 2u);
    const std::string want = rtl::UpperCase(programname()) + "\r\n\r\nCould not Rename " + *home / "a" + " to " +
                             *home / "b" + "\r\nReason :" + rtl::SysErrorMessage(EEXIST) + "\r\nFile Existence :-\r\n" +
                             *home / "a" + "=True\r\n" + *home / "b" + "=True\r\nRetry ?";
    EXPECT_EQ(prompter->prompts[0].text, want);
    EXPECT_EQ(prompter->prompts[0].buttons, ui::mbYesNo);
    EXPECT_EQ(readfile(*home / "a"), "A");
    EXPECT_EQ(readfile(*home / "b"), "B");
}

// A folder on another file system than the test's home (/dev/shm is a
// tmpfs of its own), so that a move there has to copy.
class OtherDevice {
public:
    OtherDevice() {
        std::string tmpl = "/dev/shm/kwtest.XXXXXX";
        if (!::mkdtemp(tmpl.data())) throw std::runtime_error("no folder under /dev/shm");
        path_ = tmpl + "/";
    }
    ~OtherDevice() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return path_ + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

dev_t deviceof(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_dev;
}

TEST_F(FileopsTest, AMoveToAnotherFileSystemKeepsContentModeAndDate) {
    const OtherDevice other;
    ASSERT_NE(deviceof(home->path()), deviceof(other.path()));
    std::string data(200000, 'x');
    data[123456] = '\0';
    writefile(*home / "a", data);
    ::chmod((*home / "a").c_str(), 0640);
    kwtest::setmtime(*home / "a", 2001, 2, 3, 4, 5, 6);
    EXPECT_TRUE(renameretry(*home / "a", other / "a"));
    EXPECT_FALSE(kwtest::exists(*home / "a"));
    EXPECT_EQ(readfile(other / "a"), data);
    struct stat st {};
    ASSERT_EQ(::stat((other / "a").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_TRUE(sametime(filedate(other / "a"), rtl::EncodeDate(2001, 2, 3) + rtl::EncodeTime(4, 5, 6, 0)));
    // Nor does it replace a file there.
    writefile(*home / "b", "B");
    writefile(other / "b", "old");
    prompter->QueueResult(ui::mrNo);
    EXPECT_FALSE(renameretry(*home / "b", other / "b"));
    EXPECT_EQ(readfile(*home / "b"), "B");
    EXPECT_EQ(readfile(other / "b"), "old");
}

TEST_F(FileopsTest, ACopyThatFailsPartWayLeavesNoHalfFile) {
    const OtherDevice other;
    ASSERT_NE(deviceof(home->path()), deviceof(other.path()));
    const std::string data(300000, 'y');
    writefile(*home / "a", data);
    prompter->QueueResult(ui::mrNo);
    {
        // While it holds, writes past 64 KB fail (EFBIG): the copy breaks part way.
        struct FileSizeLimit {
            rlimit old{};
            void (*oldhandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
            FileSizeLimit() {
                ::getrlimit(RLIMIT_FSIZE, &old);
                rlimit small = old;
                small.rlim_cur = 65536;
                EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
            }
            ~FileSizeLimit() {
                ::setrlimit(RLIMIT_FSIZE, &old);
                std::signal(SIGXFSZ, oldhandler);
            }
        } limit;
        EXPECT_FALSE(renameretry(*home / "a", other / "a"));
    }
    EXPECT_FALSE(kwtest::exists(other / "a"));
    EXPECT_EQ(readfile(*home / "a"), data);
    ASSERT_EQ(prompter->prompts.size(), 1u);
    EXPECT_NE(prompter->prompts[0].text.find("Reason :" + rtl::SysErrorMessage(EFBIG)), std::string::npos)
        << prompter->prompts[0].text;
}

TEST_F(FileopsTest, RenameGivesUpWhenTheSourceVanishes) {
    writefile(*home / "a", "A");
    writefile(*home / "b", "B");
    onpause = [&](int n) {
        if (n == 15) ::unlink((*home / "a").c_str());
    };
    EXPECT_FALSE(renameretry(*home / "a", *home / "b"));
    EXPECT_EQ(pauses, 20);
    EXPECT_TRUE(prompter->prompts.empty());
}

TEST_F(FileopsTest, DeleteClearsReadOnlyAndTreatsMissingAsDone) {
    writefile(*home / ".hidden", "x");
    ::chmod((*home / ".hidden").c_str(), 0444);
    EXPECT_TRUE(deleteretry(*home / ".hidden"));
    EXPECT_FALSE(kwtest::exists(*home / ".hidden"));
    EXPECT_TRUE(deleteretry(*home / "missing"));
    EXPECT_EQ(pauses, 0);
}

TEST_F(FileopsTest, UndeletableFileAsksAndNoGivesUp) {
    const std::string name = "/proc/self/status";  // the kernel refuses to unlink it, even for root
    prompter->QueueResult(ui::mrNo);
    EXPECT_FALSE(deleteretry(name));
    EXPECT_EQ(pauses, 100);
    ASSERT_EQ(prompter->prompts.size(), 1u);
    const std::string& text = prompter->prompts[0].text;
    EXPECT_NE(text.find("\r\n\r\nCould not Delete " + name + "\r\nReason :"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nFile Details :-\r\n" + name + " -  Size="), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 9), "\r\nRetry ?");
}

TEST_F(FileopsTest, DeletingAFolderFailsAndLeavesIt) {
    ASSERT_EQ(::mkdir((*home / "folder").c_str(), 0700), 0);
    EXPECT_FALSE(deleteretry(*home / "folder"));
    EXPECT_TRUE(kwtest::exists(*home / "folder"));
    EXPECT_EQ(lasterrtext(), rtl::SysErrorMessage(EISDIR));
    EXPECT_EQ(pauses, 0);
}

mode_t modeof(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// Folders the program makes (a mailbox's received folder, the per-user
// folder's parents) are their owner's alone, whatever the umask.
TEST_F(FileopsTest, FoldersAreMadePrivate) {
    const kwtest::TUmaskScope umask(022);
    EXPECT_TRUE(forcedirs(*home / "rcvd/alice_example_org"));
    EXPECT_EQ(modeof(*home / "rcvd"), 0700u);
    EXPECT_EQ(modeof(*home / "rcvd/alice_example_org"), 0700u);
    EXPECT_TRUE(forcedirs(*home / "rcvd/alice_example_org/"));  // there already
    const kwtest::TTempDir other;  // not one of the program's folders
    EXPECT_TRUE(forcedirs(other / "a/b"));
    EXPECT_EQ(modeof(other / "a"), 0700u);
    EXPECT_EQ(modeof(other / "a/b"), 0700u);
}

// In the program's folders a link, live or dangling, at any part of a
// folder's path sends nothing elsewhere: making the folder and moving a
// file into it are refused, with the link named.
TEST_F(FileopsTest, LinksInTheProgramsFoldersAreNotFollowed) {
    const kwtest::TTempDir outside;
    for (const bool dangling : {false, true}) {
        const std::string to = dangling ? outside / "gone" : outside.path();
        ASSERT_EQ(::symlink(to.c_str(), (*home / "rcvd").c_str()), 0);
        const std::string reason =
            *home / "rcvd is a link (to " + to + "); the program does not write through links";
        EXPECT_FALSE(forcedirs(*home / "rcvd/alice"));
        EXPECT_EQ(lasterrtext(), reason);
        writefile(*home / "kw64_part", "attachment");
        prompter->QueueResult(ui::mrNo);
        EXPECT_FALSE(renameretry(*home / "kw64_part", *home / "rcvd/alice.pdf"));
        ASSERT_FALSE(prompter->prompts.empty());
        EXPECT_NE(prompter->prompts.back().text.find("Reason :" + reason), std::string::npos)
            << prompter->prompts.back().text;
        EXPECT_EQ(readfile(*home / "kw64_part"), "attachment");
        EXPECT_FALSE(kwtest::exists(outside / "alice"));
        EXPECT_FALSE(kwtest::exists(outside / "alice.pdf"));
        EXPECT_FALSE(kwtest::exists(outside / "gone"));
        ::unlink((*home / "rcvd").c_str());
    }
    // A link cannot help, so the question comes at once, not after a hundred tries.
    EXPECT_EQ(pauses, 2);
    // Outside the program's folders the links are the user's own.
    ASSERT_EQ(::symlink(outside.path().c_str(), (outside / "alias").c_str()), 0);
    EXPECT_TRUE(forcedirs(outside / "alias/made"));
    EXPECT_TRUE(kwtest::exists(outside / "made"));
}

TEST_F(FileopsTest, FiledetailsDescribesSizeDateAndAttributes) {
    const std::string f = *home / "big";
    writefile(f, std::string(1234567, 'x'));
    kwtest::setmtime(f, 1980, 1, 2, 2, 3, 55);
    EXPECT_EQ(filedetails(f), f + " -  Size=1,234,567  Date=Wed Jan 02 02:03:55 1980  Attributes=---A-");
    writefile(*home / ".h", "");
    ::chmod((*home / ".h").c_str(), 0444);
    EXPECT_EQ(filedetails(*home / ".h").substr(filedetails(*home / ".h").size() - 5), "RH-A-");
    EXPECT_EQ(filedetails(home->path()).substr(filedetails(home->path()).size() - 5), "----D");
    EXPECT_EQ(filedetails(*home / "gone"), *home / "gone" + " - File or Directory does not Exist");
}

}  // namespace

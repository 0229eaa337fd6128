// File checks, copies, and renames and deletes that retry and ask.
#include <sys/stat.h>
#include <unistd.h>

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

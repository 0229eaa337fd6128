// The program folder, parameters with the redirect file, path roots.
#include <unistd.h>

#include <climits>

#include "helpers/kwutil.h"
#include "platform/win/program.h"
#include "tests/helpers/support.h"

using namespace helpers;

namespace {

class PathsTest : public kwtest::KwTest {
protected:
    void SetUp() override {
        KwTest::SetUp();
        ::mkdir((*home / "bin").c_str(), 0755);
        program = *home / "bin/mailer.bin";
        win::SetCommandLine({program, "a", "b c", "d"});
    }
    void TearDown() override {
        win::SetCommandLine({});
        KwTest::TearDown();
    }
    std::string program;
};

std::string cwd() {
    char buf[PATH_MAX];
    return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

TEST_F(PathsTest, ParametersAndTheProgramFolder) {
    EXPECT_EQ(exeparam(0), program);
    EXPECT_EQ(exeparam(2), "b c");
    EXPECT_EQ(exeparam(9), "");
    EXPECT_EQ(paramline(1), "a \"b c\" d");
    EXPECT_EQ(paramline(3), "d");
    EXPECT_EQ(paramline(4), "");
    EXPECT_EQ(programname(), "mailer");
    EXPECT_EQ(findhomedir(false), *home / "bin/");
    EXPECT_EQ(findhomedir(true), home->path());
}

TEST_F(PathsTest, RedirectFileNamesTheFolderWithoutItsLineEnd) {
    for (const std::string content : {"/other/place", "/other/place/\r\n", "/other/place\n"}) {
        kwtest::writefile(*home / "bin/redirect_exes.txt", content);
        utilexit();  // the file is read once a run
        EXPECT_EQ(exeparam(0), "/other/place/mailer.bin") << content;
        EXPECT_EQ(findhomedir(false), "/other/place/");
        EXPECT_EQ(exeparam(1), "a");
    }
}

TEST_F(PathsTest, ARelativeProgramPathIsTakenFromTheCurrentFolder) {
    win::SetCommandLine({"m"});
    EXPECT_EQ(findhomedir(false), cwd() + "/");
    win::SetCommandLine({"sub/../x/m"});
    EXPECT_EQ(findhomedir(false), cwd() + "/x/");
}

TEST_F(PathsTest, PathRootIsTheMountPoint) {
    EXPECT_EQ(pathroot("/"), "/");
    EXPECT_EQ(pathroot("/proc/self/status"), "/proc/");
    EXPECT_EQ(pathroot(""), pathroot(cwd()));
    EXPECT_EQ(pathroot("no/such/path"), pathroot(cwd()));
    EXPECT_EQ(pathroot(*home / "missing/deeper"), pathroot(home->path()));
}

TEST_F(PathsTest, ChdirtoChangesOrLeavesTheCurrentFolder) {
    const std::string before = cwd();
    chdirto(*home / "bin");
    EXPECT_EQ(cwd() + "/", *home / "bin/");
    chdirto(*home / "missing");
    EXPECT_EQ(cwd() + "/", *home / "bin/");
    chdirto(before);
    EXPECT_EQ(cwd(), before);
}

}  // namespace

// Files opened through the run-time library: streams and string lists.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/rtl/fileio.h"
#include "platform/rtl/streams.h"
#include "tests/support/plants.h"

using namespace rtl;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

// Messages of the form Lead + the quoted name + ". " + the reason.
std::function<std::string(const std::string&, const std::string&)> told(const std::string& lead) {
    return [lead](const std::string& name, const std::string& reason) {
        return lead + " \"" + name + "\". " + reason;
    };
}

}  // namespace

// Whatever is planted where a file is written, the writer refuses and says
// why: no file made at a link's target, no victim overwritten, no call held
// up by a pipe nobody reads.
TEST(RtlFiles, NothingIsWrittenThroughALinkOrIntoAPipe) {
    const std::vector<testsupport::TFileUse> writers = {
        {"TFileStream fmCreate", [](const std::string& n) { TFileStream(n, fmCreate).WriteString("data"); },
         told("Cannot create file")},
        {"TFileStream fmOpenWrite", [](const std::string& n) { TFileStream(n, fmOpenWrite).WriteString("data"); },
         told("Cannot open file")},
        {"TFileStream fmOpenReadWrite",
         [](const std::string& n) { TFileStream(n, fmOpenReadWrite).WriteString("data"); }, told("Cannot open file")},
        {"TStringList::SaveToFile",
         [](const std::string& n) {
             TStringList l;
             l.Add("data");
             l.SaveToFile(n);
         },
         told("Cannot write file")},
    };
    testsupport::TPlantBed bed;
    testsupport::ExpectNoWritesThroughPlants(bed, writers);
}

TEST(RtlFiles, ReadsFollowLinksToFilesAndNeverWaitOnAPipe) {
    const std::vector<testsupport::TFileUse> readers = {
        {"TFileStream fmOpenRead",
         [](const std::string& n) {
             TFileStream s(n, fmOpenRead);
             std::string got(6, '\0');
             s.ReadBuffer(got.data(), 6);
             if (got != "victim") throw std::runtime_error(got);
         },
         told("Cannot open file")},
        {"TStringList::LoadFromFile",
         [](const std::string& n) {
             TStringList l;
             l.LoadFromFile(n);
             if (l.Text() != "victim\r\n") throw std::runtime_error(l.Text());
         },
         told("Cannot open file")},
    };
    testsupport::TPlantBed bed;
    testsupport::ExpectReadsOfRegularFilesOnly(bed, readers);
    // A file whose status tells no size is read to its end.
    TStringList status;
    status.LoadFromFile("/proc/self/status");
    ASSERT_GT(status.Count(), 1);
    EXPECT_EQ(status[0].rfind("Name:", 0), 0u);
    EXPECT_NE(status.Text().find("\r\nPid:\t" + std::to_string(::getpid()) + "\r\n"), std::string::npos);
}

// Under the usual umask a new file is its owner's alone unless the caller
// asks for more; a file replaced keeps a tighter mode and loses a looser one.
TEST(RtlFiles, ModesOfNewAndReplacedFiles) {
    const auto stream = [](mode_t rights) {
        return [rights](const std::string& n) { TFileStream(n, fmCreate, rights).WriteString("new"); };
    };
    testsupport::TPlantBed bed;
    testsupport::ExpectModes(bed, {
                                      {"stream, new", -1, stream(0600), 0600, "new"},
                                      {"stream asking for 0666, new", -1, stream(0666), 0644, "new"},
                                      {"stream over a readable file", 0644, stream(0600), 0600, "new"},
                                      {"stream asking for 0666 over a 0640 file", 0640, stream(0666), 0640, "new"},
                                      {"string list, new", -1,
                                       [](const std::string& n) {
                                           TStringList l;
                                           l.Add("new");
                                           l.SaveToFile(n);
                                       },
                                       0600, "new"},
                                  });
}

// A stream made with fmCreate writes beside the file: until it is freed the
// old file stands whole, another name for it keeps the old bytes, and a
// stream abandoned by an exception or a failed write leaves the old file.
TEST(RtlFiles, ACreatedStreamReplacesTheFileOnlyWhenItIsFreedWhole) {
    testsupport::TPlantBed bed;
    const std::string name = bed.In("file"), other = bed.Out("hard link");
    WriteBytes(name, "old");
    ASSERT_EQ(::link(name.c_str(), other.c_str()), 0);
    {
        TFileStream s(name, fmCreate);
        s.WriteString("new bytes");
        EXPECT_EQ(ReadBytes(name), "old");
        EXPECT_EQ(s.Size(), 9);
    }
    EXPECT_EQ(ReadBytes(name), "new bytes");
    EXPECT_EQ(ReadBytes(other), "old");

    EXPECT_THROW(
        {
            TFileStream s(name, fmCreate);
            s.WriteString("half");
            throw std::runtime_error("the source failed");
        },
        std::runtime_error);
    EXPECT_EQ(ReadBytes(name), "new bytes");

    // A write refused by the file size limit, without the signal that would end the test.
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldsig = ::signal(SIGXFSZ, SIG_IGN);
    {
        struct rlimit small = old;
        small.rlim_cur = 4;
        ::setrlimit(RLIMIT_FSIZE, &small);
        TFileStream s(name, fmCreate);
        EXPECT_EQ(s.Write("too long", 8), 4);
        ::setrlimit(RLIMIT_FSIZE, &old);
    }
    ::signal(SIGXFSZ, oldsig);
    EXPECT_EQ(ReadBytes(name), "new bytes");
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(bed.In(""))) ++files;
    EXPECT_EQ(files, 1u);
}

// A folder that takes no new files but lets its file be written: every form
// of replacement rewrites the file in place, and one that fails or is given
// up puts the old bytes back (the room a whole write needs is asked for
// before the old bytes go). Run as another user when root, so that the
// folder's mode holds; a file size limit stands in for a full disk.
TEST(RtlFiles, AFolderThatTakesNoNewFilesHasItsFileRewrittenInPlace) {
    constexpr uid_t kNobody = 65534;
    const bool root = ::geteuid() == 0;
    std::string folder = (std::filesystem::temp_directory_path() / "inplace.XXXXXX").string();
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    const std::string name = folder + "/file";
    const std::string old = "the old content, kept whole";
    struct Case {
        const char* what;
        rlim_t limit;  // RLIM_INFINITY: none
        std::function<bool(const std::string&)> write;
        std::string after;
    };
    const std::vector<Case> cases = {
        {"ReplaceFile, shorter", RLIM_INFINITY,
         [](const std::string& n) {
             TFileFailure why;
             return ReplaceFile(n, "new", 0600, why);
         },
         "new"},
        {"ReplaceFile past the limit", 40,
         [](const std::string& n) {
             TFileFailure why;
             return !ReplaceFile(n, std::string(100, 'n'), 0600, why) && why.Code == EFBIG;
         },
         old},
        {"stream freed whole", RLIM_INFINITY,
         [](const std::string& n) {
             TFileStream(n, fmCreate).WriteString("stream bytes");
             return true;
         },
         "stream bytes"},
        {"stream given up by an exception", RLIM_INFINITY,
         [](const std::string& n) {
             try {
                 TFileStream s(n, fmCreate);
                 s.WriteString("half");
                 throw std::runtime_error("the source failed");
             } catch (const std::runtime_error&) {
                 return true;
             }
         },
         old},
        {"replace stream committed", RLIM_INFINITY,
         [](const std::string& n) {
             TFileReplaceStream s(n, 0600);
             s << "replaced";
             return s.Commit();
         },
         "replaced"},
        {"replace stream not committed", RLIM_INFINITY,
         [](const std::string& n) {
             TFileReplaceStream s(n, 0600);
             s << "dropped";
             return s.IsOpen();
         },
         old},
        {"a log made anew", RLIM_INFINITY,
         [](const std::string& n) {
             TFileFailure why;
             const int fd = CreateReplacing(n, 0600, why);
             const bool ok = fd >= 0 && WriteAll(fd, "log", why);
             if (fd >= 0) ::close(fd);
             return ok;
         },
         "log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::chmod(folder.c_str(), 0700);
        WriteBytes(name, old);
        ::chmod(name.c_str(), 0600);
        if (root) {
            ASSERT_EQ(::chown(folder.c_str(), kNobody, kNobody), 0);
            ASSERT_EQ(::chown(name.c_str(), kNobody, kNobody), 0);
        }
        ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (root && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(3);
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit rl{c.limit, c.limit};
            if (c.limit != RLIM_INFINITY && ::setrlimit(RLIMIT_FSIZE, &rl) != 0) ::_exit(4);
            ::_exit(c.write(name) ? 0 : 1);
        }
        int status = -1;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(ReadBytes(name), c.after);
        EXPECT_EQ(testsupport::ModeOf(name), 0600u);
        size_t files = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++files;
        EXPECT_EQ(files, 1u);
    }
    ::chmod(folder.c_str(), 0700);
    std::filesystem::remove_all(folder);
}

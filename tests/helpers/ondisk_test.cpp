// What the program leaves on disk, seen from outside: the real program
// pulling a mailbox from the private Dovecot of the mail tests, and the
// renderer writing a message's page, attachments and browser copy, all
// through the shared file helpers, under the usual umask 022.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>

#include "helpers/kwutil.h"
#include "mailbox/hstinf.h"
#include "mailbox/msgrender.h"
#include "platform/ui/prompter.h"
#include "tests/helpers/support.h"
#include "tests/mailbox/render_input.h"
#include "tests/support/fixture_state.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A program folder of its own with the program in it, removed afterwards.
class ProgramFolder {
public:
    ProgramFolder() {
        char tmpl[] = "/tmp/pwx-ondiskXXXXXX";
        path = ::mkdtemp(tmpl);
        path += "/";
        fs::copy_file(PWX_PROGRAM, path + "pelliwox");
        fs::copy_file(PWX_SOURCE_DIR "/data/codepageids.txt", path + "codepageids.txt");
        fs::copy_file(stateDir() + "/ca.crt", path + "pelliwoxca.pem");
    }
    ~ProgramFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;
    std::string path;  // with a trailing "/"
    // What the test put there itself.
    static bool ours(const std::string& relative) {
        return relative == "." || relative == "pelliwox" || relative == "codepageids.txt" ||
               relative == "pelliwoxca.pem";
    }
};

// Every path under Root (Root itself as "."), with its mode and type bits.
std::map<std::string, mode_t> listing(const std::string& root) {
    std::map<std::string, mode_t> r;
    struct stat st {};
    if (::lstat(root.c_str(), &st) == 0) r["."] = st.st_mode;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (::lstat(it->path().c_str(), &st) == 0) r[fs::relative(it->path(), root).string()] = st.st_mode;
    }
    return r;
}

std::string table(const std::map<std::string, mode_t>& paths) {
    std::string t;
    for (const auto& [name, mode] : paths) {
        char line[32];
        std::snprintf(line, sizeof line, "%c %04o  ", S_ISDIR(mode) ? 'd' : S_ISLNK(mode) ? 'l' : S_ISFIFO(mode) ? 'p' : '-',
                      static_cast<unsigned>(mode & 07777));
        t += line + name + "\n";
    }
    return t;
}

struct TPullRun {
    bool ended = false;
    int status = -1;
    std::string err;
};

const std::string kUser = "pwx1", kPass = "secret 1";

std::string entry() { return "127.0.0.1/" + fixtureFile("pop3.port") + " (plain)"; }

// The real program, pulling the entry unattended; its per-user folder
// inside the program folder, so that it is listed too.
TPullRun pull(const ProgramFolder& folder) {
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_DATA_HOME", QString::fromStdString(folder.path + "xdg"));
    p.setProcessEnvironment(env);
    p.start(QString::fromStdString(folder.path + "pelliwox"), {QString::fromStdString("pull:" + entry())});
    TPullRun r;
    r.ended = p.waitForFinished(120000);
    if (!r.ended) {
        p.kill();
        p.waitForFinished();
    }
    r.status = p.exitCode();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

// The hosts entry, written by hand as a user (or tools/demo.sh) does.
void writeHosts(const ProgramFolder& folder) {
    std::ofstream(folder.path + "kwpop3hosts.txt", std::ios::binary)
        << entry() << "," << kUser << "," << kPass << ",,pwx1@example.com\r\n";
}

// A message with an inline picture and an attached document.
mailbox::TRenderInput message(const std::string& folder, const std::string& programFolder) {
    const std::string text =
        "From: Ann <ann@example.org>\r\nTo: pwx1@example.com\r\nSubject: the report\r\n"
        "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
        "--b1\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
        "<html><body><p>Figures: <img src=\"cid:pic1\"></p></body></html>\r\n"
        "--b1\r\nContent-Type: application/pdf\r\nContent-Disposition: attachment; filename=report.pdf\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0xLjQKJSBmaXJzdAoAAQIDBAUGBwgJCgsMDQ4PEBESExQVFhcYGRobHB0eHw==\r\n"
        "--b1\r\nContent-Type: image/png\r\nContent-ID: <pic1>\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==\r\n"
        "--b1--\r\n";
    mailbox::TRenderInput in;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        in.lines.Add(text.substr(at, end - at));
        at = end + 2;
    }
    rendertest::captureHeaders(in);
    in.From = in.HdrFrom;
    in.folder = folder;
    in.programFolder = programFolder;
    return in;
}

class OnDisk : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(fixtureFile("pop3.port").empty()) << "the Dovecot fixture did not start"; }
    ui::TScriptedPrompter prompter;
};

}  // namespace

// Every file the program made holds mail, addresses or passwords: none may
// be readable by anyone but its owner, and no folder it made may be entered
// by others. The table of what was made is printed.
TEST_F(OnDisk, APullAndARenderingLeaveNothingOthersCanRead) {
    const kwtest::TUmaskScope umask(022);
    const ProgramFolder folder;
    writeHosts(folder);
    const TPullRun r = pull(folder);
    ASSERT_TRUE(r.ended);
    EXPECT_EQ(r.status, 0) << r.err;

    helpers::homedir = folder.path;
    const mailbox::TRenderResult page = mailbox::RenderMessage(message(folder.path + "rcvd/pwx1", folder.path));
    ASSERT_TRUE(page.ok) << ::testing::PrintToString(page.problems);
    EXPECT_NE(page.Attachment.find("report_1.pdf|"), std::string::npos) << page.Attachment;
    EXPECT_FALSE(mailbox::WriteBrowserCopy(page.PagePath).empty());
    helpers::errlog("an entry about pwx1@example.com");
    // The hosts file the user wrote is readable by all until the program saves it.
    ASSERT_TRUE(mailbox::WriteHostsFile(folder.path + "kwpop3hosts.txt",
                                        mailbox::ReadHostsFile(folder.path + "kwpop3hosts.txt")));

    const auto paths = listing(folder.path);
    std::cout << "What the pull and the rendering left (umask 022):\n" << table(paths);
    // The pull keeps no window settings, so it writes no "pelliwox.cfg".
    for (const char* made : {"Pelliwox.csv", "devudariri_msgs.log", "kwpop3hosts.txt", "rcvd", "rcvd/pwx1"})
        EXPECT_EQ(paths.count(made), 1u) << made << " was not made";
    size_t pages = 0, parts = 0;
    for (const auto& [name, mode] : paths) {
        if (ProgramFolder::ours(name)) continue;
        EXPECT_EQ(mode & 077, 0u) << name << " is " << std::oct << (mode & 07777);
        if (name.starts_with("rcvd/pwx1/")) ++pages;
        if (name.starts_with("kw64_")) ++parts;
    }
    EXPECT_EQ(pages, 4u) << "the page, its browser copy, the document and the picture";
    EXPECT_EQ(parts, 0u) << "nothing of the message in the program folder";
    EXPECT_TRUE(prompter.prompts.empty()) << prompter.prompts.front().text;
}

// A link (dangling or live) or a pipe planted where the program writes is
// never written through and never blocks it: the pull ends by itself, the
// renderer and the hosts window refuse and say why, and nothing outside
// the program folder is made or changed.
TEST_F(OnDisk, PlantedLinksAndPipesAreNeverWrittenThrough) {
    const kwtest::TUmaskScope umask(022);
    char tmpl[] = "/tmp/pwx-outsideXXXXXX";
    const std::string outside = std::string(::mkdtemp(tmpl)) + "/";
    struct Cleanup {
        std::string path;
        ~Cleanup() {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    } cleanup{outside};
    enum TPlant { dangling, live, pipe };
    const char* const plantnames[] = {"dangling link", "live link", "pipe"};
    // Plants Kind at Path; a live link at a folder's place names the outside
    // folder itself. False when it could not.
    auto plant = [&](TPlant kind, const std::string& path, const std::string& tag, bool folder = false) {
        std::ofstream(outside + "victim-" + tag, std::ios::binary) << "victim";
        switch (kind) {
            case dangling: return ::symlink((outside + "made-" + tag).c_str(), path.c_str()) == 0;
            case live:
                return ::symlink(folder ? outside.c_str() : (outside + "victim-" + tag).c_str(), path.c_str()) == 0;
            case pipe: return ::mkfifo(path.c_str(), 0600) == 0;
        }
        return false;
    };
    // Nothing was made at a link's target and no victim was written.
    auto untouched = [&](const std::string& tag) {
        return !fs::exists(fs::symlink_status(outside + "made-" + tag)) && readFile(outside + "victim-" + tag) == "victim";
    };
    auto stands = [](TPlant kind, const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 && (kind == pipe ? S_ISFIFO(st.st_mode) : S_ISLNK(st.st_mode));
    };

    // The real program: each of its three files gets each plant once.
    const char* const programfiles[] = {"Pelliwox.csv", "pelliwox.cfg", "devudariri_msgs.log"};
    for (int run = 0; run < 3; ++run) {
        const ProgramFolder folder;
        writeHosts(folder);
        TPlant planted[3];
        for (int f = 0; f < 3; ++f) {
            planted[f] = static_cast<TPlant>((run + f) % 3);
            ASSERT_TRUE(plant(planted[f], folder.path + programfiles[f], programfiles[f]));
        }
        const TPullRun r = pull(folder);
        ASSERT_TRUE(r.ended) << "run " << run << ": the program blocked";
        for (int f = 0; f < 3; ++f) {
            const std::string context = std::string(programfiles[f]) + ", " + plantnames[planted[f]];
            EXPECT_TRUE(untouched(programfiles[f])) << context;
            // The export replaces what stands at its name; anything still
            // standing there was refused, and the refusal was told. The
            // configuration is only read, and a pull that went well has
            // nothing for the log: those plants must only stay untouched.
            if (f == 0 && stands(planted[f], folder.path + programfiles[f])) {
                EXPECT_NE(r.err.find(folder.path + programfiles[f] + " is a"), std::string::npos)
                    << context << "\n" << r.err;
            }
        }
    }

    // In-process: the hosts window's save, a page's browser copy, the
    // received folder of a mailbox, the error log.
    const ProgramFolder folder;
    helpers::homedir = folder.path;
    fs::create_directories(folder.path + "rcvd/pwx1");
    const mailbox::TRenderResult first = mailbox::RenderMessage(message(folder.path + "rcvd/pwx1", folder.path));
    ASSERT_TRUE(first.ok);
    struct Place {
        const char* what;
        std::string path;             // where the plant goes
        std::function<bool()> write;  // true when it wrote
        bool folder = false;
    };
    const Place places[] = {
        {"hosts file", folder.path + "kwpop3hosts.txt",
         [&] { return mailbox::WriteHostsFile(folder.path + "kwpop3hosts.txt", "h,u,p,,\r\n"); }},
        {"browser copy", first.PagePath.substr(0, first.PagePath.size() - 4) + "_view.htm",
         [&] { return !mailbox::WriteBrowserCopy(first.PagePath).empty(); }},
        {"received folder", folder.path + "rcvd/pwx2",
         [&] { return mailbox::RenderMessage(message(folder.path + "rcvd/pwx2", folder.path)).ok; }, true},
        {"error log", folder.path + "devudariri_msgs.log",
         [&] {
             helpers::errlog("entry");
             return false;
         }},
    };
    for (const auto& place : places) {
        for (const TPlant kind : {dangling, live, pipe}) {
            const std::string context = std::string(place.what) + ", " + plantnames[kind];
            const std::string tag = std::string(place.what) + "-" + plantnames[kind];
            ASSERT_TRUE(plant(kind, place.path, tag, place.folder)) << context;
            const bool tells = !place.folder;  // the renderer collects its problems instead
            if (tells) prompter.QueueResult(ui::mrOk);
            const size_t before = prompter.prompts.size();
            EXPECT_FALSE(place.write()) << context;
            EXPECT_TRUE(untouched(tag)) << context;
            EXPECT_TRUE(stands(kind, place.path)) << context;
            for (const auto& [name, mode] : listing(outside))
                EXPECT_TRUE(name == "." || name.starts_with("victim-")) << context << ": " << name << " was made outside";
            if (tells) {
                ASSERT_EQ(prompter.prompts.size(), before + 1) << context;
                EXPECT_NE(prompter.prompts.back().text.find(place.path + " is a"), std::string::npos)
                    << context << ": " << prompter.prompts.back().text;
            }
            ::unlink(place.path.c_str());
        }
    }
}

// Links, opening documents, starting programs, special values, questions.
#include <netdb.h>
#include <sys/stat.h>

#include <cstdlib>

#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/process.h"
#include "tests/helpers/support.h"
#include "tests/support/env_var.h"

using namespace helpers;
using kwtest::writefile;

namespace {

class SystemTest : public kwtest::KwTest {
protected:
    void SetUp() override {
        KwTest::SetUp();
        saved = win::SetSpawner([this](const std::vector<std::string>& argv, int& error) -> int64_t {
            started.push_back(argv);
            error = 0;
            return 999999;
        });
    }
    void TearDown() override {
        win::SetSpawner(saved);
        KwTest::TearDown();
    }
    // What one shellopen started; empty when it started nothing.
    std::string opened(const std::string& target) {
        started.clear();
        const bool ok = shellopen(target);
        if (started.empty()) {
            EXPECT_FALSE(ok) << target;
            return {};
        }
        EXPECT_TRUE(ok) << target;
        EXPECT_EQ(started.size(), 1u);
        EXPECT_EQ(started[0].size(), 2u);
        EXPECT_EQ(started[0][0], "xdg-open");
        return started[0].back();
    }
    win::TSpawner saved;
    std::vector<std::vector<std::string>> started;
};

using testsupport::EnvVar;

TEST_F(SystemTest, IsurlTable) {
    const std::pair<std::string, bool> cases[] = {
        {"http://a", true},    {"HTTPS://a", true}, {"ftp://x", true},      {"WWW.x.org", true},
        {"news://x", true},    {"file:///tmp", true}, {"mailto:a@b.c", false}, {"www", false},
        {"/no/such/thing", true}, {"/tmp", false},  {"doc.pdf", false},     {"", false},
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(isurl(text), want) << text;
}

TEST_F(SystemTest, LinksAndDocumentsGoToTheOpenerAsOneArgument) {
    writefile(*home / "doc one.pdf", "%PDF");
    writefile(*home / "page.htm", "<html>");
    EXPECT_EQ(opened("http://example.com/a b;x=$(rm)"), "http://example.com/a b;x=$(rm)");
    EXPECT_EQ(opened("www.example.com"), "http://www.example.com");
    EXPECT_EQ(opened("mailto:joe@example.com?subject=x y"), "mailto:joe@example.com?subject=x y");
    EXPECT_EQ(opened(*home / "doc one.pdf"), *home / "doc one.pdf");
    EXPECT_EQ(opened(*home / "page.htm#part 2"), "file://" + *home / "page.htm#part 2");
    EXPECT_EQ(opened(home->path()), home->path());
    // A file link goes to the opener as the path that was checked.
    EXPECT_EQ(opened("file:" + *home / "doc%20one.pdf"), *home / "doc one.pdf");
    EXPECT_EQ(opened("FILE://localhost" + *home / "page.htm#part"), "file://" + *home / "page.htm#part");
    EXPECT_EQ(opened("HTTPS://example.com/x"), "HTTPS://example.com/x");
    EXPECT_EQ(opened("ftp://example.com/pub"), "ftp://example.com/pub");
    const std::string dash = opened("-rf");
    EXPECT_EQ(dash.front(), '/');  // never read as an option
    EXPECT_EQ(opened("  \r\n"), "");
    EXPECT_TRUE(prompter->prompts.empty());
}

TEST_F(SystemTest, ProgramsAndScriptsAreRefused) {
    writefile(*home / "tool", "\x7f" "ELF");
    ::chmod((*home / "tool").c_str(), 0755);
    writefile(*home / "script", "#!/bin/sh\necho hi\n");
    writefile(*home / "run.sh", "echo hi\n");
    const std::string targets[] = {
        *home / "setup.exe", *home / "LIB.DLL",  *home / "x.bat",      *home / "a.cmd", *home / "c.com",
        *home / "app.desktop", *home / "run.sh", *home / "tool",       *home / "script",
        "file://" + *home / "run.sh", "file://localhost" + *home / "tool",
        // Every form of a file link is a local file.
        "file:" + *home / "app.desktop", "FILE:" + *home / "script", "File:////" + home->path().substr(1) + "run.sh",
        "file://" + *home / "app%2Edesktop", "file:%2F" + home->path().substr(1) + "tool?x=1",
    };
    for (const auto& t : targets) {
        prompter->QueueResult(ui::mrOk);
        EXPECT_EQ(opened(t), "") << t;
    }
    EXPECT_EQ(prompter->prompts.size(), std::size(targets));
    EXPECT_EQ(prompter->prompts[0].text, "Programs and scripts are not opened:\r\n" + *home / "setup.exe");
}

TEST_F(SystemTest, OnlyWebMailAndFileServerLinksGoToTheDesktop) {
    const std::string targets[] = {
        "javascript:alert(1)", "data:text/html,<script>x</script>", "smb://server/share/run.exe", "sftp://host/x",
        "ssh://host", "news://host/group", "tel:123", "x-scheme-handler:run", "file://server/share/doc.pdf", "file:",
    };
    for (const auto& t : targets) {
        prompter->QueueResult(ui::mrOk);
        EXPECT_EQ(opened(t), "") << t;
    }
    ASSERT_EQ(prompter->prompts.size(), std::size(targets));
    EXPECT_EQ(prompter->prompts[0].text, "Links of this kind are not opened:\r\njavascript:alert(1)");
}

TEST_F(SystemTest, LaunchexeSplitsTheCommandLineWithoutAShell) {
    EXPECT_EQ(launchexe("prog \"a b\"  c;ls", false), 999999);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0], (std::vector<std::string>{"prog", "a b", "c;ls"}));
}

TEST_F(SystemTest, LaunchexeStartsAndWaitsForARealProgram) {
    win::SetSpawner(saved);
    EXPECT_GT(launchexe("true", true), 0);
    prompter->QueueResult(ui::mrOk);
    EXPECT_EQ(launchexe("\"/no/such program\" x", false), -1);
    ASSERT_EQ(prompter->prompts.size(), 1u);
    EXPECT_EQ(prompter->prompts[0].text, "Could not launch \"/no/such program\" x\r\n" + rtl::SysErrorMessage(ENOENT));
}

TEST_F(SystemTest, UserdatadirIsMadeOnceUnderTheDataFolder) {
    {
        EnvVar data("XDG_DATA_HOME", (*home / "data").c_str());
        EXPECT_EQ(userdatadir(), *home / "data/qbfiles/");
        EXPECT_TRUE(kwtest::exists(*home / "data/qbfiles"));
    }
    EXPECT_EQ(userdatadir(), *home / "data/qbfiles/");  // kept for the run
    utilexit();
    homedir = home->path();
    EnvVar data("XDG_DATA_HOME", nullptr);
    EnvVar user("HOME", (*home / "user").c_str());
    EXPECT_EQ(userdatadir(), *home / "user/.local/share/qbfiles/");
}

// The per-user folder holds the user's own files: private when made, and
// made private when it was not.
TEST_F(SystemTest, UserdatadirIsPrivate) {
    const kwtest::TUmaskScope umask(022);
    auto modeof = [](const std::string& path) {
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
        return st.st_mode & 07777;
    };
    {
        EnvVar data("XDG_DATA_HOME", (*home / "fresh/share").c_str());
        EXPECT_EQ(userdatadir(), *home / "fresh/share/qbfiles/");
        EXPECT_EQ(modeof(*home / "fresh/share/qbfiles"), 0700u);
        EXPECT_EQ(modeof(*home / "fresh/share"), 0700u);
    }
    utilexit();
    homedir = home->path();
    ASSERT_EQ(::mkdir((*home / "qbfiles").c_str(), 0755), 0);
    EnvVar data("XDG_DATA_HOME", home->path().c_str());
    EXPECT_EQ(userdatadir(), *home / "qbfiles/");
    EXPECT_EQ(modeof(*home / "qbfiles"), 0700u);
}

// A mail link keeps its body, and a subject that would carry a line break
// into the header is refused when the link is read, saying so.
TEST_F(SystemTest, MailtoLinks) {
    struct Case {
        const char* link;
        bool taken;
        const char* address;
        const char* subject;
        const char* body;
    };
    const Case cases[] = {
        {"mailto:a@b.org?subject=Hello+there%21&body=hi", true, "a@b.org", "Hello there!", "hi"},
        {"mailto:a@b.org?body=x&subject=y", true, "a@b.org", "", "x&subject=y"},
        {"MAILTO:a@b.org", true, "a@b.org", "", ""},
        {"mailto:a@b.org?subject=Hi%0D%0ABcc:%20all@x.org&body=hi", false, "", "", ""},
        {"mailto:a@b.org?subject=Hi%0Aagain", false, "", "", ""},
        {"mailto:a@b.org\nBcc: all@x.org?subject=Hi", false, "", "", ""},
    };
    for (const auto& c : cases) {
        TMailtoLink link;
        std::string why;
        EXPECT_EQ(readmailto(c.link, link, why), c.taken) << c.link;
        EXPECT_EQ(link.address, c.address) << c.link;
        EXPECT_EQ(link.subject, c.subject) << c.link;
        EXPECT_EQ(link.body, c.body) << c.link;
        if (c.taken) EXPECT_EQ(why, "") << c.link;
        else EXPECT_EQ(why.rfind("The mail link's ", 0), 0u) << why;
    }
    TMailtoLink link;
    std::string why;
    readmailto("mailto:a@b.org?subject=Hi%0D%0ABcc:%20all@x.org", link, why);
    EXPECT_EQ(why, "The mail link's subject holds a line break, which no mail header can carry; no message is made "
                   "from it:\r\nmailto:a@b.org?subject=Hi%0D%0ABcc:%20all@x.org");
}

TEST_F(SystemTest, SpecialValues) {
    EnvVar v("KWTEST_SPECIAL", "value");
    EXPECT_EQ(specialvar("KWTEST_SPECIAL"), "value");
    EXPECT_EQ(specialvar("KWTEST_NOT_SET_ANYWHERE"), "");
    EXPECT_EQ(specialvar("*Clipboard"), "");
    clipboardtext = [] { return std::string("clip"); };
    EXPECT_EQ(specialvar("*clipboard"), "clip");
    clipboardtext = nullptr;
    const std::string stn = specialvar("stn");
    EXPECT_EQ(specialvar("STN"), stn);
    const int n = std::stoi(stn);
    EXPECT_TRUE(n >= 2000 && n <= 5999) << stn;
    EXPECT_EQ(stationfor("10.11.94.23"), "3023");
    EXPECT_EQ(stationfor("192.168.254.9"), "2009");
    EXPECT_EQ(stationfor("192.168.1.7"), "4007");
    EXPECT_EQ(stationfor("172.16.0.5"), "5005");
    const int random = std::stoi(stationfor("!! no address"));
    EXPECT_TRUE(random >= 5256 && random <= 5999) << random;
}

TEST_F(SystemTest, SocketErrorTexts) {
    EXPECT_EQ(sockerrtext(10061), "!! " + rtl::SysErrorMessage(ECONNREFUSED));
    EXPECT_EQ(sockerrtext(10022), "!! " + rtl::SysErrorMessage(EINVAL));
    EXPECT_EQ(sockerrtext(11001), std::string("!! ") + ::gai_strerror(EAI_NONAME));
    EXPECT_EQ(sockerrtext(12345), "!! Unknown Socket Error 12345");
}

TEST_F(SystemTest, HostlookupByNameAndByAddress) {
    const std::string byname = hostlookup("localhost", 2, true);
    EXPECT_NE(byname.find("\r\n127.0.0.1"), std::string::npos) << byname;
    EXPECT_EQ(hostlookup("localhost", 2, false).find('\r'), std::string::npos);
    const std::string byaddr = hostlookup("127.0.0.1", 2, false);
    EXPECT_NE(byaddr.substr(0, 3), "!! ") << byaddr;
}

TEST_F(SystemTest, AskyesnoShowsTheProgramNameAndTheQuestion) {
    const std::string name = rtl::UpperCase(programname());
    prompter->QueueResult(ui::mrYes);
    EXPECT_TRUE(askyesno("Delete it"));
    prompter->QueueResult(ui::mrCancel);
    EXPECT_FALSE(askyesno("@Saved"));
    prompter->QueueResult(ui::mrOk);
    EXPECT_TRUE(askyesno("@Saved"));
    ASSERT_EQ(prompter->prompts.size(), 3u);
    EXPECT_EQ(prompter->prompts[0].text, name + "\r\n\r\nDelete it ?");
    EXPECT_EQ(prompter->prompts[0].buttons, ui::mbYesNo);
    EXPECT_EQ(prompter->prompts[0].defaultButton, ui::mbNo) << "Enter must not confirm";
    EXPECT_EQ(prompter->prompts[1].text, name + "\r\n\r\nSaved");
    EXPECT_EQ(prompter->prompts[1].buttons, ui::mbOKCancel);
    EXPECT_EQ(prompter->prompts[1].defaultButton, ui::mbCancel);
}

TEST_F(SystemTest, AsknumberTable) {
    struct Case {
        std::string typed;
        bool ok;
        int64_t want;
        std::string answer, message;
    } const cases[] = {
        {"42", true, 42, "42", ""},
        {"-7", true, -7, "-7", ""},
        {"4a2", true, 0, "kwchar", "Numbers Only Please!"},
        {"4-2", true, 0, "kwminus", "Minus Sign in Wrong Place"},
        {"--5", true, 0, "kwminus", "Minus Sign in Wrong Place"},
        {"", true, 0, "kwvoid", ""},
        {"5", false, 0, "kwcanx", ""},
        {"-", true, 0, "kwchar", "Numbers Only Please!"},
        {"99999999999999999999", true, 0, "kwchar", "Numbers Only Please!"},
    };
    for (const auto& c : cases) {
        prompter->prompts.clear();
        prompter->QueueInput(c.typed, c.ok);
        if (!c.message.empty()) prompter->QueueResult(ui::mrOk);
        std::string answer = "10";
        EXPECT_EQ(asknumber("Title", "How many?", answer), c.want) << c.typed;
        EXPECT_EQ(answer, c.answer) << c.typed;
        ASSERT_FALSE(prompter->prompts.empty());
        EXPECT_EQ(prompter->prompts[0].value, "10");  // the proposal is offered
        EXPECT_EQ(prompter->prompts.size() > 1 ? prompter->prompts[1].text : "", c.message) << c.typed;
    }
}

}  // namespace

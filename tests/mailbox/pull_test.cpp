#include <gtest/gtest.h>

#include <sys/resource.h>

#include <QProcess>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>
#include "mailbox/msgrows.h"
#include "tests/mailbox/hostile_server.h"
#include "tests/support/fixture_state.h"

// The real program, pulled unattended from the command line against the
// private Dovecot of the mail tests: it ends by itself and leaves its CSV
// file, which Python's poplib and email packages agree with.
namespace {

using namespace testsupport;

// The result of one run of the program.
struct Outcome {
    bool ended = false;  // by itself, within the time allowed
    int status = -1;
    std::string err;                    // what it wrote to standard error
    std::map<int, std::vector<std::string>> rows;  // CSV rows by MessageNo; none without a CSV file
};

// The fields of our own CSV lines: quoted fields hold no double quotes.
std::vector<std::string> csvFields(const std::string& line) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (char c : line) {
        if (c == '"') quoted = !quoted;
        else if (c == ',' && !quoted) out.emplace_back();
        else out.back() += c;
    }
    return out;
}

struct Pull {
    std::string folder;
    Pull() {
        char dir[] = "/tmp/pwx-pullXXXXXX";
        folder = mkdtemp(dir);
        folder += "/";
        // A program folder of its own: the program, its data, and the test CA
        // as the CA file the program trusts beside the system's.
        run("cp " PWX_PROGRAM " " PWX_SOURCE_DIR "/data/codepageids.txt " + folder);
        run("cp " + stateDir() + "/ca.crt " + folder + "pelliwoxca.pem");
    }
    ~Pull() { run("rm -rf " + folder); }
    // Runs the program with Arg over a hosts file of one entry, on the
    // offscreen platform, on an X server of its own, or as cron starts it:
    // with no display and no platform named at all.
    enum Display { offscreen, xvfb, none };
    Outcome start(const std::string& entry, const std::string& arg, const std::string& user, const std::string& pass,
                  Display display = offscreen) {
        std::ofstream(folder + "kwpop3hosts.txt", std::ios::binary) << entry << "," << user << "," << pass << ",,\r\n";
        QProcess p;
        auto env = QProcessEnvironment::systemEnvironment();
        const bool xvfb = display == Display::xvfb;
        if (display == none) {
            for (const char* v : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(v);
        } else {
            env.insert("QT_QPA_PLATFORM", xvfb ? "xcb" : "offscreen");
        }
        env.insert("TZ", "UTC");
        env.insert("LC_ALL", "C.UTF-8");
        p.setProcessEnvironment(env);
        const QString program = QString::fromStdString(folder + "pelliwox");
        if (xvfb) p.start("xvfb-run", {"-a", program, QString::fromStdString(arg)});
        else p.start(program, {QString::fromStdString(arg)});
        Outcome o;
        o.ended = p.waitForFinished(120000);
        if (!o.ended) {
            p.kill();
            p.waitForFinished();
        }
        o.ended = o.ended && p.exitStatus() == QProcess::NormalExit;
        o.status = p.exitCode();
        o.err = p.readAllStandardError().toStdString();
        std::ifstream csv(folder + "Pelliwox.csv", std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(csv)), std::istreambuf_iterator<char>());
        for (size_t at = text.find("\r\n"); at != std::string::npos && at + 2 < text.size();) {
            const size_t next = text.find("\r\n", at + 2);
            const auto fields = csvFields(text.substr(at + 2, next - at - 2));
            o.rows[std::atoi(fields[0].c_str())] = fields;
            at = next;
        }
        return o;
    }
    int oracle(const std::string& port, const std::string& user, const std::string& pass, bool tls) {
        return run("/usr/bin/python3 " PWX_SOURCE_DIR "/tests/mailbox/pull_oracle.py " + folder + "Pelliwox.csv " +
                   port + " " + user + " '" + pass + "'" + (tls ? " tls " + stateDir() + "/ca.crt" : ""));
    }
};

}  // namespace

TEST(UnattendedPull, WritesTheCsvAndEnds) {
    ASSERT_FALSE(fixtureFile("pop3.port").empty()) << "the Dovecot fixture did not start";
    struct Case {
        std::string entry;
        bool tls;
        Pull::Display display = Pull::offscreen;
    };
    const std::string plain = fixtureFile("pop3.port"), tls = fixtureFile("pop3s.port");
    const Case cases[] = {
        {"127.0.0.1/" + plain + " (plain)", false},
        {"localhost/-" + tls + " (pop3s)", true},
        {"localhost/+" + plain + " (stls)", false},
        {"127.0.0.1/" + plain + " (plain)", false, Pull::xvfb},
        {"127.0.0.1/" + plain + " (plain)", false, Pull::none},
        {"localhost/-" + tls + " (pop3s)", true, Pull::none},
    };
    for (const auto& c : cases) {
        Pull p;
        const Outcome o = p.start(c.entry, "pull:" + c.entry, "pwx1", "secret 1", c.display);
        ASSERT_TRUE(o.ended) << c.entry << " display " << c.display;
        EXPECT_EQ(o.status, 0) << c.entry << "\n" << o.err;
        std::ifstream csv(p.folder + "Pelliwox.csv");
        ASSERT_TRUE(csv.good()) << c.entry << ": no CSV file";
        EXPECT_EQ(p.oracle(c.tls ? tls : plain, "pwx1", "secret 1", c.tls), 0) << c.entry;
    }
}

// However a pull goes wrong, the program ends by itself with a status that
// says how far it got, the reason on standard error, and no row of the CSV
// file passes off a message it could not fetch as an empty one.
TEST(UnattendedPull, EveryFailureEndsWithItsStatusAndReason) {
    HostileServer server;
    ASSERT_NE(server.port("err_pass"), "0") << "the hostile server did not start";
    struct Case {
        std::string mode;
        std::string tls;  // "+" for STLS
        int status;
        std::string err;                         // part of what standard error says
        std::map<int, std::string> subjects;     // CSV rows: the start of their Subject
        int timeout = 2;                         // seconds of silence
    };
    const std::map<int, std::string> all = {{1, "Subject 1"}, {2, "Subject 2"}, {3, "Subject 3"}};
    const Case cases[] = {
        {"no_greeting", "", 2, "no answer within 2 seconds", {}},
        {"garbage_greeting", "", 2, "HELLO THERE, NOT POP3", {}},
        {"err_user", "", 2, "-ERR no such user", {}},
        {"err_pass", "", 2, "-ERR [AUTH] invalid password", {}},
        {"stls_refused", "+", 2, "STLS not offered here", {}},
        {"garbage_stat", "", 2, "+OK lots of mail", {}},
        {"stat_more", "", 0, "counts 5 messages but lists 3", all},
        {"stat_fewer", "", 0, "counts 2 messages but lists 3", all},
        // A time-out while answers are awaited may hide answers out of step:
        // the answers since the last LIST check are not kept.
        {"stall_top", "", 3, "3 of 3 messages could not be fetched",
         {{1, "[not fetched: its answer could not be checked"}, {2, "[not fetched: no answer within 2 seconds"},
          {3, "[not fetched: the connection was lost]"}}},
        {"drop_top", "", 3, "2 of 3 messages could not be fetched",
         {{1, "Subject 1"}, {2, "[not fetched: -ERR Connection closed"}, {3, "[not fetched: the connection was lost]"}}},
        {"top_no_end", "", 3, "could not be fetched", {{1, "Subject 1"}, {2, "[not fetched: -ERR"}, {3, "[not fetched"}}},
        {"long_line", "", 3, "could not be fetched",
         {{1, "Subject 1"}, {2, "[not fetched: -ERR Line too long"}, {3, "[not fetched"}}},
        {"nul_bytes", "", 0, "", all},
        {"huge_top", "", 0, "", all},
        {"big_size", "", 0, "", all},
        // A server that does not offer pipelining refuses a TOP sent ahead.
        {"no_pipelining", "", 0, "", all},
        // With several TOPs out at once, a failure mid-window belongs to its
        // own message and never moves an answer onto another.
        {"pipe_err_top", "", 3, "1 of 3 messages could not be fetched",
         {{1, "Subject 1"}, {2, "[not fetched: -ERR message 2 is gone]"}, {3, "Subject 3"}}},
        {"pipe_drop_top", "", 3, "2 of 3 messages could not be fetched",
         {{1, "Subject 1"}, {2, "[not fetched: -ERR Connection closed"}, {3, "[not fetched: the connection was lost]"}}},
        // A lone "." line cuts message 1 inside its header: its row says so,
        // and the rest of it, where answer 2 must begin, ends the session.
        {"pipe_dot_top", "", 3, "3 of 3 messages could not be fetched",
         {{1, "[not fetched: -ERR The answer ended inside the message header"},
          {2, "[not fetched: -ERR The answers are out of step"}, {3, "[not fetched: the connection was lost]"}}},
        // A server that trickles a byte every 2 seconds, within the silence
        // time-out, is given up all the same, and says why.
        {"trickle_top", "", 3, "3 of 3 messages could not be fetched",
         {{1, "[not fetched: its answer could not be checked"}, {2, "[not fetched: 426 Too slow"},
          {3, "[not fetched: the connection was lost]"}},
         3},
        // A UIDL answer that cannot be used costs the pull nothing.
        {"uidl_dup", "", 0, "UIDL answer cannot be used: 1 lines repeat a message or an id", all},
        {"uidl_unlisted", "", 0, "UIDL answer cannot be used: 1 lines name no listed message", all},
        {"uidl_noid", "", 0, "UIDL answer cannot be used: 1 lines have no id", all},
    };
    for (const Case& c : cases) {
        Pull p;
        // A short time-out keeps the stalls short.
        std::ofstream(p.folder + "pelliwox.cfg", std::ios::binary) << "Arial/9/0/NNNN|" << c.timeout;
        const std::string entry = "127.0.0.1/" + c.tls + server.port(c.mode) + " (" + c.mode + ")";
        const Outcome o = p.start(entry, "pull:" + entry, "u", "p");
        ASSERT_TRUE(o.ended) << c.mode << ": the program did not end by itself";
        EXPECT_EQ(o.status, c.status) << c.mode << "\n" << o.err;
        EXPECT_NE(o.err.find(c.err), std::string::npos) << c.mode << ": " << o.err;
        EXPECT_EQ(o.rows.size(), c.subjects.size()) << c.mode;
        for (const auto& [no, subject] : c.subjects) {
            ASSERT_EQ(o.rows.count(no), 1u) << c.mode << " message " << no;
            ASSERT_EQ(o.rows.at(no).size(), 11u) << c.mode << " message " << no;
            EXPECT_EQ(o.rows.at(no)[3].rfind(subject, 0), 0u) << c.mode << " message " << no << ": " << o.rows.at(no)[3];
        }
        if (c.status != 0) {
            // The reason is in the error log too.
            std::ifstream log(p.folder + "devudariri_msgs.log", std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
            EXPECT_NE(text.find(c.err), std::string::npos) << c.mode << ": the error log says " << text;
        }
        if (c.mode == "nul_bytes") {
            std::ifstream csv(p.folder + "Pelliwox.csv", std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(csv)), std::istreambuf_iterator<char>());
            EXPECT_EQ(text.find('\0'), std::string::npos) << "a NUL byte reached the CSV file";
            const std::string& first = o.rows.at(2)[7];
            EXPECT_EQ(first.substr(first.size() - 8), "Bodyline");
        }
        if (c.mode == "huge_top") {
            const std::string& first = o.rows.at(2)[7];
            EXPECT_LT(first.size(), 2u << 20);
            EXPECT_NE(first.find("[... cut: "), std::string::npos) << "a cut text says so";
        }
        // The row keeps the size LIST gave; a row whose size field is 32 bits
        // wide cannot (the row store is to widen it).
        if (c.mode == "big_size") EXPECT_EQ(o.rows.at(2)[6], "5000000000") << "sizes are 64-bit";
    }
}

// The real server refusing: a wrong password, and a certificate the
// program does not trust (no test CA in its folder).
TEST(UnattendedPull, RefusalsOfTheRealServer) {
    ASSERT_FALSE(fixtureFile("pop3.port").empty()) << "the Dovecot fixture did not start";
    struct Case {
        std::string entry;
        std::string pass;
        bool trustCa;
        std::string err;
    };
    const Case cases[] = {
        {"127.0.0.1/" + fixtureFile("pop3.port") + " (plain)", "wrong", true, "-ERR [AUTH] Authentication failed"},
        {"localhost/-" + fixtureFile("pop3s.port") + " (pop3s)", "secret 1", false, "SSL Handshake"},
    };
    for (const Case& c : cases) {
        Pull p;
        if (!c.trustCa) std::remove((p.folder + "pelliwoxca.pem").c_str());
        // Dovecot answers a refused login late, up to 15 s once other tests
        // have failed logins from this address too: wait longer than that.
        std::ofstream(p.folder + "pelliwox.cfg", std::ios::binary) << "Arial/9/0/NNNN|40";
        const Outcome o = p.start(c.entry, "pull:" + c.entry, "pwx1", c.pass);
        ASSERT_TRUE(o.ended) << c.entry;
        EXPECT_EQ(o.status, 2) << c.entry << "\n" << o.err;
        EXPECT_NE(o.err.find(c.err), std::string::npos) << c.entry << ": " << o.err;
        EXPECT_TRUE(o.rows.empty());
        EXPECT_FALSE(std::ifstream(p.folder + "Pelliwox.csv").good()) << "no CSV file without a listing";
    }
}

// A CSV file that cannot be written ends the pull with status 4, and the
// file of the last run stays as it was: a new one replaces it only whole.
// The program runs under a file size limit that the header alone nearly
// fills, standing in for a full disk.
TEST(UnattendedPull, ACsvFileThatCannotBeWrittenLeavesTheOldOne) {
    ASSERT_FALSE(fixtureFile("pop3.port").empty()) << "the Dovecot fixture did not start";
    Pull p;
    std::ofstream(p.folder + "Pelliwox.csv", std::ios::binary) << "the last run's file\r\n";
    const std::string entry = "127.0.0.1/" + fixtureFile("pop3.port") + " (plain)";
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldsignal = std::signal(SIGXFSZ, SIG_IGN);  // the program inherits both
    const rlimit small{100, before.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const Outcome o = p.start(entry, "pull:" + entry, "pwx1", "secret 1", Pull::none);
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldsignal);
    ASSERT_TRUE(o.ended);
    EXPECT_EQ(o.status, 4) << o.err;
    EXPECT_NE(o.err.find("could not be written"), std::string::npos) << o.err;
    std::ifstream csv(p.folder + "Pelliwox.csv", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(csv)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "the last run's file\r\n");
}

// The pull is a command-line run: the program that runs it loads no
// windowing, widget or web library, so no windowing platform can start.
TEST(UnattendedPull, LoadsNoWindowingLibrary) {
    QProcess ldd;
    ldd.start("ldd", {PWX_PROGRAM});
    ASSERT_TRUE(ldd.waitForFinished(30000));
    const std::string libs = ldd.readAllStandardOutput().toStdString();
    ASSERT_NE(libs.find("libQt6Core"), std::string::npos) << libs;
    for (const char* gui : {"libQt6Gui", "libQt6Widgets", "libQt6WebEngine", "libX11", "libxcb", "libGL"})
        EXPECT_EQ(libs.find(gui), std::string::npos) << gui << " is loaded:\n" << libs;
}

TEST(UnattendedPull, AnUnknownEntryIsAUsageError) {
    Pull p;
    const Outcome o = p.start("127.0.0.1/1", "pull:no-such-entry", "u", "p");
    ASSERT_TRUE(o.ended);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("no host entry \"no-such-entry\""), std::string::npos) << o.err;
    EXPECT_FALSE(std::ifstream(p.folder + "Pelliwox.csv").good());
}

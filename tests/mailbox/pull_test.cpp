#include <gtest/gtest.h>

#include <QProcess>
#include <cstdlib>
#include <fstream>
#include "tests/support/fixture_state.h"

// The real program, pulled unattended from the command line against the
// private Dovecot of the mail tests: it ends by itself and leaves its CSV
// file, which Python's poplib and email packages agree with.
namespace {

using namespace testsupport;

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
    // Runs a pull of the host entry, on the offscreen platform or on an X
    // server of its own; true when the program ended by itself.
    bool pull(const std::string& entry, const std::string& user, const std::string& pass, bool xvfb = false) {
        std::ofstream(folder + "kwpop3hosts.txt", std::ios::binary) << entry << "," << user << "," << pass << ",,\r\n";
        QProcess p;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", xvfb ? "xcb" : "offscreen");
        env.insert("TZ", "UTC");
        env.insert("LC_ALL", "C.UTF-8");
        p.setProcessEnvironment(env);
        const QString program = QString::fromStdString(folder + "pelliwox");
        const QString arg = QString::fromStdString("pull:" + entry);
        if (xvfb) p.start("xvfb-run", {"-a", program, arg});
        else p.start(program, {arg});
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            return false;
        }
        return p.exitStatus() == QProcess::NormalExit;
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
        bool xvfb = false;  // the real window on an X server rather than offscreen
    };
    const std::string plain = fixtureFile("pop3.port"), tls = fixtureFile("pop3s.port");
    const Case cases[] = {
        {"127.0.0.1/" + plain + " (plain)", false},
        {"localhost/-" + tls + " (pop3s)", true},
        {"localhost/+" + plain + " (stls)", false},
        {"127.0.0.1/" + plain + " (plain)", false, true},
    };
    for (const auto& c : cases) {
        Pull p;
        ASSERT_TRUE(p.pull(c.entry, "pwx1", "secret 1", c.xvfb)) << c.entry << (c.xvfb ? " under Xvfb" : "");
        std::ifstream csv(p.folder + "Pelliwox.csv");
        ASSERT_TRUE(csv.good()) << c.entry << ": no CSV file";
        EXPECT_EQ(p.oracle(c.tls ? tls : plain, "pwx1", "secret 1", c.tls), 0) << c.entry;
    }
}

TEST(UnattendedPull, UnknownHostOrRefusedLoginWritesNothingAndStays) {
    Pull p;
    std::ofstream(p.folder + "kwpop3hosts.txt", std::ios::binary) << "127.0.0.1/1,u,p,,\r\n";
    QProcess proc;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    proc.setProcessEnvironment(env);
    proc.start(QString::fromStdString(p.folder + "pelliwox"), {"pull:no-such-entry"});
    EXPECT_FALSE(proc.waitForFinished(3000)) << "the program stays open";
    proc.kill();
    proc.waitForFinished();
    EXPECT_FALSE(std::ifstream(p.folder + "Pelliwox.csv").good());
}

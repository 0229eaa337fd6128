// Retrieval through the mailbox window from a generated Dovecot mailbox
// (20,000 messages by default), beside the POP3 client alone doing the same
// TOP n 40 loop in the same run: what filling the rows costs on top.
// Usage: bench_pull [MESSAGES]   (needs root to start Dovecot; offscreen)
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/mainroutine.h"
#include "helpers/kwutil.h"
#include "mail/pop3prot.h"
#include "mailbox/kwem1.h"
#include "platform/win/pump.h"

namespace {
using Clock = std::chrono::steady_clock;
const std::string kState = "/tmp/pelliwox-bench-pull";

std::string readFile(const std::string& path) {
    std::ifstream f(path);
    std::string s;
    f >> s;
    return s;
}

double clientRate(const std::string& port, int count) {
    mail::TSyncPop3Cli pop;
    pop.Host = "127.0.0.1";
    pop.Port = port;
    pop.UserName = "pwx1";
    pop.PassWord = "secret 1";
    if (!pop.ConnectSync() || !pop.UserSync() || !pop.PassSync()) return 0;
    pop.MsgLines = 40;
    const auto t0 = Clock::now();
    for (int n = 1; n <= count; ++n) {
        pop.MsgNum = n;
        pop.TopSync();
    }
    const double rate = count / std::chrono::duration<double>(Clock::now() - t0).count();
    pop.QuitSync();
    return rate;
}
}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication qapp(argc, argv);
    const int messages = argc > 1 ? std::atoi(argv[1]) : 20000;
    std::printf("starting Dovecot with %d messages...\n", messages);
    if (std::system(("bash " PWX_SOURCE_DIR "/tests/servers/dovecot.sh start " + kState + " " +
                     std::to_string(messages) + " 1 > /dev/null")
                        .c_str()) != 0)
        return 1;
    const std::string port = readFile(kState + "/pop3.port");
    clientRate(port, messages);  // the first pass builds Dovecot's index
    const double client = clientRate(port, messages);

    char dir[] = "/tmp/pwx-benchpullXXXXXX";
    helpers::homedir = std::string(mkdtemp(dir)) + "/";
    std::system(("cp " PWX_SOURCE_DIR "/data/codepageids.txt " + helpers::homedir).c_str());
    app::CreateWindows();
    mailbox::TForm1& f = *mailbox::Form1;
    win::PumpUntil([&] { return f.StartupSteps > 0; }, 5000);
    f.pop3host->Items->Add("127.0.0.1/" + port);
    f.pop3host->ItemIndex = 0;
    f.Edit1->Text = "pwx1";
    f.Edit2->Text = "secret 1";
    f.PullHost = "unattended";  // no range prompt
    f.Timer4->Enabled = false;
    const auto t0 = Clock::now();
    f.PullHost.clear();
    f.CheckBox1->Checked = true;  // an auto-check asks no ranges either
    f.BitBtn1Click(f.BitBtn1);
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("retrieval of %d messages (login, STAT, UIDL, TOP n 40 each, LIST, sort):\n", f.RowCount());
    std::printf("  %-32s %9.0f msg/s\n", "mailbox window (BitBtn1Click)", f.RowCount() / seconds);
    std::printf("  %-32s %9.0f msg/s  (window = %.2fx)\n", "POP3 client, TopSync loop", client,
                f.RowCount() / seconds / client);
    f.EraseMarkedAndQuit();
    std::system(("bash " PWX_SOURCE_DIR "/tests/servers/dovecot.sh stop " + kState).c_str());
    return 0;
}

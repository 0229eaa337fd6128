// Messages per second through the send routine (one connection per message,
// as the composer sends) beside Python's smtplib, against the same aiosmtpd
// server in the same run: 100 KB messages and tiny ones.
// Usage: bench_send [COUNT [ROUNDS]]   (default 200 messages, 3 rounds)
#include <QCoreApplication>
#include <QProcess>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "helpers/kwsendmail.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/pump.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string firstWord(const std::string& path) {
    std::ifstream f(path);
    std::string s;
    f >> s;
    return s;
}

// About Size bytes of text in lines of 72 characters, as smtplib_send.py sends.
std::string textOf(size_t size) {
    const std::string line = std::string("The quick brown fox jumps over the lazy dog. The quick brown fox jumps").substr(0, 72) + "\r\n";
    std::string body;
    while (body.size() < size) body += line;
    body.resize(size);
    return body;
}

double smtplibRate(const std::string& port, int count, size_t size) {
    QProcess p;
    p.start("/usr/bin/python3", {PWX_BENCH_DIR "/smtplib_send.py", QString::fromStdString(port),
                                 QString::number(count), QString::number(static_cast<qulonglong>(size))});
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "smtplib failed: %s\n", p.readAllStandardError().constData());
        return 0;
    }
    return p.readAllStandardOutput().trimmed().toDouble();
}

double clientRate(const std::string& port, int count, size_t size) {
    const std::string body = textOf(size);
    const auto t0 = Clock::now();
    for (int i = 0; i < count; ++i) {
        const std::string r = helpers::KwSendMail("bob@x.test", "alice@x.test", "127.0.0.1/" + port, "/",
                                                  "Benchmark", body, "/", "0");
        if (r.find("- 250") == std::string::npos) {
            std::fprintf(stderr, "send %d failed: %s\n", i + 1, r.c_str());
            return 0;
        }
    }
    return count / std::chrono::duration<double>(Clock::now() - t0).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 200;
    // Rounds of each, taken in turn, so that a busy machine weighs on both.
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::string state = std::filesystem::temp_directory_path().string() + "/pelliwox-bench-send." +
                              std::to_string(::getpid());
    std::filesystem::create_directories(state);
    helpers::homedir = state + "/";
    helpers::sendcharset = "us-ascii";

    QProcess sink;
    sink.start("/usr/bin/python3", {PWX_BENCH_DIR "/smtp_sink.py", QString::fromStdString(state + "/port")});
    if (!win::PumpUntil([&] { return !firstWord(state + "/port").empty(); }, 20000)) {
        std::fprintf(stderr, "the aiosmtpd sink did not start: %s\n", sink.readAllStandardError().constData());
        return 1;
    }
    const std::string port = firstWord(state + "/port");

    mail::THtmlSmtpCli client;
    client.Timeout = 30;
    client.OnRequestDone = [](rtl::TObject*, mail::TSmtpRequest r, uint16_t e) { helpers::smtpresult(r, e); };
    helpers::setsendclient(&client);

    std::printf("%d messages, one connection each, to aiosmtpd on 127.0.0.1:%s; median of %d rounds taken in turn "
                "(messages/s)\n",
                count, port.c_str(), rounds);
    std::printf("%-14s %10s %10s %7s   %s\n", "message", "pelliwox", "smtplib", "ratio", "rounds (pelliwox/smtplib)");
    for (size_t size : {size_t(100 * 1024), size_t(200)}) {
        std::vector<double> ours, theirs;
        std::string each;
        for (int r = 0; r < rounds; ++r) {
            theirs.push_back(smtplibRate(port, count, size));
            ours.push_back(clientRate(port, count, size));
            char buf[64];
            std::snprintf(buf, sizeof buf, " %.0f/%.0f", ours.back(), theirs.back());
            each += buf;
        }
        const double o = median(ours), t = median(theirs);
        std::printf("%-14s %10.1f %10.1f %7.2f  %s\n", size > 1000 ? "100 KB" : "tiny (200 B)", o, t, t > 0 ? o / t : 0.0,
                    each.c_str());
        std::fflush(stdout);
    }
    helpers::setsendclient(nullptr);
    sink.terminate();
    sink.waitForFinished(10000);
    std::filesystem::remove_all(state);
    return 0;
}

// The whole unattended pull of a generated Dovecot mailbox (20,000 messages
// by default): log in, TOP n 40 for each message, LIST, sort, CSV, as the
// mailbox window runs it, beside a minimal sequential blocking client that
// sends the same commands over a plain socket (and over OpenSSL for pop3s)
// and only reads the answers, in the same run and over the same mailbox.
// Usage: bench_pull [MESSAGES]   (needs root to start Dovecot; offscreen)
#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "app/mainroutine.h"
#include "helpers/kwutil.h"
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

// The few OpenSSL calls the minimal client makes, bound by name as the
// program binds its TLS library.
struct Tls {
    void* lib = dlopen("libssl.so.3", RTLD_NOW);
    template <typename F>
    F fn(const char* name) {
        return reinterpret_cast<F>(dlsym(lib, name));
    }
};

// A blocking POP3 connection: one command, then its answer read to the end.
class MinimalClient {
public:
    MinimalClient(int port, bool tls) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return;
        if (tls) {
            static Tls t;
            auto method = t.fn<const SSL_METHOD* (*)()>("TLS_client_method");
            ctx_ = t.fn<SSL_CTX* (*)(const SSL_METHOD*)>("SSL_CTX_new")(method());
            ssl_ = t.fn<SSL* (*)(SSL_CTX*)>("SSL_new")(ctx_);
            t.fn<int (*)(SSL*, int)>("SSL_set_fd")(ssl_, fd_);
            read_ = t.fn<int (*)(SSL*, void*, int)>("SSL_read");
            write_ = t.fn<int (*)(SSL*, const void*, int)>("SSL_write");
            free_ = t.fn<void (*)(SSL*)>("SSL_free");
            freeCtx_ = t.fn<void (*)(SSL_CTX*)>("SSL_CTX_free");
            if (t.fn<int (*)(SSL*)>("SSL_connect")(ssl_) != 1) return;
        }
        ok_ = line().rfind("+OK", 0) == 0;
    }
    ~MinimalClient() {
        if (ssl_) free_(ssl_);
        if (ctx_) freeCtx_(ctx_);
        if (fd_ >= 0) close(fd_);
    }
    bool ok() const { return ok_; }
    // Sends a command; true on "+OK". With Multi, reads the lines up to ".".
    bool command(const std::string& cmd, bool multi) {
        const std::string out = cmd + "\r\n";
        if (ssl_) write_(ssl_, out.data(), static_cast<int>(out.size()));
        else if (send(fd_, out.data(), out.size(), 0) < 0) return false;
        if (line().rfind("+OK", 0) != 0) return false;
        if (multi)
            while (true) {
                const std::string l = line();
                if (l == "." || (l.empty() && eof_)) break;
            }
        return true;
    }

private:
    std::string line() {
        while (true) {
            const size_t lf = buf_.find('\n', pos_);
            if (lf != std::string::npos) {
                std::string l = buf_.substr(pos_, lf - pos_);
                pos_ = lf + 1;
                if (!l.empty() && l.back() == '\r') l.pop_back();
                return l;
            }
            buf_.erase(0, pos_);
            pos_ = 0;
            char chunk[65536];
            const long n = ssl_ ? read_(ssl_, chunk, sizeof chunk) : recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) {
                eof_ = true;
                return {};
            }
            buf_.append(chunk, static_cast<size_t>(n));
        }
    }
    int fd_ = -1;
    bool ok_ = false, eof_ = false;
    SSL_CTX* ctx_ = nullptr;
    SSL* ssl_ = nullptr;
    int (*read_)(SSL*, void*, int) = nullptr;
    int (*write_)(SSL*, const void*, int) = nullptr;
    void (*free_)(SSL*) = nullptr;
    void (*freeCtx_)(SSL_CTX*) = nullptr;
    std::string buf_;
    size_t pos_ = 0;
};

// Seconds the minimal client takes for the same work; 0 when it failed.
double minimalPull(int port, bool tls, int count) {
    const auto t0 = Clock::now();
    MinimalClient c(port, tls);
    if (!c.ok() || !c.command("USER pwx1", false) || !c.command("PASS secret 1", false)) return 0;
    c.command("STAT", false);
    c.command("LIST", true);
    for (int n = 1; n <= count; ++n) c.command("TOP " + std::to_string(n) + " 40", true);
    c.command("QUIT", false);
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Seconds the window's pull of Entry takes, from the start to the CSV file.
double windowPull(mailbox::TForm1& f, const std::string& entry) {
    f.PullHost = entry;
    rusage u0{}, u1{};
    getrusage(RUSAGE_SELF, &u0);
    const auto t0 = Clock::now();
    f.RunPull();
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    getrusage(RUSAGE_SELF, &u1);
    auto secs = [](const timeval& a, const timeval& b) { return (b.tv_sec - a.tv_sec) + (b.tv_usec - a.tv_usec) / 1e6; };
    std::printf("  (window %s: %.2f s user, %.2f s system)\n", entry.c_str(), secs(u0.ru_utime, u1.ru_utime),
                secs(u0.ru_stime, u1.ru_stime));
    f.Timer4->Enabled = false;  // the bench goes on
    f.EraseMarkedAndQuit();
    if (f.PullStatus != mailbox::psComplete) std::printf("  (pull ended with status %d)\n", f.PullStatus);
    return s;
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
    const std::string port = readFile(kState + "/pop3.port"), sport = readFile(kState + "/pop3s.port");
    minimalPull(std::stoi(port), false, messages);  // the first pass builds Dovecot's index

    char dir[] = "/tmp/pwx-benchpullXXXXXX";
    helpers::homedir = std::string(mkdtemp(dir)) + "/";
    const std::string plain = "127.0.0.1/" + port + " (plain)", tls = "localhost/-" + sport + " (pop3s)";
    std::ofstream(helpers::homedir + "kwpop3hosts.txt", std::ios::binary)
        << plain << ",pwx1,secret 1,,\r\n"
        << tls << ",pwx1,secret 1,,\r\n";
    std::system(("cp " PWX_SOURCE_DIR "/data/codepageids.txt " + kState + "/ca.crt " + helpers::homedir).c_str());
    std::rename((helpers::homedir + "ca.crt").c_str(), (helpers::homedir + "pelliwoxca.pem").c_str());
    app::CreateWindows();
    mailbox::TForm1& f = *mailbox::Form1;
    win::PumpUntil([&] { return f.StartupSteps > 0; }, 5000);

    std::printf("whole pull of %d messages (log in, STAT, LIST, TOP n 40 each, sort, CSV):\n", messages);
    std::printf("  %-10s %14s %14s %10s\n", "", "window (s)", "minimal (s)", "speed");
    const struct {
        const char* name;
        std::string entry;
        int port;
        bool tls;
    } runs[] = {{"plain", plain, std::stoi(port), false}, {"pop3s", tls, std::stoi(sport), true}};
    for (const auto& r : runs) {
        const double minimal = minimalPull(r.port, r.tls, messages);
        const double window = windowPull(f, r.entry);
        std::printf("  %-10s %14.2f %14.2f %9.2fx\n", r.name, window, minimal, window > 0 ? minimal / window : 0);
    }
    std::system(("bash " PWX_SOURCE_DIR "/tests/servers/dovecot.sh stop " + kState).c_str());
    return 0;
}

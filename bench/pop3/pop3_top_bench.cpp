// Headers of a whole mailbox with TOP n 40, one command at a time, against a
// private Dovecot with a generated mailbox: the POP3 client beside a minimal
// blocking client and Python's poplib, in the same run. Prints messages/s.
// Usage: bench_pop3_top [MESSAGES]   (default 20000; needs root for Dovecot)
#include <QCoreApplication>
#include <QProcess>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "mail/pop3prot.h"  // first: it settles which OpenSSL interface is seen

#include <openssl/ssl.h>
#include "platform/rtl/sysutils.h"

namespace {

using Clock = std::chrono::steady_clock;
const std::string kState = "/tmp/pelliwox-bench-dovecot";

std::string readFile(const std::string& path) {
    std::ifstream f(path);
    std::string s;
    f >> s;
    return s;
}

int run(const std::string& cmd) { return std::system(cmd.c_str()); }

double clientRate(const std::string& port, bool tls, int& count) {
    net::TSslContext ctx;
    ctx.SetSslCAFile(kState + "/ca.crt");
    mail::TSslPop3Cli pop;
    pop.SetSslContext(&ctx);
    pop.SslType = tls ? mail::pop3TlsImplicit : mail::pop3TlsNone;
    pop.Host = "localhost";
    pop.Port = port;
    pop.UserName = "pwx1";
    pop.PassWord = "secret 1";
    pop.Timeout = 60;
    if (!pop.ConnectSync() || !pop.UserSync() || !pop.PassSync() || !pop.StatSync()) return 0;
    count = pop.MsgCount();
    pop.MsgLines = 40;
    const auto t0 = Clock::now();
    for (int n = 1; n <= count; ++n) {
        pop.MsgNum = n;
        if (!pop.TopSync()) return 0;
    }
    const double rate = count / std::chrono::duration<double>(Clock::now() - t0).count();
    pop.QuitSync();
    return rate;
}

// The least a client must do: send one TOP, read until the end line,
// with plain blocking calls (and OpenSSL's blocking calls over TLS).
class Minimal {
public:
    Minimal(int port, bool tls) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        if (!tls) return;
        ctx_ = SSL_CTX_new(TLS_client_method());
        SSL_CTX_load_verify_locations(ctx_, (kState + "/ca.crt").c_str(), nullptr);
        SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
        ssl_ = SSL_new(ctx_);
        SSL_set_tlsext_host_name(ssl_, "localhost");
        SSL_set1_host(ssl_, "localhost");
        SSL_set_fd(ssl_, fd_);
        SSL_connect(ssl_);
    }
    ~Minimal() {
        if (ssl_) SSL_free(ssl_);
        if (ctx_) SSL_CTX_free(ctx_);
        ::close(fd_);
    }
    std::string line() {
        while (true) {
            const size_t lf = buf_.find('\n', pos_);
            if (lf != std::string::npos) {
                std::string l = buf_.substr(pos_, lf - pos_);
                pos_ = lf + 1;
                return l;
            }
            buf_.erase(0, pos_);
            pos_ = 0;
            char tmp[65536];
            const long n = ssl_ ? SSL_read(ssl_, tmp, sizeof tmp) : ::recv(fd_, tmp, sizeof tmp, 0);
            if (n <= 0) return "";
            buf_.append(tmp, static_cast<size_t>(n));
        }
    }
    std::string cmd(const std::string& c) {
        const std::string s = c + "\r\n";
        if (ssl_) SSL_write(ssl_, s.data(), static_cast<int>(s.size()));
        else ::send(fd_, s.data(), s.size(), 0);
        return line();
    }
    void multiline() {
        while (line() != ".\r") {
        }
    }

private:
    int fd_;
    SSL_CTX* ctx_ = nullptr;
    SSL* ssl_ = nullptr;
    std::string buf_;
    size_t pos_ = 0;
};

double minimalRate(int port, bool tls, int count) {
    Minimal m(port, tls);
    m.line();
    m.cmd("USER pwx1");
    m.cmd("PASS secret 1");
    const auto t0 = Clock::now();
    for (int n = 1; n <= count; ++n) {
        m.cmd("TOP " + std::to_string(n) + " 40");
        m.multiline();
    }
    const double rate = count / std::chrono::duration<double>(Clock::now() - t0).count();
    m.cmd("QUIT");
    return rate;
}

double poplibRate(const std::string& port, bool tls) {
    QProcess p;
    QStringList args{QString(PWX_SOURCE_DIR) + "/bench/pop3/poplib_top.py", QString::fromStdString(port), "pwx1",
                     "secret 1"};
    if (tls) args << "tls" << QString::fromStdString(kState + "/ca.crt");
    p.start("/usr/bin/python3", args);
    p.waitForFinished(-1);
    return p.readAllStandardOutput().trimmed().toDouble();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int messages = argc > 1 ? rtl::StrToIntDef(argv[1], 20000) : 20000;
    std::printf("starting Dovecot with %d messages...\n", messages);
    if (run("bash " PWX_SOURCE_DIR "/tests/servers/dovecot.sh start " + kState + " " + std::to_string(messages) +
            " 1 > /dev/null") != 0)
        return 1;
    for (const bool tls : {false, true}) {
        const std::string port = readFile(kState + (tls ? "/pop3s.port" : "/pop3.port"));
        int count = 0;
        clientRate(port, tls, count);  // the first pass builds Dovecot's index
        const double ours = clientRate(port, tls, count);
        const double minimal = minimalRate(std::stoi(port), tls, count);
        const double poplib = poplibRate(port, tls);
        std::printf("TOP n 40 over %d messages, %s, one command at a time:\n", count, tls ? "pop3s" : "plain");
        std::printf("  %-28s %9.0f msg/s\n", "POP3 client (TopSync)", ours);
        std::printf("  %-28s %9.0f msg/s  (client = %.2fx)\n", "minimal blocking client", minimal, ours / minimal);
        std::printf("  %-28s %9.0f msg/s  (client = %.2fx)\n", "Python poplib", poplib, ours / poplib);
    }
    run("bash " PWX_SOURCE_DIR "/tests/servers/dovecot.sh stop " + kState);
    return 0;
}

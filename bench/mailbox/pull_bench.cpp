// The whole unattended pull of a generated Dovecot mailbox (20,000 messages
// by default): the real program "pelliwox pull:ENTRY" from exec to exit (log
// in, STAT, LIST, UIDL, TOP n 40 for each message with LIST checks, sort,
// CSV), beside two minimal blocking clients that send the same TOPs over a
// plain socket (and over OpenSSL for pop3s) and only read the answers: one
// command at a time, and pipelined with 64 in flight. Also the pull's
// start-up, from exec to its connect. Same run, same mailbox; each figure
// is taken RUNS times, the three interleaved, and shown as min and median.
// Usage: bench_pull [MESSAGES [RUNS]]   (needs root to start Dovecot)
#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
// A state folder of this run's own: another run may be going on.
const std::string kState = "/tmp/pelliwox-bench-pull-" + std::to_string(getpid());

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
    bool command(const std::string& cmd, bool multi) { return write(cmd + "\r\n") && answer(multi); }
    bool write(const std::string& out) {
        if (ssl_) return write_(ssl_, out.data(), static_cast<int>(out.size())) > 0;
        return send(fd_, out.data(), out.size(), 0) >= 0;
    }
    // Reads one answer; true on "+OK".
    bool answer(bool multi) {
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

// Seconds a minimal client takes for the same work, Depth TOPs in flight
// (1: one command at a time); 0 when it failed.
double minimalPull(int port, bool tls, int count, int depth) {
    const auto t0 = Clock::now();
    MinimalClient c(port, tls);
    if (!c.ok() || !c.command("USER pwx1", false) || !c.command("PASS secret 1", false)) return 0;
    c.command("STAT", false);
    c.command("LIST", true);
    int sent = 0, done = 0;
    auto refill = [&] {
        std::string out;
        while (sent < count && sent - done < depth) out += "TOP " + std::to_string(++sent) + " 40\r\n";
        if (!out.empty()) c.write(out);
    };
    refill();
    while (done < count) {
        if (!c.answer(true)) return 0;
        ++done;
        if (sent - done <= depth / 2) refill();
    }
    c.command("QUIT", false);
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Runs the program in Folder with Arg; the seconds from exec to exit, and
// its exit status.
double runProgram(const std::string& folder, const std::string& arg, int& status, rusage& use) {
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        unsetenv("DISPLAY");
        unsetenv("QT_QPA_PLATFORM");
        const std::string program = folder + "pelliwox";
        execl(program.c_str(), program.c_str(), arg.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int st = 0;
    wait4(pid, &st, 0, &use);
    status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Milliseconds from exec to the pull's connect (median of Runs), against a
// listener of our own that takes the connection and closes it.
double startupMs(const std::string& folder, int runs) {
    const int ls = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(ls, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(ls, 4);
    getsockname(ls, reinterpret_cast<sockaddr*>(&a), &len);
    const std::string entry = "127.0.0.1/" + std::to_string(ntohs(a.sin_port)) + " (start-up)";
    std::ofstream(folder + "kwpop3hosts.txt", std::ios::binary) << entry << ",u,p,,\r\n";
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            unsetenv("DISPLAY");
            unsetenv("QT_QPA_PLATFORM");
            freopen("/dev/null", "w", stderr);
            const std::string program = folder + "pelliwox";
            execl(program.c_str(), program.c_str(), ("pull:" + entry).c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        const int c = accept(ls, nullptr, nullptr);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        close(c);
        waitpid(pid, nullptr, 0);
    }
    close(ls);
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

struct Figures {
    std::vector<double> v;
    double min() const { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }
    double median() const {
        if (v.empty()) return 0;
        std::vector<double> s = v;
        std::sort(s.begin(), s.end());
        return s.size() % 2 ? s[s.size() / 2] : (s[s.size() / 2 - 1] + s[s.size() / 2]) / 2;
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int messages = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int repeats = std::max(1, argc > 2 ? std::atoi(argv[2]) : 5);
    std::printf("starting Dovecot with %d messages...\n", messages);
    if (std::system(("bash " PWX_SOURCE_DIR "/tests/servers/dovecot.sh start " + kState + " " +
                     std::to_string(messages) + " 1 > /dev/null")
                        .c_str()) != 0)
        return 1;
    const std::string port = readFile(kState + "/pop3.port"), sport = readFile(kState + "/pop3s.port");
    minimalPull(std::stoi(port), false, messages, 1);  // the first pass builds Dovecot's index

    char dir[] = "/tmp/pwx-benchpullXXXXXX";
    const std::string folder = std::string(mkdtemp(dir)) + "/";
    std::system(("cp " PWX_PROGRAM " " PWX_SOURCE_DIR "/data/codepageids.txt " + folder).c_str());
    std::system(("cp " + kState + "/ca.crt " + folder + "pelliwoxca.pem").c_str());
    std::printf("pull start-up, exec to connect (no display, median of 9): %.1f ms\n", startupMs(folder, 9));

    const std::string plain = "127.0.0.1/" + port + " (plain)", tls = "localhost/-" + sport + " (pop3s)";
    std::ofstream(folder + "kwpop3hosts.txt", std::ios::binary) << plain << ",pwx1,secret 1,,\r\n"
                                                                << tls << ",pwx1,secret 1,,\r\n";
    std::printf("whole pull of %d messages (log in, STAT, LIST, TOP n 40 each; the program also UIDL, sort, CSV),\n"
                "min / median of %d runs:\n",
                messages, repeats);
    std::printf("  %-6s %15s %15s %15s %15s %15s\n", "", "pull (s)", "sequential (s)", "pipelined (s)", "vs seq",
                "vs pipe");
    const struct {
        const char* name;
        std::string entry;
        int port;
        bool tls;
    } runs[] = {{"plain", plain, std::stoi(port), false}, {"pop3s", tls, std::stoi(sport), true}};
    for (const auto& r : runs) {
        Figures pull, sequential, pipelined, user, system;
        int failed = 0;
        for (int i = 0; i < repeats; ++i) {
            sequential.v.push_back(minimalPull(r.port, r.tls, messages, 1));
            pipelined.v.push_back(minimalPull(r.port, r.tls, messages, 64));
            int status = 0;
            rusage use{};
            pull.v.push_back(runProgram(folder, "pull:" + r.entry, status, use));
            failed += status != 0;
            user.v.push_back(use.ru_utime.tv_sec + use.ru_utime.tv_usec / 1e6);
            system.v.push_back(use.ru_stime.tv_sec + use.ru_stime.tv_usec / 1e6);
        }
        auto pair = [](double a, double b, const char* unit) {
            char out[40];
            std::snprintf(out, sizeof out, "%.2f%s / %.2f%s", a, unit, b, unit);
            return std::string(out);
        };
        std::printf("  %-6s %15s %15s %15s %15s %15s\n", r.name, pair(pull.min(), pull.median(), "").c_str(),
                    pair(sequential.min(), sequential.median(), "").c_str(),
                    pair(pipelined.min(), pipelined.median(), "").c_str(),
                    pair(pull.min() / sequential.min(), pull.median() / sequential.median(), "x").c_str(),
                    pair(pull.min() / pipelined.min(), pull.median() / pipelined.median(), "x").c_str());
        std::printf("         (pull: %d of %d runs ended with a status other than 0; CPU %.2f s user, %.2f s system, "
                    "median)\n",
                    failed, repeats, user.median(), system.median());
    }
    std::system(("rm -rf " + folder).c_str());
    std::system(("bash " PWX_SOURCE_DIR "/tests/servers/dovecot.sh stop " + kState).c_str());
    // The mailbox is large: it goes with the run.
    std::system(("rm -rf \"$(readlink " + kState + ")\" " + kState).c_str());
    return 0;
}

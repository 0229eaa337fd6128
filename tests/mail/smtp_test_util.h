#pragma once
// Helpers of the SMTP tests: a scripted server on loopback and a client
// that records what it reports.
#include <sys/socket.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "mail/smtpprot.h"
#include "platform/win/pump.h"
#include "tests/support/loopback.h"

namespace smtptest {

// One step of a scripted server: it reads a command line (or, with Data,
// the message lines up to the final ".") and then sends Reply, which may
// hold several lines. Close drops the connection after the reply.
struct Step {
    std::string reply;
    bool data = false;
    bool close = false;
};

// Sends the banner, then runs the steps; with HoldOpen it then keeps the
// connection until the client closes it. What the client sent is kept.
class ScriptedServer {
public:
    ScriptedServer(std::string banner, std::vector<Step> steps, bool holdOpen = false)
        : peer_([this, banner, steps, holdOpen](int fd) { run(fd, banner, steps, holdOpen); }) {}
    uint16_t port() const { return peer_.port(); }
    std::string portText() const { return peer_.portText(); }
    // Waits for the script to end.
    std::vector<std::string> commands() {
        peer_.join();
        return commands_;
    }
    std::vector<std::string> message() {
        peer_.join();
        return message_;
    }
    // Every byte the client sent, as it came.
    std::string wire() {
        peer_.join();
        return wire_;
    }
    // True when the client closed the connection at the end.
    bool clientClosed() {
        peer_.join();
        return clientClosed_;
    }

private:
    // One line without CR LF, "<closed>" when the connection ended first.
    std::string readLine(int fd) {
        std::string line;
        char c;
        while (::recv(fd, &c, 1, 0) == 1) {
            wire_ += c;
            if (c == '\n') return !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line;
            line += c;
        }
        return "<closed>";
    }
    void run(int fd, const std::string& banner, const std::vector<Step>& steps, bool holdOpen) {
        if (!banner.empty()) testsupport::sendAll(fd, banner);
        for (const auto& s : steps) {
            if (s.data) {
                for (std::string l = readLine(fd); l != "." && l != "<closed>"; l = readLine(fd)) message_.push_back(l);
            } else {
                const std::string cmd = readLine(fd);
                commands_.push_back(cmd);
                if (cmd == "<closed>") return;
            }
            testsupport::sendAll(fd, s.reply);
            if (s.close) return;
        }
        if (holdOpen) {
            const std::string more = readLine(fd);
            clientClosed_ = more == "<closed>";
            if (!clientClosed_) commands_.push_back(more);
        }
    }
    std::vector<std::string> commands_;
    std::vector<std::string> message_;
    std::string wire_;
    bool clientClosed_ = false;
    testsupport::LoopbackPeer peer_;
};

// A client of class C pointed at a port, recording its request ends.
template <class C>
struct Recorder {
    C smtp;
    std::vector<std::pair<mail::TSmtpRequest, int>> done;
    explicit Recorder(const std::string& port) {
        smtp.Host = "127.0.0.1";
        smtp.Port = port;
        smtp.SignOn = "client.test";
        smtp.OnRequestDone = [this](rtl::TObject*, mail::TSmtpRequest r, uint16_t e) { done.emplace_back(r, e); };
    }
    // Pumps until N requests have ended (or 10 s have passed).
    bool waitDone(size_t n = 1) {
        return win::PumpUntil([&] { return done.size() >= n; }, 10000);
    }
};

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Bytes of every value from a seeded generator, for attachments and images.
inline std::string binaryBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string out(n, '\0');
    for (auto& c : out) c = static_cast<char>(rng() & 0xFF);
    return out;
}

}  // namespace smtptest

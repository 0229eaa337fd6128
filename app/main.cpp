// For now the program is a small driver over the socket layer: it connects
// to a host and port, sends an optional line, and prints what the peer sends
// until the peer closes or stays silent for the idle time.
#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <string>

#include "net/twsocket.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/pump.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: pelliwox HOST PORT [LINE] [IDLE-SECONDS]\n"
                 "  connects, sends LINE followed by CR LF when given, and prints\n"
                 "  what arrives until the peer closes or is idle (default 5 s)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    if (argc < 3) return usage();
    const std::string line = argc > 3 ? argv[3] : "";
    const int idleMs = (argc > 4 ? rtl::StrToIntDef(argv[4], 5) : 5) * 1000;

    net::TWSocket sock;
    bool done = false;
    int status = 0;
    uint32_t lastActivity = win::GetTickCount();
    sock.OnSessionConnected = [&](rtl::TObject*, uint16_t err) {
        if (err) {
            std::fprintf(stderr, "connect failed: %s\n", net::GetWinsockErr(err).c_str());
            status = 1;
            done = true;
            return;
        }
        std::fprintf(stderr, "connected to %s:%s\n", sock.PeerAddr().c_str(), sock.PeerPort().c_str());
        if (!line.empty()) sock.SendStr(line + "\r\n");
    };
    sock.OnDataAvailable = [&](rtl::TObject*, uint16_t) {
        const std::string data = sock.ReceiveStr();
        std::fwrite(data.data(), 1, data.size(), stdout);
        std::fflush(stdout);
        lastActivity = win::GetTickCount();
    };
    sock.OnSessionClosed = [&](rtl::TObject*, uint16_t err) {
        if (err) std::fprintf(stderr, "connection closed: %s\n", net::GetWinsockErr(err).c_str());
        done = true;
    };
    try {
        sock.SetAddr(argv[1]);
        sock.SetPort(argv[2]);
        sock.Connect();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    while (!done) {
        if (win::TicksSince(lastActivity) >= static_cast<uint32_t>(idleMs)) break;
        win::PumpUntil([&] { return done; }, idleMs - win::TicksSince(lastActivity));
    }
    sock.Close();
    return status;
}

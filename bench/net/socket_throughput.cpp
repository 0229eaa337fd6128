// Loopback throughput of the event-driven socket, beside a plain blocking
// POSIX copy of the same bytes. Prints MB/s for each direction.
#include <QCoreApplication>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "net/twsocket.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/pump.h"
#include "tests/support/loopback.h"

namespace {

using Clock = std::chrono::steady_clock;

double mbps(size_t bytes, Clock::time_point t0) {
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    return static_cast<double>(bytes) / (1024.0 * 1024.0) / s;
}

size_t drain(int fd) {
    size_t total = 0;
    char buf[65536];
    ssize_t n;
    while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) total += static_cast<size_t>(n);
    return total;
}

// The component sends; a blocking reader counts.
double componentSend(const std::string& data) {
    size_t got = 0;
    testsupport::LoopbackPeer peer([&](int fd) { got = drain(fd); });
    net::TWSocket s;
    bool sent = false;
    s.OnDataSent = [&](rtl::TObject*, uint16_t) { sent = true; };
    s.SetAddr("127.0.0.1");
    s.SetPort(peer.portText());
    s.Connect();
    win::PumpUntil([&] { return s.State() == net::wsConnected && sent; }, 10000);
    sent = false;
    const auto t0 = Clock::now();
    s.Send(data.data(), static_cast<int>(data.size()));
    win::PumpUntil([&] { return sent; }, -1);
    s.Close();
    peer.join();
    const double r = mbps(got, t0);
    return got == data.size() ? r : -1;
}

// A blocking writer sends; the component receives through its data event.
double componentReceive(const std::string& data) {
    testsupport::LoopbackPeer peer([&](int fd) { testsupport::sendAll(fd, data); });
    net::TWSocket s;
    size_t got = 0;
    bool closed = false;
    std::string buf(65536, '\0');
    s.OnDataAvailable = [&](rtl::TObject*, uint16_t) {
        int n;
        while ((n = s.Receive(buf.data(), static_cast<int>(buf.size()))) > 0) got += static_cast<size_t>(n);
    };
    s.OnSessionClosed = [&](rtl::TObject*, uint16_t) { closed = true; };
    const auto t0 = Clock::now();
    s.SetAddr("127.0.0.1");
    s.SetPort(peer.portText());
    s.Connect();
    win::PumpUntil([&] { return closed; }, -1);
    const double r = mbps(got, t0);
    return got == data.size() ? r : -1;
}

// The same bytes with blocking send and recv on both ends.
double posixCopy(const std::string& data) {
    size_t got = 0;
    testsupport::LoopbackPeer peer([&](int fd) { got = drain(fd); });
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(peer.port());
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    const auto t0 = Clock::now();
    testsupport::sendAll(fd, data);
    ::shutdown(fd, SHUT_WR);
    peer.join();
    ::close(fd);
    return mbps(got, t0);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const size_t mb = argc > 1 ? static_cast<size_t>(rtl::StrToIntDef(argv[1], 256)) : 256;
    const std::string data(mb * 1024 * 1024, 'x');
    std::printf("loopback, %zu MB per run, best of 3\n", mb);
    double best[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        best[0] = std::max(best[0], posixCopy(data));
        best[1] = std::max(best[1], componentSend(data));
        best[2] = std::max(best[2], componentReceive(data));
    }
    std::printf("%-36s %10.1f MB/s\n", "blocking POSIX send/recv", best[0]);
    std::printf("%-36s %10.1f MB/s (%.2fx)\n", "socket component, sending", best[1], best[1] / best[0]);
    std::printf("%-36s %10.1f MB/s (%.2fx)\n", "socket component, receiving", best[2], best[2] / best[0]);
    return 0;
}

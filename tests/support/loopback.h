#pragma once
// A plain blocking peer on 127.0.0.1 (or ::1) for socket tests. It runs a
// script in a thread of its own, so the code under test keeps the main loop
// to itself.
#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace testsupport {

class LoopbackPeer {
public:
    // Listens on a port the kernel picks; Script runs on the accepted socket.
    // Family AF_INET6 listens on ::1.
    explicit LoopbackPeer(std::function<void(int fd)> script, int family = AF_INET);
    ~LoopbackPeer();
    uint16_t port() const { return port_; }
    std::string portText() const { return std::to_string(port_); }
    // Waits for the script to end.
    void join();

private:
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

// Blocking helpers for scripts.
bool sendAll(int fd, const std::string& data);
std::string recvAll(int fd);                 // until the peer closes
std::string recvExactly(int fd, size_t n);   // n bytes or what came before close
// A listening socket on the loopback address of Family (127.0.0.1 or ::1),
// on a port the kernel picks, written to Port.
int listenOnLoopback(uint16_t& port, int family = AF_INET);
// A port on 127.0.0.1 where nothing listens.
uint16_t closedPort();
// CPU time used by the calling thread so far, in seconds.
double threadCpuSeconds();

}  // namespace testsupport

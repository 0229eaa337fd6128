#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <stdexcept>

namespace testsupport {

int listenOnLoopback(uint16_t& port, int family) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 a{};  // the port lies at the same place in both families
    a.sin6_family = static_cast<sa_family_t>(family);
    if (family == AF_INET6) a.sin6_addr = in6addr_loopback;
    else reinterpret_cast<sockaddr_in&>(a).sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd, 8) != 0)
        throw std::runtime_error("cannot listen on loopback");
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin6_port);
    return fd;
}

LoopbackPeer::LoopbackPeer(std::function<void(int fd)> script, int family) {
    listenFd_ = listenOnLoopback(port_, family);
    const int lfd = listenFd_;
    thread_ = std::thread([lfd, script] {
        const int fd = ::accept(lfd, nullptr, nullptr);
        if (fd < 0) return;
        script(fd);
        ::close(fd);
    });
}

void LoopbackPeer::join() {
    if (thread_.joinable()) thread_.join();
}

LoopbackPeer::~LoopbackPeer() {
    // Wakes an accept that never got its connection.
    ::shutdown(listenFd_, SHUT_RDWR);
    join();
    ::close(listenFd_);
}

bool sendAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string recvAll(int fd) {
    std::string r;
    char buf[65536];
    while (true) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        r.append(buf, static_cast<size_t>(n));
    }
    return r;
}

std::string recvExactly(int fd, size_t want) {
    std::string r;
    char buf[65536];
    while (r.size() < want) {
        const ssize_t n = ::recv(fd, buf, std::min(sizeof buf, want - r.size()), 0);
        if (n <= 0) break;
        r.append(buf, static_cast<size_t>(n));
    }
    return r;
}

uint16_t closedPort() {
    uint16_t port;
    const int fd = listenOnLoopback(port);
    ::close(fd);
    return port;
}

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace testsupport

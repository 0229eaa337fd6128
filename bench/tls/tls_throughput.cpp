// TLS throughput on loopback: the TLS socket receiving and sending N MB
// (default 64), beside a plain blocking OpenSSL client moving the same bytes
// against the same blocking OpenSSL server in the same run. Prints MB/s.
#include <QCoreApplication>
#include <arpa/inet.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "net/twsocket.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/pump.h"
#include "tests/support/loopback.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kChunk = 16384;

double mbps(size_t bytes, Clock::time_point t0) {
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    return static_cast<double>(bytes) / (1024.0 * 1024.0) / s;
}

// A server context with a throw-away self-signed certificate.
SSL_CTX* makeServerContext() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* x = X509_new();
    ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
    X509_gmtime_adj(X509_getm_notBefore(x), 0);
    X509_gmtime_adj(X509_getm_notAfter(x), 3600);
    X509_set_pubkey(x, key);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(x), "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(x, X509_get_subject_name(x));
    X509_sign(x, key, EVP_sha256());
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (!key || !ctx || SSL_CTX_use_certificate(ctx, x) != 1 || SSL_CTX_use_PrivateKey(ctx, key) != 1)
        throw std::runtime_error("cannot make the server context");
    X509_free(x);
    EVP_PKEY_free(key);
    return ctx;
}

// The blocking server: sends Bytes, or counts what arrives when Bytes is 0.
struct Server {
    SSL_CTX* ctx;
    size_t bytes;
    size_t received = 0;

    void operator()(int fd) {
        SSL* ssl = SSL_new(ctx);
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) == 1) {
            if (bytes) {
                const std::string chunk(kChunk, 'x');
                for (size_t done = 0; done < bytes; done += kChunk)
                    if (SSL_write(ssl, chunk.data(), static_cast<int>(std::min(kChunk, bytes - done))) <= 0) break;
            } else {
                char buf[kChunk];
                int n;
                while ((n = SSL_read(ssl, buf, sizeof buf)) > 0) received += static_cast<size_t>(n);
            }
            SSL_shutdown(ssl);
        }
        SSL_free(ssl);
    }
};

std::unique_ptr<net::TSslContext> clientContext() {
    auto ctx = std::make_unique<net::TSslContext>();
    ctx->SetSslVerifyPeer(false);  // a throw-away certificate: the bytes are what counts
    return ctx;
}

// The socket receives Bytes over TLS through its data event.
double componentReceive(SSL_CTX* sctx, size_t bytes) {
    Server server{sctx, bytes};
    testsupport::LoopbackPeer peer(std::ref(server));
    auto ctx = clientContext();
    net::TSslWSocket s;
    s.SetSslContext(ctx.get());
    size_t got = 0;
    bool closed = false;
    std::string buf(65536, '\0');
    s.OnDataAvailable = [&](rtl::TObject*, uint16_t) {
        int n;
        while ((n = s.Receive(buf.data(), static_cast<int>(buf.size()))) > 0) got += static_cast<size_t>(n);
    };
    s.OnSessionClosed = [&](rtl::TObject*, uint16_t) { closed = true; };
    const auto t0 = Clock::now();
    s.SetSslEnable(true);
    s.SetAddr("127.0.0.1");
    s.SetPort(peer.portText());
    s.Connect();
    win::PumpUntil([&] { return closed || got >= bytes; }, -1);
    const double r = mbps(got, t0);
    s.Close();
    win::PumpUntil([&] { return closed; }, 10000);
    return got == bytes ? r : -1;
}

// The socket sends Bytes over TLS; the server counts them.
double componentSend(SSL_CTX* sctx, size_t bytes) {
    Server server{sctx, 0};
    double r = -1;
    {
        testsupport::LoopbackPeer peer(std::ref(server));
        auto ctx = clientContext();
        net::TSslWSocket s;
        s.SetSslContext(ctx.get());
        bool ready = false, sent = false, closed = false;
        s.OnSslHandshakeDone = [&](rtl::TObject*, uint16_t, net::TX509Base*, bool&) { ready = true; };
        s.OnDataSent = [&](rtl::TObject*, uint16_t) { sent = true; };
        s.OnSessionClosed = [&](rtl::TObject*, uint16_t) { closed = true; };
        const std::string data(bytes, 'x');
        const auto t0 = Clock::now();
        s.SetSslEnable(true);
        s.SetAddr("127.0.0.1");
        s.SetPort(peer.portText());
        s.Connect();
        win::PumpUntil([&] { return ready || closed; }, 10000);
        s.Send(data.data(), static_cast<int>(data.size()));
        win::PumpUntil([&] { return sent || closed; }, -1);
        s.Close();
        win::PumpUntil([&] { return closed; }, -1);
        peer.join();
        r = mbps(server.received, t0);
    }
    return server.received == bytes ? r : -1;
}

int connectTo(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) throw std::runtime_error("connect failed");
    return fd;
}

// The same bytes with a blocking OpenSSL client. Sending when Upload.
double blockingClient(SSL_CTX* sctx, size_t bytes, bool upload) {
    Server server{sctx, upload ? 0 : bytes};
    size_t moved = 0;
    double r = -1;
    {
        testsupport::LoopbackPeer peer(std::ref(server));
        SSL_CTX* cctx = SSL_CTX_new(TLS_client_method());
        const auto t0 = Clock::now();
        const int fd = connectTo(peer.port());
        SSL* ssl = SSL_new(cctx);
        SSL_set_fd(ssl, fd);
        if (SSL_connect(ssl) == 1) {
            if (upload) {
                const std::string chunk(kChunk, 'x');
                for (; moved < bytes; moved += kChunk)
                    if (SSL_write(ssl, chunk.data(), static_cast<int>(std::min(kChunk, bytes - moved))) <= 0) break;
                SSL_shutdown(ssl);
                ::shutdown(fd, SHUT_WR);
            } else {
                char buf[kChunk];
                int n;
                while (moved < bytes && (n = SSL_read(ssl, buf, sizeof buf)) > 0) moved += static_cast<size_t>(n);
            }
        }
        peer.join();
        r = mbps(upload ? server.received : moved, t0);
        SSL_free(ssl);
        ::close(fd);
        SSL_CTX_free(cctx);
    }
    return (upload ? server.received : moved) == bytes ? r : -1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const size_t mb = argc > 1 ? static_cast<size_t>(rtl::StrToIntDef(argv[1], 64)) : 64;
    const size_t bytes = mb * 1024 * 1024;
    SSL_CTX* sctx = makeServerContext();
    std::printf("TLS on loopback, %zu MB per run, best of 3\n", mb);
    double best[4] = {0, 0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        best[0] = std::max(best[0], blockingClient(sctx, bytes, false));
        best[1] = std::max(best[1], componentReceive(sctx, bytes));
        best[2] = std::max(best[2], blockingClient(sctx, bytes, true));
        best[3] = std::max(best[3], componentSend(sctx, bytes));
    }
    std::printf("%-40s %10.1f MB/s\n", "blocking OpenSSL client, receiving", best[0]);
    std::printf("%-40s %10.1f MB/s (%.2fx)\n", "TLS socket, receiving", best[1], best[1] / best[0]);
    std::printf("%-40s %10.1f MB/s\n", "blocking OpenSSL client, sending", best[2]);
    std::printf("%-40s %10.1f MB/s (%.2fx)\n", "TLS socket, sending", best[3], best[3] / best[2]);
    SSL_CTX_free(sctx);
    return 0;
}

#pragma once
// Shared by the FTP client's tests: files, and a logged-in client of one of
// the real servers the ftppeers fixture started (tests/servers/ftp.sh).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>

#include "mail/ftpcli.h"
#include "net/evqssleay.h"

namespace ftptest {

inline std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

inline void writeFile(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

inline std::string randomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(gen());
    return s;
}

// A folder of this run's own for local files, removed at the end: runs from
// other checkouts use the same file names at the same time.
inline const std::string& tempDir() {
    struct Folder {
        std::string path = (std::filesystem::temp_directory_path() / ("pelliwox-ftp-" + std::to_string(::getpid())))
                               .string();
        Folder() { std::filesystem::create_directories(path); }
        ~Folder() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    };
    static const Folder folder;
    return folder.path;
}

inline std::string stateDir() {
    const char* dir = std::getenv("PWX_FTP_STATE");
    return dir ? dir : "";
}

// The folder every real server serves.
inline std::string root() { return stateDir() + "/root/"; }

// A port of ports.env by its name (FTP_PLAIN ...).
inline int port(const std::string& name) {
    std::ifstream f(stateDir() + "/ports.env");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(name + "=", 0) == 0) return std::stoi(line.substr(name.size() + 1));
    ADD_FAILURE() << "no " << name << " in " << stateDir() << "/ports.env";
    return 0;
}

// The user each server knows.
inline const char* userOf(const std::string& server) {
    return server == "FTP_IMPLICIT" || server == "FTP_REUSE" || server == "FTP_VSFTPD_TLS" ||
                   server == "FTP6_VSFTPD_TLS"
               ? "pwxftp"
               : "tester";
}

// The servers named FTP6_... listen on ::1, the others on 127.0.0.1.
inline bool onIpv6(const std::string& server) { return server.rfind("FTP6_", 0) == 0; }
inline const char* hostOf(const std::string& server) { return onIpv6(server) ? "::1" : "127.0.0.1"; }

// The newest TLS version a context offers (TLS1_2_VERSION ...).
inline void limitTls(net::TSslContext& ctx, long maxVersion) {
    ctx.InitContext();
    net::f_SSL_CTX_ctrl(ctx.SslCtx(), SSL_CTRL_SET_MAX_PROTO_VERSION, maxVersion, nullptr);
}

// A client logged in to one of the real servers, binary, with PROT P over
// TLS. Setup runs before the connection is made.
struct Peer {
    net::TSslContext ctx;
    mail::TSslFtpClient ftp;
    explicit Peer(const std::string& which, mail::TFtpCliSslType type = mail::sslTypeNone,
                  const std::function<void(mail::TSslFtpClient&)>& setup = nullptr) {
        ctx.SetSslCAFile(stateDir() + "/ca.crt");
        ftp.SetSslContext(&ctx);
        ftp.OnDisplay = [](rtl::TObject*, std::string& m) {
            if (std::getenv("PWX_FTP_TRACE")) std::fprintf(stderr, "%s\n", m.c_str());
        };
        ftp.HostName = hostOf(which);
        ftp.Port = std::to_string(port(which));
        ftp.UserName = userOf(which);
        ftp.PassWord = "secret";
        ftp.Timeout = 10;
        ftp.SetSslType(type);
        ftp.SetPassive(true);
        if (setup) setup(ftp);
        EXPECT_TRUE(ftp.Connect()) << ftp.ErrorMessage();
        EXPECT_TRUE(ftp.TypeBinary());
        if (type != mail::sslTypeNone) {
            ftp.SetProtLevel("P");
            EXPECT_TRUE(ftp.Pbsz());
            EXPECT_TRUE(ftp.Prot());
        }
    }
    ~Peer() { ftp.Quit(); }
};

}  // namespace ftptest

// The FTP client: time stamps and fact lines from tables, exact wire cases
// against a scripted peer, transfers against pyftpdlib (plain and AUTH TLS)
// and vsftpd (implicit TLS).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "mail/ftpcli.h"
#include "mail/ftpsrvt.h"
#include "mail/evqmd5.h"
#include "tests/mail/ftp_test_util.h"
#include "platform/win/pump.h"
#include "tests/support/loopback.h"

using namespace mail;
using testsupport::LoopbackPeer;
using namespace ftptest;

namespace {

// ---------------------------------------------------------------- tables

TEST(FtpTimeStamps, Mdtm2Date) {
    const rtl::TDateTime t = rtl::EncodeDate(2024, 3, 5) + rtl::EncodeTime(7, 8, 9, 0);
    struct Case {
        const char* text;
        rtl::TDateTime want;
    } cases[] = {
        {"20240305070809", t},
        {"20240305070809.250", t + 250 / rtl::MSecsPerDay},
        {"20240305070809Z", t},
        {"2024030507080", 0},       // 13 characters
        {"20241305070809", 0},      // month 13
        {"20240231070809", -1},     // 31 February
        {"20240305250809", -1},     // hour 25
    };
    for (const auto& c : cases) EXPECT_NEAR(MDTM2Date(c.text), c.want, 1e-9) << c.text;
    EXPECT_EQ(TimeDateStr(rtl::EncodeDate(2024, 3, 5) + rtl::EncodeTime(7, 8, 9, 12)), "20240305070809.012");
    // Before 30 December 1899 the day counts down while its time counts up.
    for (const char* stamp : {"18991229010203", "02250704150708"})
        EXPECT_EQ(TimeDateStr(MDTM2Date(stamp)), std::string(stamp) + ".000");
}

TEST(FtpTimeStamps, AtoiIs64BitAndUnsigned) {
    EXPECT_EQ(mail::atoi("  42abc"), 42);
    EXPECT_EQ(mail::atoi("-5"), 0);
    EXPECT_EQ(mail::atoi("5000000000"), 5000000000LL);
}

TEST(FtpTimeStamps, MlsFactsComeFromTheFactListByExactName) {
    struct Case {
        const char* line;
        bool ok;
        const char* name;
        const char* type;
        const char* perm;
        int64_t size;
    } cases[] = {
        {"Type=file;Size=1024;Modify=20240305070809;Perm=r; Report.txt", true, "Report.txt", "file", "r", 1024},
        // A fact whose name ends in a known name is another fact.
        {"media-type=text/plain;type=dir;x.size=9; d", true, "d", "dir", "", 0},
        // Facts named inside the file name are not facts.
        {"type=file; size=77;perm=w", true, "size=77;perm=w", "file", "", 0},
        {"size=6000000000;type=file; big", true, "big", "file", "", 6000000000LL},
        {" type=file; x", false, "", "", "", 0},
    };
    for (const auto& c : cases) {
        std::string name, type, perm;
        int64_t size = -1;
        rtl::TDateTime mod = -1;
        EXPECT_EQ(DecodeMlsResp(c.line, name, type, perm, size, mod), c.ok) << c.line;
        EXPECT_EQ(name, c.name) << c.line;
        EXPECT_EQ(type, c.type) << c.line;
        EXPECT_EQ(perm, c.perm) << c.line;
        EXPECT_EQ(size, c.size) << c.line;
    }
}

// ---------------------------------------------------------------- scripted peer

// A server that sends Banner, then answers each command line with the reply
// of the first rule whose prefix matches (or "500 ?"). Lines received are kept.
class Scripted {
public:
    using Rules = std::vector<std::pair<std::string, std::string>>;
    // OnLine sees each command line before its reply goes out. Family
    // AF_INET6 listens on ::1.
    Scripted(std::string banner, Rules rules, std::function<void(const std::string&)> onLine = nullptr,
             int family = AF_INET)
        : onLine_(std::move(onLine)), peer_([this, banner, rules](int fd) { run(fd, banner, rules); }, family) {}
    uint16_t port() const { return peer_.port(); }
    // A reply outside the rules, from another thread (the data side).
    void send(const std::string& reply) {
        std::lock_guard<std::mutex> lock(sendMutex_);
        testsupport::sendAll(fd_, reply);
    }
    std::vector<std::string> lines() {
        peer_.join();
        return lines_;
    }

private:
    void run(int fd, const std::string& banner, const Rules& rules) {
        fd_ = fd;
        send(banner);
        std::string line;
        char c;
        while (::recv(fd, &c, 1, 0) == 1) {
            if (c != '\n') {
                line += c;
                continue;
            }
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines_.push_back(line);
            std::string reply = "500 ?\r\n";
            for (const auto& r : rules)
                if (line.rfind(r.first, 0) == 0) {
                    reply = r.second;
                    break;
                }
            if (onLine_) onLine_(line);
            send(reply);
            if (line == "QUIT") break;
            line.clear();
        }
    }
    std::vector<std::string> lines_;
    std::function<void(const std::string&)> onLine_;
    std::atomic<int> fd_{-1};
    std::mutex sendMutex_;
    LoopbackPeer peer_;
};

const Scripted::Rules kLogin = {{"USER", "331 pass\r\n"}, {"PASS", "230 in\r\n"}, {"QUIT", "221 bye\r\n"}};

Scripted::Rules with(Scripted::Rules extra) {
    extra.insert(extra.end(), kLogin.begin(), kLogin.end());
    return extra;
}

struct Client {
    TFtpClient ftp;
    std::vector<std::string> shown;
    explicit Client(uint16_t port, const char* host = "127.0.0.1") {
        ftp.HostName = host;
        ftp.Port = std::to_string(port);
        ftp.UserName = "u";
        ftp.PassWord = "pw";
        ftp.Timeout = 5;
        ftp.SetPassive(true);
        ftp.OnDisplay = [this](rtl::TObject*, std::string& m) {
            if (getenv("PWX_FTP_TRACE")) fprintf(stderr, "%s\n", m.c_str());
            shown.push_back(m);
        };
    }
};

TEST(FtpWire, MultiLineReplyEndsOnlyAtItsOwnCodeAndABlank) {
    Scripted srv("220-hello\r\n220-more\r\n220 ready\r\n",
                 with({{"FEAT", "211-Features:\r\n SIZE\r\n MDTM\r\n211-still going\r\n200 not the end\r\n AUTH TLS\r\n"
                                " REST STREAM\r\n211 End\r\n"},
                       {"SYST", "215 UNIX\r\n"}}));
    Client c(srv.port());
    ASSERT_TRUE(c.ftp.Connect()) << c.ftp.ErrorMessage();
    ASSERT_TRUE(c.ftp.Feat());
    EXPECT_EQ(c.ftp.LastResponse(), "211 End");
    EXPECT_EQ(c.ftp.SupportedExtensions, FtpFeat(ftpFeatSize) | FtpFeat(ftpFeatMDTM) | FtpFeat(ftpFeatAuthTLS) |
                                             FtpFeat(ftpFeatRest));
    // The next reply is SYST's own, not a leftover of FEAT.
    ASSERT_TRUE(c.ftp.Syst());
    EXPECT_EQ(c.ftp.LastResponse(), "215 UNIX");
    c.ftp.Quit();
}

TEST(FtpWire, SplitAndOverlongRepliesAreOneLineEach) {
    const std::string longText(10000, 'x');
    LoopbackPeer peer([&](int fd) {
        testsupport::sendAll(fd, "22");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        testsupport::sendAll(fd, "0 ok\r\n");
        char buf[256];
        ::recv(fd, buf, sizeof buf, 0);  // PWD
        testsupport::sendAll(fd, "257 \"" + longText + "\"\r\n");
        ::recv(fd, buf, sizeof buf, 0);  // SYST
        // An endless line: the client must wait without spinning and time out.
        testsupport::sendAll(fd, "215 " + longText);
        ::recv(fd, buf, sizeof buf, 0);
    });
    TFtpClient ftp;
    ftp.HostName = "127.0.0.1";
    ftp.Port = peer.portText();
    ftp.Timeout = 1;
    ASSERT_TRUE(ftp.Open()) << ftp.ErrorMessage();
    ASSERT_TRUE(ftp.Pwd());
    EXPECT_EQ(ftp.DirResult, longText);
    const double cpu = testsupport::threadCpuSeconds();
    EXPECT_FALSE(ftp.Syst());
    EXPECT_EQ(ftp.ErrorMessage(), "426 Timeout");
    EXPECT_LT(testsupport::threadCpuSeconds() - cpu, 0.5);
}

TEST(FtpWire, AReplyWithoutACodeIsAProtocolErrorAtOnce) {
    // Outside a multi-line reply every line a server sends starts with a
    // code: anything else fails the request and the connection at once,
    // long before the time-out.
    struct Case {
        const char* banner;
        const char* syst;  // the answer to SYST, when the banner is good
        const char* shown;
    } cases[] = {
        {"hello there\r\n", nullptr, "hello there"},
        {"220 ready\r\n", "UNIX Type: L8\r\n", "UNIX Type: L8"},
        {"220 ready\r\n", "21 UNIX\r\n", "21 UNIX"},
        {"220 ready\r\n", "2150 UNIX\r\n", "2150 UNIX"},
        {"220 ready\r\n", "215UNIX\r\n", "215UNIX"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.shown);
        Scripted srv(k.banner, with({{"SYST", k.syst ? k.syst : ""}}));
        Client c(srv.port());
        c.ftp.Timeout = 30;
        if (!k.syst) {
            EXPECT_FALSE(c.ftp.Connect());
        } else {
            ASSERT_TRUE(c.ftp.Connect());
            EXPECT_FALSE(c.ftp.Syst());
        }
        EXPECT_EQ(c.ftp.RequestResult(), 500);
        EXPECT_EQ(c.ftp.ErrorMessage(),
                  std::string("500 ") + (k.syst ? "Reply" : "Greeting") + " without a code: \"" + k.shown + "\"");
        EXPECT_FALSE(c.ftp.Connected());
    }
}

TEST(FtpWire, LineBreaksInArgumentsAreRefusedAndNeverSent) {
    Scripted srv("220 ready\r\n", with({{"CWD", "250 ok\r\n"}, {"DELE", "250 ok\r\n"}}));
    Client c(srv.port());
    ASSERT_TRUE(c.ftp.Connect());
    struct Case {
        std::string* field;
        std::string value;
        bool (TFtpClient::*call)();
    } cases[] = {
        {&c.ftp.HostDirName, "a\r\nDELE x", &TFtpClient::Cwd},
        {&c.ftp.HostFileName, std::string("a\0DELE x", 8), &TFtpClient::Dele},
        {&c.ftp.HostFileName, "a\nDELE x", &TFtpClient::Dele},
        {&c.ftp.UserName, "u\rDELE x", &TFtpClient::User},
    };
    for (auto& k : cases) {
        *k.field = k.value;
        EXPECT_FALSE((c.ftp.*k.call)());
    }
    c.ftp.Quit();
    const auto lines = srv.lines();
    for (const auto& l : lines) EXPECT_EQ(l.find("DELE"), std::string::npos) << l;
}

TEST(FtpWire, PasswordIsMaskedAndChainsSkipAndQuit) {
    // USER answered 230 skips PASS; a failing CWD skips the transfer, still
    // sends QUIT and reports the CWD reply.
    Scripted srv("220 ready\r\n", {{"USER", "230 no password needed\r\n"}, {"CWD", "550 no such folder\r\n"},
                                   {"QUIT", "221 bye\r\n"}});
    Client c(srv.port());
    c.ftp.HostDirName = "missing";
    c.ftp.HostFileName = "f";
    c.ftp.LocalFileName = tempDir() + "/ftp_never";
    EXPECT_FALSE(c.ftp.Receive());
    EXPECT_EQ(c.ftp.RequestResult(), 550);
    EXPECT_EQ(c.ftp.LastResponse(), "550 no such folder");
    EXPECT_EQ(srv.lines(), (std::vector<std::string>{"USER u", "FEAT", "CWD missing", "QUIT"}));

    Scripted srv2("220 ready\r\n", kLogin);
    Client d(srv2.port());
    ASSERT_TRUE(d.ftp.Connect());
    d.ftp.Quit();
    bool masked = false;
    for (const auto& m : d.shown) {
        EXPECT_EQ(m.find("pw"), std::string::npos) << m;
        masked |= m == "> PASS ***";
    }
    EXPECT_TRUE(masked);
}

TEST(FtpWire, SilentBannerTimesOut) {
    LoopbackPeer peer([](int fd) {
        char b;
        ::recv(fd, &b, 1, 0);
    });
    TFtpClient ftp;
    ftp.HostName = "127.0.0.1";
    ftp.Port = peer.portText();
    ftp.Timeout = 1;
    EXPECT_FALSE(ftp.Connect());
    EXPECT_EQ(ftp.ErrorMessage(), "426 Timeout");
    EXPECT_EQ(ftp.StatusCode(), 426);
}

TEST(FtpWire, MisuseFailsTheBlockingCallEvenWithAnErrorHandler) {
    Scripted srv("220 ready\r\n", kLogin);
    Client c(srv.port());
    ASSERT_TRUE(c.ftp.Connect());
    std::string got;
    c.ftp.OnError = [&](rtl::TObject*, std::string& m) { got = m; };
    c.ftp.HostDirName.clear();
    EXPECT_FALSE(c.ftp.Cwd());
    EXPECT_EQ(got, "HostDirName empty");
    c.ftp.OnError = nullptr;
    EXPECT_FALSE(c.ftp.Cwd());
    // MODE Z would store the server's compressed bytes as the file.
    EXPECT_THROW(c.ftp.SetTransferMode(ftpTransModeZDeflate), FtpException);
    EXPECT_EQ(c.ftp.TransferMode(), ftpTransModeStream);
    c.ftp.Quit();
}

// A passive data listener the scripted server names in its 227 or 229 reply.
struct DataListener {
    int fd = -1;
    uint16_t port = 0;
    // RcvBuf: a receive buffer this small for the connections it accepts.
    // Family AF_INET6 listens on ::1.
    explicit DataListener(int RcvBuf = 0, int Family = AF_INET) {
        fd = testsupport::listenOnLoopback(port, Family);
        if (RcvBuf > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &RcvBuf, sizeof RcvBuf);
    }
    ~DataListener() { ::close(fd); }
    std::string pasv(const char* addr) const {
        return std::string("227 Entering Passive Mode (") + addr + "," + std::to_string(port >> 8) + "," +
               std::to_string(port & 255) + ")\r\n";
    }
    std::string epsv() const { return "229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)\r\n"; }
};

// The server's side of one download: Payload on the first connection.
std::thread sendOnce(const DataListener& Data, const std::string& Payload) {
    return std::thread([fd = Data.fd, Payload] {
        const int c = ::accept(fd, nullptr, nullptr);
        testsupport::sendAll(c, Payload);
        ::close(c);
    });
}

TEST(FtpWire, PassiveConnectsToTheServerNotToThe227Address) {
    DataListener data;
    std::thread serveData = sendOnce(data, "payload");
    // 10.0.0.1 would not answer: only the control connection's peer does.
    Scripted srv("220 ready\r\n",
                 with({{"TYPE", "200 ok\r\n"}, {"PASV", data.pasv("10,0,0,1")},
                       {"RETR", "150 here\r\n226 done\r\n"}}));
    Client c(srv.port());
    const std::string local = tempDir() + "/ftp_pasv_peer";
    c.ftp.HostFileName = "f";
    c.ftp.LocalFileName = local;
    ASSERT_TRUE(c.ftp.Connect());
    EXPECT_TRUE(c.ftp.Get()) << c.ftp.ErrorMessage();
    serveData.join();
    c.ftp.Quit();
    EXPECT_EQ(readFile(local), "payload");
}

TEST(FtpWire, RefusedOrBrokenDownloadLeavesTheLocalFileAlone) {
    const std::string local = tempDir() + "/ftp_keep";
    struct Case {
        const char* pasv;
        const char* retr;
        int code;
    } cases[] = {
        {nullptr, "550 no such file\r\n", 550},                    // refused
        {nullptr, "150 x\r\n425 no data connection\r\n", 425},   // opened, then given up
        {"227 Entering Passive Mode (127,0,0,1,300,1)\r\n", "150 x\r\n", 550},  // malformed 227
        {"227 Entering Passive Mode 127,0,0,1,1,1\r\n", "150 x\r\n", 550},      // no parenthesis
    };
    for (const auto& k : cases) {
        writeFile(local, "precious");
        DataListener data;
        std::thread serveData([&] {
            if (k.pasv) return;
            const int c = ::accept(data.fd, nullptr, nullptr);
            ::close(c);
        });
        Scripted srv("220 ready\r\n", with({{"PASV", k.pasv ? k.pasv : data.pasv("127,0,0,1")}, {"RETR", k.retr}}));
        Client c(srv.port());
        c.ftp.HostFileName = "f";
        c.ftp.LocalFileName = local;
        ASSERT_TRUE(c.ftp.Connect());
        EXPECT_FALSE(c.ftp.Get());
        EXPECT_EQ(c.ftp.RequestResult(), k.code) << k.retr;
        c.ftp.Quit();
        serveData.join();
        EXPECT_EQ(readFile(local), "precious");
    }
}

TEST(FtpWire, Reply226BeforeOrAfterTheDataCloseEndsOnce) {
    for (const bool replyFirst : {true, false}) {
        DataListener data;
        std::thread serveData([&] {
            const int c = ::accept(data.fd, nullptr, nullptr);
            if (!replyFirst) std::this_thread::sleep_for(std::chrono::milliseconds(0));
            testsupport::sendAll(c, "abc");
            if (replyFirst) std::this_thread::sleep_for(std::chrono::milliseconds(150));
            ::close(c);
        });
        const std::string retr = replyFirst ? "150 x\r\n226 done\r\n" : "150 x\r\n";
        LoopbackPeer ctl([&](int fd) {
            testsupport::sendAll(fd, "220 ready\r\n");
            char buf[256];
            ::recv(fd, buf, sizeof buf, 0);
            testsupport::sendAll(fd, data.pasv("127,0,0,1"));
            ::recv(fd, buf, sizeof buf, 0);
            testsupport::sendAll(fd, retr);
            if (!replyFirst) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                testsupport::sendAll(fd, "226 done\r\n");
            }
            ::recv(fd, buf, sizeof buf, 0);
        });
        TFtpClient ftp;
        ftp.HostName = "127.0.0.1";
        ftp.Port = ctl.portText();
        ftp.SetPassive(true);
        ftp.Timeout = 5;
        int ends = 0;
        ftp.OnRequestDone = [&](rtl::TObject*, TFtpRequest rq, uint16_t) { ends += rq == ftpGetAsync; };
        ftp.HostFileName = "f";
        ftp.LocalFileName = tempDir() + "/ftp_order";
        ASSERT_TRUE(ftp.Open());
        EXPECT_TRUE(ftp.Get()) << ftp.ErrorMessage();
        serveData.join();
        EXPECT_EQ(readFile(ftp.LocalFileName), "abc");
        win::PumpFor(200);  // the end is posted
        EXPECT_EQ(ends, 1);
    }
}

// A caller's stream that stops taking (writes) or giving (reads) bytes at
// FailAt while claiming Size bytes: a full disk or an unreadable sector.
class FailingStream : public rtl::TStream {
public:
    FailingStream(int64_t Size, int64_t FailAt) : size_(Size), failAt_(FailAt) {}
    int64_t Read(void* Buffer, int64_t Count) override {
        const int64_t n = std::max<int64_t>(0, std::min(Count, std::min(size_, failAt_) - pos_));
        std::memset(Buffer, 'r', static_cast<size_t>(n));
        pos_ += n;
        return n;
    }
    int64_t Write(const void*, int64_t Count) override {
        if (pos_ + Count > failAt_) return 0;
        pos_ += Count;
        size_ = std::max(size_, pos_);
        return Count;
    }
    int64_t Seek(int64_t Offset, rtl::TSeekOrigin Origin) override {
        pos_ = Origin == rtl::soBeginning ? Offset : Origin == rtl::soCurrent ? pos_ + Offset : size_ + Offset;
        return pos_;
    }

private:
    int64_t size_, failAt_, pos_ = 0;
};

void sendQuietly(int fd, const std::string& data) {
    for (size_t at = 0; at < data.size();) {
        const ssize_t n = ::send(fd, data.data() + at, data.size() - at, MSG_NOSIGNAL);
        if (n <= 0) return;
        at += static_cast<size_t>(n);
    }
}

TEST(FtpWire, LocalWriteFailureFailsTheDownloadWith550) {
    // The server says 226 either way: only the local side knows the file is bad.
    const std::string notAFolder = tempDir() + "/ftp_plain_file";
    writeFile(notAFolder, "x");
    struct Case {
        const char* name;
        bool stream;
        std::string local;
    } cases[] = {{"write fails midway", true, ""}, {"temporary file cannot be made", false, notAFolder + "/f"}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        DataListener data;
        std::thread serveData([&] {
            const int c = ::accept(data.fd, nullptr, nullptr);
            sendQuietly(c, std::string(200000, 'd'));
            ::close(c);
        });
        Scripted srv("220 ready\r\n", with({{"PASV", data.pasv("127,0,0,1")}, {"RETR", "150 x\r\n226 done\r\n"}}));
        Client c(srv.port());
        FailingStream out(0, 1000);
        c.ftp.HostFileName = "f";
        if (k.stream)
            c.ftp.SetLocalStream(&out);
        else
            c.ftp.LocalFileName = k.local;
        ASSERT_TRUE(c.ftp.Connect());
        EXPECT_FALSE(c.ftp.Get());
        EXPECT_EQ(c.ftp.RequestResult(), 550) << c.ftp.ErrorMessage();
        EXPECT_NE(c.ftp.ErrorMessage().find("local file"), std::string::npos) << c.ftp.ErrorMessage();
        if (!k.stream) {
            // The refused open never connects: let the data thread go.
            const int s = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(data.port);
            ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
            ::close(s);
        }
        c.ftp.SetLocalStream(nullptr);
        c.ftp.Quit();
        serveData.join();
    }
}

TEST(FtpWire, LocalReadFailureFailsTheUploadWith426) {
    DataListener data;
    Scripted* control = nullptr;
    std::string received;
    std::thread serveData([&] {
        const int c = ::accept(data.fd, nullptr, nullptr);
        char buf[65536];
        for (ssize_t n; (n = ::recv(c, buf, sizeof buf, 0)) > 0;) received.append(buf, static_cast<size_t>(n));
        ::close(c);
        control->send("226 done\r\n");
    });
    Scripted srv("220 ready\r\n", with({{"PASV", data.pasv("127,0,0,1")}, {"STOR", "150 go\r\n"}}));
    control = &srv;
    Client c(srv.port());
    // A file of 4 MB whose reads stop after 300 KB.
    FailingStream in(4 << 20, 300 * 1024);
    c.ftp.HostFileName = "f";
    c.ftp.SetLocalStream(&in);
    ASSERT_TRUE(c.ftp.Connect());
    EXPECT_FALSE(c.ftp.Put());
    EXPECT_EQ(c.ftp.RequestResult(), 426);
    EXPECT_EQ(c.ftp.ErrorMessage().rfind("426 Error reading local file", 0), 0u) << c.ftp.ErrorMessage();
    serveData.join();
    EXPECT_LE(received.size(), 300u * 1024);
    c.ftp.SetLocalStream(nullptr);
    c.ftp.Quit();
}

// A connection to 127.0.0.1:Port made from the address From; -1 when
// refused. From "::1" connects to ::1.
int connectFrom(const char* From, uint16_t Port) {
    if (std::strchr(From, ':')) {
        const int s = ::socket(AF_INET6, SOCK_STREAM, 0);
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_addr = in6addr_loopback;
        a.sin6_port = htons(Port);
        if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return s;
        ::close(s);
        return -1;
    }
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, From, &a.sin_addr);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    a.sin_port = htons(Port);
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return s;
    ::close(s);
    return -1;
}

// The server's side of an active-mode upload: connects to Port from From,
// takes everything up to the client's end, then closes.
std::jthread takeUpload(const char* From, uint16_t Port) {
    return std::jthread([From, Port] {
        const int c = connectFrom(From, Port);
        EXPECT_GE(c, 0);
        if (c < 0) return;
        testsupport::recvAll(c);
        ::close(c);
    });
}

TEST(FtpWire, AnUnreadable229ReplyFailsTheTransferBeforeItsCommand) {
    const std::string local = tempDir() + "/ftp_epsv";
    Scripted bad("220 ready\r\n", with({{"FEAT", "211-Features:\r\n EPSV\r\n211 End\r\n"},
                                        {"EPSV", "229 Entering Extended Passive Mode (|||99999|)\r\n"}}));
    Client d(bad.port());
    d.ftp.HostFileName = "f";
    d.ftp.LocalFileName = local;
    ASSERT_TRUE(d.ftp.Connect());
    EXPECT_FALSE(d.ftp.Get());
    EXPECT_EQ(d.ftp.RequestResult(), 550);
    EXPECT_EQ(d.ftp.ErrorMessage(), "550 Malformed passive reply: 229 Entering Extended Passive Mode (|||99999|)");
    d.ftp.Quit();
    const auto badLines = bad.lines();
    EXPECT_EQ(std::count(badLines.begin(), badLines.end(), "RETR f"), 0);
}

TEST(FtpWire, TheLoginLearnsWhatTheServerOffersAndGetsOnWithoutIt) {
    // FEAT follows the login. A server that refuses it is used all the same,
    // over IPv4 with PASV and PORT; the login's reply stays what Connect
    // reports. Over IPv6 EPSV and EPRT are tried whatever FEAT said, since
    // PASV and PORT cannot name an IPv6 address.
    struct Case {
        const char* name;
        int family;
        const char* feat;
        const char* passive;  // the passive command the download uses
        const char* active;   // the start of the active one of the upload
    } cases[] = {
        {"IPv4, offered", AF_INET, "211-Features:\r\n EPSV\r\n EPRT\r\n211 End\r\n", "EPSV", "EPRT |1|127.0.0.1|"},
        {"IPv4, 500", AF_INET, "500 FEAT not understood\r\n", "PASV", "PORT 127,0,0,1,"},
        {"IPv4, 502", AF_INET, "502 Command not implemented\r\n", "PASV", "PORT 127,0,0,1,"},
        {"IPv6, 502", AF_INET6, "502 Command not implemented\r\n", "EPSV", "EPRT |2|::1|"},
        {"IPv6, nothing offered", AF_INET6, "211-Features:\r\n SIZE\r\n211 End\r\n", "EPSV", "EPRT |2|::1|"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const char* host = k.family == AF_INET6 ? "::1" : "127.0.0.1";
        DataListener data(0, k.family);
        std::thread serveData = sendOnce(data, "payload");
        uint16_t activePort = 0;
        std::jthread upload;
        auto onLine = [&](const std::string& line) {
            unsigned h[6];
            const auto bar = line.rfind('|', line.size() - 2);
            if (line.rfind("EPRT", 0) == 0 && bar != std::string::npos)
                activePort = static_cast<uint16_t>(std::stoi(line.substr(bar + 1)));
            if (sscanf(line.c_str(), "PORT %u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &h[4], &h[5]) == 6)
                activePort = static_cast<uint16_t>(h[4] * 256 + h[5]);
            if (line.rfind("STOR", 0) == 0) upload = takeUpload(host, activePort);
        };
        Scripted srv("220 ready\r\n",
                     with({{"FEAT", k.feat},
                           {"PASV", data.pasv("127,0,0,1")},
                           {"EPSV", data.epsv()},
                           {"PORT", "200 ok\r\n"},
                           {"EPRT", "200 ok\r\n"},
                           {"RETR", "150 x\r\n226 done\r\n"},
                           {"STOR", "150 go\r\n226 stored\r\n"}}),
                     onLine, k.family);
        Client c(srv.port(), host);
        const std::string local = tempDir() + "/ftp_feat";
        c.ftp.HostFileName = "f";
        c.ftp.LocalFileName = local;
        ASSERT_TRUE(c.ftp.Connect()) << c.ftp.ErrorMessage();
        EXPECT_EQ(c.ftp.LastResponse(), "230 in");
        EXPECT_EQ(c.ftp.StatusCode(), 230);
        EXPECT_EQ((c.ftp.SupportedExtensions & FtpFeat(ftpFeatEPSV)) != 0, std::strstr(k.feat, "EPSV") != nullptr);
        EXPECT_TRUE(c.ftp.Get()) << c.ftp.ErrorMessage();
        serveData.join();
        EXPECT_EQ(readFile(local), "payload");
        writeFile(local, "");
        c.ftp.SetPassive(false);
        EXPECT_TRUE(c.ftp.Put()) << c.ftp.ErrorMessage();
        c.ftp.Quit();
        const auto lines = srv.lines();
        ASSERT_GE(lines.size(), 5u);
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3),
                  (std::vector<std::string>{"USER u", "PASS pw", "FEAT"}));
        EXPECT_EQ(lines[3], k.passive);
        EXPECT_EQ(lines[5].rfind(k.active, 0), 0u) << lines[5];
    }
}

TEST(FtpWire, ActiveModeRefusesAStrangerAtOnceAndReadsOffTheLateAnswer) {
    // A stranger (127.0.0.2) connects to the PORT address first: the
    // transfer fails at once with a text of its own, and nobody gets in after
    // it, the server included. The server's answer to RETR comes after the
    // client has given up: it must not be taken for the next command's.
    uint16_t dataPort = 0;
    Scripted* control = nullptr;
    bool strangerDropped = false, serverRefused = false;
    auto onLine = [&](const std::string& line) {
        unsigned h[6];
        if (sscanf(line.c_str(), "PORT %u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &h[4], &h[5]) == 6)
            dataPort = static_cast<uint16_t>(h[4] * 256 + h[5]);
        if (line.rfind("RETR", 0) != 0) return;
        const int stranger = connectFrom("127.0.0.2", dataPort);
        char b;
        strangerDropped = stranger >= 0 && ::recv(stranger, &b, 1, 0) <= 0;
        if (stranger >= 0) ::close(stranger);
        const int own = connectFrom("127.0.0.1", dataPort);
        serverRefused = own < 0;
        if (own >= 0) ::close(own);
        control->send("150 Opening data connection\r\n425 Can't open data connection\r\n");
    };
    Scripted srv("220 ready\r\n", with({{"PORT", "200 ok\r\n"}, {"RETR", ""}, {"PWD", "257 \"/here\"\r\n"}}), onLine);
    control = &srv;
    Client c(srv.port());
    c.ftp.SetPassive(false);
    c.ftp.Timeout = 30;  // a failure that waited for the time-out would show
    const std::string local = tempDir() + "/ftp_active_peer";
    writeFile(local, "precious");
    c.ftp.HostFileName = "f";
    c.ftp.LocalFileName = local;
    ASSERT_TRUE(c.ftp.Connect());
    EXPECT_FALSE(c.ftp.Get());
    EXPECT_EQ(c.ftp.RequestResult(), 425);
    EXPECT_EQ(c.ftp.ErrorMessage(), "425 Data connection from 127.0.0.2 refused: the server is 127.0.0.1");
    ASSERT_TRUE(c.ftp.Pwd()) << c.ftp.ErrorMessage();
    EXPECT_EQ(c.ftp.DirResult, "/here");
    c.ftp.Quit();
    srv.lines();
    EXPECT_TRUE(strangerDropped);
    EXPECT_TRUE(serverRefused);
    EXPECT_EQ(readFile(local), "precious");
}

TEST(FtpWire, AGivenUpTransfersLateAnswerIsNotTheNextCommands) {
    // Nothing listens where the 227 reply points: the download fails when
    // its connection is refused, and the server's 425 may come after that.
    const uint16_t closed = testsupport::closedPort();
    const std::string pasv = "227 Entering Passive Mode (127,0,0,1," + std::to_string(closed >> 8) + "," +
                             std::to_string(closed & 255) + ")\r\n";
    // The server answers RETR only once the client has moved on.
    Scripted* control = nullptr;
    auto onLine = [&](const std::string& line) {
        if (line == "SYST") control->send("425 Can't open data connection\r\n");
    };
    Scripted srv("220 ready\r\n", with({{"PASV", pasv}, {"RETR", ""}, {"SYST", "215 UNIX Type: L8\r\n"}}), onLine);
    control = &srv;
    Client c(srv.port());
    c.ftp.HostFileName = "f";
    c.ftp.LocalFileName = tempDir() + "/ftp_refused";
    ASSERT_TRUE(c.ftp.Connect());
    EXPECT_FALSE(c.ftp.Get());
    EXPECT_EQ(c.ftp.RequestResult(), 550) << c.ftp.ErrorMessage();
    ASSERT_TRUE(c.ftp.Syst()) << c.ftp.ErrorMessage();
    EXPECT_EQ(c.ftp.LastResponse(), "215 UNIX Type: L8");
    c.ftp.Quit();
}

TEST(FtpWire, StalledReceiverFailsTheUploadWithoutSpinning) {
    // The server takes the data connection and never reads: the upload must
    // end as a failure, and the wait must sleep, not poll hot.
    DataListener data;
    std::atomic<bool> done{false};
    std::thread serveData([&] {
        const int c = ::accept(data.fd, nullptr, nullptr);
        while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ::close(c);
    });
    Scripted srv("220 ready\r\n", with({{"PASV", data.pasv("127,0,0,1")}, {"STOR", "150 go\r\n"}}));
    Client c(srv.port());
    c.ftp.Timeout = 1;
    c.ftp.CloseDownSecs = 1;
    FailingStream in(64 << 20, 64 << 20);  // more than the socket buffers hold
    c.ftp.HostFileName = "f";
    c.ftp.SetLocalStream(&in);
    ASSERT_TRUE(c.ftp.Connect());
    const double cpu = testsupport::threadCpuSeconds();
    EXPECT_FALSE(c.ftp.Put());
    EXPECT_LT(testsupport::threadCpuSeconds() - cpu, 0.5);
    EXPECT_EQ(c.ftp.RequestResult(), 426) << c.ftp.ErrorMessage();
    done = true;
    serveData.join();
    c.ftp.SetLocalStream(nullptr);
    c.ftp.Quit();
}

TEST(FtpWire, BytesStillQueuedAtTheCloseDownDeadlineFailTheUpload) {
    // The whole file is handed over at once and the server takes it in small
    // pieces. One that stops reading, without closing, leaves bytes queued
    // when the close-down deadline passes: that fails the upload, since ending
    // the sending side then would cut the file short, and the wait until then
    // sleeps. The connection then ends with a reset, so the server knows, and
    // the upload ends on its answer. One that keeps reading, however slowly,
    // gets the whole file.
    constexpr size_t kFile = 150 * 1024, kPiece = 8 * 1024;
    struct Case {
        const char* name;
        size_t stopAfter;  // bytes the server reads before it stops
        int result;
    } cases[] = {{"server stops reading", 2 * kPiece, 426}, {"server reads slowly", kFile, 0}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        DataListener data(4096);
        Scripted* control = nullptr;
        std::atomic<bool> done{false};
        size_t got = 0;
        bool reset = false;
        std::thread serveData([&] {
            const int c = ::accept(data.fd, nullptr, nullptr);
            while (got < k.stopAfter) {
                const std::string piece = testsupport::recvExactly(c, kPiece);
                got += piece.size();
                if (piece.size() < kPiece) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            if (got == kFile && testsupport::recvAll(c).empty()) {
                ::close(c);
                control->send("226 done\r\n");
                return;
            }
            // The client gives up with a reset, which the server answers. It
            // reads nothing more meanwhile: the error shows without a read.
            pollfd p{c, 0, 0};
            while (::poll(&p, 1, 10000) == 1 && !(p.revents & (POLLERR | POLLHUP))) {
            }
            int err = 0;
            socklen_t len = sizeof err;
            ::getsockopt(c, SOL_SOCKET, SO_ERROR, &err, &len);
            reset = err == ECONNRESET;
            control->send("426 Connection closed; transfer aborted\r\n");
            while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ::close(c);
        });
        Scripted srv("220 ready\r\n",
                     with({{"PASV", data.pasv("127,0,0,1")}, {"STOR", "150 go\r\n"}, {"PWD", "257 \"/\"\r\n"}}));
        control = &srv;
        Client c(srv.port());
        c.ftp.Timeout = 5;  // the blocking call's own limit is not what ends it
        c.ftp.CloseDownSecs = 1;
        // The data connection is up when STOR goes: its system buffer is made
        // small, or the whole file would fit in it.
        c.ftp.OnCommand = [&c](rtl::TObject*, std::string& cmd) {
            if (cmd.rfind("STOR", 0) != 0) return;
            const int small = 4096;
            ::setsockopt(static_cast<int>(c.ftp.DataSocket()->HSocket()), SOL_SOCKET, SO_SNDBUF, &small,
                         sizeof small);
        };
        FailingStream in(kFile, kFile);  // one block
        c.ftp.HostFileName = "f";
        c.ftp.SetLocalStream(&in);
        ASSERT_TRUE(c.ftp.Connect());
        const double cpu = testsupport::threadCpuSeconds();
        EXPECT_EQ(c.ftp.Put(), k.result == 0) << c.ftp.ErrorMessage();
        EXPECT_LT(testsupport::threadCpuSeconds() - cpu, 0.5);
        EXPECT_EQ(c.ftp.RequestResult(), k.result);
        if (k.result) {
            EXPECT_EQ(c.ftp.ErrorMessage(), "426 Upload data still queued at the close-down deadline");
        }
        // STOR's answer belonged to the upload; the next command gets its own.
        ASSERT_TRUE(c.ftp.Pwd()) << c.ftp.ErrorMessage();
        EXPECT_EQ(c.ftp.LastResponse(), "257 \"/\"");
        done = true;
        serveData.join();
        EXPECT_EQ(got, k.stopAfter);
        EXPECT_EQ(reset, k.result != 0);
        c.ftp.SetLocalStream(nullptr);
        c.ftp.Quit();
    }
}

// ---------------------------------------------------------------- real peers

TEST(FtpPeers, AppendResumeAndFileCommands) {
    Peer p("FTP_PLAIN");
    const std::string data = randomBytes(2 * 1024 * 1024, 2);
    const std::string src = tempDir() + "/ftp_rsrc", dst = tempDir() + "/ftp_rdst";
    writeFile(src, data);
    // Resume an upload whose first part is on the server.
    writeFile(root() + "r.bin", data.substr(0, 700000));
    p.ftp.HostFileName = "r.bin";
    ASSERT_TRUE(p.ftp.Size());
    EXPECT_EQ(p.ftp.SizeResult, 700000);
    p.ftp.ResumeAt = p.ftp.SizeResult;
    p.ftp.LocalFileName = src;
    ASSERT_TRUE(p.ftp.RestPut()) << p.ftp.ErrorMessage();
    EXPECT_EQ(readFile(root() + "r.bin"), data);
    // Resume a download: the local part stays, the rest arrives.
    writeFile(dst, data.substr(0, 1234567));
    p.ftp.LocalFileName = dst;
    ASSERT_TRUE(p.ftp.RestGet()) << p.ftp.ErrorMessage();
    EXPECT_EQ(readFile(dst), data);
    // Append.
    p.ftp.LocalFileName = src;
    ASSERT_TRUE(p.ftp.Append());
    EXPECT_EQ(readFile(root() + "r.bin"), data + data);
    // MDTM / MFMT.
    p.ftp.RemFileDateTime = rtl::EncodeDate(2021, 6, 7) + rtl::EncodeTime(8, 9, 10, 0);
    ASSERT_TRUE(p.ftp.Mfmt()) << p.ftp.ErrorMessage();
    p.ftp.RemFileDateTime = 0;
    ASSERT_TRUE(p.ftp.Mdtm());
    EXPECT_EQ(TimeDateStr(p.ftp.RemFileDateTime), "20210607080910.000");
    // MLSD facts.
    std::vector<std::string> lines;
    p.ftp.DisplayFileFlag = true;
    p.ftp.HostFileName.clear();
    p.ftp.OnDisplayFile = [&](rtl::TObject*, std::string& l) { lines.push_back(l); };
    ASSERT_TRUE(p.ftp.Mlsd());
    p.ftp.DisplayFileFlag = false;
    // The listing went to OnDisplayFile: no local file is cut, neither the
    // one named (the last upload's) nor the one resumed before.
    EXPECT_EQ(readFile(src), data);
    EXPECT_EQ(readFile(dst), data);
    bool seen = false;
    for (const auto& l : lines) {
        std::string name, type, perm;
        int64_t size;
        rtl::TDateTime mod;
        if (DecodeMlsResp(l, name, type, perm, size, mod) && name == "r.bin") {
            seen = true;
            EXPECT_EQ(type, "file");
            EXPECT_EQ(size, 2 * static_cast<int64_t>(data.size()));
            EXPECT_EQ(TimeDateStr(mod), "20210607080910.000");
        }
    }
    EXPECT_TRUE(seen);
    // Rename, delete, folders.
    p.ftp.HostFileName = "r.bin";
    p.ftp.LocalFileName = "s.bin";
    ASSERT_TRUE(p.ftp.Ren());
    p.ftp.HostFileName = "s.bin";
    ASSERT_TRUE(p.ftp.Dele());
    EXPECT_FALSE(std::ifstream(root() + "s.bin").good());
    p.ftp.HostFileName = "sub";
    ASSERT_TRUE(p.ftp.Mkd());
    EXPECT_EQ(p.ftp.DirResult, "/sub");
    ASSERT_TRUE(p.ftp.Rmd());
    ASSERT_TRUE(p.ftp.Feat());
    EXPECT_TRUE(p.ftp.SupportedExtensions & FtpFeat(ftpFeatMLST));
    EXPECT_TRUE(p.ftp.SupportedExtensions & FtpFeat(ftpFeatSize));
}

// The scripted AUTH/CCC peer (ftp_ccc_peer.py) and a client for it that
// records what it shows.
struct ScriptedTlsPeer {
    FILE* peer = nullptr;
    net::TSslContext ctx;
    TSslFtpClient ftp;
    std::vector<std::string> shown;
    explicit ScriptedTlsPeer(const std::string& option = {}) {
        const std::string cmd = std::string("/usr/bin/python3 ") + FTP_SERVERS_DIR + "/ftp_ccc_peer.py " +
                                stateDir() + "/server.crt " + stateDir() + "/server.key " + option;
        peer = ::popen(cmd.c_str(), "r");
        char line[256] = {};
        if (!peer || !::fgets(line, sizeof line, peer)) ADD_FAILURE() << "the scripted peer did not start";
        ctx.SetSslCAFile(stateDir() + "/ca.crt");
        ftp.SetSslContext(&ctx);
        ftp.HostName = "127.0.0.1";
        ftp.Port = std::to_string(atoi(line));
        ftp.UserName = "tester";
        ftp.PassWord = "secret";
        ftp.Timeout = 5;
        ftp.SetSslType(sslTypeAuthTls);
        ftp.OnDisplay = [this](rtl::TObject*, std::string& m) { shown.push_back(m); };
    }
    // What the peer read, once it has ended.
    std::string seen() {
        std::string all;
        char line[256];
        while (peer && ::fgets(line, sizeof line, peer)) all += line;
        if (peer) ::pclose(peer);
        peer = nullptr;
        return all;
    }
    bool showed(const std::string& text) const { return std::find(shown.begin(), shown.end(), text) != shown.end(); }
    ~ScriptedTlsPeer() { seen(); }
};

TEST(FtpPeers, CccTakesTheControlConnectionBackToClearText) {
    ScriptedTlsPeer p;
    EXPECT_TRUE(p.ftp.Connect()) << p.ftp.ErrorMessage();
    EXPECT_TRUE(p.ftp.Ccc()) << p.ftp.ErrorMessage();
    // The peer reads clear text now: a command still inside TLS would go unanswered.
    EXPECT_TRUE(p.ftp.Pwd()) << p.ftp.ErrorMessage();
    EXPECT_EQ(p.ftp.DirResult, "/clear");
    p.ftp.Quit();
    const std::string seen = p.seen();
    EXPECT_NE(seen.find("T: PASS secret\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("T: CCC\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("C: PWD\n"), std::string::npos) << seen;
}

TEST(FtpPeers, AuthInsideTlsRenegotiatesOnlyBeforeTls13) {
    // TLS 1.3 has no renegotiation: AUTH on such a connection is done at once,
    // and the connection carries on as it was.
    struct Case {
        const char* option;
        const char* version;
        bool renegotiates;
    } cases[] = {{"", "TLSv1.3", false}, {"tls1.2", "TLSv1.2", true}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.version);
        ScriptedTlsPeer p(k.option);
        ASSERT_TRUE(p.ftp.Connect()) << p.ftp.ErrorMessage();
        EXPECT_EQ(p.ftp.CtrlSocket()->SslVersion(), k.version);
        EXPECT_TRUE(p.ftp.Auth()) << p.ftp.ErrorMessage();
        EXPECT_EQ(p.ftp.StatusCode(), 234);
        EXPECT_FALSE(p.ftp.RenegotiatePending);
        EXPECT_EQ(p.showed("! Re-negotiate SSL"), k.renegotiates);
        EXPECT_TRUE(p.ftp.Pwd()) << p.ftp.ErrorMessage();
        EXPECT_EQ(p.ftp.DirResult, "/tls");
        p.ftp.Quit();
        const std::string seen = p.seen();
        EXPECT_NE(seen.find("T: AUTH TLS\nT: PWD\n"), std::string::npos) << seen;
        EXPECT_EQ(seen.find("R: 1\n") != std::string::npos, k.renegotiates) << seen;
    }
}

TEST(FtpPeers, BusyPortRangeIsReported) {
    Peer p("FTP_PLAIN");
    DataListener busy;
    p.ftp.SetPassive(false);
    p.ftp.SetDataPortRangeStart(busy.port);
    p.ftp.SetDataPortRangeEnd(busy.port);
    p.ftp.HostFileName = "x";
    p.ftp.LocalFileName = tempDir() + "/ftp_busy";
    EXPECT_FALSE(p.ftp.Get());
    EXPECT_EQ(p.ftp.ErrorMessage(), "All ports in DataPortRange are in use");
}

}  // namespace

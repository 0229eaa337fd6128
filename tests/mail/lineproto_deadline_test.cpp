#include <gtest/gtest.h>

#include <sys/socket.h>

#include <chrono>
#include <string>
#include <thread>

#include "mail/ftpcli.h"
#include "mail/pop3prot.h"
#include "tests/support/loopback.h"

// The line engine's limits beside its silence time-out: a server that
// trickles a byte now and then, or sends continuation lines without end,
// is given up with a reason of its own; a slow server that keeps sending
// its answer is not. The limits are scaled down (a time-out of 1 second, 20
// bytes a second) so that the tests take seconds: the trickle stands to
// that rate as one byte every 2 seconds to the default of 2 bytes a second.
using namespace mail;
using testsupport::LoopbackPeer;

namespace {

std::string readLine(int fd) {
    std::string line;
    char c;
    while (::recv(fd, &c, 1, 0) == 1) {
        if (c == '\n') return line;
        if (c != '\r') line += c;
    }
    return "<closed>";
}

// Sends Text a byte at a time, PauseMs apart, for at most LimitMs; false
// once the client has gone.
bool trickle(int fd, const std::string& text, int pauseMs, int limitMs = 30000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (char c : text) {
        if (std::chrono::steady_clock::now() > end) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        if (::send(fd, &c, 1, MSG_NOSIGNAL) != 1) return false;
    }
    return true;
}

void scale(TLineProtoClient& c) {
    c.AnswerLimits.MinBytesPerSec = 20;
    c.AnswerLimits.SlackBytes = 20;
}

// A POP3 server that logs the client in and answers RETR 1 by Answer.
LoopbackPeer pop3Peer(std::function<void(int)> answer) {
    return LoopbackPeer([answer](int fd) {
        testsupport::sendAll(fd, "+OK ready\r\n");
        for (const char* reply : {"+OK\r\n", "+OK in\r\n"}) {
            readLine(fd);
            testsupport::sendAll(fd, reply);
        }
        if (readLine(fd) == "RETR 1") answer(fd);
        readLine(fd);  // until the client goes
    });
}

}  // namespace

TEST(AnswerLimits, Pop3TrickleIsGivenUpAnHonestSlowServerIsNot) {
    const std::string line(98, 'x');
    const std::string honest = "Subject: slow\r\n\r\n" + line + "\r\n" + line + "\r\n.\r\n";
    const int64_t size = static_cast<int64_t>(honest.size());
    struct Case {
        const char* name;
        std::function<void(int)> answer;
        int64_t listed;  // the size LIST gave (0: none)
        bool ok;
        std::string why;
    };
    const Case cases[] = {
        // "+OK", "Subject: ", then a byte now and then, never a line end:
        // below the average rate.
        {"trickle",
         [](int fd) {
             testsupport::sendAll(fd, "+OK\r\nSubject: ");
             trickle(fd, std::string(1000, 'z'), 200, 15000);
         },
         0, false, "426 Too slow: "},
        // A byte every 10 ms, in lines of 100 bytes: slow but always sending,
        // longer than a reply without a size may take.
        {"honest, size listed", [honest](int fd) { testsupport::sendAll(fd, "+OK\r\n"), trickle(fd, honest, 10); },
         size, true, ""},
        {"honest, size in the +OK line",
         [honest, size](int fd) {
             testsupport::sendAll(fd, "+OK " + std::to_string(size) + " octets\r\n");
             trickle(fd, honest, 10);
         },
         0, true, ""},
        // Fast enough, but going on far beyond the size LIST gave.
        {"endless",
         [line](int fd) {
             testsupport::sendAll(fd, "+OK\r\nSubject: long\r\n\r\n");
             for (int i = 0; i < 15; ++i) trickle(fd, line + "\r\n", 10);
         },
         100, false, "426 Too slow: the answer did not end within"},
    };
    for (const Case& c : cases) {
        auto peer = pop3Peer(c.answer);
        TSyncPop3Cli pop;
        pop.Host = "127.0.0.1";
        pop.Port = peer.portText();
        pop.UserName = "u";
        pop.PassWord = "p";
        pop.Timeout = 1;
        scale(pop);
        std::string subject;
        pop.OnHeaderEnd = [&](rtl::TObject*) { subject = pop.HdrSubject(); };
        ASSERT_TRUE(pop.ConnectSync() && pop.UserSync() && pop.PassSync()) << c.name;
        pop.MsgNum = 1;
        pop.ExpectedSize = c.listed;
        EXPECT_EQ(pop.RetrSync(), c.ok) << c.name << ": " << pop.ErrorMessage();
        if (c.ok) {
            EXPECT_EQ(subject, "slow") << c.name;
            continue;
        }
        EXPECT_EQ(pop.ErrorMessage().rfind(c.why, 0), 0u) << c.name << ": " << pop.ErrorMessage();
        EXPECT_EQ(pop.StatusCode(), POP3_TIMEOUT);
        EXPECT_FALSE(pop.Connected());
    }
}

// FTP on the same engine: a blocking call whose reply goes on in "150-"
// continuation lines ends, whether the lines come fast (the cap on lines)
// or steadily (the answer's deadline).
TEST(AnswerLimits, FtpEndlessContinuationLinesEndTheCall) {
    struct Case {
        const char* name;
        int pauseMs;  // between lines
        std::string why;
    };
    const Case cases[] = {
        {"fast", 0, "More than 10000 lines in one answer"},
        {"steady", 50, "426 Too slow: the answer did not end within"},
    };
    for (const Case& c : cases) {
        LoopbackPeer peer([&c](int fd) {
            testsupport::sendAll(fd, "220 ready\r\n");
            readLine(fd);  // PWD
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (std::chrono::steady_clock::now() < end) {
                if (::send(fd, "150-still working\r\n", 19, MSG_NOSIGNAL) != 19) return;
                if (c.pauseMs) std::this_thread::sleep_for(std::chrono::milliseconds(c.pauseMs));
            }
        });
        TFtpClient ftp;
        ftp.HostName = "127.0.0.1";
        ftp.Port = peer.portText();
        ftp.Timeout = 1;
        scale(ftp);
        ASSERT_TRUE(ftp.Open()) << c.name << ": " << ftp.ErrorMessage();
        EXPECT_FALSE(ftp.Pwd()) << c.name;
        EXPECT_NE(ftp.ErrorMessage().find(c.why), std::string::npos) << c.name << ": " << ftp.ErrorMessage();
        EXPECT_FALSE(ftp.Connected()) << c.name;
    }
}

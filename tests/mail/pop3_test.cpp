#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "mail/pop3prot.h"
#include "platform/win/pump.h"
#include "tests/support/loopback.h"

using namespace mail;
using testsupport::LoopbackPeer;

namespace {

// A POP3 server that follows a script: it sends the banner, then for each
// step reads one command line and answers. What the client sent is kept.
struct Step {
    std::string reply;     // sent after the command is read; may hold several lines
    int delayMs = 0;       // before the reply
};

class ScriptedServer {
public:
    ScriptedServer(std::string banner, std::vector<Step> steps, bool closeAtEnd = true)
        : peer_([this, banner, steps, closeAtEnd](int fd) { run(fd, banner, steps, closeAtEnd); }) {}
    uint16_t port() const { return peer_.port(); }
    std::vector<std::string> commands() {
        peer_.join();
        return commands_;
    }
    std::atomic<bool> release{false};

private:
    static std::string readLine(int fd) {
        std::string line;
        char c;
        while (::recv(fd, &c, 1, 0) == 1) {
            if (c == '\n') return line.empty() || line.back() != '\r' ? line : line.substr(0, line.size() - 1);
            line += c;
        }
        return "<closed>";
    }
    void run(int fd, const std::string& banner, const std::vector<Step>& steps, bool closeAtEnd) {
        if (!banner.empty()) testsupport::sendAll(fd, banner);
        for (const auto& s : steps) {
            const std::string cmd = readLine(fd);
            commands_.push_back(cmd);
            if (cmd == "<closed>") return;
            if (s.delayMs) std::this_thread::sleep_for(std::chrono::milliseconds(s.delayMs));
            testsupport::sendAll(fd, s.reply);
        }
        if (!closeAtEnd) {
            const std::string more = readLine(fd);
            if (more != "<closed>") commands_.push_back(more);
        }
    }
    std::vector<std::string> commands_;
    LoopbackPeer peer_;
};

const std::string kBanner = "+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>\r\n";

struct Client {
    TSyncPop3Cli pop;
    std::vector<std::string> messageLines;
    std::vector<std::pair<TPop3Request, int>> done;
    explicit Client(uint16_t port) {
        pop.Host = "127.0.0.1";
        pop.Port = std::to_string(port);
        pop.UserName = "mrose";
        pop.PassWord = "tanstaaf";
        pop.OnMessageLine = [this](rtl::TObject*) { messageLines.push_back(pop.LastResponse()); };
        pop.OnRequestDone = [this](rtl::TObject*, TPop3Request r, uint16_t e) { done.emplace_back(r, e); };
    }
    // Connects and logs in with USER and PASS; the script must answer both.
    bool login() { return pop.ConnectSync() && pop.UserSync() && pop.PassSync(); }
};

}  // namespace

TEST(Pop3Replies, NumberAndIdReading) {
    struct Case {
        const char* line;
        bool ok;
        int64_t a, b;
    };
    const Case cases[] = {
        {"+OK 2 320", true, 2, 320},
        {"1 5000000000", true, 1, 5000000000LL},  // sizes past 32 bits
        {"+OK\t7\r\n 9", true, 7, 9},
        {"+OK 12", false, 0, 0},
        {"+OK", false, 0, 0},
        {"9223372036854775807 1", true, INT64_MAX, 1},
        {"+OK 1 9223372036854775808", false, 0, 0},  // one past 63 bits
        {"+OK 1 12345678901234567890123", false, 0, 0},
        {"+OK x 2 320", false, 0, 0},  // garbage where the count must be
        {"From: 3 abc", false, 0, 0},
    };
    for (const auto& c : cases) {
        int64_t a = -1, b = -1;
        EXPECT_EQ(Pop3ExtractNumbers(c.line, a, b), c.ok) << c.line;
        EXPECT_EQ(a, c.a) << c.line;
        EXPECT_EQ(b, c.b) << c.line;
    }
    int n;
    std::string id;
    EXPECT_TRUE(Pop3ExtractUidl("+OK 3  QhdPYR:00WBw1Ph7x7 trailing", n, id));
    EXPECT_EQ(n, 3);
    EXPECT_EQ(id, "QhdPYR:00WBw1Ph7x7");
    EXPECT_FALSE(Pop3ExtractUidl("+OK none", n, id));
    EXPECT_FALSE(Pop3ExtractUidl("+OK 2147483648 id", n, id));
    EXPECT_FALSE(Pop3ExtractUidl("From: 3 abc", n, id));
    // The example of the POP3 standard.
    EXPECT_EQ(Pop3ApopDigest("<1896.697170952@dbc.mtview.ca.us>", "tanstaaf"), "c4c9334bac560ecc979e58001b3e22fb");
}

TEST(Pop3Scripted, LogInWithApopAndReadAMessage) {
    ScriptedServer srv(kBanner, {
        {"+OK maildrop has 2 messages\r\n"},
        {"+OK 2 320\r\n"},
        {"+OK top follows\r\n"
         "Return-Path: <a@b>\r\n"
         "FROM: Alice <a@b>\r\n"
         "X-From: not captured\r\n"
         "Subject: first part\r\n"
         "\tsecond part\r\n"
         "Subject:no blank\r\n"
         "Cc: one@x\r\n"
         "Cc: two@x\r\n"
         "Date: Thu, 10 Dec 2026 12:00:00 +0000\r\n"
         "\r\n"
         "From: a body line, not a header\r\n"
         "..dot stuffed\r\n"
         ".single dot kept\r\n"
         "\r\n"
         ".\r\n"},
        {"+OK bye\r\n"},
    });
    Client c(srv.port());
    ASSERT_TRUE(c.pop.ConnectSync()) << c.pop.ErrorMessage();
    EXPECT_TRUE(c.pop.IsServerAPOP());
    ASSERT_TRUE(c.pop.APopSync()) << c.pop.ErrorMessage();
    EXPECT_EQ(c.pop.ProtocolState(), pop3Transaction);
    ASSERT_TRUE(c.pop.StatSync());
    EXPECT_EQ(c.pop.MsgCount(), 2);
    EXPECT_EQ(c.pop.MsgSize(), 320);
    c.pop.MsgNum = 1;
    c.pop.MsgLines = 40;
    ASSERT_TRUE(c.pop.TopSync());
    EXPECT_EQ(c.pop.HdrFrom(), "Alice <a@b>");
    EXPECT_EQ(c.pop.HdrSubject(), "no blank");
    EXPECT_EQ(c.pop.HdrCc(), "one@x, two@x");
    EXPECT_EQ(c.pop.HdrReturnPath(), "<a@b>");
    EXPECT_EQ(c.pop.HdrDate(), "Thu, 10 Dec 2026 12:00:00 +0000");
    ASSERT_EQ(c.messageLines.size(), 14u);
    EXPECT_EQ(c.messageLines[10], "From: a body line, not a header");
    EXPECT_EQ(c.messageLines[11], ".dot stuffed");
    EXPECT_EQ(c.messageLines[12], ".single dot kept");
    ASSERT_TRUE(c.pop.QuitSync());
    EXPECT_EQ(srv.commands(), (std::vector<std::string>{"APOP mrose c4c9334bac560ecc979e58001b3e22fb", "STAT",
                                                        "TOP 1 40", "QUIT"}));
    win::PumpUntil([&] { return c.done.size() >= 5; }, 2000);
    EXPECT_EQ(c.done.back(), std::make_pair(pop3Quit, 0)) << "QUIT ends when the server closes, with 0";
}

TEST(Pop3Scripted, ContinuationLineJoinsTheSubject) {
    ScriptedServer srv("+OK hi\r\n", {{"+OK\r\n"}, {"+OK\r\n"},
                                      {"+OK\r\nSubject: first part\r\n\tsecond part\r\n\r\nbody\r\n.\r\n"}});
    Client c(srv.port());
    ASSERT_TRUE(c.login());
    c.pop.MsgNum = 1;
    ASSERT_TRUE(c.pop.TopSync());
    EXPECT_EQ(c.pop.HdrSubject(), "first part second part");
}

// Lines longer than any read are neither cut nor split: a piece of a long
// line that would read as "." or ".." must not end or change the answer.
TEST(Pop3Scripted, LongLinesArriveWhole) {
    const std::string longHeader = "X-Long: " + std::string(100000, 'h');
    const std::string dotTrap = std::string(4093, 'a') + ".";  // the piece after 4093 bytes would be "."
    ScriptedServer srv("+OK hi\r\n", {{"+OK\r\n"}, {"+OK\r\n"},
                                      {"+OK\r\n" + longHeader + "\r\nSubject: s\r\n\r\n" + dotTrap + "\r\n..x\r\n.\r\n"}});
    Client c(srv.port());
    ASSERT_TRUE(c.login());
    c.pop.MsgNum = 1;
    ASSERT_TRUE(c.pop.RetrSync());
    ASSERT_EQ(c.messageLines.size(), 5u);
    EXPECT_EQ(c.messageLines[0], longHeader);
    EXPECT_EQ(c.messageLines[3], dotTrap);
    EXPECT_EQ(c.messageLines[4], ".x");
    EXPECT_EQ(c.pop.HdrSubject(), "s");
}

TEST(Pop3Scripted, NulAndBareLineFeedsKeepTheirBytes) {
    const std::string withNul = std::string("a\0b", 3);
    ScriptedServer srv("+OK hi\r\n", {{"+OK\r\n"}, {"+OK\r\n"},
                                      {"+OK\r\n" + withNul + "\r\n\nbare\n.\r\n"}});
    Client c(srv.port());
    ASSERT_TRUE(c.login());
    c.pop.MsgNum = 1;
    ASSERT_TRUE(c.pop.RetrSync());
    EXPECT_EQ(c.messageLines, (std::vector<std::string>{withNul, "", "bare"}));
}

TEST(Pop3Scripted, ErrorsAndRefusals) {
    ScriptedServer srv("+OK no stamp here\r\n", {{"-ERR no such user\r\n"}}, false);
    Client c(srv.port());
    // Nothing is sent before the connection exists.
    EXPECT_FALSE(c.pop.UserSync());
    EXPECT_EQ(c.pop.ErrorMessage(), "");
    ASSERT_TRUE(c.pop.ConnectSync());
    EXPECT_FALSE(c.pop.IsServerAPOP());
    EXPECT_FALSE(c.pop.APopSync());
    EXPECT_EQ(c.pop.ErrorMessage(), "-ERR Server does not support APOP (no timestamp)");
    EXPECT_FALSE(c.pop.UserSync());
    EXPECT_EQ(c.pop.StatusCode(), 500);
    EXPECT_EQ(c.pop.LastResponse(), "-ERR no such user");
    EXPECT_EQ(c.pop.ErrorMessage(), "-ERR Server does not support APOP (no timestamp)") << "the first error stays";
    EXPECT_FALSE(c.pop.StatSync());
    EXPECT_EQ(c.pop.ErrorMessage(), "-ERR STAT command invalid now");
    c.pop.MsgLines = -1;
    EXPECT_FALSE(c.pop.TopSync());
    c.pop.PassWord = "  spaced  ";
    c.pop.Pass();
    EXPECT_EQ(srv.commands(), (std::vector<std::string>{"USER mrose", "PASS   spaced  "}))
        << "the password goes as typed";
    c.pop.Abort();
}

TEST(Pop3Scripted, BadBannerFailsTheConnect) {
    ScriptedServer srv("-ERR go away\r\n", {});
    Client c(srv.port());
    EXPECT_FALSE(c.pop.ConnectSync());
    EXPECT_EQ(c.pop.RequestResult(), 500);
    EXPECT_EQ(c.pop.ErrorMessage(), "-ERR go away");
    ASSERT_TRUE(win::PumpUntil([&] { return !c.done.empty(); }, 2000));
    EXPECT_EQ(c.done[0], std::make_pair(pop3Connect, 10004));
}

TEST(Pop3Scripted, DroppedConnectionFailsTheRequest) {
    ScriptedServer srv("+OK hi\r\n", {{"+OK\r\n"}, {"+OK\r\n"}, {"+OK\r\nSubject: cut\r\n"}});
    Client c(srv.port());
    ASSERT_TRUE(c.login());
    c.pop.MsgNum = 1;
    EXPECT_FALSE(c.pop.RetrSync()) << "an answer cut off by the close is not a success";
    EXPECT_FALSE(c.pop.Connected());
}

TEST(Pop3Scripted, SilenceTimesOutButSlowLinesDoNot) {
    ScriptedServer srv("+OK hi\r\n",
                       {{"+OK\r\n"}, {"+OK\r\n"}, {"+OK\r\nline 1\r\n", 0}, {"", 0}}, false);
    Client c(srv.port());
    c.pop.Timeout = 1;
    ASSERT_TRUE(c.login());
    c.pop.MsgNum = 1;
    const double cpu0 = testsupport::threadCpuSeconds();
    EXPECT_FALSE(c.pop.RetrSync());
    EXPECT_EQ(c.pop.ErrorMessage(), "426 Timeout");
    EXPECT_EQ(c.pop.StatusCode(), 426);
    EXPECT_EQ(c.pop.State(), pop3Ready);
    EXPECT_LT(testsupport::threadCpuSeconds() - cpu0, 0.1) << "the wait sleeps";
}

// Bytes standing unread when a command is to go out would be read as its
// answer: the command is not sent and the session ends.
TEST(Pop3Scripted, AnswerBeforeTheCommandEndsTheSession) {
    ScriptedServer srv("+OK hi\r\n", {{"+OK\r\n"}, {"+OK\r\n+OK 7 70"}, {"0\r\n"}}, false);
    Client c(srv.port());
    ASSERT_TRUE(c.login());
    EXPECT_FALSE(c.pop.StatSync());
    EXPECT_EQ(c.pop.ErrorMessage(), "-ERR Unexpected data from the server before the command was sent");
    EXPECT_FALSE(c.pop.Connected());
    c.pop.Abort();
    EXPECT_EQ(srv.commands(), (std::vector<std::string>{"USER mrose", "PASS tanstaaf", "<closed>"}));
}

// The time-out bounds silence between bytes, not the time a line or an
// answer takes: lines seconds apart, or one line trickling in byte by byte,
// keep a one-second time-out alive.
TEST(Pop3Scripted, SlowAnswersKeepAShortTimeoutAlive) {
    struct Case {
        std::vector<std::string> pieces;  // sent one after the other, each after the pause
        int pauseMs;
        std::vector<std::string> lines;
    };
    const std::string slowLine = "a slow line\r\n";
    Case cases[] = {
        {std::vector<std::string>(4, "slow line\r\n"), 600, std::vector<std::string>(4, "slow line")},
        {{}, 200, {"a slow line"}},
    };
    for (char b : slowLine) cases[1].pieces.emplace_back(1, b);
    for (const auto& k : cases) {
        LoopbackPeer peer([&](int fd) {
            testsupport::sendAll(fd, "+OK hi\r\n");
            char buf[256];
            for (int i = 0; i < 3; ++i) {  // USER, PASS, RETR
                ::recv(fd, buf, sizeof buf, 0);
                testsupport::sendAll(fd, "+OK\r\n");
            }
            for (const auto& piece : k.pieces) {
                std::this_thread::sleep_for(std::chrono::milliseconds(k.pauseMs));
                if (!testsupport::sendAll(fd, piece)) return;
            }
            testsupport::sendAll(fd, ".\r\n");
            ::recv(fd, buf, sizeof buf, 0);
        });
        Client c(peer.port());
        c.pop.Timeout = 1;
        ASSERT_TRUE(c.login());
        c.pop.MsgNum = 1;
        EXPECT_TRUE(c.pop.RetrSync()) << c.pop.ErrorMessage();
        EXPECT_EQ(c.messageLines, k.lines);
        c.pop.Abort();
    }
}

TEST(Pop3Scripted, OpenStopsAtARefusedUser) {
    ScriptedServer srv("+OK hi\r\n", {{"-ERR unknown\r\n"}}, false);
    Client c(srv.port());
    c.pop.Open();
    ASSERT_TRUE(win::PumpUntil([&] { return !c.done.empty(); }, 5000));
    EXPECT_EQ(c.done[0], std::make_pair(pop3Open, 500));
    c.pop.Abort();
    EXPECT_EQ(srv.commands(), std::vector<std::string>{"USER mrose"}) << "no PASS after a refused USER";
}

TEST(Pop3Scripted, ChainRunsQuitAfterAFailedStep) {
    ScriptedServer srv("+OK hi\r\n", {{"+OK\r\n"}, {"+OK\r\n"}, {"-ERR broken\r\n"}, {"+OK bye\r\n"}});
    Client c(srv.port());
    ASSERT_TRUE(c.pop.ConnectSync());
    c.pop.HighLevelAsync(pop3Custom, Pop3Fct(pop3FctUser) | Pop3Fct(pop3FctPass) | Pop3Fct(pop3FctStat) |
                                         Pop3Fct(pop3FctQuit));
    ASSERT_TRUE(win::PumpUntil([&] { return c.done.size() >= 2; }, 5000));
    EXPECT_EQ(c.done[1], std::make_pair(pop3Custom, 500));
    EXPECT_EQ(srv.commands(), (std::vector<std::string>{"USER mrose", "PASS tanstaaf", "STAT", "QUIT"}));
}

TEST(Pop3Scripted, ListingsFillNumbersAndSizes) {
    ScriptedServer srv("+OK hi\r\n", {{"+OK\r\n"}, {"+OK\r\n"},
                                      {"+OK 2 messages\r\n1 120\r\n2 5000000000\r\n.\r\n"},
                                      {"+OK\r\n1 abc\r\n2 def\r\n.\r\n"},
                                      {"+OK 2 ghi\r\n"}});
    Client c(srv.port());
    std::vector<std::pair<int, int64_t>> sizes;
    std::vector<std::string> ids;
    c.pop.OnListLine = [&](rtl::TObject*) { sizes.emplace_back(c.pop.MsgNum, c.pop.MsgSize()); };
    c.pop.OnUidlLine = [&](rtl::TObject*) { ids.push_back(c.pop.MsgUidl()); };
    ASSERT_TRUE(c.login());
    c.pop.MsgNum = 0;
    ASSERT_TRUE(c.pop.ListSync());
    EXPECT_EQ(sizes, (std::vector<std::pair<int, int64_t>>{{1, 120}, {2, 5000000000LL}}));
    c.pop.MsgNum = 0;
    ASSERT_TRUE(c.pop.UidlSync());
    EXPECT_EQ(ids, (std::vector<std::string>{"abc", "def"}));
    c.pop.MsgNum = 2;
    ASSERT_TRUE(c.pop.UidlSync());
    EXPECT_EQ(c.pop.MsgUidl(), "ghi");
    c.pop.Abort();
    EXPECT_EQ(srv.commands()[2], "LIST");
    EXPECT_EQ(srv.commands()[4], "UIDL 2");
}

// A number from the server that is not one, or does not fit, breaks the
// protocol: the request fails and the session ends.
TEST(Pop3Scripted, NumbersOutOfRangeEndTheSession) {
    const std::pair<const char*, const char*> cases[] = {
        {"+OK 1 12345678901234567890123\r\n", "STAT"},
        {"+OK 2147483648 10\r\n", "STAT"},
        {"+OK\r\n1 120\r\n2 99999999999999999999\r\n.\r\n", "LIST"},
    };
    for (const auto& [reply, word] : cases) {
        ScriptedServer srv("+OK hi\r\n", {{"+OK\r\n"}, {"+OK\r\n"}, {reply}}, false);
        Client c(srv.port());
        ASSERT_TRUE(c.login());
        c.pop.MsgNum = 0;
        EXPECT_FALSE(std::string(word) == "STAT" ? c.pop.StatSync() : c.pop.ListSync()) << reply;
        EXPECT_EQ(c.pop.ErrorMessage().rfind("-ERR Malformed ", 0), 0u) << c.pop.ErrorMessage();
        EXPECT_FALSE(c.pop.Connected()) << reply;
        EXPECT_FALSE(c.pop.NoopSync()) << "nothing more is read from this session";
        EXPECT_EQ(srv.commands(), (std::vector<std::string>{"USER mrose", "PASS tanstaaf", word})) << reply;
    }
}

// Only a message's answer is read for header fields, and only it replaces
// the fields of the last message read.
TEST(Pop3Scripted, HeadersComeOnlyFromMessages) {
    ScriptedServer srv("+OK hi\r\n", {{"+OK\r\n"}, {"+OK\r\n"},
                                      {"+OK\r\nFrom: Alice <a@b>\r\n\r\n.\r\n"},
                                      {"+OK\r\n1 From:evil\r\n2 Subject:evil\r\n.\r\n"}});
    Client c(srv.port());
    std::vector<std::string> ids;
    c.pop.OnUidlLine = [&](rtl::TObject*) { ids.push_back(c.pop.MsgUidl()); };
    ASSERT_TRUE(c.login());
    c.pop.MsgNum = 1;
    ASSERT_TRUE(c.pop.TopSync());
    c.pop.MsgNum = 0;
    ASSERT_TRUE(c.pop.UidlSync());
    EXPECT_EQ(ids, (std::vector<std::string>{"From:evil", "Subject:evil"}));
    EXPECT_EQ(c.pop.HdrFrom(), "Alice <a@b>");
    EXPECT_EQ(c.pop.HdrSubject(), "");
}

// A "." line inside a TOP answer ends it early; what follows is no answer
// to the next TOP. Whether the rest comes with the first answer or behind
// the next command, the second TOP never ends with the first one's lines.
TEST(Pop3Scripted, EarlyEndOfAnAnswerEndsTheSession) {
    const std::string tail = "+OK\r\nSubject: smuggled\r\n\r\n.\r\n";
    const std::string second = "+OK\r\nSubject: two\r\n\r\n.\r\n";
    const std::pair<std::string, std::string> cases[] = {
        {"+OK\r\nSubject: one\r\n.\r\n" + tail, second},
        {"+OK\r\nSubject: one\r\n.\r\n", tail + second},
    };
    for (const auto& [first, next] : cases) {
        ScriptedServer srv("+OK hi\r\n", {{"+OK\r\n"}, {"+OK\r\n"}, {first}, {next}}, false);
        Client c(srv.port());
        ASSERT_TRUE(c.login());
        c.pop.MsgNum = 1;
        c.pop.MsgLines = 0;
        const bool firstOk = c.pop.TopSync();
        const std::string firstError = c.pop.ErrorMessage();
        c.pop.MsgNum = 2;
        EXPECT_FALSE(c.pop.TopSync() && c.pop.HdrSubject() == "smuggled") << "message 2 got message 1's tail";
        EXPECT_FALSE(c.pop.Connected());
        const std::string error = firstOk ? c.pop.ErrorMessage() : firstError;
        EXPECT_EQ(error.rfind("-ERR Unexpected data from the server", 0), 0u) << error;
        c.pop.Abort();
    }
}

// A line break or NUL in an argument would add a command of its own.
TEST(Pop3Scripted, LineBreaksInArgumentsAreRefused) {
    ScriptedServer srv("+OK hi\r\n", {{"+OK\r\n"}}, false);
    Client c(srv.port());
    ASSERT_TRUE(c.pop.ConnectSync());
    const std::string bad[] = {"mrose\r\nDELE 1", "mrose\nDELE 1", "mrose\rDELE 1", std::string("mrose\0x", 7)};
    for (const auto& name : bad) {
        c.pop.UserName = name;
        EXPECT_FALSE(c.pop.UserSync());
        EXPECT_EQ(c.pop.ErrorMessage(), "-ERR Command refused: USER argument holds a line break or NUL byte");
    }
    c.pop.UserName = "mrose";
    ASSERT_TRUE(c.pop.UserSync());
    c.pop.PassWord = "pw\r\nDELE 1";
    EXPECT_FALSE(c.pop.PassSync());
    c.pop.Abort();
    EXPECT_EQ(srv.commands(), std::vector<std::string>{"USER mrose"});
}

// A batch of TOPs: with PIPELINING offered, several go out before the first
// answer is read; each answer reaches its own message, a "-ERR" fails only
// its own, and a line that is no status line ends the session before it can
// move the answers onto other messages. Without PIPELINING, one at a time.
TEST(Pop3Scripted, TopBatchKeepsEachAnswerWithItsMessage) {
    const std::string pipelining = "+OK\r\nTOP\r\nPIPELINING\r\n.\r\n", plain = "+OK\r\nTOP\r\nUIDL\r\n.\r\n";
    auto top = [](int n) { return "+OK\r\nSubject: s" + std::to_string(n) + "\r\n\r\nbody\r\n.\r\n"; };
    struct Case {
        const char* name;
        std::string capa;
        std::vector<std::string> answers;  // to TOP 1, 2, 3
        bool ok;
        int mostAhead;  // TOPs out at once
        std::vector<std::string> seen;
        size_t depth = 16;
    };
    const Case cases[] = {
        {"pipelined", pipelining, {top(1), "-ERR gone\r\n", top(3)}, true, 3, {"1 s1", "2 -ERR gone", "3 s3"}},
        {"window of two", pipelining, {top(1), top(2), top(3)}, true, 2, {"1 s1", "2 s2", "3 s3"}, 2},
        {"one at a time", plain, {top(1), top(2), top(3)}, true, 1, {"1 s1", "2 s2", "3 s3"}},
        {"out of step", pipelining, {"+OK\r\nSubject: s1\r\n.\r\nSubject: stray\r\n\r\n.\r\n", top(2), top(3)}, false, 3,
         {"1 s1"}},
    };
    for (const Case& k : cases) {
        std::vector<Step> steps{{"+OK\r\n"}, {"+OK\r\n"}, {k.capa}};
        for (const std::string& a : k.answers) steps.push_back({a});
        ScriptedServer srv("+OK hi\r\n", steps, false);
        Client c(srv.port());
        std::vector<std::string> seen;
        int ahead = 0, mostAhead = 0;
        c.pop.OnDisplay = [&](rtl::TObject*, const std::string& m) {
            if (m.rfind("> TOP", 0) == 0) mostAhead = std::max(mostAhead, ++ahead);
            if (m.rfind("< ", 0) == 0 && ahead > 0) --ahead;
        };
        c.pop.OnTopAnswer = [&](rtl::TObject*, int no, bool ok) {
            seen.push_back(std::to_string(no) + " " + (ok ? c.pop.HdrSubject() : c.pop.LastResponse()));
        };
        ASSERT_TRUE(c.login()) << k.name;
        ASSERT_TRUE(c.pop.CapaSync()) << k.name;
        c.pop.TopNums = {1, 2, 3};
        c.pop.MsgLines = 5;
        c.pop.PipelineDepth = k.depth;
        EXPECT_EQ(c.pop.TopBatchSync(), k.ok) << k.name << ": " << c.pop.ErrorMessage();
        EXPECT_EQ(seen, k.seen) << k.name;
        EXPECT_EQ(mostAhead, k.mostAhead) << k.name;
        EXPECT_EQ(c.pop.Connected(), k.ok) << k.name;
        if (!k.ok)
            EXPECT_EQ(c.pop.ErrorMessage().rfind("-ERR The answers are out of step", 0), 0u) << c.pop.ErrorMessage();
        c.pop.Abort();
        const auto sent = srv.commands();
        EXPECT_EQ(std::vector<std::string>(sent.begin() + 2, sent.begin() + 6),
                  (std::vector<std::string>{"CAPA", "TOP 1 5", "TOP 2 5", "TOP 3 5"}))
            << k.name;
    }
}

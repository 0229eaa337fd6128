// What the FTP client reads, without sockets: reply lines, 227 and 229
// replies, listing lines cut out of blocks, and TYPE A line ends.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "mail/ftpcli_parse.h"
#include "mail/ftpsrvt.h"
#include "platform/rtl/dateutils.h"
#include "tests/support/plants.h"

using namespace mail;

namespace {

TEST(FtpReplies, ReaderClassifiesEachLine) {
    // One conversation, line by line: what each line is and the code it ends with.
    struct Case {
        const char* line;
        TFtpReplyReader::TKind kind;
        int code;  // for a final line
    } cases[] = {
        {"220 ready", TFtpReplyReader::ReplyFinal, 220},
        {"220", TFtpReplyReader::ReplyFinal, 220},
        {"  331 blanks before the code", TFtpReplyReader::ReplyFinal, 331},
        {"211-Features:", TFtpReplyReader::ReplyText, 0},
        {" SIZE", TFtpReplyReader::ReplyText, 0},
        {"200 another code inside", TFtpReplyReader::ReplyText, 0},
        {"211-still the same reply", TFtpReplyReader::ReplyText, 0},
        {"no code at all", TFtpReplyReader::ReplyText, 0},
        {"211 End", TFtpReplyReader::ReplyFinal, 211},
        {"hello", TFtpReplyReader::ReplyBad, 0},
        {"", TFtpReplyReader::ReplyBad, 0},
        {"22 two digits", TFtpReplyReader::ReplyBad, 0},
        {"2200 four digits", TFtpReplyReader::ReplyBad, 0},
        {"2x0 letter", TFtpReplyReader::ReplyBad, 0},
        {"099 first digit 0", TFtpReplyReader::ReplyBad, 0},
        {"700 first digit 7", TFtpReplyReader::ReplyBad, 0},
        {"226done", TFtpReplyReader::ReplyBad, 0},
        {"631 protected reply", TFtpReplyReader::ReplyFinal, 631},
        {"150 preliminary", TFtpReplyReader::ReplyFinal, 150},
    };
    TFtpReplyReader r;
    for (const auto& c : cases) {
        int code = 0;
        EXPECT_EQ(r.Feed(c.line, code), c.kind) << c.line;
        if (c.kind == TFtpReplyReader::ReplyFinal) EXPECT_EQ(code, c.code) << c.line;
    }
    EXPECT_FALSE(r.InMultiLine());
}

TEST(FtpReplies, PassiveAddresses) {
    struct Case {
        const char* reply;
        bool ok;
        const char* addr;
        int port;
    } cases[] = {
        {"227 Entering Passive Mode (10,0,0,1,19,137)", true, "10.0.0.1", 19 * 256 + 137},
        {"227 Entering Passive Mode ( 127, 0, 0, 1, 4, 1 ).", true, "127.0.0.1", 1025},
        {"227 Entering Passive Mode (127,0,0,1,300,1)", false, "", 0},
        {"227 Entering Passive Mode 127,0,0,1,1,1", false, "", 0},
        {"227 Entering Passive Mode (127,0,0,1,1)", false, "", 0},
        {"227 Entering Passive Mode (127,0,0,1,0,0)", false, "", 0},
        {"227 (1,2,3,4,5,6", false, "", 0},
        {"227 (0001,2,3,4,5,6)", false, "", 0},
        {"227 (-1,2,3,4,5,6)", false, "", 0},
    };
    for (const auto& c : cases) {
        uint8_t a[4] = {};
        uint16_t port = 0;
        ASSERT_EQ(FtpParsePasvReply(c.reply, a, port), c.ok) << c.reply;
        if (!c.ok) continue;
        EXPECT_EQ(std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
                      std::to_string(a[3]),
                  c.addr);
        EXPECT_EQ(port, c.port);
    }
}

TEST(FtpReplies, ExtendedPassivePorts) {
    struct Case {
        const char* reply;
        int port;  // 0: refused
    } cases[] = {
        {"229 Entering Extended Passive Mode (|||24773|)", 24773},
        {"229 Entering Extended Passive Mode (!!!65535!)", 65535},
        {"229 Entering Extended Passive Mode (|||65536|)", 0},
        {"229 Entering Extended Passive Mode (|||0|)", 0},
        {"229 Entering Extended Passive Mode (|||123456|)", 0},
        {"229 Entering Extended Passive Mode (||24773|)", 0},
        {"229 Entering Extended Passive Mode (|||24773!)", 0},
        {"229 Entering Extended Passive Mode (|||24773|", 0},
        {"229 Entering Extended Passive Mode |||24773|", 0},
        {"229 Entering Extended Passive Mode (|1|127.0.0.1|24773|)", 0},
        {"229 (111211)", 0},
        {"229 (", 0},
    };
    for (const auto& c : cases) {
        uint16_t port = 0;
        EXPECT_EQ(FtpParseEpsvReply(c.reply, port), c.port != 0) << c.reply;
        if (c.port) EXPECT_EQ(port, c.port) << c.reply;
    }
}

std::vector<std::string> splitInPieces(const std::string& data, std::mt19937& gen, size_t maxPiece,
                                       TFtpLineSplitter& s) {
    std::vector<std::string> lines;
    auto keep = [&lines](std::string& l) { lines.push_back(l); };
    for (size_t at = 0; at < data.size();) {
        const size_t n = std::min(data.size() - at, 1 + gen() % maxPiece);
        EXPECT_TRUE(s.Feed(data.data() + at, n, keep));
        at += n;
    }
    s.Finish(keep);
    return lines;
}

TEST(FtpListings, LinesAreWholeHoweverTheDataIsCut) {
    const std::string listing = "-rw-r--r-- 1 a b 10 Jan 1 2024 one\r\ndrwx 2 a b 4096 Jan 1 2024 two words\r\n"
                                "\r\nbare LF line\nlast line without an end";
    const std::vector<std::string> want = {"-rw-r--r-- 1 a b 10 Jan 1 2024 one", "drwx 2 a b 4096 Jan 1 2024 two words",
                                           "bare LF line", "last line without an end"};
    std::mt19937 gen(5);
    for (const size_t maxPiece : {1, 2, 3, 7, 64, 4096}) {
        for (int round = 0; round < 20; ++round) {
            TFtpLineSplitter s;
            EXPECT_EQ(splitInPieces(listing, gen, maxPiece, s), want) << maxPiece;
        }
    }
}

TEST(FtpListings, AnEndlessLineIsDamage) {
    TFtpLineSplitter s(100);
    std::vector<std::string> lines;
    auto keep = [&lines](std::string& l) { lines.push_back(l); };
    EXPECT_TRUE(s.Feed("short\n", 6, keep));
    const std::string endless(60, 'x');
    EXPECT_TRUE(s.Feed(endless.data(), endless.size(), keep));
    EXPECT_FALSE(s.Feed(endless.data(), endless.size(), keep));
    EXPECT_FALSE(s.Feed("\n", 1, keep));
    s.Finish(keep);
    EXPECT_EQ(lines, std::vector<std::string>{"short"});
}

TEST(FtpAscii, LineEndsBothWays) {
    struct Case {
        std::string local, wire;
    } cases[] = {
        {"a\nb\n", "a\r\nb\r\n"},
        {"a\r\nb", "a\r\r\nb"},  // a local CR LF comes back as it was
        {"lone\rcr", "lone\rcr"},
        {"\n\n", "\r\n\r\n"},
        {"end\r", "end\r"},
        {"", ""},
    };
    std::mt19937 gen(9);
    for (const auto& c : cases) {
        std::string wire;
        FtpAsciiEncode(c.local.data(), c.local.size(), wire);
        EXPECT_EQ(wire, c.wire);
        // Back, cut anywhere (a CR at the end of one block, its LF in the next).
        for (int round = 0; round < 10; ++round) {
            TFtpAsciiDecoder d;
            std::string local;
            for (size_t at = 0; at < wire.size();) {
                const size_t n = std::min(wire.size() - at, size_t{1} + gen() % 3);
                d.Feed(wire.data() + at, n, local);
                at += n;
            }
            d.Finish(local);
            EXPECT_EQ(local, c.local) << c.wire;
        }
    }
}



// Setting a file's time opens it for writing: a link or a pipe at the name
// is refused at once and left as it was.
TEST(FtpFileTimes, NeverSetThroughPlants) {
    testsupport::TPlantBed bed;
    const auto refused = [](const std::string&, const std::string&) { return std::string("refused"); };
    const auto check = [](bool set) {
        if (!set) throw std::runtime_error("refused");
    };
    testsupport::ExpectNoWritesThroughPlants(
        bed, {{"local time", [&](const std::string& path) { check(UpdateFileAge(path, rtl::EncodeDate(2020, 1, 2))); },
               refused},
              {"UTC", [&](const std::string& path) { check(UpdateUFileAge(path, rtl::EncodeDate(2020, 1, 2))); },
               refused}});
    const std::string file = bed.In("file");
    testsupport::WriteBytes(file, "x");
    ASSERT_TRUE(UpdateUFileAge(file, rtl::EncodeDate(2020, 1, 2) + rtl::EncodeTime(3, 4, 6, 0)));
    EXPECT_EQ(FileUtcStr(file), "20200102030406.000");
}

}  // namespace

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "helpers/kwutil.h"
#include "mailbox/csvexport.h"
#include "mailbox/filters.h"
#include "mailbox/hostentry.h"
#include "mailbox/rowfill.h"
#include "platform/ui/prompter.h"
#include "tests/support/plants.h"

using namespace mailbox;

namespace {

double readDate(std::string_view s) { return helpers::parsedate(s); }

class Retrieval : public ::testing::Test {
protected:
    static void SetUpTestSuite() { helpers::homedir = PWX_DATA_DIR "/"; }
    TRowStore store{readDate, 100};
};

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(HostEntries, PortAndTls) {
    struct Case {
        const char* entry;
        const char* host;
        int port;
        TTlsMode tls;
    };
    const Case cases[] = {
        {"mail.example.org/+587 (work)", "mail.example.org", 587, TTlsMode::Explicit},
        {" pop.example.org / -995", "pop.example.org", 995, TTlsMode::Implicit},
        {"pop.example.org", "pop.example.org", 110, TTlsMode::None},
        {"pop.example.org/pop3s", "pop.example.org", 110, TTlsMode::None},
        {"10.0.0.1/2110 (lab)", "10.0.0.1", 2110, TTlsMode::None},
    };
    for (const auto& c : cases) {
        const THostAddress a = ParseHostEntry(c.entry);
        EXPECT_EQ(a.host, c.host) << c.entry;
        EXPECT_EQ(a.port, c.port) << c.entry;
        EXPECT_EQ(a.tls, c.tls) << c.entry;
    }
}

TEST_F(Retrieval, RowFromATopAnswer) {
    store.SetRowCount(1);
    const std::string answer =
        "From: =?iso-8859-1?Q?J=F6rg?= <j@x>\r\n"
        "Subject: =?utf-8?B?SGVsbG8=?=\r\n"
        "Content-Type: text/plain; charset=\"ISO-8859-1\"\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n"
        "\r\n"
        "Gr=FC=DFe <b>bold</b>&nbsp;and&lt;more&gt;<BR>next";
    TTopHeaders h;
    h.From = "\"=?iso-8859-1?Q?J=F6rg?=\" <j@x>";
    h.Subject = "=?utf-8?B?SGVsbG8=?=";
    h.Date = "Thu, 10 Dec 2026 12:00:00 +0000";
    h.Cc = "a@x, \"B\" <b@x>";
    std::string hdrCharset;
    FillRowFromTop(store, 0, answer, h, "", hdrCharset);
    EXPECT_EQ(store.Text(0, rtCharset), "iso-8859-1");
    EXPECT_EQ(store.Text(0, rtFrom), "J\xC3\xB6rg <j@x>");
    EXPECT_EQ(store.Text(0, rtSubject), "Hello");
    EXPECT_EQ(store.Text(0, rtCc), "a@x, B <b@x>");
    EXPECT_EQ(store.Text(0, rtOrgDate), h.Date);
    const std::string first(store.Text(0, rtFirstlines));
    EXPECT_EQ(first.find("Content-Type"), std::string::npos) << first;
    EXPECT_NE(first.find("Gr\xC3\xBC\xC3\x9F" "e bold and<more>\r\nnext"), std::string::npos) << first;
}

TEST_F(Retrieval, EncipheredSubjectsAreReadBack) {
    const std::string key = "testkey";
    const std::string cipher = helpers::numcipher("Secret plan", key);
    ASSERT_GE(cipher.size(), 10u);
    ASSERT_EQ(cipher.find_first_not_of("0123456789"), std::string::npos);
    store.SetRowCount(2);
    std::string cs;
    TTopHeaders h;
    h.Subject = cipher;
    FillRowFromTop(store, 0, "", h, key, cs);
    EXPECT_EQ(store.Text(0, rtSubject), "Secret plan");
    EXPECT_TRUE(store.Row(0).Enciphered);
    h.Subject = "123456789";  // nine digits are a subject like any other
    FillRowFromTop(store, 1, "", h, key, cs);
    EXPECT_EQ(store.Text(1, rtSubject), "123456789");
    EXPECT_FALSE(store.Row(1).Enciphered);
}

TEST_F(Retrieval, Base64BodyIsDecodedIntoTheFirstLines) {
    store.SetRowCount(1);
    const std::string answer = "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                               "VGhpcyBpcyB0aGUgYm9keSBvZiBhIG1lc3NhZ2Uu\r\n";
    std::string cs;
    FillRowFromTop(store, 0, answer, TTopHeaders{}, "", cs);
    EXPECT_NE(std::string(store.Text(0, rtFirstlines)).find("This is the body of a message."), std::string::npos)
        << store.Text(0, rtFirstlines);
}

TEST_F(Retrieval, SpamAndWhiteLists) {
    rtl::TStringList white, spam;
    white.SetText("#*@mycompany.example\nboss@*\n");
    spam.SetText("*viagra*\nkwre:win\\s+money\n");
    struct Row {
        const char* from;
        const char* to;
        const char* subject;
        const char* first;
        bool marked;  // before the run
        bool notFetched;
    };
    const Row rows[] = {
        {"spammer@x", "me@mycompany.example", "V.I.A.G.R.A", "", false, false},  // white by To
        {"boss@home", "me@y", "cheap viagra", "", false, false},                  // white by From
        {"a@x", "me@y", "You w.i.n, money!", "", false, false},                 // hits once cleaned
        {"a@x", "me@y", "lunch?", "see you", false, false},                      // nothing
        {"a@x", "", "", "", false, false},                                       // nothing to test
        {"", "", "", "", false, true},                                           // TOP failed
        {"a@x", "me@y", "old mark", "", true, false},                            // counted, not tested
    };
    store.SetRowCount(7);
    for (int i = 0; i < 7; ++i) {
        store.SetText(i, rtFrom, rows[i].from);
        store.SetText(i, rtTo, rows[i].to);
        store.SetText(i, rtSubject, rows[i].subject);
        store.SetText(i, rtFirstlines, rows[i].first);
        store.Row(i).DeleteMark = rows[i].marked;
        store.Row(i).NotFetched = rows[i].notFetched;
    }
    TMarkCounts counts;
    for (int i = 0; i < 7; ++i) MarkRow(store, i, white, spam, counts);
    const bool wantWhite[] = {true, true, false, false, false, false, false};
    const bool wantMark[] = {false, false, true, false, true, false, true};
    const char* wantMatched[] = {"*@mycompany.example", "boss@*", "kwre:win\\s+money", "", "/NO SUBJECT/", "", ""};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(store.Row(i).WhiteHit, wantWhite[i]) << i;
        EXPECT_EQ(store.Row(i).DeleteMark, wantMark[i]) << i;
        EXPECT_EQ(store.Text(i, rtMatched), wantMatched[i]) << i;
    }
    EXPECT_EQ(counts.white, 2);
    EXPECT_EQ(counts.spam, 3);
}

// A link or a pipe planted at the CSV file's name: the export refuses it
// and says why; nothing is written through it, nothing is left beside it,
// nothing waits on the pipe. A CSV written whole replaces the old one only
// then, under a name of its own beside it.
TEST_F(Retrieval, CsvExportNeverWritesThroughPlants) {
    store.SetRowCount(1);
    store.Row(0).MessageNo = 1;
    testsupport::TPlantBed bed;
    ui::TScriptedPrompter prompter;
    testsupport::ExpectNoWritesThroughPlants(
        bed,
        {{"export",
          [&](const std::string& path) {
              prompter.QueueResult(ui::mrOk);
              const size_t before = prompter.prompts.size();
              const bool ok = ExportCsv(store, path, nullptr);
              if (prompter.prompts.size() != before + (ok ? 0 : 1)) throw std::logic_error("told wrongly");
              if (!ok) throw std::runtime_error(prompter.prompts.back().text);
          },
          [](const std::string& path, const std::string& reason) { return "Could not create " + path + ": " + reason; }}},
        "Pelliwox.csv");
    // The old name of the file in the making is no hazard either.
    bed.Clear();
    ::symlink(bed.Out("made").c_str(), bed.In("Pelliwox.csv.part").c_str());
    ASSERT_TRUE(ExportCsv(store, bed.In("Pelliwox.csv"), nullptr));
    EXPECT_EQ(slurp(bed.In("Pelliwox.csv")), std::string(kCsvHeader) + "\r\n1,,,,,,0,,,,\r\n");
    EXPECT_EQ(testsupport::ModeOf(bed.In("Pelliwox.csv")), 0600u);
    EXPECT_FALSE(std::filesystem::exists(bed.Out("made")));
}

TEST_F(Retrieval, CsvExport) {
    store.SetRowCount(3);
    store.Row(0).MessageNo = 7;
    store.Row(0).Size = 1234;
    store.SetText(0, rtSubject, "a, b");
    store.SetText(0, rtFrom, "say \"hi\"");
    store.SetText(0, rtFirstlines, "one\r\ntwo");
    store.SetText(0, rtOrgDate, "10 Dec 2026");
    store.Row(1).MessageNo = 8;
    store.SetText(1, rtSubject, "lone\rcr");
    store.SetText(1, rtOrgDate, "Thu, 10 Dec 2026 12:30:00 +0000");
    store.Row(2).MessageNo = 9;
    char dir[] = "/tmp/pwx-csvXXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    const std::string path = std::string(dir) + "/Pelliwox.csv";
    int progressCalls = 0;
    ASSERT_TRUE(ExportCsv(store, path, [&](int) { ++progressCalls; }));
    const std::string date = helpers::datetimestr(rtl::EncodeDate(2026, 12, 10));
    const std::string dateTime = helpers::datetimestr(rtl::EncodeDate(2026, 12, 10) + rtl::EncodeTime(12, 30, 0, 0));
    EXPECT_EQ(slurp(path), std::string(kCsvHeader) + "\r\n" +
                               "7,say 'hi',,\"a, b\",10 Dec 2026," + date + ",1234,\"one\ntwo\",,,\r\n" +
                               "8,,,\"lone\rcr\",\"Thu, 10 Dec 2026 12:30:00 +0000\"," + dateTime + ",0,,,,\r\n" +
                               "9,,,,,,0,,,,\r\n");  // no date: no DateTime
    EXPECT_EQ(progressCalls, 1);

    // Many rows: written in chunks, every row once, in list order.
    TRowStore many(readDate, 10000);
    many.SetRowCount(10000);
    for (int i = 0; i < 10000; ++i) {
        many.Row(i).MessageNo = i + 1;
        many.SetText(i, rtSubject, std::string(100, 'x'));
    }
    ASSERT_TRUE(ExportCsv(many, path, nullptr));
    const std::string text = slurp(path);
    size_t lines = 0, at = 0;
    while ((at = text.find("\r\n", at)) != std::string::npos) ++lines, at += 2;
    EXPECT_EQ(lines, 10001u);
    EXPECT_NE(text.find("\r\n10000,"), std::string::npos);
    std::remove(path.c_str());
    rmdir(dir);
}

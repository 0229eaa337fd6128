// A row from a TOP answer as real servers send it: the first-lines column
// shows the message's text, never its headers.
#include <gtest/gtest.h>

#include "helpers/kwutil.h"
#include "mailbox/csvexport.h"
#include "mailbox/rowfill.h"

using namespace mailbox;

namespace {

double readDate(std::string_view s) { return helpers::parsedate(s); }

// A TOP answer as the client hands it over: its lines joined by CR LF.
std::string crlf(std::string_view lines) {
    std::string out;
    for (char c : lines) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

class RowFill : public ::testing::Test {
protected:
    static void SetUpTestSuite() { helpers::homedir = PWX_DATA_DIR "/"; }
    TRowStore store{readDate, 4};
    std::string hdrCharset;
    void fill(std::string_view answer, TTopHeaders h = {}) {
        store.SetRowCount(1);
        FillRowFromTop(store, 0, answer, h, "", hdrCharset);
    }
};

}  // namespace

TEST_F(RowFill, FirstLinesAreTheMessagesText) {
    struct Case {
        const char* name;
        const char* answer;
        const char* want;
    };
    const Case cases[] = {
        {"multipart/alternative, quoted-printable text part before the HTML one",
         "Return-Path: <news@shop.example>\n"
         "Received: from mx.shop.example by mail.example.org; Thu, 10 Dec 2026 12:00:00 +0000\n"
         "From: \"Shop\" <news@shop.example>\n"
         "To: me@example.org\n"
         "Subject: Weekly offers\n"
         "Date: Thu, 10 Dec 2026 12:00:00 +0000\n"
         "MIME-Version: 1.0\n"
         "Content-Type: multipart/alternative; boundary=\"===============7330845974216740156==\"\n"
         "\n"
         "--===============7330845974216740156==\n"
         "Content-Type: text/plain; charset=\"utf-8\"\n"
         "MIME-Version: 1.0\n"
         "Content-Transfer-Encoding: quoted-printable\n"
         "\n"
         "Caf=C3=A9 offers this week:\n"
         "all prices halved.\n"
         "\n"
         "--===============7330845974216740156==\n"
         "Content-Type: text/html; charset=\"utf-8\"\n"
         "Content-Transfer-Encoding: quoted-printable\n"
         "\n"
         "<html><body><p>Caf=C3=A9 offers</p></body></html>\n"
         "--===============7330845974216740156==--\n",
         "Caf\xC3\xA9 offers this week:\r\nall prices halved."},
        {"single part whose Content-Type comes before the other headers",
         "Content-Type: text/plain; charset=us-ascii\n"
         "MIME-Version: 1.0\n"
         "Content-Transfer-Encoding: 7bit\n"
         "From: Alice <alice@example.org>\n"
         "Subject: Lunch\n"
         "Date: Thu, 10 Dec 2026 12:00:00 +0000\n"
         "\n"
         "Shall we meet at noon?\n"
         "Bring the report.\n",
         "Shall we meet at noon?\r\nBring the report."},
        {"multipart/mixed, Base64 text part, then an attachment",
         "From: J\xC3\xB6rg <j@example.de>\n"
         "Subject: Gruss\n"
         "MIME-Version: 1.0\n"
         "Content-Type: multipart/mixed; boundary=\"b1\"\n"
         "\n"
         "This is a multi-part message in MIME format.\n"
         "--b1\n"
         "Content-Type: text/plain;\n"
         "\tcharset=\"utf-8\"\n"
         "Content-Transfer-Encoding: base64\n"
         "\n"
         "R3LDvMOfZSBhdXMgS8O2bG4uCkJpcyBiYWxkLApKw7ZyZwo=\n"
         "\n"
         "--b1\n"
         "Content-Type: application/pdf; name=\"a.pdf\"\n"
         "Content-Transfer-Encoding: base64\n"
         "\n"
         "JVBERi0xLjQgYmluYXJ5IAABAiBzdHVmZiB0aGF0IGlzIGxvbmcgZW5vdWdoIHRvIHdyYXAgb3Zl\n",
         "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln.\nBis bald,\nJ\xC3\xB6rg"},
        {"single part, quoted-printable in ISO-8859-1 with a soft line break",
         "From: b@example.org\n"
         "Subject: Hallo\n"
         "MIME-Version: 1.0\n"
         "Content-Type: text/plain; charset=iso-8859-1\n"
         "Content-Transfer-Encoding: quoted-printable\n"
         "\n"
         "J=F6rg says hello; this line is long and gets a soft=\n"
         " break.\n",
         "J\xC3\xB6rg says hello; this line is long and gets a soft break."},
        {"no Content-Type at all",
         "From: bob@example.org\n"
         "To: me@example.org\n"
         "Subject: hi\n"
         "\n"
         "Just a line.\n",
         "Just a line."},
        {"HTML only",
         "From: bob@example.org\n"
         "Content-Type: text/html; charset=utf-8\n"
         "\n"
         "<p>Hello <b>you</b></p>\n",
         "Hello you"},
        {"text/plain without parameters inside multipart/alternative",
         "From: c@example.org\n"
         "Content-Type: multipart/alternative; boundary=zz\n"
         "\n"
         "--zz\n"
         "Content-Type: text/plain\n"
         "\n"
         "Plain words.\n"
         "--zz\n"
         "Content-Type: text/html\n"
         "\n"
         "<p>Html words</p>\n"
         "--zz--\n",
         "Plain words."},
        {"a header that never ends", "From: x@example.org\nSubject: cut short\n", ""},
    };
    for (const Case& c : cases) {
        fill(crlf(c.answer));
        EXPECT_EQ(store.Text(0, rtFirstlines), c.want) << c.name;
    }
}

TEST_F(RowFill, HeaderTextsCarryNoNulAndKeepAStrayWordStart) {
    TTopHeaders h;
    h.Subject = "=?utf-8?B?YQBi?= costs =? less";  // "a\0b"
    h.From = "=?utf-8?B?QQBC?= <a@example.org>";  // "A\0B"
    fill(crlf("Subject: x\nContent-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: base64\n\n"
              "AAECAwBIZWxsbyB0aGVyZQAAAAAAAAAAAAAAAA==\n"),
         h);
    EXPECT_EQ(store.Text(0, rtSubject), "ab costs =? less");
    EXPECT_EQ(store.Text(0, rtFrom), "AB <a@example.org>");
    EXPECT_EQ(store.Text(0, rtFirstlines).find('\0'), std::string_view::npos);
    EXPECT_EQ(CsvLine(store, 0).find('\0'), std::string::npos);
}

// Digits alone are deciphered only when that gives text; otherwise they are
// a subject like any other (an order number, a code).
TEST_F(RowFill, DigitSubjectsDecipherOnlyIntoText) {
    const std::string key = "testkey";
    const std::string cipher = helpers::numcipher("Secret plan", key);
    ASSERT_EQ(cipher.find_first_not_of("0123456789"), std::string::npos);
    struct Case {
        std::string subject;
        std::string want;
        bool enciphered;
    };
    const Case cases[] = {
        {cipher, "Secret plan", true},
        {"1234567890", "1234567890", false},
        {"123456789", "123456789", false},
    };
    for (const Case& c : cases) {
        TTopHeaders h;
        h.Subject = c.subject;
        store.SetRowCount(1);
        store.Row(0) = TMsgRow{};
        FillRowFromTop(store, 0, "", h, key, hdrCharset);
        EXPECT_EQ(store.Text(0, rtSubject), c.want) << c.subject;
        EXPECT_EQ(store.Row(0).Enciphered, c.enciphered) << c.subject;
    }
    EXPECT_FALSE(IsPrintableText(std::string("ok\x01", 3)));
    EXPECT_FALSE(IsPrintableText("\xC2\x85"));  // NEL, a C1 control
    EXPECT_FALSE(IsPrintableText("caf\xE9"));
    EXPECT_TRUE(IsPrintableText("caf\xC3\xA9 \xE2\x82\xAC"));
}

// A Date header that names no real date gives no DateTime in the CSV file.
TEST_F(RowFill, ImpossibleDatesExportNoDateTime) {
    TTopHeaders h;
    for (const char* date : {"32 Foo 2024 25:61:00", "10 Foo 2024 10:00:00", "2024"}) {
        h.Date = date;
        fill("", h);
        EXPECT_EQ(CsvDateTime(store.Row(0)), "") << date;
        EXPECT_EQ(store.Text(0, rtOrgDate), date);
    }
    h.Date = "Thu, 10 Dec 2026 12:30:00 +0000";
    fill("", h);
    EXPECT_NE(CsvDateTime(store.Row(0)), "");
}

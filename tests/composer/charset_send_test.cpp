// A message sent in Shift_JIS to aiosmtpd (PWX_PEER_STATE) through the
// program's send routine, read back by Python's email package: the HTML
// part goes out in the chosen set, and its page declares that set, although
// the page typed after the choice declared utf-8.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <set>

#include "composer/charsets.h"
#include "composer/mlsend.h"
#include "helpers/kwutil.h"
#include "platform/ui/dialogs.h"
#include "tests/composer/peer_inbox.h"
#include "tests/support/program_windows.h"

using namespace composer;

namespace {

std::string folder;

struct TFolderGone {
    ~TFolderGone() {
        if (!folder.empty()) std::filesystem::remove_all(folder);
    }
} folderGone;

TEST(CharsetSend, ShiftJisPageDeclaresShiftJis) {
    folder = testsupport::NewProgramFolder("composer-charset");
    testsupport::StartProgramWindows(folder);
    ASSERT_NE(mlsend, nullptr);
    const std::string port = peerinbox::StateFile("PWX_PEER_STATE", "plain.port");
    ASSERT_FALSE(port.empty()) << "the aiosmtpd fixture did not start";
    const std::string inbox = std::string(std::getenv("PWX_PEER_STATE")) + "/inbox/";
    const std::set<std::string> before = peerinbox::Files(inbox);

    ui::TScriptedDialogs dialogs;
    Tmlsend* m = mlsend;
    m->FormShow(m);
    m->SetAccount("127.0.0.1/" + port, "me@x.test", "", "");
    const std::string subject = "SJIS \xE6\x97\xA5\xE6\x9C\xAC test";
    const std::string text = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\x9C\xAC\xE6\x96\x87";  // 日本語の本文
    m->NewMessage("sjis-reader@x.test", subject, "<HTML><HEAD></HEAD><BODY></BODY></HTML>");
    m->SelectCharset("shift_jis");
    m->chasetChange(m->chaset);
    // The page comes afterwards, pasted from elsewhere, declaring utf-8.
    m->bdy->Text = "<HTML><HEAD><meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\">"
                   "<TITLE>x</TITLE></HEAD><BODY><P>" + text + "</P></BODY></HTML>";
    m->BitBtn5Click(m->BitBtn5);
    EXPECT_EQ(dialogs.unexpected, 0);
    ASSERT_NE(m->sntlog->Text().find("- 250"), std::string::npos) << m->sntlog->Text();

    const std::string eml = peerinbox::NewMessageTo(inbox, before, "sjis-reader@x.test");
    ASSERT_FALSE(eml.empty()) << "aiosmtpd received nothing";
    const std::string report = peerinbox::Run("/usr/bin/python3 " COMPOSER_TEST_DIR "/charset_oracle.py " +
                                              peerinbox::ShellQuoted(eml) + " " + peerinbox::ShellQuoted(text));
    const QJsonObject r = QJsonDocument::fromJson(QByteArray::fromStdString(report)).object();
    ASSERT_FALSE(r.isEmpty()) << report;
    auto str = [&](const char* key) { return r[key].toString().toStdString(); };
    EXPECT_EQ(r["html_parts"].toInt(), 1) << report;
    EXPECT_EQ(str("charset"), "shift_jis") << report;
    EXPECT_EQ(str("declared"), "shift_jis") << "the page declares the set it is sent in: " << report;
    EXPECT_TRUE(r["holds_text"].toBool()) << report;
    EXPECT_EQ(r["replaced"].toInt(), 0) << report;
    EXPECT_EQ(str("subject"), subject) << report;
    EXPECT_TRUE(r["defects"].toArray().isEmpty()) << report;
}

}  // namespace

// A forward of a received message with an inline picture and an attachment,
// sent through the program's own send routine to aiosmtpd (PWX_PEER_STATE);
// Python's email package reads what the server received (sent_oracle.py).
#include <cstdlib>
#include <set>

#include "tests/composer/peer_inbox.h"
#include "tests/composer/reply_fixture.h"

using replytest::ReplyWindow;

namespace {

TEST_F(ReplyWindow, ForwardReachesTheServerWithPictureAndAttachment) {
    const std::string port = peerinbox::StateFile("PWX_PEER_STATE", "plain.port");
    ASSERT_FALSE(port.empty()) << "the aiosmtpd fixture did not start";
    const std::string inbox = std::string(std::getenv("PWX_PEER_STATE")) + "/inbox/";
    const std::set<std::string> before = peerinbox::Files(inbox);

    const std::string chart = savedPart(".png"), report = savedPart(".pdf");
    // The renderer kept the message's bytes.
    ASSERT_EQ(replytest::readFile(chart), replytest::readFile(replytest::kData + "chart.png"));
    ASSERT_EQ(replytest::readFile(report), replytest::readFile(replytest::kData + "report.pdf"));

    f->ReplyToRow(mailbox::TForm1::rmForward);
    m->SetAccount("127.0.0.1/" + port, "me@x.test", "", "");
    m->emto->Text = "forward-reader@x.test";
    // The oracle also reads the priority and receipt headers.
    m->subj->Text = "!" + m->subj->Text();
    m->rdrcptfrom->Checked = true;
    m->rdrcptreplyto->Checked = false;
    m->encrypt->Checked = false;
    m->BitBtn5Click(m->BitBtn5);

    const std::string eml = peerinbox::NewMessageTo(inbox, before, "forward-reader@x.test");
    ASSERT_FALSE(eml.empty()) << "aiosmtpd received nothing: " << m->sntlog->Text();
    const std::string report_ = peerinbox::Run("/usr/bin/python3 " PWX_SOURCE_DIR "/tests/composer/sent_oracle.py " +
                                    peerinbox::ShellQuoted(eml) + " utf-8 " + peerinbox::ShellQuoted("Caf\xC3\xA9 plans for Where:") +
                                    " me@x.test " + peerinbox::ShellQuoted(report) + " -- " + peerinbox::ShellQuoted(chart) + " 2>&1");
    EXPECT_EQ(report_.substr(report_.rfind('\n', report_.size() - 2) + 1), "OK\n") << report_;
}

}  // namespace

// End to end: a message sent by the SMTP client through a real MTA
// (OpenSMTPD, folder PWX_SMTP_MTA_STATE) lands in a private Dovecot (folder
// PWX_SMTP_DOVECOT_STATE, user pwx1) and our POP3 client fetches it back;
// body and attachments must come back byte for byte.
#include <gtest/gtest.h>

#include "mail/pop3prot.h"
#include "mail/smtpprot.h"
#include "tests/mail/smtp_oracle_util.h"
#include "tests/support/pop3_fetchback.h"

using namespace mail;
using namespace smtptest;

namespace {

std::string mtaPort() { return firstWord(stateFile("PWX_SMTP_MTA_STATE", "smtp.port")); }
std::string pop3Port() { return firstWord(stateFile("PWX_SMTP_DOVECOT_STATE", "pop3.port")); }

// Sends the way the program does: Open, Mail and Quit, each started from
// the end of the one before; the result is the reply to the message, or a
// failure text led by "*".
std::string sendLikeTheProgram(THtmlSmtpCli& smtp) {
    std::string result, reply;
    smtp.OnRequestDone = [&](rtl::TObject*, TSmtpRequest rq, uint16_t error) {
        if (error != 0) {
            result = "*" + smtp.ErrorMessage();
            smtp.Abort();
            return;
        }
        switch (rq) {
            case smtpOpen: smtp.Mail(); break;
            case smtpMail:
                reply = smtp.LastResponse();
                smtp.Quit();
                break;
            case smtpQuit: result = reply; break;
            default:
                result = "*Request type " + std::to_string(rq) + " Unexpected";
                smtp.Abort();
        }
    };
    smtp.Open();
    EXPECT_TRUE(win::PumpUntil([&] { return !result.empty(); }, 60000));
    return result;
}

// The message with this Message-ID, as the POP3 client reads it.
std::string fetch(const std::string& messageId) {
    return testsupport::FetchBack(pop3Port(), "pwx1", "secret 1",
                                  [&](TSyncPop3Cli& pop) { return pop.HdrMessageId() == "<" + messageId + ">"; });
}

}  // namespace

TEST(SmtpEndToEnd, SentMailComesBackThroughPop3) {
    ASSERT_FALSE(mtaPort().empty()) << "the OpenSMTPD fixture did not start";
    ASSERT_FALSE(pop3Port().empty()) << "the Dovecot fixture did not start";
    HtmlSample sample;
    THtmlSmtpCli smtp;
    smtp.Host = "127.0.0.1";
    smtp.Port = mtaPort();
    smtp.SignOn = "client.test";
    smtp.FromName = "sender@client.test";
    smtp.HdrFrom = "Sender <sender@client.test>";
    smtp.HdrTo = "pwx1@mailbox.test";
    smtp.RcptNameAdd(smtp.HdrTo, "", "");
    smtp.HdrSubject = "End to end \xE2\x9C\x93";
    sample.apply(smtp);
    const std::string result = sendLikeTheProgram(smtp);
    ASSERT_TRUE(rtl::StartsText("250", result)) << result;

    const std::string message = fetch(smtp.MessageID());
    ASSERT_FALSE(message.empty()) << "the message did not arrive";
    const std::string path = mailtest::tempPath("fetched.eml");
    writeFile(path, message);
    const QJsonObject msg = oracle(path);
    EXPECT_EQ(text(msg["subject"]), smtp.HdrSubject);
    sample.expectParts(msg);
}

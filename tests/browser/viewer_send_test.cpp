// The viewer's Send: the page edited in the viewer goes out through the
// composer's send to aiosmtpd (PWX_PEER_STATE); a save that fails sends
// nothing and says why.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "composer/brwsvwr.h"
#include "composer/mlsend.h"
#include "helpers/kwutil.h"
#include "platform/browser/webbrowser.h"
#include "platform/ui/dialogs.h"
#include "platform/win/pump.h"
#include "tests/composer/peer_inbox.h"
#include "tests/support/program_windows.h"

using composer::brwsvwr;
using composer::mlsend;

namespace {

class ViewerSend : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = testsupport::NewProgramFolder("viewer-send");
        testsupport::StartProgramWindows(folder);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(folder); }
    void SetUp() override {
        ASSERT_NE(brwsvwr, nullptr);
        ASSERT_NE(mlsend, nullptr);
        port = peerinbox::StateFile("PWX_PEER_STATE", "plain.port");
        ASSERT_FALSE(port.empty()) << "the aiosmtpd fixture did not start";
        inbox = std::string(std::getenv("PWX_PEER_STATE")) + "/inbox/";
        dialogs = std::make_unique<ui::TScriptedDialogs>();
    }
    void TearDown() override {
        EXPECT_EQ(dialogs->unexpected, 0) << "a dialog nobody expected was shown";
        dialogs.reset();
    }
    // The composer's message to To, previewed in the viewer, and the
    // viewer's page edited there.
    void editInViewer(const std::string& to, const std::string& subject) {
        mlsend->SetAccount("127.0.0.1/" + port, "me@x.test", "", "");
        mlsend->NewMessage(to, subject, "");
        mlsend->bdy->Text = "<html><body><p id=p>Draft text</p></body></html>";
        ASSERT_TRUE(brwsvwr->ShowPreview(mlsend->bdy->Text, {}, subject));
        ASSERT_TRUE(win::PumpUntil([] { return brwsvwr->EditMode; }, 30000));
        brwsvwr->Web().RunScript("document.getElementById('p').textContent='Edited in the viewer'");
    }

    static std::string folder;
    std::string port, inbox;
    std::unique_ptr<ui::TScriptedDialogs> dialogs;
};
std::string ViewerSend::folder;

TEST_F(ViewerSend, SendsTheEditedPage) {
    const std::set<std::string> before = peerinbox::Files(inbox);
    editInViewer("viewer-sent@x.test", "From the viewer");
    brwsvwr->SendClick();
    const std::string eml = peerinbox::NewMessageTo(inbox, before, "viewer-sent@x.test");
    ASSERT_FALSE(eml.empty()) << "aiosmtpd received nothing";
    const std::string message = helpers::loadtext(eml);
    EXPECT_NE(message.find("Edited in the viewer"), std::string::npos) << message;
    EXPECT_EQ(message.find("Draft text"), std::string::npos) << message;
    brwsvwr->ExecCommand(2126);
    brwsvwr->Hide();
}

TEST_F(ViewerSend, AFailedSaveSendsNothing) {
    const std::set<std::string> before = peerinbox::Files(inbox);
    editInViewer("viewer-unsent@x.test", "Not from the viewer");
    // The page's file cannot be written: a folder holds its name.
    const std::string page = folder + "kwemailprvw.htm";
    std::filesystem::remove(page);
    std::filesystem::create_directory(page);
    dialogs->QueueResult(ui::mrOk);
    brwsvwr->SendClick();
    std::filesystem::remove(page);
    // The send routine blocks until the server answers: had it sent, the
    // message would be there now.
    EXPECT_EQ(peerinbox::NewMessageTo(inbox, before, "viewer-unsent@x.test"), "");
    EXPECT_EQ(std::string(mlsend->bdy->Text), "<html><body><p id=p>Draft text</p></body></html>");
    ASSERT_EQ(dialogs->prompts.size(), 1u);
    EXPECT_NE(std::string(brwsvwr->StatusBar1->Panels[0]->Text).find("Not sent"), std::string::npos);
    brwsvwr->ExecCommand(2126);
    brwsvwr->Hide();
}

}  // namespace

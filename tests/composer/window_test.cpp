// The composer window among the program's windows, with a stand-in send
// routine that records what it was given: the send command, copies and
// drafts, the address book, the lists, the character set, and the mailbox
// window's Compose button and "mailto:" start.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <filesystem>
#include <fstream>
#include <map>

#include "app/mainroutine.h"
#include "tests/support/program_windows.h"
#include "composer/addrbook.h"
#include "composer/attachments.h"
#include "composer/charsets.h"
#include "composer/mlsend.h"
#include "composer/msgcopy.h"
#include "helpers/edithelpers.h"
#include "helpers/kwutil.h"
#include "mailbox/kwdsply.h"
#include "mailbox/kwem1.h"
#include "mailbox/kwfnddlg.h"
#include "platform/rtl/sysutils.h"
#include "platform/ui/dialogs.h"
#include "platform/win/process.h"
#include "platform/win/pump.h"

using namespace composer;
using mailbox::Form1;

namespace {

const std::string kPage =
    "<HTML><HEAD><TITLE>x</TITLE><META http-equiv=\"Content-Type\" content=\"text/html;charset=utf-8\"></HEAD>"
    "<BODY CLASS=\"k\">Hello there</BODY></HTML>";
const std::string kOk = "Email Sent OK 31/01/2024 09:05:00 - 250 2.0.0 Ok: queued";

class Composer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = testsupport::NewProgramFolder("composer");
        testsupport::StartProgramWindows(folder);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(folder); }
    void SetUp() override {
        ASSERT_NE(mlsend, nullptr);
        helpers::homedir = folder;
        for (const char* f : {"draft", "sent", "pelliwoxsent.log", "pelliwoxaddbook.txt"})
            std::filesystem::remove_all(folder + f);
        dialogs = std::make_unique<ui::TScriptedDialogs>();
        m = mlsend;
        m->FormShow(m);
        m->SetAccount("smtp.x.test", "me@x.test", "me@x.test", "pw");
        // Whatever the test before left is let go.
        if (m->Changed()) dialogs->QueueResult(ui::mrNo);
        m->NewMessage("bob@x.test", "Plan", kPage);
        m->emreplyto->Text = "";
        m->rdrcptfrom->Checked = false;
        m->rdrcptreplyto->Checked = false;
        m->encrypt->Checked = false;
        m->ClearLists();
        m->sntlog->Clear();
        m->SelectCharset("utf-8");
        m->BlockStyle = mailbox::TForm1::kDefaultQuoteStyle;
        m->PickOne = nullptr;
        sent.clear();
        m->SendRoutine = [this](const TSendArgs& a) {
            sent.push_back(a);
            if (during) during();
            return reply;
        };
        reply = kOk;
        during = nullptr;
    }
    void TearDown() override {
        EXPECT_EQ(dialogs->unexpected, 0) << "a dialog nobody expected was shown";
        m->SendRoutine = nullptr;
        dialogs.reset();
    }
    static int mode(const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 0777) : -1;
    }
    static std::vector<std::string> filesIn(const std::string& dir) {
        std::vector<std::string> names;
        if (!std::filesystem::exists(dir)) return names;
        for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    bool asked(const std::string& part) const {
        for (const ui::TPrompt& p : dialogs->prompts)
            if (p.text.find(part) != std::string::npos) return true;
        return false;
    }
    std::string sentFolder() const { return folder + "sent/me_x_test/"; }

    static std::string folder;
    std::unique_ptr<ui::TScriptedDialogs> dialogs;
    Tmlsend* m = nullptr;
    std::vector<TSendArgs> sent;
    std::string reply;
    std::function<void()> during;
};
std::string Composer::folder;

}  // namespace

TEST_F(Composer, SendRecordsCopyBookAndLog) {
    m->emcc->Text = "carol@x.test";
    m->embcc->Text = "dave@x.test";
    m->emreplyto->Text = "reply@x.test";
    m->rdrcptfrom->Checked = true;
    m->ListBox1->Items->Add(folder + "a.pdf");
    m->ListBox1->Items->Add(folder + "b.zip");
    m->BitBtn5Click(m->BitBtn5);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].recipients, "bob@x.test/carol@x.test/dave@x.test");
    EXPECT_EQ(sent[0].senders, "=me@x.test/reply@x.test");
    EXPECT_EQ(sent[0].credentials, "me@x.test/pw");
    EXPECT_EQ(sent[0].files, folder + "a.pdf;" + folder + "b.zip;/");
    EXPECT_NE(sent[0].body.find("<TITLE>Plan</TITLE>"), std::string::npos) << "the title follows the subject";
    EXPECT_EQ(helpers::sendcharset, "utf-8");

    const std::string line = "To:bob@x.test\tFrom:me@x.test\tSubject:Plan\tResult:" + kOk;
    EXPECT_EQ(helpers::loadtext(folder + "pelliwoxsent.log"), line + "\r\n");
    EXPECT_EQ(m->sntlog->Text(), line + "\r\n");
    const std::vector<std::string> copies = filesIn(sentFolder());
    ASSERT_EQ(copies.size(), 1u);
    const std::string copy = helpers::loadtext(sentFolder() + copies[0]);
    EXPECT_EQ(copy.substr(0, copy.find("</PRE>")), "<PRE>\r\nTo: bob@x.test\r\nCc: carol@x.test\r\nBcc: dave@x.test\r\n"
                                                   "Attachments? " + folder + "a.pdf;" + folder + "b.zip;\r\nInsertions? \r\n"
                                                   "Subject: Plan\r\n");
    EXPECT_EQ(AddressBookLines(LoadAddressBook(m->AddressBookKey)), std::vector<std::string>{"bob@x.test"});
    // Whoever was written to is the owner's business alone.
    EXPECT_EQ(mode(folder + "pelliwoxsent.log"), 0600);
    EXPECT_EQ(mode(folder + "pelliwoxaddbook.txt"), 0600);
    EXPECT_EQ(mode(sentFolder() + copies[0]), 0600);
    EXPECT_EQ(m->BitBtn5->Caption(), "Send Email");
    EXPECT_TRUE(m->BitBtn5->Enabled());

    // Sent again: the book keeps one entry, the log two lines.
    m->BitBtn5Click(m->BitBtn5);
    EXPECT_EQ(AddressBookLines(LoadAddressBook(m->AddressBookKey)), std::vector<std::string>{"bob@x.test"});
    EXPECT_EQ(helpers::loadtext(folder + "pelliwoxsent.log"), line + "\r\n" + line + "\r\n");
    EXPECT_EQ(filesIn(sentFolder()).size(), 2u);
    // The log shown in the text window is the file written.
    m->Label14Click(m->Label14);
    ASSERT_NE(mailbox::kwdsply, nullptr);
    EXPECT_TRUE(mailbox::kwdsply->Visible());
    EXPECT_EQ(mailbox::kwdsply->Caption(), "Pelliwox Sent Log");
    EXPECT_EQ(mailbox::kwdsply->Memo1->Text(), line + "\r\n" + line + "\r\n");
    mailbox::kwdsply->Hide();
}

// The book opens sorted, its double quotes kept (they hold a name with a
// comma together); Save writes what was edited, enciphered, and refills the
// drop-downs; Cancel changes nothing.
TEST_F(Composer, AddressBookEditor) {
    ASSERT_TRUE(SaveAddressBook("zed@x.test\r\n\"Ann Lee\" <ann@x.test>\r\nbob@x.test", m->AddressBookKey));
    auto edit = [&](const std::string& expectShown, const std::string& typed, bool save) {
        dialogs->QueueModal([&, expectShown, typed, save](ui::TForm& f) {
            auto& w = static_cast<mailbox::Tkwdsply&>(f);
            EXPECT_EQ(w.Caption(), "Pelliwox - Address Book Editor");
            EXPECT_EQ(w.Memo1->Text(), expectShown);
            EXPECT_FALSE(w.Memo1->ReadOnly());
            w.Memo1->Text = typed;
            (save ? w.Button1 : w.Button2)->Click();
            return ui::mrNone;
        });
        m->adbkClick(m->adbk);
    };
    edit("\"Ann Lee\" <ann@x.test>\r\nbob@x.test\r\nzed@x.test\r\n",
         "\"Ann Lee\" <ann@x.test>\r\n\"New, Person\" <np@x.test>\r\n", true);
    EXPECT_EQ(LoadAddressBook(m->AddressBookKey), "\"Ann Lee\" <ann@x.test>\r\n\"New, Person\" <np@x.test>");
    // Opened and saved again unchanged: the quotes are still there.
    edit("\"Ann Lee\" <ann@x.test>\r\n\"New, Person\" <np@x.test>\r\n",
         "\"Ann Lee\" <ann@x.test>\r\n\"New, Person\" <np@x.test>\r\n", true);
    EXPECT_GE(m->emto->Items->IndexOf("\"New, Person\" <np@x.test>"), 0) << "one entry, as written";
    edit("\"Ann Lee\" <ann@x.test>\r\n\"New, Person\" <np@x.test>\r\n", "carol@x.test\r\nann@x.test\r\n", true);
    EXPECT_EQ(LoadAddressBook(m->AddressBookKey), "carol@x.test\r\nann@x.test");
    EXPECT_EQ(helpers::loadtext(folder + "pelliwoxaddbook.txt")[0], '@');
    EXPECT_EQ(mode(folder + "pelliwoxaddbook.txt"), 0600);
    EXPECT_EQ(m->emto->Items->Count(), 2);
    EXPECT_GE(m->emto->Items->IndexOf("ann@x.test"), 0);
    EXPECT_GE(m->emcc->Items->IndexOf("carol@x.test"), 0);

    edit("ann@x.test\r\ncarol@x.test\r\n", "gone@x.test", false);
    EXPECT_EQ(LoadAddressBook(m->AddressBookKey), "carol@x.test\r\nann@x.test");
    // The window is left as others expect it.
    EXPECT_TRUE(mailbox::kwdsply->Memo1->ReadOnly());
    EXPECT_FALSE(mailbox::kwdsply->buttonpanel->Visible());

    // Only blank lines: an empty book, still enciphered.
    edit("ann@x.test\r\ncarol@x.test\r\n", "\r\n  \r\n", true);
    EXPECT_EQ(helpers::loadtext(folder + "pelliwoxaddbook.txt"), "@" + helpers::numcipher("", m->AddressBookKey));
}

// A book that cannot be read: the sent message's address is not added
// over it, the editor does not open on an empty text, and both say why.
TEST_F(Composer, UnreadableAddressBookIsLeftAlone) {
    const std::string damaged = "@" + helpers::numcipher("ann@x.test\r\nzed@x.test", m->AddressBookKey).substr(2);
    {
        std::ofstream(folder + "pelliwoxaddbook.txt", std::ios::binary) << damaged;
    }
    dialogs->QueueResult(ui::mrOk);
    m->BitBtn5Click(m->BitBtn5);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(asked("is damaged"));
    EXPECT_TRUE(asked("The address was not added"));
    EXPECT_EQ(helpers::loadtext(folder + "pelliwoxaddbook.txt"), damaged);
    dialogs->QueueResult(ui::mrOk);
    m->adbkClick(m->adbk);  // a shown editor would be a dialog nobody expected
    EXPECT_TRUE(asked("It was left as it is"));
    EXPECT_EQ(helpers::loadtext(folder + "pelliwoxaddbook.txt"), damaged);
}

TEST_F(Composer, RefusedSendIsOnlyLogged) {
    reply = "ERROR KwSendMail: Email Failed 31/01/2024 09:05:00 - 554 5.7.1 Rejected";
    m->BitBtn5Click(m->BitBtn5);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(filesIn(sentFolder()).empty());
    EXPECT_FALSE(std::filesystem::exists(folder + "pelliwoxaddbook.txt"));
    EXPECT_EQ(helpers::loadtext(folder + "pelliwoxsent.log"),
              "To:bob@x.test\tFrom:me@x.test\tSubject:Plan\tResult:" + reply + "\r\n");
}

// The send routine lets the window run while it waits: a second Send is
// refused, and what the user changes meanwhile is not what was sent.
TEST_F(Composer, OneSendAtATimeFieldsReadOnce) {
    bool pressedAgain = false;
    during = [&] {
        if (pressedAgain) return;
        pressedAgain = true;
        EXPECT_FALSE(m->BitBtn5->Enabled());
        EXPECT_EQ(m->BitBtn5->Caption(), "Please Wait");
        m->emto->Text = "someone.else@x.test";
        m->subj->Text = "Changed";
        m->emcc->Text = "late@x.test";
        m->BitBtn5Click(m->BitBtn5);
    };
    m->BitBtn5Click(m->BitBtn5);
    EXPECT_EQ(sent.size(), 1u);
    EXPECT_EQ(helpers::loadtext(folder + "pelliwoxsent.log"),
              "To:bob@x.test\tFrom:me@x.test\tSubject:Plan\tResult:" + kOk + "\r\n");
    EXPECT_EQ(AddressBookLines(LoadAddressBook(m->AddressBookKey)), std::vector<std::string>{"bob@x.test"});
    const std::vector<std::string> copies = filesIn(sentFolder());
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_NE(copies[0].find("_Plan.htm"), std::string::npos);
    EXPECT_EQ(helpers::loadtext(sentFolder() + copies[0]).find("late@x.test"), std::string::npos);

    // A send that throws leaves the command usable.
    during = [] { throw std::runtime_error("client gone"); };
    EXPECT_THROW(m->BitBtn5Click(m->BitBtn5), std::runtime_error);
    EXPECT_TRUE(m->BitBtn5->Enabled());
    EXPECT_EQ(m->BitBtn5->Caption(), "Send Email");
    during = nullptr;
    m->BitBtn5Click(m->BitBtn5);
    EXPECT_EQ(sent.size(), 3u);
}

TEST_F(Composer, ChecksStopTheSend) {
    m->emhost->Text = "";
    dialogs->QueueResult(ui::mrOk);
    m->BitBtn5Click(m->BitBtn5);
    EXPECT_TRUE(asked("Please Fill in SMTP Host"));
    m->emhost->Text = "smtp.x.test";
    m->encrypt->Checked = true;
    m->ListBox2->Items->Add(folder + "i.png");
    dialogs->QueueResult(ui::mrOk);
    m->BitBtn5Click(m->BitBtn5);
    EXPECT_TRUE(asked(kNoEncryptWithFiles));
    EXPECT_TRUE(sent.empty());
}

// An empty quote style still lets the body be checked for a forgotten attachment.
TEST_F(Composer, ForgottenAttachmentWithEmptyQuoteStyle) {
    m->SetQuoteStyle("");
    m->NewMessage("bob@x.test", "Plan", "I attach the plan");
    dialogs->QueueResult(ui::mrYes);
    dialogs->QueueDialogResult(false);
    m->BitBtn5Click(m->BitBtn5);
    EXPECT_TRUE(asked("Have you Forgotten to Attach a File"));
    EXPECT_EQ(dialogs->dialogs, std::vector<std::string>{"TOpenDialog"});
    EXPECT_TRUE(sent.empty());
    dialogs->QueueResult(ui::mrNo);
    m->BitBtn5Click(m->BitBtn5);
    EXPECT_EQ(sent.size(), 1u);
}

// Enciphered mail is read by the mailbox window with the composer's key.
TEST_F(Composer, EncipheredWithTheMailboxWindowsKey) {
    ASSERT_FALSE(m->MailKey.empty());
    EXPECT_EQ(Form1->MessageKey, m->MailKey);
    m->encrypt->Checked = true;
    m->BitBtn5Click(m->BitBtn5);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(helpers::numdecipher(sent[0].subject, Form1->MessageKey), "Plan");
    const std::string body = helpers::replaceall(sent[0].body, "\r\n", "", true);
    EXPECT_EQ(helpers::numdecipher(body, Form1->MessageKey), m->bdy->Text());
}

TEST_F(Composer, CharacterSetListAndDeclaration) {
    EXPECT_EQ(m->chaset->Items->Count, static_cast<int>(CharsetEntries().size()));
    EXPECT_EQ(m->CharsetChosen(), "utf-8");
    m->SelectCharset("EUC-JP");
    EXPECT_EQ(m->chaset->ItemIndex(), FindCharset("euc-jp"));
    EXPECT_EQ(m->CharsetChosen(), "euc-jp");
    m->SelectCharset("iso-8859-1");
    m->chasetChange(m->chaset);
    const std::string want = helpers::replaceall(kPage, "charset=utf-8\"", "charset=iso-8859-1\"", true);
    EXPECT_EQ(m->bdy->Text(), helpers::replaceall(want, "<TITLE>x</TITLE>", "<TITLE>x</TITLE>", true));

    // The label searches the list, wrapping.
    dialogs->QueueModal([](ui::TForm& f) {
        auto& d = static_cast<mailbox::Tkwfind&>(f);
        d.fndtxt->Text = "x-mac-ukrainian";
        d.BitBtn1->Click();
        return ui::mrNone;
    });
    m->Label9Click(m->Label9);
    EXPECT_EQ(m->chaset->ItemIndex(), m->chaset->Items->Count - 1);
    EXPECT_NE(m->bdy->Text().find(";charset=x-mac-ukrainian\""), std::string::npos);
    m->CharsetSearch = "no such set";
    dialogs->QueueResult(ui::mrOk);
    m->Label9ContextPopup(m->Label9);
    EXPECT_TRUE(asked("Text no such set not found in character set list"));
}

TEST_F(Composer, BodyGoesOutInItsCharacterSet) {
    m->NewMessage("bob@x.test", "Caf\xC3\xA9", "caf\xC3\xA9");
    m->SelectCharset("iso-8859-1");
    m->BitBtn5Click(m->BitBtn5);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].body, "caf\xE9");
    // The subject is the program's text: the client writes it in the set.
    EXPECT_EQ(sent[0].subject, "Caf\xC3\xA9");
    EXPECT_EQ(helpers::sendcharset, "iso-8859-1");

    // A subject the set cannot hold sends all the same (it goes in UTF-8),
    // and a decomposed letter in the body is the one the set holds.
    m->NewMessage("bob@x.test", "\xE2\x82\xAC 5", "cafe\xCC\x81");
    m->SelectCharset("iso-8859-1");
    m->BitBtn5Click(m->BitBtn5);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].body, "caf\xE9");
    sent.pop_back();

    // What the set cannot hold is said before sending, and utf-8 offered.
    m->NewMessage("bob@x.test", "Price", "<META content=\"text/html;charset=iso-8859-1\">5 \xE2\x82\xAC");
    dialogs->QueueResult(ui::mrNo);
    m->BitBtn5Click(m->BitBtn5);
    EXPECT_TRUE(asked("cannot hold \xE2\x82\xAC"));
    const std::string question = dialogs->prompts.back().text;
    EXPECT_EQ(question.substr(question.size() - 24), "\r\nSend in utf-8 instead?") << "one question mark";
    EXPECT_EQ(sent.size(), 1u);
    dialogs->QueueResult(ui::mrYes);
    m->BitBtn5Click(m->BitBtn5);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].body, "<META content=\"text/html;charset=utf-8\">5 \xE2\x82\xAC");
    EXPECT_EQ(helpers::sendcharset, "utf-8");
}

TEST_F(Composer, DraftSaveLoadAndSearch) {
    m->emcc->Text = "";
    m->ListBox1->Items->Add(folder + "a.pdf");
    m->ListBox2->Items->Add(folder + "i.png");
    dialogs->QueueResult(ui::mrOk);
    m->svdraftClick(m->svdraft);
    ASSERT_TRUE(asked("Saved as " + folder + "draft/me_x_test/"));
    const std::vector<std::string> drafts = filesIn(folder + "draft/me_x_test/");
    ASSERT_EQ(drafts.size(), 1u);

    // Another message in the window, with a leftover Cc.
    m->NewMessage("other@x.test", "Other", "other body");
    m->emcc->Text = "leftover@x.test";
    m->embcc->Text = "hidden@x.test";
    m->ClearLists();
    std::vector<std::vector<std::string>> offered;
    std::vector<int> picks = {0, -1};
    m->PickOne = [&](const std::string&, const std::string&, const std::vector<std::string>& names) {
        offered.push_back(names);
        const int p = picks.front();
        picks.erase(picks.begin());
        return p;
    };
    dialogs->QueueResult(ui::mrNo);  // the changed message is let go
    m->lddraftClick(m->lddraft);
    EXPECT_TRUE(asked("Save it as a Draft"));
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(offered[0], drafts);
    EXPECT_EQ(m->emto->Text(), "bob@x.test");
    EXPECT_EQ(m->subj->Text(), "Plan");
    EXPECT_EQ(m->emcc->Text(), "") << "an empty Cc in the copy must not leave the old one";
    EXPECT_EQ(m->embcc->Text(), "");
    EXPECT_EQ(m->bdy->Text(), kPage);
    EXPECT_EQ(m->ListBox1->Items->Text(), folder + "a.pdf\r\n");
    EXPECT_EQ(m->ListBox2->Items->Text(), folder + "i.png\r\n");

    // Searches: none found is said; a hit is offered alone.
    auto search = [&](const std::string& text) {
        dialogs->QueueModal([text](ui::TForm& f) {
            auto& d = static_cast<mailbox::Tkwfind&>(f);
            d.fndtxt->Text = text;
            d.BitBtn1->Click();
            return ui::mrNone;
        });
    };
    m->SaveMessageCopy("sent");
    search("needle");
    dialogs->QueueResult(ui::mrOk);
    offered.clear();
    m->srchsentClick(m->srchsent);
    EXPECT_TRUE(asked("None Found Containing \"needle\""));
    EXPECT_TRUE(offered.empty());
    EXPECT_EQ(m->subj->Text(), "Plan") << "the progress shown in the subject is taken back";
    search("*hello there*");
    picks = {-1};
    m->srchsentClick(m->srchsent);
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_EQ(offered[0].size(), 1u);
}

TEST_F(Composer, LoadingWithoutThePickSaysSo) {
    m->SaveMessageCopy("draft");
    dialogs->QueueResult(ui::mrOk);
    m->lddraftClick(m->lddraft);
    EXPECT_TRUE(asked("not available yet"));
}

TEST_F(Composer, PreviewInTheDesktopsBrowserIsTheCopyWithoutScripts) {
    m->NewMessage("bob@x.test", "Look", "");
    m->bdy->Text = "<HTML><BODY>Preview me<SCRIPT>alert(1)</SCRIPT><IMG SRC=\"cid:IMAGE1\"></BODY></HTML>";
    m->ListBox2->Items->Clear();
    m->ListBox2->Items->Add(folder + "pic one.png");
    std::vector<std::vector<std::string>> started;
    const win::TSpawner before = win::SetSpawner([&](const std::vector<std::string>& argv, int& error) -> int64_t {
        started.push_back(argv);
        error = 0;
        return 999999;
    });
    bool handled = false;
    m->prvwbtn->OnContextPopup(m->prvwbtn, ui::TPoint{1, 1}, handled);
    win::SetSpawner(before);
    EXPECT_TRUE(handled);
    ASSERT_EQ(started.size(), 1u);
    const std::string opened = started[0].back();
    EXPECT_NE(opened, folder + "kwemailprvw.htm") << "never the page itself";
    const std::string copy = helpers::loadtext(opened);
    EXPECT_NE(copy.find("Preview me"), std::string::npos) << copy;
    EXPECT_EQ(rtl::LowerCase(copy).find("<script"), std::string::npos) << copy;
    EXPECT_NE(helpers::loadtext(folder + "kwemailprvw.htm").find("pic%20one.png"), std::string::npos)
        << "the preview page shows the inserted image from its file";
}

TEST_F(Composer, InsertedImagesKeepTheirNumbers) {
    m->NewMessage("bob@x.test", "Pics", "");
    dialogs->QueueDialog([&](ui::TCommonDialog& d) {
        auto& o = static_cast<ui::TOpenDialog&>(d);
        o.Files->Clear();
        for (const char* f : {"one.png", "two.png", "three.png"}) o.Files->Add(folder + f);
        return true;
    });
    m->BitBtn4Click(m->BitBtn4);
    EXPECT_EQ(m->bdy->Text(), ImageTag(1) + ImageTag(2) + ImageTag(3));
    EXPECT_EQ(m->Label12->Caption(), "Inserted Images (3 Items / Size=0) :-");
    m->ListBox2->ItemIndex = 1;
    m->BitBtn6Click(m->BitBtn6);
    EXPECT_EQ(m->bdy->Text(), ImageTag(1) + ImageTag(2));
    EXPECT_EQ(m->ListBox2->Items->Text(), folder + "one.png\r\n" + folder + "three.png\r\n");
    m->BitBtn7Click(m->BitBtn7);
    EXPECT_EQ(m->bdy->Text(), "");
    EXPECT_EQ(m->ListBox2->Items->Count, 0);
}

TEST_F(Composer, TemplateSaved) {
    m->NewMessage("", "T", "<HTML><BODY>Hi</BODY></HTML>");
    dialogs->QueueResult(ui::mrOk);
    m->svtplbtnClick(m->svtplbtn);
    const std::string path = folder + "me_x_test/kwemailtemplate.htm";
    EXPECT_TRUE(asked("Template Saved (Filename " + path + ")"));
    EXPECT_EQ(helpers::loadtext(path), "<HTML><BODY>Hi<Enter Message Here>\r\n</BODY></HTML>");
}

// The Compose button opens a new message from the template; its right
// click shows the composer as it was.
TEST_F(Composer, ComposeButtonAndMailto) {
    helpers::savetext(Form1->TemplatePath(), "<HTML><BODY><Enter Message Here></BODY></HTML>");
    m->ListBox1->Items->Add(folder + "a.pdf");
    m->Hide();
    dialogs->QueueResult(ui::mrNo);  // the changed message is let go
    Form1->BitBtn9->Click();
    EXPECT_TRUE(m->Visible());
    EXPECT_EQ(m->emto->Text(), "");
    EXPECT_EQ(m->ListBox1->Items->Count, 0);
    EXPECT_EQ(m->bdy->SelText(), "<Enter Message Here>");

    m->ListBox1->Items->Add(folder + "a.pdf");
    m->Hide();
    bool handled = false;
    Form1->BitBtn9->OnContextPopup(Form1->BitBtn9, ui::TPoint{1, 1}, handled);
    EXPECT_TRUE(handled);
    EXPECT_TRUE(m->Visible());
    EXPECT_EQ(m->ListBox1->Items->Count, 1);

    m->Hide();
    dialogs->QueueResult(ui::mrNo);
    const std::string param = "mailto:Ann@x.test?subject=Hi+there&body=a<b";
    Form1->ActOnCommandLine(param);
    Form1->StartComposer(param);
    EXPECT_TRUE(m->Visible());
    EXPECT_EQ(m->emto->Text(), "Ann@x.test");
    EXPECT_EQ(m->subj->Text(), "Hi there");
    EXPECT_NE(m->bdy->Text().find("a&lt;b"), std::string::npos);
    m->Hide();
}

// A draft and a sent copy with what a copy's name cannot hold come back as
// they were written; the copies keep their names and folders.
TEST_F(Composer, DraftsAndSentCopiesComeBackWhole) {
    struct TWritten {
        std::string subject;
        std::vector<std::string> attachments;
    } cases[] = {
        {"Re: Q3 plan/draft? naïve café", {folder + "a;b.pdf", folder + "plain.pdf"}},
        {"SJIS 日本 test", {folder + "x.zip"}},
        {"日本語の件名", {}},
        {"Отчёт за квартал", {folder + "отчёт;2.xlsx"}},
        {"plan_B_final", {}},
    };
    // What each folder should give back: the send sets the page's title first.
    std::map<std::string, std::vector<TMessageFields>> written;
    for (const TWritten& c : cases) {
        if (m->Changed()) dialogs->QueueResult(ui::mrNo);
        m->NewMessage("\"Lee, Ann\" <ann@x.test>", c.subject, kPage);
        m->emcc->Text = "carol@x.test";
        m->embcc->Text = "";
        for (const std::string& a : c.attachments) m->ListBox1->Items->Add(a);
        m->ListBox2->Items->Add(folder + "logo.png");
        dialogs->QueueResult(ui::mrOk);
        m->svdraftClick(m->svdraft);
        written["draft"].push_back(m->Fields());
        m->BitBtn5Click(m->BitBtn5);
        written["sent"].push_back(m->Fields());
    }
    ASSERT_EQ(sent.size(), std::size(cases));
    // The names are as they always were: date and time, then what the subject keeps.
    std::vector<std::string> kept;
    for (const TWritten& c : cases) kept.push_back(SubjectForName(c.subject) + ".htm");
    std::sort(kept.begin(), kept.end());
    for (const char* box : {"draft", "sent"}) {
        const std::string dir = folder + box + "/me_x_test/";
        const std::vector<std::string> names = filesIn(dir);
        std::vector<std::string> tails;
        for (const std::string& n : names) tails.push_back(n.substr(std::string("20240131_09-05_").size()));
        std::sort(tails.begin(), tails.end());
        EXPECT_EQ(tails, kept) << box;
        // Each one picked in turn, and what it brought into the window noted.
        std::vector<TMessageFields> loaded;
        size_t next = 0;
        m->PickOne = [&](const std::string&, const std::string&, const std::vector<std::string>& offered) {
            EXPECT_EQ(offered, names);
            if (next > 0) loaded.push_back(m->Fields());
            return next < offered.size() ? static_cast<int>(next++) : -1;
        };
        (std::string(box) == "draft" ? m->lddraft : m->ldsent)->Click();
        ASSERT_EQ(loaded.size(), std::size(cases)) << box;
        for (const TMessageFields& f : loaded) {
            const std::vector<TMessageFields>& w = written[box];
            EXPECT_NE(std::find_if(w.begin(), w.end(), [&](const TMessageFields& x) { return SameCopy(x, f); }), w.end())
                << box << ": \"" << f.Subject << "\" did not come back as written";
        }
    }
}

// Drafts filed under the user's mailbox are still offered once the User
// field is empty, beside those saved without a user; with a user, only its own.
TEST_F(Composer, DraftsOfEveryMailboxOfferedWithoutAUser) {
    m->subj->Text = "Filed under me";
    const std::string mine = m->SaveMessageCopy("draft");
    m->emuserid->Text = "other@y.test";
    m->subj->Text = "Filed under other";
    const std::string other = m->SaveMessageCopy("draft");
    m->emuserid->Text = "";
    m->subj->Text = "Filed nowhere";
    const std::string nowhere = m->SaveMessageCopy("draft");
    ASSERT_FALSE(mine.empty() || other.empty() || nowhere.empty());
    auto base = [](const std::string& p) { return p.substr(p.find_last_of('/') + 1); };

    std::vector<std::string> offered;
    std::string label;
    int pick = -1;
    m->PickOne = [&](const std::string&, const std::string& l, const std::vector<std::string>& names) {
        if (offered.empty()) offered = names, label = l;
        const int p = pick;
        pick = -1;
        return p;
    };
    m->lddraftClick(m->lddraft);
    std::vector<std::string> want = {"me_x_test/" + base(mine), "other_y_test/" + base(other), base(nowhere)};
    std::vector<std::string> got = offered;
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, want);
    EXPECT_NE(label.find(folder + "draft/"), std::string::npos) << label;

    // Picked, the one of the other mailbox loads.
    offered.clear();
    pick = static_cast<int>(std::find(want.begin(), want.end(), "other_y_test/" + base(other)) - want.begin());
    m->PickOne = [&](const std::string&, const std::string&, const std::vector<std::string>& names) {
        const int p = pick;
        pick = -1;
        if (p < 0) return -1;
        return static_cast<int>(std::find(names.begin(), names.end(), want[static_cast<size_t>(p)]) - names.begin());
    };
    if (m->Changed()) dialogs->QueueResult(ui::mrNo);
    m->lddraftClick(m->lddraft);
    EXPECT_EQ(m->subj->Text(), "Filed under other");

    // With a user, that mailbox's own.
    m->emuserid->Text = "me@x.test";
    offered.clear();
    m->PickOne = [&](const std::string&, const std::string&, const std::vector<std::string>& names) {
        offered = names;
        return -1;
    };
    m->lddraftClick(m->lddraft);
    EXPECT_EQ(offered, std::vector<std::string>{base(mine)});
}

// A message changed since it was loaded, saved or sent is offered as a
// draft before a new one takes its place and when the window closes; one
// left as it was is not asked about.
TEST_F(Composer, ChangedMessageOfferedAsDraft) {
    const std::string drafts = folder + "draft/me_x_test/";
    helpers::savetext(Form1->TemplatePath(), "<HTML><BODY><Enter Message Here></BODY></HTML>");
    m->Show();
    EXPECT_FALSE(m->Changed()) << "showing the window changes nothing";
    Form1->BitBtn9->Click();
    EXPECT_TRUE(dialogs->prompts.empty()) << "nothing typed, nothing asked";

    // Typed, then a new message: Yes keeps what was typed as a draft.
    helpers::edinsert(m->bdy, "typed after the last save");
    m->subj->Text = "Half written";
    dialogs->QueueResult(ui::mrYes);
    Form1->BitBtn9->Click();
    EXPECT_TRUE(asked("Save it as a Draft"));
    const std::vector<std::string> saved = filesIn(drafts);
    ASSERT_EQ(saved.size(), 1u);
    const TStoredCopy copy = ReadCopy(saved[0], helpers::loadtext(drafts + saved[0]));
    EXPECT_EQ(copy.Subject, "Half written");
    EXPECT_NE(copy.Body.find("typed after the last save"), std::string::npos);
    EXPECT_EQ(m->subj->Text(), "") << "then the new message";
    EXPECT_FALSE(m->Changed());

    // Changed again, closed: No lets it go, and nothing is written.
    m->subj->Text = "Let go";
    dialogs->QueueResult(ui::mrNo);
    m->Close();
    EXPECT_FALSE(m->Visible());
    EXPECT_EQ(dialogs->prompts.size(), 2u);
    EXPECT_EQ(filesIn(drafts), saved);
    m->Show();
    m->Close();
    EXPECT_EQ(dialogs->prompts.size(), 2u) << "let go once, not asked again";

    // Saved as a draft, then closed: nothing to ask.
    m->Show();
    m->subj->Text = "Saved first";
    dialogs->QueueResult(ui::mrOk);
    m->svdraftClick(m->svdraft);
    m->Close();
    EXPECT_EQ(dialogs->prompts.size(), 3u) << "only the draft's \"Saved as\"";
    EXPECT_EQ(filesIn(drafts).size(), 2u);
}

// The page declares the set it is sent in: a body pasted after the set was
// chosen, declaring utf-8 in any of a page's ways, goes out declaring it.
TEST_F(Composer, ThePageDeclaresTheSetItIsSentIn) {
    const std::string japanese = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";
    for (const std::string head : {std::string("<META http-equiv=\"Content-Type\" content=\"text/html;charset=utf-8\">"),
                                   std::string("<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\">"),
                                   std::string("<meta charset=\"utf-8\">")}) {
        sent.clear();
        if (m->Changed()) dialogs->QueueResult(ui::mrNo);
        m->NewMessage("bob@x.test", "Plan", "<HTML><HEAD></HEAD><BODY></BODY></HTML>");
        m->SelectCharset("shift_jis");
        m->chasetChange(m->chaset);
        // Typed over with a page that declares utf-8.
        m->bdy->Text = "<HTML><HEAD>" + head + "<TITLE>x</TITLE></HEAD><BODY>" + japanese + "</BODY></HTML>";
        m->BitBtn5Click(m->BitBtn5);
        ASSERT_EQ(sent.size(), 1u) << head;
        EXPECT_EQ(helpers::sendcharset, "shift_jis");
        EXPECT_EQ(DeclaredCharset(sent[0].body), "shift_jis") << sent[0].body;
        EXPECT_NE(sent[0].body.find("\x93\xFA\x96\x7B\x8C\xEA"), std::string::npos) << "the text in Shift_JIS";
        EXPECT_EQ(DeclaredCharset(m->bdy->Text()), "shift_jis") << "the window shows what was sent";
    }
}

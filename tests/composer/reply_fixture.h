#pragma once
// The mailbox window and the composer with one received message rendered
// into the mailbox's folder (tests/data/reply/forward.eml: an HTML part with
// a "cid:" picture, a PDF attachment) and selected in the list, as a click
// on its row leaves it. The mailbox folder's name holds a blank, so that
// every file link is percent-encoded.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/mainroutine.h"
#include "composer/mlsend.h"
#include "helpers/kwutil.h"
#include "mailbox/kwem1.h"
#include "mailbox/msgrender.h"
#include "platform/ui/dialogs.h"
#include "platform/win/pump.h"

namespace replytest {

inline std::string readFile(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline const std::string kData = PWX_SOURCE_DIR "/tests/data/reply/";
inline const std::string kTemplate =
    "<HTML><HEAD><META http-equiv=\"Content-Type\" content=\"text/html;charset=utf-8\"><TITLE>x</TITLE></HEAD>"
    "<BODY><P><Enter Message Here></P></BODY></HTML>";

class ReplyWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char dir[] = "/tmp/pwx-replyXXXXXX";
        folder = mkdtemp(dir);
        folder += "/";
        helpers::homedir = folder;
        std::ofstream(folder + "kwemailtemplate.htm", std::ios::binary) << kTemplate;
        setenv("XDG_DATA_HOME", (folder + "userdata").c_str(), 1);  // the per-user files too
        app::CreateWindows();
        mailbox::Form1->pop3host->Items->Clear();
        mailbox::Form1->Edit1->Text = "pwx reply@x.test";
        win::PumpUntil([] { return mailbox::Form1->StartupSteps > 0; }, 5000);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(folder); }
    void SetUp() override {
        ASSERT_NE(composer::mlsend, nullptr);
        ASSERT_EQ(mailbox::Form1->Composer, composer::mlsend);
        dialogs = std::make_unique<ui::TScriptedDialogs>();
        f = mailbox::Form1;
        m = composer::mlsend;
        m->FormShow(m);
        // What the test before left in the composer is let go, without a trace.
        if (m->Changed()) {
            dialogs->QueueResult(ui::mrNo);
            m->OfferDraft();
            dialogs->prompts.clear();
        }
        m->ClearLists();
        f->Edit1->Text = "pwx reply@x.test";
        f->ComposerAccount = f->Account();
        m->emfrom->Text = "Me Myself <ME@x.test>";
        renderRow();
    }
    void TearDown() override { EXPECT_EQ(dialogs->unexpected, 0) << "a dialog nobody expected was shown"; }

    // The fixture's page, rendered into the mailbox's folder, as row 0.
    void renderRow() {
        mailbox::TRenderInput in;
        in.lines.SetText(helpers::loadtext(kData + "forward.eml"));
        in.From = "Alice <alice@x.test>";
        in.Subject = "Re: RE:fw: Where: plans";
        in.Charset = "iso-8859-1";
        in.HdrFrom = "Alice <alice@x.test>";
        in.HdrTo = "Me <me@x.test>, bob@x.test; carol@x.test";
        in.HdrCc = "dave@x.test";
        in.HdrDate = "Mon, 3 Jun 2024 10:00:00 +0000";
        in.HdrSubject = in.Subject;
        in.folder = f->RcvdFolder();
        in.programFolder = f->ProgramFolder;
        const mailbox::TRenderResult r = mailbox::RenderMessage(in);
        ASSERT_TRUE(r.ok);
        mailbox::TRowStore& s = f->Rows();
        s.Clear();
        s.SetRowCount(1);
        s.Row(0).MessageNo = 1;
        s.SetText(0, mailbox::rtFrom, in.From);
        s.SetText(0, mailbox::rtTo, in.HdrTo);
        s.SetText(0, mailbox::rtCc, in.HdrCc);
        s.SetText(0, mailbox::rtSubject, in.Subject);
        s.SetText(0, mailbox::rtCharset, r.Charset);
        s.SetText(0, mailbox::rtPagePath, r.PagePath);
        s.SetText(0, mailbox::rtAttachment, r.Attachment);
        f->ListView1->Items->Count = 1;
        f->SelectRow(0);
        page = readFile(r.PagePath);
        saved.clear();
        for (size_t from = 0, bar; (bar = r.Attachment.find('|', from)) != std::string::npos; from = bar + 1)
            saved.push_back(r.Attachment.substr(from, bar - from));
    }
    // The saved part whose name ends so.
    std::string savedPart(const std::string& ending) const {
        for (const std::string& p : saved)
            if (p.size() >= ending.size() && p.compare(p.size() - ending.size(), ending.size(), ending) == 0)
                return p;
        return {};
    }
    std::vector<std::string> list(ui::TListBox* l) const {
        std::vector<std::string> r;
        for (int i = 0; i < l->Items->Count; ++i) r.push_back(l->Items[i]);
        return r;
    }

    static std::string folder;
    std::unique_ptr<ui::TScriptedDialogs> dialogs;
    mailbox::TForm1* f = nullptr;
    composer::Tmlsend* m = nullptr;
    std::string page;
    std::vector<std::string> saved;
};
inline std::string ReplyWindow::folder;

}  // namespace replytest

// Reply, reply to all and forward from the mailbox window into the composer,
// on a page the renderer made from a fixture message; and the quoting rules
// on their own.
#include <sys/stat.h>

#include "composer/brwsvwr.h"
#include "mailbox/hdrdecode.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/process.h"
#include "tests/composer/reply_fixture.h"

using mailbox::TForm1;
using replytest::ReplyWindow;
namespace fs = std::filesystem;

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ReplyRules, OnlyLeadingPrefixesLeaveTheSubject) {
    const struct {
        const char *in, *out;
    } cases[] = {
        {"RE: Plans", "Plans"},
        {"Re: RE:fw: Where: plans", "Where: plans"},
        {"  fW:  re:Plans", "Plans"},
        {"Where: re: the RE: fw: bits", "Where: re: the RE: fw: bits"},
        {"Fwd: x", "Fwd: x"},
        {"RE:", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(TForm1::StripReplyPrefixes(c.in), c.out) << c.in;
}

TEST(ReplyRules, ReplyAddresses) {
    const std::string to = "Me <me@x.test>, bob@x.test; ;carol@x.test";
    EXPECT_EQ(TForm1::ReplyAddresses("a@x.test", "", to, "me@x.test", false), "a@x.test");
    EXPECT_EQ(TForm1::ReplyAddresses("a@x.test", "r@x.test", to, "me@x.test", false), "r@x.test");
    EXPECT_EQ(TForm1::ReplyAddresses("a@x.test", "", to, TForm1::OwnAddress("Me <ME@x.test>"), true),
              "a@x.test;bob@x.test;carol@x.test");
    // No own address: nobody is left out.
    EXPECT_EQ(TForm1::ReplyAddresses("a@x.test", "", to, TForm1::OwnAddress(""), true),
              "a@x.test;Me <me@x.test>;bob@x.test;carol@x.test");
    EXPECT_EQ(TForm1::OwnAddress(" Me@X.test "), "me@x.test");
}

TEST(ReplyRules, ToggleBlocksGoUnclosedOnesStay) {
    const std::string page =
        "A<span style=\"cursor:pointer; padding:1px 10px; border-radius:8px; x\">Toggle</span><br>"
        "<SPAN ID=\"kwemallhdrs\" STYLE=\"display:none\">From: x</SPAN><BR>B"
        "<span id=\"kwemattached\">left open";
    EXPECT_EQ(TForm1::StripToggleBlocks(page), "AB<span id=\"kwemattached\">left open");
    // Today's pages: the blocks as the renderer writes them leave nothing.
    const std::string now = "A" + mailbox::ToggleBlock("kwemallhdrs", "From: x", "All Headers") + "B" +
                            mailbox::ToggleBlock("kwemattached", "<a href=\"f\">f</a>", "Attachments") + "C";
    EXPECT_EQ(TForm1::StripToggleBlocks(now), "ABC");
}

// Only the renderer's own file URLs of the message's own files are
// carried; every other form, and every other file, stays a link and is not
// listed.
TEST(ReplyRules, OnlyRendererLinksToOwnFilesAreCarried) {
    const fs::path dir = fs::temp_directory_path() / ("pwx-quote " + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string d = dir.string() + "/";
    for (const char* n : {"a b.png", "doc 1.pdf", "kw64_x.png", "other_1.png", "other_1.pdf", "other1.htm"})
        std::ofstream(d + n) << "x";
    const std::string good = mailbox::FileUrl(d + "a b.png");
    const std::string page =
        "<html><body>"
        "<IMG SRC=\"" + good + "\"><img src=\"" + good + "\">"
        "<IMG SRC=\"file://" + d + "a b.png\">"                                      // not encoded: no renderer URL
        "<IMG SRC=\"" + helpers::replaceall(good, "file:///", "file:////", true) + "\">"  // four slashes
        "<IMG SRC=\"" + mailbox::FileUrl(d + "sub/../a b.png") + "\">"
        "<IMG SRC=\"file:///etc/hostname\">"
        "<IMG SRC=\"" + mailbox::FileUrl(d + "gone.png") + "\">"
        "<IMG SRC=\"" + mailbox::FileUrl(d + "other_1.png") + "\">"                  // another message's
        "<BR> ATTACHMENT <A TARGET=\"_blank\" HREF=\"" + mailbox::FileUrl(d + "doc 1.pdf") + "\">doc</A><BR>"
        "<BR> ATTACHMENT <A TARGET=\"_blank\" HREF=\"file:///etc/passwd\">pw</A><BR>"
        "<BR> ATTACHMENT <A TARGET=\"_blank\" HREF=\"" + mailbox::FileUrl(d + "other_1.pdf") + "\">o</A><BR>"
        "<BR> ATTACHMENT <A TARGET=\"_blank\" HREF=\"" + mailbox::FileUrl(d + "other1.htm") + "\">p</A><BR>"
        "</body>after<IMG SRC=\"" + mailbox::FileUrl(d + "kw64_x.png") + "\"></html>";  // not quoted: attached
    const TForm1::TQuoted q =
        TForm1::QuotePage(page, "color:red;", {d + "a b.png", d + "doc 1.pdf", d + "kw64_x.png", d + "gone.png"});
    fs::remove_all(dir);

    EXPECT_EQ(q.Images, std::vector<std::string>{d + "a b.png"});
    EXPECT_EQ(q.Attachments, (std::vector<std::string>{d + "doc 1.pdf", d + "kw64_x.png"}));
    EXPECT_TRUE(has(q.Html, "<IMG SRC=\"cid:IMAGE1\"><img src=\"cid:IMAGE1\">")) << q.Html;
    EXPECT_TRUE(has(q.Html, "\"file://" + d + "a b.png\"")) << q.Html;
    EXPECT_TRUE(has(q.Html, "file:////")) << q.Html;
    EXPECT_TRUE(has(q.Html, "file:///etc/hostname")) << q.Html;
    EXPECT_TRUE(has(q.Html, "\"IMAGE:" + d + "gone.png\"")) << q.Html;
    EXPECT_TRUE(has(q.Html, "SRC=\"" + mailbox::FileUrl(d + "other_1.png") + "\"")) << q.Html;
    EXPECT_TRUE(has(q.Html, "<BR><I> ATTACHMENT " + mailbox::FileUrl(d + "doc 1.pdf") + "</I><BR>")) << q.Html;
    EXPECT_TRUE(has(q.Html, "HREF=\"file:///etc/passwd\">pw</A>")) << q.Html;
    EXPECT_TRUE(has(q.Html, "HREF=\"" + mailbox::FileUrl(d + "other_1.pdf") + "\">o</A>")) << q.Html;
    EXPECT_TRUE(has(q.Html, "HREF=\"" + mailbox::FileUrl(d + "other1.htm") + "\">p</A>")) << q.Html;
    EXPECT_EQ(q.Html.rfind("<BR><BR>In reply to :-<BR><BLOCKQUOTE STYLE=\"color:red;\">\r\n<html><body>", 0), 0u);
    EXPECT_EQ(q.Html.substr(q.Html.size() - 13), "</BLOCKQUOTE>");
    EXPECT_FALSE(has(q.Html, "after"));
}

TEST(ReplyRules, PageWithoutBodyEndIsQuotedWhole) {
    const TForm1::TQuoted q = TForm1::QuotePage("just text", "s", {});
    EXPECT_EQ(q.Html, "<BR><BR>In reply to :-<BR><BLOCKQUOTE STYLE=\"s\">\r\njust text</BLOCKQUOTE>");
}

TEST_F(ReplyWindow, ReplyQuotesThePageInUtf8) {
    const std::string chart = savedPart(".png"), report = savedPart(".pdf");
    ASSERT_FALSE(chart.empty());
    ASSERT_FALSE(report.empty());
    ASSERT_TRUE(has(page, mailbox::FileUrl(chart))) << "the renderer links its picture by file URL";
    m->SelectCharset("iso-8859-1");
    f->BitBtn10Click(f->BitBtn10);
    EXPECT_TRUE(m->Visible());
    EXPECT_EQ(m->emto->Text(), "Alice <alice@x.test>");
    EXPECT_EQ(m->emcc->Text(), "dave@x.test");
    EXPECT_EQ(m->emreplyto->Text(), "");
    EXPECT_EQ(m->subj->Text(), "RE: Where: plans");
    // The page is UTF-8 although the message came in iso-8859-1.
    EXPECT_EQ(f->Rows().Text(0, mailbox::rtCharset), "iso-8859-1");
    EXPECT_EQ(m->CharsetChosen(), "utf-8");
    const std::string body = m->bdy->Text();
    EXPECT_TRUE(has(body, "Caf\xC3\xA9 plans for Where: next week.")) << body;
    const size_t quote = body.find("<BR><BR>In reply to :-<BR><BLOCKQUOTE STYLE=\"" + m->BlockStyle + "\">");
    ASSERT_NE(quote, std::string::npos) << body;
    EXPECT_LT(body.find("<Enter Message Here>"), quote) << "the quote follows the template's text";
    EXPECT_TRUE(has(body, "</BLOCKQUOTE></BODY></HTML>")) << body;
    EXPECT_FALSE(has(body, "kwemallhdrs")) << body;
    EXPECT_FALSE(has(body, "Toggle All Headers")) << body;
    EXPECT_TRUE(has(body, "SRC=\"cid:IMAGE1\"")) << body;
    EXPECT_FALSE(has(body, mailbox::FileUrl(chart))) << body;
    EXPECT_TRUE(has(body, "SRC=\"file:///etc/hostname\"")) << "a link the renderer did not write stays a link";
    EXPECT_EQ(list(m->ListBox2), std::vector<std::string>{chart});
    EXPECT_EQ(list(m->ListBox1), std::vector<std::string>{report});
    EXPECT_TRUE(has(m->Label12->Caption(), "(1 Items")) << m->Label12->Caption();
}

TEST_F(ReplyWindow, ReplyAllLeavesOutTheOwnAddressOnly) {
    bool handled = false;
    f->BitBtn10->OnContextPopup(f->BitBtn10, ui::TPoint{1, 1}, handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(m->emto->Text(), "Alice <alice@x.test>;bob@x.test;carol@x.test");
    EXPECT_EQ(m->emcc->Text(), "dave@x.test");
    EXPECT_EQ(m->subj->Text(), "RE: Where: plans");

    // Without an own address everybody stays.
    m->emfrom->Text = "";
    f->ReplyToRow(TForm1::rmReplyAll);
    EXPECT_EQ(m->emto->Text(), "Alice <alice@x.test>;Me <me@x.test>;bob@x.test;carol@x.test");
}

TEST_F(ReplyWindow, TheViewersButtonsReplyAndForwardTheShownMessage) {
    ASSERT_NE(composer::brwsvwr, nullptr);
    bool handled = false;
    composer::brwsvwr->rply->OnContextPopup(composer::brwsvwr->rply, ui::TPoint{1, 1}, handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(m->emto->Text(), "Alice <alice@x.test>;bob@x.test;carol@x.test");
    EXPECT_EQ(m->subj->Text(), "RE: Where: plans");
    composer::brwsvwr->BitBtn13->OnClick(composer::brwsvwr->BitBtn13);
    EXPECT_EQ(m->emto->Text(), "");
    EXPECT_TRUE(has(m->subj->Text(), "Where: plans")) << m->subj->Text();
    EXPECT_FALSE(rtl::StartsText("RE:", m->subj->Text())) << m->subj->Text();
}

TEST_F(ReplyWindow, ForwardCarriesPictureAndAttachment) {
    m->emcc->Text = "left@x.test";
    dialogs->QueueResult(ui::mrNo);  // the changed message is offered as a draft first, and let go
    f->BitBtn13Click(f->BitBtn13);
    EXPECT_EQ(m->emto->Text(), "");
    EXPECT_EQ(m->emcc->Text(), "");
    EXPECT_EQ(m->subj->Text(), "FW: Where: plans");
    const std::string body = m->bdy->Text();
    EXPECT_TRUE(has(body, "<BR><BR>Forwarding :-<BR><BLOCKQUOTE STYLE=")) << body;
    EXPECT_FALSE(has(body, "In reply to :-")) << body;
    const std::string report = savedPart(".pdf");
    // The attachment stood after the message's HTML, in the page's hidden
    // "Attachments" block: the quote leaves the block out, the list has it.
    EXPECT_FALSE(has(body, "kwemattached")) << body;
    EXPECT_EQ(list(m->ListBox1), std::vector<std::string>{report});
    EXPECT_EQ(list(m->ListBox2), std::vector<std::string>{savedPart(".png")});
    EXPECT_EQ(m->CharsetChosen(), "utf-8");
}

TEST_F(ReplyWindow, DeletedPictureIsNamedNotListed) {
    const std::string chart = savedPart(".png");
    fs::remove(chart);
    f->ReplyToRow(TForm1::rmReply);
    EXPECT_TRUE(has(m->bdy->Text(), "SRC=\"IMAGE:" + chart + "\"")) << m->bdy->Text();
    EXPECT_TRUE(list(m->ListBox2).empty());
}

// A received page loaded beside the viewer is quoted as a reply quotes it.
TEST_F(ReplyWindow, StoredPageBesideTheViewerIsQuoted) {
    ui::TForm viewer(nullptr);
    viewer.Show();
    f->Viewer.Form = &viewer;
    mailbox::TScopeExit gone([this] { f->Viewer.Form = nullptr; });
    ASSERT_TRUE(m->LoadStoredFile("rcvd", std::string(f->Rows().Text(0, mailbox::rtPagePath))));
    const std::string body = m->bdy->Text();
    EXPECT_EQ(body.rfind(replytest::kTemplate.substr(0, 60), 0), 0u) << body;
    EXPECT_TRUE(has(body, "In reply to :-")) << body;
    EXPECT_TRUE(has(body, "SRC=\"cid:IMAGE1\"")) << body;
    EXPECT_EQ(list(m->ListBox2), std::vector<std::string>{savedPart(".png")});
    EXPECT_EQ(list(m->ListBox1), std::vector<std::string>{savedPart(".pdf")});
    EXPECT_EQ(m->emto->Text(), "");
}

// A message whose page links another message's picture, attachment and
// page: reply and forward carry this message's own files, and only them.
TEST_F(ReplyWindow, HostilePageCarriesOnlyItsOwnFiles) {
    const std::string otherPicture = savedPart(".png"), otherReport = savedPart(".pdf");
    const std::string otherPage(f->Rows().Text(0, mailbox::rtPagePath));
    ASSERT_FALSE(otherPicture.empty());
    ASSERT_FALSE(otherReport.empty());
    std::string message = helpers::loadtext(replytest::kData + "hostile.eml");
    message = helpers::replaceall(message, "@OTHER_PNG@", mailbox::FileUrl(otherPicture), true);
    message = helpers::replaceall(message, "@OTHER_PDF@", mailbox::FileUrl(otherReport), true);
    message = helpers::replaceall(message, "@OTHER_PAGE@", mailbox::FileUrl(otherPage), true);
    mailbox::TRenderInput in;
    in.lines.SetText(message);
    in.From = "Mallory <mallory@evil.test>";
    in.Subject = "Your files";
    in.HdrFrom = in.From;
    in.HdrTo = "Me <me@x.test>";
    in.HdrSubject = in.Subject;
    in.folder = f->RcvdFolder();
    in.programFolder = f->ProgramFolder;
    const mailbox::TRenderResult r = mailbox::RenderMessage(in);
    ASSERT_TRUE(r.ok) << ::testing::PrintToString(r.problems);
    mailbox::TRowStore& s = f->Rows();
    s.SetRowCount(2);
    s.Row(1).MessageNo = 2;
    s.SetText(1, mailbox::rtFrom, in.From);
    s.SetText(1, mailbox::rtSubject, in.Subject);
    s.SetText(1, mailbox::rtCharset, r.Charset);
    s.SetText(1, mailbox::rtPagePath, r.PagePath);
    s.SetText(1, mailbox::rtAttachment, r.Attachment);
    f->ListView1->Items->Count = 2;
    f->SelectRow(1);
    const std::string folder = f->RcvdFolder() + "/";
    const std::string stamp = folder + "stamp_1.png", notes = folder + "notes_1.txt";
    ASSERT_EQ(r.Attachment, stamp + "|" + notes + "|") << "the message's own parts";

    for (const int mode : {TForm1::rmReply, TForm1::rmForward}) {
        m->ClearLists();
        f->ReplyToRow(mode);
        EXPECT_EQ(list(m->ListBox2), std::vector<std::string>{stamp}) << mode;
        EXPECT_EQ(list(m->ListBox1), std::vector<std::string>{notes}) << mode;
        const std::string body = m->bdy->Text();
        EXPECT_TRUE(has(body, "SRC=\"cid:IMAGE1\"")) << body;
        EXPECT_FALSE(has(body, "cid:IMAGE2")) << body;
        // The other message's files are named by links that go nowhere.
        EXPECT_TRUE(has(body, mailbox::FileUrl(otherReport))) << body;
    }
}

TEST_F(ReplyWindow, NoSelectedRowNoReply) {
    m->subj->Text = "untouched";
    f->ListView1->Items->Count = 0;
    f->Rows().Clear();
    f->ReplyToRow(TForm1::rmForward);
    EXPECT_EQ(m->subj->Text(), "untouched");
}

// A forwarded attachment that is a program is not started from the
// composer's list: the opener refuses it and says so.
TEST_F(ReplyWindow, ForwardedProgramIsNeverExecuted) {
    const std::string script = f->RcvdFolder() + "/run_1.sh";
    std::ofstream(script) << "#!/bin/sh\ntouch " << folder << "ran\n";
    ::chmod(script.c_str(), 0755);
    std::string text = page;
    const size_t end = text.find("</BODY>");
    ASSERT_NE(end, std::string::npos);
    text.insert(end, "<BR> ATTACHMENT <A TARGET=\"_blank\" HREF=\"" + mailbox::FileUrl(script) + "\">" + script +
                         "</A><BR>");
    std::ofstream(std::string(f->Rows().Text(0, mailbox::rtPagePath)), std::ios::binary) << text;
    // Saved by this message's rendering, as a part of it would be.
    f->Rows().SetText(0, mailbox::rtAttachment, std::string(f->Rows().Text(0, mailbox::rtAttachment)) + script + "|");
    f->ReplyToRow(TForm1::rmForward);
    ASSERT_EQ(list(m->ListBox1).back(), script);

    std::vector<std::vector<std::string>> started;
    const win::TSpawner before = win::SetSpawner([&](const std::vector<std::string>& argv, int& error) -> int64_t {
        started.push_back(argv);
        error = 0;
        return 999999;
    });
    dialogs->QueueResult(ui::mrOk);
    m->ListBox1->ItemIndex = m->ListBox1->Items->Count - 1;
    m->ListBox1->OnDblClick(m->ListBox1);
    win::SetSpawner(before);
    EXPECT_TRUE(started.empty());
    EXPECT_FALSE(fs::exists(folder + "ran"));
    ASSERT_EQ(dialogs->prompts.size(), 1u);
    EXPECT_TRUE(has(dialogs->prompts[0].text, "not opened")) << dialogs->prompts[0].text;
}

}  // namespace

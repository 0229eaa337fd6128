// The message viewer over the real engine among the program's windows: the
// mailbox window's pages in it, previous and next through the list, edit
// mode on load and the editing commands.
#include <gtest/gtest.h>

#include <QWidget>
#include <filesystem>
#include <fstream>

#include "app/mainroutine.h"
#include "composer/brwsvwr.h"
#include "composer/mlsend.h"
#include "helpers/kwutil.h"
#include "helpers/typekeys.h"
#include "mailbox/kwdlgsrc.h"
#include "mailbox/kwdsply.h"
#include "mailbox/kwem1.h"
#include "mailbox/msgrows.h"
#include "platform/browser/webbrowser.h"
#include "platform/browser/pagesetup.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/printers.h"
#include "tests/support/shell.h"
#include "platform/ui/stdctrls.h"
#include "platform/rtl/sysutils.h"
#include "platform/speech/speech.h"
#include "platform/win/pump.h"

using composer::brwsvwr;
using mailbox::Form1;

namespace {

class Viewer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char dir[] = "/tmp/pwx-viewerXXXXXX";
        folder = mkdtemp(dir);
        folder += "/";
        helpers::homedir = folder;
        setenv("XDG_DATA_HOME", (folder + "userdata").c_str(), 1);  // the per-user files too
        app::CreateWindows();
        win::PumpUntil([] { return Form1->StartupSteps > 0; }, 5000);
    }
    // The windows stay to the end, as in the program: their engine must go
    // quietly with the application object.
    static void TearDownTestSuite() { std::filesystem::remove_all(folder); }
    void SetUp() override {
        ASSERT_NE(brwsvwr, nullptr);
        ASSERT_EQ(Form1->Viewer.Form, brwsvwr);
        ASSERT_EQ(Form1->Viewer.Browser, brwsvwr->curbrw);
        dialogs = std::make_unique<ui::TScriptedDialogs>();
    }
    void TearDown() override {
        EXPECT_EQ(dialogs->unexpected, 0) << "a dialog nobody expected was shown";
        dialogs.reset();
    }
    static std::string page(const std::string& name, const std::string& body) {
        const std::string path = folder + name;
        std::ofstream(path, std::ios::binary) << "<html><body>" << body << "</body></html>";
        return path;
    }
    static std::string bodyText() { return brwsvwr->Web().RunScript("document.body.textContent"); }
    // Waits until the viewer shows Path (its file line follows each
    // completed page of the list).
    static bool shows(const std::string& path) {
        return win::PumpUntil([&] { return std::string(brwsvwr->fnm->Text) == path; }, 30000);
    }

    static std::string folder;
    std::unique_ptr<ui::TScriptedDialogs> dialogs;
};
std::string Viewer::folder;

TEST(ViewerCommands, TableAndParameters) {
    ASSERT_EQ(composer::kViewerCommandCount, 111);
    // JUSTIFYFULL and ZOOMPERCENT share 50; the look-up finds the first.
    EXPECT_STREQ(composer::kViewerCommands[composer::ViewerCommandRow(50)].name, "JUSTIFYFULL");
    EXPECT_STREQ(composer::kViewerCommands[composer::ViewerCommandRow(2126)].name, "BROWSEMODE");
    EXPECT_EQ(composer::ViewerCommandRow(-9), -1);
    struct Case {
        const char* parm;
        bool isBool, flag;
        const char* text;
        int counterAfter;
    } cases[] = {
        {"True", true, true, "", 4},
        {"FALSE", true, false, "", 4},
        {"#00ff00", false, false, "#00ff00", 4},
        {"width=600 height=350", false, false, "ctl5 width=600 height=350", 5},
        {"", false, false, "ctl5 ", 5},
    };
    for (const Case& c : cases) {
        int counter = 4;
        const composer::TViewerParam p = composer::BuildViewerParam(c.parm, counter);
        EXPECT_EQ(p.isBool, c.isBool) << c.parm;
        EXPECT_EQ(p.flag, c.flag) << c.parm;
        EXPECT_EQ(p.text, c.text) << c.parm;
        EXPECT_EQ(counter, c.counterAfter) << c.parm;
    }
}

TEST_F(Viewer, WithoutAPageCommandsDoNothing) {
    EXPECT_EQ(brwsvwr->ExecCommand(52), 0);
    brwsvwr->cmdlis->ItemIndex = -1;
    const int counter = composer::Tbrwsvwr::ElementCounter;
    brwsvwr->pfmClick();
    EXPECT_EQ(composer::Tbrwsvwr::ElementCounter, counter);
}

TEST_F(Viewer, ShowsTheListsPagesAndMovesThroughIt) {
    const std::vector<std::string> pages = {page("m1.htm", "first message"), page("m2.htm", "second message"),
                                            page("m3.htm", "third message")};
    mailbox::TRowStore& s = Form1->Rows();
    s.SetRowCount(3);
    for (int r = 0; r < 3; ++r) {
        s.Row(r).MessageNo = r + 1;
        s.SetText(r, mailbox::rtSubject, "Subject " + std::to_string(r + 1));
        s.SetText(r, mailbox::rtPagePath, pages[r]);
    }
    s.Row(1).DeleteMark = true;
    Form1->ListView1->Items->Count = 3;
    Form1->SelectRow(0);
    Form1->BitBtn12Click(nullptr);  // shows the viewer with the selected row
    ASSERT_TRUE(brwsvwr->Visible());
    ASSERT_TRUE(shows(pages[0]));
    EXPECT_EQ(bodyText(), "first message");
    EXPECT_EQ(brwsvwr->fnm->Tag, 0);

    brwsvwr->nxtClick(false);  // skips the row flagged for deletion
    ASSERT_TRUE(shows(pages[2]));
    EXPECT_EQ(bodyText(), "third message");
    EXPECT_EQ(Form1->SelectedIndex(), 2);
    EXPECT_EQ(std::string(brwsvwr->Caption), "Pelliwox Message 3 of 3 - Subject 3");

    brwsvwr->nxtClick(true);  // at the last row: nothing
    win::PumpFor(200);
    EXPECT_EQ(Form1->SelectedIndex(), 2);

    brwsvwr->bckClick(true);  // the row just before, flagged or not
    ASSERT_TRUE(shows(pages[1]));
    EXPECT_EQ(bodyText(), "second message");
    EXPECT_EQ(std::string(brwsvwr->Caption), "Pelliwox Message 2 of 3 - *Deleted* Subject 2");

    brwsvwr->bckClick(false);
    ASSERT_TRUE(shows(pages[0]));
    EXPECT_EQ(Form1->SelectedIndex(), 0);
    brwsvwr->Hide();
}

// Reading aloud: the selection, else what is typed; a cancelled question
// says nothing; the next voice wraps round; no engine is a message.
TEST_F(Viewer, SaysTheSelectionOrWhatIsTyped) {
    const std::string wav = folder + "say.wav";
    brwsvwr->DropVoice();
    brwsvwr->MakeVoice = [wav] { return std::make_unique<speech::TSpVoice>(wav); };
    const std::string path = page("say.htm", "<p id=p>Hello from the viewer</p>");
    brwsvwr->fnm->Tag = -1;
    brwsvwr->Show();
    brwsvwr->curbrw->Navigate("file://" + path);
    ASSERT_TRUE(win::PumpUntil([] { return bodyText() == "Hello from the viewer"; }, 30000));
    auto type = [&](const std::string& text, bool ok) {
        dialogs->QueueModal([text, ok](ui::TForm& f) {
            auto& d = static_cast<mailbox::Tkwgrabstr&>(f);
            EXPECT_EQ(std::string(d.Caption()), "Say");
            d.Edit1->Text = text;
            (ok ? d.BitBtn1 : d.BitBtn2)->Click();
            return ui::mrNone;
        });
    };

    type("not this", false);
    brwsvwr->saybtnClick();
    EXPECT_EQ(brwsvwr->Voice(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(wav));

    type("typed words to say", true);
    brwsvwr->saybtnClick();
    ASSERT_NE(brwsvwr->Voice(), nullptr);
    ASSERT_TRUE(brwsvwr->Voice()->WaitUntilDone(30000));
    EXPECT_GT(std::filesystem::file_size(wav), 22050u);  // well over half a second
    EXPECT_EQ(composer::Tbrwsvwr::LastPhrase, "typed words to say");

    // With a selection nobody is asked (an unexpected dialog fails the test).
    brwsvwr->Web().RunScript(
        "var r=document.createRange();r.selectNodeContents(document.getElementById('p'));"
        "getSelection().removeAllRanges();getSelection().addRange(r);");
    std::filesystem::remove(wav);
    brwsvwr->saybtnClick();
    ASSERT_TRUE(brwsvwr->Voice()->WaitUntilDone(30000));
    EXPECT_TRUE(std::filesystem::exists(wav));
    EXPECT_EQ(composer::Tbrwsvwr::LastPhrase, "Hello from the viewer");

    const size_t n = brwsvwr->Voices.size();
    ASSERT_GT(n, 1u);
    const int start = composer::Tbrwsvwr::VoiceIndex;
    brwsvwr->saybtnContextPopup();
    EXPECT_NE(brwsvwr->Voice()->Voice().Identifier, brwsvwr->Voices[static_cast<size_t>(start)].Identifier);
    for (size_t i = 1; i < n; ++i) brwsvwr->saybtnContextPopup();
    EXPECT_EQ(composer::Tbrwsvwr::VoiceIndex, start);
    EXPECT_EQ(brwsvwr->Voice()->Voice().Identifier, brwsvwr->Voices[static_cast<size_t>(start)].Identifier);

    // Without a usable engine the user is told, and nothing breaks.
    brwsvwr->DropVoice();
    {
        speech::TSpVoice occupier(wav + "2");
        ASSERT_TRUE(occupier.Available());
        dialogs->QueueResult(ui::mrOk);
        brwsvwr->saybtnClick();
        EXPECT_EQ(brwsvwr->Voice(), nullptr);
        bool told = false;
        for (const ui::TPrompt& p : dialogs->prompts)
            told = told || p.text.find("Reading aloud is not available") != std::string::npos;
        EXPECT_TRUE(told);
    }

    // With no sound device the failure reaches the user once the voice has
    // tried (the selection is still there: nobody is asked).
    std::ofstream(folder + "no-sound.conf") << "";
    setenv("ALSA_CONFIG_PATH", (folder + "no-sound.conf").c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + folder + "no-such-socket").c_str(), 1);
    brwsvwr->MakeVoice = nullptr;
    brwsvwr->DropVoice();
    dialogs->QueueResult(ui::mrOk);
    brwsvwr->saybtnClick();
    auto toldFailure = [&] {
        for (const ui::TPrompt& p : dialogs->prompts)
            if (p.text.find("Reading aloud failed") != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(win::PumpUntil(toldFailure, 30000)) << "the failure to play was not told";
    EXPECT_NE(std::string(brwsvwr->StatusBar1->Panels[0]->Text).find("sound device"), std::string::npos);
    unsetenv("ALSA_CONFIG_PATH");
    unsetenv("PULSE_SERVER");
    brwsvwr->DropVoice();
    brwsvwr->Hide();
}

TEST_F(Viewer, OpensInEditModeAndInsertsOverTheSelection) {
    const std::string path = page("edit.htm", "<p id=p>Dear Sir</p>");
    brwsvwr->Panel2->Hide();
    brwsvwr->Panel3->Show();
    brwsvwr->fnm->Tag = -1;
    brwsvwr->Show();
    brwsvwr->EditOnLoad = true;
    brwsvwr->curbrw->Navigate("file://" + path);
    ASSERT_TRUE(win::PumpUntil([] { return brwsvwr->EditMode; }, 30000));
    EXPECT_FALSE(brwsvwr->EditOnLoad);
    EXPECT_EQ(brwsvwr->Web().RunScript("document.designMode"), "on");

    brwsvwr->Web().RunScript(
        "var r=document.createRange();r.selectNodeContents(document.getElementById('p'));"
        "getSelection().removeAllRanges();getSelection().addRange(r);");
    composer::Tbrwsvwr::ElementCounter = 4;
    brwsvwr->parm->Text = "title=\"a b\"";
    EXPECT_EQ(brwsvwr->ExecCommand(2357), browser::kCmdOk);
    EXPECT_EQ(brwsvwr->Web().RunScript("var e=document.getElementById('ctl5');e.tagName+'|'+e.textContent+'|'+e.title"),
              "SPAN|Dear Sir|a b");
    EXPECT_EQ(std::string(brwsvwr->parm->Text), "");
    EXPECT_EQ(std::string(brwsvwr->parm->Items->Strings[0]), "title=\"a b\"");
    EXPECT_EQ(std::string(brwsvwr->cmdlis->Items->Strings[brwsvwr->cmdlis->ItemIndex]), "INSERTSPAN");

    // A command the list does not offer, run by its number, says so.
    EXPECT_EQ(brwsvwr->ExecCommand(2264), browser::kCmdNotSupported);
    EXPECT_EQ(std::string(brwsvwr->StatusBar1->Panels[0]->Text), "Not supported by this browser: SETWALLPAPER");

    EXPECT_EQ(brwsvwr->ExecCommand(2126), browser::kCmdOk);
    EXPECT_FALSE(brwsvwr->EditMode);
    EXPECT_EQ(brwsvwr->Web().RunScript("document.designMode"), "off");
    brwsvwr->Hide();
}

}  // namespace

namespace {

TEST(TypeKeys, TypesIntoTheFocusedControlOnly) {
    ui::TForm form(nullptr);
    auto* edit = new ui::TEdit(&form);
    form.Show();
    form.Widget()->activateWindow();
    edit->SetFocus();
    ASSERT_TRUE(win::PumpUntil([&] { return edit->Focused(); }, 5000));
    // Shifted characters that are not letters come as their unshifted key.
    helpers::typekeys("Hi a!B?");
    EXPECT_EQ(std::string(edit->Text), "Hi a1B/");
    form.Hide();
    win::PumpUntil([&] { return !edit->Focused(); }, 5000);
    helpers::typekeys("x");  // no control of ours has the focus
    EXPECT_EQ(std::string(edit->Text), "Hi a1B/");
}

}  // namespace

namespace {

TEST(ViewerSave, PlaceholderTagsAndEscapes) {
    EXPECT_EQ(composer::StripPlaceholderTags("<!DOCTYPE html PUBLIC \"\" \"\"><p>a<ENTER message=\"\" here=\"\"></Enter>"
                                             "b<enter here=\"\" message=\"\"></enter></p>"),
              "<p>ab</p>");
    EXPECT_EQ(composer::SavedPageToBody("a &amp; b {~i~}x{~/i~} &AMP;"), "a & b <i>x</i> &AMP;");
}

TEST(ViewerPreview, EachImageReferenceGetsItsOwnFile) {
    std::vector<std::string> images;
    for (int i = 1; i <= 10; ++i) images.push_back("/img/" + std::to_string(i) + ".png");
    EXPECT_EQ(composer::PreviewPageText("<img src=\"cid:IMAGE1\"><IMG SRC=\"cid:image10\"><img src=\"cid:IMAGE11\">", images),
              "<img SRC=\"file:///img/1.png\"><IMG SRC=\"file:///img/10.png\"><img src=\"cid:IMAGE11\">");
}

}  // namespace


// Every command the list offers does its work on this engine (none says it
// is not supported); those that ask the user are answered here; where a
// command leaves a mark in the page, the mark is checked.
TEST_F(Viewer, EveryOfferedCommandWorks) {
    // Print preview opens the PDF on the desktop: here an opener that does nothing.
    const std::string bin = folder + "bin";
    std::filesystem::create_directories(bin);
    std::ofstream(bin + "/xdg-open") << "#!/bin/sh\nexit 0\n";
    std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
    const std::string oldPath = getenv("PATH");
    setenv("PATH", (bin + ":" + oldPath).c_str(), 1);

    const std::string path = page("commands.htm", "<p id=p>Alpha beta gamma</p>");
    std::ofstream(folder + "pic.png") << "not really a picture";
    const std::string url = "file://" + path;
    brwsvwr->Panel2->Hide();
    brwsvwr->Panel3->Show();
    brwsvwr->fnm->Tag = -1;
    brwsvwr->Show();
    const std::string savedAs = folder + "saved-as.htm";
    struct Case {
        const char* name;
        const char* parm;
        const char* html;   // the paragraph's markup before (null: the standard one)
        const char* check;  // a script that answers "true" when the command did its work
    };
    const Case cases[] = {
        {"BLOCKFMT", "h1", nullptr, "!!document.querySelector('h1')"},
        {"BOOKMARK", "", nullptr, "!!document.querySelector('a[name]')"},
        {"DELETEWORD", "", nullptr, "document.body.textContent.indexOf('beta')<0"},
        {"FONT", "", nullptr, "!!document.querySelector('span[style*=Courier]')"},
        {"FONTNAME", "Arial", nullptr, "document.body.innerHTML.indexOf('Arial')>=0"},
        {"HYPERLINK", "http://example.org/", nullptr, "!!document.querySelector('a[href]')"},
        {"JUSTIFYNONE", "", "<p id=p style=\"text-align:right\">Alpha beta gamma</p>",
         "document.getElementById('p').style.textAlign===''"},
        {"LINEBREAKLEFT", "", nullptr, "!!document.querySelector('br[clear=left]')"},
        {"LINEBREAKNORMAL", "", nullptr, "!!document.querySelector('br')"},
        {"NONBREAK", "", nullptr, "document.body.innerHTML.indexOf('&nbsp;')>=0"},
        {"REPLACE", "", nullptr, "document.body.textContent.indexOf('Alpha BETA gamma')>=0"},
        {"BACKCOLOR", "#00ff00", nullptr, nullptr},
        {"FORECOLOR", "#ff0000", nullptr, nullptr},
        {"FONTSIZE", "5", nullptr, nullptr},
        {"ZOOMPERCENT", "150", nullptr, nullptr},
        {"SAVEPICTURE", "", nullptr, nullptr},
        {"SAVEBACKGROUND", "", nullptr, nullptr},
        {"UNBOOKMARK", "", "<p id=p>Alpha <a name=x>beta</a> gamma</p>",
         "!document.querySelector('a')&&document.body.textContent.indexOf('Alpha beta gamma')>=0"},
    };
    auto find = [&](const std::string& name) -> const Case* {
        for (const Case& c : cases)
            if (name == c.name) return &c;
        return nullptr;
    };
    for (int i = 0; i < composer::kViewerCommandCount; ++i) {
        const composer::TViewerCommand& command = composer::kViewerCommands[i];
        const int row = brwsvwr->cmdlis->Items->IndexOf(command.name);
        if (!composer::ViewerCommandOffered(command)) {
            EXPECT_LT(row, 0) << command.name << " is listed";
            continue;
        }
        ASSERT_GE(row, 0) << command.name << " is not listed";
        SCOPED_TRACE(command.name);
        if (brwsvwr->Web().LocationUrl() != url) {
            brwsvwr->curbrw->Navigate(url);
            ASSERT_TRUE(win::PumpUntil([&] { return brwsvwr->Web().LocationUrl() == url && !brwsvwr->Web().Busy(); },
                                       30000));
        }
        const Case* c = find(command.name);
        const std::string html = c && c->html ? c->html : "<p id=p>Alpha beta gamma</p>";
        ASSERT_EQ(html.find('\''), std::string::npos);
        brwsvwr->Web().RunScript("document.designMode='on';document.body.innerHTML='" + html + "';" +
                                 "var a=document.querySelector('#p a'),t=document.getElementById('p').firstChild,"
                                 "r=document.createRange();if(a){r.selectNodeContents(a);}else{r.setStart(t,6);"
                                 "r.setEnd(t,10);}getSelection().removeAllRanges();getSelection().addRange(r);");
        const std::string name = command.name;
        if (name == "FONT")
            dialogs->QueueDialog([](ui::TCommonDialog& d) {
                auto& f = dynamic_cast<ui::TFontDialog&>(d);
                f.Font->Name = "Courier";
                f.Font->Size = 14;
                return true;
            });
        if (name == "SAVEAS")
            dialogs->QueueDialog([&](ui::TCommonDialog& d) {
                dynamic_cast<ui::TSaveDialog&>(d).FileName = savedAs;
                return true;
            });
        if (name == "OPEN" || name == "PRINT" || name == "EXECPRINT" || name == "PAGESETUP")
            dialogs->QueueDialogResult(false);
        if (name == "PROPERTIES" || name == "HELP_ABOUT") dialogs->QueueResult(ui::mrOk);
        if (name == "REPLACE") dialogs->QueueInput("beta"), dialogs->QueueInput("BETA");
        if (name == "SAVEBACKGROUND") {
            brwsvwr->Web().RunScript("document.body.style.backgroundImage='url(pic.png)'");
            dialogs->QueueDialog([&](ui::TCommonDialog& d) {
                dynamic_cast<ui::TSaveDialog&>(d).FileName = folder + "saved-background.png";
                return true;
            });
        }
        if (name == "SAVEPICTURE") {
            // The page's picture, selected as a click selects it.
            brwsvwr->Web().RunScript("var i=document.createElement('img');i.src='pic.png';"
                                     "document.getElementById('p').appendChild(i);var r=document.createRange();"
                                     "r.selectNode(i);getSelection().removeAllRanges();getSelection().addRange(r);");
            dialogs->QueueDialog([&](ui::TCommonDialog& d) {
                auto& save = dynamic_cast<ui::TSaveDialog&>(d);
                EXPECT_EQ(save.FileName, "pic.png");
                save.FileName = folder + "saved-picture.png";
                return true;
            });
        }
        if (name == "FIND") dialogs->QueueInput("gamma");
        brwsvwr->EditMode = true;  // as the page now is
        brwsvwr->parm->Text = c && c->parm ? c->parm : "";
        brwsvwr->cmdlis->ItemIndex = row;
        brwsvwr->pfmClick();
        const std::string status = brwsvwr->StatusBar1->Panels[0]->Text;
        EXPECT_EQ(status.rfind("Not supported", 0), std::string::npos) << status;
        if (c && c->check) {
            EXPECT_EQ(status.rfind("Not done", 0), std::string::npos) << status;
            EXPECT_EQ(brwsvwr->Web().RunScript(c->check), "true")
                << status << "\n" << brwsvwr->Web().RunScript("document.body.innerHTML");
        }
        // Going back, forward or to a new page starts a load a moment later;
        // the engine selects what it found a moment after it answers.
        for (const char* moving : {"GOBACKWARD", "GOFORWARD", "REFRESH", "NEW", "STOP", "FIND"})
            if (name == moving) win::PumpFor(300);
        win::PumpUntil([] { return !brwsvwr->Web().Busy(); }, 10000);
    }
    brwsvwr->parm->Text = "100";
    EXPECT_EQ(brwsvwr->ExecCommand(browser::kCmdZoomPercent), browser::kCmdOk);
    EXPECT_NE(helpers::loadtext(savedAs).find("Alpha"), std::string::npos);
    EXPECT_EQ(helpers::loadtext(folder + "saved-picture.png"), "not really a picture");
    EXPECT_EQ(helpers::loadtext(folder + "saved-background.png"), "not really a picture");
    EXPECT_TRUE(mailbox::kwdsply && mailbox::kwdsply->Visible()) << "no page source shown";
    if (mailbox::kwdsply) {
        EXPECT_NE(std::string(mailbox::kwdsply->Memo1->Text).find("Alpha"), std::string::npos);
        mailbox::kwdsply->Hide();
    }
    EXPECT_GE(brwsvwr->parm->Items->IndexOf("h1"), 0) << "the block formats are not offered";

    // Every entry of the more-options menu has its command.
    std::vector<ui::TMenuItem*> entries;
    for (int i = 0; i < brwsvwr->PopupMenu1->Items->Count(); ++i) {
        ui::TMenuItem* item = brwsvwr->PopupMenu1->Items->Items(i);
        if (item->Count() == 0) entries.push_back(item);
        for (int j = 0; j < item->Count(); ++j) entries.push_back(item->Items(j));
    }
    for (ui::TMenuItem* item : entries) {
        SCOPED_TRACE(std::string(item->Caption));
        EXPECT_TRUE(bool(item->OnClick)) << "an entry that does nothing";
        if (std::string(item->Caption) == "Page Setup") dialogs->QueueDialogResult(false);
        if (std::string(item->Caption) == "About the Browser Engine") dialogs->QueueResult(ui::mrOk);
        if (brwsvwr->Web().LocationUrl() != url) {
            brwsvwr->curbrw->Navigate(url);
            ASSERT_TRUE(win::PumpUntil([&] { return !brwsvwr->Web().Busy(); }, 30000));
        }
        brwsvwr->Web().RunScript("document.designMode='on'");
        item->Click();
        const std::string status = brwsvwr->StatusBar1->Panels[0]->Text;
        EXPECT_EQ(status.rfind("Not supported", 0), std::string::npos) << status;
    }
    setenv("PATH", oldPath.c_str(), 1);
    brwsvwr->ExecCommand(2126);
    brwsvwr->Hide();
}

// Printing goes through the printer the print dialog chose (here a PDF
// file) with the sheet the page set-up gave it.
TEST_F(Viewer, PrintsOnThePrinterWithThePageSetUp) {
    const std::string path = page("print.htm", "<p>Quarterly figures enclosed</p>");
    brwsvwr->Show();
    brwsvwr->curbrw->Navigate(path);
    ASSERT_TRUE(win::PumpUntil([&] { return brwsvwr->Web().HasDocument() && !brwsvwr->Web().Busy(); }, 30000));
    ASSERT_TRUE(win::PumpUntil([&] { return bodyText() == "Quarterly figures enclosed"; }, 30000));

    const std::string pdf = folder + "printed.pdf";
    ui::Printer()->SetOutputFileName(pdf);
    dialogs->QueueDialog([](ui::TCommonDialog& d) {
        auto& setup = dynamic_cast<browser::TPageSetupDialog&>(d);
        setup.Landscape = true;
        setup.MarginLeft = 50;
        return true;
    });
    brwsvwr->ExecCommand(2004);  // page set-up, from the command list
    dialogs->QueueDialogResult(true);
    brwsvwr->ExecCommand(27);  // print
    ui::Printer()->SetOutputFileName("");
    ASSERT_EQ(dialogs->dialogs, (std::vector<std::string>{"TPageSetupDialog", "TPrintDialog"}));
    ASSERT_TRUE(std::filesystem::exists(pdf)) << "nothing was printed";

    EXPECT_NE(testsupport::Shell("pdftotext " + pdf + " -").output.find("Quarterly figures enclosed"), std::string::npos);
    // Landscape: the sheet is wider than high.
    const std::string info = testsupport::Shell("pdfinfo " + pdf).output;
    double w = 0, h = 0;
    const size_t at = info.find("Page size:");
    ASSERT_NE(at, std::string::npos) << info;
    ASSERT_EQ(std::sscanf(info.c_str() + at, "Page size: %lf x %lf", &w, &h), 2) << info;
    EXPECT_GT(w, h) << info;
    // The text starts after the 50 mm left margin (about 142 points).
    const std::string boxes = testsupport::Shell("pdftotext -bbox " + pdf + " -").output;
    const size_t word = boxes.find("xMin=\"");
    ASSERT_NE(word, std::string::npos) << boxes;
    EXPECT_GT(std::atof(boxes.c_str() + word + 6), 140.0) << boxes;

    brwsvwr->Hide();
}

// However narrow the window, every control of both bars stays inside it.
TEST_F(Viewer, BarsWrapToTheWindowsWidth) {
    brwsvwr->Panel2->Show();
    brwsvwr->Panel3->Show();
    brwsvwr->Show();
    for (int width : {350, 660, 1024}) {
        brwsvwr->Width = width;
        ASSERT_TRUE(win::PumpUntil([&] { return brwsvwr->Panel2->Width == brwsvwr->ClientWidth; }, 5000));
        win::ProcessMessages();
        for (ui::TPanel* bar : {brwsvwr->Panel2, brwsvwr->Panel3})
            for (int i = 0; i < bar->ControlCount(); ++i) {
                ui::TControl* c = bar->Controls(i);
                if (!c->Visible()) continue;
                EXPECT_LE(c->Left + c->Width, bar->ClientWidth) << width << " " << c->ClassName();
                EXPECT_LE(c->Top + c->Height, bar->Height) << width << " " << c->ClassName();
            }
    }
    // At the narrowest, the navigation bar takes more than one row.
    brwsvwr->Width = 350;
    ASSERT_TRUE(win::PumpUntil([&] { return brwsvwr->Panel2->Height > 34; }, 5000));
    brwsvwr->Panel3->Hide();
    brwsvwr->Hide();
}

TEST_F(Viewer, PreviewOpensInEditModeAndSavesBackToTheComposer) {
    brwsvwr->Panel2->Show();
    brwsvwr->Panel3->Hide();
    ASSERT_TRUE(brwsvwr->ShowPreview("<html><body><p id=p>Hello &amp; welcome</p><Enter Message Here></body></html>",
                                     {}, "Plans"));
    EXPECT_EQ(std::string(brwsvwr->Caption), "Pelliwox Message Viewer - Preview of Plans");
    EXPECT_FALSE(brwsvwr->Panel2->Visible());
    EXPECT_TRUE(brwsvwr->Panel3->Visible());
    EXPECT_EQ(brwsvwr->fnm->Tag, -1);
    ASSERT_TRUE(win::PumpUntil([] { return brwsvwr->EditMode; }, 30000));

    brwsvwr->Web().RunScript(
        "var r=document.createRange(),t=document.getElementById('p').firstChild;r.setStart(t,0);r.setEnd(t,5);"
        "getSelection().removeAllRanges();getSelection().addRange(r);");
    EXPECT_EQ(brwsvwr->ExecCommand(52), browser::kCmdOk);
    brwsvwr->svbtnClick();
    const std::string body = composer::mlsend->bdy->Text;
    EXPECT_NE(body.find("<b>Hello</b> & welcome</p>"), std::string::npos) << body;
    EXPECT_EQ(rtl::LowerCase(body).find("<enter"), std::string::npos) << body;
    EXPECT_EQ(rtl::LowerCase(body).find("</enter"), std::string::npos) << body;
    const std::string saved = helpers::loadtext(folder + "kwemailprvw.htm");
    EXPECT_NE(saved.find("<b>Hello</b> &amp; welcome"), std::string::npos) << saved;
    brwsvwr->ExecCommand(2126);
    brwsvwr->Hide();
}

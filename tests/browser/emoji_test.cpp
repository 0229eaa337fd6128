// The viewer's emoji window over the real engine: the page the build writes
// holds the emoji data's fully-qualified emoji under their groups; a pick in
// the window lands at the caret of the page being edited; the page loads once
// per file date; a missing page shows the engine's own error page.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <filesystem>
#include <set>
#include <fstream>
#include <sstream>
#include <utime.h>

#include "app/mainroutine.h"
#include "composer/brwsvwr.h"
#include "helpers/kwutil.h"
#include "mailbox/kwem1.h"
#include "platform/browser/webbrowser.h"
#include "platform/ui/clipbrd.h"
#include "platform/ui/dialogs.h"
#include "platform/win/pump.h"

using composer::brwsvwr;
using mailbox::Form1;

namespace {

std::string utf8(char32_t c) {
    std::string s;
    if (c < 0x80) {
        s += char(c);
    } else if (c < 0x800) {
        s += char(0xC0 | (c >> 6));
        s += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        s += char(0xE0 | (c >> 12));
        s += char(0x80 | ((c >> 6) & 0x3F));
        s += char(0x80 | (c & 0x3F));
    } else {
        s += char(0xF0 | (c >> 18));
        s += char(0x80 | ((c >> 12) & 0x3F));
        s += char(0x80 | ((c >> 6) & 0x3F));
        s += char(0x80 | (c & 0x3F));
    }
    return s;
}

// Hex code points separated by Sep as text.
std::string fromCodes(const std::string& codes, char sep) {
    std::string out, word;
    std::istringstream in(codes);
    while (std::getline(in, word, sep))
        if (!word.empty() && word != " ") out += utf8(char32_t(std::stoul(word, nullptr, 16)));
    return out;
}

// One emoji of the data or of the page: the emoji, its group, its subgroup.
struct TEntry {
    std::string text, group, subgroup;
    bool operator==(const TEntry&) const = default;
    bool operator<(const TEntry& o) const { return text < o.text; }
};

// The data's fully-qualified emoji in file order, read straight from the
// test data ("codes ; status # comment" under "# group:" and "# subgroup:").
std::vector<TEntry> dataEmoji() {
    std::ifstream in(EMOJI_TEST_TXT);
    EXPECT_TRUE(in) << EMOJI_TEST_TXT;
    std::vector<TEntry> out;
    std::string line, group, subgroup;
    while (std::getline(in, line)) {
        if (line.rfind("# group: ", 0) == 0) group = line.substr(9);
        if (line.rfind("# subgroup: ", 0) == 0) {
            subgroup = line.substr(12);
            std::replace(subgroup.begin(), subgroup.end(), '-', ' ');
        }
        const size_t semi = line.find(';'), hash = line.find('#');
        if (line.empty() || line[0] == '#' || semi == std::string::npos || hash < semi) continue;
        // Statuses are padded: "; fully-qualified     #".
        std::istringstream status(line.substr(semi + 1, hash - semi - 1));
        std::string word;
        status >> word;
        if (word != "fully-qualified") continue;
        out.push_back({fromCodes(line.substr(0, semi), ' '), group, subgroup});
    }
    return out;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Emoji : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char dir[] = "/tmp/pwx-emojiXXXXXX";
        folder = mkdtemp(dir);
        folder += "/";
        helpers::homedir = folder;
        std::filesystem::copy_file(EMOJI_PAGE, folder + "kwem_emojisrc.htm");
        app::CreateWindows();
        win::PumpUntil([] { return Form1->StartupSteps > 0; }, 5000);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(folder); }
    void SetUp() override {
        ASSERT_NE(brwsvwr, nullptr);
        dialogs = std::make_unique<ui::TScriptedDialogs>();
    }
    void TearDown() override {
        EXPECT_EQ(dialogs->unexpected, 0) << "a dialog nobody expected was shown";
        EXPECT_TRUE(dialogs->prompts.empty()) << dialogs->prompts.front().text;
        dialogs.reset();
    }

    // The viewer as the composer's preview leaves it: the command bar, and
    // Body in edit mode.
    static void editPage(composer::Tbrwsvwr& v, const std::string& name, const std::string& body) {
        const std::string path = folder + name;
        std::ofstream(path, std::ios::binary) << "<html><body>" << body << "</body></html>";
        v.Panel2->Hide();
        v.Panel3->Show();
        v.fnm->Tag = -1;
        v.Show();
        v.EditOnLoad = true;
        v.curbrw->Navigate("file://" + path);
        ASSERT_TRUE(win::PumpUntil([&] { return v.EditMode && !v.Web().Busy(); }, 30000));
    }
    // Puts the caret into the text of the element Id at Offset.
    static void caret(composer::Tbrwsvwr& v, const std::string& id, int offset) {
        v.Web().RunScript("var t=document.getElementById('" + id +
                          "').firstChild,r=document.createRange();r.setStart(t," + std::to_string(offset) +
                          ");r.collapse(true);getSelection().removeAllRanges();getSelection().addRange(r);");
    }
    // Waits for the emoji window's page; the engine may take a moment after
    // the load before its scripts reach the new document.
    static bool emojiLoaded(composer::Tbrwsvwr& v) {
        return win::PumpUntil(
            [&] {
                return v.embrow && v.embrow->HasDocument() && !v.embrow->Busy() &&
                       v.embrow->RunScript("document.readyState") == "complete";
            },
            30000);
    }
    // Clicks the emoji link with the code Pick in the emoji window with the
    // mouse, as a person does.
    static void clickPick(composer::Tbrwsvwr& v, const std::string& pick) {
        const std::string at = v.embrow->RunScript(
            "var a=document.querySelector('a[href=\"?pick=" + pick +
            "\"]');a.scrollIntoView({block:'center'});var r=a.getBoundingClientRect();"
            "Math.round(r.left+r.width/2)+','+Math.round(r.top+r.height/2)");
        const size_t comma = at.find(',');
        ASSERT_NE(comma, std::string::npos) << at;
        QWidget* target = v.embrow->Widget()->focusProxy();
        ASSERT_NE(target, nullptr);
        const QPoint p(std::stoi(at.substr(0, comma)), std::stoi(at.substr(comma + 1)));
        QTest::mouseMove(target, p);
        QTest::mouseClick(target, Qt::LeftButton, {}, p);
    }
    static std::string text(composer::Tbrwsvwr& v, const std::string& id) {
        return v.Web().RunScript("document.getElementById('" + id + "').textContent");
    }

    static std::string folder;
    std::unique_ptr<ui::TScriptedDialogs> dialogs;
};
std::string Emoji::folder;

// Every fully-qualified emoji of the data, once, in the data's order, under
// its group and subgroup, each a link whose address names its own code points.
TEST_F(Emoji, PageHoldsEveryFullyQualifiedEmojiUnderItsGroups) {
    const std::vector<TEntry> want = dataEmoji();
    ASSERT_GT(want.size(), 3000u);
    browser::TWebBrowser web;
    web.Navigate(EMOJI_PAGE);
    ASSERT_TRUE(win::PumpUntil([&] { return web.HasDocument() && !web.Busy(); }, 30000));
    const std::string json = web.RunScript(
        "JSON.stringify(Array.from(document.querySelectorAll('a.e')).map(function(a){"
        "var s=a.closest('section'),d=a.closest('.subgroup');"
        "return [a.textContent,a.getAttribute('href'),s?s.querySelector('h2').textContent:'',"
        "d?d.querySelector('h3').textContent:''];}))");
    const QJsonArray links = QJsonDocument::fromJson(QByteArray::fromStdString(json)).array();
    std::vector<TEntry> got;
    for (const auto& l : links) {
        const QJsonArray a = l.toArray();
        const std::string text = a[0].toString().toStdString(), href = a[1].toString().toStdString();
        got.push_back({text, a[2].toString().toStdString(), a[3].toString().toStdString()});
        ASSERT_EQ(href.rfind("?pick=", 0), 0u) << href;
        EXPECT_EQ(fromCodes(href.substr(6), '-'), text) << href;
    }
    const std::set<TEntry> wantSet(want.begin(), want.end()), gotSet(got.begin(), got.end());
    std::vector<std::string> missing, extra;
    for (const TEntry& e : wantSet)
        if (!gotSet.count(e)) missing.push_back(e.text);
    for (const TEntry& e : gotSet)
        if (!wantSet.count(e)) extra.push_back(e.text);
    EXPECT_TRUE(missing.empty()) << missing.size() << " missing, the first " << missing.front();
    EXPECT_TRUE(extra.empty()) << extra.size() << " not in the data, the first " << extra.front();
    EXPECT_EQ(got.size(), gotSet.size()) << "an emoji is on the page twice";
    EXPECT_TRUE(got == want) << "the page's groups or order differ from the data's";
}

TEST_F(Emoji, PickLandsAtTheCaretOfTheEditedPage) {
    composer::Tbrwsvwr::EmojiPageDate = 0;
    editPage(*brwsvwr, "letter.htm", "<p id=p>Dear Sir</p><p id=q>Regards</p>");
    caret(*brwsvwr, "p", 5);
    ui::Clipboard()->AsText = "what the user had";
    // Nothing of the emoji page goes to the desktop's opener.
    std::vector<std::string> opened;
    brwsvwr->embrow->OpenExternal = [&](const std::string& url) {
        opened.push_back(url);
        return true;
    };

    brwsvwr->emoti->Click();
    EXPECT_TRUE(brwsvwr->embrow->Visible());
    EXPECT_FALSE(brwsvwr->Web().Visible());
    ASSERT_TRUE(emojiLoaded(*brwsvwr));
    EXPECT_TRUE(brwsvwr->EmojiArmed);

    // The pick closes the window at once; the paste comes after the
    // window's 400 ms, into the page at its caret.
    clickPick(*brwsvwr, "1F600");
    ASSERT_TRUE(win::PumpUntil([] { return !brwsvwr->embrow->Visible(); }, 10000));
    EXPECT_TRUE(brwsvwr->Web().Visible());
    EXPECT_TRUE(brwsvwr->Timer1->Enabled);
    ASSERT_TRUE(win::PumpUntil([] { return text(*brwsvwr, "p") != "Dear Sir"; }, 10000));
    EXPECT_EQ(text(*brwsvwr, "p"), "Dear \xF0\x9F\x98\x80Sir");
    EXPECT_EQ(text(*brwsvwr, "q"), "Regards");
    EXPECT_FALSE(brwsvwr->Timer1->Enabled);
    // The pick is what the clipboard holds now.
    EXPECT_EQ(std::string(ui::Clipboard()->AsText), "\xF0\x9F\x98\x80");
    // The link was not followed: the window still shows the page itself.
    EXPECT_EQ(brwsvwr->embrow->LocationUrl(), "file://" + folder + "kwem_emojisrc.htm");
    EXPECT_TRUE(opened.empty()) << opened.front();

    // Again, with a sequence of code points further down the page: it
    // follows the first pick, the caret having moved past it.
    brwsvwr->emotiClick();
    ASSERT_TRUE(brwsvwr->embrow->Visible());
    EXPECT_FALSE(brwsvwr->embrow->Busy());
    clickPick(*brwsvwr, "1F469-200D-1F692");
    ASSERT_TRUE(win::PumpUntil([] { return text(*brwsvwr, "p") != "Dear \xF0\x9F\x98\x80Sir"; }, 10000));
    EXPECT_EQ(text(*brwsvwr, "p"), "Dear \xF0\x9F\x98\x80\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x9A\x92Sir");
    EXPECT_FALSE(brwsvwr->embrow->Visible());

    // A new page in the document browser closes an open emoji window.
    brwsvwr->emotiClick();
    ASSERT_TRUE(brwsvwr->embrow->Visible());
    editPage(*brwsvwr, "other.htm", "<p id=p>Other</p>");
    EXPECT_FALSE(brwsvwr->embrow->Visible());
    EXPECT_TRUE(brwsvwr->Web().Visible());
    EXPECT_TRUE(opened.empty()) << opened.front();
    brwsvwr->embrow->OpenExternal = nullptr;
    brwsvwr->ExecCommand(2126);
    brwsvwr->Hide();
}

TEST_F(Emoji, PageLoadsOncePerFileDate) {
    const std::string path = folder + "kwem_emojisrc.htm";
    composer::Tbrwsvwr::EmojiPageDate = 0;
    editPage(*brwsvwr, "plain.htm", "<p id=p>Text</p>");
    int loads = 0;
    brwsvwr->embrow->OnDocumentComplete = [&](const std::string&) { ++loads; };
    brwsvwr->emotiClick();
    ASSERT_TRUE(emojiLoaded(*brwsvwr));
    EXPECT_EQ(loads, 1);
    brwsvwr->embrow->RunScript("document.body.setAttribute('data-seen','yes')");

    // Closed and opened again: the page stays as it is.
    brwsvwr->emotiClick();
    EXPECT_FALSE(brwsvwr->embrow->Visible());
    brwsvwr->emotiClick();
    EXPECT_TRUE(brwsvwr->embrow->Visible());
    EXPECT_FALSE(brwsvwr->embrow->Busy());
    EXPECT_EQ(brwsvwr->embrow->RunScript("document.body.getAttribute('data-seen')"), "yes");
    brwsvwr->emotiClick();
    EXPECT_EQ(loads, 1);

    // A new file (an hour newer) is loaded at the next opening.
    const std::string original = readFile(path);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        << "<html><body><p id=new>replaced</p><a class=e href=\"?pick=41\">A</a></body></html>";
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    const utimbuf later{st.st_atime + 3600, st.st_mtime + 3600};
    ASSERT_EQ(::utime(path.c_str(), &later), 0);
    brwsvwr->emotiClick();
    ASSERT_TRUE(emojiLoaded(*brwsvwr));
    EXPECT_EQ(brwsvwr->embrow->RunScript("document.getElementById('new').textContent"), "replaced");
    EXPECT_EQ(brwsvwr->embrow->RunScript("String(document.body.getAttribute('data-seen'))"), "null");
    EXPECT_TRUE(brwsvwr->EmojiArmed);
    EXPECT_TRUE(brwsvwr->embrow->Visible());
    EXPECT_EQ(loads, 2);
    brwsvwr->emotiClick();
    brwsvwr->embrow->OnDocumentComplete = nullptr;

    std::ofstream(path, std::ios::binary | std::ios::trunc) << original;
    brwsvwr->ExecCommand(2126);
    brwsvwr->Hide();
}

TEST_F(Emoji, MissingPageShowsTheEnginesErrorPageQuietly) {
    const std::string path = folder + "kwem_emojisrc.htm";
    const std::string kept = folder + "kept.htm";
    std::filesystem::rename(path, kept);
    composer::Tbrwsvwr::EmojiPageDate = 0;
    editPage(*brwsvwr, "plain2.htm", "<p id=p>Text</p>");
    brwsvwr->emotiClick();
    ASSERT_TRUE(emojiLoaded(*brwsvwr));
    // The engine's page about the missing file, in the window, which stays
    // open: its load is no pick.
    EXPECT_NE(brwsvwr->embrow->RunScript("document.documentElement.innerText").find("ERR_FILE_NOT_FOUND"),
              std::string::npos);
    EXPECT_TRUE(brwsvwr->embrow->Visible());
    EXPECT_FALSE(brwsvwr->Timer1->Enabled);
    // Opened again while the file is still missing: no new load.
    brwsvwr->emotiClick();
    brwsvwr->emotiClick();
    EXPECT_FALSE(brwsvwr->embrow->Busy());
    brwsvwr->emotiClick();
    EXPECT_EQ(text(*brwsvwr, "p"), "Text");
    std::filesystem::rename(kept, path);
    brwsvwr->ExecCommand(2126);
    brwsvwr->Hide();
    // TearDown: nothing reported.
}

// The window closes, or goes altogether, between a pick and its paste.
TEST_F(Emoji, WindowGoingWhileThePasteWaits) {
    composer::Tbrwsvwr::EmojiPageDate = 0;
    editPage(*brwsvwr, "hidden.htm", "<p id=p>Hello</p>");
    caret(*brwsvwr, "p", 5);
    brwsvwr->emotiClick();
    ASSERT_TRUE(emojiLoaded(*brwsvwr));
    clickPick(*brwsvwr, "1F600");
    ASSERT_TRUE(win::PumpUntil([] { return !brwsvwr->embrow->Visible(); }, 10000));
    ASSERT_TRUE(brwsvwr->Timer1->Enabled);
    brwsvwr->Hide();
    // Closed: the pick is not pasted, and stays on the clipboard.
    EXPECT_FALSE(brwsvwr->Timer1->Enabled);
    win::PumpUntil([] { return false; }, 700);
    EXPECT_EQ(text(*brwsvwr, "p"), "Hello");
    EXPECT_EQ(std::string(ui::Clipboard()->AsText), "\xF0\x9F\x98\x80");

    // A second viewer that is destroyed while its paste waits.
    composer::Tbrwsvwr* const main = brwsvwr;
    composer::Tbrwsvwr::EmojiPageDate = 0;
    auto* other = new composer::Tbrwsvwr(nullptr);
    editPage(*other, "gone.htm", "<p id=p>Gone</p>");
    other->emotiClick();
    ASSERT_TRUE(emojiLoaded(*other));
    clickPick(*other, "1F600");
    ASSERT_TRUE(win::PumpUntil([&] { return !other->embrow->Visible(); }, 10000));
    ASSERT_TRUE(other->Timer1->Enabled);
    delete other;
    brwsvwr = main;
    win::PumpUntil([] { return false; }, 700);
    EXPECT_EQ(brwsvwr, main);
}

}  // namespace

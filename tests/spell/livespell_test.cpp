// Spelling as you type in the live-spelling rich edit, on the offscreen
// platform with real key events: which words carry the wavy underline and
// when, live correction, tags and quoted lines, ignore once, the spelling
// menu on a word, and the marks against the colours.
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/dialogs.h"
#include "platform/ui/menus.h"
#include "platform/ui/stdctrls.h"
#include "platform/win/pump.h"
#include "spell/lx3richedit.h"
#include "spell/lx3spellbase.h"
#include "tests/spell/spell_support.h"
#include "tests/ui/form_fixture.h"

using namespace spell;
using spelltest::TempDir;

namespace {

using Words = std::vector<std::string>;

QPlainTextEdit* editorOf(ui::TControl* c) { return static_cast<QPlainTextEdit*>(c->Widget()); }

// The texts under a wavy underline, line by line in order, as the control
// holds them (UTF-8).
Words marked(ui::TRichEdit* edit) {
    Words out;
    for (QTextBlock b = editorOf(edit)->document()->begin(); b.isValid(); b = b.next()) {
        QString run;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.charFormat().underlineStyle() == QTextCharFormat::WaveUnderline) {
                run += f.text();
                continue;
            }
            if (!run.isEmpty()) out.push_back(run.toStdString());
            run.clear();
        }
        if (!run.isEmpty()) out.push_back(run.toStdString());
    }
    return out;
}

class LiveSpelling : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        spelltest::writeLxm(dir.path("English.lxm"), {"cat", "hello", "mat", "on", "sat", "the", "there", "world",
                                                       "word", "said", "today", "caf\xE9", "na\xEFve", "quoted", "end", "second", "line",
                                                       "plain", "here", "fine", "words", "one"});
        spell = std::make_unique<TLexiroSpell3Base>();
        spell->WriteConfigStorage(csNone);
        spell->WriteConfigDictionaryDir({dir.dir()});
        spell->WriteDefaultMain({"English.lxm"});
        spell->WriteDefaultActiveCustom(dir.path("user.lxu"));
        spell->WriteSuggestionsDictFN(dir.path("learned.lxl"));
        spell->WriteDefaultOptions({soHTML, soQuoted});
        spell->Configuration().EnsureLoaded();
        ASSERT_NE(spell->ActiveCustomDictionary(), nullptr);
        spell->ActiveCustomDictionary()->AddAutoCorrect("teh", "the");

        edit = new TLexiroRichEdit(form.get());
        edit->Parent = form.get();
        edit->SetBounds(5, 5, 390, 290);
        edit->WriteLiveSpellingOptions(false);
        edit->WriteLexiroSpell(spell.get());
        showForm();
        edit->SetFocus();
        settle();
    }
    void TearDown() override {
        edit->WriteLexiroSpell(nullptr);
        form.reset();
    }
    static void settle() {
        for (int i = 0; i < 3; ++i) win::ProcessMessages();
    }
    void type(const char* text) {
        QTest::keyClicks(editorOf(edit), text);
        settle();
    }
    void key(Qt::Key k) {
        QTest::keyClick(editorOf(edit), k);
        settle();
    }
    void setText(const std::string& text) {
        edit->Text = text;
        settle();
    }
    // The client point of byte position Pos's character, inside it.
    ui::TPoint pointOf(int64_t pos) {
        ui::TPoint p = edit->PosFromChar(pos);
        return {p.X + 2, p.Y + 3};
    }

    TempDir dir;
    std::unique_ptr<TLexiroSpell3Base> spell;
    TLexiroRichEdit* edit = nullptr;
};

}  // namespace

TEST_F(LiveSpelling, AWordIsUnderlinedOnlyOnceTheCaretHasLeftIt) {
    ASSERT_TRUE(edit->Engine().UnderliningActive());
    type("helo");
    EXPECT_EQ(marked(edit), Words{});
    type(" ");
    EXPECT_EQ(marked(edit), Words{"helo"});
    // The next word as it is typed, letter by letter: never while the caret
    // stands right behind it.
    for (const char* part : {"w", "r", "o", "l", "d"}) {
        type(part);
        EXPECT_EQ(marked(edit), Words{"helo"}) << part;
    }
    // Leaving the line shows it; so does the focus going elsewhere.
    key(Qt::Key_Home);
    EXPECT_EQ(marked(edit), (Words{"helo", "wrold"}));
    edit->Text = "";
    settle();
    type("wrod");
    EXPECT_EQ(marked(edit), Words{});
    auto* other = new ui::TEdit(form.get());
    other->Parent = form.get();
    other->SetFocus();
    settle();
    EXPECT_EQ(marked(edit), Words{"wrod"});
}

TEST_F(LiveSpelling, UnderlinesFollowEditsAndLandOnTheWordAfterWideCharacters) {
    // Accented letters (two bytes, one column), curly quotes (three bytes)
    // and an emoji (four bytes, a column the code page lacks) before the word.
    setText("caf\xC3\xA9 \xE2\x80\x9Cquoted\xE2\x80\x9D \xF0\x9F\x98\x80 na\xC3\xAFve wrod end\r\nsecond lnie");
    EXPECT_EQ(marked(edit), (Words{"wrod", "lnie"}));
    // Lines put in above move the marks with their words.
    edit->Select(0, 0);
    edit->SetSelText("the cat\r\nsat on teh mat\r\n");
    settle();
    EXPECT_EQ(marked(edit), (Words{"teh", "wrod", "lnie"}));
    // A corrected word loses its mark; the others keep theirs.
    const std::string text = edit->Text();
    edit->Select(static_cast<int64_t>(text.find("lnie")), 4);
    edit->SetSelText("line");
    settle();
    EXPECT_EQ(marked(edit), (Words{"teh", "wrod"}));
    // The whole text put in again (as an undo of the program's history
    // does): the marks come back although each line reads as before.
    edit->Text = edit->Text();
    settle();
    EXPECT_EQ(marked(edit), (Words{"teh", "wrod"}));
    // No limit on a line's length.
    setText(std::string(20000, 'x') + " wrod");
    EXPECT_EQ(marked(edit), (Words{std::string(20000, 'x'), "wrod"}));
}

TEST_F(LiveSpelling, AnAutoCorrectPairIsReplacedAsTheWordEnds) {
    struct Case {
        const char* before;  // put in first
        const char* typed;   // typed after it
        std::string text;    // what the body holds then
        int64_t caret;       // where the caret is
    } cases[] = {
        {"", "teh ", "the ", 4},
        {"", "teh,", "the,", 4},
        {"", "Teh ", "Teh ", 4},                                           // no pair for it
        {"", "tehx ", "tehx ", 5},
        {"\xF0\x9F\x98\x80 caf\xC3\xA9 ", "teh.", "\xF0\x9F\x98\x80 caf\xC3\xA9 the.", 15},  // after wide characters
        {"", "teh-", "teh-", 4},                                           // not a word-ending character
        {"", "teh x", "the x", 5},  // keys in one burst: the next one comes before the view settles
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.before) + c.typed);
        setText(c.before);
        edit->Select(edit->GetTextLen(), 0);
        type(c.typed);
        EXPECT_EQ(edit->Text(), c.text);
        EXPECT_EQ(edit->SelStart(), c.caret);
        EXPECT_EQ(edit->SelLength(), 0);
    }
    // Typed in the middle of a line, the text behind stays as it was.
    setText("teh\r\nmore");
    edit->Select(3, 0);
    type(" ");
    EXPECT_EQ(edit->Text(), "the \r\nmore");
    EXPECT_EQ(edit->SelStart(), 4);
    // Without live correction the pair stays.
    edit->WriteLiveCorrect(false);
    setText("");
    type("teh ");
    EXPECT_EQ(edit->Text(), "teh ");
}

TEST_F(LiveSpelling, TagsAndQuotedLinesAreLeftAlone) {
    setText("<p class=\"wrod\" title=\"tset\">wrod</p>\r\n"
            "> quoted lnie wtih errors\r\n"
            "<!-- a cmment -->\r\n"
            "plain lnie");
    EXPECT_EQ(marked(edit), (Words{"wrod", "lnie"}));
    EXPECT_EQ(edit->Engine().LineErrors(0).size(), 1u);
    EXPECT_EQ(edit->Engine().LineErrors(0)[0].StartChar, 29);
    EXPECT_TRUE(edit->Engine().LineErrors(1).empty());
    // Without the options the same text is checked word by word.
    spell->Configuration().WriteSpellOptions({});
    settle();
    const Words all = marked(edit);
    EXPECT_GT(all.size(), 6u);
    EXPECT_NE(std::find(all.begin(), all.end(), "cmment"), all.end());
}

TEST_F(LiveSpelling, TheSpellingMenuReplacesIgnoresAndAdds) {
    ui::TScriptedDialogs dialogs;
    // Picks the entry at a path of captions ("&Change All", "word").
    auto pick = [&](std::vector<std::string> path) {
        dialogs.QueueMenu([path](ui::TPopupMenu& m) -> ui::TMenuItem* {
            ui::TMenuItem* at = m.Items;
            for (const auto& caption : path) {
                ui::TMenuItem* next = nullptr;
                for (int i = 0; i < at->Count() && !next; ++i)
                    if (at->Items(i)->Caption() == caption) next = at->Items(i);
                if (!next) return nullptr;
                at = next;
            }
            return at;
        });
    };
    setText("the wrod sat\r\nthe wrod on the mat wrod");
    ASSERT_EQ(marked(edit), (Words{"wrod", "wrod", "wrod"}));
    const int64_t second = static_cast<int64_t>(edit->Text().find("wrod", 8));

    // Ignore once: only where the same word stands before it.
    pick({"I&gnore"});
    EXPECT_FALSE(edit->Engine().ContextMenu(pointOf(second + 1)));
    settle();
    EXPECT_EQ(marked(edit), Words{"wrod"});  // the two after "the" are let be, the one after "mat" is not
    // ...and only while the menu offers Ignore.
    edit->WriteLiveMenuOptions({spReplace, spAdd});
    edit->Engine().MarkAllLinesDirty();
    edit->ViewChangedLater();
    settle();
    EXPECT_EQ(marked(edit), (Words{"wrod", "wrod", "wrod"}));
    edit->WriteLiveMenuOptions(AllSpellPopupOptions);

    // A suggestion replaces the word under the point.
    setText("a wrod sat\r\non wrod");
    pick({"word"});
    EXPECT_FALSE(edit->Engine().ContextMenu(pointOf(3)));
    settle();
    EXPECT_EQ(edit->Text(), "a word sat\r\non wrod");
    EXPECT_EQ(marked(edit), Words{"wrod"});

    // Change All: every occurrence, whole words only.
    setText("wrod a wrods wrod\r\nb wrod");
    pick({"&Change All", "word"});
    EXPECT_FALSE(edit->Engine().ContextMenu(pointOf(1)));
    settle();
    EXPECT_EQ(edit->Text(), "word a wrods word\r\nb word");
    EXPECT_EQ(marked(edit), Words{"wrods"});

    // Add: the word is the user's from now on, everywhere, and in the file.
    setText("a zorp b\r\nzorp");
    pick({"&Add"});
    EXPECT_FALSE(edit->Engine().ContextMenu(pointOf(3)));
    settle();
    EXPECT_EQ(marked(edit), Words{});
    TCustomDictionary onDisk;
    onDisk.WriteFilename(dir.path("user.lxu"));
    EXPECT_TRUE(onDisk.IgnoreExists("zorp"));

    // Off a misspelt word, or on a quoted line, the control's own menu.
    setText("fine words\r\n> a quoted wrod");
    EXPECT_TRUE(edit->Engine().ContextMenu(pointOf(1)));
    EXPECT_TRUE(edit->Engine().ContextMenu(pointOf(static_cast<int64_t>(edit->Text().find("wrod")) + 1)));
    // Nothing picked: nothing changes.
    setText("wrod");
    dialogs.QueueMenu([](ui::TPopupMenu&) { return nullptr; });
    EXPECT_FALSE(edit->Engine().ContextMenu(pointOf(1)));
    settle();
    EXPECT_EQ(edit->Text(), "wrod");
    EXPECT_EQ(dialogs.unexpected, 0);
}

TEST_F(LiveSpelling, ARightClickOnAMisspeltWordOpensItsMenu) {
    ui::TScriptedDialogs dialogs;
    std::string seen;
    dialogs.QueueMenu([&](ui::TPopupMenu& m) -> ui::TMenuItem* {
        seen = m.Items->Items(0)->Caption();
        return m.Items->Items(0);
    });
    setText("one wrod here");
    QWidget* viewport = editorOf(edit)->viewport();
    const ui::TPoint p = pointOf(5);
    const QPoint at = viewport->mapFrom(editorOf(edit), QPoint(p.X, p.Y));
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &click);
    settle();
    EXPECT_EQ(seen, "word");
    EXPECT_EQ(edit->Text(), "one word here");
    EXPECT_EQ(marked(edit), Words{});
    EXPECT_EQ(dialogs.menusShown, 1);
    // The menu key: at the caret, on the word there.
    setText("one wrod here");
    edit->Select(5, 0);
    dialogs.QueueMenu([](ui::TPopupMenu& m) { return m.Items->Items(0); });
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(0, 0), viewport->mapToGlobal(QPoint(0, 0)));
    QApplication::sendEvent(viewport, &key);
    settle();
    EXPECT_EQ(edit->Text(), "one word here");
    EXPECT_EQ(dialogs.unexpected, 0);
}

TEST_F(LiveSpelling, ReadOnlyTextShowsMarksOnlyWhenAskedTo) {
    setText("a wrod here");
    EXPECT_EQ(marked(edit), Words{"wrod"});
    edit->ReadOnly = true;
    settle();
    EXPECT_EQ(marked(edit), Words{});
    EXPECT_FALSE(edit->Engine().UnderliningActive());
    edit->WriteLiveSpellingReadOnly(true);
    settle();
    EXPECT_EQ(marked(edit), Words{"wrod"});
    // Without a component nothing is marked.
    edit->WriteLexiroSpell(nullptr);
    settle();
    EXPECT_EQ(marked(edit), Words{});
}

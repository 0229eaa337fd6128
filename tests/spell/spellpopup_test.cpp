// The spelling menu of one word: what it offers for which options and
// dictionaries, and what each pick records, on disk at once where it goes
// into a user dictionary.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/dialogs.h"
#include "platform/ui/menus.h"
#include "spell/lx3spellbase.h"
#include "spell/lx3spellpopup.h"
#include "tests/spell/spell_support.h"

using namespace spell;
using spelltest::TempDir;

namespace {

// The menu as "caption=tag" entries, a submenu's in brackets, disabled
// entries with a "!" in front.
std::string dump(const ui::TMenuItem* root) {
    std::string out;
    for (int i = 0; i < root->Count(); ++i) {
        const ui::TMenuItem* item = root->Items(i);
        if (!out.empty()) out += " | ";
        if (!item->Enabled()) out += "!";
        out += item->Caption() + "=" + std::to_string(item->Tag());
        if (item->Count() > 0) out += " [" + dump(item) + "]";
    }
    return out;
}

std::unique_ptr<TLexiroSpell3Base> makeSpell(const TempDir& dir, bool withUserDictionary) {
    spelltest::writeLxm(dir.path("English.lxm"), {"bat", "cat", "fat", "hat", "mat", "rat", "sat", "vat", "word"});
    auto spell = std::make_unique<TLexiroSpell3Base>();
    spell->WriteConfigStorage(csNone);
    spell->WriteConfigDictionaryDir({dir.dir()});
    spell->WriteDefaultMain({"English.lxm"});
    spell->WriteDefaultActiveCustom(withUserDictionary ? dir.path("user.lxu") : "");
    spell->WriteSuggestionsDictFN(dir.path("learned.lxl"));
    spell->WriteDefaultOptions({});
    return spell;
}

// Queues a pick of the entry at a path of captions; null where none is.
void pick(ui::TScriptedDialogs& dialogs, std::vector<std::string> path, std::string* seen = nullptr) {
    dialogs.QueueMenu([path, seen](ui::TPopupMenu& m) -> ui::TMenuItem* {
        if (seen) *seen = dump(m.Items);
        ui::TMenuItem* at = m.Items;
        for (const auto& caption : path) {
            ui::TMenuItem* next = nullptr;
            for (int i = 0; i < at->Count() && !next; ++i)
                if (at->Items(i)->Caption() == caption) next = at->Items(i);
            if (!next) return nullptr;
            at = next;
        }
        return path.empty() ? nullptr : at;
    });
}

TCustomDictionary* onDisk(const std::string& path, std::unique_ptr<TCustomDictionary>& holder) {
    holder = std::make_unique<TCustomDictionary>();
    holder->WriteFilename(path);
    return holder.get();
}

}  // namespace

TEST(SpellPopupMenu, OffersWhatTheOptionsAndDictionariesAllow) {
    struct Case {
        const char* name;
        const char* word;
        TSpellPopupOptions options;
        bool userDictionary;
        std::string menu;
    } cases[] = {
        {"everything", "wrod", AllSpellPopupOptions, true,
         "word=7 | -=0 | I&gnore=6 | &Ignore All=5 | &Add=4 | -=0 | &Change All=0 [word=3] | "
         "A&uto Correct=0 [word=2] | &Spelling ...=1"},
        // At most five suggestions, in each list.
        {"many suggestions", "dat", {spReplace, spChangeAll}, true,
         "bat=7 | cat=7 | fat=7 | hat=7 | mat=7 | -=0 | -=0 | &Change All=0 [bat=3 | cat=3 | fat=3 | hat=3 | mat=3]"},
        // Nothing to add to, nothing to auto-correct into.
        {"no user dictionary", "wrod", AllSpellPopupOptions, false,
         "word=7 | -=0 | I&gnore=6 | &Ignore All=5 | !&Add=4 | -=0 | &Change All=0 [word=3] | &Spelling ...=1"},
        {"no suggestions", "qqqqzz", AllSpellPopupOptions, true,
         "!(no suggestions)=0 | -=0 | I&gnore=6 | &Ignore All=5 | &Add=4 | -=0 | &Spelling ...=1"},
        {"two options", "wrod", {spIgnore, spDialog}, true, "I&gnore=6 | -=0 | &Spelling ...=1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        auto spell = makeSpell(dir, c.userDictionary);
        ui::TScriptedDialogs dialogs;
        std::string seen;
        pick(dialogs, {}, &seen);
        std::string word = c.word;
        EXPECT_EQ(ShowSpellPopupMenu(*spell, nullptr, c.options, 10, 10, word), prNone);
        EXPECT_EQ(seen, c.menu);
        EXPECT_EQ(word, c.word);
    }
}

TEST(SpellPopupMenu, EachPickIsRecordedAndTold) {
    struct Case {
        std::vector<std::string> path;
        int result;
        const char* word;
        bool learned, userPair, internalPair, userWord, internalWord;
    } cases[] = {
        {{"word"}, prReplace, "word", true, false, false, false, false},
        {{"A&uto Correct", "word"}, prAutoCorrect, "word", true, true, false, false, false},
        {{"&Change All", "word"}, prChangeAll, "word", true, false, true, false, false},
        {{"&Add"}, prAdd, "wrod", false, false, false, true, false},
        {{"&Ignore All"}, prIgnoreAll, "wrod", false, false, false, false, true},
        {{"I&gnore"}, prIgnore, "wrod", false, false, false, false, false},
        {{"&Spelling ..."}, prDialog, "wrod", false, false, false, false, false},
        {{}, prNone, "wrod", false, false, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        TempDir dir;
        auto spell = makeSpell(dir, true);
        std::vector<int> told;
        int listener = 0;
        spell->PopupResultEvents.Add(&listener, [&](void* notice) {
            const auto* n = static_cast<TLexiroSpell3Base::TPopupResultNotice*>(notice);
            EXPECT_EQ(n->Spell, spell.get());
            told.push_back(n->Result);
        });
        ui::TScriptedDialogs dialogs;
        pick(dialogs, c.path);
        std::string word = "wrod";
        EXPECT_EQ(ShowSpellPopupMenu(*spell, nullptr, AllSpellPopupOptions, 10, 10, word), c.result);
        EXPECT_EQ(word, c.word);
        EXPECT_EQ(told, std::vector<int>{c.result});
        EXPECT_EQ(dialogs.unexpected, 0);

        // What went into a user dictionary is in its file already, before
        // any unloading.
        std::unique_ptr<TCustomDictionary> user, learned;
        std::string r;
        EXPECT_EQ(onDisk(dir.path("user.lxu"), user)->AutoCorrectExists("wrod", r), c.userPair);
        if (c.userPair) EXPECT_EQ(r, "word");
        EXPECT_EQ(onDisk(dir.path("user.lxu"), user)->IgnoreExists("wrod"), c.userWord);
        EXPECT_EQ(onDisk(dir.path("learned.lxl"), learned)->AutoCorrectExists("wrod", r), c.learned);
        EXPECT_EQ(spell->InternalDictionary()->AutoCorrectExists("wrod", r), c.internalPair);
        EXPECT_EQ(spell->InternalDictionary()->IgnoreExists("wrod"), c.internalWord);
        EXPECT_EQ(spell->WordAcceptable("wrod"), c.userWord || c.internalWord);
    }
}

TEST(SpellPopupMenu, NoMenuForNoWordOrWhileOneIsOpen) {
    TempDir dir;
    auto spell = makeSpell(dir, true);
    ui::TScriptedDialogs dialogs;
    std::string empty;
    EXPECT_EQ(ShowSpellPopupMenu(*spell, nullptr, AllSpellPopupOptions, 0, 0, empty), prNone);
    EXPECT_EQ(dialogs.menusShown, 0);
    // A second menu of the same component while the first is up.
    int inner = -1;
    dialogs.QueueMenu([&](ui::TPopupMenu&) -> ui::TMenuItem* {
        std::string again = "wrod";
        inner = ShowSpellPopupMenu(*spell, nullptr, AllSpellPopupOptions, 0, 0, again);
        return nullptr;
    });
    std::string word = "wrod";
    EXPECT_EQ(ShowSpellPopupMenu(*spell, nullptr, AllSpellPopupOptions, 0, 0, word), prNone);
    EXPECT_EQ(inner, prNone);
    EXPECT_EQ(dialogs.menusShown, 1);
    // The result's own listener may change the outcome.
    TSpellPopupMenu menu(*spell);
    menu.OnPopupResult = [](const std::string& original, int& result, std::string& w) {
        EXPECT_EQ(original, "wrod");
        result = prIgnore;
        w = "kept";
    };
    pick(dialogs, {"&Spelling ..."});
    word = "wrod";
    EXPECT_EQ(menu.Show(nullptr, AllSpellPopupOptions, 0, 0, word), prIgnore);
    EXPECT_EQ(word, "kept");
}

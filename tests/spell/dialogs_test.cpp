// The configuration dialog and the custom dictionary dialogs, driven as a
// person drives them (clicks, keys, answers to their questions through the
// scripted dialogs), their settings read back from "Spell.cfg" and the user
// dictionaries' files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>
#include <QTabBar>
#include <QTest>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "platform/ui/dialogs.h"
#include "platform/win/pump.h"
#include "spell/lx3configdialog.h"
#include "spell/lx3customdialogs.h"
#include "spell/lxinifile.h"
#include "tests/spell/spell_support.h"

using namespace spell;
using spelltest::TempDir;

namespace {

// What the user's click on a row's check box does.
void userCheck(ui::TCheckListView* list, int row, bool on) {
    static_cast<QTreeWidget*>(list->Widget())->topLevelItem(row)->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
    QApplication::processEvents();  // the list tells its owner from the loop
}

// A click on a row's text.
void clickLabel(ui::TCheckListView* list, int row) {
    const ui::TRect r = list->LabelRect(row);
    QWidget* viewport = static_cast<QTreeWidget*>(list->Widget())->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {},
                      viewport->mapFrom(list->Widget(), QPoint(r.Left + 4, (r.Top + r.Bottom) / 2)));
    QApplication::processEvents();
}

// Renames a row in place as a person does: F2, the new text, Enter.
void editCaption(ui::TCheckListView* list, int row, const char* text) {
    list->ItemIndex = row;
    list->SetFocus();
    QTest::keyClick(list->Widget(), Qt::Key_F2);
    // The editor takes the focus (an earlier one may still await deletion).
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_TRUE(list->IsEditing());
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    // The view takes the text once the loop comes round.
    QApplication::processEvents();
    ASSERT_FALSE(list->IsEditing());
}

// On the box itself: a check box takes clicks on its box and its text only.
void clickBox(ui::TCheckBox* box) {
    QTest::mouseClick(box->Widget(), Qt::LeftButton, {}, QPoint(6, box->Height() / 2));
}

void clickRow(ui::TListBox* list, int row) {
    const ui::TRect r = list->ItemRect(row);
    QWidget* viewport = static_cast<QListWidget*>(list->Widget())->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, viewport->mapFrom(list->Widget(), QPoint(r.Left + 2, r.Top + 2)));
}

// Offscreen windows are not activated by showing; a person's window is.
void activate(ui::TForm& form) {
    QApplication::setActiveWindow(form.Widget());
    QApplication::processEvents();
}

void typeInto(ui::TEdit* edit, const char* text) {
    edit->SetFocus();
    QTest::keyClick(edit->Widget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit->Widget(), Qt::Key_Delete);
    QTest::keyClicks(edit->Widget(), text);
}

void clickTab(ui::TPageControl* pages, int index) {
    auto* bar = pages->Widget()->findChild<QTabBar*>();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
}

std::vector<std::string> rows(ui::TStrings& items) {
    std::vector<std::string> out;
    for (int i = 0; i < items.Count(); ++i) out.push_back(items[i]);
    return out;
}

std::vector<std::string> rows(ui::TCheckListView* list, int column = 0) {
    std::vector<std::string> out;
    for (int i = 0; i < list->Count(); ++i) out.push_back(column == 0 ? list->Caption(i) : list->SubItem(i, column));
    return out;
}

std::vector<bool> checks(ui::TCheckListView* list) {
    std::vector<bool> out;
    for (int i = 0; i < list->Count(); ++i) out.push_back(list->Checked[i]);
    return out;
}

class SpellDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        spelltest::writeLxm(dir.path("English.lxm"), {"cat", "dog", "house"}, 0x0809);
        spelltest::writeLxm(dir.path("Zulu.lxm"), {"cat"}, 0x0409);
        spelltest::writeFile(dir.path("Broken.lxm"), "not a dictionary");
        for (const char* name : {"a.lxu", "b.lxu", "user.lxu"}) {
            TCustomDictionary d;
            d.WriteFilename(dir.path(name));
            d.AddIgnore(std::string("word_") + name);
            ASSERT_TRUE(d.Save()) << d.LastError();
        }
        spell = makeSpell();
    }
    void TearDown() override { EXPECT_EQ(dialogs.unexpected, 0); }

    std::unique_ptr<TLexiroSpell3> makeSpell() {
        auto s = std::make_unique<TLexiroSpell3>();
        s->WriteConfigID("tester");
        s->WriteConfigFilename(dir.path("Spell.cfg"));
        s->WriteConfigDictionaryDir({dir.dir()});
        s->WriteDefaultMain({"English.lxm"});
        s->WriteDefaultActiveCustom("user.lxu");
        s->WriteDefaultOptions({soUpcase, soRepeated});
        s->WriteLearnSuggestions(false);
        s->WriteConfigStorage(csFile);
        return s;
    }
    // Lets the component go (which saves) and reads "Spell.cfg" in a new one.
    void reopen() {
        spell.reset();
        spell = makeSpell();
    }
    std::string stored(const char* key) const {
        const TLxIniFile ini(dir.path("Spell.cfg"));
        return ini.ReadString("tester", key, "(none)");
    }
    std::set<std::string> userDictionaries() const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.dir()))
            if (e.path().extension() == ".lxu") names.insert(e.path().filename().string());
        return names;
    }
    std::map<std::string, std::string> folderContents() const {
        std::map<std::string, std::string> files;
        for (const auto& e : std::filesystem::directory_iterator(dir.dir()))
            files[e.path().filename().string()] = spelltest::readFile(e.path().string());
        return files;
    }
    std::set<std::string> entries(const std::string& file) const {
        const auto lines = spelltest::pythonLines("lxuio.py", {"dump", dir.path(file)});
        return {lines.begin(), lines.end()};
    }
    // Runs the configuration dialog with Script and closes it with OK.
    void config(const std::function<void(TSpellCheckConfigDialog&)>& script) {
        dialogs.QueueModal([&](ui::TForm& form) {
            auto& d = dynamic_cast<TSpellCheckConfigDialog&>(form);
            script(d);
            QTest::mouseClick(d.OK->Widget(), Qt::LeftButton);
            return ui::mrNone;
        });
        EXPECT_TRUE(ShowSpellConfigDialog(*spell, nullptr));
    }
    void customList(const std::function<void(TCustomDictionariesDialog&)>& script) {
        dialogs.QueueModal([&](ui::TForm& form) {
            script(dynamic_cast<TCustomDictionariesDialog&>(form));
            return ui::mrOk;
        });
        EXPECT_TRUE(ShowCustomDictionariesDialog(*spell, nullptr));
    }
    int rowOf(TCustomDictionariesDialog& d, const std::string& caption) {
        for (int i = 0; i < d.CustomDictionaries->Count(); ++i)
            if (d.CustomDictionaries->Caption(i) == caption) return i;
        return -1;
    }

    TempDir dir;
    ui::TScriptedDialogs dialogs;
    std::unique_ptr<TLexiroSpell3> spell;
};

}  // namespace

TEST_F(SpellDialogs, EveryOptionBoxRoundTripsThroughSpellCfg) {
    struct Case {
        TSpellOption option;
        const char* key;
    } cases[] = {
        {soLiveSpelling, "_soLiveSpelling"}, {soLiveCorrect, "_soLiveCorrect"},   {soUpcase, "_soUpcase"},
        {soNumbers, "_soNumbers"},           {soHTML, "_soHTML"},                 {soInternet, "_soInternet"},
        {soQuoted, "_soQuoted"},             {soAbbreviations, "_soAbbreviations"}, {soRepeated, "_soRepeated"},
        {soUser2, "_soUser2"},
    };
    TSpellOptions available;
    for (const auto& c : cases) available.Include(c.option);
    spell->ConfigAvailableOptions = available;
    spell->ConfigUserOption[1] = "Ignore tags of my own";
    const TSpellOptions before = spell->Configuration().ReadSpellOptions();
    config([&](TSpellCheckConfigDialog& d) {
        ASSERT_EQ(d.OptionCount(), 10);
        for (int i = 0; i < 10; ++i) {
            ASSERT_TRUE(d.Option[i]->Visible());
            EXPECT_EQ(d.Option[i]->Tag(), cases[i].option);
            EXPECT_EQ(d.Option[i]->Caption(), spell->GetOptionString(cases[i].option));
            EXPECT_EQ(d.Option[i]->Checked(), before.Contains(cases[i].option)) << cases[i].key;
            clickBox(d.Option[i]);
        }
        EXPECT_EQ(d.Option[9]->Caption(), "Ignore tags of my own");
    });
    reopen();
    const TSpellOptions after = spell->Configuration().ReadSpellOptions();
    for (const auto& c : cases) {
        EXPECT_NE(after.Contains(c.option), before.Contains(c.option)) << c.key;
        EXPECT_EQ(stored(c.key), before.Contains(c.option) ? "-" : "+") << c.key;
    }
    // Options the dialog does not offer stay as they were.
    EXPECT_EQ(after.Contains(soDUalCaps), before.Contains(soDUalCaps));
    EXPECT_EQ(stored("_soDUalCaps"), "-");
}

TEST_F(SpellDialogs, MainDictionariesKeepTheOrderTheyWereChosenIn) {
    config([&](TSpellCheckConfigDialog& d) {
        EXPECT_EQ(rows(d.MainDictionaries), (std::vector<std::string>{"???", "Test", "Test", "Locate Dictionaries..."}));
        EXPECT_EQ(rows(d.MainDictionaries, 1),
                  (std::vector<std::string>{"Broken.lxm", "English.lxm", "Zulu.lxm", ""}));
        EXPECT_EQ(checks(d.MainDictionaries), (std::vector<bool>{false, true, false, false}));
        activate(d);
        clickLabel(d.MainDictionaries, 2);        // Zulu, by its title
        EXPECT_TRUE(d.MainDictionaries->Checked[2]);
        EXPECT_EQ(d.MainDictionaries->ItemIndex, -1);  // rows never stay selected
        userCheck(d.MainDictionaries, 0, true);   // the broken one can still be chosen
        userCheck(d.MainDictionaries, 1, false);  // English
    });
    reopen();
    EXPECT_EQ(stored("_Main_count"), "2");
    EXPECT_EQ(stored("_Main_0"), "Zulu.lxm");
    EXPECT_EQ(stored("_Main_1"), "Broken.lxm");
    spell->WordExists("cat");  // opens the dictionaries
    ASSERT_EQ(spell->MainDictionaries().size(), 1u);
    EXPECT_EQ(spell->MainDictionaries()[0]->Filename(), dir.path("Zulu.lxm"));
    // The broken one is told, once by each component that meets it.
    win::ProcessMessages();
    ASSERT_EQ(dialogs.prompts.size(), 2u);
    for (const auto& p : dialogs.prompts) EXPECT_NE(p.text.find(dir.path("Broken.lxm")), std::string::npos) << p.text;
    dialogs.unexpected = 0;

    config([&](TSpellCheckConfigDialog& d) {
        EXPECT_EQ(checks(d.MainDictionaries), (std::vector<bool>{true, false, true, false}));
        userCheck(d.MainDictionaries, 0, false);
        userCheck(d.MainDictionaries, 2, false);
    });
    reopen();
    EXPECT_EQ(stored("_Main_count"), "0");
    EXPECT_EQ(spell->Configuration().ReadMainDictionaries().Count(), 0);
}

TEST_F(SpellDialogs, TheDropDownChoosesTheActiveCustomDictionary) {
    config([&](TSpellCheckConfigDialog& d) {
        EXPECT_EQ(rows(*d.CustomCombo->Items), (std::vector<std::string>{"a.lxu", "b.lxu", "user.lxu"}));
        EXPECT_EQ(d.CustomCombo->ItemIndex, 2);
        d.CustomCombo->SetFocus();
        QTest::keyClick(d.CustomCombo->Widget(), Qt::Key_Up);
    });
    reopen();
    EXPECT_EQ(stored("_ActiveCustom"), "b.lxu");
    EXPECT_TRUE(spell->WordAcceptable("word_b.lxu"));
    config([&](TSpellCheckConfigDialog& d) { EXPECT_EQ(d.CustomCombo->ItemIndex, 1); });
}

// As the program configures it: the active dictionary by its full path, in
// a folder of its own, not written yet. The drop-down shows its name (the
// path would push it out of sight) and gives the path back when chosen.
TEST_F(SpellDialogs, AnActiveDictionaryNamedByItsPathShowsByItsName) {
    const std::string path = dir.path("a-rather-long-folder-name/of/the/user/mine.lxu");
    spell->Configuration().WriteActiveCustom(path);
    config([&](TSpellCheckConfigDialog& d) {
        ASSERT_EQ(rows(*d.CustomCombo->Items), (std::vector<std::string>{"mine.lxu", "a.lxu", "b.lxu", "user.lxu"}));
        EXPECT_EQ(d.CustomCombo->ItemIndex, 0);
        d.CustomCombo->SetFocus();
        QTest::keyClick(d.CustomCombo->Widget(), Qt::Key_Down);
        QTest::keyClick(d.CustomCombo->Widget(), Qt::Key_Up);
    });
    reopen();
    EXPECT_EQ(stored("_ActiveCustom"), path);
}

TEST_F(SpellDialogs, ResetDefaultsRefillsTheDialog) {
    config([&](TSpellCheckConfigDialog& d) {
        userCheck(d.MainDictionaries, 2, true);
        clickBox(d.Option[0]);  // Ignore words in uppercase: off
        QTest::mouseClick(d.ResetButton->Widget(), Qt::LeftButton);
        EXPECT_EQ(checks(d.MainDictionaries), (std::vector<bool>{false, true, false, false}));
        EXPECT_TRUE(d.Option[0]->Checked());
    });
    EXPECT_EQ(spell->Configuration().ReadMainDictionaries().Items(), std::vector<std::string>{"English.lxm"});
    EXPECT_TRUE(spell->Configuration().ReadSpellOptions().Contains(soUpcase));
}

TEST_F(SpellDialogs, LocatingAFolderAddsItsDictionaries) {
    TempDir other;
    spelltest::writeLxm(other.path("Extra.lxm"), {"cat"}, 0x0409);
    config([&](TSpellCheckConfigDialog& d) {
        dialogs.QueueDialog([&](ui::TCommonDialog& browse) {
            EXPECT_EQ(browse.Title, "Choose Folder Containing Dictionaries");
            dynamic_cast<ui::TBrowseFolderDialog&>(browse).Directory = other.dir() + "/";
            return true;
        });
        userCheck(d.MainDictionaries, 3, true);
        EXPECT_EQ(rows(d.MainDictionaries, 1),
                  (std::vector<std::string>{"Broken.lxm", "English.lxm", "Zulu.lxm", "Extra.lxm", ""}));
        EXPECT_FALSE(d.MainDictionaries->Checked[4]);
        userCheck(d.MainDictionaries, 3, true);
    });
    reopen();
    EXPECT_EQ(stored("_NewPaths_0"), other.dir());
    EXPECT_EQ(stored("_Main_1"), "Extra.lxm");
    spell->WordExists("cat");
    ASSERT_EQ(spell->MainDictionaries().size(), 2u);
    EXPECT_EQ(spell->MainDictionaries()[1]->Filename(), other.path("Extra.lxm"));
}

// The forms know only their mediator: without a component they show
// nothing and do nothing; the mediator takes the first component, its
// configuration and the options it offers.
TEST_F(SpellDialogs, TheDialogsReachTheComponentThroughTheirMediator) {
    TSpellCheckConfigDialog d(nullptr);
    EXPECT_EQ(d.OptionCount(), 0);
    EXPECT_EQ(d.MainDictionaries->Count(), 0);
    QTest::mouseClick(d.DictionariesButton->Widget(), Qt::LeftButton);  // nothing to open
    QTest::mouseClick(d.ResetButton->Widget(), Qt::LeftButton);
    EXPECT_TRUE(dialogs.modals.empty());

    spell->ConfigAvailableOptions = {soUpcase, soNumbers, soQuoted};  // not the options switched on
    ASSERT_EQ(spell->SetupDialogControl(&d, nullptr), d.DialogControl);
    EXPECT_EQ(d.DialogControl->LexiroSpell(), spell.get());
    EXPECT_EQ(d.DialogControl->Configuration(), &spell->Configuration());
    EXPECT_TRUE(d.DialogControl->AvailableOptions() == spell->ConfigAvailableOptions);
    EXPECT_EQ(d.OptionCount(), 3);
    EXPECT_EQ(d.Option[2]->Tag(), soQuoted);
    EXPECT_EQ(d.MainDictionaries->Count(), 4);  // three dictionaries and "Locate"
    TLexiroSpell3 other;
    d.DialogControl->WriteLexiroSpell(&other);
    EXPECT_EQ(d.DialogControl->LexiroSpell(), spell.get()) << "a second component is ignored";

    TCustomDictionariesDialog list(nullptr);
    EXPECT_EQ(list.CustomDictionaries->Count(), 0);
    spell->SetupDialogControl(&list, nullptr);
    EXPECT_GT(list.CustomDictionaries->Count(), 0);
}

TEST_F(SpellDialogs, CommandsAndOptionCountShapeTheDialog) {
    spell->ConfigAvailableOptions = {soUpcase, soNumbers, soRepeated};
    TSpellCheckConfigDialog three(nullptr);
    spell->SetupDialogControl(&three, nullptr);
    spell->ConfigAvailableOptions = {soLiveSpelling, soLiveCorrect, soUpcase, soNumbers, soHTML,
                                     soInternet,     soQuoted,      soAbbreviations, soPrimaryOnly, soRepeated};
    TSpellCheckConfigDialog ten(nullptr);
    spell->SetupDialogControl(&ten, nullptr);
    EXPECT_EQ(ten.Height() - three.Height(), 112);
    EXPECT_EQ(three.OptionCount(), 3);
    EXPECT_FALSE(three.Option[3]->Visible());
    EXPECT_EQ(ten.OK->Top() - three.OK->Top(), 112);
    EXPECT_FALSE(ten.HelpButton->Visible());  // no help context

    spell->CommandsVisible &= ~(CommandBit(sdcCustomDictionaries) | CommandBit(sdcCustomDictionary) |
                                CommandBit(sdcConfigOK) | CommandBit(sdcMainDictFolderBrowse));
    spell->CommandsEnabled &= ~CommandBit(sdcResetDefaults);
    spell->UILanguage = ltGerman;
    TSpellCheckConfigDialog bare(nullptr);
    spell->SetupDialogControl(&bare, nullptr);
    EXPECT_FALSE(bare.CustomCombo->Visible());
    EXPECT_FALSE(bare.CustomLabel->Visible());
    EXPECT_EQ(bare.MainDictionaries->Height(), 137);  // down to the button's bottom
    EXPECT_EQ(bare.DictionariesGroup->Height(), ten.DictionariesGroup->Height() + 30);
    EXPECT_TRUE(bare.ResetButton->Enabled());  // shown means usable
    EXPECT_EQ(bare.MainDictionaries->Count(), 3);  // no "Locate" row
    EXPECT_EQ(bare.Caption(), GetStringUtf8(lsSpellingOptions, ltGerman));
}

// ------------------------------------------------------ the custom list

TEST_F(SpellDialogs, NewDictionariesKeepOnlyTheirNameWithTheUserExtension) {
    customList([&](TCustomDictionariesDialog& d) {
        EXPECT_EQ(rows(d.CustomDictionaries), (std::vector<std::string>{"a.lxu", "b.lxu", "user.lxu"}));
        EXPECT_EQ(checks(d.CustomDictionaries), (std::vector<bool>{false, false, false}));
        dialogs.QueueModal([&](ui::TForm& form) {
            auto& prompt = dynamic_cast<TNewCustomDictionary&>(form);
            EXPECT_EQ(prompt.Caption(), "New Custom Dictionary");
            QTest::keyClicks(prompt.NameEdit->Widget(), "notes/Fresh.txt");
            return ui::mrOk;
        });
        QTest::mouseClick(d.NewButton->Widget(), Qt::LeftButton);
        EXPECT_EQ(d.CustomDictionaries->ItemIndex, rowOf(d, "Fresh.lxu"));
        EXPECT_TRUE(d.CustomDictionaries->Checked[rowOf(d, "Fresh.lxu")]);
        // A name that is listed already only selects its row.
        dialogs.QueueModal([&](ui::TForm& form) {
            QTest::keyClicks(dynamic_cast<TNewCustomDictionary&>(form).NameEdit->Widget(), "C:\\x\\a.dic");
            return ui::mrOk;
        });
        QTest::mouseClick(d.NewButton->Widget(), Qt::LeftButton);
        EXPECT_EQ(d.CustomDictionaries->ItemIndex, rowOf(d, "a.lxu"));
        // Cancel creates nothing.
        dialogs.QueueModal([&](ui::TForm& form) {
            QTest::keyClicks(dynamic_cast<TNewCustomDictionary&>(form).NameEdit->Widget(), "never");
            return ui::mrCancel;
        });
        QTest::mouseClick(d.NewButton->Widget(), Qt::LeftButton);
    });
    EXPECT_EQ(userDictionaries(), (std::set<std::string>{"Fresh.lxu", "a.lxu", "b.lxu", "user.lxu"}));
    EXPECT_FALSE(std::filesystem::exists(dir.path("notes")));
    reopen();
    EXPECT_EQ(stored("_Custom_0"), "Fresh.lxu");
}

TEST_F(SpellDialogs, DeletingAsksAndRemovesOnlyThatFile) {
    customList([&](TCustomDictionariesDialog& d) {
        userCheck(d.CustomDictionaries, rowOf(d, "a.lxu"), true);
        clickLabel(d.CustomDictionaries, rowOf(d, "b.lxu"));
        dialogs.QueueResult(ui::mrNo);
        QTest::mouseClick(d.DeleteButton->Widget(), Qt::LeftButton);
        EXPECT_EQ(userDictionaries(), (std::set<std::string>{"a.lxu", "b.lxu", "user.lxu"}));

        clickLabel(d.CustomDictionaries, rowOf(d, "a.lxu"));
        dialogs.QueueResult(ui::mrYes);
        QTest::mouseClick(d.DeleteButton->Widget(), Qt::LeftButton);
        EXPECT_EQ(rows(d.CustomDictionaries), (std::vector<std::string>{"b.lxu", "user.lxu"}));
    });
    ASSERT_EQ(dialogs.prompts.size(), 2u);
    EXPECT_EQ(dialogs.prompts[1].caption, "Confirmation:");
    EXPECT_EQ(dialogs.prompts[1].text, "Delete this custom dictionary?");
    EXPECT_EQ(dialogs.prompts[1].type, ui::mtWarning);
    EXPECT_EQ(userDictionaries(), (std::set<std::string>{"b.lxu", "user.lxu"}));
    reopen();
    EXPECT_EQ(spell->Configuration().ReadCustomDictionaries().IndexOf("a.lxu"), -1);
}

TEST_F(SpellDialogs, RenamingMovesTheFileAndTheConfiguration) {
    customList([&](TCustomDictionariesDialog& d) {
        activate(d);
        const int row = rowOf(d, "user.lxu");
        editCaption(d.CustomDictionaries, row, "mine");
        EXPECT_EQ(d.CustomDictionaries->Caption(row), "mine.lxu");
        // Renamed again under its new name.
        editCaption(d.CustomDictionaries, row, "ours.lxu");
        EXPECT_EQ(d.CustomDictionaries->Caption(row), "ours.lxu");
    });
    EXPECT_EQ(userDictionaries(), (std::set<std::string>{"a.lxu", "b.lxu", "ours.lxu"}));
    reopen();
    EXPECT_EQ(stored("_ActiveCustom"), "ours.lxu");
    EXPECT_EQ(spell->Configuration().ReadCustomDictionaries().Items(), std::vector<std::string>{"ours.lxu"});
    EXPECT_TRUE(spell->WordAcceptable("word_user.lxu"));
}

TEST_F(SpellDialogs, AFailedRenameLeavesFilesAndConfigurationAlone) {
    spell->EnableCustomDictionary("a.lxu", true);
    spell->Configuration().SaveConfiguration();
    const auto before = folderContents();
    customList([&](TCustomDictionariesDialog& d) {
        activate(d);
        for (const char* taken : {"b", "b.lxu", "../elsewhere", "C:\\x"}) {
            editCaption(d.CustomDictionaries, rowOf(d, "a.lxu"), taken);
            EXPECT_EQ(rows(d.CustomDictionaries), (std::vector<std::string>{"a.lxu", "b.lxu", "user.lxu"}))
                << taken;
        }
    });
    EXPECT_EQ(spell->Configuration().ReadCustomDictionaries().Items(), std::vector<std::string>{"a.lxu"});
    spell->Configuration().SaveConfiguration();
    EXPECT_EQ(folderContents(), before);
}

TEST_F(SpellDialogs, ARenameInAReadOnlyFolderChangesNothing) {
    spell->EnableCustomDictionary("a.lxu", true);
    ASSERT_TRUE(spell->Configuration().SaveConfiguration());
    for (const auto& e : std::filesystem::directory_iterator(dir.dir())) chmod(e.path().c_str(), 0644);
    const auto before = folderContents();
    ASSERT_EQ(chmod(dir.dir().c_str(), 0555), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Permissions do not hold the superuser back: rename as nobody.
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        const bool renamed = spell->RenameCustomDictionary("a.lxu", "moved");
        const TLxConfigList& listed = spell->Configuration().ReadCustomDictionaries();
        const bool unchanged = listed.IndexOf("a.lxu") >= 0 && listed.IndexOf("moved.lxu") < 0;
        _exit(renamed ? 1 : unchanged ? 0 : 2);
    }
    int status = 0;
    waitpid(child, &status, 0);
    chmod(dir.dir().c_str(), 0700);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: renamed, 2: configuration changed, 3: could not drop privileges";
    EXPECT_EQ(folderContents(), before);
}

TEST_F(SpellDialogs, TheInternalDictionaryRowStaysAndEditsWithItsOwnTitles) {
    customList([&](TCustomDictionariesDialog& d) { EXPECT_EQ(rowOf(d, "(Ignore All / Change All)"), -1); });
    spell->InternalDictionary()->AddIgnore("qwerty");
    customList([&](TCustomDictionariesDialog& d) {
        ASSERT_EQ(rowOf(d, "(Ignore All / Change All)"), 0);
        EXPECT_TRUE(d.CustomDictionaries->Checked[0]);
        userCheck(d.CustomDictionaries, 0, false);
        EXPECT_TRUE(d.CustomDictionaries->Checked[0]);
        activate(d);
        clickLabel(d.CustomDictionaries, 0);
        EXPECT_TRUE(d.EditButton->Enabled());
        EXPECT_FALSE(d.DeleteButton->Enabled());
        dialogs.QueueModal([&](ui::TForm& form) {
            auto& e = dynamic_cast<TCustomDictionaryEditDialog&>(form);
            EXPECT_EQ(e.Caption(), "Words added with Ignore All / Change All");
            EXPECT_EQ(e.PageControl->PageCount(), 2);
            EXPECT_EQ(e.AddedWordsSheet->Caption(), "&Ignore All");
            EXPECT_EQ(e.AutoCorrectWordsSheet->Caption(), "&Change All");
            EXPECT_EQ(rows(*e.IgnoreList->Items), std::vector<std::string>{"qwerty"});
            return ui::mrOk;
        });
        QTest::mouseClick(d.EditButton->Widget(), Qt::LeftButton);
        // Nor can it be renamed.
        d.CustomDictionaries->SetFocus();
        QTest::keyClick(d.CustomDictionaries->Widget(), Qt::Key_F2);
        EXPECT_FALSE(d.CustomDictionaries->IsEditing());
    });
}

TEST_F(SpellDialogs, TheEditorsThreePagesWriteExactlyTheirWords) {
    auto dictionary = spell->GetCustomDictionary("a.lxu");
    ASSERT_TRUE(dictionary);
    dialogs.QueueModal([&](ui::TForm& form) {
        auto& e = dynamic_cast<TCustomDictionaryEditDialog&>(form);
        activate(e);
        EXPECT_EQ(e.Caption(), "a.lxu");
        EXPECT_EQ(e.PageControl->PageCount(), 3);
        EXPECT_EQ(rows(*e.IgnoreList->Items), std::vector<std::string>{"word_a.lxu"});

        typeInto(e.IgnoreEdit, "zorp");
        QTest::mouseClick(e.AddIgnoreButton->Widget(), Qt::LeftButton);
        typeInto(e.IgnoreEdit, "blick");
        QTest::keyClick(e.IgnoreEdit->Widget(), Qt::Key_Return);
        typeInto(e.IgnoreEdit, "wibble");
        QTest::mouseClick(e.AddIgnoreButton->Widget(), Qt::LeftButton);
        EXPECT_FALSE(e.AddIgnoreButton->Enabled());  // it is there now
        clickRow(e.IgnoreList, 2);                   // sorted: blick, wibble, word_a.lxu, zorp
        EXPECT_EQ(e.IgnoreEdit->Text(), "word_a.lxu");
        clickRow(e.IgnoreList, 1);
        QTest::mouseClick(e.DeleteIgnoreButton->Widget(), Qt::LeftButton);
        EXPECT_EQ(rows(*e.IgnoreList->Items), (std::vector<std::string>{"blick", "word_a.lxu", "zorp"}));

        clickTab(e.PageControl, 1);
        typeInto(e.ReplaceEdit, "teh");
        typeInto(e.WithEdit, "the");
        QTest::mouseClick(e.AddAutoCorrectButton->Widget(), Qt::LeftButton);
        typeInto(e.ReplaceEdit, "recieve");
        QTest::keyClick(e.ReplaceEdit->Widget(), Qt::Key_Return);  // on to the replacement
        EXPECT_TRUE(e.WithEdit->Focused());
        typeInto(e.WithEdit, "receive");
        QTest::keyClick(e.WithEdit->Widget(), Qt::Key_Return);
        typeInto(e.ReplaceEdit, "wrod");
        typeInto(e.WithEdit, "word");
        QTest::mouseClick(e.AddAutoCorrectButton->Widget(), Qt::LeftButton);
        typeInto(e.ReplaceEdit, "zorp");  // an added word cannot be a pair too
        typeInto(e.WithEdit, "zap");
        EXPECT_FALSE(e.AddAutoCorrectButton->Enabled());
        // A chosen pair takes a new replacement as it is typed.
        clickRow(e.AutoCorrectList, 1);
        EXPECT_EQ(e.ReplaceEdit->Text(), "recieve");
        EXPECT_EQ(e.WithEdit->Text(), "receive");
        e.WithEdit->SetFocus();
        QTest::keyClick(e.WithEdit->Widget(), Qt::Key_End);
        QTest::keyClicks(e.WithEdit->Widget(), "d");
        clickRow(e.AutoCorrectList, 2);
        QTest::mouseClick(e.DeleteAutoCorrectButton->Widget(), Qt::LeftButton);
        EXPECT_EQ(e.AutoCorrectList->Items->Count(), 2);

        clickTab(e.PageControl, 2);
        typeInto(e.ExcludeEdit, "teh");  // an auto-correct key
        EXPECT_FALSE(e.AddExcludeButton->Enabled());
        typeInto(e.ExcludeEdit, "blick");  // an added word
        EXPECT_FALSE(e.AddExcludeButton->Enabled());
        typeInto(e.ExcludeEdit, "colour");
        QTest::mouseClick(e.AddExcludeButton->Widget(), Qt::LeftButton);
        EXPECT_EQ(rows(*e.ExcludeList->Items), std::vector<std::string>{"colour"});
        QTest::mouseClick(e.OK->Widget(), Qt::LeftButton);
        return ui::mrNone;
    });
    spell->EditCustomDictionary(dictionary.get());
    // Written when the editor closed, before the dictionary goes.
    EXPECT_EQ(entries("a.lxu"), (std::set<std::string>{"I\tword_a.lxu", "I\tzorp", "I\tblick", "A\tteh\tthe",
                                                       "A\trecieve\treceived", "E\tcolour"}));
}

TEST_F(SpellDialogs, TheDictionariesButtonOpensTheListAndRefillsTheDropDown) {
    config([&](TSpellCheckConfigDialog& d) {
        dialogs.QueueModal([&](ui::TForm& form) {
            auto& list = dynamic_cast<TCustomDictionariesDialog&>(form);
            dialogs.QueueModal([&](ui::TForm& prompt) {
                QTest::keyClicks(dynamic_cast<TNewCustomDictionary&>(prompt).NameEdit->Widget(), "extra");
                return ui::mrOk;
            });
            QTest::mouseClick(list.NewButton->Widget(), Qt::LeftButton);
            return ui::mrOk;
        });
        QTest::mouseClick(d.DictionariesButton->Widget(), Qt::LeftButton);
        EXPECT_EQ(rows(*d.CustomCombo->Items), (std::vector<std::string>{"a.lxu", "b.lxu", "extra.lxu", "user.lxu"}));
        EXPECT_EQ(d.CustomCombo->ItemIndex, 3);
    });
    EXPECT_EQ(dialogs.modals, (std::vector<std::string>{"Spelling Options", "Dictionaries", "New Custom Dictionary"}));
}

TEST_F(SpellDialogs, AnEditorWriteThatFailsIsReportedAndKept) {
    auto dictionary = spell->GetCustomDictionary("a.lxu");
    ASSERT_TRUE(dictionary);
    const std::string before = spelltest::readFile(dir.path("a.lxu"));
    dialogs.QueueModal([&](ui::TForm& form) {
        auto& e = dynamic_cast<TCustomDictionaryEditDialog&>(form);
        activate(e);
        typeInto(e.IgnoreEdit, "zorp");
        QTest::keyClick(e.IgnoreEdit->Widget(), Qt::Key_Return);
        return ui::mrOk;
    });
    {
        const spelltest::FileSizeLimit full(before.size());  // as on a full disk
        dialogs.QueueResult(ui::mrOk);                        // the error box
        spell->EditCustomDictionary(dictionary.get());
    }
    win::ProcessMessages();  // the box comes once the editor's work is done
    ASSERT_EQ(dialogs.prompts.size(), 1u);
    EXPECT_EQ(dialogs.prompts[0].type, ui::mtError);
    EXPECT_NE(dialogs.prompts[0].text.find("a.lxu"), std::string::npos);
    EXPECT_EQ(spelltest::readFile(dir.path("a.lxu")), before);
    EXPECT_TRUE(dictionary->Modified());
    ASSERT_TRUE(dictionary->Save()) << dictionary->LastError();
    EXPECT_EQ(entries("a.lxu"), (std::set<std::string>{"I\tword_a.lxu", "I\tzorp"}));
}

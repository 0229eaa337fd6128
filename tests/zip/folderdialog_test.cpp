// The folder-browse dialog offscreen: preselection, the "New folder"
// button, the shortened status path and the captions by locale.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>

#include <cstdlib>

#include "platform/ui/dialogs.h"
#include "tests/zip/zip_support.h"
#include "zip/ymfolderdialog.h"

using namespace zip;
using namespace ziptest;

namespace {

std::string Selected(QDialog& browser) {
    auto* tree = browser.findChild<QTreeView*>("tree");
    auto* model = qobject_cast<QFileSystemModel*>(tree->model());
    return model->filePath(tree->currentIndex()).toStdString();
}

}  // namespace

TEST(YmFolderDialog, MakeDisplayPathKeepsTheFirstFolderAndTheEnd) {
    const struct {
        const char* path;
        int max;
        const char* shown;
    } cases[] = {
        {"/usr/Program Files/Some/Dir", 20, "/usr/.../Some/Dir"},
        {"/home/user/mail/archives/2026/december", 30, "/home/.../2026/december"},
        {"//server/share/a/b/c", 16, "//server/.../b/c"},
        {"/short/path", 50, "/short/path"},
        // Too few folders to shorten: cut.
        {"/averyveryverylongname", 10, "/averyvery"},
        {"/a/b/averyveryverylongfinalname", 5, "/a/b/"},
        // The last folder alone is too long: cut with "...".
        {"/usr/b/averyveryverylongfinalname", 20, "/usr/.../averyver..."},
    };
    for (const auto& c : cases) EXPECT_EQ(TYmFolderDialog::MakeDisplayPath(c.path, c.max), c.shown) << c.path;
}

TEST(YmFolderDialog, CaptionsFollowTheLocale) {
    const struct {
        const char* locale;
        const char* code;
        const char* button;
        const char* label;
    } cases[] = {
        {"de_DE.UTF-8", "0407", "Neuer Ordner", "Ausgewählter Ordner:"},
        {"de_AT.UTF-8@euro", "0C07", "Neuer Ordner", "Ausgewählter Ordner:"},
        {"it_CH", "0810", "Nuova Cartella", "Cartella selezionata:"},
        {"da_DK.UTF-8", "0406", "Ny mappe", "Valgt mappe:"},
        {"fr_FR.UTF-8", "", "New folder", "Current folder:"},
        {"C.UTF-8", "", "New folder", "Current folder:"},
    };
    for (const auto& c : cases) {
        ::setenv("LC_ALL", c.locale, 1);
        TYmFolderDialog d;
        EXPECT_EQ(d.LocaleCode, c.code) << c.locale;
        EXPECT_EQ(d.NewFolderCaption(), c.button) << c.locale;
        EXPECT_EQ(d.LabelCaption(), c.label) << c.locale;
    }
    ::setenv("LC_ALL", "C.UTF-8", 1);
    // A list without the code nor a default line gives its first caption.
    TYmFolderDialog d;
    d.LocaleCode = "0407";
    d.SetNewFolderCaptions({"0409=Make folder", "0406=Lav mappe"});
    EXPECT_EQ(d.NewFolderCaption(), "Make folder");
    d.SetNewFolderCaptions({});
    EXPECT_EQ(d.NewFolderCaption(), "");
    d.SetNewFolderWidth(0);
    EXPECT_EQ(d.NewFolderWidth(), 75);
}

TEST(YmFolderDialog, PreselectsMakesANewFolderAndShowsItShortened) {
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    TScratch t;
    const std::string start = t / "archives with a long name/of december/2026";
    Shell("mkdir -p " + Quote(start));
    ui::TScriptedDialogs answers;
    TYmFolderDialog d;
    d.Folder = start;
    std::vector<std::string> seen;
    d.OnSelectionChanged = [&](TYmFolderDialog&, QWidget*, const std::string& folder) { seen.push_back(folder); };
    QWidget* initialized = nullptr;
    d.OnInitialized = [&](TYmFolderDialog&, QWidget* dialog) { initialized = dialog; };
    auto browser = d.CreateBrowser();
    EXPECT_EQ(initialized, browser.get());
    browser->show();
    EXPECT_EQ(Selected(*browser), start);
    auto* status = browser->findChild<QLabel*>("status");
    EXPECT_EQ(status->text().toStdString(), TYmFolderDialog::MakeDisplayPath(start, 50));
    EXPECT_LE(status->text().size(), 50);
    EXPECT_NE(status->text().indexOf("..."), -1);
    auto* button = browser->findChild<QPushButton*>("newFolder");
    EXPECT_EQ(button->text().toStdString(), "Neuer Ordner");
    EXPECT_EQ(browser->findChild<QLabel*>("caption")->text().toStdString(), "Ausgewählter Ordner:");

    // Cancelling the name leaves everything as it was.
    answers.QueueInput("", false);
    button->click();
    EXPECT_TRUE(browser->isVisible());
    EXPECT_EQ(Selected(*browser), start);
    // A name makes the folder, missing parents too, and selects it.
    answers.QueueInput("made/inner");
    button->click();
    ASSERT_EQ(answers.prompts.size(), 2u);
    EXPECT_EQ(answers.prompts[1].caption, "Neuer Ordner");
    EXPECT_EQ(Shell("test -d " + Quote(start + "/made/inner")).status, 0);
    EXPECT_EQ(Selected(*browser), start + "/made/inner");
    EXPECT_EQ(seen.back(), start + "/made/inner");
    EXPECT_EQ(answers.unexpected, 0);

    // The caption changes on a button that is showing.
    d.LocaleCode = "0406";
    d.Loaded();
    EXPECT_EQ(button->text().toStdString(), "Ny mappe");
    ::setenv("LC_ALL", "C.UTF-8", 1);
}

// Without a folder chosen, OK (with OnlyFileSystem) and New folder are off.
TEST(YmFolderDialog, ButtonsFollowTheSelection) {
    const struct {
        bool visible, enabled;
        std::string folder;
        bool okOn, newOn;
    } cases[] = {
        {true, true, "", false, false},
        {true, true, "/tmp", true, true},
        {true, false, "/tmp", true, false},
        {false, true, "/tmp", true, true},
    };
    for (const auto& c : cases) {
        TYmFolderDialog d;
        d.Flags = BrowseFlag(ShowPath) | BrowseFlag(OnlyFileSystem);
        d.NewFolderVisible = c.visible;
        d.NewFolderEnabled = c.enabled;
        d.Folder = c.folder;
        auto browser = d.CreateBrowser();
        browser->show();
        auto* button = browser->findChild<QPushButton*>("newFolder");
        QPushButton* ok = nullptr;
        for (auto* b : browser->findChildren<QPushButton*>())
            if (b != button && b->text().contains("OK")) ok = b;
        ASSERT_NE(ok, nullptr);
        EXPECT_EQ(ok->isEnabled(), c.okOn) << c.folder;
        EXPECT_EQ(button->isEnabled(), c.newOn) << c.folder << c.enabled;
        EXPECT_EQ(button->isVisible(), c.visible);
    }
}

TEST(YmFolderDialog, RunsThroughTheAnswerer) {
    ui::TScriptedDialogs answers;
    answers.QueueDialog([](ui::TCommonDialog& dialog) {
        static_cast<TYmFolderDialog&>(dialog).Folder = "/tmp";
        return true;
    });
    TYmFolderDialog d;
    EXPECT_TRUE(d.Execute());
    EXPECT_EQ(d.Folder, "/tmp");
    ASSERT_EQ(answers.dialogs.size(), 1u);
    EXPECT_EQ(answers.dialogs[0], "TYmFolderDialog");
}

// The spelling configuration dialog on its own, for the screen test and the
// screenshot: two small main dictionaries and two user dictionaries in
// FOLDER, the configuration in FOLDER/Spell.cfg. The dialog runs modally
// with the real dialogs; closing it saves the configuration and ends.
// Usage: spellcfg_demo FOLDER
#include <QApplication>
#include <QComboBox>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "spell/lx3configdialog.h"
#include "tools/lxmcompile/lxmwriter.h"

namespace {

bool writeLxm(const std::string& name, const char* title, int language) {
    std::string bytes, error;
    lxmc::TLxmStats stats;
    if (!lxmc::BuildLxm({"cat", "dog", "house", "mouse"}, title, language, bytes, stats, error)) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
        return false;
    }
    std::ofstream(name, std::ios::binary) << bytes;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace spell;
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: spellcfg_demo FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    if (!writeLxm(folder + "/British.lxm", "British English", 0x0809) ||
        !writeLxm(folder + "/American.lxm", "American English", 0x0409))
        return 1;
    ui::Application->Initialize();
    ui::UseQtDialogs();
    spell::TLexiroSpell3 spell;
    spell.WriteConfigID("tester");
    spell.WriteConfigFilename(folder + "/Spell.cfg");
    spell.WriteConfigDictionaryDir({folder});
    spell.WriteDefaultMain({"British.lxm"});
    // As the program names it: by its full path, here in a folder whose
    // path alone is wider than the drop-down.
    spell.WriteDefaultActiveCustom(folder + "/the-user-dictionaries-of-a-rather-long-folder/tester.lxu");
    spell.WriteLearnSuggestions(false);
    spell.ConfigAvailableOptions = {soUpcase,        soNumbers,     soHTML,     soInternet, soQuoted,
                                    soAbbreviations, soPrimaryOnly, soRepeated, soDUalCaps};
    spell.WriteConfigStorage(spell::csFile);
    spell.CreateNewCustomDictionary("notes.lxu");
    spell::TSpellCheckConfigDialog dialog(nullptr);
    spell.SetupDialogControl(&dialog, nullptr);
    const bool ok = dialog.ShowModal() == ui::mrOk;
    // What the drop-down showed, and whether all of it was in sight.
    auto* box = static_cast<QComboBox*>(dialog.CustomCombo->Widget());
    QStyleOptionComboBox option;
    option.initFrom(box);
    const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box);
    const bool fits = box->fontMetrics().horizontalAdvance(box->currentText()) <= field.width();
    std::ofstream(folder + "/combo.txt") << box->currentText().toStdString() << "\n" << (fits ? "fits" : "cut") << "\n";
    if (!spell.Configuration().SaveConfiguration()) {
        std::fprintf(stderr, "Spell.cfg: %s\n", spell.Configuration().LastError().c_str());
        return 1;
    }
    std::printf("%s\n", ok ? "OK" : "closed");
    return 0;
}

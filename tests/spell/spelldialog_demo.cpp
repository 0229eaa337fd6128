// A memo with a misspelling and a whole-text check over it, so that the
// spelling dialog can be seen and used on a real display (the screen test
// and tools/spelldialog-screenshot.sh). When the check ends, the memo's text
// is written to OUT_FILE; the window stays until it is closed.
// Usage: spelldialog_demo MAIN_DICTIONARY.lxm WORK_DIR OUT_FILE
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/rtl/sysutils.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"
#include "spell/lx3spell.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s MAIN_DICTIONARY.lxm WORK_DIR OUT_FILE\n", argv[0]);
        return 2;
    }
    const std::string dictionary = argv[1], work = argv[2], out = argv[3];
    QApplication app(argc, argv);
    ui::Application->Initialize();
    ui::UseQtDialogs();

    ui::TForm* form = nullptr;
    ui::Application->CreateForm(form);
    form->Caption = "Pelliwox memo";
    form->SetBounds(60, 60, 520, 220);
    auto* memo = new ui::TMemo(form);
    memo->Parent = form;
    memo->SetBounds(8, 8, 504, 204);
    memo->Font->Size = 12;
    memo->Text = "The quick brown fox jumsp over the lazy dog.\r\nIt was a sunny day.";

    spell::TLexiroSpell3 spell;
    spell.WriteConfigStorage(spell::csNone);
    spell.WriteConfigDictionaryDir({rtl::ExcludeTrailingPathDelimiter(rtl::ExtractFilePath(dictionary))});
    spell.WriteDefaultMain({rtl::ExtractFileName(dictionary)});
    spell.WriteDefaultActiveCustom(work + "/user.lxu");
    spell.WriteSuggestionsDictFN(work + "/learned.lxl");
    spell.EndMessage = spell::emNever;

    QTimer::singleShot(300, [&] {
        spell.CheckWinControl(memo, spell::ctAll);
        std::ofstream(out, std::ios::binary) << memo->Text();
        std::printf("checked\n");
        std::fflush(stdout);
    });
    ui::Application->Run();
    return 0;
}

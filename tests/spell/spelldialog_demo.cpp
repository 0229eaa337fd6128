// A memo with a misspelling and a whole-text check over it, so that the
// spelling dialog can be seen and used on a real display (the screen test
// and tools/spelldialog-screenshot.sh). When the check ends, the memo's text
// is written to OUT_FILE; the window stays until it is closed.
// With --word, the memo is a tall mail body with two misspellings and the
// dialog goes under the word it asks about; the words' rectangles on the
// screen are written to WORK_DIR/word.txt, one a line ("left top right
// bottom").
// Usage: spelldialog_demo MAIN_DICTIONARY.lxm WORK_DIR OUT_FILE [--word]
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/rtl/sysutils.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"
#include "spell/lx3edittarget.h"
#include "spell/lx3spell.h"
#include "spell/lx3winapiparser.h"

int main(int argc, char** argv) {
    const bool word = argc == 5 && std::string(argv[4]) == "--word";
    if (argc != 4 && !word) {
        std::fprintf(stderr, "usage: %s MAIN_DICTIONARY.lxm WORK_DIR OUT_FILE [--word]\n", argv[0]);
        return 2;
    }
    const std::string dictionary = argv[1], work = argv[2], out = argv[3];
    QApplication app(argc, argv);
    ui::Application->Initialize();
    ui::UseQtDialogs();

    ui::TForm* form = nullptr;
    ui::Application->CreateForm(form);
    form->Caption = "Pelliwox memo";
    auto* memo = new ui::TMemo(form);
    memo->Parent = form;
    memo->Font->Size = 12;
    if (word) {
        // A mail body filling most of the screen, the misspelling half way down.
        form->SetBounds(40, 40, 760, 640);
        memo->SetBounds(8, 8, 744, 624);
        std::string body;
        for (int i = 0; i < 9; ++i) body += "Thank you for the minutes of the meeting.\r\n";
        memo->Text = body + "The quick brown fox jumsp over the lazy dog.\r\nThank you.\r\n"
                            "It was a very bright and warm, sunyn day.";
    } else {
        form->SetBounds(60, 60, 520, 220);
        memo->SetBounds(8, 8, 504, 204);
        memo->Text = "The quick brown fox jumsp over the lazy dog.\r\nIt was a sunny day.";
    }

    spell::TLexiroSpell3 spell;
    spell.WriteConfigStorage(spell::csNone);
    spell.WriteConfigDictionaryDir({rtl::ExcludeTrailingPathDelimiter(rtl::ExtractFilePath(dictionary))});
    spell.WriteDefaultMain({rtl::ExtractFileName(dictionary)});
    spell.WriteDefaultActiveCustom(work + "/user.lxu");
    spell.WriteSuggestionsDictFN(work + "/learned.lxl");
    spell.EndMessage = spell::emNever;

    QTimer::singleShot(300, [&] {
        if (word) {
            std::ofstream rects(work + "/word.txt");
            const std::string text = memo->Text();
            for (const char* w : {"jumsp", "sunyn"}) {
                memo->Select(static_cast<int>(text.find(w)), 5);
                spell::TLxRect r;
                spell::TWinAPIControlParser probe(spell::MakeEditTextTarget(memo));
                probe.GetSelectionScreenPosition(r);
                rects << r.Left << " " << r.Top << " " << r.Right << " " << r.Bottom << "\n";
            }
            rects.close();
            memo->Select(0, 0);
            spell.DialogInitialPos = spell::ipUnderSelection;
        }
        spell.CheckWinControl(memo, spell::ctAll);
        std::ofstream(out, std::ios::binary) << memo->Text();
        std::printf("checked\n");
        std::fflush(stdout);
    });
    ui::Application->Run();
    return 0;
}

// Live spelling of a 5,000-line paste into the live-spelling rich edit,
// with the compiled British dictionary: the time from the paste until the
// lines in view carry their marks, against the same paste into a rich edit
// without spelling; then a jump to the end (a new screen to check) and one
// typed character. Prints the median of each.
// Usage: livespell_bench [LINES] [RUNS]   (offscreen unless a display is set)
#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ui/forms.h"
#include "platform/win/pump.h"
#include "spell/lx3richedit.h"
#include "spell/lx3spellbase.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

// The marks on the lines in view.
int marksInView(spell::TLexiroRichEdit* edit) {
    int first, last, n = 0;
    edit->VisibleLines(first, last);
    for (int y = first; y <= last; ++y) n += static_cast<int>(edit->Engine().LineErrors(y).size());
    return n;
}

// Runs the loop until the lines in view carry marks (every few lines of
// the text has a misspelling).
void untilMarked(spell::TLexiroRichEdit* edit) {
    win::PumpUntil([&] { return marksInView(edit) > 0; }, 5000);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A mail body of Lines lines: HTML around prose with a misspelling or two
// in most lines, and some quoted lines.
std::string body(int lines) {
    static const char* const kLines[] = {
        "<P>Thank you for your letter of last week; we have recieved the parcel and the invoice.</P>",
        "The meeting is moved to Thursday afternoon, if that suits everybody on the teh list.",
        "> On Monday you wrote: please send the figures before the end of the month.",
        "<A HREF=\"http://example.org/report\">The report</A> is ready, with a few corections still to make.",
        "We would be grateful if you could confirm the arrangements by return of post.",
        "Kind regards, and a happy new year to you and your familly from all of us here.",
    };
    std::string s;
    for (int i = 0; i < lines; ++i) s += std::string(kLines[i % 6]) + "\r\n";
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 9;
    const std::string text = body(lines);
    const std::string dictionary = BRITISH_LXM;
    char made[] = "/tmp/pwx-livespellXXXXXX";
    if (!mkdtemp(made)) return 1;
    const std::string folder = made;

    spell::TLexiroSpell3Base spell;
    spell.WriteConfigStorage(spell::csNone);
    spell.WriteConfigDictionaryDir({std::filesystem::path(dictionary).parent_path().string()});
    spell.WriteDefaultMain({"British.lxm"});
    spell.WriteDefaultActiveCustom(folder + "/bench.lxu");
    spell.WriteSuggestionsDictFN(folder + "/bench.lxl");
    spell.WriteDefaultOptions({spell::soHTML, spell::soInternet, spell::soQuoted, spell::soUpcase, spell::soNumbers});
    const auto l0 = Clock::now();
    spell.WordAcceptable("the");
    const auto l1 = Clock::now();

    ui::TForm form(nullptr);
    form.SetBounds(0, 0, 900, 700);
    auto* edit = new spell::TLexiroRichEdit(&form);
    edit->Parent = &form;
    edit->Align = ui::alClient;
    edit->WordWrap = false;
    edit->WriteLiveSpellingOptions(false);
    form.Show();
    win::PumpUntil([&] { return form.Widget()->isVisible(); }, 2000);

    std::vector<double> plain, live, end, key;
    int marked = 0;
    for (int r = 0; r < runs; ++r) {
        // The paste alone, with no spelling.
        edit->WriteLexiroSpell(nullptr);
        edit->Text = "";
        win::ProcessMessages();
        auto t0 = Clock::now();
        edit->SetSelText(text);
        win::ProcessMessages();
        plain.push_back(ms(t0, Clock::now()));

        // The same paste with live spelling: done once the lines in view
        // are checked and marked.
        edit->Text = "";
        edit->WriteLexiroSpell(&spell);
        edit->Select(0, 0);
        win::ProcessMessages();
        t0 = Clock::now();
        edit->SetSelText(text);
        untilMarked(edit);
        live.push_back(ms(t0, Clock::now()));
        marked = marksInView(edit);
        int first, last;
        edit->VisibleLines(first, last);

        // A jump to the other end: a screen never checked before.
        const bool atTop = first < lines / 2;
        t0 = Clock::now();
        edit->Select(atTop ? edit->GetTextLen() : 0, 0);
        edit->ScrollCaret();
        untilMarked(edit);
        end.push_back(ms(t0, Clock::now()));
        edit->VisibleLines(first, last);

        // One character typed in the middle of a line in view.
        const int64_t at = edit->LineIndex(std::max(first, last - 2)) + 10;
        edit->Select(at, 0);
        win::ProcessMessages();
        t0 = Clock::now();
        edit->SetSelText("x");
        win::ProcessMessages();
        key.push_back(ms(t0, Clock::now()));
    }
    std::printf("live spelling, %d-line paste (%zu bytes), British.lxm, median of %d runs:\n", lines, text.size(),
                runs);
    std::printf("  first lookup (dictionaries load)       %8.2f ms\n", ms(l0, l1));
    std::printf("  paste without spelling                 %8.2f ms\n", median(plain));
    std::printf("  paste until the view is marked         %8.2f ms   (%d marks in view)\n", median(live), marked);
    std::printf("  jump to the other end, view marked     %8.2f ms\n", median(end));
    std::printf("  one character typed, line rechecked    %8.2f ms\n", median(key));
    edit->WriteLexiroSpell(nullptr);
    std::filesystem::remove_all(folder);
    return 0;
}

// One colouring tick over a 5,000-line HTML body in the rich edit: a full
// pass (the screen changed) and a pass over an unchanged screen, at the top,
// the middle and the end of the body. Prints the median of each.
// Usage: bench_hilite [LINES] [RUNS]   (offscreen unless a display is set)
#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "helpers/edhistory.h"
#include "helpers/htmlcolour.h"
#include "platform/ui/comctrls.h"
#include "platform/ui/forms.h"
#include "platform/win/pump.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string body(int lines) {
    std::string s = "<HTML><HEAD><TITLE>Bench</TITLE><STYLE>\r\n.note { color: red; } /* a rule */\r\n</STYLE></HEAD>\r\n";
    for (int i = 0; i < lines; ++i) {
        switch (i % 5) {
            case 0: s += "<P CLASS=\"line\">Line " + std::to_string(i) + " with 'quoted text' and don't</P>\r\n"; break;
            case 1: s += "<A HREF=\"http://example.org/p\">a link</A> // a remark\r\n"; break;
            case 2: s += "<!-- comment " + std::to_string(i) + " --> #field# ~other~ (a [b] {c})\r\n"; break;
            case 3: s += "define name" + std::to_string(i) + "=value; plain words follow here\r\n"; break;
            default: s += "<DIV STYLE=\"font-family: 'Courier New'\">text \\\"escaped\\\"</DIV>\r\n"; break;
        }
    }
    return s + "</BODY></HTML>";
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 30;
    ui::TForm form(nullptr);
    form.SetBounds(0, 0, 900, 700);
    auto* edit = new ui::TRichEdit(&form);
    edit->Align = ui::alClient;
    edit->PlainText = true;
    edit->WordWrap = false;
    edit->Font->Name = "Courier New";
    edit->Font->Size = 10;
    edit->Text = body(lines);
    form.Show();
    win::PumpUntil([&] { return form.Widget()->isVisible(); }, 2000);
    win::ProcessMessages();

    {
        // For scale: reading the whole text once, which a tick avoids.
        const auto t0 = Clock::now();
        for (int i = 0; i < 10; ++i) (void)edit->Text();
        std::printf("whole text read once: %.2f ms\n",
                    std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / 10);
    }
    std::printf("colouring tick over %d lines (%lld bytes), %d runs, median ms\n", lines,
                static_cast<long long>(edit->GetTextLen()), runs);
    for (const auto& [name, line] : {std::pair{"top", 0}, std::pair{"middle", lines / 2}, std::pair{"end", lines}}) {
        edit->SelStart = static_cast<int>(edit->LineIndex(std::min(line, edit->LineCount() - 1)));
        edit->SetScrollPos(false, line);
        win::ProcessMessages();
        std::vector<double> full, unchanged;
        for (int i = 0; i < runs; ++i) {
            helpers::hlinvalidate();
            auto t0 = Clock::now();
            helpers::hilite(edit);
            full.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            t0 = Clock::now();
            helpers::hilite(edit);
            unchanged.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
        std::printf("  %-6s full pass %8.2f   unchanged screen %8.2f\n", name, median(full), median(unchanged));
    }
    return 0;
}

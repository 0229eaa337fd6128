// The main window with a few thousand synthetic rows, saved into a PNG file
// as the X screen shows it (for looking at the list's colours and captions).
// Usage: mainwindow_shot OUT.png [ROWS]
#include <QApplication>
#include <QImage>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

#include "app/mainroutine.h"
#include "bench/mailbox/synth.h"
#include "helpers/kwutil.h"
#include "mailbox/kwem1.h"
#include "platform/ui/forms.h"
#include "platform/win/pump.h"

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: mainwindow_shot OUT.png [ROWS]\n");
        return 2;
    }
    const int rows = argc > 2 ? std::atoi(argv[2]) : 3000;
    char dir[] = "/tmp/pwx-shotXXXXXX";
    helpers::homedir = std::string(mkdtemp(dir)) + "/";
    setenv("XDG_DATA_HOME", (helpers::homedir + "userdata").c_str(), 1);  // the per-user files too
    app::CreateWindows();
    mailbox::TForm1& f = *mailbox::Form1;
    win::PumpUntil([&] { return f.StartupSteps > 0; }, 5000);
    mailbox::TRowStore& s = f.Rows();
    s.SetRowCount(rows);
    bench::Synth().fill(s, rows);
    for (int i = 0; i < rows; ++i) {
        s.Row(i).WhiteHit = i % 17 == 3;
        s.Row(i).DeleteMark = i % 11 == 5;
        if (s.Row(i).DeleteMark) s.SetText(i, mailbox::rtMatched, "*offer*");
    }
    f.MailboxCount = rows;
    f.ListView1->Items->Count = rows;
    f.Label4->Caption = std::to_string(rows) + " messages\rViewing " + std::to_string(rows) + "\r123,456,789 bytes";
    f.SortByColumn(4);
    f.StatusText("Connected");
    f.Show();
    win::PumpFor(500);
    // What the screen shows, not the widget drawn for the purpose.
    if (!f.ScreenImage().save(argv[1])) return 1;
    std::printf("%s\n", argv[1]);
    return 0;
}

#include "app/mainroutine.h"

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <unistd.h>

#include "app/memtune.h"
#include "app/pull.h"
#include "composer/brwsvwr.h"
#include "composer/cssdsgnr.h"
#include "composer/mlsend.h"
#include "helpers/kwutil.h"
#include "mailbox/commslog.h"
#include "mailbox/hstinf.h"
#include "mailbox/kwchklist.h"
#include "mailbox/kwdlgsrc.h"
#include "mailbox/kwdsply.h"
#include "mailbox/kwem1.h"
#include "mailbox/kwfnddlg.h"
#include "mailbox/kwutzp.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/program.h"
#include "png/pngpicture.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"

namespace app {

void CreateWindows() {
    using namespace mailbox;
    using namespace composer;
    // Pictures the windows load by file type: PNG is ours.
    png::RegisterPictureFormat();
    ui::Application->CreateForm(Form1);
    ui::Application->CreateForm(kwgrabstr);
    ui::Application->CreateForm(kwfind);
    ui::Application->CreateForm(mlsend);
    ui::Application->CreateForm(kwdsply);
    ui::Application->CreateForm(kwchklist);
    ui::Application->CreateForm(cmmslog);
    ui::Application->CreateForm(hostinfo);
    ui::Application->CreateForm(cssdsgnr);
    ui::Application->CreateForm(brwsvwr);
    ui::Application->CreateForm(kwutzp);
    // The mailbox window shows its pages in the viewer.
    Form1->Viewer.Form = brwsvwr;
    Form1->Viewer.Browser = brwsvwr->curbrw;
    Form1->Viewer.Browse = [] {
        if (brwsvwr) brwsvwr->ReadingFace();
    };
}

int WinMain(int argc, char** argv) {
    TuneMemory();
    std::signal(SIGPIPE, SIG_IGN);
    // A pull is a command-line run: it starts no windowing platform and
    // makes no window, so it runs where cron runs it, with no display.
    const std::string first = argc > 1 ? argv[1] : "";
    if (mailbox::IsPullParam(first)) return PullMain(argc, argv, rtl::CopyFrom(first, 6));
    // Started by "pelliwox": its path is the program's, for the program
    // folder and the program's name in messages.
    if (const char* launcher = std::getenv("PELLIWOX_LAUNCHER")) {
        std::vector<std::string> args(argv, argv + argc);
        args[0] = launcher;
        win::SetCommandLine(std::move(args));
        unsetenv("PELLIWOX_LAUNCHER");
    }
    // The web engine's sandbox refuses to start for root.
    if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication qapp(argc, argv);
    try {
        helpers::utilinit();
        ui::Application->Initialize();
        ui::Application->Title = "Pelliwox";
        ui::UseQtDialogs();
        CreateWindows();
        ui::Application->Run();
    } catch (const std::exception& e) {
        ui::Application->ShowException(e);
    }
    helpers::utilexit();
    return 0;
}

}  // namespace app

#include "app/mainroutine.h"

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

#include "app/memtune.h"
#include "app/unattended.h"
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
}

int WinMain(int argc, char** argv) {
    TuneMemory();
    std::signal(SIGPIPE, SIG_IGN);
    // The web engine's sandbox refuses to start for root.
    if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication qapp(argc, argv);
    // An unattended pull shows no box and waits for nobody.
    std::unique_ptr<TUnattendedPrompter> unattended;
    int status = 0;
    try {
        helpers::utilinit();
        ui::Application->Initialize();
        ui::Application->Title = "Pelliwox";
        if (mailbox::IsPullParam(helpers::exeparam(1))) unattended = std::make_unique<TUnattendedPrompter>();
        else ui::UseQtDialogs();
        CreateWindows();
        ui::Application->Run();
        if (unattended && mailbox::Form1) status = mailbox::Form1->PullStatus;
    } catch (const std::exception& e) {
        ui::Application->ShowException(e);
        if (unattended) status = mailbox::psNotListed;
    }
    helpers::utilexit();
    return status;
}

}  // namespace app

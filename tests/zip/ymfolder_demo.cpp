// The folder-browse dialog on its own, for the screen test: shows it with
// FOLDER preselected and writes the folder chosen (or "(cancelled)") to OUT.
//   ymfolder_demo FOLDER OUT
#include <QApplication>

#include <fstream>

#include "platform/ui/dialogs.h"
#include "zip/ymfolderdialog.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    QApplication app(argc, argv);
    ui::UseQtDialogs();
    zip::TYmFolderDialog dialog;
    dialog.Title = "Choose a folder";
    dialog.Folder = argv[1];
    const bool chosen = dialog.Execute();
    std::ofstream(argv[2]) << (chosen ? dialog.Folder : std::string("(cancelled)")) << "\n";
    return 0;
}

#include "platform/browser/pagesetup.h"

#include <QApplication>
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPrinter>

#include "platform/ui/printers.h"

namespace browser {

namespace {

void readLayout(const QPageLayout& l, TPageSetupDialog& d) {
    d.Landscape = l.orientation() == QPageLayout::Landscape;
    const QMarginsF m = l.margins(QPageLayout::Millimeter);
    d.MarginLeft = m.left(), d.MarginTop = m.top(), d.MarginRight = m.right(), d.MarginBottom = m.bottom();
}

}  // namespace

bool TPageSetupDialog::RunQt() {
    // The real dialog edits a printer of its own; the answer is read back
    // from it, and SetUpPage gives it to the program's printer.
    QPrinter scratch(QPrinter::HighResolution);
    QPageLayout layout = scratch.pageLayout();
    layout.setOrientation(Landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    layout.setUnits(QPageLayout::Millimeter);
    layout.setMargins(QMarginsF(MarginLeft, MarginTop, MarginRight, MarginBottom));
    scratch.setPageLayout(layout);
    QPageSetupDialog dialog(&scratch, QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted) return false;
    readLayout(scratch.pageLayout(), *this);
    return true;
}

bool SetUpPage(ui::TPrinter& Printer) {
    QPrinter& p = *Printer.Handle();
    TPageSetupDialog dialog(nullptr);
    readLayout(p.pageLayout(), dialog);
    if (!dialog.Execute()) return false;
    p.setPageOrientation(dialog.Landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    p.setPageMargins(QMarginsF(dialog.MarginLeft, dialog.MarginTop, dialog.MarginRight, dialog.MarginBottom),
                     QPageLayout::Millimeter);
    return true;
}

}  // namespace browser

#include "platform/ui/printers.h"

#include <QPageLayout>
#include <QPrinter>
#include <QTextDocument>
#include <memory>

#include "platform/ui/textmap.h"

namespace ui {

TPrinter::TPrinter() : printer_(new QPrinter(QPrinter::HighResolution)) {}
TPrinter::~TPrinter() { delete printer_; }

int TPrinter::PageWidth() const { return printer_->pageLayout().paintRectPixels(printer_->resolution()).width(); }
int TPrinter::PageHeight() const { return printer_->pageLayout().paintRectPixels(printer_->resolution()).height(); }
int TPrinter::PhysicalWidth() const { return printer_->pageLayout().fullRectPixels(printer_->resolution()).width(); }
int TPrinter::PhysicalHeight() const { return printer_->pageLayout().fullRectPixels(printer_->resolution()).height(); }
int TPrinter::PixelsPerInchX() const { return printer_->resolution(); }
int TPrinter::PixelsPerInchY() const { return printer_->resolution(); }
std::string TPrinter::OutputFileName() const { return detail::S(printer_->outputFileName()); }

void TPrinter::SetOutputFileName(const std::string& fileName) {
    printer_->setOutputFormat(fileName.empty() ? QPrinter::NativeFormat : QPrinter::PdfFormat);
    printer_->setOutputFileName(detail::Q(fileName));
}

void TPrinter::PrintDocument(QTextDocument& document, const std::string& title, const TRect& pageRect) {
    printer_->setDocName(detail::Q(title));
    if (pageRect.Width() > 0 && pageRect.Height() > 0) {
        const double dpi = printer_->resolution();
        const QMarginsF margins(pageRect.Left / dpi, pageRect.Top / dpi, (PhysicalWidth() - pageRect.Right) / dpi,
                                (PhysicalHeight() - pageRect.Bottom) / dpi);
        printer_->setPageMargins(margins, QPageLayout::Inch);
    }
    document.print(printer_);
}

TPrinter* Printer() {
    static std::unique_ptr<TPrinter> printer;
    if (!printer) printer = std::make_unique<TPrinter>();
    return printer.get();
}

}  // namespace ui

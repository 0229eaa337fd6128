#pragma once
// The printer: page measures for laying out a printout, and printing a
// document. A printout can be sent to a PDF file instead (OutputFileName),
// which is what tests do.
#include <string>

#include "platform/ui/graphics.h"

class QPrinter;
class QTextDocument;

namespace ui {

class TPrinter {
public:
    TPrinter();
    ~TPrinter();
    TPrinter(const TPrinter&) = delete;

    // The printable area and the whole sheet, in printer pixels.
    int PageWidth() const;
    int PageHeight() const;
    int PhysicalWidth() const;
    int PhysicalHeight() const;
    int PixelsPerInchX() const;
    int PixelsPerInchY() const;
    // A PDF file to print into; empty prints on the system's printer.
    std::string OutputFileName() const;
    void SetOutputFileName(const std::string& fileName);

    // Library use: prints a document; PageRect (printer pixels from the
    // sheet's corner) sets the margins, an empty one keeps the printer's.
    void PrintDocument(QTextDocument& document, const std::string& title, const TRect& pageRect);
    QPrinter* Handle() const { return printer_; }

private:
    QPrinter* printer_;
};

TPrinter* Printer();

}  // namespace ui

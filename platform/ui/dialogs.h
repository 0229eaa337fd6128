#pragma once
// The standard dialogs (files, pictures, fonts, colours, printing) and the
// answerers that run them and modal windows (answerer.h).
//
// The windowed program calls UseQtDialogs once: message boxes, questions,
// modal windows and these dialogs then appear on screen. Tests use
// TScriptedDialogs, one object that answers all of them from queues.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/ui/answerer.h"
#include "platform/ui/graphics.h"
#include "platform/ui/prompter.h"

class QFileDialog;

namespace ui {

class TCommonDialog : public rtl::TComponent {
public:
    explicit TCommonDialog(rtl::TComponent* owner) : rtl::TComponent(owner) {}
    // Runs the dialog through the answerer; true when it was confirmed.
    bool Execute();
    std::string Title;

    // Library use: shows the real dialog and takes its answer.
    virtual bool RunQt() = 0;
};

enum TOpenOption : unsigned {
    ofReadOnly = 0x1, ofOverwritePrompt = 0x2, ofHideReadOnly = 0x4, ofNoChangeDir = 0x8, ofAllowMultiSelect = 0x200,
    ofPathMustExist = 0x800, ofFileMustExist = 0x1000, ofEnableSizing = 0x800000
};
using TOpenOptions = unsigned;

// Filter is "Description|*.a;*.b|Other|*.c"; FilterIndex counts its pairs
// from 1. On confirmation FileName is the (first) chosen file and Files all
// of them.
class TOpenDialog : public TCommonDialog {
public:
    explicit TOpenDialog(rtl::TComponent* owner) : TCommonDialog(owner) {}
    const char* ClassName() const override { return "TOpenDialog"; }
    std::string FileName;
    std::string Filter;
    int FilterIndex = 1;
    std::string InitialDir;
    std::string DefaultExt;
    TOpenOptions Options = ofHideReadOnly | ofEnableSizing;
    TPart<rtl::TStringList> Files{&files_};
    bool RunQt() override;

protected:
    virtual bool Saving() const { return false; }
    virtual void Decorate(QFileDialog&) {}

private:
    rtl::TStringList files_;
};

class TSaveDialog : public TOpenDialog {
public:
    explicit TSaveDialog(rtl::TComponent* owner) : TOpenDialog(owner) {}
    const char* ClassName() const override { return "TSaveDialog"; }

protected:
    bool Saving() const override { return true; }
};

// A file dialog that previews the picture under the cursor through the
// picture-format registry; its filter starts as every registered format.
class TOpenPictureDialog : public TOpenDialog {
public:
    explicit TOpenPictureDialog(rtl::TComponent* owner);
    const char* ClassName() const override { return "TOpenPictureDialog"; }
    // The preview of a file as the dialog shows it: the picture drawn into
    // a bitmap of at most Size x Size, aspect kept. Raises for files that
    // are no readable picture.
    static std::unique_ptr<TBitmap> Preview(const std::string& fileName, int size);

protected:
    void Decorate(QFileDialog& dialog) override;
};

enum TFontDialogOption : unsigned { fdEffects = 0x4, fdForceFontExist = 0x10, fdApplyButton = 0x1000 };
using TFontDialogOptions = unsigned;

// The folder browser. Directory is the folder preselected, and the one
// chosen on confirmation.
class TBrowseFolderDialog : public TCommonDialog {
public:
    explicit TBrowseFolderDialog(rtl::TComponent* owner) : TCommonDialog(owner) {}
    const char* ClassName() const override { return "TBrowseFolderDialog"; }
    std::string Directory;
    bool RunQt() override;
};

class TFontDialog : public TCommonDialog {
public:
    explicit TFontDialog(rtl::TComponent* owner) : TCommonDialog(owner) {}
    const char* ClassName() const override { return "TFontDialog"; }
    TPart<TFont> Font{&font_};
    TFontDialogOptions Options = fdEffects;
    // With fdApplyButton: the dialog's Apply button put its font into Font.
    rtl::TNotifyEvent OnApply;
    bool RunQt() override;

private:
    TFont font_;
};

enum TColorDialogOption : unsigned { cdFullOpen = 0x1, cdPreventFullOpen = 0x2, cdSolidColor = 0x8, cdAnyColor = 0x10 };
using TColorDialogOptions = unsigned;

class TColorDialog : public TCommonDialog {
public:
    explicit TColorDialog(rtl::TComponent* owner) : TCommonDialog(owner) {}
    const char* ClassName() const override { return "TColorDialog"; }
    TColor Color = clBlack;
    TColorDialogOptions Options = 0;
    bool RunQt() override;
};

enum TPrintRange { prAllPages, prSelection, prPageNums };
enum TPrintDialogOption : unsigned { poPrintToFile = 0x1, poPageNums = 0x2, poSelection = 0x4 };
using TPrintDialogOptions = unsigned;

// Chooses the printer (printers.h) and what to print.
class TPrintDialog : public TCommonDialog {
public:
    explicit TPrintDialog(rtl::TComponent* owner) : TCommonDialog(owner) {}
    const char* ClassName() const override { return "TPrintDialog"; }
    TPrintDialogOptions Options = 0;
    TPrintRange PrintRange = prAllPages;
    int FromPage = 0, ToPage = 0, Copies = 1;
    bool RunQt() override;
};

// Installs the on-screen prompter and answerer.
void UseQtDialogs();

// Message boxes and one-line questions on screen.
class TQtPrompter : public IPrompter {
public:
    TModalResult MessageDlg(const TPrompt& prompt) override;
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;
};

// For tests: answers message boxes and questions (as TScriptedPrompter),
// modal windows and dialogs from queues, and records what was asked. A
// script gets the window or dialog to fill in and returns the answer (for
// a window, mrNone takes the window's own ModalResult). Anything asked
// with nothing queued is dismissed and counted in `unexpected`.
class TScriptedDialogs : public TScriptedPrompter, public IAnswerer {
public:
    using TModalScript = std::function<TModalResult(TForm& form)>;
    using TDialogScript = std::function<bool(TCommonDialog& dialog)>;
    // Gets the popup menu shown and returns the item to pick, or null.
    using TMenuScript = std::function<TMenuItem*(TPopupMenu& menu)>;

    TScriptedDialogs();
    ~TScriptedDialogs() override;

    TModalResult ShowModal(TForm& form) override;
    bool Execute(TCommonDialog& dialog) override;
    TMenuItem* TrackPopup(TPopupMenu& menu, int x, int y) override;

    void QueueModal(TModalScript script) { modalScripts_.push_back(std::move(script)); }
    void QueueModal(TModalResult result);
    void QueueDialog(TDialogScript script) { dialogScripts_.push_back(std::move(script)); }
    void QueueDialogResult(bool ok);
    void QueueMenu(TMenuScript script) { menuScripts_.push_back(std::move(script)); }

    std::vector<std::string> modals;   // the caption of every window shown modally
    std::vector<std::string> dialogs;  // the class name of every dialog run
    int menusShown = 0;                // popup menus waited on

private:
    IAnswerer* previousAnswerer_;
    std::deque<TModalScript> modalScripts_;
    std::deque<TDialogScript> dialogScripts_;
    std::deque<TMenuScript> menuScripts_;
};

}  // namespace ui

#pragma once
// The browser control over the web engine. Received pages run no scripts
// and a local page reaches nothing remote; links, downloads and new windows
// go to OpenExternal (the desktop's opener with its refusals), never into
// an engine window of their own. Editing works on the document in design
// mode through the program's own script world, never through the clipboard
// or typed keys.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/browser/browser.h"

class QPageLayout;
class QPrinter;
class QWidget;

namespace browser {

// Command results, as the editing command ids of the original control
// return them.
constexpr int kCmdOk = 0;
constexpr int kCmdNotSupported = static_cast<int>(0x80040100u);
constexpr int kCmdFailed = static_cast<int>(0x80004005u);
// The zoom in percent of the parameter: the list's zoom entry shares its
// published number with full justification, so it has one of its own here.
constexpr int kCmdZoomPercent = -50;

// A command's parameter: none, a Boolean or a text.
struct TCommandParam {
    enum TKind { None, Bool, Text } Kind = None;
    bool Flag = false;
    std::string Value;
};

class TWebBrowser : public TBrowser {
public:
    // With a Parent, the view fills it.
    explicit TWebBrowser(QWidget* parent = nullptr);
    ~TWebBrowser() override;
    TWebBrowser(const TWebBrowser&) = delete;
    TWebBrowser& operator=(const TWebBrowser&) = delete;

    // The view, to be placed in a window.
    QWidget* Widget() const;

    void Navigate(const std::string& Url) override;
    void Stop() override;
    bool Busy() const override;
    void SetFocus() override;
    void GoBack();
    void GoForward();
    std::string LocationUrl() const;
    // Whether a page has been loaded at all.
    bool HasDocument() const;

    // Runs editing command Id (the original control's command numbers) on
    // the document: kCmdOk, kCmdFailed when the document refused it,
    // kCmdNotSupported for what this engine cannot do.
    int ExecCommand(int Id, const TCommandParam& Param = {});
    static bool Supported(int Id);
    // Whether command Id makes a new element (its parameter: the element's
    // id, then name=value attributes); other commands take the text as is.
    static bool InsertsElement(int Id);
    // The engine's name and version, for the about box.
    static std::string EngineVersion();
    // Puts the selection into a span with style Css; false when nothing is
    // selected.
    bool ApplyStyle(const std::string& Css);
    // Replaces every Find in the document's text with With; the number
    // replaced.
    int ReplaceAll(const std::string& Find, const std::string& With, bool MatchCase);
    // Whether the document is in design mode, read from the document.
    bool EditMode();
    std::string SelectedText() const;
    // The document as it stands now, edits included.
    std::string DocumentHtml();
    // Writes the page as PDF to Path; raises EBrowserError when it fails.
    void PrintToPdf(const std::string& Path);
    // Prints the page on Printer with its page layout; raises EBrowserError
    // when it fails.
    void Print(QPrinter& Printer);
    // Finds Text in the page; true when found.
    bool Find(const std::string& Text);
    // Runs Script in the program's own script world and gives its result as
    // text ("" for none); raises EBrowserError when no answer comes.
    std::string RunScript(const std::string& Script);

    // Lets the pages of this control run their own scripts, which may write
    // to the clipboard: only for pages that come with the program, never for
    // received ones.
    void AllowOwnScripts();

    // Whether the view is shown (its own setting, whatever its window's).
    bool Visible() const;
    // Shows the view in front of its neighbours, or hides it behind them.
    void SetVisible(bool Show);

    // Tears the engine's parts down; the control does nothing afterwards.
    void Release();

    // Opens a link outside the engine; set by the window (shellopen).
    std::function<bool(const std::string& Url)> OpenExternal;
    // How long an answer of the engine may take.
    int64_t AnswerMs = 20000;

    struct TImpl;

private:
    void printPdf(const std::string& Path, const QPageLayout* Layout);
    std::unique_ptr<TImpl> d_;
};

}  // namespace browser

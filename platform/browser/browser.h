#pragma once
// The browser control as the program asks things of it: go to a page, stop
// loading, tell whether it is loading, take the keyboard focus, and the
// events the windows bind. The control over the web engine lives in
// webbrowser.h (its own library); the tests that need no engine use the
// recording stand-in, which loads nothing.
#include <functional>
#include <string>
#include <vector>

#include "platform/rtl/exceptions.h"

namespace browser {

// What the control raises when it cannot do what it was asked.
RTL_EXCEPTION_CLASS(EBrowserError, rtl::Exception);

class TBrowser {
public:
    virtual ~TBrowser() = default;
    virtual void Navigate(const std::string& Url) = 0;
    virtual void Stop() = 0;
    virtual bool Busy() const = 0;
    virtual void SetFocus() = 0;

    // The text the control shows for the link under the pointer.
    std::function<void(const std::string& Text)> OnStatusTextChange;
    // A page asks for a new window for Url; setting Cancel keeps the
    // control from opening it.
    std::function<void(const std::string& Url, bool& Cancel)> OnNewWindow;
    // The page Url has finished loading.
    std::function<void(const std::string& Url)> OnDocumentComplete;
    // The control is about to go to Url in its page (the page's own load
    // included); setting Cancel keeps it where it is.
    std::function<void(const std::string& Url, bool& Cancel)> OnBeforeNavigate;
};

// Keeps every request in order, one line each: "navigate URL", "stop",
// "focus". Busy answers BusyAnswer; a Navigate while FailNavigate is set
// raises EBrowserError with that text, as the control does for a page it
// cannot show. Complete() raises OnDocumentComplete for the last page.
class TRecordingBrowser : public TBrowser {
public:
    void Navigate(const std::string& Url) override;
    void Stop() override;
    bool Busy() const override { return BusyAnswer; }
    void SetFocus() override;
    void Complete();

    std::vector<std::string> Calls;
    std::string Location;  // the last page navigated to
    bool BusyAnswer = false;
    std::string FailNavigate;
};

}  // namespace browser

#pragma once
// The browser control as the program asks things of it: go to a page, stop
// loading, tell whether it is loading, take the keyboard focus. The control
// over the web engine comes later; until then the program and the tests use
// the recording stand-in, which loads nothing.
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
};

// Keeps every request in order, one line each: "navigate URL", "stop",
// "focus". Busy answers BusyAnswer; a Navigate while FailNavigate is set
// raises EBrowserError with that text, as the control does for a page it
// cannot show.
class TRecordingBrowser : public TBrowser {
public:
    void Navigate(const std::string& Url) override;
    void Stop() override;
    bool Busy() const override { return BusyAnswer; }
    void SetFocus() override;

    std::vector<std::string> Calls;
    std::string Location;  // the last page navigated to
    bool BusyAnswer = false;
    std::string FailNavigate;
};

}  // namespace browser

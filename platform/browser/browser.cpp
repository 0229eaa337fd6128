#include "platform/browser/browser.h"

namespace browser {

void TRecordingBrowser::Navigate(const std::string& Url) {
    Calls.push_back("navigate " + Url);
    if (!FailNavigate.empty()) throw EBrowserError(FailNavigate);
    Location = Url;
    BusyAnswer = false;
}

void TRecordingBrowser::Stop() {
    Calls.push_back("stop");
    BusyAnswer = false;
}

void TRecordingBrowser::SetFocus() { Calls.push_back("focus"); }

void TRecordingBrowser::Complete() {
    if (OnDocumentComplete) OnDocumentComplete(Location);
}

}  // namespace browser

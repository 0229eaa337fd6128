#include "app/unattended.h"

#include <cstdio>

#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace app {

namespace {

// One line per message on standard error, the same in the error log.
void tell(const std::string& what) {
    std::string line = rtl::Trim(what);
    for (char& c : line)
        if (c == '\r') c = ' ';
    std::fprintf(stderr, "%s: %s\n", helpers::programname().c_str(), line.c_str());
    std::fflush(stderr);
    helpers::errlog(rtl::Trim(what));
}

}  // namespace

namespace {

struct TAnswer {
    ui::TMsgDlgBtn button;
    ui::TModalResult result;
    const char* name;
};
const TAnswer kAnswers[] = {{ui::mbYes, ui::mrYes, "Yes"},          {ui::mbNo, ui::mrNo, "No"},
                            {ui::mbOK, ui::mrOk, "OK"},             {ui::mbCancel, ui::mrCancel, "Cancel"},
                            {ui::mbAbort, ui::mrAbort, "Abort"},    {ui::mbRetry, ui::mrRetry, "Retry"},
                            {ui::mbIgnore, ui::mrIgnore, "Ignore"}};

const char* answerName(ui::TModalResult r) {
    for (const TAnswer& a : kAnswers)
        if (a.result == r) return a.name;
    return "Cancel";
}

}  // namespace

ui::TModalResult UnattendedAnswer(const ui::TPrompt& prompt) {
    for (const TAnswer& a : kAnswers)
        if (prompt.defaultButton == a.button && (prompt.buttons & a.button)) return a.result;
    return ui::DismissResult(prompt.buttons);
}

TUnattendedPrompter::TUnattendedPrompter() : previousPrompter_(&ui::Prompter()) { ui::SetPrompter(this); }

TUnattendedPrompter::~TUnattendedPrompter() { ui::SetPrompter(previousPrompter_); }

ui::TModalResult TUnattendedPrompter::MessageDlg(const ui::TPrompt& prompt) {
    const ui::TModalResult answer = UnattendedAnswer(prompt);
    const bool question = prompt.buttons != ui::mbOK;
    tell(prompt.text + (question ? std::string(" [answered ") + answerName(answer) + "]" : std::string()));
    return answer;
}

bool TUnattendedPrompter::InputQuery(const std::string& caption, const std::string& prompt, std::string&) {
    tell(caption + ": " + prompt + " [cancelled]");
    return false;
}

}  // namespace app

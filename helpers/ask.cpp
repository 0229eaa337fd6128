// Questions to the user: yes or no, and whole numbers.
#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"
#include "platform/ui/prompter.h"

namespace helpers {

TInputRoutine inputdialog = ui::InputQuery;

bool askyesno(const std::string& question) {
    const bool info = !question.empty() && question[0] == '@';
    // A question that brings its own mark gets no second one.
    const bool marked = !question.empty() && question.back() == '?';
    const std::string text = rtl::UpperCase(programname()) + "\r\n\r\n" +
                             (info ? question.substr(1) : marked ? question : question + " ?");
    appfront();
    // Enter answers No or Cancel: a stray key press confirms nothing.
    if (info) return ui::MessageDlg(text, ui::mtInformation, ui::mbOKCancel, "", ui::mbCancel) == ui::mrOk;
    return ui::MessageDlg(text, ui::mtConfirmation, ui::mbYesNo, "", ui::mbNo) == ui::mrYes;
}

int64_t asknumber(const std::string& caption, const std::string& prompt, std::string& answer) {
    auto refuse = [&answer](const char* message, const char* mark) -> int64_t {
        if (*message) errreport(message);
        answer = mark;
        return 0;
    };
    const bool ok = inputdialog ? inputdialog(caption, prompt, answer) : ui::InputQuery(caption, prompt, answer);
    if (!ok) return refuse("", "kwcanx");
    if (answer.empty()) return refuse("", "kwvoid");
    if (answer.find_first_not_of("-0123456789") != std::string::npos) return refuse("Numbers Only Please!", "kwchar");
    if (answer.find('-', 1) != std::string::npos) return refuse("Minus Sign in Wrong Place", "kwminus");
    // A lone "-" or more digits than a 64-bit number holds is no number either.
    int64_t v;
    if (!rtl::TryStrToInt64(answer, v)) return refuse("Numbers Only Please!", "kwchar");
    return v;
}

}  // namespace helpers

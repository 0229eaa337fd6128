#pragma once
// The one door through which the program asks the user something: message
// boxes, questions and one-line inputs. The windowed program installs a
// prompter that shows real dialogs; tests install a scripted one that records
// each prompt and answers from a queue, so a headless run never waits.
#include <deque>
#include <string>
#include <vector>

namespace ui {

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// Buttons of a message box (a set of bits) and the modal results they give.
enum TMsgDlgBtn : unsigned {
    mbYes = 1u << 0,
    mbNo = 1u << 1,
    mbOK = 1u << 2,
    mbCancel = 1u << 3,
    mbAbort = 1u << 4,
    mbRetry = 1u << 5,
    mbIgnore = 1u << 6,
};
using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons mbYesNo = mbYes | mbNo;
constexpr TMsgDlgButtons mbOKCancel = mbOK | mbCancel;

enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7 };

struct TPrompt {
    enum Kind { Message, Input } kind = Message;
    std::string caption;
    std::string text;
    TMsgDlgType type = mtInformation;
    TMsgDlgButtons buttons = mbOK;
    std::string value;  // the proposed input of an Input prompt
    // The button that Enter presses; 0 leaves the box's own choice.
    TMsgDlgButtons defaultButton = 0;
};

class IPrompter {
public:
    virtual ~IPrompter() = default;
    // Shows a modal message box; returns the result of the button chosen
    // (closing the box counts as Cancel, or No when there is no Cancel).
    virtual TModalResult MessageDlg(const TPrompt& prompt) = 0;
    // Asks for one line of text; true and Value set on OK.
    virtual bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) = 0;
};

// The prompter in use. Without one installed, prompts go to standard error
// and are answered as if the box had been closed.
IPrompter& Prompter();
void SetPrompter(IPrompter* prompter);

TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons,
                        const std::string& caption = "", TMsgDlgButtons defaultButton = 0);
bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value);

// What closing a box with these buttons answers.
TModalResult DismissResult(TMsgDlgButtons buttons);

// For tests: records every prompt and answers from queues. A prompt with
// no queued answer is answered as dismissed and counted as unexpected.
class TScriptedPrompter : public IPrompter {
public:
    TScriptedPrompter() { previous_ = &Prompter(); SetPrompter(this); }
    ~TScriptedPrompter() override { SetPrompter(previous_); }
    TScriptedPrompter(const TScriptedPrompter&) = delete;
    TScriptedPrompter& operator=(const TScriptedPrompter&) = delete;

    TModalResult MessageDlg(const TPrompt& prompt) override;
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;

    void QueueResult(TModalResult r) { results_.push_back(r); }
    // An answer with Ok false stands for Cancel.
    void QueueInput(std::string text, bool ok = true) { inputs_.push_back({std::move(text), ok}); }

    std::vector<TPrompt> prompts;
    int unexpected = 0;

private:
    struct Input {
        std::string text;
        bool ok;
    };
    IPrompter* previous_;
    std::deque<TModalResult> results_;
    std::deque<Input> inputs_;
};

}  // namespace ui

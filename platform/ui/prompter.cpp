#include "platform/ui/prompter.h"

#include <cstdio>

namespace ui {

namespace {

class StderrPrompter : public IPrompter {
public:
    TModalResult MessageDlg(const TPrompt& p) override {
        std::fprintf(stderr, "%s%s%s\n", p.caption.c_str(), p.caption.empty() ? "" : ": ", p.text.c_str());
        return DismissResult(p.buttons);
    }
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string&) override {
        std::fprintf(stderr, "%s: %s (no answer)\n", caption.c_str(), prompt.c_str());
        return false;
    }
};

IPrompter& fallback() {
    static StderrPrompter p;
    return p;
}

IPrompter*& current() {
    static IPrompter* p = &fallback();
    return p;
}

}  // namespace

IPrompter& Prompter() { return *current(); }

void SetPrompter(IPrompter* prompter) { current() = prompter ? prompter : &fallback(); }

TModalResult DismissResult(TMsgDlgButtons buttons) {
    if (buttons & mbCancel) return mrCancel;
    if (buttons & mbNo) return mrNo;
    if (buttons & mbAbort) return mrAbort;
    if (buttons & mbOK) return mrOk;
    return mrCancel;
}

TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons,
                        const std::string& caption, TMsgDlgButtons defaultButton) {
    TPrompt p;
    p.defaultButton = defaultButton;
    p.caption = caption;
    p.text = text;
    p.type = type;
    p.buttons = buttons;
    return Prompter().MessageDlg(p);
}

bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
    return Prompter().InputQuery(caption, prompt, value);
}

TModalResult TScriptedPrompter::MessageDlg(const TPrompt& prompt) {
    prompts.push_back(prompt);
    if (results_.empty()) {
        ++unexpected;
        return DismissResult(prompt.buttons);
    }
    const TModalResult r = results_.front();
    results_.pop_front();
    return r;
}

bool TScriptedPrompter::InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
    TPrompt p;
    p.kind = TPrompt::Input;
    p.caption = caption;
    p.text = prompt;
    p.value = value;
    prompts.push_back(p);
    if (inputs_.empty()) {
        ++unexpected;
        return false;
    }
    const Input in = inputs_.front();
    inputs_.pop_front();
    if (in.ok) value = in.text;
    return in.ok;
}

}  // namespace ui

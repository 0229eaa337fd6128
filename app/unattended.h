#pragma once
// What answers the program's questions when nobody is there: an unattended
// pull ("pull:ENTRY") runs from cron, where a message box would wait forever.
#include "platform/ui/prompter.h"

namespace app {

// Writes every message to standard error and the error log and answers
// with what loses nothing: the box's default button (the program makes
// that the cautious one: No to deleting, no endless retries), Cancel for
// inputs. Installed while it lives. A pull makes no window, so nothing
// else can ask.
class TUnattendedPrompter : public ui::IPrompter {
public:
    TUnattendedPrompter();
    ~TUnattendedPrompter() override;
    TUnattendedPrompter(const TUnattendedPrompter&) = delete;
    TUnattendedPrompter& operator=(const TUnattendedPrompter&) = delete;

    ui::TModalResult MessageDlg(const ui::TPrompt& prompt) override;
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;

private:
    ui::IPrompter* previousPrompter_;
};

// The answer a box with these buttons gets when nobody can choose.
ui::TModalResult UnattendedAnswer(const ui::TPrompt& prompt);

}  // namespace app

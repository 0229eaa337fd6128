#pragma once
// The find dialog of every window: asks for a search text (a wildcard text,
// or a regular expression after "kwre:") with options for letter case,
// whole words and, in memos, the direction; and searches memos, edits and
// rich edits with it.
#include <cstdint>
#include <string>

#include "platform/ui/comctrls.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

namespace mailbox {

class Tkwfind : public ui::TForm {
public:
    explicit Tkwfind(rtl::TComponent* Owner);
    ~Tkwfind() override;
    const char* ClassName() const override { return "Tkwfind"; }

    // True when OK was pressed with a usable text, which Text then receives.
    // ShowOptions shows the letter-case and whole-word boxes.
    bool Execute(const std::string& Caption, const std::string& Prompt, bool ShowOptions, std::string& Text);
    // Asks with the direction group and, on OK, searches the memo.
    void FindInMemo(ui::TCustomMemo* Memo);
    // Searches again with the dialog's settings; true when found.
    bool FindNext(ui::TCustomEdit* Control);
    // The memos' shared keys: Ctrl+F find, F3 find again, Ctrl+A select
    // all. True (and Key consumed) when the key was taken.
    bool MemoKeyDown(ui::TCustomMemo* Memo, uint16_t& Key, ui::TShiftState Shift);
    // Searches the rich edit from its selection (one further when the text
    // is the last one searched there); the position found, or -1.
    int FindInRichEdit(ui::TRichEdit* Edit);

    void BitBtn1Click(rtl::TObject* Sender);
    void regexpClick(rtl::TObject* Sender);
    void FormShow(rtl::TObject* Sender);
    void fndtxtChange(rtl::TObject* Sender);
    void mtchwhwrdClick(rtl::TObject* Sender);
    void dirgrpClick(rtl::TObject* Sender);

    ui::TLabel* Label1;
    ui::TComboBox* fndtxt;
    ui::TCheckBox* mtchcase;
    ui::TCheckBox* mtchwhwrd;
    ui::TCheckBox* regexp;
    ui::TRadioGroup* dirgrp;
    ui::TLabel* Label2;
    ui::TMemo* Memox;
    ui::TBitBtn* BitBtn1;
    ui::TBitBtn* BitBtn2;

    static constexpr int ShortHeight = 121, TallHeight = 430;

private:
    enum TDirection { Up = 0, Down = 1 };
    // Searches in the chosen direction; on a miss offers to start again
    // from the top or bottom.
    bool Search(ui::TCustomEdit* Control, const std::string& Text, const std::string& Pattern, bool Again,
                bool Restarted);
    bool SearchDown(ui::TCustomEdit* Control, const std::string& Pattern, bool Again);
    bool SearchUp(ui::TCustomEdit* Control, const std::string& Pattern, bool Restarted);

    // What was searched last in memos and in rich edits, for finding again.
    std::string lastmemotext_;
    std::string lastrichtext_ = "@:+_#~";
};

extern Tkwfind* kwfind;

}  // namespace mailbox

#pragma once
// The communications log window: the running log of the POP3 conversation,
// kept in memory for the run, with find and word wrap.
#include <cstdint>
#include <string>

#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

namespace mailbox {

class Tcmmslog : public ui::TForm {
public:
    explicit Tcmmslog(rtl::TComponent* Owner);
    ~Tcmmslog() override;
    const char* ClassName() const override { return "Tcmmslog"; }

    void fnditClick(rtl::TObject* Sender);
    void fnditContextPopup(rtl::TObject* Sender, ui::TPoint MousePos, bool& Handled);
    void wwrapClick(rtl::TObject* Sender);
    void Memo1KeyDown(rtl::TObject* Sender, ui::WORD& Key, ui::TShiftState Shift);

    // Adds one entry (time + " - " + text). Entries reach the memo in
    // batches, at most 20 times a second: laying the memo out again for
    // every line of a long retrieval costs more than the retrieval.
    void Append(const std::string& Text);
    // Puts the entries still waiting into the memo.
    void Flush();

    ui::TLabel* Label1;
    ui::TCheckBox* wwrap;
    ui::TButton* fndit;
    // One entry per line: date and time + " - " + text.
    ui::TMemo* Memo1;

private:
    std::string pending_;
    ui::TTimer* flushTimer_;
    int64_t lastFlush_ = 0;
    int64_t stampSecond_ = -1;  // the second whose time text is in stamp_
    std::string stamp_;
};

extern Tcmmslog* cmmslog;

}  // namespace mailbox

// The communications log window.
#include "mailbox/commslog.h"

#include <chrono>
#include <cmath>

#include "helpers/edithelpers.h"
#include "helpers/kwutil.h"
#include "platform/rtl/dateutils.h"
#include "mailbox/kwfnddlg.h"
#include "platform/ui/extctrls.h"

namespace mailbox {

Tcmmslog* cmmslog = nullptr;

namespace {
constexpr int64_t kFlushMs = 50;

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

Tcmmslog::Tcmmslog(rtl::TComponent* Owner) : ui::TForm(Owner) {
    Caption = "Pelliwox - POP3 Communications Log";
    SetBounds(0, 0, 640, 420);

    auto* top = new ui::TPanel(this);
    top->Align = ui::alTop;
    top->Height = 32;
    top->BevelOuter = ui::bvNone;
    Label1 = new ui::TLabel(top);
    Label1->Caption = "POP3 Communications Log :-";
    Label1->SetBounds(8, 9, 200, 16);
    wwrap = new ui::TCheckBox(top);
    wwrap->Caption = "&WordWrap";
    wwrap->SetBounds(230, 6, 100, 20);
    wwrap->OnClick = [this](rtl::TObject* s) { wwrapClick(s); };
    fndit = new ui::TButton(top);
    fndit->Caption = "Find";
    fndit->Hint = "Click or Ctrl+F to Find Text\r\nRight-Click or F3 to Find Again";
    fndit->ShowHint = true;
    fndit->SetBounds(340, 3, 75, 26);
    fndit->OnClick = [this](rtl::TObject* s) { fnditClick(s); };
    fndit->OnContextPopup = [this](rtl::TObject* s, ui::TPoint p, bool& h) { fnditContextPopup(s, p, h); };

    Memo1 = new ui::TMemo(this);
    Memo1->Align = ui::alClient;
    Memo1->ReadOnly = true;
    Memo1->WordWrap = false;
    Memo1->ScrollBars = ui::ssBoth;
    Memo1->OnKeyDown = [this](rtl::TObject* s, ui::WORD& k, ui::TShiftState sh) { Memo1KeyDown(s, k, sh); };

    flushTimer_ = new ui::TTimer(this);
    flushTimer_->Enabled = false;
    flushTimer_->Interval = static_cast<int>(kFlushMs);
    flushTimer_->OnTimer = [this](rtl::TObject*) { Flush(); };
    OnShow = [this](rtl::TObject*) { Flush(); };

    cmmslog = this;
}

Tcmmslog::~Tcmmslog() {
    if (cmmslog == this) cmmslog = nullptr;
}

void Tcmmslog::Append(const std::string& Text) {
    const double now = rtl::Now();
    const auto second = static_cast<int64_t>(std::floor(now * 86400.0));
    if (second != stampSecond_) {
        stampSecond_ = second;
        stamp_ = helpers::datetimestr(now);
    }
    if (!pending_.empty()) pending_ += '\n';
    pending_ += stamp_;
    pending_ += " - ";
    pending_ += Text;
    if (nowMs() - lastFlush_ >= kFlushMs) Flush();
    else if (!flushTimer_->Enabled()) flushTimer_->Enabled = true;  // the tail shows soon
}

void Tcmmslog::Flush() {
    flushTimer_->Enabled = false;
    lastFlush_ = nowMs();
    if (pending_.empty()) return;
    std::string batch;
    batch.swap(pending_);
    Memo1->Lines->Add(batch);
}

void Tcmmslog::fnditClick(rtl::TObject*) {
    Flush();
    if (kwfind) kwfind->FindInMemo(Memo1);
}

void Tcmmslog::fnditContextPopup(rtl::TObject*, ui::TPoint, bool& Handled) {
    Handled = true;
    Memo1->SetFocus();
    if (kwfind) kwfind->FindNext(Memo1);
}

void Tcmmslog::wwrapClick(rtl::TObject*) { helpers::memowrap(Memo1, wwrap->Checked); }

void Tcmmslog::Memo1KeyDown(rtl::TObject*, ui::WORD& Key, ui::TShiftState Shift) {
    if (kwfind) kwfind->MemoKeyDown(Memo1, Key, Shift);
}

}  // namespace mailbox

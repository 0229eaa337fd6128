// TForm1's POP3 road: the window wired to its mailbox session (logging in,
// commands, retrieval into the rows, deletion at disconnect), the spam and
// white lists and the CSV export.
#include <algorithm>

#include "helpers/kwutil.h"
#include "mailbox/commslog.h"
#include "mailbox/csvexport.h"
#include "mailbox/filters.h"
#include "mailbox/kwdlgsrc.h"
#include "mailbox/kwem1.h"
#include "platform/rtl/sysutils.h"
#include "platform/ui/forms.h"

namespace mailbox {

namespace {

const char* const kNoMessages = "0 messages\rViewing 0\r0 bytes";
const char* const kNoAccount =
    "There is no mail account to get emails from yet.\r\n"
    "Click \"POP3\" to open the hosts window, fill in a row (POP3 host, user name, password; "
    "the SMTP host and your address for sending), click Save, and choose the account in the list "
    "beside \"Get Emails\".";

}  // namespace

// ---------------------------------------------------------------- log and state

void TForm1::CommsLogAppend(const std::string& Text) {
    if (Text.empty() || !cmmslog) return;
    cmmslog->Append(Text);
}

void TForm1::SessionDisplay(const std::string& shown) {
    CommsLogAppend(shown);
    // During a run the status follows at most 20 times a second.
    if (RunActive()) pendingStatus_ = shown;
    else StatusText(shown);
}

void TForm1::wireSession() {
    TMailboxSession& s = *Session;
    s.OnDisplay = [this](const std::string& m) { SessionDisplay(m); };
    s.OnLog = [this](const std::string& t) { CommsLogAppend(t); };
    s.OnStatus = [this](const std::string& t) { StatusText(t); };
    s.OnProgress = [this](const std::string& counters) {
        pendingCounters_ = counters;
        flushProgress();
    };
    s.OnConnState = [this] { ShowConnState(); };
    s.OnRefresh = [this](int r) { RefreshRow(r); };
    s.OnCleared = [this] {
        ListView1->Items->Count = 0;
        Label4->Caption = kNoMessages;
        Label1->Caption = "0 spam / 0 whitelist";
        helpers::waitpump(0);
    };
    s.StopAsked = [this] { return StopFlag; };
}

void TForm1::flushProgress() {
    if (!pendingCounters_.empty()) {
        Label4->Caption = pendingCounters_;
        Label4->Repaint();
        pendingCounters_.clear();
    }
    if (!pendingStatus_.empty()) {
        StatusText(pendingStatus_);
        pendingStatus_.clear();
    }
}

void TForm1::ShowConnState() {
    const bool up = SslPop3Cli1->Connected();
    // The client changes state twice for every command: only a change of
    // the connection itself restarts the keep-alive or repaints.
    if (Timer2->Enabled() != up) Timer2->Enabled = up;
    const char* state = up ? "Connected" : "Disconnected";
    if (RunActive()) pendingStatus_ = state;
    else StatusText(state);
}

// ---------------------------------------------------------------- login and commands

void TForm1::selectedHostToCredentials() {
    // The user name and password always come from the entry whose host is
    // used, never from one chosen before.
    const int i = pop3host->ItemIndex;
    if (i < 0 || i >= static_cast<int>(hostRows_.size())) return;
    const THostFields& row = hostRows_[static_cast<size_t>(i)];
    if (row[0] != pop3host->Text()) return;
    Edit1->Text = row[1];
    Edit2->Text = row[2];
}

void TForm1::syncAccount() {
    selectedHostToCredentials();
    Session->Account = {pop3host->Text(), Edit1->Text(), Edit2->Text()};
}

bool TForm1::Pop3Connect() {
    syncAccount();
    return Session->Connect();
}

bool TForm1::Pop3Command(const std::string& Text) { return Session->Command(Text); }

void TForm1::BitBtn8Click() {
    // Disconnecting clears the rows a running loop is using.
    if (RunActive()) {
        StatusText(kBusy);
        return;
    }
    EraseMarkedAndQuit();
}

void TForm1::BitBtn8ContextPopup(rtl::TObject*) {
    if (!SslPop3Cli1->Connected() && !RunActive()) Pop3Connect();
}

// ---------------------------------------------------------------- session checks and disconnect

TForm1::TRowsCheck TForm1::RowsStillValid() {
    syncAccount();
    return Session->RowsStillValid();
}

void TForm1::dropMarks(const std::string& Why) { Session->DropMarks(Why); }

bool TForm1::EraseMarkedAndQuit() {
    syncAccount();
    // A run that owns the connection keeps it: only the rows go.
    if (BusyFlag) return Session->EraseMarkedAndQuit(false);
    TFlagScope busy(BusyFlag);
    return Session->EraseMarkedAndQuit(true);
}

// ---------------------------------------------------------------- retrieval

bool TForm1::askRanges(int Count, std::string& Ranges) {
    if (!kwgrabstr) return true;
    kwgrabstr->Label2->Caption =
        "Example Comma-Separated Ranges : 4-7,12-20,25- means\rBetween 4 and 7, or between 12 and 20, or 25 and over.";
    kwgrabstr->Label2->Visible = true;
    TScopeExit hide([] { kwgrabstr->Label2->Visible = false; });
    return kwgrabstr->Execute("Pelliwox - " + helpers::numsep(Count) + " Messages for " + pop3host->Text(),
                              "Enter Range(s) of Message Numbers to Retrieve (Blank for All) :-", Ranges);
}

void TForm1::BitBtn1Click(rtl::TObject*) {
    if (BitBtn1->Caption() == "&Stop") {
        StopFlag = true;
        return;
    }
    if (pop3host->Text().empty()) {
        helpers::errreport(kNoAccount);
        return;
    }
    // A second road over the same connection is refused while one runs.
    if (RunActive() || Session->CommandRunning()) {
        StatusText(kBusy);
        return;
    }
    LastRun = TRunReport();
    retrieving_ = true;
    // The host stays as it is while its rows are filled; a choice made
    // meanwhile is taken when the run has ended.
    pop3host->Enabled = false;
    // However the run ends (a stop, a failure, an exception), the window is
    // ready for the next one.
    TScopeExit ended([this] {
        retrieving_ = false;
        StopFlag = false;
        BitBtn1->Caption = "&Get Emails";
        pop3host->Enabled = true;
        ListView1->Items->Count = RowCount();
        flushProgress();
        if (hostChangeWaiting_) pop3hostChange(pop3host);
    });
    retrieve(LastRun);
}

void TForm1::retrieve(TRunReport& report) {
    StopFlag = false;
    syncAccount();
    TRetrieveOptions options;
    options.Incremental = CheckBox1->Checked();
    // The range prompt is for a person choosing, not for the auto-check.
    if (!CheckBox1->Checked())
        options.AskRanges = [this](int count, std::string& ranges) { return askRanges(count, ranges); };
    options.FullRun = [this] {
        rememberedSelection_ = pop3host->Text() != LastHost ? 0 : std::max(SelectedIndex(), rememberedSelection_);
        BitBtn1->Caption = "&Stop";
        ListView1->Items->Count = 0;
    };
    {
        ListView1->Items->BeginUpdate();
        TScopeExit update([this] { ListView1->Items->EndUpdate(); });
        Session->Retrieve(options, report);
    }
    if (!report.failure.empty()) return;
    ShowConnState();
    Label4->Caption = helpers::numsep(MailboxCount) + " messages\rViewing " + helpers::numsep(RowCount()) + "\r" +
                      helpers::numsep(Session->MailboxBytes) + " bytes";
    ListView1->Items->Count = RowCount();
    SortRows();
    if (ListView1->CanFocus()) ListView1->SetFocus();
    BitBtn1->Caption = "&Get Emails";
    if (RowCount() > 0) {
        SelectRow(rememberedSelection_ < RowCount() ? rememberedSelection_ : 0);
        ListView1Click(ListView1);
    }
}

bool IsPullParam(const std::string& Param) { return rtl::LowerCase(rtl::Copy(Param, 1, 5)) == "pull:"; }

// ---------------------------------------------------------------- spam and white lists

void TForm1::loadFilters() {
    LoadPatternFile(ProgramFolder + "kwpop3spam.txt", SpamList);
    LoadPatternFile(ProgramFolder + "kwpop3white.txt", WhiteList);
    // Each list is compiled once per run; a line that does not compile is
    // reported once here and left out, not reported again for every row.
    spamSet_ = TFilterSet(SpamList, TListKind::Spam);
    whiteSet_ = TFilterSet(WhiteList, TListKind::White);
    std::string bad = whiteSet_.BadLinesReport("kwpop3white.txt");
    const std::string badSpam = spamSet_.BadLinesReport("kwpop3spam.txt");
    if (!badSpam.empty()) bad += (bad.empty() ? "" : "\r\n\r\n") + badSpam;
    if (!bad.empty()) helpers::errreport(bad);
}

void TForm1::BitBtn4Click(rtl::TObject*) {
    if (markingRun_) {
        markStop_ = true;
        return;
    }
    if (RunActive()) {
        StatusText(kBusy);
        return;
    }
    // Left last: a host chosen during the run is taken once it has ended.
    TScopeExit after([this] {
        if (hostChangeWaiting_) pop3hostChange(pop3host);
    });
    TFlagScope run(markingRun_);
    TFlagScope busy(BusyFlag);
    markStop_ = false;
    loadFilters();
    TMarkCounts counts;
    for (int i = 0; !markStop_ && i < RowCount(); ++i) {
        if (i % 50 == 0) {
            StatusText("Checking Row " + helpers::numsep(i + 1));
            helpers::waitpump(0);
            if (markStop_ || i >= RowCount()) break;
        }
        if (MarkRow(*rows_, i, whiteSet_, spamSet_, counts)) RefreshRow(i);
        Label1->Caption = helpers::numsep(counts.spam) + " spam / " + helpers::numsep(counts.white) + " whitelist";
    }
    if (ListView1->CanFocus()) ListView1->SetFocus();
    ShowConnState();
}

void TForm1::openPatternFile(const std::string& Name) {
    const std::string path = ProgramFolder + Name;
    if (!helpers::pathexists(path)) helpers::savetext(path, "");
    if (ListView1->CanFocus()) ListView1->SetFocus();
    helpers::shellopen(path);
}

void TForm1::BitBtn5Click(rtl::TObject*) { openPatternFile("kwpop3spam.txt"); }
void TForm1::BitBtn6Click(rtl::TObject*) { openPatternFile("kwpop3white.txt"); }

void TForm1::BitBtn7Click(rtl::TObject*) {
    if (!helpers::askyesno("Delete all emails not on whitelist")) return;
    for (int i = 0; i < RowCount(); ++i) {
        TMsgRow& row = rows_->Row(i);
        // A row whose TOP failed is not judged by a marking run.
        if (row.WhiteHit || row.DeleteMark || row.NotFetched) continue;
        row.DeleteMark = true;
        RefreshRow(i);
    }
}

// ---------------------------------------------------------------- CSV

void TForm1::BitBtn1ContextPopup(rtl::TObject*) { ExportTheCsv(); }

bool TForm1::ExportTheCsv() { return Session->ExportCsv(); }

}  // namespace mailbox

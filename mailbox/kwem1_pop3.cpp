// TForm1's POP3 road: logging in, the command driver, retrieval into the
// rows, deletion at disconnect, the spam and white lists and CSV export.
#include <algorithm>

#include "helpers/kwutil.h"
#include "mailbox/commslog.h"
#include "mailbox/csvexport.h"
#include "mailbox/filters.h"
#include "mailbox/hostentry.h"
#include "mailbox/kwdlgsrc.h"
#include "mailbox/kwem1.h"
#include "mailbox/rowfill.h"
#include "platform/rtl/dateutils.h"
#include "platform/rtl/sysutils.h"

namespace mailbox {

namespace {

constexpr int kBusyWaits = 899;  // 10 ms each
constexpr int kTopLines = 40;
constexpr int kRangePromptAbove = 200;
const char* const kNoMessages = "0 messages\rViewing 0\r0 bytes";

mail::TPop3SslType sslTypeOf(TTlsMode m) {
    switch (m) {
        case TTlsMode::Explicit: return mail::pop3TlsExplicit;
        case TTlsMode::Implicit: return mail::pop3TlsImplicit;
        default: return mail::pop3TlsNone;
    }
}

}  // namespace

// ---------------------------------------------------------------- log and state

void TForm1::CommsLogAppend(const std::string& Text) {
    if (Text.empty() || !cmmslog) return;
    cmmslog->Memo1->Lines->Add(helpers::datetimestr(rtl::Now()) + " - " + Text);
}

void TForm1::SslPop3Cli1Display(rtl::TObject*, const std::string& Msg) {
    const std::string shown = rtl::UpperCase(rtl::Copy(Msg, 1, 7)) == "> PASS " ? "> PASS ***" : Msg;
    CommsLogAppend(shown);
    StatusText(shown);
}

void TForm1::SslPop3Cli1MessageLine(rtl::TObject*) { LineList.Add(SslPop3Cli1->LastResponse()); }

void TForm1::SslPop3Cli1ListLine(rtl::TObject*) {
    const int n = SslPop3Cli1->MsgNum;
    if (n <= 0 || n >= static_cast<int>(rowOfMessage_.size())) return;
    const int r = rowOfMessage_[static_cast<size_t>(n)];
    if (r < 0 || r >= RowCount()) return;
    listedSizes_[static_cast<size_t>(n)] = SslPop3Cli1->MsgSize();
    // A check of the sizes the rows hold must not change them.
    if (!checkingSizes_) rows_->Row(r).Size = static_cast<int32_t>(std::min<int64_t>(SslPop3Cli1->MsgSize(), INT32_MAX));
}

void TForm1::SslPop3Cli1SessionClosed(rtl::TObject*, uint16_t) { ShowConnState(); }

void TForm1::ShowConnState() {
    const bool up = SslPop3Cli1->Connected();
    Timer2->Enabled = up;
    StatusText(up ? "Connected" : "Disconnected");
}

// ---------------------------------------------------------------- login and commands

bool TForm1::Pop3Connect() {
    try {
        const THostAddress a = ParseHostEntry(pop3host->Text());
        SslPop3Cli1->Host = a.host;
        SslPop3Cli1->Port = rtl::IntToStr(a.port);
        SslPop3Cli1->SslType = sslTypeOf(a.tls);
        StatusText("Logging in...");
        CommsLogAppend("Connecting to " + a.host + " on port " + rtl::IntToStr(a.port));
        SslPop3Cli1->UserName = Edit1->Text;
        SslPop3Cli1->PassWord = Edit2->Text;
        if (!SslPop3Cli1->ConnectSync()) {
            CommsLogAppend(SslPop3Cli1->LastResponse());
            StatusText(SslPop3Cli1->LastResponse());
            return false;
        }
        ++sessionId_;
        // Explicit TLS: nothing of the login goes out before STLS has secured
        // the connection; a refused STLS ends the login.
        if (SslPop3Cli1->SslType == mail::pop3TlsExplicit && !SslPop3Cli1->StlsSync()) {
            CommsLogAppend(SslPop3Cli1->ErrorMessage());
            StatusText(SslPop3Cli1->ErrorMessage());
            return false;
        }
        if (SslPop3Cli1->IsServerAPOP() && SslPop3Cli1->APopSync()) return true;
        return SslPop3Cli1->UserSync() && SslPop3Cli1->PassSync();
    } catch (...) {
        return false;
    }
}

bool TForm1::Pop3Command(const std::string& Text) {
    // One command at a time: a request made while another waits for its
    // answer (from a click or a timer inside that wait) is refused, so no
    // answer lands in the wrong place.
    if (inPop3Command_) return false;
    TFlagScope busy(inPop3Command_);
    const std::string word = rtl::UpperCase(helpers::getdelimel(Text, " ", 1));
    const int n = rtl::StrToIntDef(helpers::getdelimel(Text, " ", 2), 1);
    const int m = rtl::StrToIntDef(helpers::getdelimel(Text, " ", 3), 20);
    LineList.Clear();
    if (!SslPop3Cli1->Connected()) return false;
    for (int i = 0; i < kBusyWaits && SslPop3Cli1->State() != mail::pop3Ready; ++i) helpers::waitpump(10);
    if (SslPop3Cli1->State() != mail::pop3Ready) return false;
    try {
        mail::TSslPop3Cli& c = *SslPop3Cli1;
        bool ok;
        if (word == "QUIT") ok = c.QuitSync();
        else if (word == "STAT") ok = c.StatSync();
        else if (word == "LIST") ok = (c.MsgNum = n, c.ListSync());
        else if (word == "TOP") ok = (c.MsgNum = n, c.MsgLines = m, c.TopSync());
        else if (word == "DELE") ok = (c.MsgNum = n, c.DeleSync());
        else if (word == "RETR") ok = (c.MsgNum = n, c.RetrSync());
        else if (word == "UIDL") ok = (c.MsgNum = n, c.UidlSync());
        else return false;
        if (ok && word == "RETR") CommsLogAppend(rtl::Trim(LineList.Text()));
        return ok;
    } catch (...) {
        return false;
    }
}

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

// ---------------------------------------------------------------- session checks

void TForm1::readUidls(std::vector<std::string>& uids) {
    uids.assign(static_cast<size_t>(MailboxCount) + 1, std::string());
    const auto saved = SslPop3Cli1->OnUidlLine;
    SslPop3Cli1->OnUidlLine = [&](rtl::TObject*) {
        const int n = SslPop3Cli1->MsgNum;
        if (n > 0 && n < static_cast<int>(uids.size())) uids[static_cast<size_t>(n)] = SslPop3Cli1->MsgUidl();
    };
    if (!Pop3Command("UIDL 0")) uids.clear();
    SslPop3Cli1->OnUidlLine = saved;
}

bool TForm1::RowsStillValid() {
    if (sessionId_ == rowsSession_) return true;
    // A later session numbers the messages anew: the rows' numbers hold only
    // while the mailbox still has the same messages in the same places.
    if (!Pop3Command("STAT")) return false;
    MailboxCount = std::min(SslPop3Cli1->MsgCount(), MaxMsgRows);
    std::vector<std::string> uids;
    readUidls(uids);
    // The sizes must agree; so must the unique ids where both sessions have them.
    prepareSizeIndex(0);
    bool listed;
    {
        TFlagScope checking(checkingSizes_);
        listed = Pop3Command("LIST 0");
    }
    if (!listed) return false;
    bool same = true;
    for (int i = 0; i < RowCount() && same; ++i) {
        const TMsgRow& row = rows_->Row(i);
        const auto n = static_cast<size_t>(row.MessageNo);
        const std::string_view had = rows_->Text(i, rtUidl);
        same = n < listedSizes_.size() && (row.NotFetched || listedSizes_[n] == row.Size) &&
               (had.empty() || uids.empty() || had == uids[n]);
    }
    if (same) rowsSession_ = sessionId_;
    return same;
}

void TForm1::dropMarks(const std::string& Why) {
    const int marked = CountMarked();
    for (int i = 0; i < RowCount(); ++i) rows_->Row(i).DeleteMark = false;
    RefreshRow(-1);
    if (marked > 0)
        helpers::errreport(Why + "\r\n" + helpers::numsep(marked) +
                           " deletion marks were dropped and nothing was deleted. Please get the emails again.");
}

// ---------------------------------------------------------------- disconnect

void TForm1::deleteSavedFiles(int R) {
    const TMsgRow& row = rows_->Row(R);
    if (row.WhiteHit) return;
    const std::string page(rows_->Text(R, rtPagePath));
    if (!page.empty()) helpers::deleteretry(page);
    const std::string files(rows_->Text(R, rtAttachment));
    for (int k = 1;; ++k) {
        const std::string f = rtl::Trim(helpers::getdelimel(files, "|", k));
        if (f.empty() || f == "\n") break;
        helpers::deleteretry(f);
    }
}

void TForm1::EraseMarkedAndQuit() {
    if (!BusyFlag) {
        // Marks belong to the mailbox the rows came from: another account
        // selected since would number other messages.
        if (CountMarked() > 0 && Account() != rowsAccount_)
            dropMarks("The host or user name has changed since the messages were listed.");
        const int marked = CountMarked();
        // Marks are not thrown away because the connection went: log in again
        // to apply them, and say so when that cannot be done.
        if (marked > 0 && !SslPop3Cli1->Connected() && !Pop3Connect())
            helpers::errreport(helpers::numsep(marked) +
                               " messages marked for deletion were not deleted: the server could not be reached.\r\n" +
                               SslPop3Cli1->LastResponse());
        if (SslPop3Cli1->Connected()) {
            TFlagScope busy(BusyFlag);
            if (marked > 0 && !RowsStillValid()) dropMarks("The mailbox has changed since its messages were listed.");
            int deleted = 0, failed = 0;
            for (int i = 0; i < RowCount(); ++i) {
                TMsgRow& row = rows_->Row(i);
                if (!row.DeleteMark) continue;
                row.DeleteMark = false;
                // The saved page and files go only with the message itself.
                if (Pop3Command("DELE " + rtl::IntToStr(row.MessageNo))) {
                    ++deleted;
                    deleteSavedFiles(i);
                } else {
                    ++failed;
                }
            }
            // The server deletes only when QUIT has been answered.
            const bool quit = Pop3Command("QUIT");
            if (deleted > 0 && !quit)
                helpers::errreport("The server did not confirm the end of the session: the " +
                                   helpers::numsep(deleted) + " messages marked for deletion may not be deleted.");
            else if (failed > 0)
                helpers::errreport(helpers::numsep(failed) + " messages marked for deletion could not be deleted.\r\n" +
                                   SslPop3Cli1->LastResponse());
            rows_->Clear();
        }
    }
    ListView1->Items->Count = 0;
    rows_->SetRowCount(0);
    MailboxCount = 0;
    Label4->Caption = kNoMessages;
    Label1->Caption = "0 spam / 0 whitelist";
    helpers::waitpump(0);
}

// ---------------------------------------------------------------- retrieval

void TForm1::prepareSizeIndex(int FirstRow) {
    rowOfMessage_.assign(static_cast<size_t>(MailboxCount) + 1, -1);
    listedSizes_.assign(static_cast<size_t>(MailboxCount) + 1, -1);
    for (int i = FirstRow; i < RowCount(); ++i) {
        const auto n = static_cast<size_t>(rows_->Row(i).MessageNo);
        if (n < rowOfMessage_.size()) rowOfMessage_[n] = i;
    }
    for (int i = 0; i < FirstRow && i < RowCount(); ++i) {
        const auto n = static_cast<size_t>(rows_->Row(i).MessageNo);
        if (n < rowOfMessage_.size()) rowOfMessage_[n] = i;
    }
}

void TForm1::retrievalEnded() { BitBtn1->Caption = "&Get Emails"; }

bool TForm1::askRanges(int Count, std::string& Ranges) {
    if (!kwgrabstr) return true;
    kwgrabstr->Label2->Caption =
        "Example Comma-Separated Ranges : 4-7,12-20,25- means\rBetween 4 and 7, or between 12 and 20, or 25 and over.";
    kwgrabstr->Label2->Visible = true;
    const bool ok = kwgrabstr->Execute("Pelliwox - " + helpers::numsep(Count) + " Messages for " + pop3host->Text(),
                                       "Enter Range(s) of Message Numbers to Retrieve (Blank for All) :-", Ranges);
    kwgrabstr->Label2->Visible = false;
    return ok;
}

void TForm1::BitBtn1Click(rtl::TObject*) {
    if (BitBtn1->Caption() == "&Stop") {
        StopFlag = true;
        return;
    }
    if (pop3host->Text().empty()) return;
    // A second road over the same connection is refused while one runs.
    if (RunActive() || inPop3Command_) {
        StatusText(kBusy);
        return;
    }
    TFlagScope running(retrieving_);
    StopFlag = false;
    const std::string host = pop3host->Text();
    bool incremental = CheckBox1->Checked() && host == LastHost && Account() == rowsAccount_ && RowCount() > 0;
    if (incremental) {
        Pop3Command("QUIT");
    } else {
        BitBtn1->Caption = "&Stop";
        EraseMarkedAndQuit();
    }
    if (!Pop3Connect()) {
        retrievalEnded();
        return;
    }
    StatusText("Getting Drop...");
    if (!Pop3Command("STAT")) {
        EraseMarkedAndQuit();
        retrievalEnded();
        return;
    }
    MailboxCount = std::min(SslPop3Cli1->MsgCount(), MaxMsgRows);
    const int64_t bytes = SslPop3Cli1->MsgSize();
    // The kept rows of an incremental check must still be the same messages.
    if (incremental && !RowsStillValid()) {
        dropMarks("The mailbox has changed since the last check.");
        incremental = false;
        BitBtn1->Caption = "&Stop";
        rows_->Clear();
        ListView1->Items->Count = 0;
    }
    // Index of the first message to fetch (numbers count from 1).
    int start;
    if (incremental) {
        // Above the highest number held: after a ranged retrieval the rows
        // are fewer than that number.
        int highest = 0;
        for (int i = 0; i < RowCount(); ++i) highest = std::max(highest, rows_->Row(i).MessageNo);
        start = std::min(highest, MailboxCount);
    } else {
        ListView1->Items->Count = 0;
        rows_->Clear();
        start = 0;
        if (host != LastHost) rememberedSelection_ = 0;
        LastHost = host;
        rowsAccount_ = Account();
    }
    const int total0 = MailboxCount;
    std::string ranges;
    if (!CheckBox1->Checked() && total0 > kRangePromptAbove && PullHost.empty()) {
        if (!askRanges(total0, ranges)) {
            EraseMarkedAndQuit();
            retrievalEnded();
            return;
        }
    }
    const bool rangeMode = !rtl::Trim(ranges).empty();
    int total = total0 - start;
    if (rangeMode) {
        total = 0;
        for (int n = start + 1; n <= total0; ++n) total += helpers::inranges(ranges, n) > 0 ? 1 : 0;
    }
    std::vector<std::string> uids;
    readUidls(uids);
    const int kept = RowCount();
    ListView1->Items->Count = rangeMode ? kept + total : kept;
    ListView1->Items->BeginUpdate();
    StatusText("Getting Messages...");
    int r = kept - 1, fetched = 0;
    for (int i = start; !StopFlag && i < total0; ++i) {
        if (rangeMode && helpers::inranges(ranges, i + 1) == 0) continue;
        r = rows_->RowCount();
        rows_->SetRowCount(r + 1);
        TMsgRow& row = rows_->Row(r);
        row.MessageNo = i + 1;
        if (static_cast<size_t>(i + 1) < uids.size()) rows_->SetText(r, rtUidl, uids[static_cast<size_t>(i + 1)]);
        if (Pop3Command("TOP " + rtl::IntToStr(i + 1) + " " + rtl::IntToStr(kTopLines))) {
            const mail::TSslPop3Cli& c = *SslPop3Cli1;
            TTopHeaders h{c.HdrFrom(), c.HdrTo(), c.HdrSubject(), c.HdrReplyTo(), c.HdrCc(), c.HdrDate()};
            FillRowFromTop(*rows_, r, LineList.Text(), h, MessageKey, HdrCharset);
            ++fetched;
        } else {
            rows_->Row(r).NotFetched = true;
        }
        Label4->Caption = helpers::numsep(i + 1) + " of " + helpers::numsep(total0) + "\rGot " + helpers::numsep(fetched) +
                          " of " + helpers::numsep(total) + "\r" + helpers::numsep(bytes) + " bytes";
        Label4->Repaint();
        // Once the connection has gone, the remaining messages still get
        // their rows, marked as not fetched; nothing more is sent.
    }
    ListView1->Items->EndUpdate();
    rowsSession_ = sessionId_;
    ShowConnState();
    prepareSizeIndex(kept);
    Pop3Command("LIST 0");
    StopFlag = false;
    Label4->Caption = helpers::numsep(total0) + " messages\rViewing " + helpers::numsep(r + 1) + "\r" +
                      helpers::numsep(bytes) + " bytes";
    MailboxCount = total0;
    rows_->SetRowCount(r + 1);
    ListView1->Items->Count = RowCount();
    SortRows();
    if (ListView1->CanFocus()) ListView1->SetFocus();
    retrievalEnded();
    if (RowCount() > 0) {
        SelectRow(rememberedSelection_ < RowCount() ? rememberedSelection_ : 0);
        ListView1Click(ListView1);
    }
    if (!PullHost.empty()) {
        BitBtn1ContextPopup(BitBtn1);
        Timer4->Enabled = true;
    }
}

// ---------------------------------------------------------------- spam and white lists

void TForm1::BitBtn4Click(rtl::TObject*) {
    if (markingRun_) {
        markStop_ = true;
        return;
    }
    if (RunActive()) {
        StatusText(kBusy);
        return;
    }
    TFlagScope run(markingRun_);
    TFlagScope busy(BusyFlag);
    markStop_ = false;
    LoadPatternFile(ProgramFolder + "kwpop3spam.txt", SpamList);
    LoadPatternFile(ProgramFolder + "kwpop3white.txt", WhiteList);
    TMarkCounts counts;
    for (int i = 0; !markStop_ && i < RowCount(); ++i) {
        if (i % 50 == 0) {
            StatusText("Checking Row " + helpers::numsep(i + 1));
            helpers::waitpump(0);
            if (markStop_ || i >= RowCount()) break;
        }
        if (MarkRow(*rows_, i, WhiteList, SpamList, counts)) RefreshRow(i);
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

void TForm1::BitBtn1ContextPopup(rtl::TObject*) {
    const std::string path = ProgramFolder + "Pelliwox.csv";
    if (ExportCsv(*rows_, path, [this](int row) { StatusText("CSV Exporting Row " + helpers::numsep(row)); }))
        StatusText("Exported to CSV File " + path);
    else
        StatusText("The CSV file " + path + " could not be written");
}

}  // namespace mailbox

// TForm1's POP3 road: logging in, the command driver, retrieval into the
// rows, deletion at disconnect, the spam and white lists, CSV export and the
// unattended pull.
#include <algorithm>
#include <chrono>

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
#include "platform/ui/forms.h"

namespace mailbox {

namespace {

constexpr int kBusyWaits = 899;  // 10 ms each
constexpr int kTopLines = 40;
constexpr int kRangePromptAbove = 200;
const char* const kNoMessages = "0 messages\rViewing 0\r0 bytes";
// The longest text a TOP answer may give a row. The row store takes texts
// of up to 64 MB, and decoding may make a text a few times longer than the
// answer it came from; a list cell or CSV field of a megabyte is plenty.
constexpr size_t kMaxRowText = 1u << 20;
constexpr size_t kMaxReason = 200;

mail::TPop3SslType sslTypeOf(TTlsMode m) {
    switch (m) {
        case TTlsMode::Explicit: return mail::pop3TlsExplicit;
        case TTlsMode::Implicit: return mail::pop3TlsImplicit;
        default: return mail::pop3TlsNone;
    }
}

// Why the client's last request failed, in the server's or the
// connection's words.
std::string failureOf(const mail::TSslPop3Cli& c) {
    if (c.StatusCode() == mail::POP3_TIMEOUT)
        return "no answer within " + rtl::IntToStr(c.Timeout) + " seconds (" + c.ErrorMessage() + ")";
    const std::string& last = c.LastResponse();
    if (!last.empty() && last[0] == '-') return last;
    if (!c.ErrorMessage().empty()) return c.ErrorMessage();
    return last.empty() ? std::string("no answer") : last;
}

// A text from the server for a row: no NUL bytes, and no longer than a row
// can hold, a cut text saying so at its end.
void rowText(std::string& s) {
    DropNul(s);
    if (s.size() <= kMaxRowText) return;
    const size_t total = s.size();
    size_t cut = kMaxRowText;
    while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
    s.resize(cut);
    s += " [... cut: " + helpers::numsep(static_cast<int64_t>(total)) + " bytes]";
}

// A row whose TOP failed says so in its Subject: visible in the list and
// the CSV file, one line, printable.
void markNotFetched(TRowStore& Rows, int R, const std::string& Reason, TRunReport& Report) {
    std::string why;
    for (char c : Reason.substr(0, kMaxReason)) why += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    Rows.Row(R).NotFetched = true;
    Rows.SetText(R, rtSubject, "[not fetched: " + rtl::Trim(why) + "]");
    ++Report.notFetched;
}

}  // namespace

bool TThrottle::Due() {
    const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    if (now - last_ < ms_) return false;
    last_ = now;
    return true;
}

bool ReadCountAndSize(std::string_view t, int64_t& Count, int64_t& Size) {
    auto number = [&t](size_t& i, int64_t& v) {
        const size_t from = i;
        v = 0;
        for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
            const int d = t[i] - '0';
            if (v > (INT64_MAX - d) / 10) return false;
            v = v * 10 + d;
        }
        return i > from;
    };
    size_t i = 0;
    if (!number(i, Count) || i >= t.size() || t[i] != ' ') return false;
    ++i;
    if (!number(i, Size)) return false;
    return i == t.size() || t[i] == ' ' || t[i] == '\r';
}

// ---------------------------------------------------------------- log and state

void TForm1::CommsLogAppend(const std::string& Text) {
    if (Text.empty() || !cmmslog) return;
    cmmslog->Append(Text);
}

void TForm1::SslPop3Cli1Display(rtl::TObject*, const std::string& Msg) {
    const std::string shown = rtl::UpperCase(rtl::Copy(Msg, 1, 7)) == "> PASS " ? "> PASS ***" : Msg;
    CommsLogAppend(shown);
    // During a run the status follows at most 20 times a second.
    if (RunActive()) pendingStatus_ = shown;
    else StatusText(shown);
}

void TForm1::showProgress(const std::string& Status, const std::string& Counters) {
    if (!Status.empty()) pendingStatus_ = Status;
    if (!Counters.empty()) pendingCounters_ = Counters;
    if (progressGate_.Due()) flushProgress();
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

void TForm1::SslPop3Cli1MessageLine(rtl::TObject*) { LineList.Add(SslPop3Cli1->LastResponse()); }

void TForm1::SslPop3Cli1ListLine(rtl::TObject*) {
    int64_t no, size;
    if (!ReadCountAndSize(SslPop3Cli1->LastResponse(), no, size) || no < 1 || no > INT32_MAX) {
        ++badListLines_;
        return;
    }
    if (static_cast<int64_t>(listing_.size()) >= MaxMsgRows) {
        ++listedBeyond_;
        return;
    }
    listing_.push_back({static_cast<int32_t>(no), size});
}

void TForm1::SslPop3Cli1SessionClosed(rtl::TObject*, uint16_t) { ShowConnState(); }

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

bool TForm1::Pop3Connect() {
    loginRefused_ = false;
    lastFailure_.clear();
    mail::TSslPop3Cli& c = *SslPop3Cli1;
    try {
        selectedHostToCredentials();
        const THostAddress a = ParseHostEntry(pop3host->Text());
        c.Host = a.host;
        c.Port = rtl::IntToStr(a.port);
        c.SslType = sslTypeOf(a.tls);
        StatusText("Logging in...");
        CommsLogAppend("Connecting to " + a.host + " on port " + rtl::IntToStr(a.port));
        c.UserName = Edit1->Text;
        c.PassWord = Edit2->Text;
        if (!c.ConnectSync()) {
            lastFailure_ = failureOf(c);
            CommsLogAppend(lastFailure_);
            StatusText(lastFailure_);
            return false;
        }
        ++sessionId_;
        // Explicit TLS: nothing of the login goes out before STLS has secured
        // the connection; a refused STLS ends the login.
        bool in;
        if (c.SslType == mail::pop3TlsExplicit && !c.StlsSync()) {
            in = false;
            lastFailure_ = "STLS: " + failureOf(c);
        } else {
            in = (c.IsServerAPOP() && c.APopSync()) || (c.UserSync() && c.PassSync());
            if (!in) lastFailure_ = failureOf(c);
        }
        if (in) return true;
        // Refused by a server that answered, as against a connection lost.
        loginRefused_ = c.Connected() && c.StatusCode() != mail::POP3_TIMEOUT;
    } catch (const std::exception& e) {
        lastFailure_ = e.what();
    }
    CommsLogAppend(lastFailure_);
    StatusText(lastFailure_);
    if (c.Connected()) c.Abort();
    return false;
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
    mail::TSslPop3Cli& c = *SslPop3Cli1;
    if (!c.Connected()) {
        lastFailure_ = "the connection was lost";
        return false;
    }
    for (int i = 0; i < kBusyWaits && c.State() != mail::pop3Ready; ++i) helpers::waitpump(10);
    if (c.State() != mail::pop3Ready) {
        lastFailure_ = "the connection stayed busy";
        return false;
    }
    try {
        bool ok;
        if (word == "QUIT") ok = c.QuitSync();
        else if (word == "STAT") ok = c.StatSync();
        else if (word == "LIST") ok = (c.MsgNum = n, c.ListSync());
        else if (word == "CAPA") ok = c.CapaSync();
        // "TOP 0 m": every message the client's TopNums holds, as one request.
        else if (word == "TOP") ok = (c.MsgNum = n, c.MsgLines = m, n > 0 ? c.TopSync() : c.TopBatchSync());
        else if (word == "DELE") ok = (c.MsgNum = n, c.DeleSync());
        else if (word == "RETR") ok = (c.MsgNum = n, c.RetrSync());
        else if (word == "UIDL") ok = (c.MsgNum = n, c.UidlSync());
        else return false;
        if (!ok) lastFailure_ = failureOf(c);
        if (ok && word == "RETR") CommsLogAppend(rtl::Trim(LineList.Text()));
        return ok;
    } catch (const std::exception& e) {
        lastFailure_ = e.what();
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

// ---------------------------------------------------------------- listing and session checks

bool TForm1::readListing() {
    listing_.clear();
    listedBeyond_ = 0;
    badListLines_ = 0;
    if (!Pop3Command("LIST 0")) return false;
    std::sort(listing_.begin(), listing_.end(), [](const TListed& a, const TListed& b) { return a.no < b.no; });
    const bool twice = std::adjacent_find(listing_.begin(), listing_.end(), [](const TListed& a, const TListed& b) {
                           return a.no == b.no;
                       }) != listing_.end();
    if (badListLines_ > 0 || twice) {
        lastFailure_ = twice ? std::string("the LIST answer names a message twice")
                             : helpers::numsep(badListLines_) + " lines of the LIST answer are not \"number size\"";
        listing_.clear();
        return false;
    }
    return true;
}

int TForm1::listedIndex(int No) const {
    const auto it =
        std::lower_bound(listing_.begin(), listing_.end(), No, [](const TListed& a, int no) { return a.no < no; });
    return it != listing_.end() && it->no == No ? static_cast<int>(it - listing_.begin()) : -1;
}

void TForm1::readUidls(std::vector<std::string>& uids) {
    uids.assign(listing_.size(), std::string());
    const auto saved = SslPop3Cli1->OnUidlLine;
    SslPop3Cli1->OnUidlLine = [&](rtl::TObject*) {
        const int i = listedIndex(SslPop3Cli1->MsgNum);
        if (i >= 0) uids[static_cast<size_t>(i)] = SslPop3Cli1->MsgUidl();
    };
    if (!Pop3Command("UIDL 0")) uids.clear();
    SslPop3Cli1->OnUidlLine = saved;
}

TForm1::TRowsCheck TForm1::RowsStillValid() {
    if (sessionId_ == rowsSession_) return rcSame;
    // A later session numbers the messages anew: the rows' numbers hold only
    // while the mailbox still has the same messages in the same places.
    if (!readListing()) return rcUnknown;
    std::vector<std::string> uids;
    readUidls(uids);
    // The sizes must agree; so must the unique ids where both sessions have them.
    for (int i = 0; i < RowCount(); ++i) {
        const TMsgRow& row = rows_->Row(i);
        const int k = listedIndex(row.MessageNo);
        const std::string_view had = rows_->Text(i, rtUidl);
        const bool same = k >= 0 && (row.NotFetched || listing_[static_cast<size_t>(k)].size == row.Size) &&
                          (had.empty() || uids.empty() || had == uids[static_cast<size_t>(k)]);
        if (!same) return rcChanged;
    }
    rowsSession_ = sessionId_;
    return rcSame;
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

bool TForm1::EraseMarkedAndQuit() {
    if (!BusyFlag) {
        // Marks belong to the mailbox the rows came from: another account
        // selected since would number other messages.
        if (CountMarked() > 0 && Account() != rowsAccount_)
            dropMarks("The host or user name has changed since the messages were listed.");
        const int marked = CountMarked();
        // Marks are not thrown away because the connection went: log in again
        // to apply them; when that cannot be done they stay for the next try.
        auto keep = [&](const std::string& why) {
            helpers::errreport(helpers::numsep(marked) + " messages marked for deletion were not deleted: " + why +
                               "\r\n" + lastFailure_ + "\r\nThe marks are kept for the next try.");
            return false;
        };
        if (marked > 0 && !SslPop3Cli1->Connected() && !Pop3Connect())
            return keep(loginRefused_ ? "the server refused the login." : "the server could not be reached.");
        if (SslPop3Cli1->Connected()) {
            TFlagScope busy(BusyFlag);
            if (marked > 0) {
                const TRowsCheck check = RowsStillValid();
                if (check == rcChanged) dropMarks("The mailbox has changed since its messages were listed.");
                if (check == rcUnknown) {
                    SslPop3Cli1->Abort();
                    return keep("the mailbox could not be checked against the list.");
                }
            }
            std::vector<int> deleted;
            int failed = 0;
            for (int i = 0; i < RowCount(); ++i) {
                TMsgRow& row = rows_->Row(i);
                if (!row.DeleteMark) continue;
                row.DeleteMark = false;
                if (Pop3Command("DELE " + rtl::IntToStr(row.MessageNo))) deleted.push_back(i);
                else ++failed;
            }
            // The server deletes only when QUIT has been answered; the saved
            // page and files go only then, with the message itself.
            const bool quit = Pop3Command("QUIT");
            if (quit)
                for (int i : deleted) deleteSavedFiles(i);
            if (!deleted.empty() && !quit)
                helpers::errreport("The server did not confirm the end of the session: the " +
                                   helpers::numsep(static_cast<int64_t>(deleted.size())) +
                                   " messages marked for deletion may not be deleted; their saved files are kept.\r\n" +
                                   lastFailure_);
            else if (failed > 0)
                helpers::errreport(helpers::numsep(failed) + " messages marked for deletion could not be deleted.\r\n" +
                                   lastFailure_);
            rows_->Clear();
        }
    }
    ListView1->Items->Count = 0;
    rows_->SetRowCount(0);
    MailboxCount = 0;
    Label4->Caption = kNoMessages;
    Label1->Caption = "0 spam / 0 whitelist";
    helpers::waitpump(0);
    return true;
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

void TForm1::runNote(TRunReport& Report, const std::string& Note) {
    Report.notes.push_back(Note);
    CommsLogAppend("! " + Note);
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
    const std::string host = pop3host->Text();
    bool incremental = CheckBox1->Checked() && host == LastHost && Account() == rowsAccount_ && RowCount() > 0;
    if (!incremental && SelectedIndex() >= 0) rememberedSelection_ = SelectedIndex();
    if (incremental) {
        Pop3Command("QUIT");
    } else {
        BitBtn1->Caption = "&Stop";
        if (!EraseMarkedAndQuit()) {
            report.failure = "messages marked for deletion could not be deleted: " + lastFailure_;
            return;
        }
    }
    if (!Pop3Connect()) {
        report.failure = lastFailure_;
        return;
    }
    // The kept rows of an incremental check must still be the same messages.
    if (incremental && RowsStillValid() != rcSame) {
        dropMarks("The mailbox has changed since the last check.");
        incremental = false;
        BitBtn1->Caption = "&Stop";
        rows_->Clear();
        ListView1->Items->Count = 0;
    }
    StatusText("Getting Drop...");
    int64_t count = 0, bytes = 0;
    const bool counted = Pop3Command("STAT");
    if (!counted || !ReadCountAndSize(rtl::CopyFrom(SslPop3Cli1->LastResponse(), 5), count, bytes) ||
        rtl::Copy(SslPop3Cli1->LastResponse(), 1, 4) != "+OK ") {
        report.failure = counted ? "the STAT answer is not a message count: " + SslPop3Cli1->LastResponse()
                                 : "STAT: " + lastFailure_;
        EraseMarkedAndQuit();
        return;
    }
    // The rows are the messages LIST names, whatever STAT counted.
    if (!readListing()) {
        report.failure = "LIST: " + lastFailure_;
        EraseMarkedAndQuit();
        return;
    }
    report.listed = true;
    const int64_t listed = static_cast<int64_t>(listing_.size()) + listedBeyond_;
    if (listed != count)
        runNote(report, "The server counts " + helpers::numsep(count) + " messages but lists " +
                            helpers::numsep(listed) + "; the list follows the listing");
    MailboxCount = static_cast<int>(listing_.size());

    // The messages to fetch, as places in the listing.
    int highest = 0;
    if (incremental) {
        // Above the highest number held: after a ranged retrieval the rows
        // are fewer than that number.
        for (int i = 0; i < RowCount(); ++i) highest = std::max(highest, rows_->Row(i).MessageNo);
    } else {
        ListView1->Items->Count = 0;
        rows_->Clear();
        if (host != LastHost) rememberedSelection_ = 0;
        LastHost = host;
        rowsAccount_ = Account();
    }
    std::vector<int> wanted;
    for (size_t k = 0; k < listing_.size(); ++k)
        if (listing_[k].no > highest) wanted.push_back(static_cast<int>(k));
    std::string ranges;
    if (!CheckBox1->Checked() && static_cast<int>(wanted.size()) > kRangePromptAbove && PullHost.empty()) {
        if (!askRanges(MailboxCount, ranges)) {
            report.failure = "no ranges were given";
            EraseMarkedAndQuit();
            return;
        }
    }
    if (!rtl::Trim(ranges).empty())
        std::erase_if(wanted, [&](int k) { return helpers::inranges(ranges, listing_[static_cast<size_t>(k)].no) == 0; });
    const int kept = RowCount();
    const int64_t beyond = listedBeyond_ + std::max<int64_t>(0, kept + static_cast<int64_t>(wanted.size()) - MaxMsgRows);
    if (beyond > 0) {
        wanted.resize(static_cast<size_t>(std::max(0, MaxMsgRows - kept)));
        report.notListed = beyond;
        runNote(report, helpers::numsep(beyond) + " messages are not listed: the list holds at most " +
                            helpers::numsep(MaxMsgRows));
    }
    std::vector<std::string> uids;
    readUidls(uids);
    // A server that offers pipelining gets several TOPs at a time; one that
    // does not answer CAPA gets one at a time.
    if (wanted.size() > 1) Pop3Command("CAPA");
    ListView1->Items->Count = kept;
    ListView1->Items->BeginUpdate();
    TScopeExit update([this] { ListView1->Items->EndUpdate(); });
    mail::TSslPop3Cli& c = *SslPop3Cli1;
    const int total = static_cast<int>(wanted.size());
    int fetched = 0, sent = 0;
    size_t answered = 0;
    // The rows follow the answers, which come in the order the TOPs went out.
    auto newRow = [&](size_t i) {
        const int k = wanted[i];
        const TListed& m = listing_[static_cast<size_t>(k)];
        const int r = rows_->RowCount();
        rows_->SetRowCount(r + 1);
        TMsgRow& row = rows_->Row(r);
        row.MessageNo = m.no;
        row.Size = m.size;
        if (static_cast<size_t>(k) < uids.size()) rows_->SetText(r, rtUidl, uids[static_cast<size_t>(k)]);
        return r;
    };
    c.TopNums.clear();
    for (int k : wanted) c.TopNums.push_back(listing_[static_cast<size_t>(k)].no);
    c.TopGoOn = [&] {
        if (StopFlag) return false;
        ++sent;
        return true;
    };
    c.OnTopAnswer = [&](rtl::TObject*, int No, bool) {
        if (answered >= wanted.size()) throw mail::Pop3Exception("Program error: more answers than TOPs");
        const int r = newRow(answered++);
        fetchRow(r, No, report);
        fetched += rows_->Row(r).NotFetched ? 0 : 1;
        if (progressGate_.Due()) {
            pendingCounters_ = helpers::numsep(No) + " of " + helpers::numsep(MailboxCount) + "\rGot " +
                               helpers::numsep(fetched) + " of " + helpers::numsep(total) + "\r" +
                               helpers::numsep(bytes) + " bytes";
            flushProgress();
        }
    };
    TScopeExit unhook([&c] {
        c.TopGoOn = nullptr;
        c.OnTopAnswer = nullptr;
        c.TopNums.clear();
    });
    StatusText("Getting Messages...");
    const bool whole = Pop3Command("TOP 0 " + rtl::IntToStr(kTopLines));
    // Once the connection has gone, the messages not answered still get
    // their rows, marked as not fetched; after a stop only those asked for.
    const size_t rowsDue = StopFlag ? static_cast<size_t>(sent) : wanted.size();
    for (size_t i = answered; i < rowsDue; ++i) {
        const std::string why = i == answered && !whole ? lastFailure_ : std::string("the connection was lost");
        markNotFetched(*rows_, newRow(i), why, report);
    }
    rowsSession_ = sessionId_;
    ShowConnState();
    Label4->Caption = helpers::numsep(MailboxCount) + " messages\rViewing " + helpers::numsep(RowCount()) + "\r" +
                      helpers::numsep(bytes) + " bytes";
    ListView1->Items->Count = RowCount();
    SortRows();
    if (ListView1->CanFocus()) ListView1->SetFocus();
    BitBtn1->Caption = "&Get Emails";
    if (RowCount() > 0) {
        SelectRow(rememberedSelection_ < RowCount() ? rememberedSelection_ : 0);
        ListView1Click(ListView1);
    }
}

void TForm1::fetchRow(int R, int No, TRunReport& Report) {
    // Row R takes the answer to TOP No that has just ended: its lines are in
    // LineList, its headers in the client.
    const mail::TSslPop3Cli& c = *SslPop3Cli1;
    if (rows_->Row(R).MessageNo != No)
        throw mail::Pop3Exception("Program error: the answer for message " + rtl::IntToStr(No) + " came out of turn");
    if (c.StatusCode() != 0) {
        markNotFetched(*rows_, R, failureOf(c), Report);
        LineList.Clear();
        return;
    }
    TTopHeaders h{c.HdrFrom(), c.HdrTo(), c.HdrSubject(), c.HdrReplyTo(), c.HdrCc(), c.HdrDate()};
    std::string answer = LineList.Text();
    LineList.Clear();
    for (std::string* s : {&h.From, &h.To, &h.Subject, &h.ReplyTo, &h.Cc, &h.Date}) rowText(*s);
    rowText(answer);
    FillRowFromTop(*rows_, R, answer, h, MessageKey, HdrCharset);
}

// ---------------------------------------------------------------- the unattended pull

bool IsPullParam(const std::string& Param) { return rtl::LowerCase(rtl::Copy(Param, 1, 5)) == "pull:"; }

void TForm1::endPull(int Status, const std::string& Reason) {
    PullStatus = Status;
    // Unattended, the prompter writes this to standard error and the error log.
    if (!Reason.empty()) helpers::errreport(Reason);
    Timer4->Enabled = true;
}

void TForm1::RunPull() {
    int entry = -1;
    for (int i = 0; i < pop3host->Items->Count && entry < 0; ++i)
        if (rtl::SameText(pop3host->Items->Get(i), PullHost)) entry = i;
    if (entry < 0) {
        endPull(psUsage, "Pull: there is no host entry \"" + PullHost + "\" in " + HostsPath);
        return;
    }
    pop3host->ItemIndex = entry;
    pop3hostChange(pop3host);
    std::string broke;
    try {
        BitBtn1Click(BitBtn1);
    } catch (const std::exception& e) {
        broke = e.what();
    }
    const TRunReport& r = LastRun;
    std::string notes;
    for (const std::string& n : r.notes) notes += "\r\n" + n;
    if (!r.listed) {
        endPull(psNotListed, "Pull of " + PullHost + ": could not log in or list the mailbox: " +
                                 (broke.empty() ? r.failure : broke) + notes);
        return;
    }
    const std::string csv = ProgramFolder + "Pelliwox.csv";
    if (!ExportTheCsv()) {
        endPull(psCsvFailed, "Pull of " + PullHost + ": the CSV file " + csv + " could not be written" + notes);
        return;
    }
    if (r.notFetched > 0 || r.notListed > 0 || !broke.empty()) {
        std::string why = helpers::numsep(r.notFetched) + " of " + helpers::numsep(RowCount()) +
                          " messages could not be fetched (their rows in " + csv + " say \"[not fetched: ...]\")";
        if (!broke.empty()) why += "; the retrieval broke off: " + broke;
        endPull(psIncomplete, "Pull of " + PullHost + ": " + why + notes);
        return;
    }
    endPull(psComplete, notes.empty() ? std::string() : "Pull of " + PullHost + ":" + notes);
}

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

bool TForm1::ExportTheCsv() {
    const std::string path = ProgramFolder + "Pelliwox.csv";
    TThrottle gate(50);
    const bool ok = ExportCsv(*rows_, path, [&](int row) {
        if (gate.Due()) StatusText("CSV Exporting Row " + helpers::numsep(row));
    });
    StatusText(ok ? "Exported to CSV File " + path : "The CSV file " + path + " could not be written");
    return ok;
}

}  // namespace mailbox

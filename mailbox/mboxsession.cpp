#include "mailbox/mboxsession.h"

#include <algorithm>
#include <chrono>
#include <set>

#include "helpers/kwutil.h"
#include "mailbox/csvexport.h"
#include "mailbox/hostentry.h"
#include "mailbox/rowfill.h"
#include "platform/rtl/sysutils.h"

namespace mailbox {

namespace {

constexpr int kBusyWaits = 899;  // 10 ms each
constexpr int kTopLines = 40;
constexpr int kRangePromptAbove = 200;
// The longest text a TOP answer may give a row. The row store takes texts
// of up to 64 MB, and decoding may make a text a few times longer than the
// answer it came from; a list cell or CSV field of a megabyte is plenty.
constexpr size_t kMaxRowText = 1u << 20;
constexpr size_t kMaxReason = 200;
// Commands out at once when the server pipelines. The window is refilled
// when half of it has been read, and answers already received count as out
// until they are read: a wide window keeps the server busy while the rows
// of a long read are filled.
constexpr size_t kTopsInFlight = 256;

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
    if (c.StatusCode() == mail::POP3_TIMEOUT) {
        if (c.ErrorMessage() != "426 Timeout") return c.ErrorMessage();
        return "no answer within " + rtl::IntToStr(c.Timeout) + " seconds (" + c.ErrorMessage() + ")";
    }
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

double readDate(std::string_view s) { return helpers::parsedate(s); }

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

int ConfigTimeout(const std::string& CfgText) {
    if (CfgText.size() <= 10) return 15;
    return rtl::StrToIntDef(rtl::Trim(helpers::getdelimel(CfgText, "|", 2)), 15);
}

// ---------------------------------------------------------------- life

TMailboxSession::TMailboxSession(const std::string& Folder)
    : folder_(Folder), owner_(std::make_unique<rtl::TComponent>(nullptr)),
      rows_(std::make_unique<TRowStore>(readDate)) {
    context_ = new net::TSslContext(owner_.get());
    context_->SetSslVerifyDepth(9);
    context_->SetSslCipherList("-ALL:+TLSv1.2:+TLSv1.3:HIGH");
    context_->SetSslSessionCacheSize(20480);
    // Servers the user trusts beside the system's authorities.
    const std::string caFile = folder_ + "pelliwoxca.pem";
    if (helpers::pathexists(caFile)) context_->SetSslCAFile(caFile);
    // A client certificate with its key, for servers that ask for one. None
    // ships with the program: a key shared by every installation proves nothing.
    const std::string clientCert = folder_ + "mozcrt.pem";
    if (helpers::pathexists(clientCert)) {
        context_->SetSslCertFile(clientCert);
        context_->SetSslPrivKeyFile(clientCert);
    }
    client_ = new mail::TSslPop3Cli(owner_.get());
    client_->Port = "pop3";
    client_->AuthType = mail::popAuthLogin;
    client_->SslType = mail::pop3TlsImplicit;
    client_->Timeout = 15;
    client_->PipelineDepth = kTopsInFlight;
    client_->SetSslContext(context_);
    wireClient();
}

TMailboxSession::~TMailboxSession() {
    // The client's events reach into this object: none may fire while it goes.
    client_->OnDisplay = nullptr;
    client_->OnStateChange = nullptr;
    client_->OnSessionConnected = nullptr;
    client_->OnSessionClosed = nullptr;
    owner_.reset();
}

void TMailboxSession::wireClient() {
    mail::TSslPop3Cli& c = *client_;
    c.OnDisplay = [this](rtl::TObject*, const std::string& Msg) {
        if (!OnDisplay) return;
        OnDisplay(rtl::UpperCase(rtl::Copy(Msg, 1, 7)) == "> PASS " ? "> PASS ***" : Msg);
    };
    c.OnMessageLine = [this](rtl::TObject*) { LineList.Add(client_->LastResponse()); };
    c.OnListLine = [this](rtl::TObject*) {
        int64_t no, size;
        if (!ReadCountAndSize(client_->LastResponse(), no, size) || no < 1 || no > INT32_MAX) {
            ++badListLines_;
            return;
        }
        if (static_cast<int64_t>(listing_.size()) >= MaxMsgRows) {
            ++listedBeyond_;
            return;
        }
        listing_.push_back({static_cast<int32_t>(no), size});
    };
    auto connState = [this] {
        if (OnConnState) OnConnState();
    };
    c.OnStateChange = [connState](rtl::TObject*) { connState(); };
    c.OnSessionConnected = [connState](rtl::TObject*, uint16_t) { connState(); };
    c.OnSessionClosed = [connState](rtl::TObject*, uint16_t) { connState(); };
}

void TMailboxSession::log(const std::string& Text) {
    if (OnLog && !Text.empty()) OnLog(Text);
}

void TMailboxSession::status(const std::string& Text) {
    if (OnStatus) OnStatus(Text);
}

int TMailboxSession::CountMarked() const {
    int n = 0;
    for (int i = 0; i < RowCount(); ++i) n += rows_->Row(i).DeleteMark ? 1 : 0;
    return n;
}

// ---------------------------------------------------------------- login and commands

bool TMailboxSession::Connect() {
    loginRefused_ = false;
    lastFailure_.clear();
    mail::TSslPop3Cli& c = *client_;
    try {
        const THostAddress a = ParseHostEntry(Account.Entry);
        c.Host = a.host;
        c.Port = rtl::IntToStr(a.port);
        c.SslType = sslTypeOf(a.tls);
        status("Logging in...");
        log("Connecting to " + a.host + " on port " + rtl::IntToStr(a.port));
        c.UserName = Account.User;
        c.PassWord = Account.Password;
        if (!c.ConnectSync()) {
            lastFailure_ = failureOf(c);
            log(lastFailure_);
            status(lastFailure_);
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
    log(lastFailure_);
    status(lastFailure_);
    if (c.Connected()) c.Abort();
    return false;
}

bool TMailboxSession::Command(const std::string& Text) {
    // One command at a time: a request made while another waits for its
    // answer (from a click or a timer inside that wait) is refused, so no
    // answer lands in the wrong place.
    if (inCommand_) return false;
    TFlagScope busy(inCommand_);
    const std::string word = rtl::UpperCase(helpers::getdelimel(Text, " ", 1));
    const int n = rtl::StrToIntDef(helpers::getdelimel(Text, " ", 2), 1);
    const int m = rtl::StrToIntDef(helpers::getdelimel(Text, " ", 3), 20);
    LineList.Clear();
    mail::TSslPop3Cli& c = *client_;
    // A message's answer may take as long as its size allows.
    const int listed = word == "RETR" || word == "TOP" ? listedIndex(n) : -1;
    c.ExpectedSize = listed >= 0 ? listing_[static_cast<size_t>(listed)].size : 0;
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
        if (ok && word == "RETR") log(rtl::Trim(LineList.Text()));
        return ok;
    } catch (const std::exception& e) {
        lastFailure_ = e.what();
        return false;
    }
}

// ---------------------------------------------------------------- listing and session checks

bool TMailboxSession::readListing() {
    listing_.clear();
    listedBeyond_ = 0;
    badListLines_ = 0;
    if (!Command("LIST 0")) return false;
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

int TMailboxSession::listedIndex(int No) const {
    const auto it =
        std::lower_bound(listing_.begin(), listing_.end(), No, [](const TListed& a, int no) { return a.no < no; });
    return it != listing_.end() && it->no == No ? static_cast<int>(it - listing_.begin()) : -1;
}

bool TMailboxSession::readUidls(std::vector<std::string>& uids, std::string& why) {
    uids.assign(listing_.size(), std::string());
    // Each line must name a listed message once, with an id no other has.
    int unlisted = 0, noId = 0, twice = 0;
    std::set<std::string> seen;
    mail::TSslPop3Cli& c = *client_;
    const auto saved = c.OnUidlLine;
    c.OnUidlLine = [&](rtl::TObject*) {
        const int i = listedIndex(c.MsgNum);
        if (i < 0) ++unlisted;
        else if (c.MsgUidl().empty()) ++noId;
        else if (!uids[static_cast<size_t>(i)].empty() || !seen.insert(c.MsgUidl()).second) ++twice;
        else uids[static_cast<size_t>(i)] = c.MsgUidl();
    };
    TScopeExit restore([&] { c.OnUidlLine = saved; });
    if (!Command("UIDL 0")) {
        why = "UIDL: " + lastFailure_;
        uids.clear();
        return false;
    }
    if (unlisted + noId + twice == 0) return true;
    why = "the server's UIDL answer cannot be used:";
    if (unlisted) why += " " + helpers::numsep(unlisted) + " lines name no listed message;";
    if (noId) why += " " + helpers::numsep(noId) + " lines have no id;";
    if (twice) why += " " + helpers::numsep(twice) + " lines repeat a message or an id;";
    why.pop_back();
    uids.clear();
    return false;
}

TRowsCheck TMailboxSession::RowsStillValid() {
    if (sessionId_ == rowsSession_) return rcSame;
    // A later session numbers the messages anew: the rows' numbers hold only
    // while the mailbox still has the same messages in the same places.
    if (!readListing()) return rcUnknown;
    std::vector<std::string> uids;
    std::string why;
    const bool haveUids = readUidls(uids, why);
    // The sizes must agree; so must the unique ids where both sessions have them.
    for (int i = 0; i < RowCount(); ++i) {
        const TMsgRow& row = rows_->Row(i);
        const int k = listedIndex(row.MessageNo);
        const std::string_view had = rows_->Text(i, rtUidl);
        if (!had.empty() && !haveUids && client_->Connected()) {
            // The rows were listed by their ids; without them now, nothing
            // tells a message from another of the same size.
            lastFailure_ = why;
            return rcUnknown;
        }
        const bool same = k >= 0 && (row.NotFetched || listing_[static_cast<size_t>(k)].size == row.Size) &&
                          (had.empty() || had == uids[static_cast<size_t>(k)]);
        if (!same) return rcChanged;
    }
    if (!client_->Connected()) return rcUnknown;
    rowsSession_ = sessionId_;
    return rcSame;
}

void TMailboxSession::DropMarks(const std::string& Why) {
    const int marked = CountMarked();
    for (int i = 0; i < RowCount(); ++i) rows_->Row(i).DeleteMark = false;
    if (OnRefresh) OnRefresh(-1);
    if (marked > 0)
        helpers::errreport(Why + "\r\n" + helpers::numsep(marked) +
                           " deletion marks were dropped and nothing was deleted. Please get the emails again.");
}

// ---------------------------------------------------------------- disconnect

void TMailboxSession::deleteSavedFiles(int R) {
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

bool TMailboxSession::EraseMarkedAndQuit(bool Apply) {
    if (Apply) {
        // Marks belong to the mailbox the rows came from: another account
        // selected since would number other messages.
        if (CountMarked() > 0 && Account.Key() != RowsAccount)
            DropMarks("The host or user name has changed since the messages were listed.");
        const int marked = CountMarked();
        // Marks are not thrown away because the connection went: log in again
        // to apply them; when that cannot be done they stay for the next try.
        auto keep = [&](const std::string& why) {
            helpers::errreport(helpers::numsep(marked) + " messages marked for deletion were not deleted: " + why +
                               "\r\n" + lastFailure_ + "\r\nThe marks are kept for the next try.");
            return false;
        };
        if (marked > 0 && !client_->Connected() && !Connect())
            return keep(loginRefused_ ? "the server refused the login." : "the server could not be reached.");
        if (client_->Connected()) {
            if (marked > 0) {
                const TRowsCheck check = RowsStillValid();
                if (check == rcChanged) DropMarks("The mailbox has changed since its messages were listed.");
                if (check == rcUnknown) {
                    client_->Abort();
                    return keep("the mailbox could not be checked against the list.");
                }
            }
            std::vector<int> deleted;
            int failed = 0;
            for (int i = 0; i < RowCount(); ++i) {
                TMsgRow& row = rows_->Row(i);
                if (!row.DeleteMark) continue;
                row.DeleteMark = false;
                if (Command("DELE " + rtl::IntToStr(row.MessageNo))) deleted.push_back(i);
                else ++failed;
            }
            // The server deletes only when QUIT has been answered; the saved
            // page and files go only then, with the message itself.
            const bool quit = Command("QUIT");
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
    rows_->SetRowCount(0);
    MailboxCount = 0;
    if (OnCleared) OnCleared();
    return true;
}

// ---------------------------------------------------------------- retrieval

void TMailboxSession::runNote(TRunReport& Report, const std::string& Note) {
    Report.notes.push_back(Note);
    log("! " + Note);
}

void TMailboxSession::markNotFetched(int R, const std::string& Reason, TRunReport& Report) {
    // A row whose TOP failed says so in its Subject: visible in the list and
    // the CSV file, one line, printable; its other texts are empty.
    std::string why;
    for (char c : Reason.substr(0, kMaxReason)) why += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    TMsgRow& row = rows_->Row(R);
    if (!row.NotFetched) ++Report.notFetched;
    for (int f = 0; f < rtTextCount; ++f)
        if (f != rtUidl) rows_->SetText(R, static_cast<TRowText>(f), {});
    row.WhiteHit = row.Enciphered = row.DeleteMark = false;
    row.NotFetched = true;
    rows_->SetText(R, rtSubject, "[not fetched: " + rtl::Trim(why) + "]");
}

void TMailboxSession::Retrieve(const TRetrieveOptions& Options, TRunReport& report) {
    const std::string host = Account.Entry;
    bool incremental = Options.Incremental && host == LastHost && Account.Key() == RowsAccount && RowCount() > 0;
    auto fullRun = [&] {
        if (Options.FullRun) Options.FullRun();
    };
    if (incremental) {
        Command("QUIT");
    } else {
        fullRun();
        if (!EraseMarkedAndQuit()) {
            report.failure = "messages marked for deletion could not be deleted: " + lastFailure_;
            return;
        }
    }
    if (!Connect()) {
        report.failure = lastFailure_;
        return;
    }
    // The kept rows of an incremental check must still be the same messages.
    if (incremental && RowsStillValid() != rcSame) {
        DropMarks("The mailbox has changed since the last check.");
        incremental = false;
        fullRun();
        rows_->Clear();
    }
    list(report, incremental, Options);
}

void TMailboxSession::list(TRunReport& report, bool& incremental, const TRetrieveOptions& Options) {
    status("Getting Drop...");
    int64_t count = 0, bytes = 0;
    const bool counted = Command("STAT");
    if (!counted || !ReadCountAndSize(rtl::CopyFrom(client_->LastResponse(), 5), count, bytes) ||
        rtl::Copy(client_->LastResponse(), 1, 4) != "+OK ") {
        report.failure = counted ? "the STAT answer is not a message count: " + client_->LastResponse()
                                 : "STAT: " + lastFailure_;
        EraseMarkedAndQuit();
        return;
    }
    MailboxBytes = bytes;
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
        rows_->Clear();
        LastHost = Account.Entry;
        RowsAccount = Account.Key();
    }
    std::vector<int> wanted;
    for (size_t k = 0; k < listing_.size(); ++k)
        if (listing_[k].no > highest) wanted.push_back(static_cast<int>(k));
    std::string ranges;
    if (Options.AskRanges && static_cast<int>(wanted.size()) > kRangePromptAbove &&
        !Options.AskRanges(MailboxCount, ranges)) {
        report.failure = "no ranges were given";
        EraseMarkedAndQuit();
        return;
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
    // UIDL is optional for the listing: without a usable answer the rows are
    // fetched all the same, and the checks that need it say why it is missing.
    std::vector<std::string> uids;
    std::string uidlWhy;
    if (!readUidls(uids, uidlWhy)) runNote(report, uidlWhy);
    // A server that offers pipelining gets several TOPs at a time; one that
    // does not answer CAPA gets one at a time.
    if (wanted.size() > 1) Command("CAPA");
    fetch(wanted, uids, report);
}

void TMailboxSession::fetch(const std::vector<int>& wanted, const std::vector<std::string>& uids, TRunReport& report) {
    mail::TSslPop3Cli& c = *client_;
    const int total = static_cast<int>(wanted.size());
    int fetched = 0;
    size_t answered = 0;
    // Rows from here on were filled from answers not yet checked to be in
    // step with their commands.
    int unchecked = RowCount();
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
    c.TopSizes.clear();
    for (int k : wanted) {
        c.TopNums.push_back(listing_[static_cast<size_t>(k)].no);
        c.TopSizes.push_back(listing_[static_cast<size_t>(k)].size);
    }
    c.CheckEvery = CheckEvery;
    c.TopGoOn = [this] { return !(StopAsked && StopAsked()); };
    // The answer's lines go straight into one text: no list of lines to
    // join again for every message.
    const auto lineToList = c.OnMessageLine;
    c.OnMessageLine = [this](rtl::TObject*) { topAnswer_.append(client_->LastResponse()).append("\r\n"); };
    c.OnTopAnswer = [&](rtl::TObject*, int No, bool) {
        if (answered >= wanted.size()) throw mail::Pop3Exception("Program error: more answers than TOPs");
        const int r = newRow(answered++);
        fetchRow(r, No, report);
        fetched += rows_->Row(r).NotFetched ? 0 : 1;
        if (progressGate_.Due() && OnProgress)
            OnProgress(helpers::numsep(No) + " of " + helpers::numsep(MailboxCount) + "\rGot " +
                       helpers::numsep(fetched) + " of " + helpers::numsep(total) + "\r" +
                       helpers::numsep(MailboxBytes) + " bytes");
    };
    c.OnTopChecked = [&](rtl::TObject*, int No) {
        if (RowCount() == 0 || rows_->Row(RowCount() - 1).MessageNo != No)
            throw mail::Pop3Exception("Program error: a check for message " + rtl::IntToStr(No) + " out of turn");
        unchecked = RowCount();
        if (OnRowsFinal) OnRowsFinal(unchecked);
    };
    TScopeExit unhook([&c, &lineToList] {
        c.OnMessageLine = lineToList;
        c.TopGoOn = nullptr;
        c.OnTopAnswer = nullptr;
        c.OnTopChecked = nullptr;
        c.TopNums.clear();
        c.TopSizes.clear();
    });
    status("Getting Messages...");
    c.ResetOutOfStep();
    topAnswer_.clear();
    const bool whole = Command("TOP 0 " + rtl::IntToStr(kTopLines));
    const std::string failure = whole ? std::string() : lastFailure_;
    // Rows whose answers were never checked could hold another message's
    // text once there is any sign that answers and commands went out of
    // step (a time-out while answers were awaited counts): none is kept on
    // trust then. A connection that merely went leaves them as they are.
    const bool outOfStep = c.AnswersOutOfStep();
    if (outOfStep) report.outOfStep = true;
    if (CheckEvery > 0 && unchecked < RowCount() && (outOfStep || c.StatusCode() == mail::POP3_TIMEOUT)) {
        const std::string why = "its answer could not be checked to be its own (" + failure + ")";
        for (int r = unchecked; r < RowCount(); ++r)
            if (!rows_->Row(r).NotFetched) markNotFetched(r, why, report);
    }
    // Once the connection has gone, the messages not answered still get
    // their rows, marked as not fetched; after a stop only those asked for.
    const bool stopped = StopAsked && StopAsked();
    const size_t rowsDue = stopped ? std::min(wanted.size(), c.TopsSent()) : wanted.size();
    for (size_t i = answered; i < rowsDue; ++i) {
        const std::string why = i == answered && !whole ? failure : std::string("the connection was lost");
        markNotFetched(newRow(i), why, report);
    }
    rowsSession_ = sessionId_;
    if (OnRowsFinal) OnRowsFinal(RowCount());
    if (OnConnState) OnConnState();
}

void TMailboxSession::fetchRow(int R, int No, TRunReport& Report) {
    // Row R takes the answer to TOP No that has just ended: its lines are in
    // topAnswer_, its headers in the client.
    const mail::TSslPop3Cli& c = *client_;
    if (rows_->Row(R).MessageNo != No)
        throw mail::Pop3Exception("Program error: the answer for message " + rtl::IntToStr(No) + " came out of turn");
    std::string answer;
    answer.swap(topAnswer_);
    if (c.StatusCode() != 0) {
        markNotFetched(R, failureOf(c), Report);
        return;
    }
    TTopHeaders h{c.HdrFrom(), c.HdrTo(), c.HdrSubject(), c.HdrReplyTo(), c.HdrCc(), c.HdrDate()};
    for (std::string* s : {&h.From, &h.To, &h.Subject, &h.ReplyTo, &h.Cc, &h.Date}) rowText(*s);
    rowText(answer);
    FillRowFromTop(*rows_, R, answer, h, MessageKey, HdrCharset);
}

// ---------------------------------------------------------------- CSV

bool TMailboxSession::ExportCsv(const std::function<void(int)>& Progress) {
    const std::string path = CsvPath();
    TThrottle gate(50);
    const bool ok = mailbox::ExportCsv(*rows_, path, [&](int row) {
        if (gate.Due()) {
            if (Progress) Progress(row);
            status("CSV Exporting Row " + helpers::numsep(row));
        }
    });
    status(ok ? "Exported to CSV File " + path : "The CSV file " + path + " could not be written");
    return ok;
}

}  // namespace mailbox

#pragma once
// The mailbox session without a window: the POP3 connection of one host
// entry (its TLS mode, the login), the listing (STAT, LIST, UIDL), the TOP
// batch that fills the rows, the checks that the rows still name the
// server's messages before marks are applied, deletion on disconnect and
// the CSV file. The mailbox window wires its buttons, progress and
// questions to it; the unattended pull drives it alone, with no display.
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mail/pop3prot.h"
#include "mailbox/msgrows.h"
#include "net/sslcontext.h"
#include "platform/rtl/classes.h"

namespace mailbox {

// Runs an action when a scope is left, whatever way it is left.
class TScopeExit {
public:
    explicit TScopeExit(std::function<void()> f) : f_(std::move(f)) {}
    ~TScopeExit() {
        if (f_) f_();
    }
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;

private:
    std::function<void()> f_;
};

// Sets a flag for the length of a scope (one run), whatever way it is left.
class TFlagScope {
public:
    explicit TFlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~TFlagScope() { flag_ = false; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& flag_;
};

// Lets a frequent update through at most every Ms milliseconds: progress
// and log lines arrive per message, far faster than anyone reads them.
class TThrottle {
public:
    explicit TThrottle(int ms) : ms_(ms) {}
    // True when the last update that was let through is at least Ms old.
    bool Due();

private:
    int ms_;
    int64_t last_ = INT64_MIN / 2;
};

// Reads "N SIZE" (a STAT answer after "+OK ", or a LIST line): two decimal
// numbers separated by one blank, optionally followed by a blank and more.
// False for anything else, and for numbers beyond 64 bits.
bool ReadCountAndSize(std::string_view Text, int64_t& Count, int64_t& Size);

// The POP3 time-out in seconds from "pelliwox.cfg" (list font "|"
// time-out): 15 when the file is too short or the field no number.
int ConfigTimeout(const std::string& CfgText);

// Exit statuses of an unattended pull ("pull:ENTRY").
enum TPullStatus {
    psComplete = 0,     // every listed message is in the CSV file
    psUsage = 1,        // no host entry of that name
    psNotListed = 2,    // could not connect, log in or list the mailbox
    psIncomplete = 3,   // listed, but some messages could not be fetched
    psCsvFailed = 4,    // the CSV file could not be written
};

// What the last retrieval achieved, for the pull's exit status and report.
struct TRunReport {
    bool listed = false;       // the mailbox was counted and listed
    int notFetched = 0;        // rows whose TOP failed or could not be checked
    int64_t notListed = 0;     // listed messages beyond the rows' capacity
    bool outOfStep = false;    // answers and commands were found out of step
    std::string failure;       // why the run ended before listing
    std::vector<std::string> notes;  // what the server said that did not add up
};

// Whether the rows' message numbers still name the same messages in the
// present session.
enum TRowsCheck { rcSame, rcChanged, rcUnknown };

// The host entry in use: the host text "host[/[+|-]port] (description)",
// the user name and the password.
struct TAccount {
    std::string Entry, User, Password;
    // Which mailbox rows belong to.
    std::string Key() const { return Entry + "\n" + User; }
};

// How a retrieval runs.
struct TRetrieveOptions {
    // Fetch only messages above those held when the same mailbox is
    // checked again (the auto-check); otherwise the rows start anew.
    bool Incremental = false;
    // Asked for ranges of message numbers when more than 200 are to be
    // fetched; null fetches all. False: cancelled.
    std::function<bool(int Count, std::string& Ranges)> AskRanges;
    // The run turned out to start anew (the window shows "&Stop").
    std::function<void()> FullRun;
};

class TMailboxSession {
public:
    // Folder: the program folder, with its trailing "/" (CA file, client
    // certificate, CSV file).
    explicit TMailboxSession(const std::string& Folder);
    ~TMailboxSession();
    TMailboxSession(const TMailboxSession&) = delete;
    TMailboxSession& operator=(const TMailboxSession&) = delete;

    mail::TSslPop3Cli& Client() { return *client_; }
    net::TSslContext& Context() { return *context_; }
    TRowStore& Rows() { return *rows_; }
    const TRowStore& Rows() const { return *rows_; }
    int RowCount() const { return rows_->RowCount(); }
    int CountMarked() const;

    // Connects to Account's host and logs in; on a refused login the
    // connection is closed again and LoginRefused tells it from an
    // unreachable server.
    bool Connect();
    bool LoginRefused() const { return loginRefused_; }
    // One command ("QUIT", "STAT", "LIST n", "CAPA", "TOP n m" ("TOP 0 m":
    // the batch of the client's TopNums), "DELE n", "RETR n", "UIDL n"),
    // refused while another waits for its answer.
    bool Command(const std::string& Text);
    bool CommandRunning() const { return inCommand_; }
    // Why the last failed connection or command failed.
    const std::string& Failure() const { return lastFailure_; }
    // Whether the rows' numbers still name the messages they were listed
    // for (by UIDL where both sessions have it, else by LIST sizes).
    TRowsCheck RowsStillValid();
    // Clears every mark; reports Why when marks were dropped.
    void DropMarks(const std::string& Why);
    // Deletes the marked messages (after checking the rows against the
    // server) and quits; Apply false only clears the rows. False when
    // marked messages could not be deleted: their rows and marks are then
    // kept for the next try.
    bool EraseMarkedAndQuit(bool Apply = true);
    // Logs in (unless connected), lists the mailbox and fetches the wanted
    // messages' headers into the rows. Report says how far it got.
    void Retrieve(const TRetrieveOptions& Options, TRunReport& Report);
    // Writes the rows to Folder + "Pelliwox.csv"; false when it could not.
    bool ExportCsv(const std::function<void(int Row)>& Progress = nullptr);
    std::string CsvPath() const { return folder_ + "Pelliwox.csv"; }

    TAccount Account;
    std::string RowsAccount;  // the account the rows were listed from
    std::string LastHost = "$\xC2\xA3$**\xC2\xA3$";
    int MailboxCount = 0;
    int64_t MailboxBytes = 0;  // STAT's total of the last listing
    std::string HdrCharset;
    std::string MessageKey;   // the key of enciphered subjects
    rtl::TStringList LineList;  // the lines of the last TOP or RETR answer
    // TOPs between two checks that the answers are in step.
    int CheckEvery = 16;
    // Whether the window asked the run to stop.
    std::function<bool()> StopAsked;

    // The client's trace, the password hidden ("> PASS ***").
    std::function<void(const std::string&)> OnDisplay;
    // A line for the communications log.
    std::function<void(const std::string&)> OnLog;
    // A status line.
    std::function<void(const std::string&)> OnStatus;
    // The counters of a running retrieval, at most 20 times a second.
    std::function<void(const std::string&)> OnProgress;
    // The connection came or went.
    std::function<void()> OnConnState;
    // Rows changed (-1: all of them) and are to be redrawn.
    std::function<void(int Row)> OnRefresh;
    // The rows were cleared by a disconnect.
    std::function<void()> OnCleared;
    // During a retrieval: rows 0 .. Rows - 1 are final (their answers were
    // checked, or they are marked as not fetched) and stay as they are.
    std::function<void(int Rows)> OnRowsFinal;

private:
    void wireClient();
    void log(const std::string& Text);
    void status(const std::string& Text);
    bool readListing();
    int listedIndex(int No) const;
    // UIDL into Uids (by place in the listing); false (with why) when the
    // server's answer cannot be used.
    bool readUidls(std::vector<std::string>& Uids, std::string& Why);
    void deleteSavedFiles(int R);
    void fetchRow(int R, int No, TRunReport& Report);
    void markNotFetched(int R, const std::string& Reason, TRunReport& Report);
    void runNote(TRunReport& Report, const std::string& Note);
    void list(TRunReport& Report, bool& Incremental, const TRetrieveOptions& Options);
    void fetch(const std::vector<int>& Wanted, const std::vector<std::string>& Uids, TRunReport& Report);

    std::string folder_;
    std::unique_ptr<rtl::TComponent> owner_;
    net::TSslContext* context_ = nullptr;
    mail::TSslPop3Cli* client_ = nullptr;
    std::unique_ptr<TRowStore> rows_;
    bool inCommand_ = false;
    bool loginRefused_ = false;
    std::string lastFailure_;
    int sessionId_ = 0;    // counts the POP3 connections made
    int rowsSession_ = 0;  // the session whose message numbers the rows hold
    // The last LIST: message numbers in rising order with their sizes.
    struct TListed {
        int32_t no;
        int64_t size;
    };
    std::vector<TListed> listing_;
    int64_t listedBeyond_ = 0;  // listed messages the rows have no room for
    int badListLines_ = 0;
    TThrottle progressGate_{50};
    std::string topAnswer_;  // the lines of the TOP answer being read
};

}  // namespace mailbox

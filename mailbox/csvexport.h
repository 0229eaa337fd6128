#pragma once
// The message list as a CSV file, written in chunks so that 1,500,000 rows
// never stand in memory at once.
#include <functional>
#include <string>

#include "mailbox/msgrows.h"
#include "platform/rtl/fileio.h"

namespace mailbox {

constexpr const char* kCsvHeader = "MessageNo,From,To,Subject,OrgDate,DateTime,Size,Firstlines,Matched,Attachment,Charset";

// Removes NUL bytes: no reader of a CSV file or a list cell expects one.
void DropNul(std::string& text);

// One row as a CSV line, without its line end. No NUL byte is written.
std::string CsvLine(const TRowStore& store, int r);
void AppendCsvLine(std::string& out, const TRowStore& store, int r);
// The DateTime column: a date read from OrgDate in the short date form, with
// the long time when it has one, the time alone below one day; empty when
// there is no date that could be read.
std::string CsvDateTime(const TMsgRow& row);

// The CSV file written as rows come: into a new file beside Path, readable
// by its owner only (it holds mail), which replaces Path only once complete;
// a link or anything but a file at Path is refused, never written through.
// Every failure is reported (the file and the system's reason) and ends
// the writing; an unfinished file is removed.
class TCsvWriter {
public:
    explicit TCsvWriter(std::string Path);
    ~TCsvWriter();
    TCsvWriter(const TCsvWriter&) = delete;
    TCsvWriter& operator=(const TCsvWriter&) = delete;
    // The header line.
    bool Begin();
    // Rows From .. To - 1 in list order; Progress every 100 rows.
    bool Append(const TRowStore& store, int From, int To, const std::function<void(int)>& Progress = nullptr);
    // The file complete, in Path's place.
    bool Finish();

private:
    bool flush();
    bool fail(const std::string& what, const rtl::TFileFailure& why);

    std::string path_, buffer_;
    rtl::TFileReplacement replacement_;
    bool open_ = false;
    bool failed_ = false;
};

// Writes every row in list order to Path (replacing it). Progress is called
// every 100 rows with the row number. False when the file could not be written
// (the failure is reported through the helper library).
bool ExportCsv(const TRowStore& store, const std::string& path, const std::function<void(int)>& progress);

}  // namespace mailbox

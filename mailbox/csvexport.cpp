#include "mailbox/csvexport.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "helpers/kwutil.h"
#include "platform/rtl/dateutils.h"
#include "platform/rtl/sysutils.h"

namespace mailbox {

namespace {
constexpr size_t kChunk = 200000;
}

void DropNul(std::string& text) {
    if (std::memchr(text.data(), 0, text.size())) text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
}

std::string CsvDateTime(const TMsgRow& row) {
    const double dt = row.DateKey;
    // No date, or none that could be read: nothing, rather than a midnight.
    if (dt == 0) return {};
    if (dt > 0 && dt < 1) return rtl::FormatDateTime(helpers::formatsettings.LongTimeFormat, dt);
    return helpers::datetimestr(dt);
}

void AppendCsvLine(std::string& out, const TRowStore& store, int r) {
    const TMsgRow& row = store.Row(r);
    auto number = [&out](int64_t v) {
        char buf[24];
        out.append(buf, static_cast<size_t>(std::to_chars(buf, buf + sizeof buf, v).ptr - buf));
    };
    std::string clean;
    auto field = [&](std::string_view text) {
        out += ',';
        if (std::memchr(text.data(), 0, text.size())) {
            clean.assign(text);
            DropNul(clean);
            text = clean;
        }
        helpers::quotefieldto(out, text);
    };
    number(row.MessageNo);
    for (TRowText f : {rtFrom, rtTo, rtSubject, rtOrgDate}) field(store.Text(r, f));
    field(CsvDateTime(row));
    out += ',';
    number(row.Size);
    for (TRowText f : {rtFirstlines, rtMatched, rtAttachment, rtCharset}) field(store.Text(r, f));
}

std::string CsvLine(const TRowStore& store, int r) {
    std::string line;
    AppendCsvLine(line, store, r);
    return line;
}

TCsvWriter::TCsvWriter(std::string Path) : path_(std::move(Path)) {}

TCsvWriter::~TCsvWriter() = default;  // an unfinished file is removed with its replacement

bool TCsvWriter::fail(const std::string& what, const rtl::TFileFailure& why) {
    if (!failed_) helpers::errreport("Could not " + what + " " + path_ + ": " + why.Text());
    failed_ = true;
    open_ = false;
    replacement_.Abandon();
    return false;
}

bool TCsvWriter::Begin() {
    rtl::TFileFailure why;
    if (!replacement_.Begin(path_, 0600, why)) return fail("create", why);
    open_ = true;
    buffer_ = std::string(kCsvHeader) + "\r\n";
    buffer_.reserve(kChunk + 65536);
    return true;
}

bool TCsvWriter::flush() {
    if (!open_) return false;
    rtl::TFileFailure why;
    if (!rtl::WriteAll(replacement_.Handle(), buffer_, why)) return fail("write", why);
    buffer_.clear();
    return true;
}

bool TCsvWriter::Append(const TRowStore& store, int From, int To, const std::function<void(int)>& Progress) {
    if (!open_) return false;
    for (int i = From; i < To; ++i) {
        if (i % 100 == 0 && Progress) Progress(i + 1);
        AppendCsvLine(buffer_, store, i);
        buffer_ += "\r\n";
        if (buffer_.size() > kChunk && !flush()) return false;
    }
    return true;
}

bool TCsvWriter::Finish() {
    if (!flush()) return false;
    // No fsync: the file is an export the next run writes again, and tens of
    // megabytes forced to the disk would cost more than the whole listing.
    rtl::TFileFailure why;
    open_ = false;
    if (!replacement_.Commit(false, why)) return fail("write", why);
    return true;
}

bool ExportCsv(const TRowStore& store, const std::string& path, const std::function<void(int)>& progress) {
    TCsvWriter csv(path);
    return csv.Begin() && csv.Append(store, 0, store.RowCount(), progress) && csv.Finish();
}

}  // namespace mailbox

#include "mailbox/csvexport.h"

#include <algorithm>
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

bool ExportCsv(const TRowStore& store, const std::string& path, const std::function<void(int)>& progress) {
    if (helpers::pathexists(path) && !helpers::deleteretry(path)) return false;
    std::string buffer = std::string(kCsvHeader) + "\r\n";
    buffer.reserve(kChunk + 65536);
    for (int i = 0; i < store.RowCount(); ++i) {
        if (i % 100 == 0 && progress) progress(i + 1);
        AppendCsvLine(buffer, store, i);
        buffer += "\r\n";
        if (buffer.size() > kChunk) {
            if (!helpers::savetext("+" + path, buffer)) return false;
            buffer.clear();
        }
    }
    return helpers::savetext("+" + path, buffer);
}

}  // namespace mailbox

#include "mailbox/csvexport.h"

#include "helpers/kwutil.h"
#include "platform/rtl/dateutils.h"
#include "platform/rtl/sysutils.h"

namespace mailbox {

namespace {
constexpr size_t kChunk = 200000;
}

std::string CsvDateTime(const TMsgRow& row) {
    const double dt = row.DateKey;
    if (dt >= 0 && dt < 1) return rtl::FormatDateTime(helpers::formatsettings.LongTimeFormat, dt);
    return helpers::datetimestr(dt);
}

std::string CsvLine(const TRowStore& store, int r) {
    const TMsgRow& row = store.Row(r);
    auto q = [&](TRowText f) { return helpers::quotefield(store.Text(r, f)); };
    std::string line = rtl::IntToStr(row.MessageNo);
    for (TRowText f : {rtFrom, rtTo, rtSubject, rtOrgDate}) line += "," + q(f);
    line += "," + helpers::quotefield(CsvDateTime(row));
    line += "," + rtl::IntToStr(row.Size);
    for (TRowText f : {rtFirstlines, rtMatched, rtAttachment, rtCharset}) line += "," + q(f);
    return line;
}

bool ExportCsv(const TRowStore& store, const std::string& path, const std::function<void(int)>& progress) {
    if (helpers::pathexists(path) && !helpers::deleteretry(path)) return false;
    std::string buffer = std::string(kCsvHeader) + "\r\n";
    buffer.reserve(kChunk + 65536);
    for (int i = 0; i < store.RowCount(); ++i) {
        if (i % 100 == 0 && progress) progress(i + 1);
        buffer += CsvLine(store, i);
        buffer += "\r\n";
        if (buffer.size() > kChunk) {
            if (!helpers::savetext("+" + path, buffer)) return false;
            buffer.clear();
        }
    }
    return helpers::savetext("+" + path, buffer);
}

}  // namespace mailbox

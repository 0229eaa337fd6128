#include "mailbox/hostsfile.h"

#include "helpers/kwutil.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/sysutils.h"

namespace mailbox {

namespace {

bool complete(const THostFields& row) { return !row[0].empty() && !row[1].empty(); }

}  // namespace

const std::string& HostsKeyTable() {
    static const std::string table =
        "ui&LPe_YHTr>6hOmn){vj(,=tJ4|F@lbX28*$Vdf5+!}%Z/oI7xMkS:Ay<-;wWCsq3#gp9[~]a1KzRU0EBNDc";
    return table;
}

std::string ReadHostsFile(const std::string& path) {
    const std::string text = helpers::loadtext(path);
    if (!text.empty() && text[0] == '@') return helpers::numdecipher(std::string_view(text).substr(1), HostsKeyTable());
    return text;
}

bool WriteHostsFile(const std::string& path, const std::string& plaintext) {
    // The file holds passwords under a key every copy of the program knows:
    // it is made readable by its owner alone from the start.
    return helpers::savetext(path, "@" + helpers::numcipher(plaintext, HostsKeyTable()), 0600);
}

std::vector<std::string> HostsLines(const std::string& text) {
    rtl::TStringList list;
    list.SetText(text);
    std::vector<std::string> lines;
    for (int i = 0; i < list.Count(); ++i) lines.push_back(list[i]);
    return lines;
}

THostFields HostFields(const std::string& line) {
    THostFields fields;
    for (int n = 1; n <= kHostFields; ++n) {
        const std::string field = helpers::sqcsvdelimel(line, ",", n);
        if (field == helpers::endfield) break;
        fields[n - 1] = rtl::Trim(field);
    }
    return fields;
}

std::vector<THostFields> ParseHostsText(const std::string& text) {
    std::vector<THostFields> rows;
    for (const std::string& line : HostsLines(text)) {
        THostFields fields = HostFields(line);
        if (complete(fields)) rows.push_back(std::move(fields));
    }
    return rows;
}

std::string HostsText(const std::vector<THostFields>& rows) {
    std::string text;
    for (const THostFields& row : rows) {
        if (!complete(row)) continue;
        for (int c = 0; c < kHostFields; ++c) {
            if (c > 0) text += ',';
            helpers::quotefieldto(text, row[c]);
        }
        text += "\r\n";
    }
    return text;
}

}  // namespace mailbox

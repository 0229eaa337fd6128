// Text targets: the line conversion every target shares.
#include "spell/lx3texttarget.h"

#include <algorithm>

#include "spell/lxcodepage.h"

namespace spell {

int64_t TTargetLine::OffsetOf(int64_t X) const {
    const int64_t length = static_cast<int64_t>(Text.size());
    if (X <= 0) return 0;
    if (X <= length) return Offsets[static_cast<size_t>(X)];
    return Offsets.back() + std::min<int64_t>(X - length, 2);
}

int64_t TTargetLine::ColumnOf(int64_t Offset) const {
    if (Offset <= 0) return 0;
    const int64_t end = Offsets.back();
    if (Offset >= end) return static_cast<int64_t>(Text.size()) + std::min<int64_t>(Offset - end, 2);
    const auto it = std::upper_bound(Offsets.begin(), Offsets.end(), Offset);
    return static_cast<int64_t>(it - Offsets.begin()) - 1;
}

TTargetLine ConvertTargetLine(std::string_view Utf8) {
    TTargetLine line;
    line.Text.reserve(Utf8.size());
    line.Offsets.reserve(Utf8.size() + 1);
    int64_t offset = 0;
    for (size_t at = 0; at < Utf8.size();) {
        line.Offsets.push_back(offset);
        const size_t from = at;
        uint32_t code = 0;
        if (!NextUtf8(Utf8, at, code)) {
            at = from + 1;
            line.Text += kUnmappedChar;
            ++offset;
            continue;
        }
        // C1 controls map to the code page's unused bytes; in a control's text
        // they are no letters, so they read as the unmapped byte too.
        const int byte = code >= 0x80 && code <= 0x9F ? -1 : Cp1252FromUnicode(code);
        line.Text += byte < 0 ? kUnmappedChar : static_cast<char>(byte);
        offset += code == 0x2028 || code == 0x2029 ? 2 : static_cast<int64_t>(at - from);
    }
    line.Offsets.push_back(offset);
    return line;
}

}  // namespace spell

// A listing as arbitrary bytes, cut into blocks where the first byte says:
// the lines come out the same however the data is cut, whole (no CR or LF
// inside, none empty, none over the limit), and every line the MLSx reader
// takes names a part of itself, with a size that is never negative.
#include <cstdint>
#include <string>
#include <vector>

#include "mail/ftpcli_parse.h"
#include "mail/ftpsrvt.h"

namespace {

std::vector<std::string> linesOf(const std::string& data, size_t piece, bool& ok) {
    mail::TFtpLineSplitter s(4096);
    std::vector<std::string> lines;
    auto keep = [&lines](std::string& l) { lines.push_back(l); };
    ok = true;
    for (size_t at = 0; at < data.size(); at += piece)
        ok = s.Feed(data.data() + at, std::min(piece, data.size() - at), keep) && ok;
    s.Finish(keep);
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t piece = 1 + data[0] % 17;
    const std::string in(reinterpret_cast<const char*>(data) + 1, size - 1);
    bool okWhole = false, okCut = false;
    const std::vector<std::string> whole = linesOf(in, in.size() + 1, okWhole);
    const std::vector<std::string> cut = linesOf(in, piece, okCut);
    if (okWhole != okCut || (okWhole && whole != cut)) __builtin_trap();
    for (const std::string& line : cut) {
        if (line.empty() || line.size() > 4096 || line.find_first_of("\r\n") != std::string::npos) __builtin_trap();
        std::string name, type, perm;
        int64_t sz = -1;
        rtl::TDateTime mod = 0;
        if (mail::DecodeMlsResp(line, name, type, perm, sz, mod)) {
            if (name.empty() || name.size() > 999 || line.find(name) == std::string::npos || sz < 0) __builtin_trap();
        }
    }
    return 0;
}

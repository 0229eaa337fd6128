#include "zip/avzlib.h"

#include <zlib.h>

#include <vector>

namespace zip {

int CCheck(int code) {
    if (code < 0) throw ECompressionError("error " + std::to_string(code));
    return code;
}

int DCheck(int code) {
    if (code < 0) throw EDecompressionError("error");
    return code;
}

std::string ZLIBCompressBuf(std::string_view in, int level) {
    z_stream zs{};
    CCheck(deflateInit(&zs, level));
    std::string out((in.size() + in.size() / 10 + 267) / 256 * 256, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    try {
        while (CCheck(deflate(&zs, Z_FINISH)) != Z_STREAM_END) {
            const size_t done = zs.total_out;
            out.resize(out.size() + 256);
            zs.next_out = reinterpret_cast<Bytef*>(out.data() + done);
            zs.avail_out = static_cast<uInt>(out.size() - done);
        }
    } catch (...) {
        deflateEnd(&zs);
        throw;
    }
    out.resize(zs.total_out);
    CCheck(deflateEnd(&zs));
    return out;
}

std::string ZLIBDecompressBuf(std::string_view in, size_t estimate) {
    const size_t step = (in.size() + 255) / 256 * 256 + 256;
    std::string out(estimate ? estimate : step, '\0');
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return {};
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    for (;;) {
        const int r = inflate(&zs, Z_NO_FLUSH);
        if (r == Z_STREAM_END) break;
        // Input used up without the stream's end: the data are cut short.
        if (r < 0 || (r == Z_BUF_ERROR) || (zs.avail_in == 0 && zs.avail_out != 0)) {
            inflateEnd(&zs);
            return {};
        }
        const size_t done = zs.total_out;
        out.resize(out.size() + step);
        zs.next_out = reinterpret_cast<Bytef*>(out.data() + done);
        zs.avail_out = static_cast<uInt>(out.size() - done);
    }
    out.resize(zs.total_out);
    if (inflateEnd(&zs) != Z_OK) return {};
    return out;
}

namespace {
char Fold(char c, bool ignoreCase) {
    return ignoreCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}
}  // namespace

bool IsStrMatchPattern(std::string_view s, std::string_view p, bool ignoreCase) {
    if (p == "*.*") return true;
    // Iterative with one back-track point: linear in practice, where the
    // recursive form is exponential on patterns with many stars.
    size_t si = 0, pi = 0, starP = std::string_view::npos, starS = 0;
    while (si < s.size()) {
        if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starS = si;
        } else if (pi < p.size() && (p[pi] == '?' || Fold(p[pi], ignoreCase) == Fold(s[si], ignoreCase))) {
            ++pi;
            ++si;
        } else if (starP != std::string_view::npos) {
            pi = starP + 1;
            si = ++starS;
        } else {
            return false;
        }
    }
    // A star may stand for an empty run only where more pattern follows it
    // inside the text: at the text's end just a lone final "*" matches.
    if (pi == p.size()) return true;
    return p.substr(pi) == "*" ;
}

}  // namespace zip

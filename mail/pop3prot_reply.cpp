// What a POP3 reply line says: its numbers and unique ids, read without
// ever overflowing. No socket here: the fuzz target reads lines through it.
#include "mail/pop3prot_reply.h"

#include <cstdint>

namespace mail {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The decimal number at I, at most Max; false when there is none or it is
// larger (never an overflow).
bool readNumber(const std::string& Line, size_t& I, int64_t Max, int64_t& N) {
    if (I >= Line.size() || !isDigit(Line[I])) return false;
    N = 0;
    for (; I < Line.size() && isDigit(Line[I]); ++I) {
        const int d = Line[I] - '0';
        if (N > (Max - d) / 10) return false;
        N = N * 10 + d;
    }
    return true;
}

}  // namespace

bool Pop3ReadFirstNumber(const std::string& Line, size_t& I, int64_t Max, int64_t& N) {
    I = Line.compare(0, 3, "+OK") == 0 ? 3 : 0;
    while (I < Line.size() && isBlank(Line[I])) ++I;
    return readNumber(Line, I, Max, N);
}

bool Pop3ExtractNumbers(const std::string& Line, int64_t& N1, int64_t& N2) {
    N1 = N2 = 0;
    size_t i;
    int64_t a, b;
    if (!Pop3ReadFirstNumber(Line, i, INT64_MAX, a)) return false;
    while (i < Line.size() && isBlank(Line[i])) ++i;
    if (!readNumber(Line, i, INT64_MAX, b)) return false;
    N1 = a;
    N2 = b;
    return true;
}

bool Pop3ExtractUidl(const std::string& Line, int& N1, std::string& Uidl) {
    N1 = 0;
    Uidl.clear();
    size_t i;
    int64_t n;
    if (!Pop3ReadFirstNumber(Line, i, INT32_MAX, n)) return false;
    N1 = static_cast<int>(n);
    while (i < Line.size() && Line[i] == ' ') ++i;
    while (i < Line.size() && Line[i] >= '!' && Line[i] <= '~') Uidl += Line[i++];
    return true;
}

}  // namespace mail

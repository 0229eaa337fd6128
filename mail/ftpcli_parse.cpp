#include "mail/ftpcli_parse.h"

namespace mail {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal number of at most MaxDigits digits at Pos, no sign.
bool readNumber(const std::string& S, size_t& Pos, size_t MaxDigits, unsigned& Value) {
    size_t digits = 0;
    Value = 0;
    while (Pos < S.size() && isDigit(S[Pos])) {
        if (++digits > MaxDigits) return false;
        Value = Value * 10 + static_cast<unsigned>(S[Pos++] - '0');
    }
    return digits > 0;
}

}  // namespace

int FtpReplyCode(const std::string& Line, size_t& After) {
    size_t p = 0;
    while (p < Line.size() && (Line[p] == ' ' || Line[p] == '\t')) ++p;
    if (Line.size() < p + 3 || Line[p] < '1' || Line[p] > '6' || !isDigit(Line[p + 1]) || !isDigit(Line[p + 2]))
        return 0;
    const size_t end = p + 3;
    if (end < Line.size() && Line[end] != ' ' && Line[end] != '-') return 0;
    After = end;
    return (Line[p] - '0') * 100 + (Line[p + 1] - '0') * 10 + (Line[p + 2] - '0');
}

TFtpReplyReader::TKind TFtpReplyReader::Feed(const std::string& Line, int& Code) {
    size_t after = 0;
    const int code = FtpReplyCode(Line, after);
    const bool hyphen = code != 0 && after < Line.size() && Line[after] == '-';
    if (FMultiCode != 0) {
        if (code != FMultiCode || hyphen) return ReplyText;
        FMultiCode = 0;
        Code = code;
        return ReplyFinal;
    }
    if (code == 0) return ReplyBad;
    Code = code;
    if (hyphen) {
        FMultiCode = code;
        return ReplyText;
    }
    return ReplyFinal;
}

bool FtpParsePasvReply(const std::string& Reply, uint8_t Addr[4], uint16_t& Port) {
    const size_t open = Reply.find('(');
    if (open == std::string::npos) return false;
    size_t pos = open + 1;
    unsigned b[6];
    for (int i = 0; i < 6; ++i) {
        while (pos < Reply.size() && Reply[pos] == ' ') ++pos;
        if (!readNumber(Reply, pos, 3, b[i]) || b[i] > 255) return false;
        while (pos < Reply.size() && Reply[pos] == ' ') ++pos;
        if (pos >= Reply.size() || Reply[pos] != (i < 5 ? ',' : ')')) return false;
        ++pos;
    }
    const unsigned port = b[4] * 256 + b[5];
    if (port == 0) return false;
    for (int i = 0; i < 4; ++i) Addr[i] = static_cast<uint8_t>(b[i]);
    Port = static_cast<uint16_t>(port);
    return true;
}

bool FtpParseEpsvReply(const std::string& Reply, uint16_t& Port) {
    const size_t open = Reply.find('(');
    if (open == std::string::npos || open + 1 >= Reply.size()) return false;
    size_t pos = open + 1;
    const char d = Reply[pos];
    if (d < 33 || d > 126 || isDigit(d)) return false;
    for (int i = 0; i < 3; ++i)
        if (pos >= Reply.size() || Reply[pos++] != d) return false;
    unsigned port = 0;
    if (!readNumber(Reply, pos, 5, port) || port == 0 || port > 65535) return false;
    if (pos + 1 >= Reply.size() || Reply[pos] != d || Reply[pos + 1] != ')') return false;
    Port = static_cast<uint16_t>(port);
    return true;
}

bool TFtpLineSplitter::Feed(const char* Data, size_t Len, const TLineProc& Deliver) {
    if (FFailed) return false;
    for (size_t i = 0; i < Len;) {
        size_t end = i;
        while (end < Len && Data[end] != '\r' && Data[end] != '\n') ++end;
        FRest.append(Data + i, end - i);
        if (FRest.size() > FMaxLine) {
            FFailed = true;
            FRest.clear();
            return false;
        }
        if (end == Len) break;
        if (!FRest.empty()) {
            std::string line;
            line.swap(FRest);
            Deliver(line);
        }
        i = end + 1;
    }
    return true;
}

void TFtpLineSplitter::Finish(const TLineProc& Deliver) {
    if (FFailed || FRest.empty()) return;
    std::string line;
    line.swap(FRest);
    Deliver(line);
}

void TFtpAsciiDecoder::Feed(const char* Data, size_t Len, std::string& Out) {
    Out.reserve(Out.size() + Len + 1);
    for (size_t i = 0; i < Len; ++i) {
        const char c = Data[i];
        if (FPendingCR) {
            FPendingCR = false;
            if (c != '\n') Out += '\r';
        }
        if (c == '\r') FPendingCR = true;
        else Out += c;
    }
}

void TFtpAsciiDecoder::Finish(std::string& Out) {
    if (FPendingCR) Out += '\r';
    FPendingCR = false;
}

void FtpAsciiEncode(const char* Data, size_t Len, std::string& Out) {
    Out.reserve(Out.size() + Len + Len / 16);
    for (size_t i = 0; i < Len; ++i) {
        if (Data[i] == '\n') Out += '\r';
        Out += Data[i];
    }
}

}  // namespace mail

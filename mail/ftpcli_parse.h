#pragma once
// What the FTP client reads from a server, without sockets, so each reader
// can be fuzzed alone: reply lines (codes and multi-line replies), the
// addresses of 227 and 229 replies, listing lines cut whole out of data
// blocks, and the line ends of ASCII transfers.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace mail {

// Reply lines, one at a time. A reply is three digits (the first 1 to 6)
// followed by a blank, a hyphen or the line's end, after optional blanks;
// "NNN-" opens a multi-line reply that ends only at its own code followed by
// a blank (or the line's end). Lines inside such a reply may hold anything.
class TFtpReplyReader {
public:
    enum TKind {
        ReplyText,   // a line inside a multi-line reply, or its opening line
        ReplyFinal,  // the line that ends a reply: its code is the reply's
        ReplyBad     // a line outside a multi-line reply without a code
    };
    TKind Feed(const std::string& Line, int& Code);
    void Reset() { FMultiCode = 0; }
    bool InMultiLine() const { return FMultiCode != 0; }

private:
    int FMultiCode = 0;
};

// The code of a reply line and the position after it, or 0 when the line
// does not start (after blanks) with three digits followed by a blank, a
// hyphen or its end.
int FtpReplyCode(const std::string& Line, size_t& After);

// "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)": each number 0..255, the
// port not 0. False for anything else.
bool FtpParsePasvReply(const std::string& Reply, uint8_t Addr[4], uint16_t& Port);
// "229 Entering Extended Passive Mode (|||port|)": the same delimiter, any
// byte from 33 to 126, four times; the port 1..65535. False otherwise.
bool FtpParseEpsvReply(const std::string& Reply, uint16_t& Port);

// Listing lines out of data blocks, whole whatever the blocks' sizes. A line
// ends at CR or LF; empty lines are skipped. A line longer than MaxLine is
// damage: Feed returns false and nothing more is delivered.
class TFtpLineSplitter {
public:
    using TLineProc = std::function<void(std::string& Line)>;
    static constexpr size_t kMaxLine = 1024 * 1024;
    explicit TFtpLineSplitter(size_t MaxLine = kMaxLine) : FMaxLine(MaxLine) {}
    bool Feed(const char* Data, size_t Len, const TLineProc& Deliver);
    // The end of the data: a last line without a line end is delivered.
    void Finish(const TLineProc& Deliver);
    void Reset() {
        FRest.clear();
        FFailed = false;
    }

private:
    std::string FRest;
    size_t FMaxLine;
    bool FFailed = false;
};

// TYPE A from the server: CR LF becomes LF; a CR followed by anything else
// stays. A CR at the end of a block waits for the next byte.
class TFtpAsciiDecoder {
public:
    void Feed(const char* Data, size_t Len, std::string& Out);
    void Finish(std::string& Out);
    void Reset() { FPendingCR = false; }

private:
    bool FPendingCR = false;
};

// TYPE A to the server: every LF goes as CR LF (a local CR LF as CR CR LF,
// which the decoder turns back into CR LF).
void FtpAsciiEncode(const char* Data, size_t Len, std::string& Out);

}  // namespace mail

#pragma once
// Turning what the POP3 server said about one message into a row of the
// message list: the header fields of its TOP answer, its character set and
// a plain-text rendering of its first lines.
#include <string>
#include <string_view>

#include "mailbox/msgrows.h"

namespace mailbox {

// The raw header values the POP3 client captured from the TOP answer.
struct TTopHeaders {
    std::string From, To, Subject, ReplyTo, Cc, Date;
};

// Fills row R from a TOP answer (its lines joined with CR LF) and its
// headers. A subject of ten or more digits alone is deciphered with Key.
// HdrCharset is the header decoder's state (the first encoded word's set).
void FillRowFromTop(TRowStore& store, int r, std::string_view answer, const TTopHeaders& hdrs,
                    std::string_view key, std::string& hdrCharset);

// The plain text of a message's first lines: headers of text/plain parts
// dropped, Base64 decoded, tags stripped, quoted-printable decoded and
// converted from Charset.
std::string FirstLinesText(std::string answer, std::string_view charset);

// The charset parameter found in an answer, lower-cased; empty when none.
std::string AnswerCharset(std::string_view answer);

}  // namespace mailbox

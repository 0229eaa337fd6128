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
// headers. A subject of ten or more digits alone is deciphered with Key
// when that gives printable text.
// HdrCharset is the header decoder's state (the first encoded word's set).
void FillRowFromTop(TRowStore& store, int r, std::string_view answer, const TTopHeaders& hdrs,
                    std::string_view key, std::string& hdrCharset);

// The body lines of a TOP answer worth showing: those of its first
// text/plain part, else of its first text/html part, else of the message
// after its header block; a part's header block never, nor the parts after
// it. Starts with the line break before the first line.
std::string_view FirstLinesBody(std::string_view answer);

// The plain text of a message's first lines: FirstLinesBody with Base64
// decoded, tags stripped, quoted-printable decoded and converted from
// Charset.
std::string FirstLinesText(std::string_view answer, std::string_view charset);

// Non-empty valid UTF-8 without control characters: what a deciphered
// subject must be to be taken.
bool IsPrintableText(std::string_view s);

// The charset parameter found in an answer, lower-cased; empty when none.
std::string AnswerCharset(std::string_view answer);

}  // namespace mailbox

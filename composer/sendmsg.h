#pragma once
// The send command's own logic, apart from the window: the fields read
// once, the checks, the send routine's eight arguments and the sent log.
#include <string>
#include <string_view>
#include <vector>

namespace composer {

// The composer's fields as they stood when Send was pressed.
struct TMessageFields {
    std::string From, Host, UserId, Password, ReplyTo;
    bool ReceiptFrom = false, ReceiptReplyTo = false;
    std::string To, Cc, Bcc;
    std::string Charset;  // the list's name
    bool Encrypt = false;
    std::string Subject, Body;
    std::vector<std::string> Attachments, Images;
};

// The first missing field's message and the control it belongs to; empty
// when every field needed is there.
struct TFieldProblem {
    std::string message;
    enum TField { None, Host, From, Subject, Body, To } field = None;
};
TFieldProblem MissingField(const TMessageFields& f);

// Enciphering cannot carry files.
inline constexpr const char* kNoEncryptWithFiles = "Cannot encrypt with attachments or embedded images.";

// Whether the body speaks of an attachment that is not there: "attach"
// after "attach:" is dropped, and only the text before the quoted block
// (whose style is QuoteStyle) counts.
bool MentionsAttachment(std::string_view body, std::string_view quoteStyle);

// The cipher text cut into lines of 50 characters, each ended by CR LF.
std::string SliceCipher(std::string_view cipher);

// The send routine's eight arguments, in its order.
struct TSendArgs {
    std::string recipients, senders, host, credentials, subject, body, files, delay;
};
// Subject and Body are what goes out (converted, or enciphered under Key).
TSendArgs BuildSendArgs(const TMessageFields& f, std::string_view subject, std::string_view body,
                        std::string_view key);

// Where the body's first TITLE element stands, from its "<TITLE>" to the
// first "</TITLE>" after it (any case). False when there is none.
bool FindTitle(std::string_view body, size_t& start, size_t& length);
// The TITLE element for a subject.
std::string TitleFor(std::string_view subject);

// One line of the sent log (without its line end).
std::string SentLogLine(const TMessageFields& f, std::string_view result);
// Whether the send routine's result says the server took the message.
bool SendSucceeded(std::string_view result);
// The sent log's file in the program folder: one name, whatever case callers use.
std::string SentLogPath();

}  // namespace composer

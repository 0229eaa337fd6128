// The message: addresses, header lines, Date and Message-ID, the DATA
// transfer line by line, writing to a file, and the plain message writer
// of TSmtpCli with its attachments.
#include <sys/stat.h>

#include <random>
#include <utility>

#include "mail/mimeutils.h"
#include "mail/smtpprot.h"
#include "net/wsocket_bind.h"
#include "platform/rtl/sysutils.h"

namespace mail {

using rtl::IntToStr;

namespace {

constexpr win::UINT WM_SMTP_DATA_NEXT = win::WM_USER + 2;
constexpr int kLineBufferSize = 100001;
constexpr int kMaxBodyLine = 99999;
// The message goes out in blocks of about this size: few writes, and the
// next block is made only once the socket has taken the last, so memory
// stays bounded whatever the size of the message.
constexpr size_t kDataBlock = 64 * 1024;
// A text line longer than this breaks the mail line limit; such a text
// goes quoted-printable, whose lines are short.
constexpr size_t kMaxTextLine = 998;
const char* const kMailer = "X-Mailer: EVQ SMTP Component V2.55";

bool isBlankOrTab(char c) { return c == ' ' || c == '\t'; }

// The longest encoded word that fits beside a header name of this length
// on a line of 78 (or 40, for names longer than that leaves).
size_t WordRoom(size_t NameLength) { return 78 - std::min<size_t>(NameLength + 1, 38); }

std::mt19937& randomGenerator() {
    static std::mt19937 rng{std::random_device{}()};
    return rng;
}

// Splits an address header value at "," or ";" outside quoted stretches. A
// double quote always opens one; a single quote only at the start of an
// entry, so that a name such as O'Brien does not swallow the entries after it.
std::vector<std::string> splitAddressEntries(const std::string& Value) {
    std::vector<std::string> entries;
    std::string cur;
    char quote = 0;
    for (char c : Value) {
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || (c == '\'' && rtl::Trim(cur).empty())) {
            quote = c;
        } else if (c == ',' || c == ';') {
            entries.push_back(std::move(cur));
            cur.clear();
            continue;
        }
        cur += c;
    }
    entries.push_back(std::move(cur));
    return entries;
}

std::string quotedName(const std::string& Name) {
    std::string out = "\"";
    for (char c : Name) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// A line of the message as it goes out: every line break in it (CR LF, a
// lone CR, a lone LF) becomes CR LF, and each resulting line that starts
// with a period gets one more, so no line of the message can end it and
// nothing in it can read as a command.
std::string wireLines(const std::string& Line) {
    std::string out;
    out.reserve(Line.size() + 2);
    for (size_t i = 0; i < Line.size(); ++i) {
        const char c = Line[i];
        if (c != '\r' && c != '\n') {
            out += c;
            continue;
        }
        out += "\r\n";
        if (c == '\r' && i + 1 < Line.size() && Line[i + 1] == '\n') ++i;
    }
    DotEscape(out);
    return out;
}

bool hasOverlongLine(const rtl::TStringList& Lines) {
    for (const auto& l : Lines)
        if (l.size() > kMaxTextLine) return true;
    return false;
}

}  // namespace

uint32_t SmtpRandom(uint32_t Below) {
    return Below == 0 ? 0 : std::uniform_int_distribution<uint32_t>(0, Below - 1)(randomGenerator());
}

const char* SmtpEncodingName(TSmtpDefaultEncoding Enc) {
    static const char* const names[] = {"7bit", "8bit", "quoted-printable", "base64"};
    return names[Enc];
}

std::vector<std::string> QuotedPrintableLines(std::string_view Line) {
    // The encoded text holds no line breaks of its own: every CR LF in it
    // is a soft break.
    const std::string encoded = SplitQuotedPrintableString(EncodeQuotedPrintable(Line));
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t p; (p = encoded.find("\r\n", start)) != std::string::npos; start = p + 2)
        lines.push_back(encoded.substr(start, p - start));
    lines.push_back(encoded.substr(start));
    return lines;
}

// ---------------------------------------------------------------- addresses

void ParseEmail(const std::string& Src, std::string& Friendly, std::string& Email) {
    Friendly.clear();
    Email.clear();
    const bool hasAngle = Src.find('<') != std::string::npos;
    size_t i = 0;
    while (i < Src.size() && isBlankOrTab(Src[i])) ++i;
    if (i >= Src.size()) return;
    const char first = Src[i];
    auto between = [](const std::string& s, size_t from) {
        const size_t lt = s.find('<', from);
        if (lt == std::string::npos) return std::string();
        const size_t gt = s.find('>', lt + 1);
        return s.substr(lt + 1, gt == std::string::npos ? std::string::npos : gt - lt - 1);
    };
    if (first == '"' || first == '\'') {
        const size_t close = Src.find(first, i + 1);
        Friendly = Src.substr(i + 1, close == std::string::npos ? std::string::npos : close - i - 1);
        const size_t rest = close == std::string::npos ? Src.size() : close + 1;
        Email = hasAngle ? between(Src, rest) : rtl::Trim(Src.substr(rest));
    } else if (hasAngle) {
        const size_t lt = Src.find('<', i);
        Friendly = rtl::Trim(Src.substr(i, lt - i));
        Email = between(Src, lt);
    } else {
        const size_t blank = Src.find(' ', i);
        Friendly = rtl::Trim(Src.substr(i, blank == std::string::npos ? std::string::npos : blank - i));
        if (blank != std::string::npos) Email = rtl::Trim(Src.substr(blank + 1));
    }
    if (Email.empty() && Friendly.find('@') != std::string::npos) Email = std::exchange(Friendly, std::string());
}

void TCustomSmtpClient::RcptNameAdd(const std::string& ToList, const std::string& CcList,
                                    const std::string& BccList) {
    const std::string s = ToList + ";" + CcList + ";" + BccList;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ') ++i;
        const size_t start = i;
        while (i < s.size() && s[i] != ',' && s[i] != ';') {
            if (s[i] == '"') {
                const size_t close = s.find('"', i + 1);
                i = close == std::string::npos ? s.size() : close;
            }
            if (i < s.size()) ++i;
        }
        const std::string entry = rtl::Trim(s.substr(start, i - start));
        if (!entry.empty()) FRcptName.Add(entry);
        ++i;
    }
}

// ---------------------------------------------------------------- Date and Message-ID

std::string TimeZoneBiasText(int Bias) {
    const int a = Bias < 0 ? -Bias : Bias;
    std::string s = rtl::Format("-%.2d%.2d", a / 60, a % 60);
    if (Bias < 0) s[0] = '+';
    return s;
}

std::string Rfc822DateTime(rtl::TDateTime t) {
    return rtl::FormatDateTime("ddd, d mmm yyyy hh\":\"nn\":\"ss", t) + " " +
           TimeZoneBiasText(rtl::LocalBiasMinutes(t));
}

std::string GenerateMessageID() {
    std::string id = rtl::FormatDateTime("yyyymmddhhnnsszzz", rtl::NowUTC()) + ".";
    for (int i = 0; i < 4; ++i) id += rtl::IntToHex(SmtpRandom(0x7FFF), 4);
    return id + "@" + net::LocalHostName();
}

// ---------------------------------------------------------------- header

char TCustomSmtpClient::HeaderEncoding() const { return DefaultEncoding == smtpEncBase64 ? 'B' : 'Q'; }

std::string TCustomSmtpClient::BuildAddressHeader(const std::string& Keyword, const std::string& Value) const {
    std::string joined;
    for (std::string entry : splitAddressEntries(Value)) {
        size_t b = 0;
        while (b < entry.size() && isBlankOrTab(entry[b])) ++b;
        entry.erase(0, b);
        while (!entry.empty() && (entry.back() == ',' || entry.back() == ';')) entry.pop_back();
        if (entry.empty()) continue;
        std::string name, address;
        ParseEmail(entry, name, address);
        if (!joined.empty()) joined += ", ";
        if (name.empty()) {
            joined += address;
            continue;
        }
        name = HeaderNeedsEncoding(name) ? HeaderText(name, CharSet, HeaderEncoding(), PhraseSpecials(),
                                                      WordRoom(Keyword.size()))
                                         : quotedName(name);
        joined += name + " <" + address + ">";
    }
    return rtl::Trim(Keyword) + " " + rtl::Trim(joined);
}

void TCustomSmtpClient::AddAddressHeader(const char* Keyword, const std::string& Value) {
    const std::string value = rtl::Trim(Value);
    if (value.empty()) return;
    // Header lines are ASCII: a value that is not goes through the builder,
    // whose names go as encoded words.
    if (Allow8bitChars && !FoldHeaders && !HeaderNeedsEncoding(value))
        FHdrLines->Add(std::string(Keyword) + " " + value);
    else
        FHdrLines->Add(BuildAddressHeader(Keyword, Value));
}

std::string TCustomSmtpClient::SubjectLine() const {
    const std::string subject = rtl::Trim(HdrSubject);
    const std::string line = "Subject: " + HeaderText(subject, CharSet, HeaderEncoding(), TSysCharSet(), WordRoom(8));
    if (HeaderLineSafe(FoldHeader(line))) return line;
    // A word too long for any line: encoded words can be cut anywhere.
    std::string words;
    for (const std::string& w : EncodeHeaderWords(subject, CharSet, HeaderEncoding(), TSysCharSet(), WordRoom(8)))
        words += (words.empty() ? "" : " ") + w;
    return "Subject: " + words;
}

void TCustomSmtpClient::CheckHeaderValues() {
    const struct {
        const char* name;
        const std::string& value;
    } values[] = {{"From", HdrFrom},       {"To", HdrTo},         {"Cc", HdrCc},
                  {"Reply-To", HdrReplyTo}, {"Return-Path", HdrReturnPath}, {"Subject", HdrSubject},
                  {"Sender", HdrSender},   {"character set", CharSet},   {"sender address", FromName}};
    for (const auto& v : values) CheckHeaderValue(v.name, v.value);
    for (const std::string& r : FRcptName) CheckHeaderValue("recipient", r);
}

void TCustomSmtpClient::CheckHeaderValue(const char* Name, const std::string& Value) {
    // A line break would end the header line early and start one of the
    // value's own (a Bcc, say); a NUL ends it for many readers.
    if (Value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos) return;
    RaiseError(RecordFailure(std::string("The ") + Name +
                             " holds a line break or NUL byte: the message was not sent"));
}

void TCustomSmtpClient::FinishHeaderLines() {
    for (int i = 0; i < FHdrLines->Count(); ++i) {
        std::string line = (*FHdrLines)[i];
        line = FoldHeader(line);
        if (!HeaderLineSafe(line)) {
            const std::string name = line.substr(0, std::min(line.find(':'), size_t{40}));
            RaiseError(RecordFailure("The header line " + name +
                                     " holds a line break, a NUL byte or a word too long for a line: the "
                                     "message was not sent"));
        }
        FHdrLines->Put(i, line);
    }
}

void TCustomSmtpClient::BuildHeader() {
    if (!FHdrLines) FHdrLines = std::make_unique<rtl::TStringList>();
    FHdrLines->Clear();
    FBodyLineNum = 0;
    FMoreLines = true;
    FItemIndex = -1;
    if (OwnHeaders) return;
    AddAddressHeader("Reply-To:", HdrReplyTo);
    AddAddressHeader("Return-Path:", HdrReturnPath);
    AddAddressHeader("From:", HdrFrom);
    AddAddressHeader("To:", HdrTo);
    AddAddressHeader("Cc:", HdrCc);
    FHdrLines->Add(SubjectLine());
    AddAddressHeader("Sender:", rtl::Trim(HdrSender).empty() ? HdrFrom : HdrSender);
    FHdrLines->Add("Mime-Version: 1.0");
    FHdrLines->Add("Content-Type: " + FContentTypeText + "; charset=\"" + CharSet + "\"");
    FHdrLines->Add("Date: " + Rfc822DateTime(rtl::Now()));
    if (HdrPriority != smtpPriorityNone) {
        static const struct {
            const char* priority;
            const char* msMail;
        } words[] = {{"", ""},           {"urgent", "High"},    {"urgent", "High"},
                     {"Normal", "Normal"}, {"non-urgent", "Low"}, {"non-urgent", "Low"}};
        FHdrLines->Add("X-Priority: " + IntToStr(HdrPriority));
        FHdrLines->Add(std::string("Priority: ") + words[HdrPriority].priority);
        FHdrLines->Add(std::string("X-MSMail-Priority: ") + words[HdrPriority].msMail);
    }
    FMessageID = GenerateMessageID();
    FHdrLines->Add("Message-ID: <" + FMessageID + ">");
    if (ConfirmReceipt) AddAddressHeader("Disposition-Notification-To:", HdrFrom);
    FHdrLines->Add(kMailer);
    TriggerProcessHeader(*FHdrLines);
    FinishHeaderLines();
    FHdrLines->Add("");
}

void TCustomSmtpClient::TriggerProcessHeader(rtl::TStringList& HdrLines) {
    if (OnProcessHeader) OnProcessHeader(this, HdrLines);
}

void TCustomSmtpClient::TriggerHeaderLine(std::string& Line, int Size) {
    if (OnHeaderLine) OnHeaderLine(this, Line, Size);
}

void TCustomSmtpClient::TriggerGetData(int LineNum, std::string& MsgLine, int MaxLen, bool& More) {
    if (OnGetData) OnGetData(this, LineNum, MsgLine, MaxLen, More);
    else More = false;
}

// ---------------------------------------------------------------- transfer

void TCustomSmtpClient::Data() {
    const bool toStream = SendMode == smtpToStream;
    if (toStream && !FOutStream) throw SmtpException("SendMode smtpToStream writes through SendToFile");
    if (!toStream) {
        CheckReady();
        RequireSecure("the message");
        if (!FConnected) throw SmtpException("SMTP component not connected");
    }
    CheckHeaderValues();
    PrepareEMail();
    BuildHeader();
    FFctPrv = smtpFctData;
    if (toStream) DataNext();
    else ExecAsync(smtpData, "DATA", {354}, &TCustomSmtpClient::DataDone);
}

void TCustomSmtpClient::DataDone() {
    if (FRequestResult != 0) {
        TriggerRequestDone(static_cast<uint16_t>(FRequestResult));
        return;
    }
    DataNext();
}

bool TCustomSmtpClient::TransferLive() const {
    return SendMode == smtpToStream ? FOutStream != nullptr : FConnected;
}

void TCustomSmtpClient::DataNext() {
    if (!TransferLive()) {
        FWSocket->OnDataSent = nullptr;
        return;
    }
    std::string block;
    bool more = true;
    try {
        std::string line;
        while (more && block.size() < kDataBlock) {
            more = NextDataLine(line);
            if (more) block.append(line).append("\r\n");
        }
    } catch (const std::exception& E) {
        WriterFailed(E);
        return;
    }
    if (!TransferLive()) {  // the writer aborted
        FWSocket->OnDataSent = nullptr;
        return;
    }
    SendDataBlock(block, more);
}

bool TCustomSmtpClient::NextDataLine(std::string& Line) {
    if (FItemIndex + 1 < FHdrLines->Count()) {
        ++FItemIndex;
        Line = (*FHdrLines)[FItemIndex];
        TriggerHeaderLine(Line, kLineBufferSize);
    } else {
        if (!FMoreLines) return false;
        ++FBodyLineNum;
        Line.clear();
        TriggerGetData(FBodyLineNum, Line, kMaxBodyLine, FMoreLines);
        if (!FMoreLines) return false;
    }
    Line = wireLines(Line);
    TriggerDataLine();
    if (OnDisplay) TriggerDisplay("> " + Line);
    return true;
}

void TCustomSmtpClient::SendDataBlock(const std::string& Block, bool More) {
    if (SendMode != smtpToSocket && FOutStream) FOutStream->WriteString(Block);
    if (SendMode == smtpToStream) {
        if (More) win::PostMessage(FWindowHandle, WM_SMTP_DATA_NEXT, 0, 0);
        else FinishData();
        return;
    }
    if (More) {
        FWSocket->OnDataSent = [this](rtl::TObject*, uint16_t) { WSocketDataSent(); };
        FWSocket->SendStr(Block);
        return;
    }
    // The last lines and the end mark leave in one write.
    FWSocket->PutStringInSendBuffer(Block);
    FinishData();
}

void TCustomSmtpClient::WSocketDataSent() {
    SetState(smtpInternalReady);
    DataNext();
}

void TCustomSmtpClient::FinishData() {
    FWSocket->OnDataSent = nullptr;
    if (SendMode != smtpToSocket) EndSendToStream();
    if (SendMode == smtpToStream) return;
    SetState(smtpInternalReady);
    ExecAsync(smtpData, ".", {250}, nullptr);
}

void TCustomSmtpClient::WriterFailed(const std::exception& E) {
    // A message missing a part is never handed to the server as complete:
    // the transfer stops without the final period and the request fails.
    LocalError(std::string("500 Message not sent: ") + rtl::ExceptionClassName(E) + ": " + E.what(),
               SMTP_LOCAL_ERROR);
    TriggerDisplay("! " + FLastResponse);
    FWSocket->OnDataSent = nullptr;
    EndWriter();
    if (SendMode != smtpToSocket) EndSendToStream();
    if (SendMode != smtpToStream) FailAndAbort(SMTP_LOCAL_ERROR);
}

void TCustomSmtpClient::EndSendToStream() {
    FOutStream.reset();
    if (OnEndSendToStream) OnEndSendToStream(this);
}

void TCustomSmtpClient::SendToFile(const std::string& FileName, int) {
    if (SendMode != smtpToStream) throw SmtpException("SendToFile requires SendMode smtpToStream");
    if (FileName.empty()) throw SmtpException("File name not specified");
    FOutStream.reset();
    FOutStream = std::make_unique<rtl::TFileStream>(FileName, rtl::fmCreate);
    try {
        Data();
    } catch (...) {
        FOutStream.reset();  // a message refused before its first line leaves no file open
        throw;
    }
}

// ---------------------------------------------------------------- plain writer

TSmtpCli::TSmtpCli(rtl::TComponent* owner) : TCustomSmtpClient(owner) {}

TSmtpCli::~TSmtpCli() = default;

void TSmtpCli::CopyExistingFiles(const rtl::TStringList& Value, rtl::TStringList& Into) {
    rtl::TStringList files;
    for (const auto& entry : Value) {
        const std::string path = rtl::Trim(entry);
        if (path.empty()) continue;
        struct stat st{};
        if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
            throw SmtpException("File not found '" + path + "'");
        files.Add(path);
    }
    Into.Clear();
    Into.AddStrings(files);
}

void TSmtpCli::SetEmailFiles(const rtl::TStringList& Value) { CopyExistingFiles(Value, FEmailFiles); }

void TSmtpCli::EndWriter() {
    EndFileEncBase64(FEncodeStream);
    FFileStarted = false;
}

void TSmtpCli::PrepareEMail() {
    EndWriter();
    FBodyFlag = true;
    FEmailFileIndex = 0;
    FGetDataLineNum = 0;
    FClosingQueued = false;
    FMsgEncoding = DefaultEncoding;
    FTrimLines = true;
    FWrapLines = WrapMessageText;
    FMsgLines.Clear();
    FMsgLines.AddStrings(MessageLines());
    FMsgLineIndex = 0;
    FWrapPos = 1;
    FMsgText = FMsgLines.Text();
    FMsgTextPos = FMsgText.empty() ? 0 : 1;
    const bool unencoded = FMsgEncoding == smtpEnc7bit || FMsgEncoding == smtpEnc8bit;
    if (!FMsgText.empty() && unencoded &&
        ((!Allow8bitChars && NeedsEncoding(FMsgText)) || hasOverlongLine(FMsgLines)))
        FMsgEncoding = smtpEncQuotedPrintable;
    FMimeLines.Clear();
    if (FEmailFiles.Count() == 0) {
        FMimeBoundary.clear();
        return;
    }
    FMimeBoundary = "= Multipart Boundary " + rtl::FormatDateTime("mmddyyhhnn", rtl::Now());
    FMimeLines.Add("This is a multipart MIME message.");
    FMimeLines.Add("");
    FMimeLines.Add("--" + FMimeBoundary);
    FMimeLines.Add("Content-Type: " + FContentTypeText + "; charset=\"" + CharSet + "\"");
    FMimeLines.Add(std::string("Content-Transfer-Encoding: ") + SmtpEncodingName(FMsgEncoding));
    FMimeLines.Add("");
}

void TSmtpCli::TriggerHeaderLine(std::string& Line, int Size) {
    if (!FMimeBoundary.empty()) {
        if (rtl::StartsText("Content-Type:", Line))
            Line = "Content-Type: multipart/mixed;\r\n\tboundary=\"" + FMimeBoundary + "\"";
    } else if (rtl::StartsText("Content-Type: text", Line) && FMsgEncoding != smtpEnc7bit) {
        Line += std::string("\r\nContent-Transfer-Encoding: ") + SmtpEncodingName(FMsgEncoding);
    }
    TCustomSmtpClient::TriggerHeaderLine(Line, Size);
}

void TSmtpCli::TriggerGetData(int, std::string& MsgLine, int, bool& More) { PlainWriterLine(MsgLine, More, true); }

bool TSmtpCli::TextLeft() const {
    if (FMsgEncoding == smtpEncBase64) return FMsgTextPos > 0 && FMsgTextPos <= static_cast<int>(FMsgText.size());
    return FMsgLineIndex < FMsgLines.Count();
}

std::string TSmtpCli::DoGetMsgTextLine() {
    if (FMsgEncoding == smtpEncBase64) return Base64EncodeEx(FMsgText, 76, FMsgTextPos);
    const std::string& line = FMsgLines[FMsgLineIndex];
    if (FMsgEncoding == smtpEncQuotedPrintable) {
        ++FMsgLineIndex;
        std::vector<std::string> pieces = QuotedPrintableLines(line);
        for (size_t i = 1; i < pieces.size(); ++i) FMimeLines.Add(pieces[i]);
        return pieces[0];
    }
    std::string out;
    if (FWrapLines) {
        static const TSysCharSet breaking(" \t,-.");
        out = EvqWrapTextEx(line, "", breaking, 76, TSysCharSet(), FWrapPos);
        if (FWrapPos > static_cast<int>(line.size())) {
            ++FMsgLineIndex;
            FWrapPos = 1;
        }
    } else {
        out = line;
        ++FMsgLineIndex;
    }
    return FTrimLines ? rtl::Trim(out) : out;
}

void TSmtpCli::PlainWriterLine(std::string& MsgLine, bool& More, bool AskCaller) {
    More = true;
    while (true) {
        if (FMimeLines.Count() > 0) {
            MsgLine = FMimeLines[0];
            FMimeLines.Delete(0);
            return;
        }
        if (FBodyFlag) {
            if (TextLeft()) {
                MsgLine = DoGetMsgTextLine();
                return;
            }
            if (AskCaller) {
                bool more = true;
                MsgLine.clear();
                TCustomSmtpClient::TriggerGetData(++FGetDataLineNum, MsgLine, kMaxBodyLine, more);
                if (more) return;
            }
            FBodyFlag = false;
        }
        if (FFileStarted) {
            bool moreData = false;
            MsgLine = DoFileEncBase64(FEncodeStream, moreData);
            if (!moreData) {
                EndWriter();
                ++FEmailFileIndex;
            }
            if (!MsgLine.empty()) return;
            continue;
        }
        if (FEmailFileIndex < FEmailFiles.Count()) {
            MsgLine.clear();
            StartAttachment(More);
            return;
        }
        if (!FMimeBoundary.empty() && !FClosingQueued) {
            FMimeLines.Add("");
            FMimeLines.Add("--" + FMimeBoundary + "--");
            FClosingQueued = true;
            continue;
        }
        MsgLine.clear();
        More = false;
        return;
    }
}

void TSmtpCli::StartAttachment(bool& More) {
    const int idx = FEmailFileIndex;
    const std::string& path = FEmailFiles[idx];
    switch (OpenPartFile(idx, path, path)) {
        case TOpenResult::Opened: break;
        case TOpenResult::Skip: ++FEmailFileIndex; return;
        case TOpenResult::Retry: return;  // the same file again with the next line
        case TOpenResult::Aborted: More = false; return;
    }
    std::string name = rtl::ExtractFileName(path);
    std::string type = FilenameToContentType(name);
    if (OnAttachContentType) OnAttachContentType(this, idx, name, type);
    FMimeLines.Add("--" + FMimeBoundary);
    FMimeLines.Add(PartHeader("Content-Type: " + type, "name", name));
    FMimeLines.Add("Content-Transfer-Encoding: base64");
    FMimeLines.Add(PartHeader("Content-Disposition: attachment", "filename", name));
    if (OnAttachHeader) OnAttachHeader(this, idx, name, &FMimeLines);
    FMimeLines.Add("");
    FFileStarted = true;
}

TSmtpCli::TOpenResult TSmtpCli::OpenPartFile(int Idx, const std::string& EventName, const std::string& Path) {
    TSmtpBeforeOpenFileAction before = smtpBeforeOpenFileNone;
    if (OnBeforeFileOpen) OnBeforeFileOpen(this, Idx, EventName, before);
    if (before == smtpBeforeOpenFileNext) return TOpenResult::Skip;
    if (before == smtpBeforeOpenFileAbort) {
        Abort();
        return TOpenResult::Aborted;
    }
    TSmtpAfterOpenFileAction after = smtpAfterOpenFileNone;
    try {
        FEncodeStream = InitFileEncBase64(Path, ShareModeValue());
    } catch (const std::exception& E) {
        if (!OnAfterFileOpen) throw;
        OnAfterFileOpen(this, Idx, EventName, &E, after);
        if (after == smtpAfterOpenFileNone) throw;
    }
    if (FEncodeStream && OnAfterFileOpen) OnAfterFileOpen(this, Idx, EventName, nullptr, after);
    switch (after) {
        case smtpAfterOpenFileNone: return TOpenResult::Opened;
        case smtpAfterOpenFileNext: EndWriter(); return TOpenResult::Skip;
        case smtpAfterOpenFileRetry: EndWriter(); return TOpenResult::Retry;
        case smtpAfterOpenFileAbort: break;
    }
    EndWriter();
    Abort();
    return TOpenResult::Aborted;
}

std::string TSmtpCli::PartHeader(const std::string& Head, const char* Param, const std::string& Value) const {
    std::string line = Head;
    for (const std::string& p : MimeParameter(Param, Value, CharSet, FMsgEncoding == smtpEncBase64 ? 'B' : 'Q'))
        line += ";\r\n\t" + p;
    line = FoldHeader(line);
    // The type may come from the caller (OnAttachContentType).
    if (!HeaderLineSafe(line))
        throw SmtpException("The part header \"" + Head.substr(0, 60) + "\" holds a line break or NUL byte");
    return line;
}
}  // namespace mail

// The HTML writer: a multipart/related message whose first part is a
// multipart/alternative of the plain text and the HTML, followed by the
// embedded images (referred to from the HTML as "cid:IMAGE" + number) and
// the attached files.
#include "mail/smtpprot.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/pump.h"

namespace mail {

using rtl::IntToStr;

THtmlSmtpCli::THtmlSmtpCli(rtl::TComponent* owner) : TSslSmtpCli(owner) { SetContentType(smtpHtml); }

THtmlSmtpCli::~THtmlSmtpCli() { ClearImageStreamArray(); }

void THtmlSmtpCli::SetEmailImages(const rtl::TStringList& Value) { CopyExistingFiles(Value, FEmailImages); }

void THtmlSmtpCli::SetPlainText(const rtl::TStringList& Value) {
    FPlainText.Clear();
    FPlainText.AddStrings(Value);
}

void THtmlSmtpCli::SetHtmlText(const rtl::TStringList& Value) {
    FHtmlText.Clear();
    FHtmlText.AddStrings(Value);
}

void THtmlSmtpCli::SetImageStream(int Index, rtl::TStream* Stream) {
    if (!Stream || Index < 0) return;
    if (Index >= static_cast<int>(FImageStreams.size())) FImageStreams.resize(static_cast<size_t>(Index) + 1);
    FImageStreams[static_cast<size_t>(Index)] = Stream;
}

rtl::TStream* THtmlSmtpCli::GetImageStream(int Index) const {
    if (Index < 0 || Index >= static_cast<int>(FImageStreams.size())) return nullptr;
    return FImageStreams[static_cast<size_t>(Index)];
}

void THtmlSmtpCli::CheckHeaderValues() {
    CheckHeaderValue("HTML character set", HtmlCharSet);
    TSslSmtpCli::CheckHeaderValues();
}

void THtmlSmtpCli::GenerateBoundaries() {
    const std::string base = "----=_NextPart_000_" + rtl::IntToHex(win::GetTickCount(), 8);
    const std::string r = rtl::IntToHex(SmtpRandom(2147483647u), 8);
    FRelatedBoundary = base + "_0." + r;
    FAlternativeBoundary = base + "_1." + r;
}

// The writer is reset here rather than with the header, so that a message
// built with OwnHeaders starts from the beginning too.
void THtmlSmtpCli::PrepareEMail() {
    if (FContentType == smtpPlainText) {
        TSslSmtpCli::PrepareEMail();
        // The text goes as given: no blanks trimmed, no lines wrapped.
        FTrimLines = false;
        FWrapLines = false;
        return;
    }
    EndWriter();
    FMimeBoundary.clear();
    FMimeLines.Clear();
    FMsgEncoding = smtpEncQuotedPrintable;
    FMimeState = smtpMimeIntro;
    FPending.clear();
    FTextIndex = 0;
    FPartNumber = 0;
    FPartOpen = false;
    GenerateBoundaries();
}

void THtmlSmtpCli::TriggerProcessHeader(rtl::TStringList& HdrLines) {
    if (FContentType == smtpHtml) {
        for (int i = 0; i < HdrLines.Count(); ++i) {
            if (!rtl::SameText(rtl::Copy(HdrLines[i], 1, 13), "Content-Type:")) continue;
            HdrLines.Put(i, "Content-Type: multipart/related; type=\"multipart/alternative\"; boundary=\"" +
                                FRelatedBoundary + "\"");
            break;
        }
    }
    TSslSmtpCli::TriggerProcessHeader(HdrLines);
}

void THtmlSmtpCli::TriggerGetData(int LineNum, std::string& MsgLine, int MaxLen, bool& More) {
    if (FContentType == smtpPlainText) {
        PlainWriterLine(MsgLine, More, false);
        return;
    }
    More = true;
    while (FPending.empty() && More && FillSection(More)) {
    }
    if (FPending.empty() || !More) {
        MsgLine.clear();
        More = false;
        return;
    }
    MsgLine = std::move(FPending.front());
    FPending.pop_front();
    if (OnGetData) OnGetData(this, LineNum, MsgLine, MaxLen, More);
}

void THtmlSmtpCli::QueueTextSection(const rtl::TStringList& Lines) {
    // One line at a time, as quoted-printable lines of at most 76 characters.
    for (auto& piece : QuotedPrintableLines(Lines[FTextIndex++])) FPending.push_back(std::move(piece));
}

bool THtmlSmtpCli::FillSection(bool& More) {
    switch (FMimeState) {
        case smtpMimeIntro:
            FPending = {"This is a multipart MIME formatted message.",
                        "",
                        "--" + FRelatedBoundary,
                        FoldHeader("Content-Type: multipart/alternative; boundary=\"" + FAlternativeBoundary + "\""),
                        "",
                        "--" + FAlternativeBoundary,
                        "Content-Type: text/plain; charset=\"" + CharSet + "\"",
                        "Content-Transfer-Encoding: quoted-printable",
                        ""};
            FMimeState = smtpMimePlainText;
            FTextIndex = 0;
            return true;
        case smtpMimePlainText:
            if (FTextIndex < FPlainText.Count()) {
                QueueTextSection(FPlainText);
                return true;
            }
            FPending = {"", "--" + FAlternativeBoundary, "Content-Type: text/html; charset=\"" + HtmlCharSet + "\"",
                        "Content-Transfer-Encoding: quoted-printable", ""};
            FMimeState = smtpMimeHtmlText;
            FTextIndex = 0;
            return true;
        case smtpMimeHtmlText:
            if (FTextIndex < FHtmlText.Count()) {
                QueueTextSection(FHtmlText);
                return true;
            }
            FPending = {"", "--" + FAlternativeBoundary + "--", ""};
            FMimeState = smtpMimeImages;
            FPartNumber = 1;
            FPartOpen = false;
            return true;
        case smtpMimeImages: return FillPart(More);
        case smtpMimeDone: break;
    }
    return false;
}

bool THtmlSmtpCli::FillPart(bool& More) {
    const int images = FEmailImages.Count();
    if (FPartNumber > images + FEmailFiles.Count()) {
        FPending.push_back("--" + FRelatedBoundary + "--");
        FMimeState = smtpMimeDone;
        return true;
    }
    if (!FPartOpen) {
        OpenPart(More);
        return true;
    }
    bool moreData = false;
    std::string line = DoFileEncBase64(FEncodeStream, moreData);
    if (!line.empty()) FPending.push_back(std::move(line));
    if (!moreData) EndPart();
    return true;
}

void THtmlSmtpCli::EndPart() {
    EndWriter();
    FPartOpen = false;
    FPending.push_back("");
    ++FPartNumber;
}

void THtmlSmtpCli::OpenPart(bool& More) {
    const int images = FEmailImages.Count();
    const int p = FPartNumber;
    const bool image = p <= images;
    const std::string& path = image ? FEmailImages[p - 1] : FEmailFiles[p - images - 1];
    FPartFileName = rtl::ExtractFileName(path);
    FPartContentType = FilenameToContentType(FPartFileName);
    // Images are not attachments: they say so with -1, so that a handler
    // keyed on the attachment list gives them no attachment's type.
    if (OnAttachContentType) OnAttachContentType(this, image ? -1 : p - images - 1, FPartFileName, FPartContentType);
    FPending.push_back("--" + FRelatedBoundary);
    FPending.push_back(PartHeader("Content-Type: " + FPartContentType, "name", FPartFileName));
    FPending.push_back("Content-Transfer-Encoding: base64");
    FPending.push_back(PartHeader(std::string("Content-Disposition: ") + (image ? "inline" : "attachment"), "filename",
                                  FPartFileName));
    FPending.push_back(image ? "Content-ID: <IMAGE" + IntToStr(p) + ">" : "X-File-ID: <FILE" + IntToStr(p - images) + ">");
    if (OnAttachHeader) OnAttachHeader(this, p, FPartFileName, nullptr);
    FPending.push_back("");
    while (true) {
        switch (OpenPartFile(p, FPartFileName, path)) {
            case TOpenResult::Opened: FPartOpen = true; return;
            case TOpenResult::Skip: EndPart(); return;  // the header stands, the part has no content
            case TOpenResult::Retry: continue;
            case TOpenResult::Aborted: More = false; return;
        }
    }
}

}  // namespace mail

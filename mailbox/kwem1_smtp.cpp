// TForm1's SMTP client: made at the start-up step, its events handed to the
// send routine, which the composer calls.
#include "helpers/kwsendmail.h"
#include "helpers/kwutil.h"
#include "mailbox/kwem1.h"

namespace mailbox {

void TForm1::SmtpStartup() {
    if (!SmtpCli1) {
        SmtpCli1 = new mail::THtmlSmtpCli(this);
        SmtpCli1->AuthType = mail::smtpAuthAutoSelect;
        SmtpCli1->CharSet = "iso-8859-1";
        SmtpCli1->HtmlCharSet = "iso-8859-1";
        SmtpCli1->SetContentType(mail::smtpHtml);
        SmtpCli1->Allow8bitChars = true;
        SmtpCli1->FoldHeaders = false;
        SmtpCli1->SetShareMode(mail::smtpShareDenyWrite);
        SmtpCli1->Timeout = 15;
        SmtpCli1->SslType = mail::smtpTlsNone;
        SmtpCli1->SetSslContext(SslContext1);
        SmtpCli1->OnRequestDone = [this](rtl::TObject* s, mail::TSmtpRequest r, uint16_t e) {
            SmtpCli1RequestDone(s, r, e);
        };
        SmtpCli1->OnProcessHeader = [this](rtl::TObject* s, rtl::TStringList& h) { SmtpCli1ProcessHeader(s, h); };
        SmtpCli1->OnAttachContentType = [this](rtl::TObject* s, int n, std::string& f, std::string& t) {
            SmtpCli1AttachContentType(s, n, f, t);
        };
    }
    helpers::setsendclient(SmtpCli1);
}

void TForm1::SmtpCli1RequestDone(rtl::TObject*, mail::TSmtpRequest RqType, uint16_t ErrorCode) {
    helpers::smtpresult(RqType, ErrorCode);
}

void TForm1::SmtpCli1ProcessHeader(rtl::TObject*, rtl::TStringList& HdrLines) { helpers::addsendhdrs(HdrLines); }

void TForm1::SmtpCli1AttachContentType(rtl::TObject*, int FileNumber, std::string&, std::string& ContentType) {
    helpers::sendattachtype(FileNumber, ContentType);
}

}  // namespace mailbox

// The blocking calls and the session over TLS.
#include "mail/smtpprot.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/pump.h"

namespace mail {

namespace {
constexpr win::UINT WM_SMTP_QUIT = win::WM_USER + 3;
}  // namespace

// ---------------------------------------------------------------- blocking calls

bool TSyncSmtpCli::Synchronize(void (TCustomSmtpClient::*Proc)()) {
    try {
        (this->*Proc)();
    } catch (const std::exception& E) {
        FErrorMessage = E.what();
        return false;
    }
    return WaitUntilReady();
}

// ---------------------------------------------------------------- TLS

TSslSmtpCli::TSslSmtpCli(rtl::TComponent* owner) : TSyncSmtpCli(owner) { ReplaceSocket(); }

void TSslSmtpCli::CreateSocket() {
    auto* socket = new TSslSmtpSocket(this);
    socket->SetSslMode(net::sslModeClient);
    FWSocket = socket;
}

net::TSslContext* TSslSmtpCli::SslContext() const { return FWSocket ? FWSocket->SslContext() : nullptr; }

void TSslSmtpCli::SetSslContext(net::TSslContext* Value) { FWSocket->SetSslContext(Value); }

const rtl::TStringList& TSslSmtpCli::SslAcceptableHosts() const { return FWSocket->SslAcceptableHosts(); }

void TSslSmtpCli::SetSslAcceptableHosts(const rtl::TStringList& Value) { FWSocket->SetSslAcceptableHosts(Value); }

void TSslSmtpCli::SetOnSslVerifyPeer(net::TSslVerifyPeerEvent Handler) { FWSocket->OnSslVerifyPeer = std::move(Handler); }
void TSslSmtpCli::SetOnSslCliGetSession(net::TSslCliGetSession Handler) {
    FWSocket->OnSslCliGetSession = std::move(Handler);
}
void TSslSmtpCli::SetOnSslCliNewSession(net::TSslCliNewSession Handler) {
    FWSocket->OnSslCliNewSession = std::move(Handler);
}
void TSslSmtpCli::SetOnSslCliCertRequest(net::TSslCliCertRequest Handler) {
    FWSocket->OnSslCliCertRequest = std::move(Handler);
}

void TSslSmtpCli::Connect() {
    CheckReady();
    if (FConnected) throw SmtpException("SMTP component already connected");
    FStartTlsSupported = false;
    FWSocket->SetSslEnable(false);  // every connection starts in plain text
    TSyncSmtpCli::Connect();
}

void TSslSmtpCli::Ehlo() {
    FStartTlsSupported = false;
    TSyncSmtpCli::Ehlo();
}

void TSslSmtpCli::Open() {
    if (SslType != smtpTlsExplicit) {
        TSyncSmtpCli::Open();
        return;
    }
    TSmtpFctSet fcts = SmtpFct(smtpFctConnect) | SmtpFct(smtpFctEhlo) | SmtpFct(smtpFctStartTls);
    if (AuthType != smtpAuthNone) fcts |= SmtpFct(smtpFctAuth);
    HighLevelAsync(smtpOpen, fcts);
}

void TSslSmtpCli::ChainStartTls() { StartTls(); }

void TSslSmtpCli::WndProc(win::TMessage& MsgRec) {
    if (MsgRec.Msg == WM_SMTP_QUIT) Quit();
    else TSyncSmtpCli::WndProc(MsgRec);
}

void TSslSmtpCli::TriggerResponse(const std::string& Msg) {
    if (FFctPrv == smtpFctEhlo && rtl::SameText(rtl::Copy(rtl::UpperCase(rtl::Trim(Msg)), 5, 12), "STARTTLS"))
        FStartTlsSupported = true;
    TSyncSmtpCli::TriggerResponse(Msg);
}

void TSslSmtpCli::WSocketSessionConnected(uint16_t ErrCode) {
    if (ErrCode != 0 || SslType != smtpTlsImplicit) {
        TSyncSmtpCli::WSocketSessionConnected(ErrCode);
        return;
    }
    FConnected = true;
    TriggerDisplay("! Starting SSL handshake");
    std::string why;
    if (!BeginTls(false, why)) {
        FErrorMessage = "SSL Handshake failed " + why;
        FStatusCode = FRequestResult = SMTP_LOCAL_ERROR;
        FailAndAbort(SMTP_LOCAL_ERROR);
    }
}

void TSslSmtpCli::TransferSslHandshakeDone(uint16_t ErrCode, net::TX509Base* PeerCert) {
    bool disconnect = false;
    if (OnSslHandshakeDone) OnSslHandshakeDone(this, ErrCode, PeerCert, disconnect);
    std::string reason;
    if (!TlsHandshakeOk(ErrCode, disconnect, reason)) {
        FStatusCode = FRequestResult = SMTP_LOCAL_ERROR;
        FErrorMessage = "SSL Handshake failed" + (reason.empty() ? std::string() : ": " + reason);
        TriggerDisplay(FErrorMessage);
        FailAndAbort(SMTP_LOCAL_ERROR);
        return;
    }
    TriggerDisplay(SecureConnectionText());
    if (SslType == smtpTlsImplicit) {
        SetState(smtpWaitingBanner);
        return;
    }
    // What the server said in clear no longer counts: greet it again.
    FAuthTypesSupported.Clear();
    FEsmtpSupported = false;
    FStartTlsSupported = false;
    FRequestResult = 0;
    TriggerRequestDone(0);
}

void TSslSmtpCli::StartTls() {
    if (!FEsmtpSupported) {
        RefuseStartTls("500 ESMTP not supported.");
    } else if (!FStartTlsSupported) {
        RefuseStartTls("500 STARTTLS is not available.");
    } else if (SslType == smtpTlsImplicit) {
        RefuseStartTls("500 STARTTLS is not supported with a implicite SSL connection");
    } else {
        ExecAsync(smtpStartTls, "STARTTLS", {220}, static_cast<THandler>(&TSslSmtpCli::TlsNext));
    }
}

void TSslSmtpCli::TlsNext() {
    if (FRequestResult != 0) {
        TriggerRequestDone(static_cast<uint16_t>(FRequestResult));
        return;
    }
    TriggerDisplay("Starting SSL handshake");
    std::string why;
    if (!BeginTls(true, why)) {
        FStatusCode = FRequestResult = SMTP_LOCAL_ERROR;
        FLastResponse = why;
        SetErrorMessage();
        FailAndAbort(SMTP_LOCAL_ERROR);
    }
}

}  // namespace mail

#include "mail/pop3prot.h"
#include "platform/rtl/sysutils.h"

namespace mail {

TSslPop3Cli::TSslPop3Cli(rtl::TComponent* owner)
    : TSyncPop3Cli(owner, [](rtl::TComponent* o) -> net::TWSocket* {
          auto* s = new net::TSslWSocket(o);
          s->SetSslMode(net::sslModeClient);
          return s;
      }) {}

net::TSslWSocket* TSslPop3Cli::SslSocket() const { return static_cast<net::TSslWSocket*>(FWSocket); }

net::TSslContext* TSslPop3Cli::SslContext() const { return FWSocket ? FWSocket->SslContext() : nullptr; }

void TSslPop3Cli::SetSslContext(net::TSslContext* Value) {
    if (FWSocket) FWSocket->SetSslContext(Value);
}

void TSslPop3Cli::Connect() {
    FWSocket->SetSslEnable(false);
    TSyncPop3Cli::Connect();
}

void TSslPop3Cli::Open() {
    if (SslType != pop3TlsExplicit) {
        TSyncPop3Cli::Open();
        return;
    }
    HighLevelAsync(pop3Open, Pop3Fct(pop3FctConnect) | Pop3Fct(pop3FctStartTls) | Pop3Fct(pop3FctUser) |
                                 Pop3Fct(pop3FctPass));
}

void TSslPop3Cli::WSocketSessionConnected(rtl::TObject* Sender, uint16_t Error) {
    if (SslType != pop3TlsImplicit || Error != 0) {
        TSyncPop3Cli::WSocketSessionConnected(Sender, Error);
        return;
    }
    FConnected = true;
    startHandshake(false);
}

void TSslPop3Cli::startHandshake(bool Upgrade) {
    Display("! Starting SSL handshake");
    std::string why;
    if (!BeginTls(Upgrade, why)) handshakeFailed("-ERR SslHandshake " + why);
}

void TSslPop3Cli::handshakeFailed(const std::string& Msg) {
    FErrorMessage = Msg;
    FStatusCode = 500;
    FRequestResult = 500;
    // A chain stops here: not even QUIT goes out over a failed handshake.
    FailAndAbort(500);
}

void TSslPop3Cli::StartTls() { Stls(); }

void TSslPop3Cli::Stls() {
    if (SslType == pop3TlsImplicit || FProtocolState == pop3Transaction) Refuse("-ERR STLS command invalid now");
    FFctPrv = pop3FctStartTls;
    ExecAsync(pop3StartTls, "STLS", pop3WaitingUser, static_cast<THandler>(&TSslPop3Cli::TlsNext));
}

void TSslPop3Cli::TlsNext() {
    if (FRequestResult != 0) {
        EndWith(static_cast<uint16_t>(FRequestResult));
        return;
    }
    startHandshake(true);
}

void TSslPop3Cli::TransferSslHandshakeDone(rtl::TObject* Sender, uint16_t ErrCode, net::TX509Base* PeerCert,
                                           bool& Disconnect) {
    if (OnSslHandshakeDone) OnSslHandshakeDone(this, ErrCode, PeerCert, Disconnect);
    std::string why;
    if (!TlsHandshakeOk(ErrCode, Disconnect, why)) {
        // The reason the handshake failed is part of what the user sees.
        handshakeFailed(why.empty() ? "-ERR SSL Handshake" : "-ERR SSL Handshake: " + why);
        return;
    }
    Display("! " + SecureConnectionText());
    if (SslType == pop3TlsImplicit) {
        SetState(pop3WaitingBanner);
        return;
    }
    FProtocolState = pop3WaitingUser;
    EndWith(0);
}

}  // namespace mail

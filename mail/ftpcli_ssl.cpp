// The blocking calls of TFtpClient and FTP over TLS (TSslFtpClient).
#include "mail/ftpcli.h"
#include "platform/rtl/sysutils.h"

namespace mail {

using rtl::IntToStr;

// ---------------------------------------------------------------- blocking

bool TFtpClient::Synchronize(void (TCustomFtpCli::*Proc)()) {
    try {
        (this->*Proc)();
    } catch (...) {
        // The refusal's text is in ErrorMessage.
        if (FRequestResult == 0) FRequestResult = LINE_PROTOCOL_ERROR;
        return false;
    }
    return WaitUntilReady();
}

bool TFtpClient::WaitUntilReady() {
    if (WaitRequest(Timeout)) return true;
    if (FErrorMessage == "426 Timeout") Display("! 426 Timeout");
    return false;
}

bool TFtpClient::Progress() {
    const bool goOn = TCustomFtpCli::Progress();
    // A transfer times out only when the data stops flowing.
    NoteActivity();
    return goOn;
}

// ---------------------------------------------------------------- TLS

TSslFtpClient::TSslFtpClient(rtl::TComponent* owner)
    : TFtpClient(owner, [](rtl::TComponent* o) -> net::TWSocket* {
          auto* s = new net::TSslWSocket(o);
          s->SetSslMode(net::sslModeClient);
          return s;
      }) {}

net::TSslContext* TSslFtpClient::SslContext() const { return FWSocket ? FWSocket->SslContext() : nullptr; }

void TSslFtpClient::SetSslContext(net::TSslContext* Value) {
    if (FWSocket) FWSocket->SetSslContext(Value);
}

void TSslFtpClient::SetProtLevel(const std::string& Value) {
    if (Value != "P" && Value != "C") throw rtl::Exception("Protection level must be 'P' or 'C'.");
    FProtLevel = Value;
}

void TSslFtpClient::SetAcceptableHostsList(const std::string& Text) { FWSocket->SetAcceptableHostsList(Text); }

void TSslFtpClient::OpenAsync() {
    // A new control connection: its data connections resume its sessions only.
    FSessionBytes.clear();
    ProtLevelSent.clear();
    DataProtection = false;
    RenegotiatePending = false;
    TFtpClient::OpenAsync();
}

void TSslFtpClient::AuthAsync() {
    FLastFct = ftpFctAuth;
    ExecAsync(ftpAuthAsync, FSslType == sslTypeAuthSsl ? "AUTH SSL" : "AUTH TLS", {234, 334}, nullptr);
}

void TSslFtpClient::PbszAsync() {
    FLastFct = ftpFctPbsz;
    ExecAsync(ftpPbszAsync, "PBSZ " + IntToStr(PBSZSize), {200}, nullptr);
}

void TSslFtpClient::ProtAsync() {
    ProtLevelSent = FProtLevel;
    FLastFct = ftpFctProt;
    ExecAsync(ftpProtAsync, "PROT " + FProtLevel, {200}, nullptr);
}

void TSslFtpClient::CccAsync() {
    FLastFct = ftpFctCcc;
    ExecAsync(ftpCccAsync, "CCC", {200}, nullptr);
}

void TSslFtpClient::ControlSocketSessionConnected(uint16_t Error) {
    TFtpClient::ControlSocketSessionConnected(Error);
    if (Error == 0 && FConnected && FSslType == sslTypeImplizit) StartControlTls(false);
}

void TSslFtpClient::StartControlTls(bool Upgrade) {
    FWSocket->SetSslMode(net::sslModeClient);
    FWSocket->OnSslVerifyPeer = [this](rtl::TObject*, int& Ok, net::TX509Base* Cert) {
        if (OnSslVerifyPeer) OnSslVerifyPeer(this, Ok, Cert);
    };
    FWSocket->OnSslCliGetSession = [this](rtl::TObject*, SSL_SESSION*& S, bool& Free) {
        if (OnSslCliGetSession) OnSslCliGetSession(this, S, Free);
    };
    FWSocket->OnSslCliNewSession = [this](rtl::TObject*, SSL_SESSION* S, bool Reused, bool& Inc) {
        SessionArrived(S, Reused, Inc);
    };
    FWSocket->OnSslCliCertRequest = [this](rtl::TObject*, net::TX509Base*& Cert) {
        if (OnSslCliCertRequest) OnSslCliCertRequest(this, Cert);
    };
    std::string why;
    if (BeginTls(Upgrade, why)) return;
    Display("! Init SSL failed " + why);
    Fail("550 " + why, 550);
    FNextRequest = nullptr;
    if (Upgrade) {
        ContinueRequest();
        return;
    }
    RequestDone(550);
    FWSocket->Close();
    SetState(ftpReady);
}

bool TSslFtpClient::SslReplyBranch() {
    if (FRequestResult != 0) return false;
    if (FLastFct == ftpFctAuth) {
        if (FWSocket->SslEnable() && FTlsUp) {
            // TLS 1.3 has no renegotiation: the session is already what AUTH asks for.
            if (FWSocket->SslVersionNumber() >= 0x0304 || FWSocket->SslVersionNumber() < 0x0300) return false;
            if (!FWSocket->SslStartRenegotiation()) throw FtpException("! SslStartRenegotiation failed");
            RenegotiatePending = true;
            Display("! Re-negotiate SSL");
            return true;
        }
        StartControlTls(true);
        return true;
    }
    if (FLastFct == ftpFctCcc) {
        Display("! SSL shutdown control channel started");
        FWSocket->OnSslShutDownComplete = [this](rtl::TObject*, bool Bi, int Err) { ShutDownComplete(Bi, Err); };
        FWSocket->SslBiShutDownAsync();
        return true;
    }
    if (FLastFct == ftpFctProt) {
        if (ProtLevelSent == "P") DataProtection = true;
        else if (ProtLevelSent == "C") DataProtection = false;
    }
    return false;
}

void TSslFtpClient::ShutDownComplete(bool, int ErrCode) {
    Display("! Control channel SSL shutdown complete");
    FWSocket->OnSslShutDownComplete = nullptr;
    if (ErrCode > 0) {
        Fail(IntToStr(ErrCode) + " Bidirectional SSL shutdown failed", ErrCode);
        FNextRequest = nullptr;
    } else {
        FTlsUp = false;
    }
    ContinueRequest();
}

void TSslFtpClient::TlsHandshakeDone(uint16_t ErrCode, net::TX509Base* PeerCert, bool& Disconnect) {
    if (OnSslHandshakeDone) OnSslHandshakeDone(this, ErrCode, PeerCert, Disconnect);
    std::string why;
    if (!TlsHandshakeOk(ErrCode, Disconnect, why)) {
        Fail("535 SSL handshake failed. Error #" + IntToStr(ErrCode) + (why.empty() ? "" : " - " + why), 535);
        Display("! " + FLastResponse);
        // Nothing more goes over a connection whose handshake failed.
        FailAndAbort(535);
        return;
    }
    Display("! SSL handshake OK");
    Display("! " + SecureConnectionText());
    if (RenegotiatePending) {
        RenegotiatePending = false;
        ContinueRequest();
        return;
    }
    if (FSslType != sslTypeImplizit) ContinueRequest();
    // Implicit TLS: the banner comes next, over TLS.
}

// Servers commonly refuse a data connection that does not resume the control
// connection's TLS session: each session this control connection or one of
// its data connections ends with is kept (the newest counts, as a TLS 1.3
// server sends its resumable ones after the handshake) and offered to the
// next data connection. The events still see every session and may hand
// over another.
void TSslFtpClient::SessionArrived(SSL_SESSION* Session, bool WasReused, bool& IncRefCount) {
    if (Session) {
        const int len = net::f_i2d_SSL_SESSION(Session, nullptr);
        if (len > 0) {
            std::string bytes(static_cast<size_t>(len), '\0');
            auto* p = reinterpret_cast<unsigned char*>(bytes.data());
            if (net::f_i2d_SSL_SESSION(Session, &p) == len) FSessionBytes.swap(bytes);
        }
    }
    if (OnSslCliNewSession) OnSslCliNewSession(this, Session, WasReused, IncRefCount);
}

void TSslFtpClient::OfferSession(SSL_SESSION*& Session, bool& FreeSession) {
    SSL_SESSION* kept = nullptr;
    if (!FSessionBytes.empty()) {
        const auto* p = reinterpret_cast<const unsigned char*>(FSessionBytes.data());
        kept = net::f_d2i_SSL_SESSION(nullptr, &p, static_cast<long>(FSessionBytes.size()));
    }
    Session = kept;
    FreeSession = true;
    if (OnSslCliGetSession) OnSslCliGetSession(this, Session, FreeSession);
    // The copy made here is given back whatever the handler did with it.
    if (kept && Session != kept) net::f_SSL_SESSION_free(kept);
    if (kept && Session == kept) FreeSession = true;
}

bool TSslFtpClient::DataTlsSettled() const {
    return !FDataTlsPending && (!FDataSocket->SslEnable() || FDataSocket->SslState() >= net::sslEstablished);
}

void TSslFtpClient::DataTls() {
    FDataSocket->SetSslContext(FWSocket->SslContext());
    FDataSocket->SetSslAcceptableHosts(FWSocket->SslAcceptableHosts());
    FDataSocket->SslServerName = FWSocket->SslServerName;
    FDataSocket->SetSslMode(net::sslModeClient);
    FDataSocket->OnSslVerifyPeer = FWSocket->OnSslVerifyPeer;
    FDataSocket->OnSslCliGetSession = [this](rtl::TObject*, SSL_SESSION*& S, bool& Free) { OfferSession(S, Free); };
    FDataSocket->OnSslCliNewSession = FWSocket->OnSslCliNewSession;
    FDataSocket->OnSslCliCertRequest = FWSocket->OnSslCliCertRequest;
    FDataSocket->OnSslHandshakeDone = [this](rtl::TObject*, uint16_t E, net::TX509Base* C, bool& D) {
        DataHandshakeDone(E, C, D);
    };
    FDataSocket->SetSslEnable(true);
}

void TSslFtpClient::DataHandshakeDone(uint16_t ErrCode, net::TX509Base* PeerCert, bool& Disconnect) {
    if (OnSslHandshakeDone) OnSslHandshakeDone(this, ErrCode, PeerCert, Disconnect);
    if (ErrCode == 0 && !Disconnect && FDataSocket->State() == net::wsConnected) {
        Display(std::string("! SSL handshake OK (data") + (FDataSocket->SslSessionReused() ? ", session resumed)" : ")"));
        CloseDownStep();  // the end of an upload (an empty one) may have waited for it
        return;
    }
    // The transfer's own completion reports it, as a failure.
    const std::string why = FDataSocket->SslHandshakeError();
    Fail("535 SSL handshake failed. Error #" + IntToStr(ErrCode) + (why.empty() ? "" : " - " + why), 535);
    Display("! " + FLastResponse);
    FailDataTransfer(535);
}

void TSslFtpClient::DataSocketGetInit(const std::string& DataPort, const std::string& DataAddr) {
    TFtpClient::DataSocketGetInit(DataPort, DataAddr);
    FDataTlsPending = DataProtection;
    if (!FDataTlsPending) return;
    DataTls();
    FDataSocket->SetSslEnable(false);
}

void TSslFtpClient::DataSocketPutAppendInit(const std::string& DataPort, const std::string& DataAddr) {
    TFtpClient::DataSocketPutAppendInit(DataPort, DataAddr);
    FDataTlsPending = FSslType != sslTypeNone && DataProtection;
    if (!FDataTlsPending) return;
    DataTls();
    FDataSocket->SetSslEnable(false);
}

void TSslFtpClient::StartDataTls() {
    if (!FDataTlsPending) return;
    FDataTlsPending = false;
    FDataSocket->SetSslEnable(true);
    // A connection still coming up starts its handshake when it is up.
    if (FDataSocket->State() != net::wsConnected) return;
    try {
        FDataSocket->StartSslHandshake();
    } catch (const std::exception& E) {
        Display(std::string("! Init SSL failed ") + E.what());
        Fail(std::string("550 ") + E.what(), 550);
        FailDataTransfer(550);
    }
}

void TSslFtpClient::DataSocketAcceptedTls() {
    FDataTlsPending = false;
    if (!DataProtection) return;
    DataTls();
    if (FDataReplied) return;  // the handshake starts with the connection
    FDataTlsPending = true;
    FDataSocket->SetSslEnable(false);
}

}  // namespace mail

#include "net/wsocket_ssl.h"

#include <algorithm>
#include <cstring>

#include "platform/rtl/sysutils.h"
#include "platform/win/pump.h"

namespace net {

using rtl::IntToStr;

namespace {

// A block of the clear-text send queue, written as one TLS record: records
// of the largest size cost a peer that reads one record per call the fewest
// calls (small ones made a TLS upload take half again curl's time).
constexpr int kSslBlockSize = 16384;
// Each half of the BIO pair, and what one read event takes from the socket:
// several records a turn of the loop (4 KB made a TLS download a fifth slower).
constexpr int kPairBufSize = 65536;
constexpr int kRecvBufSize = 65536;
constexpr int kNetReadSize = 16384;
constexpr int kDrainSize = 1024;
constexpr int kMaxSessionIdContext = 32;
constexpr uint16_t kHandshakeFailed = 1;
// The wait after a one-way close: the peer's system is asked every
// kCloseWaitPollMs how much it still has to acknowledge, and the wait ends
// when nothing moved for kCloseWaitMs.
constexpr uintptr_t kCloseWaitTimer = 0x7C05;
constexpr win::UINT kCloseWaitPollMs = 10;
constexpr uint32_t kCloseWaitMs = 3000;

constexpr long kEventBits[] = {ws::FD_READ, ws::FD_WRITE, ws::FD_CLOSE};

unsigned eventFlag(TSslEvent e) { return 1u << e; }

// A socket error above the platform's base that is not "try again".
bool isFatalSocketError(int err) {
    return err > 10000 && err != ws::WSAEWOULDBLOCK && err != ws::WSAENOTCONN;
}

std::string boolText(bool b) { return b ? "1" : "0"; }

std::string stateText(SSL* ssl) {
    if (f_SSL_in_init(ssl)) return "SSL_ST_INIT ";
    if (f_SSL_is_init_finished(ssl)) return "SSL_ST_OK ";
    return rtl::IntToHex(static_cast<unsigned>(f_SSL_state(ssl)), 8) + " ";
}

}  // namespace

// Marks the socket as inside a library callback while one runs: a reset
// asked for meanwhile waits for the window, and so does the reset of a
// socket that was closed by the handler.
class TCustomSslWSocket::CallbackScope {
public:
    explicit CallbackScope(TCustomSslWSocket* s) : s_(s) { ++s_->FInCallback; }
    ~CallbackScope() {
        if (--s_->FInCallback == 0 && s_->FHSocket == ws::INVALID_SOCKET) s_->ResetSslDelayed();
    }
    CallbackScope(const CallbackScope&) = delete;
    CallbackScope& operator=(const CallbackScope&) = delete;

private:
    TCustomSslWSocket* s_;
};

TCustomSslWSocket::TCustomSslWSocket(rtl::TComponent* owner) : TCustomSocksWSocket(owner), FSslCertChain(this) {}

TCustomSslWSocket::~TCustomSslWSocket() {
    BeginDestroy();
    try {
        if (FState != wsClosed) Close();
    } catch (...) {
        // Nobody is left to tell.
    }
    FInCallback = 0;
    FSslState = sslNone;
    ResetSSL();
    if (FSslContext) RemoveFreeNotification(FSslContext);
    FSslCertChain.Clear();
    if (FLibraryRef) UnloadSsl();
}

void TCustomSslWSocket::SslLog(TLogOption Option, const std::string& Msg) {
    if (CheckLogOptions(Option)) DebugLog(Option, rtl::IntToHex(reinterpret_cast<uintptr_t>(this), 8) + Msg);
}

// ---------------------------------------------------------------- properties

void TCustomSslWSocket::SetSslContext(TSslContext* Value) {
    if (FSslContext == Value) return;
    if (FSslContext) RemoveFreeNotification(FSslContext);
    FSslContext = Value;
    if (Value) FreeNotification(Value);
}

void TCustomSslWSocket::Notification(rtl::TComponent* AComponent, rtl::TOperation Operation) {
    TCustomSocksWSocket::Notification(AComponent, Operation);
    if (Operation == rtl::opRemove && AComponent == FSslContext) FSslContext = nullptr;
}

void TCustomSslWSocket::SetSslAcceptableHosts(const rtl::TStringList& Value) {
    FSslAcceptableHosts.Clear();
    FSslAcceptableHosts.AddStrings(Value);
}

void TCustomSslWSocket::SetAcceptableHostsList(const std::string& Text) {
    FSslAcceptableHosts.Clear();
    size_t from = 0;
    while (from <= Text.size()) {
        size_t to = Text.find(';', from);
        if (to == std::string::npos) to = Text.size();
        const std::string host = rtl::Trim(Text.substr(from, to - from));
        if (!host.empty()) FSslAcceptableHosts.Add(host);
        from = to + 1;
    }
}

bool TCustomSslWSocket::SslSessionReused() const {
    return FSslEnable && FSsl && f_SSL_session_reused(FSsl) == 1;
}

bool TCustomSslWSocket::SslRenegotiatePending() const {
    return FSslEnable && FSsl && f_SSL_renegotiate_pending(FSsl) == 1;
}

bool TCustomSslWSocket::SslActive() const { return FSslEnable && FSsl && !socksExchangeRunning(); }

bool TCustomSslWSocket::Established() const { return FSsl && f_SSL_is_init_finished(FSsl) == 1; }

void TCustomSslWSocket::SetSocketError(int Error) {
    FLastError = Error;
    WSocket_WSASetLastError(Error);
}

// ---------------------------------------------------------------- errors

void TCustomSslWSocket::RaiseLastOpenSslError(TExceptionFactory EClass, bool Dump, const std::string& CustomMsg) {
    const std::string reason = OpenSslErrorText(Dump, FLastOpenSslError);
    f_ERR_clear_error();
    const std::string text = CustomMsg.empty() ? "\r\n" + reason + "\r\n" : "\r\n" + CustomMsg + "\r\n" + reason + "\r\n";
    std::rethrow_exception(EClass(text));
}

std::string TCustomSslWSocket::HandleSslError() {
    FLastOpenSslError = f_ERR_peek_error();
    if (!FLastOpenSslError) return {};
    unsigned long first = 0;
    const std::string text = OpenSslErrorText(true, first);
    SslLog(loSslErr, "  " + IntToStr(static_cast<int64_t>(first)) + "  " + text);
    return text;
}

// The reason a handshake failed, kept for the application: the result of
// the peer's verification when that failed, else the library's reason.
void TCustomSslWSocket::NoteHandshakeFailure() {
    if (!FSsl || Established() || !FSslHandshakeError.empty()) return;
    const long verify = f_SSL_get_verify_result(FSsl);
    if (verify != X509_V_OK && FSslContext && FSslContext->SslVerifyPeer())
        FSslHandshakeError = std::string("Certificate verify failed: ") + f_X509_verify_cert_error_string(verify);
}

// A library failure that ends the connection.
void TCustomSslWSocket::SslFatal() {
    NoteHandshakeFailure();
    const std::string reason = HandleSslError();
    if (FSslHandshakeError.empty() && !Established()) FSslHandshakeError = reason;
    FNetworkError = ws::WSAECONNABORTED;
    SetSocketError(ws::WSAECONNABORTED);
    TriggerEvent(sslFdClose);
}

// ---------------------------------------------------------------- handshake start

void TCustomSslWSocket::StartSslHandshake() { StartHandshake(sslModeClient); }

void TCustomSslWSocket::AcceptSslHandshake() { StartHandshake(sslModeServer); }

void TCustomSslWSocket::StartHandshake(TSslMode Mode) {
    if (CheckLogOptions(loSslInfo))
        SslLog(loSslInfo, Mode == sslModeClient ? " StartSslHandshake " : " AcceptSslHandshake ");
    if (!FSslEnable) return;
    if (!FSslContext) throw rtl::Exception("SSL requires a context object");
    if (FSsl) ResetSSL();
    FSslState = sslHandshakeInit;
    FSslMode = Mode;
    try {
        if (FState == wsConnected) {
            // Nothing sent in the clear before this point may pass for
            // protected data.
            DropPlainInput();
            if (Mode == sslModeClient) DiscardSocketInput();
        }
        FSslContext->SetSocketCallbacks({&VerifyCallback, &NewSessionCallback, &GetSessionCallback});
        if (!FSslContext->IsCtxInitialized()) FSslContext->InitContext();
        InitSSLConnection(Mode == sslModeClient, FSslContext->SslCtx());
    } catch (const std::exception& E) {
        FSslState = sslNone;
        if (CheckLogOptions(loSslErr))
            SslLog(loSslErr, std::string(" Fatal error SSL handshake ") + rtl::ExceptionClassName(E) + " " + E.what());
        throw;
    }
}

// Plain bytes that reached the socket before our first TLS byte left are
// not the server's: it cannot speak TLS before hearing from us.
void TCustomSslWSocket::DiscardSocketInput() {
    char junk[kDrainSize];
    ws::u_long count = 0;
    while (FHSocket != ws::INVALID_SOCKET && WSocket_ioctlsocket(FHSocket, ws::FIONREAD_, &count) == 0 && count > 0) {
        if (WSocket_recv(FHSocket, junk, static_cast<int>(std::min<ws::u_long>(count, sizeof junk)), 0) <= 0) break;
        if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " Plain bytes dropped before TLS");
    }
}

void TCustomSslWSocket::InitSSLConnection(bool ClientMode, SSL_CTX* Ctx) {
    if (!FSslEnable) return;
    if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " InitSSLConnection ");
    FSslCertChain.Clear();
    FShutdownHow = 1;
    FShutdownProgress = 0;
    FNetworkError = 0;
    FLastOpenSslError = 0;
    FBidirectional = false;
    FCloseCalled = false;
    FPostedEvents = 0;
    FMayPostRead = FMayReceive = FMayPostWrite = FMayTryToSend = true;
    FSslHandshakeError.clear();
    FSslVerifyResult = 0;
    FCliSessionReported = false;
    if (!FLibraryRef) {
        LoadSsl();
        FLibraryRef = true;
    }
    try {
        {
            std::lock_guard<std::recursive_mutex> g(SslCritSect);
            FSsl = f_SSL_new(Ctx);
        }
        if (!FSsl) RaiseLastOpenSslError(&MakeException<rtl::Exception>, true, "Error on creating the Ssl object");
        FSslBio = f_BIO_new(f_BIO_f_ssl());
        f_BIO_new_bio_pair(&FIBio, kPairBufSize, &FNBio, kPairBufSize);
        if (!FSslBio || !FIBio || !FNBio) throw rtl::Exception("Creating BIOs failed");
        f_SSL_set_options(FSsl, SSL_OP_ALL);
        // A retried write may find its bytes moved within the send queue.
        f_SSL_ctrl(FSsl, SSL_CTRL_MODE, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER, nullptr);
        if (f_SSL_set_ex_data(FSsl, 0, this) != 1) throw rtl::Exception("SSL_set_ex_data failed");
        // The context installs its verification only when it is configured;
        // this connection checks the peer whatever configured it first.
        const int verifyMode = f_SSL_CTX_get_verify_mode(Ctx);
        if (verifyMode != SSL_VERIFY_NONE) f_SSL_set_verify(FSsl, verifyMode, &VerifyCallback);
        if (ClientMode) InitClientSide();
        else InitServerSide();
        f_SSL_set_bio(FSsl, FIBio, FIBio);
        FIBioOwnedBySsl = true;
        f_SSL_set_info_callback(FSsl, &InfoCallback);
        f_ERR_clear_error();
        f_BIO_ctrl(FSslBio, BIO_C_SET_SSL, BIO_NOCLOSE, FSsl);
        FSslBioHoldsIBio = true;
        FEventGuard = std::make_shared<int>(0);
        char none;
        if (f_BIO_read(FSslBio, &none, 0) < 0 && !BIO_should_retry(FSslBio)) SslFatal();
        if (FState == wsConnected) {
            TriggerEvent(sslFdRead);
            TriggerEvent(sslFdWrite);
        }
        FSslState = sslHandshakeStarted;
    } catch (...) {
        FSslState = sslHandshakeFailed;
        FreeSslObjects();
        throw;
    }
}

void TCustomSslWSocket::InitClientSide() {
    SSL_CTX* ctx = FSslContext->SslCtx();
    if (FSslContext->SslCertFile().empty() && OnSslCliCertRequest && !f_SSL_CTX_get_client_cert_cb(ctx))
        f_SSL_CTX_set_client_cert_cb(ctx, &ClientCertCallback);
    SSL_SESSION* session = nullptr;
    bool freeSession = true;
    if (OnSslCliGetSession) OnSslCliGetSession(this, session, freeSession);
    if (session && f_SSL_set_session(FSsl, session) == 1) {
        if (CheckLogOptions(loSslInfo))
            SslLog(loSslInfo, " Reuse session [" + rtl::IntToHex(reinterpret_cast<uintptr_t>(session), 8) + "]");
    } else {
        f_SSL_set_session(FSsl, nullptr);
    }
    // The handler's reference is ours to give back, taken or not.
    if (session && freeSession) f_SSL_SESSION_free(session);
    // The name the user gave is what the certificate must carry; Addr may
    // already be the resolved address.
    FSslContext->SetPeerHost(FSsl, SslServerName.empty() ? FAddrStr : SslServerName);
    f_SSL_set_connect_state(FSsl);
}

void TCustomSslWSocket::InitServerSide() {
    if (OnSslSetSessionIDContext) {
        std::string id;
        OnSslSetSessionIDContext(this, id);
        if (!id.empty()) {
            id.resize(std::min<size_t>(id.size(), kMaxSessionIdContext));
            if (f_SSL_set_session_id_context(FSsl, reinterpret_cast<const unsigned char*>(id.data()),
                                             static_cast<unsigned>(id.size())) == 1) {
                if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " SessionIDContext: " + id);
            } else if (CheckLogOptions(loSslErr)) {
                SslLog(loSslErr, " ssl_set_session_id_context failed");
            }
        }
    }
    f_SSL_set_accept_state(FSsl);
}

void TCustomSslWSocket::TriggerSessionConnected(uint16_t Error) {
    TCustomSocksWSocket::TriggerSessionConnected(Error);
    if (FSslEnable && Error == 0 && !FSsl && FState == wsConnected) StartHandshakeOnConnect();
}

void TCustomSslWSocket::Dup(ws::SOCKET NewHSocket) {
    TCustomSocksWSocket::Dup(NewHSocket);
    if (FSslEnable && !FSsl && FState == wsConnected) StartHandshakeOnConnect();
}

// The handshake of a connection that has just come up; a failure to start
// ends the connection.
void TCustomSslWSocket::StartHandshakeOnConnect() {
    try {
        switch (FSslMode) {
            case sslModeClient: StartSslHandshake(); break;
            case sslModeServer: AcceptSslHandshake(); break;
            default: throw rtl::Exception("Invalid SslMode");
        }
    } catch (const std::exception& E) {
        FSslEnable = false;
        ResetSSL();
        InternalClose(false, ws::WSAECONNABORTED);
        HandleBackGroundException(E);
    }
}

void TCustomSslWSocket::Do_FD_CONNECT(uint16_t ErrCode) {
    FCloseCalled = false;
    FShutdownProgress = 0;
    TCustomSocksWSocket::Do_FD_CONNECT(ErrCode);
}

// ---------------------------------------------------------------- reset

void TCustomSslWSocket::FreeSslObjects() {
    // The filter holds one reference to the library's end of the pair.
    if (FSslBio) f_BIO_free(FSslBio);
    if (FSslBioHoldsIBio && FIBio) f_BIO_free(FIBio);
    if (FSsl) {
        f_SSL_set_shutdown(FSsl, SSL_SENT_SHUTDOWN);  // no close-notify from here
        f_SSL_free(FSsl);
    }
    if (FIBio && !FIBioOwnedBySsl) f_BIO_free(FIBio);
    if (FNBio) f_BIO_free(FNBio);
    FSsl = nullptr;
    FSslBio = FIBio = FNBio = nullptr;
    FIBioOwnedBySsl = FSslBioHoldsIBio = false;
}

void TCustomSslWSocket::ResetSSL() {
    StopCloseWait();
    if (FInCallback || FSslState == sslHandshakeInit) return;
    if (FSsl && CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " ResetSslSession ");
    FSslBufList.clear();
    FSslAllSent = true;
    FDataSentToReport = false;
    FSslVersion = FSslCipher = "Unknown";
    FSslTotalBits = FSslSecretBits = FSslVersionNumber = 0;
    FHandshakeInProgress = FHandshakeDoneDue = FRenegotiation = false;
    FNetworkError = 0;
    FPendingWrite = -1;
    FSslState = sslNone;
    FEventGuard.reset();
    FPostedEvents = 0;
    FreeSslObjects();
}

void TCustomSslWSocket::ResetSslDelayed() { win::PostMessage(FWindowHandle, WM_RESET_SSL, 0, 0); }

void TCustomSslWSocket::AssignDefaultValue() {
    ResetSSL();
    TCustomSocksWSocket::AssignDefaultValue();
}

// ---------------------------------------------------------------- events

bool TCustomSslWSocket::TriggerEvent(TSslEvent Event, uint16_t ErrCode) {
    if (!FSslEnable || !FEventGuard || (FPostedEvents & eventFlag(Event))) return false;
    if (!win::PostMessageGuarded(FWindowHandle, WM_SSL_ASYNCSELECT, static_cast<win::WPARAM>(FHSocket),
                                 ws::WSAMAKESELECTREPLY(static_cast<int>(kEventBits[Event]), ErrCode),
                                 std::weak_ptr<const void>(FEventGuard)))
        return false;
    FPostedEvents |= eventFlag(Event);
    return true;
}

void TCustomSslWSocket::WMSslAsyncSelect(win::TMessage& Msg) {
    if (static_cast<ws::SOCKET>(Msg.WParam) != FHSocket) return;
    const int ev = ws::WSAGETSELECTEVENT(Msg.LParam);
    const auto err = static_cast<uint16_t>(ws::WSAGETSELECTERROR(Msg.LParam));
    if (ev & ws::FD_READ) {
        FPostedEvents &= ~eventFlag(sslFdRead);
        Do_FD_READ(err);
    } else if (ev & ws::FD_WRITE) {
        FPostedEvents &= ~eventFlag(sslFdWrite);
        Do_FD_WRITE(err);
    } else if (ev & ws::FD_CLOSE) {
        FPostedEvents &= ~eventFlag(sslFdClose);
        Do_FD_CLOSE(err);
    }
}

void TCustomSslWSocket::WndProc(win::TMessage& MsgRec) {
    try {
        switch (MsgRec.Msg) {
            case WM_TRIGGER_DATA_SENT: TriggerDataSent(0); break;
            case WM_SSL_ASYNCSELECT: WMSslAsyncSelect(MsgRec); break;
            case WM_RESET_SSL: ResetSSL(); break;
            case WM_BI_SSL_SHUTDOWN: StartBiShutdown(); break;
            case WM_TRIGGER_SSL_SHUTDOWN_COMPLETED: TriggerSslShutDownComplete(static_cast<int>(MsgRec.LParam)); break;
            case win::WM_TIMER:
                if (MsgRec.WParam == kCloseWaitTimer) CloseWaitStep(0);
                else TCustomSocksWSocket::WndProc(MsgRec);
                break;
            default: TCustomSocksWSocket::WndProc(MsgRec); break;
        }
    } catch (const std::exception& E) {
        HandleBackGroundException(E);
    }
}

void TCustomSslWSocket::ThreadAttach() {
    TCustomSocksWSocket::ThreadAttach();
    // What was in flight went with the old window.
    const unsigned posted = FPostedEvents;
    FPostedEvents = 0;
    for (TSslEvent e : {sslFdRead, sslFdWrite, sslFdClose})
        if (posted & eventFlag(e)) TriggerEvent(e);
}

// Lets the library take what waits in the pair: a read of no bytes runs the
// handshake and decrypts at most one record. False after a fatal error.
bool TCustomSslWSocket::AdvanceSsl() {
    f_ERR_clear_error();
    char none;
    const int r = f_BIO_read(FSslBio, &none, 0);
    if (!FSsl) return false;
    if (r < 0) {
        if (BIO_should_retry(FSslBio)) return true;
        SslFatal();
        return false;
    }
    if (f_SSL_get_error(FSsl, r) == SSL_ERROR_ZERO_RETURN) PeerSentCloseNotify();
    return true;
}

// The peer ended TLS. Unless we asked for a return to plain text, that ends
// the session: a peer may wait for us to close before it hangs up itself.
void TCustomSslWSocket::PeerSentCloseNotify() {
    if (FSslState < sslInShutdown) FSslState = sslInShutdown;
    if (!FBidirectional && FShutdownProgress != 1) TriggerEvent(sslFdClose, static_cast<uint16_t>(FNetworkError));
}

// Clear bytes ready for the application. A complete record still waiting
// as cipher text is decrypted first, so nothing is left behind in the pair.
int TCustomSslWSocket::DecryptedCount() {
    if (!FSsl) return 0;
    const int n = f_SSL_pending(FSsl);
    if (n > 0 || FPendingWrite >= 0 || FNetworkError || f_BIO_ctrl_pending(FIBio) == 0) return n;
    if (!AdvanceSsl() || !FSsl) return 0;
    return f_SSL_pending(FSsl);
}

void TCustomSslWSocket::TriggerEvents() {
    if (!FSsl || !FSslEnable) return;
    if (CheckLogOptions(loSslInfo))
        SslLog(loSslInfo, " TriggerEvents " + stateText(FSsl) + "// MayFD_Read=" + boolText(FMayPostRead) +
                              " MayDoRecv=" + boolText(FMayReceive) + " MayFD_Write=" + boolText(FMayPostWrite) +
                              " MaySslTryToSend=" + boolText(FMayTryToSend) + " bSslAllSent=" + boolText(FSslAllSent) +
                              " bAllSent=" + boolText(bAllSent));
    if (FHandshakeDoneDue) {
        FHandshakeDoneDue = false;
        TriggerSslHandshakeDone(0);
        FRenegotiation = false;
        if (!FSsl || !FSslEnable) return;
    }
    const bool ok = Established();
    if (f_BIO_ctrl_pending(FNBio) == 0) {
        if (!bAllSent && ok && f_BIO_ctrl_get_write_guarantee(FSslBio) > 0 && FMayPostWrite) {
            if (TriggerEvent(sslFdWrite)) FMayPostWrite = false;
        } else if (!FSslAllSent && ok && FMayTryToSend) {
            FMayTryToSend = false;
            TryToSend();
            if (!FSsl || !FSslEnable) return;
        } else if (bAllSent && FSslAllSent && FDataSentToReport && ok) {
            FDataSentToReport = false;
            TriggerDataSent(0);
            if (!FSsl || !FSslEnable) return;
        }
    } else if (FMayPostWrite && TriggerEvent(sslFdWrite)) {
        FMayPostWrite = false;
    }
    const int decrypted = DecryptedCount();
    if (!FSsl) return;
    if (!(ok && decrypted > 0)) {
        if (f_BIO_ctrl_get_write_guarantee(FNBio) > 0 && FMayPostRead && TriggerEvent(sslFdRead)) FMayPostRead = false;
    } else if (FMayReceive && TriggerEvent(sslFdRead)) {
        FMayReceive = false;
    }
    // Close once everything the application handed over has gone out and
    // everything received has been read.
    const bool closing = (FCloseCalled && FShutdownProgress == 0 && FSslAllSent) ||
                         (FShutdownProgress == 2 && !FBidirectional);
    if (closing && Established() && decrypted <= 0) TriggerEvent(sslFdClose);
}

// ---------------------------------------------------------------- reading

// Offers the clear bytes to the application. Bytes nobody reads, or that a
// closing application leaves, are dropped so the connection can end.
void TCustomSslWSocket::DeliverDecrypted() {
    const int before = f_SSL_pending(FSsl);
    const bool closing = FCloseCalled;  // a Close asked for now gets one more offer
    if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " TriggerDataAvailable ");
    const bool taken = TriggerDataAvailable(0);
    if (!FSsl || !FSslEnable) return;
    if (!taken || (closing && f_SSL_pending(FSsl) == before)) DiscardDecrypted();
}

void TCustomSslWSocket::DiscardDecrypted() {
    char junk[kDrainSize];
    int n;
    while (FSsl && f_SSL_pending(FSsl) > 0 &&
           (n = f_BIO_read(FSslBio, junk, std::min<int>(f_SSL_pending(FSsl), sizeof junk))) > 0)
        FReadCount += n;
    FMayReceive = true;
    TriggerEvents();
}

void TCustomSslWSocket::Do_FD_READ(uint16_t ErrCode) {
    if (!SslActive()) {
        TCustomSocksWSocket::Do_FD_READ(ErrCode);
        return;
    }
    if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " TCustomSslWSocket.Do_FD_READ ");
    if (FCloseWaiting) {
        CloseWaitStep(ErrCode);
        return;
    }
    if (FNetworkError) return;
    if (Established() && FPendingWrite < 0 && DecryptedCount() > 0) {
        // The socket's bytes stay where they are; their read is owed.
        FMayPostRead = true;
        DeliverDecrypted();
        return;
    }
    if (!FSsl) return;
    FMayPostRead = false;
    int n = static_cast<int>(f_BIO_ctrl_get_read_request(FNBio));
    const int room = static_cast<int>(f_BIO_ctrl_get_write_guarantee(FNBio));
    if (n <= 0 || n > room) n = room;
    n = std::min(n, kRecvBufSize);
    if (n <= 0) {
        FMayPostRead = true;
        TriggerEvents();
        return;
    }
    char buf[kRecvBufSize];
    const int got = WSocket_recv(FHSocket, buf, n, 0);
    if (got == 0) {
        if (FState == wsConnected) TriggerEvent(sslFdClose, ErrCode);
    } else if (got < 0) {
        const int err = WSocket_WSAGetLastError();
        if (isFatalSocketError(err)) {
            FNetworkError = err;
            FLastError = err;
            TriggerEvent(sslFdClose, static_cast<uint16_t>(err));
            if (CheckLogOptions(loSslErr)) SslLog(loSslErr, " NetworkError #" + IntToStr(err));
            return;
        }
    } else {
        f_BIO_write(FNBio, buf, got);
        f_BIO_ctrl(FNBio, BIO_CTRL_FLUSH, 0, nullptr);
        // A peer that already closed sends no more read events: keep reading.
        if (FCloseCalled) FMayPostRead = true;
        if (FPendingWrite >= 0) {
            if (CheckLogOptions(loSslInfo))
                SslLog(loSslInfo, "SslBio write operation pending: " + IntToStr(FPendingWrite));
        } else if (!AdvanceSsl()) {
            return;
        }
        FMayReceive = true;
        SetSocketError(ws::WSAEWOULDBLOCK);
    }
    if (!FSsl) return;
    if (Established() && FPendingWrite < 0 && DecryptedCount() > 0) {
        DeliverDecrypted();
        if (!FSsl || !FSslEnable) return;
    }
    AfterNetworkStep();
}

int TCustomSslWSocket::DoRecv(void* Buffer, int BufferSize, int Flags) {
    if (!SslActive()) {
        if (FPlainCarry.empty()) return TCustomSocksWSocket::DoRecv(Buffer, BufferSize, Flags);
        ++FRecvCalls;
        const int n = std::min<int>(static_cast<int>(FPlainCarry.size()), std::max(BufferSize, 0));
        std::memcpy(Buffer, FPlainCarry.data(), static_cast<size_t>(n));
        if (Flags & MSG_PEEK) return n;
        FPlainCarry.erase(0, static_cast<size_t>(n));
        if (!FPlainCarry.empty()) PostPlainData();
        return n;
    }
    if (CheckLogOptions(loSslDump)) SslLog(loSslDump, " TCustomSslWSocket.DoRecv ");
    if (Flags & MSG_PEEK) {
        // Decrypted bytes cannot be looked at without taking them.
        SetSocketError(ws::WSAEOPNOTSUPP);
        return -1;
    }
    if (FNetworkError) {
        if (!(f_SSL_pending(FSsl) > 0 && FShutdownProgress == 0)) {
            SetSocketError(FNetworkError);
            return -1;
        }
    } else if (FShutdownProgress == 1) {
        SetSocketError(ws::WSAESHUTDOWN);
        return -1;
    }
    if (BufferSize <= 0) return 0;
    if (Established() && DecryptedCount() > 0) {
        f_ERR_clear_error();
        const int n = f_BIO_read(FSslBio, Buffer, BufferSize);
        if (n > 0) {
            // Every record already received and complete goes out in this
            // call: one record a call cost a turn of the loop per record,
            // and a server may send a record per answer line or answer.
            int total = n;
            while (total < BufferSize && FSsl && Established() && DecryptedCount() > 0) {
                f_ERR_clear_error();
                const int more = f_BIO_read(FSslBio, static_cast<char*>(Buffer) + total, BufferSize - total);
                if (more <= 0) break;  // the next call meets what stopped it
                total += more;
            }
            FMayReceive = true;
            TriggerEvents();
            return total;
        }
        if (!FSsl) return -1;
        if (n < 0 && !BIO_should_retry(FSslBio)) {
            SslFatal();
            return -1;
        }
        if (n == 0 && f_SSL_get_error(FSsl, n) == SSL_ERROR_ZERO_RETURN) PeerSentCloseNotify();
        FMayReceive = true;
        TriggerEvents();
        SetSocketError(ws::WSAEWOULDBLOCK);
        return -1;
    }
    if (!FSsl) return -1;
    if (FState == wsClosed) return 0;
    if (FCloseCalled) {
        TriggerEvent(sslFdClose);
        return 0;
    }
    if (FState == wsConnected) {
        FMayReceive = true;
        TriggerEvents();
        SetSocketError(ws::WSAEWOULDBLOCK);
        return -1;
    }
    SetSocketError(FNetworkError);
    return -1;
}

int TCustomSslWSocket::GetRcvdCount() {
    if (!SslActive()) {
        if (!FPlainCarry.empty()) return static_cast<int>(FPlainCarry.size());
        return TCustomSocksWSocket::GetRcvdCount();
    }
    return DecryptedCount();
}

// ---------------------------------------------------------------- sending

void TCustomSslWSocket::PutDataInSendBuffer(const void* Data, int Len) {
    if (!SslActive()) {
        TCustomSocksWSocket::PutDataInSendBuffer(Data, Len);
        return;
    }
    if (!Data || Len <= 0) return;
    if (CheckLogOptions(loSslDump)) SslLog(loSslDump, " PutDataInSendBuffer " + IntToStr(Len));
    FSslAllSent = false;
    FDataSentToReport = true;
    if (FSslBufList.empty()) FSslBufList.push_back(std::make_unique<TBuffer>(kSslBlockSize));
    auto* p = static_cast<const uint8_t*>(Data);
    int done = FSslBufList.back()->Write(p, Len);
    while (done < Len) {
        FSslBufList.push_back(std::make_unique<TBuffer>(kSslBlockSize));
        done += FSslBufList.back()->Write(p + done, Len - done);
    }
}

void TCustomSslWSocket::TryToSend() {
    if (!SslActive()) {
        TCustomSocksWSocket::TryToSend();
        return;
    }
    // The pump it runs may lead here again; the outer call finishes the work.
    if (FInTryToSend) return;
    struct Busy {
        bool& flag;
        explicit Busy(bool& f) : flag(f) { flag = true; }
        ~Busy() { flag = false; }
    } busy(FInTryToSend);
    if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " SslTryToSend ");
    while (true) {
        if (FSslBufList.empty()) {
            FSslAllSent = true;
            break;
        }
        int len = 0;
        const uint8_t* data = FSslBufList.front()->Peek(len);
        if (len <= 0) {
            if (FSslBufList.size() > 1) {
                FSslBufList.pop_front();
                continue;
            }
            FSslAllSent = true;
            break;
        }
        if (FHSocket == ws::INVALID_SOCKET) return;
        if (FNetworkError) {
            FLastError = FNetworkError;
            TriggerEvent(sslFdClose);
            return;
        }
        if (FShutdownProgress > 0) {
            FLastError = ws::WSAESHUTDOWN;
            if (!FBidirectional) TriggerEvent(sslFdClose);
            return;
        }
        if (!Established() || f_SSL_renegotiate_pending(FSsl) == 1) {
            FMayTryToSend = true;
            FLastError = ws::WSAEWOULDBLOCK;
            return;
        }
        // A retried write repeats exactly the length the library was given.
        const int count = FPendingWrite >= 0 ? FPendingWrite : len;
        f_ERR_clear_error();
        const int n = f_BIO_write(FSslBio, data, count);
        if (n > 0) {
            f_BIO_ctrl(FSslBio, BIO_CTRL_FLUSH, 0, nullptr);
            FPendingWrite = -1;
            FSslBufList.front()->Remove(n);
            if (n < count) break;
            continue;
        }
        if (n < 0 && BIO_should_retry(FSslBio)) {
            FPendingWrite = count;
            if (FState == wsConnected) {
                FMayTryToSend = true;
                TriggerEvents();
                FLastError = ws::WSAEWOULDBLOCK;
            } else if (FState != wsClosed) {
                FLastError = FNetworkError;
            }
            return;
        }
        FPendingWrite = -1;
        HandleSslError();
        if (FState == wsConnected) {
            FNetworkError = ws::WSAECONNABORTED;
            FLastError = ws::WSAECONNABORTED;
            TriggerEvent(sslFdClose);
        } else if (FState != wsClosed) {
            FLastError = FNetworkError;
        }
        return;
    }
    FMayTryToSend = true;
    TriggerEvents();
}

// Moves cipher text from the pair to the socket; what the socket cannot take
// waits, in order, in the socket's own queue. False when the connection failed.
bool TCustomSslWSocket::FlushCipherText() {
    char buf[kNetReadSize];
    while (true) {
        const int pending = static_cast<int>(f_BIO_ctrl_pending(FNBio));
        const int n = pending > 0 ? f_BIO_read(FNBio, buf, std::min<int>(pending, sizeof buf)) : 0;
        if (n <= 0) {
            FMayPostWrite = true;
            return true;
        }
        int sent = RealSend(buf, n);
        if (sent < 0) {
            const int err = WSocket_WSAGetLastError();
            if (isFatalSocketError(err)) {
                FNetworkError = err;
                FLastError = err;
                TriggerEvent(sslFdClose, static_cast<uint16_t>(err));
                if (CheckLogOptions(loSslErr))
                    SslLog(loSslErr, " Winsock Error " + WSocketErrorDesc(err) + " #" + IntToStr(err));
                return false;
            }
            sent = 0;
        }
        if (sent < n) {
            // Later cipher text must queue behind this rest.
            bAllSent = false;
            TCustomWSocket::PutDataInSendBuffer(buf + sent, n - sent);
            return true;
        }
    }
}

void TCustomSslWSocket::Do_FD_WRITE(uint16_t ErrCode) {
    if (!SslActive()) {
        TCustomSocksWSocket::Do_FD_WRITE(ErrCode);
        return;
    }
    if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " TCustomSslWSocket.Do_FD_WRITE ");
    if (FNetworkError) return;
    FMayPostWrite = false;
    TCustomWSocket::TryToSend();
    if (FHSocket == ws::INVALID_SOCKET) {
        if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " INVALID_SOCKET");
        return;
    }
    if (!FSsl) return;
    if (!bAllSent) {
        if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " * Not bAllSent ");
        FMayPostWrite = true;
        return;
    }
    if (!FlushCipherText() || !FSsl) return;
    if (Established()) {
        if (!FSslAllSent) {
            TryToSend();
        } else if (bAllSent && f_BIO_ctrl_pending(FNBio) == 0 && FDataSentToReport) {
            FDataSentToReport = false;
            TriggerDataSent(0);
        }
        if (!FSsl || !FSslEnable) return;
    }
    AfterNetworkStep();
}

// After a read or a write: a shutdown under way may be complete now.
void TCustomSslWSocket::AfterNetworkStep() {
    if (FShutdownProgress == 1) {
        const bool oneWay = !FBidirectional;
        if (SslShutdownCompleted(FShutdownHow) && oneWay) {
            TriggerEvent(sslFdClose);
            return;
        }
    }
    TriggerEvents();
}

// ---------------------------------------------------------------- closing

void TCustomSslWSocket::Close() {
    if (!FCloseCalled) {
        FCloseCalled = true;
        FBidirectional = false;
        if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " *CloseCalled ");
    }
    // Received bytes reach the application and queued ones the peer first;
    // the pump closes after that.
    if (!Destroying() && FSslEnable && FSsl && Established() && FShutdownProgress == 0 &&
        (DecryptedCount() > 0 || !FSslAllSent)) {
        FMayReceive = true;
        TriggerEvents();
        return;
    }
    TCustomSocksWSocket::Close();
}

void TCustomSslWSocket::InternalClose(bool bShut, uint16_t Error) {
    if (!FSslEnable || !FSsl) {
        TCustomSocksWSocket::InternalClose(bShut, Error);
        return;
    }
    if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " SslInternalClose ");
    if (FHSocket == ws::INVALID_SOCKET) {
        if (FState != wsClosed) {
            ChangeState(wsClosed);
            AssignDefaultValue();
        }
        return;
    }
    if (FState == wsClosed) return;
    if (bShut && FCloseWaiting && !Destroying()) return;  // a close under way ends on its own
    if (!bShut) {
        TCustomSocksWSocket::InternalClose(false, Error);
    } else if (FSslState < sslEstablished && FShutdownProgress == 0 && !Destroying()) {
        // No TLS session to end yet: the connection simply goes.
        FinalClose(Error, false);
    } else if (Destroying() || FShutdownProgress > 0) {
        if (FShutdownProgress == 0) TCustomWSocket::Shutdown(SHUT_WR);
        TCustomSocksWSocket::InternalClose(false, Error);
    } else {
        Shutdown(SHUT_WR);  // close-notify; the connection closes when it is out
    }
}

void TCustomSslWSocket::InternalAbort(uint16_t ErrCode) {
    FSslEnable = false;
    ResetSSL();
    TCustomSocksWSocket::InternalAbort(ErrCode);
}

void TCustomSslWSocket::Shutdown(int How) {
    if (FHSocket == ws::INVALID_SOCKET || !FSslEnable || !FSsl) {
        TCustomSocksWSocket::Shutdown(How);
        return;
    }
    if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " TCustomSslWSocket.ShutDown " + IntToStr(How));
    FShutdownHow = How;
    FBidirectional = false;
    InternalShutdown(How);
}

void TCustomSslWSocket::SslBiShutDownAsync() { win::PostMessage(FWindowHandle, WM_BI_SSL_SHUTDOWN, 0, 0); }

void TCustomSslWSocket::StartBiShutdown() {
    if (!FSslEnable || FShutdownProgress != 0) return;
    FBidirectional = true;
    FShutdownHow = SHUT_RD;
    InternalShutdown(SHUT_RD);
}

void TCustomSslWSocket::InternalShutdown(int How) {
    if (FHSocket == ws::INVALID_SOCKET || !FSslEnable || !FSsl || FSslState == sslShutdownComplete) return;
    if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " SslInternalShutdown ");
    if (FShutdownProgress != 0) {
        if (!SslShutdownCompleted(How)) {
            TriggerEvents();
            FLastError = ws::WSAEWOULDBLOCK;
        }
        return;
    }
    FShutdownProgress = 1;
    f_ERR_clear_error();
    const bool received = (f_SSL_get_shutdown(FSsl) & SSL_RECEIVED_SHUTDOWN) != 0;
    const int r = !FBidirectional && received ? 1 : f_SSL_shutdown(FSsl);
    if (r < 0) {
        // Also a shutdown before the handshake finished: the library
        // refuses it, and the connection simply goes.
        const int e = f_SSL_get_error(FSsl, r);
        HandleSslError();
        if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE || !SslShutdownCompleted(How)) {
            TriggerEvents();
            FLastError = ws::WSAEWOULDBLOCK;
        }
        return;
    }
    if (r == 0) {
        FSslState = sslInShutdown;
        f_SSL_shutdown(FSsl);
        f_ERR_clear_error();
    }
    if (!SslShutdownCompleted(How)) {
        FMayPostWrite = true;
        TriggerEvents();
        FLastError = ws::WSAEWOULDBLOCK;
    }
}

// Bytes behind the peer's close-notify belong to the plain conversation
// that follows a bidirectional shutdown.
void TCustomSslWSocket::KeepPlainLeftover() {
    char buf[kPairBufSize];
    int n;
    while (FIBio && f_BIO_ctrl_pending(FIBio) > 0 && (n = f_BIO_read(FIBio, buf, sizeof buf)) > 0)
        FPlainCarry.append(buf, static_cast<size_t>(n));
}

void TCustomSslWSocket::PostPlainData() {
    if (FHSocket != ws::INVALID_SOCKET)
        ws::WSAPostSelectEvent(FHSocket, FWindowHandle, WM_ASYNCSELECT, ws::WSAMAKESELECTREPLY(ws::FD_READ, 0));
}

bool TCustomSslWSocket::SslShutdownCompleted(int How) {
    bool result = false;
    if (!FSslEnable || !FSsl) {
        result = true;
        if (FShutdownProgress < 2) {
            FBidirectional = false;
            FShutdownProgress = 2;
            if (FSsl) ResetSSL();
            TriggerSslShutDownComplete(FNetworkError);
            if (FState != wsClosed) {
                TCustomWSocket::Shutdown(How);
                TCustomSocksWSocket::InternalClose(false, 0);
            }
        }
    } else if (!FNetworkError && (FShutdownProgress == 0 || !bAllSent)) {
        result = false;
    } else if (!FNetworkError && FBidirectional &&
               (f_SSL_get_shutdown(FSsl) & (SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN)) !=
                   (SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN)) {
        result = false;
    } else {
        char junk[kDrainSize];
        while (f_BIO_read(FSslBio, junk, sizeof junk) > 0) {
        }
        f_ERR_clear_error();
        if (f_BIO_ctrl_pending(FNBio) == 0 || FNetworkError) {
            result = true;
            if (FShutdownProgress < 2) {
                FShutdownProgress = 2;
                FSslState = sslShutdownComplete;
                const bool bidirectional = FBidirectional;
                if (bidirectional) {
                    KeepPlainLeftover();
                    FSslEnable = false;
                    ResetSSL();
                }
                TriggerSslShutDownComplete(FNetworkError);
                if (bidirectional) {
                    if (!FPlainCarry.empty()) PostPlainData();
                } else if (FSsl && FHSocket != ws::INVALID_SOCKET) {
                    TCustomWSocket::Shutdown(FShutdownHow);
                    BeginCloseWait();
                }
            }
        }
    }
    if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, "* " + boolText(result) + " SslShutdownCompleted *");
    return result;
}

void TCustomSslWSocket::Do_FD_CLOSE(uint16_t ErrCode) {
    if (!SslActive()) {
        TCustomSocksWSocket::Do_FD_CLOSE(ErrCode);
        return;
    }
    if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " TCustomSslWSocket.Do_FD_CLOSE error #" + IntToStr(ErrCode));
    if (FState == wsConnecting || FHSocket == ws::INVALID_SOCKET) return;
    if (FCloseWaiting) {
        CloseWaitStep(ErrCode);
        return;
    }
    const bool ok = Established();
    if (!FCloseCalled) {
        FCloseCalled = true;
        if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " *CloseCalled ");
    }
    if (!FNetworkError) {
        if (ok && DecryptedCount() > 0) {
            // The application reads first; the close comes back after.
            DeliverDecrypted();
            return;
        }
        if (!FSsl) return;
        ws::u_long count = 0;
        if (WSocket_ioctlsocket(FHSocket, ws::FIONREAD_, &count) == ws::SOCKET_ERROR) {
            const int err = WSocket_WSAGetLastError();
            if (isFatalSocketError(err)) FNetworkError = err;
            count = 0;
        }
        if (count > 0) {
            // Their read comes first; the platform may not announce it again.
            FMayPostRead = true;
            TriggerEvent(sslFdRead);
            return;
        }
        if (ok && FShutdownProgress < 2 && !FNetworkError) {
            FBidirectional = false;
            InternalShutdown(SHUT_WR);
            return;
        }
    }
    FinalClose(ErrCode, ok);
}

// Our close-notify and the end of our sending side have gone to the system.
// Closing the socket now would answer whatever the peer still sends (a late
// TLS 1.3 ticket, its own close-notify) with a reset, and a reset throws away
// what the system still holds for the peer: the socket stays until the peer
// has acknowledged every byte or has closed its side. What it sends meanwhile
// is read and dropped. A peer that acknowledges nothing for kCloseWaitMs, or
// not everything within FlushTimeout, ends the wait, and the close reports
// that the end may not have arrived.
void TCustomSslWSocket::BeginCloseWait() {
    FCloseWaiting = true;
    FCloseWaitLeft = -1;
    FCloseWaitStart = win::GetTickCount();
    TriggerEvent(sslFdClose);  // the first look comes from the loop
}

void TCustomSslWSocket::StopCloseWait() {
    if (!FCloseWaiting) return;
    FCloseWaiting = false;
    if (FWindowHandle) win::KillTimer(FWindowHandle, kCloseWaitTimer);
}

void TCustomSslWSocket::CloseWaitStep(uint16_t ErrCode) {
    if (!FCloseWaiting || FHSocket == ws::INVALID_SOCKET) return;
    win::KillTimer(FWindowHandle, kCloseWaitTimer);
    // The peer's end (a close or a reset) ends the wait: it sends nothing
    // more. A peer that keeps sending is read a piece per turn of the loop.
    bool peerEnded = ErrCode != 0;
    char junk[kNetReadSize];
    for (int pieces = 0; !peerEnded && pieces < 16; ++pieces) {
        const int n = WSocket_recv(FHSocket, junk, sizeof junk, 0);
        if (n > 0) continue;
        peerEnded = n == 0 || isFatalSocketError(WSocket_WSAGetLastError());
        break;
    }
    uint16_t result = 0;
    ws::u_long left = 0;
    if (!peerEnded && WSocket_ioctlsocket(FHSocket, ws::SIOCOUTQ_, &left) == 0 && left > 0) {
        if (static_cast<int64_t>(left) != FCloseWaitLeft) {
            FCloseWaitLeft = static_cast<int64_t>(left);
            FCloseWaitDeadline = win::GetTickCount() + kCloseWaitMs;
        }
        const bool withinLimit = win::TicksSince(FCloseWaitStart) < static_cast<int64_t>(FlushTimeout) * 1000;
        if (withinLimit && static_cast<int32_t>(FCloseWaitDeadline - win::GetTickCount()) > 0) {
            win::SetTimer(FWindowHandle, kCloseWaitTimer, kCloseWaitPollMs);
            return;
        }
        if (CheckLogOptions(loSslErr))
            SslLog(loSslErr, " Close: " + IntToStr(static_cast<int64_t>(left)) + " bytes never acknowledged");
        result = ws::WSAETIMEDOUT;
    }
    StopCloseWait();
    FinalClose(result, true);
}

// Sends what the library left for the peer, an alert naming why the
// handshake failed, as far as the socket takes it at once.
void TCustomSslWSocket::FlushAlert() {
    if (!FNBio || FHSocket == ws::INVALID_SOCKET || !bAllSent) return;
    char buf[kPairBufSize];
    const int n = f_BIO_read(FNBio, buf, sizeof buf);
    if (n > 0) WSocket_send(FHSocket, buf, n, 0);
}

void TCustomSslWSocket::FinalClose(uint16_t ErrCode, bool Ok) {
    const uint16_t err = ErrCode ? ErrCode : static_cast<uint16_t>(FNetworkError);
    // Reported once, also when its handler closes the socket.
    if (!Ok && !Destroying() && FSslState != sslHandshakeFailed) {
        if (FNetworkError) FlushAlert();
        if (FSslHandshakeError.empty())
            FSslHandshakeError = err ? "The connection failed during the TLS handshake: " + WSocketErrorDesc(err)
                                     : std::string("The connection was closed during the TLS handshake");
        TriggerSslHandshakeDone(kHandshakeFailed);
        if (FHSocket == ws::INVALID_SOCKET) return;
    }
    if (FState == wsConnected && FShutdownProgress < 2 && err == 0) TCustomWSocket::Shutdown(SHUT_WR);
    if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " FCloseInvoked=" + boolText(FCloseInvoked));
    if (FHSocket != ws::INVALID_SOCKET && !FCloseInvoked && !Destroying()) {
        FCloseInvoked = true;
        TriggerSessionClosed(err);
    }
    FSslEnable = false;
    ResetSSL();
    if (FState != wsClosed) TCustomSocksWSocket::InternalClose(false, err);
}

void TCustomSslWSocket::TriggerSslShutDownComplete(int ErrCode) {
    if (CheckLogOptions(loSslInfo))
        SslLog(loSslInfo, " TriggerSslShutDownComplete(" + boolText(FBidirectional) + ") " + IntToStr(ErrCode));
    if (OnSslShutDownComplete) OnSslShutDownComplete(this, FBidirectional, ErrCode);
}

// ---------------------------------------------------------------- renegotiation

bool TCustomSslWSocket::SslStartRenegotiation() {
    if (!FSslEnable || !FSsl) return false;
    if (!Established() || FSslVersionNumber < 0x300 || f_SSL_renegotiate_pending(FSsl) == 1) {
        if (CheckLogOptions(loSslErr))
            SslLog(loSslErr, rtl::Format(" ! Cannot start re-negotiation  State %d Version (0x%x) RenegotiatePending %d %d",
                                         static_cast<int>(FSslState), FSslVersionNumber,
                                         f_SSL_renegotiate_pending(FSsl), static_cast<int>(FRenegotiation)));
        return false;
    }
    f_ERR_clear_error();
    if (f_SSL_renegotiate(FSsl) == 0) {
        HandleSslError();
        if (CheckLogOptions(loSslErr)) SslLog(loSslErr, " ! SSL_renegotiate() failed");
        return false;
    }
    const long r = f_BIO_ctrl(FSslBio, BIO_C_DO_STATE_MACHINE, 0, nullptr);
    if (r != -1 || BIO_should_retry(FSslBio)) {
        if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " ! Re-negotiation started ");
        if (FMayPostWrite && TriggerEvent(sslFdWrite)) FMayPostWrite = false;
        return true;
    }
    HandleSslError();
    if (CheckLogOptions(loSslErr)) SslLog(loSslErr, " ! Re-negotiation failed");
    FNetworkError = ws::WSAECONNABORTED;
    FLastError = ws::WSAECONNABORTED;
    TriggerEvent(sslFdClose);
    return false;
}

// ---------------------------------------------------------------- pass-throughs

void TCustomSslWSocket::Listen() {
    TCustomSocksWSocket::Listen();
    if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " Listening");
}

ws::SOCKET TCustomSslWSocket::Accept() { return TCustomSocksWSocket::Accept(); }

void TCustomSslWSocket::Do_FD_ACCEPT(uint16_t ErrCode) {
    if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " Do_FD_ACCEPT ");
    TCustomSocksWSocket::Do_FD_ACCEPT(ErrCode);
}

void TCustomSslWSocket::DupConnected() {
    if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, " DupConnected");
    TCustomSocksWSocket::DupConnected();
}

// ---------------------------------------------------------------- handshake end

void TCustomSslWSocket::TriggerSslHandshakeDone(uint16_t ErrCode) {
    if (FHSocket == ws::INVALID_SOCKET) ErrCode = kHandshakeFailed;
    FSslState = ErrCode != 0 || !FSsl ? sslHandshakeFailed : sslEstablished;
    std::unique_ptr<TX509Base> temp;
    TX509Base* peer = nullptr;
    if (FSslState == sslEstablished) {
        FSslHandshakeError.clear();
        FSslVersion = f_SSL_get_version(FSsl);
        FSslVersionNumber = f_SSL_version(FSsl);
        const SSL_CIPHER* cipher = f_SSL_get_current_cipher(FSsl);
        FSslCipher = cipher ? f_SSL_CIPHER_get_name(cipher) : "Unknown";
        FSslSecretBits = cipher ? f_SSL_CIPHER_get_bits(cipher, &FSslTotalBits) : 0;
        if (FSslContext && FSslContext->SslVerifyPeer() && !SslSessionReused()) {
            X509* x509 = f_SSL_get_peer_certificate(FSsl);
            if (x509) {
                peer = FSslCertChain.GetByPX509(x509);
                if (!peer) {
                    temp = std::make_unique<TX509Base>(nullptr, x509);
                    temp->VerifyResult = static_cast<int>(f_SSL_get_verify_result(FSsl));
                    peer = temp.get();
                }
                f_X509_free(x509);
            }
        }
    } else {
        // The certificate verification refused, with its result.
        for (int i = 0; i < FSslCertChain.Count() && !peer; ++i)
            if (FSslCertChain.GetX509Base(i)->VerifyResult != X509_V_OK) peer = FSslCertChain.GetX509Base(i);
    }
    if (CheckLogOptions(ErrCode ? loSslErr : loSslInfo))
        SslLog(ErrCode ? loSslErr : loSslInfo,
               rtl::Format(" SslHandshakeDone(%d) %d. Secure connection with %s, cipher %s, %d secret bits (%d total), "
                           "session reused=%s",
                           ErrCode, static_cast<int>(FHSocket), FSslVersion.c_str(), FSslCipher.c_str(),
                           FSslSecretBits, FSslTotalBits, SslSessionReused() ? "True" : "False") +
                   (ErrCode ? " " + FSslHandshakeError : std::string()));
    if (!peer) {
        temp = std::make_unique<TX509Base>();
        peer = temp.get();
    }
    bool disconnect = false;
    if (OnSslHandshakeDone) OnSslHandshakeDone(this, ErrCode, peer, disconnect);
    if (ErrCode == 0 && disconnect) Close();
    else if (ErrCode == 0) TriggerSslCliNewSession();
}

void TCustomSslWSocket::TriggerSslCliNewSession() {
    if (FSslMode != sslModeClient || !OnSslCliNewSession || !FSsl) return;
    FCliSessionReported = true;
    // The extra reference is taken first, so it is safe whatever the
    // handler does to the connection.
    SSL_SESSION* session = FSslState == sslEstablished ? f_SSL_get1_session(FSsl) : nullptr;
    if (!RaiseCliNewSession(session, SslSessionReused()) && session) f_SSL_SESSION_free(session);
}

// True when the handler keeps the reference it was given.
bool TCustomSslWSocket::RaiseCliNewSession(SSL_SESSION* Session, bool Reused) {
    if (CheckLogOptions(loSslInfo))
        SslLog(loSslInfo, " CliNewSession [" + rtl::IntToHex(reinterpret_cast<uintptr_t>(Session), 8) + "] Reused: " +
                              boolText(Reused));
    bool incRefCount = false;
    std::lock_guard<std::recursive_mutex> g(SslCritSect);
    OnSslCliNewSession(this, Session, Reused, incRefCount);
    return incRefCount;
}

void TCustomSslWSocket::TriggerSslVerifyPeer(int& Ok, TX509Base* Cert) {
    if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, "TriggerSslVerifyPeer");
    if (OnSslVerifyPeer) OnSslVerifyPeer(this, Ok, Cert);
}

// ---------------------------------------------------------------- callbacks

namespace {

TCustomSslWSocket* socketOf(const SSL* ssl) {
    return ssl ? static_cast<TCustomSslWSocket*>(f_SSL_get_ex_data(ssl, 0)) : nullptr;
}

}  // namespace

int TCustomSslWSocket::VerifyCallback(int Ok, X509_STORE_CTX* StoreCtx) {
    std::lock_guard<std::recursive_mutex> g(LockVerifyCB);
    const auto* ssl =
        static_cast<const SSL*>(f_X509_STORE_CTX_get_ex_data(StoreCtx, f_SSL_get_ex_data_X509_STORE_CTX_idx()));
    TCustomSslWSocket* self = socketOf(ssl);
    if (!self) return Ok;
    CallbackScope scope(self);
    return self->VerifyPeer(Ok, StoreCtx);
}

int TCustomSslWSocket::VerifyPeer(int Ok, X509_STORE_CTX* StoreCtx) {
    Pause();
    X509* x509 = f_X509_STORE_CTX_get_current_cert(StoreCtx);
    const int error = f_X509_STORE_CTX_get_error(StoreCtx);
    TX509Base* cert = FSslCertChain.GetByPX509(x509);
    if (cert) {
        cert->VerifyResult = error;
    } else {
        cert = FSslCertChain.Add(x509);
        cert->VerifyResult = error;
        cert->FirstVerifyResult = error;
    }
    cert->VerifyDepth = f_X509_STORE_CTX_get_error_depth(StoreCtx);
    FSslCertChain.LastVerifyResult = error;
    if (CheckLogOptions(loSslInfo)) {
        SslLog(loSslInfo, "VCB> VerifyPeer: Subject = " + cert->GetSubjectOneLine());
        SslLog(loSslInfo, "VCB> VerifyPeer: Serial  = $" + rtl::IntToHex(static_cast<uint32_t>(cert->GetSerialNum()), 8));
        SslLog(loSslInfo, std::string("VCB> VerifyPeer: Error   = ") + f_X509_verify_cert_error_string(error));
    }
    FSslVerifyResult = cert->VerifyResult;
    try {
        TriggerSslVerifyPeer(Ok, cert);
    } catch (const std::exception& E) {
        // Nothing may unwind through the library: the certificate is refused
        // and the handshake reports why.
        Ok = 0;
        FSslHandshakeError = std::string("OnSslVerifyPeer: ") + E.what();
    }
    if (Ok) FSslVerifyResult = 0;
    Resume();
    return Ok;
}

int TCustomSslWSocket::ClientCertCallback(SSL* Ssl, X509** X509Out, EVP_PKEY** PKeyOut) {
    std::lock_guard<std::recursive_mutex> g(LockClientCertCB);
    TCustomSslWSocket* self = socketOf(Ssl);
    if (!self) return 0;
    CallbackScope scope(self);
    return self->ClientCert(X509Out, PKeyOut);
}

int TCustomSslWSocket::ClientCert(X509** X509Out, EVP_PKEY** PKeyOut) {
    Pause();
    int result = 0;
    try {
        TX509Base* cert = nullptr;
        if (OnSslCliCertRequest) OnSslCliCertRequest(this, cert);
        if (cert && cert->GetX509() && cert->PrivateKey()) {
            *X509Out = f_X509_dup(cert->GetX509());
            std::lock_guard<std::recursive_mutex> g(SslCritSect);
            f_EVP_PKEY_up_ref(cert->PrivateKey());
            *PKeyOut = cert->PrivateKey();
            result = 1;
        }
    } catch (const std::exception& E) {
        // Answered without a certificate; the server decides what follows.
        if (CheckLogOptions(loSslErr)) SslLog(loSslErr, std::string(" OnSslCliCertRequest: ") + E.what());
        result = 0;
    }
    Resume();
    return result;
}

int TCustomSslWSocket::NewSessionCallback(SSL* Ssl, SSL_SESSION* Session) {
    std::lock_guard<std::recursive_mutex> g(LockNewSessCB);
    TCustomSslWSocket* self = socketOf(Ssl);
    if (!self) return 0;
    CallbackScope scope(self);
    return self->NewSession(Session);
}

int TCustomSslWSocket::NewSession(SSL_SESSION* Session) {
    if (FSslMode == sslModeClient) return CliSessionArrived(Session);
    if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, "NSCB> New session created");
    unsigned int len = 0;
    const unsigned char* id = f_SSL_SESSION_get_id(Session, &len);
    bool addToInternalCache = false;
    try {
        if (OnSslSvrNewSession) OnSslSvrNewSession(this, Session, id, static_cast<int>(len), addToInternalCache);
    } catch (const std::exception& E) {
        if (CheckLogOptions(loSslErr)) SslLog(loSslErr, std::string(" OnSslSvrNewSession: ") + E.what());
        addToInternalCache = false;
    }
    return addToInternalCache ? 1 : 0;
}

// A TLS 1.3 server sends the sessions a client can resume after the
// handshake, and the session the handshake ended with is not one of them:
// each is offered as it arrives, the newest last. Those the handshake itself
// made wait for its own report, which a disconnecting handler skips.
int TCustomSslWSocket::CliSessionArrived(SSL_SESSION* Session) {
    if (!OnSslCliNewSession || !FCliSessionReported || FHandshakeInProgress || FSslState != sslEstablished) return 0;
    try {
        return RaiseCliNewSession(Session, false) ? 1 : 0;
    } catch (const std::exception& E) {
        // Nothing may unwind through the library; the session is let go.
        if (CheckLogOptions(loSslErr)) SslLog(loSslErr, std::string(" OnSslCliNewSession: ") + E.what());
        return 0;
    }
}

SSL_SESSION* TCustomSslWSocket::GetSessionCallback(SSL* Ssl, const unsigned char* Id, int IdLen, int* Copy) {
    std::lock_guard<std::recursive_mutex> g(LockGetSessCB);
    TCustomSslWSocket* self = socketOf(Ssl);
    if (!self) return nullptr;
    CallbackScope scope(self);
    return self->GetSession(Id, IdLen, Copy);
}

SSL_SESSION* TCustomSslWSocket::GetSession(const unsigned char* Id, int IdLen, int* Copy) {
    if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, "GSCB> Get session");
    SSL_SESSION* session = nullptr;
    bool incRefCount = *Copy != 0;
    try {
        if (OnSslSvrGetSession) OnSslSvrGetSession(this, session, Id, IdLen, incRefCount);
    } catch (const std::exception& E) {
        if (CheckLogOptions(loSslErr)) SslLog(loSslErr, std::string(" OnSslSvrGetSession: ") + E.what());
        session = nullptr;
    }
    *Copy = incRefCount ? 1 : 0;
    return session;
}

void TCustomSslWSocket::InfoCallback(const SSL* Ssl, int Where, int Ret) {
    std::lock_guard<std::recursive_mutex> g(LockInfoCB);
    TCustomSslWSocket* self = socketOf(Ssl);
    if (!self) return;
    CallbackScope scope(self);
    self->InfoEvent(Where, Ret);
}

void TCustomSslWSocket::InfoEvent(int Where, int Ret) {
    if (CheckLogOptions(loSslInfo) || CheckLogOptions(loSslErr)) {
        const std::string prefix = (Where & SSL_ST_CONNECT) ? "SSL_connect: "
                                   : (Where & SSL_ST_ACCEPT) ? "SSL_accept: "
                                                             : "undefined: ";
        const std::string state = f_SSL_state_string_long(FSsl);
        if (Where & SSL_CB_LOOP) {
            SslLog(loSslInfo, "ICB> " + prefix + state);
        } else if (Where & SSL_CB_ALERT) {
            SslLog(loSslInfo, std::string("ICB> SSL3 alert ") + ((Where & SSL_CB_READ) ? "read " : "write ") +
                                  f_SSL_alert_type_string_long(Ret) + " " + f_SSL_alert_desc_string_long(Ret));
        } else if (Where & SSL_CB_EXIT) {
            if (Ret == 0) SslLog(loSslInfo, "ICB> " + prefix + "failed in " + state);
            else if (Ret < 0) SslLog(loSslErr, "ICB> " + prefix + "error in " + state);
        }
    }
    if (Where & SSL_CB_HANDSHAKE_START) {
        FHandshakeInProgress = true;
        if (FSslState >= sslEstablished) FRenegotiation = true;
        if (CheckLogOptions(loSslInfo)) SslLog(loSslInfo, "ICB> SSL_CB_HANDSHAKE_START");
    }
    if (Where & SSL_CB_HANDSHAKE_DONE) {
        FHandshakeInProgress = false;
        FHandshakeDoneDue = true;
        const long verify = f_SSL_get_verify_result(FSsl);
        if (verify != X509_V_OK || CheckLogOptions(loSslInfo))
            SslLog(verify != X509_V_OK ? loSslErr : loSslInfo,
                   "ICB> SSL_CB_HANDSHAKE_DONE Error: " + IntToStr(static_cast<int64_t>(verify)));
    }
}

}  // namespace net

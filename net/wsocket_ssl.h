#pragma once
// The TLS layer of the socket chain. The library never touches the socket:
// each connection's TLS object reads and writes a pair of memory BIOs, and
// this layer moves cipher text between the socket and the pair, driven by
// socket events and by events it posts to its own window. Above it the
// application keeps the plain socket interface and sees clear text. With
// SslEnable false, or before a handshake started, everything passes through
// to the SOCKS layer below.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "net/sslcontext.h"
#include "net/wsocket_socks.h"
#include "net/x509.h"

namespace net {

enum TSslMode { sslModeClient, sslModeServer };
enum TSslState {
    sslNone,
    sslHandshakeInit,
    sslHandshakeStarted,
    sslHandshakeFailed,
    sslEstablished,
    sslInShutdown,
    sslShutdownComplete
};
// Events the layer posts to itself; at most one of each kind is in flight.
enum TSslEvent { sslFdRead, sslFdWrite, sslFdClose };

// Messages of the TLS layer's window.
constexpr win::UINT WM_TRIGGER_DATA_SENT = win::WM_USER + 15;
constexpr win::UINT WM_SSL_ASYNCSELECT = win::WM_USER + 21;
constexpr win::UINT WM_RESET_SSL = win::WM_USER + 22;
constexpr win::UINT WM_BI_SSL_SHUTDOWN = win::WM_USER + 23;
constexpr win::UINT WM_TRIGGER_SSL_SHUTDOWN_COMPLETED = win::WM_USER + 24;

using TSslVerifyPeerEvent = std::function<void(rtl::TObject* Sender, int& Ok, TX509Base* Cert)>;
using TSslHandshakeDoneEvent =
    std::function<void(rtl::TObject* Sender, uint16_t ErrCode, TX509Base* PeerCert, bool& Disconnect)>;
using TSslCliGetSession = std::function<void(rtl::TObject* Sender, SSL_SESSION*& SslSession, bool& FreeSession)>;
using TSslCliNewSession =
    std::function<void(rtl::TObject* Sender, SSL_SESSION* SslSession, bool WasReused, bool& IncRefCount)>;
using TSslSvrNewSession = std::function<void(rtl::TObject* Sender, SSL_SESSION* SslSession, const unsigned char* SessId,
                                             int Idlen, bool& AddToInternalCache)>;
using TSslSvrGetSession = std::function<void(rtl::TObject* Sender, SSL_SESSION*& SslSession,
                                             const unsigned char* SessId, int Idlen, bool& IncRefCount)>;
using TSslSetSessionIDContext = std::function<void(rtl::TObject* Sender, std::string& SessionIDContext)>;
using TSslShutDownComplete = std::function<void(rtl::TObject* Sender, bool Bidirectional, int ErrCode)>;
using TSslCliCertRequest = std::function<void(rtl::TObject* Sender, TX509Base*& Cert)>;

// Makes an exception of class E; RaiseLastOpenSslError takes one of these.
using TExceptionFactory = std::exception_ptr (*)(const std::string& Msg);
template <typename E>
std::exception_ptr MakeException(const std::string& Msg) {
    return std::make_exception_ptr(E(Msg));
}

class TCustomSslWSocket : public TCustomSocksWSocket {
public:
    explicit TCustomSslWSocket(rtl::TComponent* owner = nullptr);
    ~TCustomSslWSocket() override;
    const char* ClassName() const override { return "TCustomSslWSocket"; }

    // Start the client or server handshake on a connected socket.
    void StartSslHandshake();
    void AcceptSslHandshake();
    // A new handshake on an established TLS 1.2 connection; false when it
    // cannot start now.
    bool SslStartRenegotiation();
    // Starts a shutdown that ends TLS on both sides and leaves the
    // connection open for plain text.
    void SslBiShutDownAsync();
    void ResetSSL();
    void ResetSslDelayed();
    // Clears the acceptable hosts and adds every ";"-separated name.
    void SetAcceptableHostsList(const std::string& Text);

    void Close() override;
    void Listen() override;
    ws::SOCKET Accept() override;
    void Dup(ws::SOCKET NewHSocket) override;
    void Shutdown(int How) override;
    void PutDataInSendBuffer(const void* Data, int Len) override;
    void ThreadAttach() override;

    // Properties.
    TSslContext* SslContext() const { return FSslContext; }
    void SetSslContext(TSslContext* Value);
    bool SslEnable() const { return FSslEnable; }
    void SetSslEnable(bool Value) { FSslEnable = Value; }
    TSslMode SslMode() const { return FSslMode; }
    void SetSslMode(TSslMode Value) { FSslMode = Value; }
    const rtl::TStringList& SslAcceptableHosts() const { return FSslAcceptableHosts; }
    // The server name sent with the handshake and checked against the
    // server's certificate; Addr when empty.
    std::string SslServerName;
    void SetSslAcceptableHosts(const rtl::TStringList& Value);
    TSslState SslState() const { return FSslState; }
    bool SslSessionReused() const;
    bool SslRenegotiatePending() const;
    SSL* Ssl() const { return FSsl; }
    // The certificates the peer presented, as verified.
    TX509List& SslCertChain() { return FSslCertChain; }
    int SslVerifyResult() const { return FSslVerifyResult; }
    const std::string& SslVersion() const { return FSslVersion; }
    int SslVersionNumber() const { return FSslVersionNumber; }
    const std::string& SslCipher() const { return FSslCipher; }
    int SslTotalBits() const { return FSslTotalBits; }
    int SslSecretBits() const { return FSslSecretBits; }
    unsigned long LastOpenSslError() const { return FLastOpenSslError; }
    // Why the last handshake failed, in words (the verification result or
    // the library's reason); empty while none failed.
    const std::string& SslHandshakeError() const { return FSslHandshakeError; }

    TSslVerifyPeerEvent OnSslVerifyPeer;
    TSslHandshakeDoneEvent OnSslHandshakeDone;
    TSslCliGetSession OnSslCliGetSession;
    // Raised with the session of a finished handshake, and again with each
    // session the server sends afterwards (TLS 1.3 sends the ones it can
    // resume only then, WasReused false): the newest is the one to offer.
    TSslCliNewSession OnSslCliNewSession;
    TSslSvrNewSession OnSslSvrNewSession;
    TSslSvrGetSession OnSslSvrGetSession;
    TSslSetSessionIDContext OnSslSetSessionIDContext;
    TSslShutDownComplete OnSslShutDownComplete;
    TSslCliCertRequest OnSslCliCertRequest;

protected:
    [[noreturn]] virtual void RaiseLastOpenSslError(TExceptionFactory EClass, bool Dump, const std::string& CustomMsg);
    virtual void TriggerSslHandshakeDone(uint16_t ErrCode);
    virtual void TriggerSslVerifyPeer(int& Ok, TX509Base* Cert);
    virtual void TriggerSslCliNewSession();
    virtual void TriggerSslShutDownComplete(int ErrCode);
    // Plain bytes buffered above this layer when a handshake starts on an
    // open connection: never to be taken for protected ones.
    virtual void DropPlainInput() {}

    void Notification(rtl::TComponent* AComponent, rtl::TOperation Operation) override;
    void WndProc(win::TMessage& MsgRec) override;
    void TryToSend() override;
    void AssignDefaultValue() override;
    void InternalClose(bool bShut, uint16_t Error) override;
    void InternalAbort(uint16_t ErrCode) override;
    int GetRcvdCount() override;
    void TriggerSessionConnected(uint16_t Error) override;
    int DoRecv(void* Buffer, int BufferSize, int Flags) override;
    void Do_FD_CONNECT(uint16_t ErrCode) override;
    void Do_FD_READ(uint16_t ErrCode) override;
    void Do_FD_WRITE(uint16_t ErrCode) override;
    void Do_FD_ACCEPT(uint16_t ErrCode) override;
    void Do_FD_CLOSE(uint16_t ErrCode) override;
    void DupConnected() override;

private:
    // Library callbacks; each finds its socket in the TLS object's data.
    static int VerifyCallback(int Ok, X509_STORE_CTX* StoreCtx);
    static int ClientCertCallback(SSL* Ssl, X509** X509Out, EVP_PKEY** PKeyOut);
    static int NewSessionCallback(SSL* Ssl, SSL_SESSION* Session);
    static SSL_SESSION* GetSessionCallback(SSL* Ssl, const unsigned char* Id, int IdLen, int* Copy);
    static void InfoCallback(const SSL* Ssl, int Where, int Ret);
    class CallbackScope;

    int VerifyPeer(int Ok, X509_STORE_CTX* StoreCtx);
    int ClientCert(X509** X509Out, EVP_PKEY** PKeyOut);
    int NewSession(SSL_SESSION* Session);
    int CliSessionArrived(SSL_SESSION* Session);
    bool RaiseCliNewSession(SSL_SESSION* Session, bool Reused);
    SSL_SESSION* GetSession(const unsigned char* Id, int IdLen, int* Copy);
    void InfoEvent(int Where, int Ret);

    void StartHandshake(TSslMode Mode);
    void StartHandshakeOnConnect();
    void InitSSLConnection(bool ClientMode, SSL_CTX* Ctx);
    void InitClientSide();
    void InitServerSide();
    void FreeSslObjects();
    bool SslActive() const;
    bool Established() const;
    int DecryptedCount();
    bool AdvanceSsl();
    void PeerSentCloseNotify();
    void SslFatal();
    // Takes the library's queued errors (logged); returns their text.
    std::string HandleSslError();
    void NoteHandshakeFailure();
    bool TriggerEvent(TSslEvent Event, uint16_t ErrCode = 0);
    void TriggerEvents();
    void WMSslAsyncSelect(win::TMessage& Msg);
    void DeliverDecrypted();
    void DiscardDecrypted();
    void AfterNetworkStep();
    bool FlushCipherText();
    void FlushAlert();
    void DiscardSocketInput();
    void InternalShutdown(int How);
    bool SslShutdownCompleted(int How);
    void StartBiShutdown();
    void KeepPlainLeftover();
    void PostPlainData();
    void FinalClose(uint16_t ErrCode, bool Ok);
    void BeginCloseWait();
    void CloseWaitStep(uint16_t ErrCode);
    void StopCloseWait();
    void SetSocketError(int Error);
    void SslLog(TLogOption Option, const std::string& Msg);

    TSslContext* FSslContext = nullptr;
    TSslMode FSslMode = sslModeClient;
    TX509List FSslCertChain;
    // Clear text not yet handed to the library.
    std::deque<std::unique_ptr<TBuffer>> FSslBufList;
    bool FSslAllSent = true;
    bool FMayPostRead = true;    // a read event is owed once the pair has room
    bool FMayReceive = true;     // the reader took bytes: offer what is left
    bool FMayPostWrite = true;
    bool FMayTryToSend = true;
    bool FCloseCalled = false;
    unsigned FPostedEvents = 0;  // bits of TSslEvent
    int FShutdownProgress = 0;   // 0 none, 1 under way, 2 complete
    int FShutdownHow = 1;
    bool FCloseWaiting = false;     // a one-way close waits for the peer
    int64_t FCloseWaitLeft = -1;    // bytes the peer had still to acknowledge
    uint32_t FCloseWaitDeadline = 0;
    uint32_t FCloseWaitStart = 0;
    bool FSslEnable = false;
    unsigned long FLastOpenSslError = 0;
    bool FRenegotiation = false;
    int FPendingWrite = -1;      // the length a retried write must repeat
    bool FDataSentToReport = false;
    bool FBidirectional = false;
    int FNetworkError = 0;
    bool FLibraryRef = false;
    bool FHandshakeInProgress = false;
    bool FHandshakeDoneDue = false;
    bool FCliSessionReported = false;  // the handshake's own session was offered
    int FSslVersionNumber = 0;
    TSslState FSslState = sslNone;
    int FInCallback = 0;
    bool FInTryToSend = false;
    SSL* FSsl = nullptr;
    BIO* FSslBio = nullptr;  // the filter the clear text goes through
    BIO* FIBio = nullptr;    // the library's end of the pair
    BIO* FNBio = nullptr;    // the network end
    bool FIBioOwnedBySsl = false;
    bool FSslBioHoldsIBio = false;
    // Posted TLS events hold this weakly: those of an earlier connection
    // are dropped, even when the socket number is in use again.
    std::shared_ptr<int> FEventGuard;
    rtl::TStringList FSslAcceptableHosts;
    int FSslVerifyResult = 0;
    std::string FSslVersion = "Unknown";
    std::string FSslCipher = "Unknown";
    int FSslTotalBits = 0;
    int FSslSecretBits = 0;
    std::string FSslHandshakeError;
    // Plain bytes that came behind the peer's close-notify after a
    // bidirectional shutdown; read before the socket.
    std::string FPlainCarry;
};

}  // namespace net

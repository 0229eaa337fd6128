#pragma once
// The TLS context: one library context with its protocol method, options,
// cipher list, own certificate and key, trusted authorities, revocation lists,
// peer verification and session cache, shared by every TLS socket that names
// it. The library context is made on the first handshake (InitContext).
//
// The context never goes below TLS 1.2, and by default it verifies the peer
// against the system's authorities plus its own CA file and path; the TLS
// socket names the expected server with SetPeerHost before a client
// handshake, which also sends the name to the server.
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <set>
#include <string>

#include "net/evqlogger.h"
#include "net/evqssleay.h"
#include "platform/rtl/classes.h"

namespace net {

RTL_EXCEPTION_CLASS(ESslContextException, rtl::Exception);

enum TBioOpenMethode { bomRead, bomWrite };

// The common base of the context and the certificate: logging, the library
// reference and the error reports both share.
class TSslBaseComponent : public rtl::TComponent {
public:
    explicit TSslBaseComponent(rtl::TComponent* owner = nullptr);
    ~TSslBaseComponent() override;
    const char* ClassName() const override { return "TSslBaseComponent"; }

    TEvqLogger* EvqLogger() const { return FEvqLogger; }
    virtual void SetEvqLogger(TEvqLogger* Value);
    virtual void DebugLog(TLogOption LogOption, const std::string& Msg);
    virtual bool CheckLogOptions(TLogOption LogOption) const;
    // The first queued library error code at the last raised library error.
    unsigned long LastSslError() const { return FLastSslError; }

protected:
    void Notification(rtl::TComponent* AComponent, rtl::TOperation Operation) override;
    // One LoadSsl reference for this component, taken once.
    void InitializeSsl();
    void FinalizeSsl();
    // This component's own exception class, carrying Msg.
    virtual std::exception_ptr NewError(const std::string& Msg) const;
    [[noreturn]] void RaiseError(const std::string& Msg) const { std::rethrow_exception(NewError(Msg)); }
    // CR LF + Msg + CR LF + Reason + CR LF: the form of every failure that
    // comes with the library's or the platform's reason.
    [[noreturn]] void RaiseWithReason(const std::string& Msg, const std::string& Reason) const;
    // Raises the queued library errors (the first, or with Dump all of them),
    // led by CustomMsg when there is one.
    [[noreturn]] void RaiseLastOpenSslError(bool Dump, const std::string& CustomMsg = {});
    // Empties the library's error queue, logging each entry under LogOption
    // when that is on.
    void FlushOpenSslErrors(TLogOption LogOption, const std::string& Where);
    // Opens a file to read: a regular file only, never waiting on a pipe.
    // Raises Text followed by the quoted name when the file is not there,
    // the reason when it cannot be read. The descriptor, closed by the caller.
    int OpenToRead(const std::string& Text, const std::string& FileName) const;
    // A file the library reads by name (Name), opened first by OpenToRead.
    class TLibraryFile {
    public:
        TLibraryFile(const TSslBaseComponent& owner, const std::string& Text, const std::string& FileName);
        ~TLibraryFile();
        TLibraryFile(const TLibraryFile&) = delete;
        TLibraryFile& operator=(const TLibraryFile&) = delete;
        const std::string& Name() const { return FName; }

    private:
        int FHandle;
        std::string FName;
    };
    // Replaces FileName with Text whole (a new file beside it, renamed over
    // it; never through a link), 0600 when it holds a secret.
    void SaveFile(const std::string& FileName, const std::string& Text, bool Secret) const;
    static bool IsDirectory(const std::string& Path);
    // Opens a file as a BIO: read-only for reading (OpenToRead); for writing
    // a new empty file in the old one's place, never through a link, 0600
    // when it will hold a secret. Dump reports every queued library error
    // instead of the first.
    BIO* OpenFileBioAs(const std::string& FileName, TBioOpenMethode Methode, bool Secret, bool Dump);

private:
    TEvqLogger* FEvqLogger = nullptr;
    unsigned long FLastSslError = 0;
    bool FSslInitialized = false;
};

// A name in a message stands in double quotes.
std::string SslQuoted(const std::string& Name);
// Whether Host is an IPv4 or IPv6 address rather than a name.
bool SslIsIpAddress(const std::string& Host);
// Copies a pass phrase into a library buffer; 0 when it is empty or does not
// fit with its terminating zero, else its length.
int SslCopyPassPhrase(char* Buf, int Size, const std::string& PassPhrase);

enum TSslVersionMethod {
    sslV2, sslV2_CLIENT, sslV2_SERVER,
    sslV3, sslV3_CLIENT, sslV3_SERVER,
    sslTLS_V1, sslTLS_V1_CLIENT, sslTLS_V1_SERVER,
    sslV23, sslV23_CLIENT, sslV23_SERVER
};

enum TSslOption {
    sslOpt_CIPHER_SERVER_PREFERENCE,
    sslOpt_MICROSOFT_SESS_ID_BUG,
    sslOpt_NETSCAPE_CHALLENGE_BUG,
    sslOpt_NETSCAPE_REUSE_CIPHER_CHANGE_BUG,
    sslOpt_SSLREF2_REUSE_CERT_TYPE_BUG,
    sslOpt_MICROSOFT_BIG_SSLV3_BUFFER,
    sslOpt_MSIE_SSLV2_RSA_PADDING,
    sslOpt_SSLEAY_080_CLIENT_DH_BUG,
    sslOpt_TLS_D5_BUG,
    sslOpt_TLS_BLOCK_PADDING_BUG,
    sslOpt_TLS_ROLLBACK_BUG,
    sslOpt_DONT_INSERT_EMPTY_FRAGMENTS,
    sslOpt_SINGLE_DH_USE,
    sslOpt_EPHEMERAL_RSA,
    sslOpt_NO_SSLv2,
    sslOpt_NO_SSLv3,
    sslOpt_NO_TLSv1,
    sslOpt_PKCS1_CHECK_1,
    sslOpt_PKCS1_CHECK_2,
    sslOpt_NETSCAPE_CA_DN_BUG,
    sslOpt_NO_SESSION_RESUMPTION_ON_RENEGOTIATION,
    sslOpt_NETSCAPE_DEMO_CIPHER_CHANGE_BUG
};
using TSslOptions = std::set<TSslOption>;

enum TSslSessCacheMode {
    sslSESS_CACHE_CLIENT,
    sslSESS_CACHE_SERVER,
    sslSESS_CACHE_NO_AUTO_CLEAR,
    sslSESS_CACHE_NO_INTERNAL_LOOKUP,
    sslSESS_CACHE_NO_INTERNAL_STORE
};
using TSslSessCacheModes = std::set<TSslSessCacheMode>;

enum TSslVerifyPeerMode {
    SslVerifyMode_NONE,
    SslVerifyMode_PEER,
    SslVerifyMode_FAIL_IF_NO_PEER_CERT,
    SslVerifyMode_CLIENT_ONCE
};
using TSslVerifyPeerModes = std::set<TSslVerifyPeerMode>;

enum TInfoExtractMode { emCert, emCRL };

using TSslContextRemoveSession = std::function<void(rtl::TObject* Sender, SSL_SESSION* SslSession)>;

// The library's option bits for a set of options, and the session-cache and
// verify-mode words for theirs.
uint64_t SslOptionsWord(const TSslOptions& Options);
long SslSessCacheModeWord(const TSslSessCacheModes& Modes);
int SslVerifyModeWord(const TSslVerifyPeerModes& Modes);

// Library callbacks that reach a TLS socket. The socket supplies them; the
// context installs them with the settings that call for them.
struct TSslSocketCallbacks {
    SSL_verify_cb Verify = nullptr;
    int (*NewSession)(SSL* Ssl, SSL_SESSION* Session) = nullptr;
    SSL_SESSION* (*GetSession)(SSL* Ssl, const unsigned char* Id, int IdLen, int* Copy) = nullptr;
};

class TX509Base;

class TSslContext : public TSslBaseComponent {
public:
    explicit TSslContext(rtl::TComponent* owner = nullptr);
    ~TSslContext() override;
    const char* ClassName() const override { return "TSslContext"; }

    // Makes (or, on a live context, configures again) the library context.
    void InitContext();
    // Detaches every callback, frees the library context and gives the
    // library reference back.
    void DeInitContext();
    bool IsCtxInitialized() const { return FSslCtx != nullptr; }
    SSL_CTX* SslCtx() const { return FSslCtx; }
    void Lock() { FLock.lock(); }
    void Unlock() { FLock.unlock(); }

    // Before a client handshake: names Host for the server (unless it is an
    // IP address) and, while SslVerifyPeer is on, makes the handshake fail
    // unless the server's certificate is valid for Host.
    void SetPeerHost(SSL* Ssl, const std::string& Host);
    void SetSocketCallbacks(const TSslSocketCallbacks& Callbacks);

    bool TrustCert(TX509Base* Cert);
    void LoadVerifyLocations(const std::string& CAFile, const std::string& CAPath);
    void LoadCertFromChainFile(const std::string& FileName);
    void LoadPKeyFromFile(const std::string& FileName);
    void LoadCrlFromFile(const std::string& FileName);
    void LoadCrlFromPath(const std::string& Path);
    void AddClientCAFromFile(const std::string& FileName);
    void SetClientCAListFromFile(const std::string& FileName);
    // Every certificate or revocation list of a PEM file, duplicated into a
    // new stack the caller frees; nil when the file holds none.
    OPENSSL_STACK* LoadStackFromInfoFile(const std::string& FileName, TInfoExtractMode Mode);
    BIO* OpenFileBio(const std::string& FileName, TBioOpenMethode Methode);

    // Properties.
    const std::string& SslCertFile() const { return FSslCertFile; }
    void SetSslCertFile(const std::string& Value);
    const std::string& SslPassPhrase() const { return FSslPassPhrase; }
    void SetSslPassPhrase(const std::string& Value);
    const std::string& SslPrivKeyFile() const { return FSslPrivKeyFile; }
    void SetSslPrivKeyFile(const std::string& Value);
    const std::string& SslCAFile() const { return FSslCAFile; }
    void SetSslCAFile(const std::string& Value);
    const std::string& SslCAPath() const { return FSslCAPath; }
    void SetSslCAPath(const std::string& Value);
    const std::string& SslCRLFile() const { return FSslCRLFile; }
    void SetSslCRLFile(const std::string& Value);
    const std::string& SslCRLPath() const { return FSslCRLPath; }
    void SetSslCRLPath(const std::string& Value);
    bool SslVerifyPeer() const { return FSslVerifyPeer; }
    void SetSslVerifyPeer(bool Value);
    int SslVerifyDepth() const { return FSslVerifyDepth; }
    void SetSslVerifyDepth(int Value) { FSslVerifyDepth = Value; }
    TSslOptions SslOptions();
    void SetSslOptions(const TSslOptions& Value);
    TSslVerifyPeerModes SslVerifyPeerModes();
    void SetSslVerifyPeerModes(const TSslVerifyPeerModes& Value);
    TSslSessCacheModes SslSessionCacheModes();
    void SetSslSessionCacheModes(const TSslSessCacheModes& Value);
    const std::string& SslCipherList() const { return FSslCipherList; }
    void SetSslCipherList(const std::string& Value);
    TSslVersionMethod SslVersionMethod() const { return FSslVersionMethod; }
    void SetSslVersionMethod(TSslVersionMethod Value);
    unsigned SslSessionTimeout() const { return FSslSessionTimeout; }
    void SetSslSessionTimeout(unsigned Value);
    int SslSessionCacheSize() const { return FSslSessionCacheSize; }
    void SetSslSessionCacheSize(int Value);
    const std::string& SslDefaultSessionIDContext() const { return FSslDefaultSessionIDContext; }
    void SetSslDefaultSessionIDContext(const std::string& Value);

    TSslContextRemoveSession OnRemoveSession;

protected:
    std::exception_ptr NewError(const std::string& Msg) const override;

private:
    static int PasswordCallBack(char* Buf, int Size, int RWFlag, void* UserData);
    static void RemoveCallback(SSL_CTX* Ctx, SSL_SESSION* Sess);

    void CheckCtx() const;
    const SSL_METHOD* ChooseMethod() const;
    void ConfigureContext();
    void ApplyVerifyModes();
    void ApplyCipherList();
    void ApplySessionCache();
    void ApplySessionCallbacks();
    void ApplySessionIdContext();

    SSL_CTX* FSslCtx = nullptr;
    TSslVersionMethod FSslVersionMethod = sslV23;
    std::string FSslCertFile, FSslPassPhrase, FSslPrivKeyFile, FSslCAFile, FSslCAPath, FSslCRLFile, FSslCRLPath;
    bool FSslVerifyPeer = true;
    int FSslVerifyDepth = 9;
    TSslOptions FSslOptions;
    std::string FSslCipherList = "ALL:!ADH:RC4+RSA:+SSLv2:@STRENGTH";
    TSslSessCacheModes FSslSessionCacheModes;
    unsigned FSslSessionTimeout = 0;
    int FSslSessionCacheSize = 20480;
    std::string FSslDefaultSessionIDContext;
    TSslVerifyPeerModes FSslVerifyPeerModes{SslVerifyMode_PEER};
    int FSslVerifyMode = SSL_VERIFY_PEER;
    TSslSocketCallbacks FCallbacks;
    std::recursive_mutex FLock;
};

}  // namespace net

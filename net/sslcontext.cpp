#include "net/sslcontext.h"

#include <arpa/inet.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

#include "net/x509.h"
#include "platform/rtl/fileio.h"
#include "platform/rtl/sysutils.h"

namespace net {

namespace fs = std::filesystem;

using Guard = std::lock_guard<std::recursive_mutex>;

// ---------------------------------------------------------------- base

TSslBaseComponent::TSslBaseComponent(rtl::TComponent* owner) : rtl::TComponent(owner) {}

TSslBaseComponent::~TSslBaseComponent() {
    BeginDestroy();
    FinalizeSsl();
}

void TSslBaseComponent::SetEvqLogger(TEvqLogger* Value) {
    if (FEvqLogger == Value) return;
    if (FEvqLogger) RemoveFreeNotification(FEvqLogger);
    FEvqLogger = Value;
    if (FEvqLogger) FreeNotification(FEvqLogger);
}

void TSslBaseComponent::Notification(rtl::TComponent* AComponent, rtl::TOperation Operation) {
    if (Operation == rtl::opRemove && AComponent == FEvqLogger) FEvqLogger = nullptr;
}

bool TSslBaseComponent::CheckLogOptions(TLogOption LogOption) const {
    return FEvqLogger && (FEvqLogger->LogOptions() & LogOption) != 0;
}

void TSslBaseComponent::DebugLog(TLogOption LogOption, const std::string& Msg) {
    if (FEvqLogger) FEvqLogger->DoDebugLog(this, LogOption, Msg);
}

void TSslBaseComponent::InitializeSsl() {
    if (FSslInitialized) return;
    LoadSsl();
    FSslInitialized = true;
}

void TSslBaseComponent::FinalizeSsl() {
    if (!FSslInitialized) return;
    FSslInitialized = false;
    UnloadSsl();
}

std::exception_ptr TSslBaseComponent::NewError(const std::string& Msg) const {
    return std::make_exception_ptr(rtl::Exception(Msg));
}

void TSslBaseComponent::RaiseWithReason(const std::string& Msg, const std::string& Reason) const {
    RaiseError(Msg.empty() ? "\r\n" + Reason + "\r\n" : "\r\n" + Msg + "\r\n" + Reason + "\r\n");
}

void TSslBaseComponent::RaiseLastOpenSslError(bool Dump, const std::string& CustomMsg) {
    const std::string reason = OpenSslErrorText(Dump, FLastSslError);
    if (!Dump && f_ERR_clear_error) f_ERR_clear_error();
    RaiseWithReason(CustomMsg, reason);
}

void TSslBaseComponent::FlushOpenSslErrors(TLogOption LogOption, const std::string& Where) {
    if (!f_ERR_peek_error) return;
    if (!CheckLogOptions(LogOption)) {
        f_ERR_clear_error();
        return;
    }
    unsigned long first = 0;
    const std::string text = OpenSslErrorText(true, first);
    if (first) DebugLog(LogOption, Where + " " + text);
}

BIO* TSslBaseComponent::OpenFileBioAs(const std::string& FileName, TBioOpenMethode Methode, bool Secret,
                                      bool Dump) {
    if (FileName.empty()) RaiseError("File name not specified");
    f_ERR_clear_error();  // earlier calls' errors are not this file's
    int fd;
    if (Methode == bomRead) {
        fd = OpenToRead("File not found ", FileName);
    } else {
        // A new file in the old one's place: an older file's looser mode is
        // not kept for one about to hold a key.
        rtl::TFileFailure why;
        fd = rtl::CreateReplacing(FileName, Secret ? 0600 : 0666, why);
        if (fd < 0) RaiseWithReason("Error on opening file " + SslQuoted(FileName), why.Text());
    }
    BIO* bio = f_BIO_new_fd(fd, BIO_CLOSE);
    if (!bio) {
        ::close(fd);
        RaiseLastOpenSslError(Dump, "Error on opening file " + SslQuoted(FileName));
    }
    return bio;
}

int TSslBaseComponent::OpenToRead(const std::string& Text, const std::string& FileName) const {
    rtl::TFileFailure why;
    struct stat st {};
    const int fd = rtl::OpenRegularRead(FileName, st, why);
    if (fd >= 0) return fd;
    if (why.Code == ENOENT) RaiseError(Text + SslQuoted(FileName));
    RaiseWithReason("Error on opening file " + SslQuoted(FileName), why.Text());
}

void TSslBaseComponent::SaveFile(const std::string& FileName, const std::string& Text, bool Secret) const {
    if (FileName.empty()) RaiseError("File name not specified");
    rtl::TFileFailure why;
    if (!rtl::ReplaceFile(FileName, Text, Secret ? 0600 : 0666, why))
        RaiseWithReason("Error on opening file " + SslQuoted(FileName), why.Text());
}

TSslBaseComponent::TLibraryFile::TLibraryFile(const TSslBaseComponent& owner, const std::string& Text,
                                              const std::string& FileName)
    : FHandle(owner.OpenToRead(Text, FileName)) {
    // The library opens files by name; given the descriptor's own name, it
    // reads the file that was checked, and never one put there since.
    const std::string own = "/proc/self/fd/" + std::to_string(FHandle);
    FName = ::access(own.c_str(), R_OK) == 0 ? own : FileName;
}

TSslBaseComponent::TLibraryFile::~TLibraryFile() { ::close(FHandle); }

bool TSslBaseComponent::IsDirectory(const std::string& Path) {
    std::error_code ec;
    return fs::is_directory(Path, ec);
}

std::string SslQuoted(const std::string& Name) { return "\"" + Name + "\""; }

bool SslIsIpAddress(const std::string& Host) {
    unsigned char buf[sizeof(in6_addr)];
    return inet_pton(AF_INET, Host.c_str(), buf) == 1 || inet_pton(AF_INET6, Host.c_str(), buf) == 1;
}

int SslCopyPassPhrase(char* Buf, int Size, const std::string& PassPhrase) {
    const int len = static_cast<int>(PassPhrase.size());
    if (len == 0 || Size < len + 1) return 0;
    std::memcpy(Buf, PassPhrase.c_str(), static_cast<size_t>(len) + 1);
    return len;
}

// ---------------------------------------------------------------- words

namespace {

struct OptionBit {
    TSslOption option;
    uint64_t bit;
};

// By name: most of these work-arounds are part of the library's normal
// behaviour now (their bit is 0), and the old numbers mean other things.
const OptionBit kOptionBits[] = {
    {sslOpt_CIPHER_SERVER_PREFERENCE, SSL_OP_CIPHER_SERVER_PREFERENCE},
    {sslOpt_MICROSOFT_SESS_ID_BUG, SSL_OP_MICROSOFT_SESS_ID_BUG},
    {sslOpt_NETSCAPE_CHALLENGE_BUG, SSL_OP_NETSCAPE_CHALLENGE_BUG},
    {sslOpt_NETSCAPE_REUSE_CIPHER_CHANGE_BUG, SSL_OP_NETSCAPE_REUSE_CIPHER_CHANGE_BUG},
    {sslOpt_SSLREF2_REUSE_CERT_TYPE_BUG, SSL_OP_SSLREF2_REUSE_CERT_TYPE_BUG},
    {sslOpt_MICROSOFT_BIG_SSLV3_BUFFER, SSL_OP_MICROSOFT_BIG_SSLV3_BUFFER},
    {sslOpt_MSIE_SSLV2_RSA_PADDING, SSL_OP_MSIE_SSLV2_RSA_PADDING},
    {sslOpt_SSLEAY_080_CLIENT_DH_BUG, SSL_OP_SSLEAY_080_CLIENT_DH_BUG},
    {sslOpt_TLS_D5_BUG, SSL_OP_TLS_D5_BUG},
    {sslOpt_TLS_BLOCK_PADDING_BUG, SSL_OP_TLS_BLOCK_PADDING_BUG},
    {sslOpt_TLS_ROLLBACK_BUG, SSL_OP_TLS_ROLLBACK_BUG},
    {sslOpt_DONT_INSERT_EMPTY_FRAGMENTS, SSL_OP_DONT_INSERT_EMPTY_FRAGMENTS},
    {sslOpt_SINGLE_DH_USE, SSL_OP_SINGLE_DH_USE},
    {sslOpt_EPHEMERAL_RSA, SSL_OP_EPHEMERAL_RSA},
    {sslOpt_NO_SSLv2, SSL_OP_NO_SSLv2},
    {sslOpt_NO_SSLv3, SSL_OP_NO_SSLv3},
    {sslOpt_NO_TLSv1, SSL_OP_NO_TLSv1},
    {sslOpt_PKCS1_CHECK_1, SSL_OP_PKCS1_CHECK_1},
    {sslOpt_PKCS1_CHECK_2, SSL_OP_PKCS1_CHECK_2},
    {sslOpt_NETSCAPE_CA_DN_BUG, SSL_OP_NETSCAPE_CA_DN_BUG},
    {sslOpt_NO_SESSION_RESUMPTION_ON_RENEGOTIATION, SSL_OP_NO_SESSION_RESUMPTION_ON_RENEGOTIATION},
    {sslOpt_NETSCAPE_DEMO_CIPHER_CHANGE_BUG, SSL_OP_NETSCAPE_DEMO_CIPHER_CHANGE_BUG},
};

const long kSessCacheBits[] = {SSL_SESS_CACHE_CLIENT, SSL_SESS_CACHE_SERVER, SSL_SESS_CACHE_NO_AUTO_CLEAR,
                               SSL_SESS_CACHE_NO_INTERNAL_LOOKUP, SSL_SESS_CACHE_NO_INTERNAL_STORE};

const int kVerifyBits[] = {SSL_VERIFY_NONE, SSL_VERIFY_PEER, SSL_VERIFY_FAIL_IF_NO_PEER_CERT,
                           SSL_VERIFY_CLIENT_ONCE};

const int kMinProtocol = TLS1_2_VERSION;
const int kDefaultCacheSize = 20480;
const size_t kMaxSessionIdContext = SSL_MAX_SID_CTX_LENGTH;

struct MethodEntry {
    TEvqSslMethodFn* fn;
    const char* name;
};

// TLS requests take the version-flexible methods; the floor of TLS 1.2 is
// set on the context.
const MethodEntry kMethods[] = {
    {&f_SSLv2_method, "SSLv2_method"},
    {&f_SSLv2_client_method, "SSLv2_client_method"},
    {&f_SSLv2_server_method, "SSLv2_server_method"},
    {&f_SSLv3_method, "SSLv3_method"},
    {&f_SSLv3_client_method, "SSLv3_client_method"},
    {&f_SSLv3_server_method, "SSLv3_server_method"},
    {&f_SSLv23_method, "TLS_method"},
    {&f_SSLv23_client_method, "TLS_client_method"},
    {&f_SSLv23_server_method, "TLS_server_method"},
    {&f_SSLv23_method, "TLS_method"},
    {&f_SSLv23_client_method, "TLS_client_method"},
    {&f_SSLv23_server_method, "TLS_server_method"},
};

}  // namespace

uint64_t SslOptionsWord(const TSslOptions& Options) {
    uint64_t word = 0;
    for (const OptionBit& o : kOptionBits)
        if (Options.count(o.option)) word |= o.bit;
    return word;
}

long SslSessCacheModeWord(const TSslSessCacheModes& Modes) {
    long word = 0;
    for (TSslSessCacheMode m : Modes) word |= kSessCacheBits[m];
    return word;
}

int SslVerifyModeWord(const TSslVerifyPeerModes& Modes) {
    int word = 0;
    for (TSslVerifyPeerMode m : Modes) word |= kVerifyBits[m];
    return word;
}

// ---------------------------------------------------------------- context

TSslContext::TSslContext(rtl::TComponent* owner) : TSslBaseComponent(owner) {}

TSslContext::~TSslContext() {
    BeginDestroy();
    DeInitContext();
}

std::exception_ptr TSslContext::NewError(const std::string& Msg) const {
    return std::make_exception_ptr(ESslContextException(Msg));
}

void TSslContext::CheckCtx() const {
    if (!FSslCtx) RaiseError("SSL context not initialized");
}


const SSL_METHOD* TSslContext::ChooseMethod() const {
    if (FSslVersionMethod < sslV2 || FSslVersionMethod > sslV23_SERVER) RaiseError("Unknown SslVersionMethod");
    const MethodEntry& m = kMethods[FSslVersionMethod];
    if (!*m.fn)
        RaiseWithReason("Failed to initialize context",
                        std::string(m.name) + " is not available in " + GSSLEAY_DLL_Name);
    return (*m.fn)();
}

void TSslContext::InitContext() {
    Guard g(FLock);
    InitializeSsl();
    // Errors left by earlier calls must not pass for this one's.
    f_ERR_clear_error();
    if (!FSslCtx) {
        FSslCtx = f_SSL_CTX_new(ChooseMethod());
        if (!FSslCtx) RaiseLastOpenSslError(false, "Failed to initialize context");
    }
    try {
        ConfigureContext();
    } catch (...) {
        // No half-made context survives: the next handshake starts afresh.
        f_SSL_CTX_free(FSslCtx);
        FSslCtx = nullptr;
        throw;
    }
}

void TSslContext::ConfigureContext() {
    if (f_SSL_CTX_ctrl(FSslCtx, SSL_CTRL_SET_MIN_PROTO_VERSION, kMinProtocol, nullptr) != 1)
        RaiseLastOpenSslError(false, "Cannot set the lowest protocol version");
    f_SSL_CTX_set_default_passwd_cb(FSslCtx, &PasswordCallBack);
    f_SSL_CTX_set_default_passwd_cb_userdata(FSslCtx, this);
    // The key before the certificate.
    LoadPKeyFromFile(FSslPrivKeyFile);
    LoadCertFromChainFile(FSslCertFile);
    // The library quietly drops a key that does not fit the certificate.
    if (!FSslPrivKeyFile.empty() && !FSslCertFile.empty() && f_SSL_CTX_check_private_key(FSslCtx) != 1) {
        FlushOpenSslErrors(loSslErr, "SSL_CTX_check_private_key");
        RaiseError("Certificate and private key do not match");
    }
    LoadVerifyLocations(FSslCAFile, FSslCAPath);
    LoadCrlFromFile(FSslCRLFile);
    LoadCrlFromPath(FSslCRLPath);
    SetSslVerifyPeerModes(FSslVerifyPeerModes);
    const uint64_t options = SslOptionsWord(FSslOptions);
    if (options != 0) f_SSL_CTX_set_options(FSslCtx, options);
    ApplyCipherList();
    ApplySessionCache();
}

void TSslContext::ApplyCipherList() {
    if (FSslCipherList.empty()) RaiseError("Cipher list empty");
    if (f_SSL_CTX_set_cipher_list(FSslCtx, FSslCipherList.c_str()) != 1)
        RaiseLastOpenSslError(false, "Error loading cipher list");
}

void TSslContext::ApplySessionCache() {
    long modes = SslSessCacheModeWord(FSslSessionCacheModes);
    const bool serverOnly = FSslVersionMethod == sslV2_SERVER || FSslVersionMethod == sslV3_SERVER ||
                            FSslVersionMethod == sslTLS_V1_SERVER || FSslVersionMethod == sslV23_SERVER;
    if (!(modes & (SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_SERVER)) && !serverOnly) {
        // A TLS 1.3 server sends the sessions a client can resume after the
        // handshake; only the client cache mode has the library report them.
        // Reported, not kept: a client never looks sessions up here.
        modes |= SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE;
    }
    f_SSL_CTX_set_session_cache_mode(FSslCtx, modes);
    if (!FSslSessionCacheModes.count(sslSESS_CACHE_NO_INTERNAL_STORE)) {
        if (f_SSL_CTX_set_ex_data(FSslCtx, 0, this) != 1) RaiseError("SSL_CTX_set_ex_data failed");
        f_SSL_CTX_sess_set_remove_cb(FSslCtx, &RemoveCallback);
        if (FSslSessionCacheSize != kDefaultCacheSize)
            f_SSL_CTX_sess_set_cache_size(FSslCtx, FSslSessionCacheSize);
    }
    if (FSslSessionCacheModes.count(sslSESS_CACHE_SERVER)) {
        if (FSslSessionTimeout > 0) f_SSL_CTX_set_timeout(FSslCtx, FSslSessionTimeout);
        if (!FSslDefaultSessionIDContext.empty()) ApplySessionIdContext();
    }
    ApplySessionCallbacks();
}

// The new-session callback serves clients always and servers with their
// cache; the look-up only servers.
void TSslContext::ApplySessionCallbacks() {
    f_SSL_CTX_sess_set_new_cb(FSslCtx, FCallbacks.NewSession);
    f_SSL_CTX_sess_set_get_cb(FSslCtx,
                              FSslSessionCacheModes.count(sslSESS_CACHE_SERVER) ? FCallbacks.GetSession : nullptr);
}

void TSslContext::ApplySessionIdContext() {
    const auto* id = reinterpret_cast<const unsigned char*>(FSslDefaultSessionIDContext.data());
    const unsigned len = static_cast<unsigned>(FSslDefaultSessionIDContext.size());
    if (f_SSL_CTX_set_session_id_context(FSslCtx, len ? id : nullptr, len) != 1)
        RaiseError("ssl_ctx_set_session_id_context failed");
}

void TSslContext::DeInitContext() {
    {
        Guard g(FLock);
        if (FSslCtx) {
            f_SSL_CTX_set_ex_data(FSslCtx, 0, nullptr);
            f_SSL_CTX_sess_set_remove_cb(FSslCtx, nullptr);
            f_SSL_CTX_sess_set_new_cb(FSslCtx, nullptr);
            f_SSL_CTX_sess_set_get_cb(FSslCtx, nullptr);
            f_SSL_CTX_set_default_passwd_cb(FSslCtx, nullptr);
            f_SSL_CTX_set_default_passwd_cb_userdata(FSslCtx, nullptr);
            f_SSL_CTX_free(FSslCtx);
            FSslCtx = nullptr;
        }
    }
    FinalizeSsl();
}

int TSslContext::PasswordCallBack(char* Buf, int Size, int RWFlag, void* UserData) {
    std::lock_guard<std::recursive_mutex> g(LockPwdCB);
    const auto* self = static_cast<const TSslContext*>(UserData);
    return self ? SslCopyPassPhrase(Buf, Size, self->FSslPassPhrase) : 0;
}

void TSslContext::RemoveCallback(SSL_CTX* Ctx, SSL_SESSION* Sess) {
    std::lock_guard<std::recursive_mutex> g(LockRemSessCB);
    auto* self = static_cast<TSslContext*>(f_SSL_CTX_get_ex_data(Ctx, 0));
    if (!self) return;
    if (self->CheckLogOptions(loSslInfo)) self->DebugLog(loSslInfo, "RSCB> Session removed");
    if (self->OnRemoveSession) self->OnRemoveSession(self, Sess);
}

void TSslContext::SetSocketCallbacks(const TSslSocketCallbacks& Callbacks) {
    Guard g(FLock);
    FCallbacks = Callbacks;
    // A context made before any socket named its callbacks gets them now.
    if (FSslCtx) ApplySessionCallbacks();
}

void TSslContext::SetPeerHost(SSL* Ssl, const std::string& Host) {
    Guard g(FLock);
    const bool ip = SslIsIpAddress(Host);
    if (!Host.empty() && !ip &&
        f_SSL_ctrl(Ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, const_cast<char*>(Host.c_str())) != 1)
        RaiseLastOpenSslError(false, "Cannot name the server " + SslQuoted(Host));
    if (!FSslVerifyPeer) return;
    if (Host.empty()) RaiseError("No host name to check the server certificate against");
    X509_VERIFY_PARAM* param = f_SSL_get0_param(Ssl);
    // A wildcard stands for one whole label, never part of one or several.
    f_X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    const int ok = ip ? f_X509_VERIFY_PARAM_set1_ip_asc(param, Host.c_str())
                      : f_X509_VERIFY_PARAM_set1_host(param, Host.c_str(), Host.size());
    if (ok != 1) RaiseLastOpenSslError(false, "Cannot check the server certificate for " + SslQuoted(Host));
}

bool TSslContext::TrustCert(TX509Base* Cert) {
    Guard g(FLock);
    CheckCtx();
    if (!Cert || !Cert->GetX509()) return false;
    if (f_X509_STORE_add_cert(f_SSL_CTX_get_cert_store(FSslCtx), Cert->GetX509()) == 1) return true;
    FlushOpenSslErrors(loSslErr, "TrustCert");
    return false;
}

void TSslContext::LoadVerifyLocations(const std::string& CAFile, const std::string& CAPath) {
    Guard g(FLock);
    CheckCtx();
    const std::optional<TLibraryFile> file =
        CAFile.empty() ? std::nullopt : std::make_optional<TLibraryFile>(*this, "File not found ", CAFile);
    if (!CAPath.empty() && !IsDirectory(CAPath)) RaiseError("Directory not found " + SslQuoted(CAPath));
    if ((!CAFile.empty() || !CAPath.empty()) &&
        f_SSL_CTX_load_verify_locations(FSslCtx, file ? file->Name().c_str() : nullptr,
                                        CAPath.empty() ? nullptr : CAPath.c_str()) != 1) {
        FlushOpenSslErrors(loSslErr, "SSL_CTX_load_verify_locations");
        RaiseError("Can't read CA File " + SslQuoted(CAFile) + " or CA Path " + SslQuoted(CAPath));
    }
    // The system's authorities count as well as the context's own.
    if (f_SSL_CTX_set_default_verify_paths(FSslCtx) != 1)
        RaiseError("Error loading default CA file and/or directory");
}

void TSslContext::LoadCertFromChainFile(const std::string& FileName) {
    Guard g(FLock);
    CheckCtx();
    if (FileName.empty()) return;
    const TLibraryFile file(*this, "File not found ", FileName);
    if (f_SSL_CTX_use_certificate_chain_file(FSslCtx, file.Name().c_str()) != 1) {
        FlushOpenSslErrors(loSslErr, "SSL_CTX_use_certificate_chain_file");
        RaiseError("Can't read certificate file " + SslQuoted(FileName));
    }
}

void TSslContext::LoadPKeyFromFile(const std::string& FileName) {
    Guard g(FLock);
    CheckCtx();
    if (FileName.empty()) return;
    const TLibraryFile file(*this, "File not found ", FileName);
    if (f_SSL_CTX_use_PrivateKey_file(FSslCtx, file.Name().c_str(), SSL_FILETYPE_PEM) != 1) {
        FlushOpenSslErrors(loSslInfo, "SSL_CTX_use_PrivateKey_file");
        RaiseError("Can't load private key file " + SslQuoted(FileName));
    }
}

namespace {

// Frees a stack of certificates or revocation lists with its items.
struct StackGuard {
    OPENSSL_STACK* stack;
    OPENSSL_sk_freefunc freeItem;
    ~StackGuard() {
        if (stack) f_sk_pop_free(stack, freeItem);
    }
};

OPENSSL_sk_freefunc itemFree(TInfoExtractMode mode) {
    return mode == emCert ? reinterpret_cast<OPENSSL_sk_freefunc>(f_X509_free)
                          : reinterpret_cast<OPENSSL_sk_freefunc>(f_X509_CRL_free);
}

// Never asks on the terminal for the pass phrase of an item in a file.
int noPassPhrase(char*, int, int, void*) { return 0; }

}  // namespace

void TSslContext::LoadCrlFromFile(const std::string& FileName) {
    Guard g(FLock);
    CheckCtx();
    if (FileName.empty()) return;
    ::close(OpenToRead("CRL file not found ", FileName));
    StackGuard crls{LoadStackFromInfoFile(FileName, emCRL), itemFree(emCRL)};
    if (!crls.stack || f_sk_num(crls.stack) <= 0) RaiseError("Error on reading CRL file " + SslQuoted(FileName));
    X509_STORE* store = f_SSL_CTX_get_cert_store(FSslCtx);
    if (!store) RaiseError("Error on opening store");
    for (int i = 0; i < f_sk_num(crls.stack); ++i)
        if (f_X509_STORE_add_crl(store, static_cast<X509_CRL*>(f_sk_value(crls.stack, i))) != 1)
            FlushOpenSslErrors(loSslErr, "X509_STORE_add_crl");
}

void TSslContext::LoadCrlFromPath(const std::string& Path) {
    Guard g(FLock);
    CheckCtx();
    if (Path.empty()) return;
    if (!IsDirectory(Path)) RaiseError("CRL directory not found " + SslQuoted(Path));
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::directory_iterator it(Path, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec)) files.push_back(it->path().string());
    if (ec) RaiseWithReason("Error on opening directory " + SslQuoted(Path), ec.message());
    std::sort(files.begin(), files.end());
    for (const std::string& f : files) LoadCrlFromFile(f);
}

void TSslContext::AddClientCAFromFile(const std::string& FileName) {
    Guard g(FLock);
    CheckCtx();
    if (FileName.empty()) return;
    ::close(OpenToRead("Certificate file not found ", FileName));
    TX509Base cert;
    cert.LoadFromPemFile(FileName);
    if (f_SSL_CTX_add_client_CA(FSslCtx, cert.GetX509()) != 1) {
        FlushOpenSslErrors(loSslErr, "SSL_CTX_add_client_CA");
        RaiseError("Can't load client CA file " + SslQuoted(FileName));
    }
}

void TSslContext::SetClientCAListFromFile(const std::string& FileName) {
    Guard g(FLock);
    CheckCtx();
    if (FileName.empty()) return;
    const TLibraryFile file(*this, "Certificate file not found ", FileName);
    STACK_OF(X509_NAME)* names = f_SSL_load_client_CA_file(file.Name().c_str());
    if (!names) {
        FlushOpenSslErrors(loSslErr, "SSL_load_client_CA_file");
        RaiseError("Error on reading certificate file " + SslQuoted(FileName));
    }
    f_SSL_CTX_set_client_CA_list(FSslCtx, names);
}

BIO* TSslContext::OpenFileBio(const std::string& FileName, TBioOpenMethode Methode) {
    InitializeSsl();
    return OpenFileBioAs(FileName, Methode, false, false);
}

OPENSSL_STACK* TSslContext::LoadStackFromInfoFile(const std::string& FileName, TInfoExtractMode Mode) {
    BIO* bio = OpenFileBio(FileName, bomRead);
    STACK_OF(X509_INFO)* infos = f_PEM_X509_INFO_read_bio(bio, nullptr, &noPassPhrase, nullptr);
    f_BIO_free(bio);
    auto* items = reinterpret_cast<OPENSSL_STACK*>(infos);
    if (!items) RaiseLastOpenSslError(false, "Error reading info file " + SslQuoted(FileName));
    StackGuard itemsGuard{items, reinterpret_cast<OPENSSL_sk_freefunc>(f_X509_INFO_free)};
    if (f_sk_num(items) <= 0) return nullptr;
    StackGuard out{f_sk_new_null(), itemFree(Mode)};
    if (!out.stack) RaiseError("Error creating Stack");
    for (int i = 0; i < f_sk_num(items); ++i) {
        const auto* info = static_cast<const X509_INFO*>(f_sk_value(items, i));
        void* copy = nullptr;
        if (Mode == emCert && info->x509) copy = f_X509_dup(info->x509);
        if (Mode == emCRL && info->crl) copy = f_X509_CRL_dup(info->crl);
        if (copy && f_sk_push(out.stack, copy) <= 0) {
            itemFree(Mode)(copy);
            RaiseError("Error creating Stack");
        }
    }
    return std::exchange(out.stack, nullptr);
}

// ---------------------------------------------------------------- properties

void TSslContext::SetSslCertFile(const std::string& Value) {
    Guard g(FLock);
    if (Value == FSslCertFile) return;
    FSslCertFile = Value;
    if (FSslCtx) LoadCertFromChainFile(Value);
}

void TSslContext::SetSslPassPhrase(const std::string& Value) {
    Guard g(FLock);
    FSslPassPhrase = Value;
}

void TSslContext::SetSslPrivKeyFile(const std::string& Value) {
    Guard g(FLock);
    if (Value == FSslPrivKeyFile) return;
    FSslPrivKeyFile = Value;
    if (FSslCtx) LoadPKeyFromFile(Value);
}

void TSslContext::SetSslCAFile(const std::string& Value) {
    Guard g(FLock);
    if (Value == FSslCAFile) return;
    FSslCAFile = Value;
    if (FSslCtx) LoadVerifyLocations(FSslCAFile, FSslCAPath);
}

void TSslContext::SetSslCAPath(const std::string& Value) {
    Guard g(FLock);
    if (Value == FSslCAPath) return;
    FSslCAPath = Value;
    if (FSslCtx) LoadVerifyLocations(FSslCAFile, FSslCAPath);
}

void TSslContext::SetSslCRLFile(const std::string& Value) {
    Guard g(FLock);
    FSslCRLFile = Value;
}

void TSslContext::SetSslCRLPath(const std::string& Value) {
    Guard g(FLock);
    FSslCRLPath = Value;
}

void TSslContext::SetSslVerifyPeer(bool Value) {
    Guard g(FLock);
    if (Value == FSslVerifyPeer) return;
    FSslVerifyPeer = Value;
    ApplyVerifyModes();
}

TSslOptions TSslContext::SslOptions() {
    Guard g(FLock);
    return FSslOptions;
}

void TSslContext::SetSslOptions(const TSslOptions& Value) {
    Guard g(FLock);
    FSslOptions = Value;
}

TSslVerifyPeerModes TSslContext::SslVerifyPeerModes() {
    Guard g(FLock);
    return FSslVerifyPeerModes;
}

void TSslContext::SetSslVerifyPeerModes(const TSslVerifyPeerModes& Value) {
    Guard g(FLock);
    if (Value != FSslVerifyPeerModes) {
        FSslVerifyMode = SslVerifyModeWord(Value);
        FSslVerifyPeerModes = Value;
    }
    ApplyVerifyModes();
}

void TSslContext::ApplyVerifyModes() {
    if (!FSslCtx) return;
    if (!FSslVerifyPeer) {
        f_SSL_CTX_set_verify(FSslCtx, SSL_VERIFY_NONE, nullptr);
        f_SSL_CTX_set_verify_depth(FSslCtx, 0);
    } else if (f_SSL_CTX_get_verify_mode(FSslCtx) != FSslVerifyMode) {
        f_SSL_CTX_set_verify(FSslCtx, FSslVerifyMode, FCallbacks.Verify);
        f_SSL_CTX_set_verify_depth(FSslCtx, FSslVerifyDepth);
    }
}

TSslSessCacheModes TSslContext::SslSessionCacheModes() {
    Guard g(FLock);
    return FSslSessionCacheModes;
}

void TSslContext::SetSslSessionCacheModes(const TSslSessCacheModes& Value) {
    Guard g(FLock);
    FSslSessionCacheModes = Value;
}

void TSslContext::SetSslCipherList(const std::string& Value) {
    Guard g(FLock);
    FSslCipherList = Value;
}

void TSslContext::SetSslVersionMethod(TSslVersionMethod Value) {
    Guard g(FLock);
    FSslVersionMethod = Value;
}

void TSslContext::SetSslSessionTimeout(unsigned Value) {
    Guard g(FLock);
    FSslSessionTimeout = Value;
}

void TSslContext::SetSslSessionCacheSize(int Value) {
    Guard g(FLock);
    FSslSessionCacheSize = Value;
}

void TSslContext::SetSslDefaultSessionIDContext(const std::string& Value) {
    Guard g(FLock);
    const std::string cut = Value.substr(0, kMaxSessionIdContext);
    if (cut == FSslDefaultSessionIDContext) return;
    FSslDefaultSessionIDContext = cut;
    if (FSslCtx) ApplySessionIdContext();
}

}  // namespace net

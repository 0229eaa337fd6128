#include "net/evqssleay.h"

#include <dlfcn.h>

#include <cerrno>
#include <iterator>

#include "platform/rtl/sysutils.h"
#include "platform/win/pump.h"

namespace net {

#define EVQ_DEFINE_F(name, symbol) decltype(&::symbol) f_##name = nullptr;
EVQ_SSLEAY_FUNCTIONS(EVQ_DEFINE_F)
#undef EVQ_DEFINE_F

TEvqSslMethodFn f_SSLv2_method = nullptr, f_SSLv2_client_method = nullptr, f_SSLv2_server_method = nullptr;
TEvqSslMethodFn f_SSLv3_method = nullptr, f_SSLv3_client_method = nullptr, f_SSLv3_server_method = nullptr;

void* GSSLEAY_DLL_Handle = nullptr;
std::string GSSLEAY_DLL_Name = "libssl.so.3";
std::string GSSLEAY_DLL_FileName = "*NOT_LOADED*";
std::string GSSLEAY_DLL_FileVersion;
std::string GSSLEAY_DLL_FileDescription;
int SSL_CTRL_EXTRA_CHAIN_CERT = 12;
int SSL_CTRL_GET_SESSION_REUSED = 6;

std::recursive_mutex SslCritSect;
std::recursive_mutex LockPwdCB, LockVerifyCB, LockInfoCB, LockRemSessCB, LockNewSessCB, LockGetSessCB,
    LockClientCertCB;

namespace {

#define EVQ_BINDING(name, symbol) {reinterpret_cast<void**>(&f_##name), #symbol, #symbol},
const EvqBinding kBindings[] = {EVQ_SSLEAY_FUNCTIONS(EVQ_BINDING)};
#undef EVQ_BINDING
const EvqBindings kList{kBindings, std::size(kBindings)};

int gLoadCount = 0;

}  // namespace

void EvqSetVersionConstants(unsigned long version) {
    const bool newer = version > 0x00907FFFul;
    SSL_CTRL_EXTRA_CHAIN_CERT = newer ? 14 : 12;
    SSL_CTRL_GET_SESSION_REUSED = newer ? 8 : 6;
    MBSTRING_UNIV = newer ? 4100 : 4099;
    MBSTRING_UTF8 = newer ? 4096 : 4100;
}

namespace EvqSSLEAY {

bool GetFileVerInfo(const std::string& AppName, std::string& FileVersion, std::string& FileDescription) {
    FileVersion.clear();
    FileDescription.clear();
    return false;
}

bool Load() {
    if (GSSLEAY_DLL_Handle) return true;
    GetFileVerInfo(GSSLEAY_DLL_Name, GSSLEAY_DLL_FileVersion, GSSLEAY_DLL_FileDescription);
    EvqUnbindAll(kList);
    int err = 0;
    GSSLEAY_DLL_Handle = EvqOpenLibrary(GSSLEAY_DLL_Name, err);
    if (!GSSLEAY_DLL_Handle) {
        if (err == ENOENT) throw EEvqSsleayException("File not found: " + GSSLEAY_DLL_Name);
        throw EEvqSsleayException("Unable to load " + GSSLEAY_DLL_Name + ". Win32 error #" + rtl::IntToStr(err));
    }
    GSSLEAY_DLL_FileName = EvqModulePath(GSSLEAY_DLL_Handle, GSSLEAY_DLL_Name);
    return EvqBindAll(GSSLEAY_DLL_Handle, kList);
}

std::string WhichFailedToLoad() { return EvqUnbound(kList); }

void Release(bool closeFile) {
    if (closeFile && GSSLEAY_DLL_Handle) dlclose(GSSLEAY_DLL_Handle);
    GSSLEAY_DLL_Handle = nullptr;
    GSSLEAY_DLL_FileName = "*NOT_LOADED*";
    EvqUnbindAll(kList);
}

}  // namespace EvqSSLEAY

namespace {

// A load that failed before the libraries started: their files may close.
void releaseBoth() {
    EvqSSLEAY::Release(true);
    EvqLIBEAY::Release(true);
}

void loadBoth() {
    if (!EvqLIBEAY::Load()) {
        const std::string missing = EvqLIBEAY::WhichFailedToLoad();
        EvqLIBEAY::Release(true);
        throw rtl::Exception("Unable to load " + GLIBEAY_DLL_Name + ". Can't find " + missing);
    }
    bool bound;
    try {
        bound = EvqSSLEAY::Load();
    } catch (...) {
        EvqLIBEAY::Release(true);
        throw;
    }
    if (!bound) {
        const std::string missing = EvqSSLEAY::WhichFailedToLoad();
        releaseBoth();
        throw rtl::Exception("Unable to load " + GSSLEAY_DLL_Name + ". Can't find " + missing);
    }
    if (f_SSL_library_init(0, nullptr) != 1) {
        releaseBoth();
        throw rtl::Exception("Unable to initialize " + GSSLEAY_DLL_Name);
    }
    f_SSL_load_error_strings(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
    const uint32_t seed = win::GetTickCount();
    f_RAND_seed(&seed, sizeof seed);
}

}  // namespace

void LoadSsl() {
    std::lock_guard<std::recursive_mutex> g(SslCritSect);
    if (gLoadCount == 0) loadBoth();
    ++gLoadCount;
}

void UnloadSsl() {
    std::lock_guard<std::recursive_mutex> g(SslCritSect);
    if (gLoadCount > 0) --gLoadCount;
    if (gLoadCount > 0) return;
    // A started library cannot be unmapped; forgetting its handles is all.
    EvqSSLEAY::Release(false);
    EvqLIBEAY::Release(false);
}

int SslLoadCount() {
    std::lock_guard<std::recursive_mutex> g(SslCritSect);
    return gLoadCount;
}

long f_SSL_CTX_set_session_cache_mode(SSL_CTX* ctx, long mode) {
    return f_SSL_CTX_ctrl(ctx, SSL_CTRL_SET_SESS_CACHE_MODE, mode, nullptr);
}

long f_SSL_CTX_sess_set_cache_size(SSL_CTX* ctx, long size) {
    return f_SSL_CTX_ctrl(ctx, SSL_CTRL_SET_SESS_CACHE_SIZE, size, nullptr);
}

long f_SSL_CTX_add_extra_chain_cert(SSL_CTX* ctx, X509* x509) {
    return f_SSL_CTX_ctrl(ctx, SSL_CTRL_EXTRA_CHAIN_CERT, 0, x509);
}

bool f_SSL_want_nothing(const SSL* ssl) { return f_SSL_want(ssl) == SSL_NOTHING; }
bool f_SSL_want_write(const SSL* ssl) { return f_SSL_want(ssl) == SSL_WRITING; }
bool f_SSL_want_read(const SSL* ssl) { return f_SSL_want(ssl) == SSL_READING; }
bool f_SSL_want_x509_lookup(const SSL* ssl) { return f_SSL_want(ssl) == SSL_X509_LOOKUP; }

}  // namespace net

#include "net/x509.h"


#include <cmath>
#include <cstring>

#include "platform/rtl/sysutils.h"

namespace net {

namespace {

// Reads a PEM item with the given pass phrase; never asks on the terminal.
int passPhraseCallback(char* buf, int size, int rwflag, void* userdata) {
    const auto* phrase = static_cast<const std::string*>(userdata);
    return phrase ? SslCopyPassPhrase(buf, size, *phrase) : 0;
}

void* phraseArg(const std::string& phrase) { return const_cast<std::string*>(&phrase); }

// Everything written to a memory BIO so far, cut at a zero byte.
std::string drainMemBio(BIO* bio) {
    const size_t n = f_BIO_ctrl_pending(bio);
    std::string text(n, '\0');
    const int got = n ? f_BIO_read(bio, text.data(), static_cast<int>(n)) : 0;
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    const size_t zero = text.find('\0');
    if (zero != std::string::npos) text.resize(zero);
    return text;
}

// A memory BIO freed when the scope ends.
struct MemBio {
    BIO* bio = f_BIO_new(f_BIO_s_mem());
    ~MemBio() {
        if (bio) f_BIO_free(bio);
    }
};

std::string objectText(const ASN1_OBJECT* obj) {
    MemBio mem;
    if (!mem.bio) return {};
    f_i2a_ASN1_OBJECT(mem.bio, obj);
    return drainMemBio(mem.bio);
}

// The short name of a known object, else its dotted number.
std::string shortName(const ASN1_OBJECT* obj) {
    const int nid = f_OBJ_obj2nid(obj);
    if (nid != NID_undef) {
        const char* sn = f_OBJ_nid2sn(nid);
        if (sn) return sn;
    }
    return objectText(obj);
}

std::string nameOneLine(const X509_NAME* name) {
    char buf[512];
    buf[0] = '\0';
    if (!name || !f_X509_NAME_oneline(name, buf, sizeof buf)) return {};
    return buf;
}

std::string trimTrailing(std::string s, const char* chars) {
    const size_t end = s.find_last_not_of(chars);
    s.resize(end == std::string::npos ? 0 : end + 1);
    return s;
}

// "name=value" per pair, or the one part that is not empty; CR LF between.
std::string confValuesText(OPENSSL_STACK* values) {
    std::string text;
    for (int i = 0; i < f_sk_num(values); ++i) {
        const auto* v = static_cast<const CONF_VALUE*>(f_sk_value(values, i));
        const std::string name = v->name ? v->name : "", value = v->value ? v->value : "";
        const std::string item = !name.empty() && !value.empty() ? name + "=" + value : name + value;
        if (!text.empty()) text += "\r\n";
        text += item;
    }
    return text;
}

// The decoded extension as text by the first conversion its method offers.
std::string decodedExtText(const X509V3_EXT_METHOD* method, void* decoded) {
    if (method->i2s) {
        char* s = method->i2s(method, decoded);
        const std::string text = s ? s : "";
        if (s) f_CRYPTO_free(s, __FILE__, __LINE__);
        return text;
    }
    if (method->i2v) {
        auto* values = reinterpret_cast<OPENSSL_STACK*>(method->i2v(method, decoded, nullptr));
        if (!values) return {};
        const std::string text = confValuesText(values);
        f_sk_pop_free(values, reinterpret_cast<OPENSSL_sk_freefunc>(f_X509V3_conf_free));
        return text;
    }
    if (method->i2r) {
        MemBio mem;
        if (!mem.bio) return {};
        method->i2r(method, decoded, mem.bio, 0);
        return rtl::StringReplace(trimTrailing(drainMemBio(mem.bio), "\n"), "\n", "\r\n", rtl::rfReplaceAll);
    }
    return {};
}

}  // namespace

std::string X509Sha1(X509* x509) {
    if (!x509) return {};
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned len = 0;
    if (f_X509_digest(x509, f_EVP_sha1(), md, &len) != 1) return {};
    return std::string(reinterpret_cast<const char*>(md), len);
}

bool CertHasExpiredAt(rtl::TDateTime NotBefore, rtl::TDateTime NotAfter, rtl::TDateTime NowUT) {
    // Times on the same day count as equal.
    auto later = [](rtl::TDateTime a, rtl::TDateTime b) { return std::trunc(a) != std::trunc(b) && a > b; };
    return later(NowUT, NotAfter) || later(NotBefore, NowUT);
}

// ---------------------------------------------------------------- TX509Base

TX509Base::TX509Base(rtl::TComponent* owner, X509* x509) : TSslBaseComponent(owner) {
    AssignDefaults();
    if (x509) {
        InitializeSsl();
        FX509 = f_X509_dup(x509);
        FSha1Hash = X509Sha1(FX509);
    }
}

TX509Base::~TX509Base() {
    BeginDestroy();
    FreeAndNilX509();
    SetPrivateKey(nullptr);
}

std::exception_ptr TX509Base::NewError(const std::string& Msg) const {
    return std::make_exception_ptr(EX509Exception(Msg));
}

void TX509Base::AssignDefaults() {
    VerifyDepth = 0;
    VerifyResult = X509_V_ERR_APPLICATION_VERIFICATION;
    FirstVerifyResult = X509_V_ERR_APPLICATION_VERIFICATION;
}

void TX509Base::SetX509(X509* Value) {
    InitializeSsl();
    FreeAndNilX509();
    AssignDefaults();
    if (!Value) return;
    FX509 = f_X509_dup(Value);
    FSha1Hash = X509Sha1(FX509);
}

void TX509Base::SetPrivateKey(EVP_PKEY* Value) {
    if (!Value && !FPrivateKey) return;
    InitializeSsl();
    if (FPrivateKey) f_EVP_PKEY_free(FPrivateKey);
    FPrivateKey = nullptr;
    if (!Value) return;
    std::lock_guard<std::recursive_mutex> g(SslCritSect);
    f_EVP_PKEY_up_ref(Value);
    FPrivateKey = Value;
}

void TX509Base::FreeAndNilX509() {
    if (FX509) f_X509_free(FX509);
    FX509 = nullptr;
    FSha1Hash.clear();
}

EVP_PKEY* TX509Base::GetPublicKey() const { return FX509 ? f_X509_get_pubkey(FX509) : nullptr; }

int TX509Base::GetExtensionCount() const { return FX509 ? f_X509_get_ext_count(FX509) : 0; }

std::string TX509Base::GetSubjectOneLine() const {
    return FX509 ? nameOneLine(f_X509_get_subject_name(FX509)) : std::string();
}

std::string TX509Base::GetIssuerOneLine() const {
    return FX509 ? nameOneLine(f_X509_get_issuer_name(FX509)) : std::string();
}

std::string TX509Base::GetSubjectCName() const {
    if (!FX509) return {};
    const X509_NAME* name = f_X509_get_subject_name(FX509);
    std::string names;
    for (int i = f_X509_NAME_get_index_by_NID(name, NID_commonName, -1); i >= 0;
         i = f_X509_NAME_get_index_by_NID(name, NID_commonName, i))
        names += Asn1ToString(f_X509_NAME_ENTRY_get_data(f_X509_NAME_get_entry(name, i))) + "\r\n";
    return trimTrailing(names, "\r\n");
}

long TX509Base::GetSerialNum() const { return FX509 ? f_ASN1_INTEGER_get(f_X509_get_serialNumber(FX509)) : -1; }

std::string TX509Base::GetVerifyErrorMsg() const {
    return FX509 ? f_X509_verify_cert_error_string(VerifyResult) : std::string();
}

std::string TX509Base::GetFirstVerifyErrorMsg() const {
    return FX509 ? f_X509_verify_cert_error_string(FirstVerifyResult) : std::string();
}

rtl::TDateTime TX509Base::GetValidNotBefore() const {
    rtl::TDateTime t;
    return FX509 && Asn1ToUTDateTime(f_Evq_X509_get_notBefore(FX509), t) ? t : rtl::MaxDateTime;
}

rtl::TDateTime TX509Base::GetValidNotAfter() const {
    rtl::TDateTime t;
    return FX509 && Asn1ToUTDateTime(f_Evq_X509_get_notAfter(FX509), t) ? t : rtl::MinDateTime;
}

bool TX509Base::GetHasExpired() const {
    return CertHasExpiredAt(GetValidNotBefore(), GetValidNotAfter(), rtl::NowUTC());
}

std::string TX509Base::GetRawText() const {
    if (!FX509) return {};
    MemBio mem;
    if (!mem.bio) return {};
    f_X509_print(mem.bio, FX509);
    return drainMemBio(mem.bio);
}

int TX509Base::ExtByName(const std::string& ShortName) const {
    if (!FX509) return -1;
    const std::string wanted = ShortName.substr(0, 255);
    for (int i = 0; i < f_X509_get_ext_count(FX509); ++i) {
        const ASN1_OBJECT* obj = f_X509_EXTENSION_get_object(f_X509_get_ext(FX509, i));
        if (rtl::SameText(shortName(obj).substr(0, 255), wanted)) return i;
    }
    return -1;
}

TExtension TX509Base::GetExtension(int Index) const {
    TExtension ext;
    if (!FX509) return ext;
    if (Index < 0 || Index >= f_X509_get_ext_count(FX509)) RaiseError("Extension index out of bounds");
    X509_EXTENSION* e = f_X509_get_ext(FX509, Index);
    if (!e) RaiseError("Extension not assigned");
    ext.Critical = f_X509_EXTENSION_get_critical(e) > 0;
    ext.ShortName = shortName(f_X509_EXTENSION_get_object(e));

    const X509V3_EXT_METHOD* method = f_X509V3_EXT_get(e);
    if (!method) {
        ext.Value = UnknownExtDataToStr(e);
        return ext;
    }
    const ASN1_OCTET_STRING* data = f_X509_EXTENSION_get_data(e);
    const unsigned char* p = f_ASN1_STRING_get0_data(data);
    const long len = f_ASN1_STRING_length(data);
    void* decoded = method->it ? static_cast<void*>(f_ASN1_item_d2i(nullptr, &p, len, ASN1_ITEM_ptr(method->it)))
                               : method->d2i(nullptr, &p, len);
    if (!decoded) {
        ext.Value = UnknownExtDataToStr(e);
        return ext;
    }
    ext.Value = decodedExtText(method, decoded);
    if (method->it)
        f_ASN1_item_free(static_cast<ASN1_VALUE*>(decoded), ASN1_ITEM_ptr(method->it));
    else
        method->ext_free(decoded);
    return ext;
}

TExtension TX509Base::GetSubjectAltName() const {
    const int i = ExtByName("subjectAltName");
    return i >= 0 ? GetExtension(i) : TExtension();
}

std::string TX509Base::UnknownExtDataToStr(X509_EXTENSION* Ext) const {
    return Asn1ToString(f_X509_EXTENSION_get_data(Ext));
}

bool TX509Base::PostConnectionCheck(const std::string& HostOrIp) const {
    if (!FX509 || HostOrIp.empty()) return false;
    // Wildcards stand for one whole left-most label; the common name counts
    // only when no DNS name is listed.
    if (SslIsIpAddress(HostOrIp)) return f_X509_check_ip_asc(FX509, HostOrIp.c_str(), 0) == 1;
    return f_X509_check_host(FX509, HostOrIp.data(), HostOrIp.size(), X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS,
                             nullptr) == 1;
}

BIO* TX509Base::OpenFileBio(const std::string& FileName, TBioOpenMethode Methode) {
    InitializeSsl();
    return OpenFileBioAs(FileName, Methode, false, true);
}

::X509* TX509Base::ReadCertificate(BIO* Bio, const std::string& FileName, const std::string& PassPhrase) {
    ::X509* x = f_PEM_read_bio_X509(Bio, nullptr, &passPhraseCallback, phraseArg(PassPhrase));
    if (!x) RaiseLastOpenSslError(true, "Error reading certificate file " + SslQuoted(FileName));
    return x;
}

EVP_PKEY* TX509Base::ReadPrivateKey(BIO* Bio, const std::string& FileName, const std::string& PassPhrase) {
    EVP_PKEY* key = f_PEM_read_bio_PrivateKey(Bio, nullptr, &passPhraseCallback, phraseArg(PassPhrase));
    if (!key) RaiseLastOpenSslError(true, "Error reading private key file " + SslQuoted(FileName));
    return key;
}

void TX509Base::CheckPair(::X509* Cert, EVP_PKEY* Key) {
    if (!Cert || !Key || f_X509_check_private_key(Cert, Key) > 0) return;
    FlushOpenSslErrors(loSslErr, "X509_check_private_key");
    RaiseError("Certificate and private key do not match");
}

namespace {

// The objects a load reads, freed however it ends.
struct LoadTemps {
    BIO* bio = nullptr;
    X509* cert = nullptr;
    EVP_PKEY* key = nullptr;
    ~LoadTemps() {
        if (key) f_EVP_PKEY_free(key);
        if (cert) f_X509_free(cert);
        if (bio) f_BIO_free(bio);
    }
};

}  // namespace

void TX509Base::LoadFromPemFile(const std::string& FileName, bool IncludePrivateKey, const std::string& PassPhrase) {
    LoadTemps t;
    t.bio = OpenFileBio(FileName, bomRead);
    t.cert = ReadCertificate(t.bio, FileName, PassPhrase);
    if (!IncludePrivateKey) {
        CheckPair(t.cert, FPrivateKey);
        SetX509(t.cert);
        return;
    }
    f_BIO_ctrl(t.bio, BIO_CTRL_RESET, 0, nullptr);
    t.key = ReadPrivateKey(t.bio, FileName, PassPhrase);
    CheckPair(t.cert, t.key);
    SetX509(t.cert);
    SetPrivateKey(t.key);
}

void TX509Base::PrivateKeyLoadFromPemFile(const std::string& FileName, const std::string& PassPhrase) {
    LoadTemps t;
    t.bio = OpenFileBio(FileName, bomRead);
    t.key = ReadPrivateKey(t.bio, FileName, PassPhrase);
    CheckPair(FX509, t.key);
    SetPrivateKey(t.key);
}

void TX509Base::WritePrivateKey(BIO* Bio) {
    if (!f_PEM_write_bio_PrivateKey(Bio, FPrivateKey, nullptr, nullptr, 0, nullptr, nullptr))
        RaiseLastOpenSslError(true, "Error writing private key to file");
}

// The PEM text is made whole first and then replaces the file: a failure
// part way never leaves half a key where the old file was.
void TX509Base::SaveToPemFile(const std::string& FileName, bool IncludePrivateKey) {
    if (!FX509) RaiseError("X509 not assigned");
    if (IncludePrivateKey && !FPrivateKey) RaiseError("Private key not assigned");
    MemBio mem;
    if (!mem.bio) RaiseLastOpenSslError(true, "Error writing certificate to file");
    if (IncludePrivateKey) WritePrivateKey(mem.bio);
    if (!f_PEM_write_bio_X509(mem.bio, FX509)) RaiseLastOpenSslError(true, "Error writing certificate to file");
    SaveFile(FileName, drainMemBio(mem.bio), IncludePrivateKey);
}

void TX509Base::PrivateKeySaveToPemFile(const std::string& FileName) {
    if (!FPrivateKey) RaiseError("Private key not assigned");
    MemBio mem;
    if (!mem.bio) RaiseLastOpenSslError(true, "Error writing private key to file");
    WritePrivateKey(mem.bio);
    SaveFile(FileName, drainMemBio(mem.bio), true);
}

// ---------------------------------------------------------------- TX509List

TX509List::TX509List(rtl::TComponent* owner)
    : X509Class([](X509* x509) { return std::make_unique<TX509Base>(nullptr, x509); }), FOwner(owner) {}

void TX509List::CheckIndex(int Index) const {
    if (Index < 0 || Index >= Count()) throw rtl::EListError("List index out of bounds (" + rtl::IntToStr(Index) + ")");
}

void TX509List::Delete(int Index) {
    CheckIndex(Index);
    FList.erase(FList.begin() + Index);
}

TX509Base* TX509List::GetX509Base(int Index) const {
    CheckIndex(Index);
    return FList[static_cast<size_t>(Index)].get();
}

void TX509List::SetX509Base(int Index, std::unique_ptr<TX509Base> Cert) {
    CheckIndex(Index);
    FList[static_cast<size_t>(Index)] = std::move(Cert);
}

int TX509List::IndexOf(const TX509Base* Cert) const {
    for (size_t i = 0; i < FList.size(); ++i)
        if (FList[i].get() == Cert) return static_cast<int>(i);
    return -1;
}

TX509Base* TX509List::Add(X509* x509) {
    FList.push_back(X509Class(x509));
    return FList.back().get();
}

TX509Base* TX509List::GetByHash(const std::string& Sha1Hash) const {
    for (const auto& c : FList)
        if (c && c->GetSha1Hash() == Sha1Hash) return c.get();
    return nullptr;
}

TX509Base* TX509List::GetByPX509(X509* x509) const { return x509 ? GetByHash(X509Sha1(x509)) : nullptr; }

}  // namespace net

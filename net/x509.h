#pragma once
// One certificate, optionally with its private key: PEM files in and out,
// names, serial number, validity, extensions, SHA-1 digest, the result of its
// verification in a handshake, and the host check. The list holds the chain a
// peer presented, found again by digest.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/sslcontext.h"
#include "platform/rtl/dateutils.h"

namespace net {

RTL_EXCEPTION_CLASS(EX509Exception, rtl::Exception);

struct TExtension {
    bool Critical = false;
    std::string ShortName;
    std::string Value;
};

class TX509Base : public TSslBaseComponent {
public:
    // Keeps a private duplicate of X509 (none for nil).
    explicit TX509Base(rtl::TComponent* owner = nullptr, X509* x509 = nullptr);
    ~TX509Base() override;
    const char* ClassName() const override { return "TX509Base"; }

    X509* GetX509() const { return FX509; }
    void SetX509(X509* Value);
    EVP_PKEY* PrivateKey() const { return FPrivateKey; }
    // Holds one more reference to Value; nil releases the key.
    void SetPrivateKey(EVP_PKEY* Value);
    void FreeAndNilX509();

    // A new reference the caller frees, or nil without certificate.
    EVP_PKEY* GetPublicKey() const;
    int GetExtensionCount() const;
    std::string GetSubjectOneLine() const;
    std::string GetIssuerOneLine() const;
    // Every common name of the subject, one per line.
    std::string GetSubjectCName() const;
    virtual long GetSerialNum() const;
    // The 20 bytes of the SHA-1 digest; empty without certificate.
    const std::string& GetSha1Hash() const { return FSha1Hash; }
    std::string GetVerifyErrorMsg() const;
    std::string GetFirstVerifyErrorMsg() const;
    // Universal time; MaxDateTime (before) or MinDateTime (after) when unknown.
    rtl::TDateTime GetValidNotBefore() const;
    rtl::TDateTime GetValidNotAfter() const;
    bool GetHasExpired() const;
    std::string GetRawText() const;

    int ExtByName(const std::string& ShortName) const;
    virtual TExtension GetExtension(int Index) const;
    virtual TExtension GetSubjectAltName() const;
    std::string UnknownExtDataToStr(X509_EXTENSION* Ext) const;
    // Whether the certificate names HostOrIp (a host name or an address).
    virtual bool PostConnectionCheck(const std::string& HostOrIp) const;

    void LoadFromPemFile(const std::string& FileName, bool IncludePrivateKey = false,
                         const std::string& PassPhrase = {});
    // With IncludePrivateKey the key (unencrypted) comes first and the file
    // is readable by its owner only.
    void SaveToPemFile(const std::string& FileName, bool IncludePrivateKey = false);
    void PrivateKeyLoadFromPemFile(const std::string& FileName, const std::string& PassPhrase = {});
    void PrivateKeySaveToPemFile(const std::string& FileName);
    BIO* OpenFileBio(const std::string& FileName, TBioOpenMethode Methode);

    int VerifyResult = X509_V_ERR_APPLICATION_VERIFICATION;
    int VerifyDepth = 0;
    int FirstVerifyResult = X509_V_ERR_APPLICATION_VERIFICATION;

protected:
    // No verification took place yet.
    virtual void AssignDefaults();
    std::exception_ptr NewError(const std::string& Msg) const override;

private:
    ::X509* ReadCertificate(BIO* Bio, const std::string& FileName, const std::string& PassPhrase);
    EVP_PKEY* ReadPrivateKey(BIO* Bio, const std::string& FileName, const std::string& PassPhrase);
    void CheckPair(::X509* Cert, EVP_PKEY* Key);
    void WritePrivateKey(BIO* Bio);

    ::X509* FX509 = nullptr;
    EVP_PKEY* FPrivateKey = nullptr;
    std::string FSha1Hash;
};

// The SHA-1 digest of a certificate as 20 bytes; empty for nil.
std::string X509Sha1(X509* x509);
// Expiry by whole days: a certificate runs out the day after its last one.
bool CertHasExpiredAt(rtl::TDateTime NotBefore, rtl::TDateTime NotAfter, rtl::TDateTime NowUT);

class TX509List : public rtl::TObject {
public:
    // Makes the certificate objects the list holds; the list alone frees them.
    using TX509Class = std::function<std::unique_ptr<TX509Base>(X509* x509)>;

    explicit TX509List(rtl::TComponent* owner = nullptr);
    const char* ClassName() const override { return "TX509List"; }

    void Clear() { FList.clear(); }
    void Delete(int Index);
    int Count() const { return static_cast<int>(FList.size()); }
    TX509Base* GetX509Base(int Index) const;
    // Takes Cert and frees the object it replaces.
    void SetX509Base(int Index, std::unique_ptr<TX509Base> Cert);
    int IndexOf(const TX509Base* Cert) const;
    // A new object holding a duplicate of X509, appended.
    TX509Base* Add(X509* x509);
    TX509Base* GetByHash(const std::string& Sha1Hash) const;
    TX509Base* GetByPX509(X509* x509) const;

    rtl::TComponent* Owner() const { return FOwner; }
    TX509Class X509Class;
    int LastVerifyResult = 0;

private:
    void CheckIndex(int Index) const;

    rtl::TComponent* FOwner;
    std::vector<std::unique_ptr<TX509Base>> FList;
};

}  // namespace net

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "net/evqssleay.h"
#include "net/sslcontext.h"
#include "platform/rtl/sysutils.h"
#include "tests/support/shell.h"

using namespace net;

// The openssl command's output for Args, its trailing line end removed.
// The certificate tests use it too.
std::string RunOpenSsl(const std::string& Args) {
    auto [rc, out] = testsupport::Shell("openssl " + Args);
    EXPECT_EQ(rc, 0) << "openssl " << Args << ": " << out;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

namespace {

// Starts with nothing loaded and puts the library names back afterwards.
class SslLoading : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(SslLoadCount(), 0); }
    void TearDown() override {
        GLIBEAY_DLL_Name = crypto_;
        GSSLEAY_DLL_Name = ssl_;
        while (SslLoadCount() > 0) UnloadSsl();
    }
    void expectNothingLoaded() {
        EXPECT_EQ(SslLoadCount(), 0);
        EXPECT_EQ(GLIBEAY_DLL_Handle, nullptr);
        EXPECT_EQ(GSSLEAY_DLL_Handle, nullptr);
        EXPECT_EQ(f_SSL_CTX_new, nullptr);
        EXPECT_EQ(f_X509_free, nullptr);
    }
    // The message of the exception Load raises, with its class name.
    template <typename Fn = void (*)()>
    std::string loadFailure(std::string& className, Fn load = LoadSsl) {
        try {
            load();
        } catch (const rtl::Exception& e) {
            className = e.ClassName();
            return e.Message;
        }
        ADD_FAILURE() << "the load did not fail";
        UnloadSsl();
        return {};
    }

    const std::string crypto_ = GLIBEAY_DLL_Name, ssl_ = GSSLEAY_DLL_Name;
};

// Holds one library reference for the test.
class SslLoaded : public ::testing::Test {
protected:
    void SetUp() override { LoadSsl(); }
    void TearDown() override { UnloadSsl(); }
};

}  // namespace

TEST_F(SslLoading, CountsReferences) {
    LoadSsl();
    EXPECT_EQ(SslLoadCount(), 1);
    ASSERT_NE(GLIBEAY_DLL_Handle, nullptr);
    ASSERT_NE(GSSLEAY_DLL_Handle, nullptr);
    EXPECT_EQ(rtl::ExtractFileName(GLIBEAY_DLL_FileName), "libcrypto.so.3");
    EXPECT_EQ(rtl::ExtractFileName(GSSLEAY_DLL_FileName), "libssl.so.3");
    EXPECT_GE(EVQ_OPENSSL_VERSION_NUMBER, 0x30000000ul);

    // Further references load nothing, not even from a name that would fail.
    GLIBEAY_DLL_Name = "libno-such-crypto.so";
    LoadSsl();
    EXPECT_EQ(SslLoadCount(), 2);
    UnloadSsl();
    EXPECT_EQ(SslLoadCount(), 1);
    EXPECT_NE(f_SSL_CTX_new, nullptr);
    UnloadSsl();
    expectNothingLoaded();
    EXPECT_EQ(GLIBEAY_DLL_FileName, "*NOT LOADED*");
    EXPECT_EQ(GSSLEAY_DLL_FileName, "*NOT_LOADED*");
    UnloadSsl();
    EXPECT_EQ(SslLoadCount(), 0);

    // Once started the library stays mapped; loading again binds it afresh.
    GLIBEAY_DLL_Name = crypto_;
    LoadSsl();
    SSL_CTX* ctx = f_SSL_CTX_new(f_SSLv23_method());
    ASSERT_NE(ctx, nullptr);
    f_SSL_CTX_free(ctx);
}

TEST_F(SslLoading, LibraryFileFailures) {
    const std::string notALibrary = SSL_TEST_CERTS "/ca.pem";
    const struct {
        std::string crypto, ssl, className, message;
    } cases[] = {
        {"libno-such-crypto.so", ssl_, "EEvqLibeayException", "Unable to load libno-such-crypto.so. Error #2"},
        {notALibrary, ssl_, "EEvqLibeayException", "Unable to load " + notALibrary + ". Error #8"},
        {crypto_, "libno-such-ssl.so", "EEvqSsleayException", "File not found: libno-such-ssl.so"},
        {crypto_, notALibrary, "EEvqSsleayException", "Unable to load " + notALibrary + ". Win32 error #8"},
    };
    for (const auto& c : cases) {
        GLIBEAY_DLL_Name = c.crypto;
        GSSLEAY_DLL_Name = c.ssl;
        std::string className;
        EXPECT_EQ(loadFailure(className), c.message);
        EXPECT_EQ(className, c.className) << c.message;
        expectNothingLoaded();
        // A context's first handshake reports the same.
        TSslContext ctx;
        EXPECT_EQ(loadFailure(className, [&ctx] { ctx.InitContext(); }), c.message);
        EXPECT_EQ(className, c.className) << c.message;
        expectNothingLoaded();
    }
    GLIBEAY_DLL_Name = crypto_;
    GSSLEAY_DLL_Name = ssl_;
    LoadSsl();  // a failed load leaves nothing that stops the next
    EXPECT_EQ(SslLoadCount(), 1);
}

TEST_F(SslLoading, LibraryWithoutVersionQueryBindsNothing) {
    GLIBEAY_DLL_Name = "libz.so.1";
    EXPECT_FALSE(EvqLIBEAY::Load());
    const std::string missing = EvqLIBEAY::WhichFailedToLoad();
    EvqLIBEAY::Release(true);
    EXPECT_EQ(missing.rfind(" OpenSSL_version_num OpenSSL_version ERR_get_error_line_data ERR_peek_error", 0), 0u)
        << missing;
    EXPECT_NE(missing.find(" OPENSSL_sk_free f_sk_pop_free OPENSSL_sk_push"), std::string::npos);
    EXPECT_NE(missing.find(" ASN1_item_free f_i2a_ASN1_OBJECT X509_gmtime_adj"), std::string::npos);
    EXPECT_EQ(missing.substr(missing.size() - 17), " X509_PUBKEY_free");

    std::string className;
    EXPECT_EQ(loadFailure(className), "Unable to load libz.so.1. Can't find " + missing);
    EXPECT_EQ(className, "Exception");
    expectNothingLoaded();
}

TEST_F(SslLoading, TlsLibraryMissingNames) {
    // The crypto library has none of the TLS names.
    GSSLEAY_DLL_Name = crypto_;
    std::string className;
    const std::string message = loadFailure(className);
    EXPECT_EQ(className, "Exception");
    const std::string head = "Unable to load " + crypto_ + ". Can't find  SSL_do_handshake SSL_renegotiate ";
    EXPECT_EQ(message.rfind(head, 0), 0u) << message;
    EXPECT_NE(message.find(" OPENSSL_init_ssl OPENSSL_init_ssl TLS_method "), std::string::npos);
    EXPECT_EQ(message.find("SSLv3_method"), std::string::npos);  // gone, and not asked for
    EXPECT_EQ(message.substr(message.size() - 12), " SSL_get_wfd");
    expectNothingLoaded();
}

TEST(SslBinding, VersionDependentConstants) {
    const struct {
        unsigned long version;
        int extraChainCert, sessionReused, univ, utf8;
    } cases[] = {
        {0x00907FFFul, 12, 6, 4099, 4100},
        {0x00908000ul, 14, 8, 4100, 4096},
        {0x30000130ul, 14, 8, 4100, 4096},
    };
    for (const auto& c : cases) {
        EvqSetVersionConstants(c.version);
        EXPECT_EQ(SSL_CTRL_EXTRA_CHAIN_CERT, c.extraChainCert) << std::hex << c.version;
        EXPECT_EQ(SSL_CTRL_GET_SESSION_REUSED, c.sessionReused) << std::hex << c.version;
        EXPECT_EQ(MBSTRING_UNIV, c.univ) << std::hex << c.version;
        EXPECT_EQ(MBSTRING_UTF8, c.utf8) << std::hex << c.version;
    }
}

TEST_F(SslLoaded, InformationTextsMatchTheLibrary) {
    const struct {
        std::string (*text)();
        const char* flag;
    } cases[] = {
        {OpenSslCompilerFlags, "-f"}, {OpenSslBuiltOn, "-b"}, {OpenSslPlatForm, "-p"}, {OpenSslDir, "-d"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.text(), RunOpenSsl(std::string("version ") + c.flag)) << c.flag;
    // The command names the version it was built with, then the library's.
    EXPECT_EQ(RunOpenSsl("version -v"), OpenSslVersion() + " (Library: " + OpenSslVersion() + ")");
}

TEST_F(SslLoaded, BioFlagTests) {
    BIO* mem = f_BIO_new(f_BIO_s_mem());
    char c;
    EXPECT_LT(f_BIO_read(mem, &c, 1), 0);  // empty: try again later
    EXPECT_TRUE(BIO_should_retry(mem));
    EXPECT_TRUE(BIO_should_read(mem));
    EXPECT_FALSE(BIO_should_write(mem));
    EXPECT_FALSE(BIO_should_io_special(mem));
    EXPECT_EQ(BIO_retry_type(mem), BIO_FLAGS_READ);
    EXPECT_EQ(BIO_get_flags(mem) & (BIO_FLAGS_READ | BIO_FLAGS_SHOULD_RETRY), BIO_FLAGS_READ | BIO_FLAGS_SHOULD_RETRY);
    f_BIO_free(mem);
}

namespace {

// An ASN.1 string of the given type holding Bytes, freed with the object.
struct Asn1String {
    Asn1String(int type, const std::string& bytes) : s(f_ASN1_STRING_type_new(type)) {
        f_ASN1_STRING_set(s, bytes.data(), static_cast<int>(bytes.size()));
    }
    ~Asn1String() { f_ASN1_STRING_free(s); }
    ASN1_STRING* s;
};

}  // namespace

TEST_F(SslLoaded, Asn1TimeToUniversalTime) {
    int thisYear, m, d;
    rtl::DecodeDate(rtl::Date(), thisYear, m, d);
    const int century = thisYear / 100 * 100;
    const int utc = V_ASN1_UTCTIME, gen = V_ASN1_GENERALIZEDTIME;
    const struct {
        int type;
        const char* text;
        int year, month, day, hour, minute, second;
    } times[] = {
        {utc, "491231235959Z", century + 49, 12, 31, 23, 59, 59},
        {utc, "500101000000Z", century - 50, 1, 1, 0, 0, 0},
        {utc, "4901011200+0100", century + 49, 1, 1, 11, 0, 0},  // no seconds, one hour east
        {utc, "490101120000-0530", century + 49, 1, 1, 17, 30, 0},
        {utc, "490101120000+1400", century + 49, 1, 1, 12, 0, 0},  // offset out of range: ignored
        {utc, "490101000000+0100", century + 48, 12, 31, 23, 0, 0},
        {utc, "4901011200", century + 49, 1, 1, 12, 0, 0},
        {gen, "20991231235959Z", 2099, 12, 31, 23, 59, 59},
        {gen, "19500101120000+0100", 1950, 1, 1, 11, 0, 0},
        {gen, "202402291200", 2024, 2, 29, 12, 0, 0},
        {gen, "20240229120000.5Z", 2024, 2, 29, 12, 0, 0},
    };
    for (const auto& c : times) {
        Asn1String s(c.type, c.text);
        rtl::TDateTime got = 0;
        EXPECT_TRUE(Asn1ToUTDateTime(s.s, got)) << c.text;
        const rtl::TDateTime want =
            rtl::EncodeDate(c.year, c.month, c.day) + rtl::EncodeTime(c.hour, c.minute, c.second, 0);
        EXPECT_NEAR(got, want, 0.5 / rtl::MSecsPerDay) << c.text;
    }

    const struct {
        int type;
        const char* text;
    } notTimes[] = {
        {utc, "491301000000Z"},
        {utc, "490001000000Z"},
        {utc, "490230120000Z"},  // no 30 February
        {utc, "490101250000Z"},
        {utc, "49010112Z"},      // too short
        {utc, "49o101120000Z"},
        {gen, "20240101120"},    // not longer than 11
        {gen, "2024010112x0Z"},
        {V_ASN1_OCTET_STRING, "491231235959Z"},
    };
    for (const auto& c : notTimes) {
        Asn1String s(c.type, c.text);
        rtl::TDateTime got = 0;
        EXPECT_FALSE(Asn1ToUTDateTime(s.s, got)) << c.text;
        EXPECT_EQ(got, rtl::MinDateTime) << c.text;
    }
    rtl::TDateTime got = 0;
    EXPECT_FALSE(Asn1ToUTDateTime(nullptr, got));
    EXPECT_EQ(got, rtl::MinDateTime);
}

TEST_F(SslLoaded, Asn1StringToText) {
    const struct {
        int type;
        std::string bytes, text;
    } cases[] = {
        {V_ASN1_UTF8STRING, "Gr\xC3\xBC\xC3\x9F" "e", "Gr\xC3\xBC\xC3\x9F" "e"},
        {V_ASN1_BMPSTRING, std::string("\x00" "A\x00\xFC\xD8\x3D\xDE\x00", 8), "A\xC3\xBC\xF0\x9F\x98\x80"},
        {V_ASN1_BMPSTRING, std::string("\x00" "A\xDC\x00\x00", 5), "A\xEF\xBF\xBD"},  // lone surrogate, odd byte
        {V_ASN1_PRINTABLESTRING, "Pelliwox", "Pelliwox"},
        {V_ASN1_T61STRING, "\xE9t\xE9", "\xE9t\xE9"},  // copied as it stands
        {V_ASN1_UTF8STRING, "", ""},
    };
    for (const auto& c : cases) {
        Asn1String s(c.type, c.bytes);
        EXPECT_EQ(Asn1ToString(s.s), c.text) << c.type;
    }
    EXPECT_EQ(Asn1ToString(nullptr), "");
}

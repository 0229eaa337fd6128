#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "net/sslcontext.h"
#include "net/x509.h"
#include "tests/net/ssl_fixture.h"

using namespace net;
namespace fs = std::filesystem;

namespace {

std::string cert(const char* name) { return std::string(SSL_TEST_CERTS "/") + name; }

// The message of the ESslContextException Fn raises.
template <typename Fn>
std::string contextError(Fn fn) {
    try {
        fn();
    } catch (const ESslContextException& e) {
        return e.Message;
    }
    return "(no ESslContextException)";
}

// A server context for the test certificate and key.
std::unique_ptr<TSslContext> serverContext(const char* certFile = "server.pem") {
    auto ctx = std::make_unique<TSslContext>();
    ctx->SetSslVersionMethod(sslV23_SERVER);
    ctx->SetSslVerifyPeer(false);
    ctx->SetSslCertFile(cert(certFile));
    ctx->SetSslPrivKeyFile(cert("server.key"));
    ctx->InitContext();
    return ctx;
}

// A client context that trusts the test authority.
std::unique_ptr<TSslContext> clientContext(TSslVersionMethod method = sslV23_CLIENT) {
    auto ctx = std::make_unique<TSslContext>();
    ctx->SetSslVersionMethod(method);
    ctx->SetSslCAFile(cert("ca.pem"));
    ctx->InitContext();
    return ctx;
}

// One client and one server connection joined by a pair of memory BIOs.
class Handshake {
public:
    Handshake(SSL_CTX* client, SSL_CTX* server) : client_(f_SSL_new(client)), server_(f_SSL_new(server)) {
        BIO *a = nullptr, *b = nullptr;
        f_BIO_new_bio_pair(&a, 0, &b, 0);
        f_SSL_set_bio(client_, a, a);
        f_SSL_set_bio(server_, b, b);
        f_SSL_set_connect_state(client_);
        f_SSL_set_accept_state(server_);
    }
    ~Handshake() {
        f_SSL_free(client_);
        f_SSL_free(server_);
    }
    SSL* client() const { return client_; }
    SSL* server() const { return server_; }

    // Steps both sides until both are through or one gives up.
    bool run() {
        bool clientDone = false, serverDone = false;
        for (int round = 0; round < 20 && !(clientDone && serverDone); ++round) {
            if (!clientDone && !step(client_, clientDone)) return false;
            if (!serverDone && !step(server_, serverDone)) return false;
        }
        f_ERR_clear_error();
        return clientDone && serverDone;
    }

private:
    static bool step(SSL* ssl, bool& done) {
        const int r = f_SSL_do_handshake(ssl);
        done = r == 1;
        const int err = done ? SSL_ERROR_NONE : f_SSL_get_error(ssl, r);
        return done || err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE;
    }

    SSL* client_;
    SSL* server_;
};

// Whether a client of ClientCtx, expecting Host, gets through a handshake
// with the server, and its verify result.
bool connectTo(TSslContext& clientCtx, SSL_CTX* server, const std::string& host, long& verifyResult) {
    Handshake h(clientCtx.SslCtx(), server);
    clientCtx.SetPeerHost(h.client(), host);
    const bool ok = h.run();
    verifyResult = f_SSL_get_verify_result(h.client());
    return ok;
}

class SslContextTest : public SslFolderTest {};

}  // namespace

TEST_F(SslContextTest, Defaults) {
    TSslContext ctx;
    EXPECT_EQ(ctx.SslCipherList(), "ALL:!ADH:RC4+RSA:+SSLv2:@STRENGTH");
    EXPECT_EQ(ctx.SslVersionMethod(), sslV23);
    EXPECT_EQ(ctx.SslVerifyDepth(), 9);
    EXPECT_EQ(ctx.SslSessionCacheSize(), 20480);
    EXPECT_EQ(ctx.SslSessionTimeout(), 0u);
    EXPECT_EQ(ctx.SslVerifyPeerModes(), TSslVerifyPeerModes{SslVerifyMode_PEER});
    EXPECT_TRUE(ctx.SslVerifyPeer());  // the peer is checked unless asked otherwise
    EXPECT_TRUE(ctx.SslOptions().empty());
    EXPECT_TRUE(ctx.SslSessionCacheModes().empty());
    EXPECT_FALSE(ctx.IsCtxInitialized());

    ctx.InitContext();
    ASSERT_TRUE(ctx.IsCtxInitialized());
    EXPECT_EQ(f_SSL_CTX_get_verify_mode(ctx.SslCtx()), SSL_VERIFY_PEER);
    EXPECT_EQ(f_SSL_CTX_get_verify_depth(ctx.SslCtx()), 9);
    ctx.DeInitContext();
    EXPECT_FALSE(ctx.IsCtxInitialized());
}

TEST_F(SslContextTest, NeverBelowTls12) {
    for (TSslVersionMethod m : {sslTLS_V1, sslTLS_V1_CLIENT, sslTLS_V1_SERVER, sslV23, sslV23_CLIENT, sslV23_SERVER}) {
        TSslContext ctx;
        ctx.SetSslVersionMethod(m);
        ctx.SetSslVerifyPeer(false);
        ctx.InitContext();
        EXPECT_EQ(f_SSL_CTX_ctrl(ctx.SslCtx(), SSL_CTRL_GET_MIN_PROTO_VERSION, 0, nullptr), TLS1_2_VERSION) << m;
        EXPECT_EQ(f_SSL_CTX_ctrl(ctx.SslCtx(), SSL_CTRL_GET_MAX_PROTO_VERSION, 0, nullptr), 0) << m;
    }

    // A server that offers at most TLS 1.1; a client of our own accepts that.
    SSL_CTX* old = f_SSL_CTX_new(f_SSLv23_server_method());
    ASSERT_EQ(f_SSL_CTX_use_certificate_chain_file(old, cert("server.pem").c_str()), 1);
    ASSERT_EQ(f_SSL_CTX_use_PrivateKey_file(old, cert("server.key").c_str(), SSL_FILETYPE_PEM), 1);
    f_SSL_CTX_set_cipher_list(old, "DEFAULT:@SECLEVEL=0");
    f_SSL_CTX_ctrl(old, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_VERSION, nullptr);
    f_SSL_CTX_ctrl(old, SSL_CTRL_SET_MAX_PROTO_VERSION, TLS1_1_VERSION, nullptr);
    SSL_CTX* lax = f_SSL_CTX_new(f_SSLv23_client_method());
    f_SSL_CTX_set_cipher_list(lax, "DEFAULT:@SECLEVEL=0");
    f_SSL_CTX_ctrl(lax, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_VERSION, nullptr);
    {
        Handshake control(lax, old);
        EXPECT_TRUE(control.run());
        EXPECT_EQ(f_SSL_version(control.client()), TLS1_1_VERSION);
    }
    auto ctx = clientContext(sslTLS_V1);  // the method the program names
    long verify;
    EXPECT_FALSE(connectTo(*ctx, old, "localhost", verify));
    f_SSL_CTX_free(lax);
    f_SSL_CTX_free(old);

    // Against a current server the same context speaks a current protocol.
    auto server = serverContext();
    Handshake h(ctx->SslCtx(), server->SslCtx());
    ctx->SetPeerHost(h.client(), "localhost");
    ASSERT_TRUE(h.run());
    EXPECT_GE(f_SSL_version(h.client()), TLS1_2_VERSION);
}

TEST_F(SslContextTest, SslV2AndV3AreUnavailable) {
    const struct {
        TSslVersionMethod method;
        const char* name;
    } cases[] = {{sslV2, "SSLv2_method"}, {sslV3_CLIENT, "SSLv3_client_method"}, {sslV3_SERVER, "SSLv3_server_method"}};
    for (const auto& c : cases) {
        TSslContext ctx;
        ctx.SetSslVersionMethod(c.method);
        EXPECT_EQ(contextError([&] { ctx.InitContext(); }),
                  "\r\nFailed to initialize context\r\n" + std::string(c.name) + " is not available in libssl.so.3\r\n");
        EXPECT_FALSE(ctx.IsCtxInitialized());
    }
}

TEST_F(SslContextTest, KeyIsCheckedBeforeCertificate) {
    const std::string missingKey = (tmp_ / "missing.key").string(), missingCert = (tmp_ / "missing.pem").string();
    const struct {
        std::string keyFile, certFile, message;
    } cases[] = {
        {missingKey, missingCert, "File not found \"" + missingKey + "\""},
        {cert("server.key"), missingCert, "File not found \"" + missingCert + "\""},
        {cert("ca.pem"), cert("server.pem"), "Can't load private key file \"" + cert("ca.pem") + "\""},
        {cert("server.key"), cert("server.key"), "Can't read certificate file \"" + cert("server.key") + "\""},
        {cert("ca.key"), cert("server.pem"), "Certificate and private key do not match"},
    };
    for (const auto& c : cases) {
        TSslContext ctx;
        ctx.SetSslPrivKeyFile(c.keyFile);
        ctx.SetSslCertFile(c.certFile);
        EXPECT_EQ(contextError([&] { ctx.InitContext(); }), c.message);
        EXPECT_FALSE(ctx.IsCtxInitialized()) << c.message;  // the next handshake starts afresh
    }
    TSslContext combined;  // one file holding key and certificate
    combined.SetSslPrivKeyFile(cert("combined.pem"));
    combined.SetSslCertFile(cert("combined.pem"));
    EXPECT_NO_THROW(combined.InitContext());
}

TEST_F(SslContextTest, PassPhraseOfAnEncryptedKey) {
    std::ifstream f(cert("passphrase.txt"));
    std::string right;
    std::getline(f, right);
    const struct {
        std::string phrase;
        bool loads;
    } cases[] = {{right, true}, {"wrong phrase", false}, {"", false}, {std::string(2000, 'x'), false}};
    for (const auto& c : cases) {
        TSslContext ctx;
        ctx.SetSslPrivKeyFile(cert("server-enc.key"));
        ctx.SetSslCertFile(cert("server.pem"));
        ctx.SetSslPassPhrase(c.phrase);
        if (c.loads) {
            EXPECT_NO_THROW(ctx.InitContext());
        } else {
            EXPECT_EQ(contextError([&] { ctx.InitContext(); }),
                      "Can't load private key file \"" + cert("server-enc.key") + "\"")
                << c.phrase.size();
        }
        EXPECT_EQ(ctx.IsCtxInitialized(), c.loads);
    }
}

TEST_F(SslContextTest, CipherListErrors) {
    TSslContext empty;
    empty.SetSslCipherList("");
    EXPECT_EQ(contextError([&] { empty.InitContext(); }), "Cipher list empty");
    EXPECT_FALSE(empty.IsCtxInitialized());

    TSslContext bad;
    bad.SetSslCipherList("NO-SUCH-CIPHER");
    const std::string message = contextError([&] { bad.InitContext(); });
    EXPECT_EQ(message.rfind("\r\nError loading cipher list\r\nerror:", 0), 0u) << message;
    EXPECT_NE(message.find("no cipher match\r\n"), std::string::npos) << message;
    EXPECT_NE(bad.LastSslError(), 0u);
    EXPECT_FALSE(bad.IsCtxInitialized());
}

TEST_F(SslContextTest, OptionsAreMappedByName) {
    // Bits that once meant old work-arounds now switch protocols off.
    const TSslOptions legacy{sslOpt_NO_SSLv2, sslOpt_PKCS1_CHECK_1, sslOpt_PKCS1_CHECK_2, sslOpt_NETSCAPE_CA_DN_BUG,
                             sslOpt_NETSCAPE_DEMO_CIPHER_CHANGE_BUG, sslOpt_SINGLE_DH_USE, sslOpt_EPHEMERAL_RSA};
    EXPECT_EQ(SslOptionsWord(legacy), 0u);

    // The settings the mail programs' context is stored with.
    TSslContext ctx;
    ctx.SetSslVersionMethod(sslTLS_V1);
    ctx.SetSslOptions({sslOpt_CIPHER_SERVER_PREFERENCE, sslOpt_NO_SSLv2, sslOpt_NO_SSLv3});
    ctx.SetSslCipherList("-ALL:+TLSv1.2:+TLSv1.3:HIGH");
    ctx.SetSslCAFile(cert("ca.pem"));
    ctx.InitContext();
    const uint64_t options = f_SSL_CTX_get_options(ctx.SslCtx());
    EXPECT_TRUE(options & SSL_OP_CIPHER_SERVER_PREFERENCE);
    EXPECT_TRUE(options & SSL_OP_NO_SSLv3);
    EXPECT_FALSE(options & (SSL_OP_NO_TLSv1_2 | SSL_OP_NO_TLSv1_3 | SSL_OP_NO_ANTI_REPLAY | SSL_OP_NO_RENEGOTIATION));
    EXPECT_EQ(ctx.SslOptions(), (TSslOptions{sslOpt_CIPHER_SERVER_PREFERENCE, sslOpt_NO_SSLv2, sslOpt_NO_SSLv3}));

    auto server = serverContext();
    long verify;
    EXPECT_TRUE(connectTo(ctx, server->SslCtx(), "localhost", verify));
    EXPECT_EQ(verify, X509_V_OK);
}

TEST_F(SslContextTest, VerifySettings) {
    TSslContext ctx;
    ctx.InitContext();
    SSL_CTX* c = ctx.SslCtx();
    ctx.SetSslVerifyDepth(3);  // waits for the modes to be applied again
    EXPECT_EQ(f_SSL_CTX_get_verify_depth(c), 9);
    ctx.SetSslVerifyPeer(false);
    EXPECT_EQ(f_SSL_CTX_get_verify_mode(c), SSL_VERIFY_NONE);
    EXPECT_EQ(f_SSL_CTX_get_verify_depth(c), 0);
    ctx.SetSslVerifyPeerModes({SslVerifyMode_PEER, SslVerifyMode_FAIL_IF_NO_PEER_CERT});
    EXPECT_EQ(f_SSL_CTX_get_verify_mode(c), SSL_VERIFY_NONE);  // verification is still off
    ctx.SetSslVerifyPeer(true);
    EXPECT_EQ(f_SSL_CTX_get_verify_mode(c), SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT);
    EXPECT_EQ(f_SSL_CTX_get_verify_depth(c), 3);
    EXPECT_EQ(SslVerifyModeWord({SslVerifyMode_NONE, SslVerifyMode_CLIENT_ONCE}), SSL_VERIFY_CLIENT_ONCE);
}

TEST_F(SslContextTest, ServerIsVerifiedByDefault) {
    auto server = serverContext();
    auto expired = serverContext("expired.pem");
    auto wrongHost = serverContext("wronghost.pem");
    auto wildcard = serverContext("wildcard.pem");
    auto cnOnly = serverContext("cnonly.pem");
    auto client = clientContext();
    const struct {
        TSslContext* server;
        const char* host;
        long verify;
    } cases[] = {
        {server.get(), "localhost", X509_V_OK},
        {server.get(), "LOCALHOST", X509_V_OK},
        {server.get(), "127.0.0.1", X509_V_OK},
        {server.get(), "mail.example.test", X509_V_OK},
        {server.get(), "127.0.0.2", X509_V_ERR_IP_ADDRESS_MISMATCH},
        {server.get(), "other.localhost", X509_V_ERR_HOSTNAME_MISMATCH},
        {wrongHost.get(), "localhost", X509_V_ERR_HOSTNAME_MISMATCH},
        {expired.get(), "localhost", X509_V_ERR_CERT_HAS_EXPIRED},
        {wildcard.get(), "pop.example.test", X509_V_OK},
        {wildcard.get(), "a.pop.example.test", X509_V_ERR_HOSTNAME_MISMATCH},  // "*" is one label
        {wildcard.get(), "example.test", X509_V_ERR_HOSTNAME_MISMATCH},
        {cnOnly.get(), "localhost", X509_V_ERR_HOSTNAME_MISMATCH},  // the alt name rules out the CN
    };
    for (const auto& c : cases) {
        long verify = -1;
        EXPECT_EQ(connectTo(*client, c.server->SslCtx(), c.host, verify), c.verify == X509_V_OK) << c.host;
        EXPECT_EQ(verify, c.verify) << c.host;
    }

    // Without the authority the chain itself fails.
    TSslContext stranger;
    stranger.InitContext();
    long verify;
    EXPECT_FALSE(connectTo(stranger, server->SslCtx(), "localhost", verify));
    EXPECT_EQ(verify, X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY);
    Handshake h(stranger.SslCtx(), server->SslCtx());
    EXPECT_EQ(contextError([&] { stranger.SetPeerHost(h.client(), ""); }),
              "No host name to check the server certificate against");

    // Switched off, nothing is checked.
    TSslContext trusting;
    trusting.SetSslVerifyPeer(false);
    trusting.InitContext();
    EXPECT_TRUE(connectTo(trusting, wrongHost->SslCtx(), "localhost", verify));
}

TEST_F(SslContextTest, ServerNameIsSentForNamesOnly) {
    auto server = serverContext();
    auto client = clientContext();
    for (const char* host : {"localhost", "127.0.0.1"}) {
        Handshake h(client->SslCtx(), server->SslCtx());
        client->SetPeerHost(h.client(), host);
        ASSERT_TRUE(h.run()) << host;
        const char* sent = f_SSL_get_servername(h.server(), TLSEXT_NAMETYPE_host_name);
        EXPECT_EQ(sent ? std::string(sent) : std::string("(none)"),
                  std::string(host) == "localhost" ? "localhost" : "(none)");
    }
}

TEST_F(SslContextTest, SystemAuthoritiesAndTrustedCertificates) {
    auto server = serverContext();
    long verify;
    // The library's default authorities count when no CA file is named...
    setenv("SSL_CERT_FILE", cert("ca.pem").c_str(), 1);
    TSslContext system;
    system.InitContext();
    unsetenv("SSL_CERT_FILE");
    EXPECT_TRUE(connectTo(system, server->SslCtx(), "localhost", verify));

    // ...and also when one is.
    setenv("SSL_CERT_FILE", cert("ca.pem").c_str(), 1);
    TSslContext both;
    both.SetSslCAFile(cert("expired.pem"));
    both.InitContext();
    unsetenv("SSL_CERT_FILE");
    EXPECT_TRUE(connectTo(both, server->SslCtx(), "localhost", verify));

    TSslContext trusting;
    trusting.InitContext();
    TX509Base authority;
    authority.LoadFromPemFile(cert("ca.pem"));
    TX509Base none;
    EXPECT_FALSE(trusting.TrustCert(&none));
    EXPECT_FALSE(trusting.TrustCert(nullptr));
    EXPECT_TRUE(trusting.TrustCert(&authority));
    EXPECT_TRUE(connectTo(trusting, server->SslCtx(), "localhost", verify));
    TSslContext idle;
    EXPECT_EQ(contextError([&] { idle.TrustCert(&authority); }), "SSL context not initialized");
}

TEST_F(SslContextTest, VerifyLocationErrors) {
    const std::string missing = (tmp_ / "none.pem").string();
    const struct {
        std::string file, path, message;
    } cases[] = {
        {missing, "", "File not found \"" + missing + "\""},
        {"", missing, "Directory not found \"" + missing + "\""},
        {cert("server.key"), "", "Can't read CA File \"" + cert("server.key") + "\" or CA Path \"\""},
    };
    for (const auto& c : cases) {
        TSslContext ctx;
        ctx.SetSslCAFile(c.file);
        ctx.SetSslCAPath(c.path);
        EXPECT_EQ(contextError([&] { ctx.InitContext(); }), c.message);
    }
    TSslContext idle;
    EXPECT_EQ(contextError([&] { idle.LoadVerifyLocations(cert("ca.pem"), ""); }), "SSL context not initialized");
}

TEST_F(SslContextTest, RevocationLists) {
    fs::create_directories(tmp_ / "crls");
    fs::copy_file(cert("crl.pem"), tmp_ / "crls" / "a.pem");
    TSslContext ctx;
    ctx.SetSslCRLFile(cert("crl.pem"));
    ctx.SetSslCRLPath((tmp_ / "crls").string());
    EXPECT_NO_THROW(ctx.InitContext());

    const std::string missing = (tmp_ / "none.pem").string();
    EXPECT_EQ(contextError([&] { ctx.LoadCrlFromFile(missing); }), "CRL file not found \"" + missing + "\"");
    EXPECT_EQ(contextError([&] { ctx.LoadCrlFromFile(cert("server.pem")); }),
              "Error on reading CRL file \"" + cert("server.pem") + "\"");
    EXPECT_EQ(contextError([&] { ctx.LoadCrlFromPath(missing); }), "CRL directory not found \"" + missing + "\"");

    OPENSSL_STACK* certs = ctx.LoadStackFromInfoFile(cert("combined.pem"), emCert);
    ASSERT_NE(certs, nullptr);
    EXPECT_EQ(f_sk_num(certs), 1);
    TX509Base fromStack(nullptr, static_cast<X509*>(f_sk_value(certs, 0)));
    TX509Base fromFile;
    fromFile.LoadFromPemFile(cert("server.pem"));
    EXPECT_EQ(fromStack.GetSha1Hash(), fromFile.GetSha1Hash());
    f_sk_pop_free(certs, reinterpret_cast<OPENSSL_sk_freefunc>(f_X509_free));
}

TEST_F(SslContextTest, ClientAuthorityFiles) {
    TSslContext ctx;
    ctx.SetSslVersionMethod(sslV23_SERVER);
    ctx.InitContext();
    EXPECT_NO_THROW(ctx.AddClientCAFromFile(cert("ca.pem")));
    EXPECT_NO_THROW(ctx.SetClientCAListFromFile(cert("ca.pem")));
    const std::string missing = (tmp_ / "none.pem").string();
    EXPECT_EQ(contextError([&] { ctx.AddClientCAFromFile(missing); }),
              "Certificate file not found \"" + missing + "\"");
    EXPECT_EQ(contextError([&] { ctx.SetClientCAListFromFile(cert("server.key")); }),
              "Error on reading certificate file \"" + cert("server.key") + "\"");
}

TEST_F(SslContextTest, LiveContextSetters) {
    const std::string copy = (tmp_ / "server.pem").string();
    fs::copy_file(cert("server.pem"), copy);
    TSslContext ctx;
    ctx.SetSslVersionMethod(sslV23_SERVER);
    ctx.SetSslVerifyPeer(false);
    ctx.SetSslPrivKeyFile(cert("server.key"));
    ctx.SetSslCertFile(copy);
    ctx.InitContext();
    fs::remove(copy);
    EXPECT_NO_THROW(ctx.SetSslCertFile(copy));  // the same name is not read again
    EXPECT_EQ(contextError([&] { ctx.SetSslCertFile(copy + ".new"); }), "File not found \"" + copy + ".new\"");

    ctx.SetSslDefaultSessionIDContext(std::string(40, 's'));
    EXPECT_EQ(ctx.SslDefaultSessionIDContext(), std::string(32, 's'));
    EXPECT_EQ(contextError([&] { ctx.SetSslCAFile(copy); }), "File not found \"" + copy + "\"");
}

TEST_F(SslContextTest, SessionCacheSettings) {
    TSslContext ctx;
    ctx.SetSslVersionMethod(sslV23_SERVER);
    ctx.SetSslVerifyPeer(false);
    ctx.SetSslSessionCacheModes({sslSESS_CACHE_SERVER, sslSESS_CACHE_NO_AUTO_CLEAR});
    ctx.SetSslSessionCacheSize(100);
    ctx.SetSslSessionTimeout(600);
    ctx.InitContext();
    SSL_CTX* c = ctx.SslCtx();
    EXPECT_EQ(f_SSL_CTX_ctrl(c, SSL_CTRL_GET_SESS_CACHE_MODE, 0, nullptr),
              SSL_SESS_CACHE_SERVER | SSL_SESS_CACHE_NO_AUTO_CLEAR);
    EXPECT_EQ(f_SSL_CTX_ctrl(c, SSL_CTRL_GET_SESS_CACHE_SIZE, 0, nullptr), 100);
    EXPECT_EQ(f_SSL_CTX_get_ex_data(c, 0), &ctx);

    TSslContext noStore;
    noStore.SetSslSessionCacheModes({sslSESS_CACHE_CLIENT, sslSESS_CACHE_NO_INTERNAL_STORE});
    noStore.SetSslSessionCacheSize(100);
    noStore.InitContext();
    EXPECT_EQ(f_SSL_CTX_get_ex_data(noStore.SslCtx(), 0), nullptr);
    EXPECT_EQ(f_SSL_CTX_ctrl(noStore.SslCtx(), SSL_CTRL_GET_SESS_CACHE_SIZE, 0, nullptr),
              SSL_SESSION_CACHE_MAX_SIZE_DEFAULT);
}

TEST_F(SslContextTest, FilesAreOpenedReadOnly) {
    TSslContext ctx;
    BIO* bio = ctx.OpenFileBio(cert("server.pem"), bomRead);
    int fd = -1;
    f_BIO_ctrl(bio, BIO_C_GET_FD, 0, &fd);
    EXPECT_EQ(fcntl(fd, F_GETFL) & O_ACCMODE, O_RDONLY);
    f_BIO_free(bio);
    EXPECT_EQ(contextError([&] { ctx.OpenFileBio("", bomRead); }), "File name not specified");
}

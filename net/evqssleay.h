#pragma once
// The TLS library, loaded by file name and bound by name like the crypto
// library; the reference-counted LoadSsl/UnloadSsl pair every TLS component
// takes; the process-wide locks of the TLS callbacks; and the small control
// wrappers the context and socket code use.
#include "net/evqlibeay.h"

#include <openssl/ssl.h>

#include <mutex>

// Our own variable of this name takes the place of the library's macro.
#undef SSL_CTRL_EXTRA_CHAIN_CERT

namespace net {

RTL_EXCEPTION_CLASS(EEvqSsleayException, rtl::Exception);

// X(pointer name, symbol bound), in binding order; every one is required.
// The library start-up and error-text loading are one call now, bound under
// both old names.
#define EVQ_SSLEAY_FUNCTIONS(X)                                                               \
    X(SSL_do_handshake, SSL_do_handshake)                                                     \
    X(SSL_renegotiate, SSL_renegotiate)                                                       \
    X(SSL_renegotiate_pending, SSL_renegotiate_pending)                                       \
    X(SSL_library_init, OPENSSL_init_ssl)                                                     \
    X(SSL_load_error_strings, OPENSSL_init_ssl)                                               \
    X(SSLv23_method, TLS_method)                                                              \
    X(SSLv23_client_method, TLS_client_method)                                                \
    X(SSLv23_server_method, TLS_server_method)                                                \
    X(TLSv1_method, TLSv1_method)                                                             \
    X(TLSv1_client_method, TLSv1_client_method)                                               \
    X(TLSv1_server_method, TLSv1_server_method)                                               \
    X(SSL_CTX_new, SSL_CTX_new)                                                               \
    X(SSL_new, SSL_new)                                                                       \
    X(SSL_set_bio, SSL_set_bio)                                                               \
    X(SSL_set_session, SSL_set_session)                                                       \
    X(SSL_get_session, SSL_get_session)                                                       \
    X(SSL_get_rbio, SSL_get_rbio)                                                             \
    X(SSL_get_wbio, SSL_get_wbio)                                                             \
    X(SSL_get1_session, SSL_get1_session)                                                     \
    X(SSL_SESSION_free, SSL_SESSION_free)                                                     \
    X(SSL_SESSION_set_timeout, SSL_SESSION_set_timeout)                                       \
    X(SSL_SESSION_get_timeout, SSL_SESSION_get_timeout)                                       \
    X(SSL_SESSION_set_time, SSL_SESSION_set_time)                                             \
    X(SSL_SESSION_get_time, SSL_SESSION_get_time)                                             \
    X(d2i_SSL_SESSION, d2i_SSL_SESSION)                                                       \
    X(i2d_SSL_SESSION, i2d_SSL_SESSION)                                                       \
    X(SSL_CTX_set_session_id_context, SSL_CTX_set_session_id_context)                         \
    X(SSL_set_session_id_context, SSL_set_session_id_context)                                 \
    X(SSL_accept, SSL_accept)                                                                 \
    X(SSL_connect, SSL_connect)                                                               \
    X(SSL_ctrl, SSL_ctrl)                                                                     \
    X(SSL_read, SSL_read)                                                                     \
    X(SSL_want, SSL_want)                                                                     \
    X(SSL_write, SSL_write)                                                                   \
    X(SSL_get_error, SSL_get_error)                                                           \
    X(SSL_get_shutdown, SSL_get_shutdown)                                                     \
    X(SSL_shutdown, SSL_shutdown)                                                             \
    X(SSL_clear, SSL_clear)                                                                   \
    X(SSL_free, SSL_free)                                                                     \
    X(SSL_set_ex_data, SSL_set_ex_data)                                                       \
    X(SSL_get_ex_data, SSL_get_ex_data)                                                       \
    X(SSL_get_peer_certificate, SSL_get1_peer_certificate)                                    \
    X(SSL_get_verify_result, SSL_get_verify_result)                                           \
    X(SSL_set_verify_result, SSL_set_verify_result)                                           \
    X(SSL_set_info_callback, SSL_set_info_callback)                                           \
    X(SSL_set_connect_state, SSL_set_connect_state)                                           \
    X(SSL_set_shutdown, SSL_set_shutdown)                                                     \
    X(SSL_set_accept_state, SSL_set_accept_state)                                             \
    X(SSL_get_version, SSL_get_version)                                                       \
    X(SSL_version, SSL_version)                                                               \
    X(SSL_get_current_cipher, SSL_get_current_cipher)                                         \
    X(SSL_state, SSL_get_state)                                                               \
    X(SSL_is_init_finished, SSL_is_init_finished)                                             \
    X(SSL_in_init, SSL_in_init)                                                               \
    X(SSL_pending, SSL_pending)                                                               \
    X(SSL_state_string_long, SSL_state_string_long)                                           \
    X(SSL_alert_type_string_long, SSL_alert_type_string_long)                                 \
    X(SSL_alert_desc_string_long, SSL_alert_desc_string_long)                                 \
    X(SSL_CIPHER_get_bits, SSL_CIPHER_get_bits)                                               \
    X(SSL_CIPHER_get_name, SSL_CIPHER_get_name)                                               \
    X(SSL_CIPHER_description, SSL_CIPHER_description)                                         \
    X(SSL_session_reused, SSL_session_reused)                                                 \
    X(SSL_set_options, SSL_set_options)                                                       \
    X(SSL_get_options, SSL_get_options)                                                       \
    X(SSL_set1_host, SSL_set1_host)                                                           \
    X(SSL_set_hostflags, SSL_set_hostflags)                                                   \
    X(SSL_get0_param, SSL_get0_param)                                                         \
    X(SSL_get_servername, SSL_get_servername)                                                 \
    X(SSL_CTX_free, SSL_CTX_free)                                                             \
    X(SSL_CTX_set_timeout, SSL_CTX_set_timeout)                                               \
    X(SSL_CTX_use_certificate_chain_file, SSL_CTX_use_certificate_chain_file)                 \
    X(SSL_CTX_use_certificate_file, SSL_CTX_use_certificate_file)                             \
    X(SSL_CTX_set_default_passwd_cb, SSL_CTX_set_default_passwd_cb)                           \
    X(SSL_CTX_set_default_passwd_cb_userdata, SSL_CTX_set_default_passwd_cb_userdata)         \
    X(SSL_CTX_use_PrivateKey_file, SSL_CTX_use_PrivateKey_file)                               \
    X(SSL_CTX_check_private_key, SSL_CTX_check_private_key)                                   \
    X(SSL_CTX_load_verify_locations, SSL_CTX_load_verify_locations)                           \
    X(SSL_CTX_set_default_verify_paths, SSL_CTX_set_default_verify_paths)                     \
    X(SSL_CTX_set_verify, SSL_CTX_set_verify)                                                 \
    X(SSL_set_verify, SSL_set_verify)                                                         \
    X(SSL_CTX_get_verify_mode, SSL_CTX_get_verify_mode)                                       \
    X(SSL_CTX_set_verify_depth, SSL_CTX_set_verify_depth)                                     \
    X(SSL_CTX_get_verify_depth, SSL_CTX_get_verify_depth)                                     \
    X(SSL_CTX_ctrl, SSL_CTX_ctrl)                                                             \
    X(SSL_CTX_set_options, SSL_CTX_set_options)                                               \
    X(SSL_CTX_get_options, SSL_CTX_get_options)                                               \
    X(SSL_CTX_clear_options, SSL_CTX_clear_options)                                           \
    X(SSL_CTX_set_cipher_list, SSL_CTX_set_cipher_list)                                       \
    X(SSL_CTX_set_ex_data, SSL_CTX_set_ex_data)                                               \
    X(SSL_CTX_get_ex_data, SSL_CTX_get_ex_data)                                               \
    X(SSL_CTX_get_cert_store, SSL_CTX_get_cert_store)                                         \
    X(SSL_CTX_set_trust, SSL_CTX_set_trust)                                                   \
    X(SSL_CTX_set_client_cert_cb, SSL_CTX_set_client_cert_cb)                                 \
    X(SSL_CTX_get_client_cert_cb, SSL_CTX_get_client_cert_cb)                                 \
    X(SSL_CTX_sess_set_remove_cb, SSL_CTX_sess_set_remove_cb)                                 \
    X(SSL_CTX_sess_get_remove_cb, SSL_CTX_sess_get_remove_cb)                                 \
    X(SSL_CTX_sess_set_get_cb, SSL_CTX_sess_set_get_cb)                                       \
    X(SSL_CTX_sess_get_get_cb, SSL_CTX_sess_get_get_cb)                                       \
    X(SSL_CTX_sess_set_new_cb, SSL_CTX_sess_set_new_cb)                                       \
    X(SSL_CTX_sess_get_new_cb, SSL_CTX_sess_get_new_cb)                                       \
    X(SSL_SESSION_get_id, SSL_SESSION_get_id)                                                 \
    X(SSL_CTX_add_client_CA, SSL_CTX_add_client_CA)                                           \
    X(SSL_CTX_set_client_CA_list, SSL_CTX_set_client_CA_list)                                 \
    X(SSL_load_client_CA_file, SSL_load_client_CA_file)                                       \
    X(SSL_get_ex_data_X509_STORE_CTX_idx, SSL_get_ex_data_X509_STORE_CTX_idx)                 \
    X(BIO_f_ssl, BIO_f_ssl)                                                                   \
    X(SSL_set_fd, SSL_set_fd)                                                                 \
    X(SSL_set_rfd, SSL_set_rfd)                                                               \
    X(SSL_set_wfd, SSL_set_wfd)                                                               \
    X(SSL_get_fd, SSL_get_fd)                                                                 \
    X(SSL_get_rfd, SSL_get_rfd)                                                               \
    X(SSL_get_wfd, SSL_get_wfd)

EVQ_SSLEAY_FUNCTIONS(EVQ_DECLARE_F)

// SSL 2 and 3 are gone from the library. Their pointers stay unbound, and a
// context asked for one of them reports the method as unavailable.
using TEvqSslMethodFn = const SSL_METHOD* (*)();
extern TEvqSslMethodFn f_SSLv2_method, f_SSLv2_client_method, f_SSLv2_server_method;
extern TEvqSslMethodFn f_SSLv3_method, f_SSLv3_client_method, f_SSLv3_server_method;

// Unit state.
extern void* GSSLEAY_DLL_Handle;
extern std::string GSSLEAY_DLL_Name;   // the file to load; tests may point it elsewhere
extern std::string GSSLEAY_DLL_FileName;
extern std::string GSSLEAY_DLL_FileVersion;
extern std::string GSSLEAY_DLL_FileDescription;
extern int SSL_CTRL_EXTRA_CHAIN_CERT;
extern int SSL_CTRL_GET_SESSION_REUSED;

namespace EvqSSLEAY {
// Loads and binds the library; true when already loaded or when every name
// was bound. Raises EEvqSsleayException when the file cannot be loaded.
bool Load();
std::string WhichFailedToLoad();
// As EvqLIBEAY::Release.
void Release(bool closeFile);
// Shared libraries carry no version block: both outputs come back empty.
bool GetFileVerInfo(const std::string& AppName, std::string& FileVersion, std::string& FileDescription);
}  // namespace EvqSSLEAY

// One reference to both libraries; the first loads and starts them.
void LoadSsl();
// Gives one reference back; at 0 both handles are forgotten.
void UnloadSsl();
int SslLoadCount();

// Process-wide locks: the load count and key references, and one per kind
// of library callback so that handlers of one kind never run at once.
extern std::recursive_mutex SslCritSect;
extern std::recursive_mutex LockPwdCB, LockVerifyCB, LockInfoCB, LockRemSessCB, LockNewSessCB,
    LockGetSessCB, LockClientCertCB;

// Control wrappers.
long f_SSL_CTX_set_session_cache_mode(SSL_CTX* ctx, long mode);
long f_SSL_CTX_sess_set_cache_size(SSL_CTX* ctx, long size);
long f_SSL_CTX_add_extra_chain_cert(SSL_CTX* ctx, X509* x509);
bool f_SSL_want_nothing(const SSL* ssl);
bool f_SSL_want_write(const SSL* ssl);
bool f_SSL_want_read(const SSL* ssl);
bool f_SSL_want_x509_lookup(const SSL* ssl);

}  // namespace net

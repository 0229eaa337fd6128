#pragma once
// The crypto library, loaded by file name on first use and bound by name into
// one process-wide pointer per function (f_ plus the name the TLS code calls
// it by). Where the current library renamed a function, the pointer keeps the
// old name and binds the new symbol with the same job. Beside the bindings:
// BIO flag tests and ASN.1 time and string conversion.
//
// The headers give types and constants only; nothing here links the library.
#ifndef OPENSSL_SUPPRESS_DEPRECATED
#define OPENSSL_SUPPRESS_DEPRECATED
#endif
#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/conf.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/stack.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdint>
#include <string>

#include "platform/rtl/dateutils.h"
#include "platform/rtl/exceptions.h"

// Our own variables and functions of these names take the place of the
// library's macros below.
#undef MBSTRING_UNIV
#undef MBSTRING_UTF8
#undef BIO_get_flags
#undef BIO_should_read
#undef BIO_should_write
#undef BIO_should_io_special
#undef BIO_should_retry
#undef BIO_retry_type

namespace net {

RTL_EXCEPTION_CLASS(EEvqLibeayException, rtl::Exception);

// X(pointer name, symbol bound), in binding order. The first entry is the
// version query; the rest are bound only once it was found.
#define EVQ_LIBEAY_FUNCTIONS(X)                                                               \
    X(SSLeay, OpenSSL_version_num)                                                            \
    X(SSLeay_version, OpenSSL_version)                                                        \
    X(ERR_get_error_line_data, ERR_get_error_line_data)                                       \
    X(ERR_peek_error, ERR_peek_error)                                                         \
    X(ERR_get_error, ERR_get_error)                                                           \
    X(ERR_error_string, ERR_error_string)                                                     \
    X(ERR_error_string_n, ERR_error_string_n)                                                 \
    X(ERR_clear_error, ERR_clear_error)                                                       \
    X(ERR_remove_state, ERR_remove_state)                                                     \
    X(RAND_seed, RAND_seed)                                                                   \
    X(BIO_new, BIO_new)                                                                       \
    X(BIO_new_socket, BIO_new_socket)                                                         \
    X(BIO_new_fd, BIO_new_fd)                                                                 \
    X(BIO_new_file, BIO_new_file)                                                             \
    X(BIO_new_mem_buf, BIO_new_mem_buf)                                                       \
    X(BIO_new_bio_pair, BIO_new_bio_pair)                                                     \
    X(BIO_ctrl, BIO_ctrl)                                                                     \
    X(BIO_ctrl_pending, BIO_ctrl_pending)                                                     \
    X(BIO_ctrl_get_write_guarantee, BIO_ctrl_get_write_guarantee)                             \
    X(BIO_ctrl_get_read_request, BIO_ctrl_get_read_request)                                   \
    X(d2i_X509_bio, d2i_X509_bio)                                                             \
    X(d2i_X509, d2i_X509)                                                                     \
    X(BIO_read, BIO_read)                                                                     \
    X(BIO_nread, BIO_nread)                                                                   \
    X(BIO_nread0, BIO_nread0)                                                                 \
    X(BIO_nwrite, BIO_nwrite)                                                                 \
    X(BIO_nwrite0, BIO_nwrite0)                                                               \
    X(BIO_write, BIO_write)                                                                   \
    X(BIO_free, BIO_free)                                                                     \
    X(BIO_gets, BIO_gets)                                                                     \
    X(BIO_puts, BIO_puts)                                                                     \
    X(BIO_push, BIO_push)                                                                     \
    X(BIO_s_mem, BIO_s_mem)                                                                   \
    X(BIO_get_retry_BIO, BIO_get_retry_BIO)                                                   \
    X(BIO_get_retry_reason, BIO_get_retry_reason)                                             \
    X(BIO_test_flags, BIO_test_flags)                                                         \
    X(X509_dup, X509_dup)                                                                     \
    X(X509_up_ref, X509_up_ref)                                                               \
    X(X509_STORE_add_cert, X509_STORE_add_cert)                                               \
    X(X509_STORE_CTX_get_ex_data, X509_STORE_CTX_get_ex_data)                                 \
    X(X509_STORE_CTX_get_current_cert, X509_STORE_CTX_get_current_cert)                       \
    X(X509_STORE_CTX_get_error, X509_STORE_CTX_get_error)                                     \
    X(X509_STORE_CTX_get_error_depth, X509_STORE_CTX_get_error_depth)                         \
    X(X509_STORE_CTX_get_chain, X509_STORE_CTX_get0_chain)                                    \
    X(X509_STORE_CTX_trusted_stack, X509_STORE_CTX_set0_trusted_stack)                        \
    X(X509_STORE_add_crl, X509_STORE_add_crl)                                                 \
    X(X509_STORE_free, X509_STORE_free)                                                       \
    X(X509_verify_cert_error_string, X509_verify_cert_error_string)                           \
    X(X509_get_issuer_name, X509_get_issuer_name)                                             \
    X(X509_get_subject_name, X509_get_subject_name)                                           \
    X(X509_get_serialNumber, X509_get_serialNumber)                                           \
    X(X509_get0_notBefore, X509_get0_notBefore)                                               \
    X(X509_get0_notAfter, X509_get0_notAfter)                                                 \
    X(X509_NAME_oneline, X509_NAME_oneline)                                                   \
    X(X509_NAME_get_text_by_NID, X509_NAME_get_text_by_NID)                                   \
    X(X509_NAME_get_index_by_NID, X509_NAME_get_index_by_NID)                                 \
    X(ASN1_STRING_free, ASN1_STRING_free)                                                     \
    X(X509_NAME_free, X509_NAME_free)                                                         \
    X(X509_get_ext, X509_get_ext)                                                             \
    X(X509_get_ext_count, X509_get_ext_count)                                                 \
    X(X509_free, X509_free)                                                                   \
    X(X509_CRL_free, X509_CRL_free)                                                           \
    X(X509V3_EXT_get, X509V3_EXT_get)                                                         \
    X(X509V3_EXT_print, X509V3_EXT_print)                                                     \
    X(X509V3_EXT_d2i, X509V3_EXT_d2i)                                                         \
    X(X509V3_conf_free, X509V3_conf_free)                                                     \
    X(X509_EXTENSION_get_object, X509_EXTENSION_get_object)                                   \
    X(X509_EXTENSION_get_data, X509_EXTENSION_get_data)                                       \
    X(X509_EXTENSION_get_critical, X509_EXTENSION_get_critical)                               \
    X(X509_subject_name_hash, X509_subject_name_hash)                                         \
    X(X509_print, X509_print)                                                                 \
    X(X509_digest, X509_digest)                                                               \
    X(X509_check_private_key, X509_check_private_key)                                         \
    X(X509_check_host, X509_check_host)                                                       \
    X(X509_check_ip_asc, X509_check_ip_asc)                                                   \
    X(X509_VERIFY_PARAM_set1_host, X509_VERIFY_PARAM_set1_host)                               \
    X(X509_VERIFY_PARAM_set1_ip_asc, X509_VERIFY_PARAM_set1_ip_asc)                           \
    X(X509_VERIFY_PARAM_set_hostflags, X509_VERIFY_PARAM_set_hostflags)                       \
    X(EVP_sha1, EVP_sha1)                                                                     \
    X(EVP_PKEY_new, EVP_PKEY_new)                                                             \
    X(EVP_PKEY_free, EVP_PKEY_free)                                                           \
    X(EVP_PKEY_up_ref, EVP_PKEY_up_ref)                                                       \
    X(EVP_PKEY_assign, EVP_PKEY_assign)                                                       \
    X(RSA_generate_key, RSA_generate_key)                                                     \
    X(OBJ_nid2sn, OBJ_nid2sn)                                                                 \
    X(OBJ_obj2nid, OBJ_obj2nid)                                                               \
    X(sk_num, OPENSSL_sk_num)                                                                 \
    X(sk_value, OPENSSL_sk_value)                                                             \
    X(sk_new_null, OPENSSL_sk_new_null)                                                       \
    X(sk_free, OPENSSL_sk_free)                                                               \
    X(sk_pop_free, OPENSSL_sk_pop_free)                                                       \
    X(sk_push, OPENSSL_sk_push)                                                               \
    X(sk_delete, OPENSSL_sk_delete)                                                           \
    X(sk_pop, OPENSSL_sk_pop)                                                                 \
    X(sk_find, OPENSSL_sk_find)                                                               \
    X(sk_insert, OPENSSL_sk_insert)                                                           \
    X(sk_dup, OPENSSL_sk_dup)                                                                 \
    X(PEM_write_bio_X509, PEM_write_bio_X509)                                                 \
    X(PEM_write_bio_X509_REQ, PEM_write_bio_X509_REQ)                                         \
    X(PEM_write_bio_X509_CRL, PEM_write_bio_X509_CRL)                                         \
    X(PEM_read_bio_X509_CRL, PEM_read_bio_X509_CRL)                                           \
    X(PEM_read_bio_X509, PEM_read_bio_X509)                                                   \
    X(PEM_X509_INFO_read_bio, PEM_X509_INFO_read_bio)                                         \
    X(CRYPTO_free, CRYPTO_free)                                                               \
    X(X509_NAME_ENTRY_get_object, X509_NAME_ENTRY_get_object)                                 \
    X(X509_NAME_get_entry, X509_NAME_get_entry)                                               \
    X(X509_NAME_entry_count, X509_NAME_entry_count)                                           \
    X(X509_NAME_ENTRY_get_data, X509_NAME_ENTRY_get_data)                                     \
    X(X509_set_version, X509_set_version)                                                     \
    X(ASN1_STRING_to_UTF8, ASN1_STRING_to_UTF8)                                               \
    X(ASN1_STRING_type_new, ASN1_STRING_type_new)                                             \
    X(ASN1_STRING_set, ASN1_STRING_set)                                                       \
    X(ASN1_STRING_type, ASN1_STRING_type)                                                     \
    X(ASN1_STRING_length, ASN1_STRING_length)                                                 \
    X(ASN1_STRING_get0_data, ASN1_STRING_get0_data)                                           \
    X(ASN1_INTEGER_set, ASN1_INTEGER_set)                                                     \
    X(ASN1_INTEGER_get, ASN1_INTEGER_get)                                                     \
    X(ASN1_STRING_print, ASN1_STRING_print)                                                   \
    X(ASN1_item_d2i, ASN1_item_d2i)                                                           \
    X(ASN1_item_free, ASN1_item_free)                                                         \
    X(i2a_ASN1_OBJECT, i2a_ASN1_OBJECT)                                                       \
    X(X509_gmtime_adj, X509_gmtime_adj)                                                       \
    X(X509_set_pubkey, X509_set_pubkey)                                                       \
    X(X509_new, X509_new)                                                                     \
    X(X509_NAME_add_entry_by_txt, X509_NAME_add_entry_by_txt)                                 \
    X(X509_NAME_add_entry_by_NID, X509_NAME_add_entry_by_NID)                                 \
    X(X509_NAME_new, X509_NAME_new)                                                           \
    X(X509_set_issuer_name, X509_set_issuer_name)                                             \
    X(X509_sign, X509_sign)                                                                   \
    X(X509_INFO_free, X509_INFO_free)                                                         \
    X(X509_CRL_dup, X509_CRL_dup)                                                             \
    X(X509_PKEY_free, X509_PKEY_free)                                                         \
    X(i2d_X509, i2d_X509)                                                                     \
    X(i2d_PrivateKey, i2d_PrivateKey)                                                         \
    X(PEM_write_bio_PrivateKey, PEM_write_bio_PrivateKey)                                     \
    X(PEM_read_bio_PrivateKey, PEM_read_bio_PrivateKey)                                       \
    X(X509_get_pubkey, X509_get_pubkey)                                                       \
    X(X509_PUBKEY_free, X509_PUBKEY_free)

#define EVQ_DECLARE_F(name, symbol) extern decltype(&::symbol) f_##name;
EVQ_LIBEAY_FUNCTIONS(EVQ_DECLARE_F)

// Unit state.
extern void* GLIBEAY_DLL_Handle;
extern std::string GLIBEAY_DLL_Name;       // the file to load; tests may point it elsewhere
extern std::string GLIBEAY_DLL_FileName;   // full path once loaded
extern unsigned long EVQ_OPENSSL_VERSION_NUMBER;
extern int MBSTRING_UNIV;
extern int MBSTRING_UTF8;

namespace EvqLIBEAY {
// Loads and binds the library; true when already loaded or when every name
// was bound. Raises EEvqLibeayException when the file cannot be loaded.
bool Load();
// The names still unbound, each after one blank.
std::string WhichFailedToLoad();
// Forgets the handle and every binding. Once the library has started it
// cannot be unmapped again, so only a failed load closes the file.
void Release(bool closeFile);
}  // namespace EvqLIBEAY

// The binding machinery both library units share.
struct EvqBinding {
    void** slot;
    const char* symbol;    // looked up in the library
    const char* reported;  // named by WhichFailedToLoad
};
struct EvqBindings {
    const EvqBinding* first;
    size_t count;
    const EvqBinding* begin() const { return first; }
    const EvqBinding* end() const { return first + count; }
};
// dlopen by name; on failure a null handle and the platform error number.
void* EvqOpenLibrary(const std::string& name, int& error);
// The full path of a loaded library, or Name when the loader cannot tell.
std::string EvqModulePath(void* handle, const std::string& name);
// Binds every entry; true when all were found.
bool EvqBindAll(void* handle, EvqBindings list);
void EvqUnbindAll(EvqBindings list);
std::string EvqUnbound(EvqBindings list);

// Sets the constants of both library units that depend on the crypto
// library's version number.
void EvqSetVersionConstants(unsigned long version);

// Library information texts.
std::string OpenSslVersion();
std::string OpenSslCompilerFlags();
std::string OpenSslBuiltOn();
std::string OpenSslPlatForm();
std::string OpenSslDir();

// BIO flag tests.
int BIO_get_flags(BIO* b);
bool BIO_should_read(BIO* b);
bool BIO_should_write(BIO* b);
bool BIO_should_io_special(BIO* b);
bool BIO_should_retry(BIO* b);
int BIO_retry_type(BIO* b);

// The validity times of a certificate; nil for a nil certificate.
const ASN1_TIME* f_Evq_X509_get_notBefore(const X509* x);
const ASN1_TIME* f_Evq_X509_get_notAfter(const X509* x);

// An ASN.1 UTCTime or GeneralizedTime as universal date-time. False, with
// MinDateTime as the result, when the text is not such a time.
bool Asn1ToUTDateTime(const ASN1_TIME* Asn1Time, rtl::TDateTime& UT);
// An ASN.1 string as text; UTF-8 and BMP strings become UTF-8, others are
// copied as they stand.
std::string Asn1ToString(const ASN1_STRING* AsnString);

// The text of the queued library errors: the first always, with Dump every
// further one after CR LF. First receives the first error code (0 if none).
std::string OpenSslErrorText(bool Dump, unsigned long& First);

}  // namespace net

#include "net/evqlibeay.h"

#include <dlfcn.h>
#include <link.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <string_view>

#include "platform/rtl/sysutils.h"

namespace net {

#define EVQ_DEFINE_F(name, symbol) decltype(&::symbol) f_##name = nullptr;
EVQ_LIBEAY_FUNCTIONS(EVQ_DEFINE_F)
#undef EVQ_DEFINE_F

void* GLIBEAY_DLL_Handle = nullptr;
std::string GLIBEAY_DLL_Name = "libcrypto.so.3";
std::string GLIBEAY_DLL_FileName = "*NOT LOADED*";
unsigned long EVQ_OPENSSL_VERSION_NUMBER = 0;
int MBSTRING_UNIV = 4099;
int MBSTRING_UTF8 = 4100;

namespace {

// Two names are reported by their pointer's name rather than the symbol's.
const char* reportedName(const char* pointer, const char* symbol) {
    if (std::strcmp(pointer, "f_sk_pop_free") == 0 || std::strcmp(pointer, "f_i2a_ASN1_OBJECT") == 0)
        return pointer;
    return symbol;
}

#define EVQ_BINDING(name, symbol) \
    {reinterpret_cast<void**>(&f_##name), #symbol, reportedName("f_" #name, #symbol)},
const EvqBinding kBindings[] = {EVQ_LIBEAY_FUNCTIONS(EVQ_BINDING)};
#undef EVQ_BINDING
const EvqBindings kList{kBindings, std::size(kBindings)};

// The loader reports why in words only; these are the reasons that name an
// error number. Anything else means the file is no library it can load.
int loaderError(const char* message) {
    static const struct {
        const char* text;
        int code;
    } reasons[] = {
        {": No such file or directory", ENOENT},
        {": Permission denied", EACCES},
        {": Not a directory", ENOTDIR},
        {": Is a directory", EISDIR},
    };
    const std::string_view m = message ? message : "";
    for (const auto& r : reasons)
        if (m.ends_with(r.text)) return r.code;
    return ENOEXEC;
}

}  // namespace

void* EvqOpenLibrary(const std::string& name, int& error) {
    void* h = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    error = h ? 0 : loaderError(dlerror());
    return h;
}

std::string EvqModulePath(void* handle, const std::string& name) {
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && *map->l_name) return map->l_name;
    return name;
}

bool EvqBindAll(void* handle, EvqBindings list) {
    bool all = true;
    for (const EvqBinding& b : list) {
        *b.slot = dlsym(handle, b.symbol);
        all = all && *b.slot;
    }
    return all;
}

void EvqUnbindAll(EvqBindings list) {
    for (const EvqBinding& b : list) *b.slot = nullptr;
}

std::string EvqUnbound(EvqBindings list) {
    std::string names;
    for (const EvqBinding& b : list)
        if (!*b.slot) names += std::string(" ") + b.reported;
    return names;
}

namespace EvqLIBEAY {

bool Load() {
    if (GLIBEAY_DLL_Handle) return true;
    EvqUnbindAll(kList);
    int err = 0;
    GLIBEAY_DLL_Handle = EvqOpenLibrary(GLIBEAY_DLL_Name, err);
    if (!GLIBEAY_DLL_Handle)
        throw EEvqLibeayException("Unable to load " + GLIBEAY_DLL_Name + ". Error #" + rtl::IntToStr(err));
    GLIBEAY_DLL_FileName = EvqModulePath(GLIBEAY_DLL_Handle, GLIBEAY_DLL_Name);

    // Without the version query nothing else is bound.
    if (!EvqBindAll(GLIBEAY_DLL_Handle, {kBindings, 1})) return false;
    EVQ_OPENSSL_VERSION_NUMBER = f_SSLeay();
    EvqSetVersionConstants(EVQ_OPENSSL_VERSION_NUMBER);
    return EvqBindAll(GLIBEAY_DLL_Handle, kList);
}

std::string WhichFailedToLoad() { return EvqUnbound(kList); }

void Release(bool closeFile) {
    if (closeFile && GLIBEAY_DLL_Handle) dlclose(GLIBEAY_DLL_Handle);
    GLIBEAY_DLL_Handle = nullptr;
    GLIBEAY_DLL_FileName = "*NOT LOADED*";
    EvqUnbindAll(kList);
}

}  // namespace EvqLIBEAY

namespace {

std::string versionText(int selector) {
    if (!f_SSLeay_version) return {};
    const char* s = f_SSLeay_version(selector);
    return s ? s : "";
}

}  // namespace

std::string OpenSslVersion() { return versionText(OPENSSL_VERSION); }
std::string OpenSslCompilerFlags() { return versionText(OPENSSL_CFLAGS); }
std::string OpenSslBuiltOn() { return versionText(OPENSSL_BUILT_ON); }
std::string OpenSslPlatForm() { return versionText(OPENSSL_PLATFORM); }
std::string OpenSslDir() { return versionText(OPENSSL_DIR); }

int BIO_get_flags(BIO* b) { return f_BIO_test_flags(b, ~0); }
bool BIO_should_read(BIO* b) { return f_BIO_test_flags(b, BIO_FLAGS_READ) != 0; }
bool BIO_should_write(BIO* b) { return f_BIO_test_flags(b, BIO_FLAGS_WRITE) != 0; }
bool BIO_should_io_special(BIO* b) { return f_BIO_test_flags(b, BIO_FLAGS_IO_SPECIAL) != 0; }
bool BIO_should_retry(BIO* b) { return f_BIO_test_flags(b, BIO_FLAGS_SHOULD_RETRY) != 0; }
int BIO_retry_type(BIO* b) { return f_BIO_test_flags(b, BIO_FLAGS_RWS); }

const ASN1_TIME* f_Evq_X509_get_notBefore(const X509* x) { return x ? f_X509_get0_notBefore(x) : nullptr; }
const ASN1_TIME* f_Evq_X509_get_notAfter(const X509* x) { return x ? f_X509_get0_notAfter(x) : nullptr; }

namespace {

bool allDigits(std::string_view s) {
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

int twoDigits(std::string_view s, size_t at) { return (s[at] - '0') * 10 + (s[at + 1] - '0'); }

// The two-digit year in the current century, from 50 on in the one before.
int pivotYear(int yy) {
    int year, month, day;
    rtl::DecodeDate(rtl::Date(), year, month, day);
    const int century = year / 100 * 100;
    return yy >= 50 ? century - 100 + yy : century + yy;
}

// A trailing "+hhmm" or "-hhmm" as minutes east of universal time; 0 when
// there is none or it is out of range.
int offsetMinutes(std::string_view s) {
    if (s.empty() || s.back() == 'Z') return 0;
    const size_t at = s.find_last_of("+-");
    if (at == std::string_view::npos) return 0;
    const int v = rtl::StrToIntDef(s.substr(at), 0);
    if (v == 0 || v < -1200 || v > 1300) return 0;
    return v / 100 * 60 + v % 100;
}

}  // namespace

bool Asn1ToUTDateTime(const ASN1_TIME* Asn1Time, rtl::TDateTime& UT) {
    UT = rtl::MinDateTime;
    if (!Asn1Time) return false;
    const int len = f_ASN1_STRING_length(Asn1Time);
    const unsigned char* data = f_ASN1_STRING_get0_data(Asn1Time);
    if (len < 10 || !data) return false;
    const std::string_view s(reinterpret_cast<const char*>(data), static_cast<size_t>(len));

    size_t at;  // where the month starts
    int year;
    switch (f_ASN1_STRING_type(Asn1Time)) {
    case V_ASN1_UTCTIME:
        if (!allDigits(s.substr(0, 10))) return false;
        year = pivotYear(twoDigits(s, 0));
        at = 2;
        break;
    case V_ASN1_GENERALIZEDTIME:
        if (s.size() <= 11 || !allDigits(s.substr(0, 12))) return false;
        year = twoDigits(s, 0) * 100 + twoDigits(s, 2);
        at = 4;
        break;
    default:
        return false;
    }
    const int month = twoDigits(s, at), day = twoDigits(s, at + 2);
    const int hour = twoDigits(s, at + 4), minute = twoDigits(s, at + 6);
    if (month < 1 || month > 12) return false;
    const size_t secAt = at + 8;
    const int second = s.size() >= secAt + 2 && allDigits(s.substr(secAt, 2)) ? twoDigits(s, secAt) : 0;

    // A day or time that does not exist is no time, not an error to raise.
    rtl::TDateTime date, time;
    if (!rtl::TryEncodeDate(year, month, day, date) || !rtl::TryEncodeTime(hour, minute, second, 0, time))
        return false;
    UT = date + time - offsetMinutes(s) / 1440.0;
    return true;
}

namespace {

// Big-endian UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string bmpToUtf8(const unsigned char* p, size_t len) {
    std::string out;
    const size_t units = len / 2;
    for (size_t i = 0; i < units; ++i) {
        uint32_t u = (uint32_t(p[2 * i]) << 8) | p[2 * i + 1];
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units) {
            const uint32_t lo = (uint32_t(p[2 * i + 2]) << 8) | p[2 * i + 3];
            if (lo >= 0xDC00 && lo < 0xE000) {
                u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            }
        }
        if (u >= 0xD800 && u < 0xE000) u = 0xFFFD;
        rtl::AppendUtf8(out, u);
    }
    return out;
}

}  // namespace

std::string Asn1ToString(const ASN1_STRING* AsnString) {
    if (!AsnString) return {};
    const unsigned char* data = f_ASN1_STRING_get0_data(AsnString);
    const int len = f_ASN1_STRING_length(AsnString);
    if (!data || len <= 0) return {};
    // The program's texts are UTF-8, so UTF-8 strings need no conversion.
    if (f_ASN1_STRING_type(AsnString) == V_ASN1_BMPSTRING) return bmpToUtf8(data, static_cast<size_t>(len));
    return std::string(reinterpret_cast<const char*>(data), static_cast<size_t>(len));
}

std::string OpenSslErrorText(bool Dump, unsigned long& First) {
    First = f_ERR_peek_error ? f_ERR_peek_error() : 0;
    if (!First) return {};
    // Wider than the historical 120 characters, which cut long reasons short.
    char buf[256];
    auto next = [&buf] {
        f_ERR_error_string_n(f_ERR_get_error(), buf, sizeof buf);
        return std::string(buf);
    };
    std::string text = next();
    if (Dump)
        while (f_ERR_peek_error()) text += "\r\n" + next();
    return text;
}

}  // namespace net

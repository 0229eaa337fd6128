// A DNS response as arbitrary bytes: the decoder must stay inside the message
// and keep its counters within the result arrays; every name it can read at
// any offset ends.
#include <cstdint>
#include <string>

#include "mail/dnsquery_msg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mail::TDnsResponse r;
    const mail::TDnsDecodeResult res = mail::DnsDecodeResponse(data, size, r);
    if (res != mail::TDnsDecodeResult::NotAResponse && size < 12) __builtin_trap();
    if (r.AnswerCount > mail::MAX_ANCOUNT || r.AnswerCount > r.ANCount || r.AddressCount > mail::MAX_ADDRESSES ||
        r.MXRecordCount > mail::MAX_MX_RECORDS || r.HostnameCount > mail::MAX_PTR_RECORDS)
        __builtin_trap();
    for (size_t pos = 0; pos < size && pos < 600; ++pos) {
        size_t p = pos;
        std::string name;
        if (mail::DnsExtractName(data, size, p, name) && (p > size || p <= pos || name.size() > 255)) __builtin_trap();
    }
    (void)mail::Loc2Geo(r.LocInfo);
    return 0;
}

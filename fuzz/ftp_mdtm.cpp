// An MDTM stamp as arbitrary bytes: the result is 0, -1 or a time that
// writes back as the same 14 digits.
#include <cstdint>
#include <string>

#include "mail/ftpsrvt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string in(reinterpret_cast<const char*>(data), size);
    const rtl::TDateTime t = mail::MDTM2Date(in);
    if (t == 0 || t == -1) return 0;
    if (in.size() < 14 || mail::TimeDateStr(t).substr(0, 14) != in.substr(0, 14)) __builtin_trap();
    return 0;
}

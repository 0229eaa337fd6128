#pragma once
// Checked zlib calls and the whole-buffer routines; the wildcard matcher
// every mask test of the archiver uses.
#include <string>
#include <string_view>

#include "platform/rtl/exceptions.h"

namespace zip {

RTL_EXCEPTION_CLASS(EZlibError, rtl::Exception);
RTL_EXCEPTION_CLASS(ECompressionError, EZlibError);
RTL_EXCEPTION_CLASS(EDecompressionError, EZlibError);

// The code when it is 0 or more; otherwise raises.
int CCheck(int code);
int DCheck(int code);

// A whole buffer in zlib format at the level.
std::string ZLIBCompressBuf(std::string_view in, int level);
// A whole zlib buffer; empty on any damage (nothing raised).
std::string ZLIBDecompressBuf(std::string_view in, size_t estimate);

// Wildcard match: "*" any run, "?" one character; IgnoreCase folds ASCII letters.
bool IsStrMatchPattern(std::string_view str, std::string_view pattern, bool ignoreCase);

}  // namespace zip

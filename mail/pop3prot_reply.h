#pragma once
// The readers of POP3 reply lines: numbers and unique ids.
#include <cstddef>
#include <cstdint>
#include <string>

namespace mail {

// Reads the two numbers of a reply such as "+OK 2 320" or a LIST line;
// false when either is missing or does not fit 63 bits.
bool Pop3ExtractNumbers(const std::string& Line, int64_t& N1, int64_t& N2);
// Reads the number and the unique id of a UIDL line; false when the number
// is missing or does not fit an int.
bool Pop3ExtractUidl(const std::string& Line, int& N1, std::string& Uidl);
// The first number of a reply ("+OK n ...") or of a listing line ("n ..."),
// at most Max, with nothing but blanks before it; I is left behind it.
bool Pop3ReadFirstNumber(const std::string& Line, size_t& I, int64_t Max, int64_t& N);

}  // namespace mail

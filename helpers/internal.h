#pragma once
// What the library's own files share and callers never see.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/fileio.h"

namespace helpers {
class TRegex;
}

namespace helpers::detail {

// The value of a hex digit (either case), -1 for any other character.
int hexval(char c);

// Remembers the errno value, or the whole failure, that lasterrtext reports.
void setlasterr(int err);
void setfailure(const rtl::TFileFailure& why);
// The failure lasterrtext reports, kept across the library's own reporting
// and logging, which may fail on their own.
class TLastErrorKeeper {
public:
    TLastErrorKeeper();
    ~TLastErrorKeeper();
    TLastErrorKeeper(const TLastErrorKeeper&) = delete;
    TLastErrorKeeper& operator=(const TLastErrorKeeper&) = delete;

private:
    rtl::TFileFailure kept_;
};
// A refusal of the program's own rules, told by lasterrtext: Name is a link
// where a file or folder was to be written.
void refuselink(const std::string& name);
// Whether the last failure was one of those refusals: trying again cannot help.
bool lasterrrefusal();
// Opens a regular file for reading without waiting on a pipe or device
// (refused); St receives its status. The descriptor, or -1 with lasterr set.
int openread(const std::string& name, struct stat& st);

// Opens a folder to work in. Below the program's own folders (homedir, the
// per-user folder) no part of the path may be a link (refused); elsewhere
// the folder is taken as named. With Create, missing folders are made,
// private to the user (0700). The descriptor, or -1 with lasterr set.
int openfolder(const std::string& folder, bool create);
// The same for the folder that holds Name; Leaf receives the name's last
// part. A name ending in "/" is refused (EISDIR).
int openparent(const std::string& name, std::string& leaf);
// Replaces Name with what Fill writes to the stream, as savetext does
// (beside it, then renamed over it; never through a link; a looser file is
// tightened to CreateMode). Reports nothing: false with lasterr set.
bool replacefile(const std::string& name, int createmode, const std::function<bool(FILE*)>& fill);
// The per-user folder once it has been worked out; empty before.
const std::string& userdatacached();

// Queries a file's status, waiting WaitMs (pumping messages) between
// attempts, at most MaxFailures of them. A missing file or folder, a denied
// path and the like fail at once: waiting cannot change them here. Returns
// 0 or the errno value of the last failure; Failures, when given, counts them.
int statretry(const std::string& name, struct stat& st, int maxfailures, int waitms, int* failures = nullptr);

// Every field of a text at once, by getdelimel's rules (csvdelimel's when
// Quotes is set, without touching fieldquoted). The empty text has one
// empty field.
std::vector<std::string> splitfields(std::string_view text, std::string_view delimiters, bool quotes);

// Whether every byte is below 0x80.
bool isascii(std::string_view text);

// What a text is: all ASCII, other valid UTF-8, or neither.
enum class TTextKind { ascii, utf8, bytes };
TTextKind textkind(std::string_view text);

// Lower case for ASCII and for the accented capitals of the Latin-1 range
// in UTF-8; the length never changes, so positions stay valid.
std::string lowerlatin(std::string_view text);

// The C library's reading of a decimal number: blanks, a sign, digits up to
// the first other character; 0 without digits, clamped on overflow.
int64_t atoi64(std::string_view text);

// True when the pattern starts with the regular-expression marker "KWRE:".
bool haskwre(std::string_view pattern);

// The compiled form of a filter pattern as rematchc reads it; none (after
// the report) when it does not compile.
std::shared_ptr<const TRegex> filterregex(std::string_view pattern, bool matchcase);

// Runs from byte Offset on (what lies before still counts for "^" and "\b").
// Kind is the text's textkind, given so that a caller running over one text
// many times reads it once. Start and End are 0-based, End past the match.
// A matcher failure is reported (a pattern that gives up on a text is
// logged once) and counts as no match.
bool rexecfrom(const TRegex& compiled, std::string_view text, TTextKind kind, size_t offset, size_t& start,
               size_t& end);

// How many times a pattern has been compiled in this run (each form counts).
uint64_t compilations();

// The caches utilexit releases.
void resetpatterns();
void resetpaths();
void resetsystem();
void resetcodepages();
void resetautolink();

}  // namespace helpers::detail

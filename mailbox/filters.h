#pragma once
// The spam and white lists: FilterPattern lines tested against a row. A
// white line starting with "#" is matched against To, any other against From.
#include <string>
#include <string_view>
#include <vector>

#include "helpers/kwutil.h"
#include "mailbox/msgrows.h"
#include "platform/rtl/classes.h"

namespace mailbox {

enum class TListKind { White, Spam };

// A pattern line that does not compile.
struct TBadPattern {
    int line;             // 1-based, in the list as given
    std::string pattern;  // as written in the file
    std::string error;    // the pattern compiler's words
};

// A pattern list compiled once for a whole marking run. Bad lines are kept
// aside with their errors, reported by nobody here, and match nothing.
class TFilterSet {
public:
    TFilterSet() = default;
    TFilterSet(const rtl::TStringList& lines, TListKind kind);

    // No pattern lines at all (a missing or empty file).
    bool Empty() const { return lineCount_ == 0; }
    const std::vector<TBadPattern>& BadLines() const { return bad_; }
    // One text naming FileName and each bad line with its error; empty when
    // every line compiled. The window shows it once per run.
    std::string BadLinesReport(std::string_view fileName) const;

private:
    friend bool IsWhiteRow(TRowStore&, int, const TFilterSet&);
    friend bool IsSpamRow(TRowStore&, int, const TFilterSet&);
    struct TPattern {
        std::string text;  // what Matched receives
        helpers::PRegex re;
        bool toField;      // a white "#" line: matched against To
    };
    std::vector<TPattern> patterns_;
    std::vector<TBadPattern> bad_;
    int lineCount_ = 0;
};

// The first white pattern that hits row R, written to its Matched; false
// when none does.
bool IsWhiteRow(TRowStore& store, int r, const TFilterSet& white);
// The first spam pattern that hits row R (its subject, To and first lines,
// as they are or cleaned of punctuation), written to its Matched. A row with
// nothing to test is spam ("/NO SUBJECT/"), but never a row whose TOP failed.
bool IsSpamRow(TRowStore& store, int r, const TFilterSet& spam);

struct TMarkCounts {
    int spam = 0;
    int white = 0;
};
// One marking step for row R: a white hit clears the mark, an existing mark
// counts as spam, a spam hit marks. Returns whether the row changed.
bool MarkRow(TRowStore& store, int r, const TFilterSet& white, const TFilterSet& spam, TMarkCounts& counts);

// The same over the lines as read, compiling them at each call; bad lines
// are skipped without a word. Kept for callers that have not moved to
// TFilterSet.
bool IsWhiteRow(TRowStore& store, int r, const rtl::TStringList& whiteList);
bool IsSpamRow(TRowStore& store, int r, const rtl::TStringList& spamList);
bool MarkRow(TRowStore& store, int r, const rtl::TStringList& whiteList, const rtl::TStringList& spamList,
             TMarkCounts& counts);

// A pattern file's lines, trimmed; empty when the file is missing.
void LoadPatternFile(const std::string& path, rtl::TStringList& list);

}  // namespace mailbox

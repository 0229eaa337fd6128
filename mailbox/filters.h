#pragma once
// The spam and white lists: FilterPattern lines tested against a row. A
// white line starting with "#" is matched against To, any other against From.
#include <string>

#include "mailbox/msgrows.h"
#include "platform/rtl/classes.h"

namespace mailbox {

// The first white pattern that hits row R, written to its Matched; false
// when none does.
bool IsWhiteRow(TRowStore& store, int r, const rtl::TStringList& whiteList);
// The first spam pattern that hits row R (its subject, To and first lines,
// as they are or cleaned of punctuation), written to its Matched. A row with
// nothing to test is spam ("/NO SUBJECT/"), but never a row whose TOP failed.
bool IsSpamRow(TRowStore& store, int r, const rtl::TStringList& spamList);

struct TMarkCounts {
    int spam = 0;
    int white = 0;
};
// One marking step for row R: a white hit clears the mark, an existing mark
// counts as spam, a spam hit marks. Returns whether the row changed.
bool MarkRow(TRowStore& store, int r, const rtl::TStringList& whiteList, const rtl::TStringList& spamList,
             TMarkCounts& counts);

// A pattern file's lines, trimmed; empty when the file is missing.
void LoadPatternFile(const std::string& path, rtl::TStringList& list);

}  // namespace mailbox

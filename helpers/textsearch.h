#pragma once
// One way of finding text for every search that a person starts: the find
// dialog in memos and edits, Find and Replace in the composer's body, and
// the search through stored messages. A pattern is read as rematchc reads
// it (a wildcard text, or a regular expression after "kwre:"); without
// regard to case, UTF-8 text folds every script's letters ("ŻÓŁĆ" finds
// "żółć"), other text folds ASCII only.
//
// Positions are 0-based byte offsets into the UTF-8 text, as the edit
// controls' selections count them. A search that is to start inside a
// character starts at the next character: a match never begins in the
// middle of one, and the letters before the start still count for "^" and
// "\b".
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace helpers {

struct textspan {
    size_t start = 0;   // byte offset of the match
    size_t length = 0;  // its length in bytes (a letter of other case may be longer or shorter)
};

// The first match at or after byte From; none when there is none, when the
// pattern is empty or when it is no valid expression (reported).
std::optional<textspan> textfind(std::string_view text, std::string_view pattern, size_t from, bool matchcase);

// The pattern that finds Text exactly as written (no wildcards).
std::string literalpattern(std::string_view text);

// Every occurrence of Search (exact text, case as asked) replaced in one
// pass from the start; Count is how many were replaced.
struct textreplaced {
    std::string text;
    int count = 0;
};
textreplaced textreplace(std::string_view text, std::string_view search, std::string_view replacement,
                         bool matchcase);

// Pos, or the start of the next character when Pos falls inside a UTF-8
// character (never past the text's end).
size_t charstart(std::string_view text, size_t pos);

}  // namespace helpers

#pragma once
// Builds a main dictionary file from a list of words (bytes of the
// dictionary's code page): the letter tree with single-child runs folded
// into a node's extra characters, children in ascending byte order, the
// first-letter table mirroring the root's children, and the linkage in the
// encoding its node count calls for. Every limit of the layout is checked;
// a list that does not fit is refused, never written cut short.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lxmc {

struct TLxmStats {
    uint64_t Words = 0, Nodes = 0, LinkageBytes = 0, FileBytes = 0;
    uint64_t ClassCounts[9] = {};
};

// Longest word the reader's searches walk, in bytes.
constexpr size_t MaxWordBytes = 256;

// The file's bytes for Words (duplicates ignored); false with Error when a
// word or the whole does not fit the layout. Title is UTF-8.
bool BuildLxm(std::vector<std::string> Words, std::string_view Title, int32_t Language, std::string& Out,
              TLxmStats& Stats, std::string& Error);

}  // namespace lxmc

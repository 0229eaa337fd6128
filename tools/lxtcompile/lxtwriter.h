#pragma once
// Builds a thesaurus file from its entries (bytes of the file's code page):
// a letter tree of every headword and listed word, in which a run of single
// children down to a word's end is a tail, and tails share their endings;
// each source word's node links to its entries once per non-empty list,
// with the list's number as the link's kind, in the order of their places. Every limit of the layout is checked; a
// set of entries that does not fit is refused, never written cut short.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "spell/lxformat.h"

namespace lxtc {

struct TLxtEntry {
    // The word whose lookup shows this entry.
    std::string Headword;
    std::vector<std::string> Lists[spell::lxt::Lists];
    // The word the entry is shown as (its context word); the headword when
    // empty.
    std::string Context{};
    // The words whose lookup shows this entry (one meaning is shared by the
    // words that have it), each with its place among that word's contexts;
    // the headword alone when empty.
    struct TSource {
        std::string Word;
        uint32_t Place = 0;
    };
    std::vector<TSource> Sources{};
};

struct TLxtStats {
    uint64_t Entries = 0, Words = 0, Nodes = 0, ChainNodes = 0, Links = 0;
    uint64_t LinkBytes = 0, IndexBytes = 0, FileBytes = 0;
};

using TKindNames = std::array<std::string, spell::lxt::Kinds>;

// The file's bytes for Entries, in their order (entry i is master entry i);
// false with Error when a text, a word or the whole does not fit.
bool BuildLxt(const std::vector<TLxtEntry>& Entries, std::string_view Name, const TKindNames& KindNames,
              std::string& Out, TLxtStats& Stats, std::string& Error);

}  // namespace lxtc

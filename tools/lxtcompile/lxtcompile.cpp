// lxtcompile: builds a thesaurus file from a MyThes data file (UTF-8).
//
//   lxtcompile --frequencies WORDNET_DIR [--common LIST]... [--entries N]
//              [--name TEXT] DATA OUTPUT
//
// The layout holds a fraction of a full thesaurus: at most 13,107 entries
// (16-bit links) and 65,536 tree nodes. Each entry is one meaning, shared by
// the words that have it (looking up "hi" or "hello" shows the same list),
// with the meaning's words in the list of its part of speech (noun, verb,
// adjective, adverb): the words of the meaning, then similar, related and
// generic terms, in the data's order; one word each (a phrase is left out),
// no antonyms, everything in Windows-1252 (a word the code page cannot hold
// is left out). An entry is shown as the commonest of its words other than
// the one that brought it in, so a word's meanings read apart.
//
// Which meanings: how common a headword is in real English text, from the
// sense-tagged counts WordNet ships (cntlist.rev, counted over the Brown
// corpus); an inflected form ("talking", "heard") counts half of its base
// form's count (WordNet's exception lists and its suffix rules). Counts
// within one power of two count as one (a few more or less is chance in a
// corpus that size); there words of the --common lists go first (in their
// order: the commonest list first), then higher counts, more meanings,
// file order. A word's meanings come in
// WordNet's order, commonest first; meaning i (from 0) of the headword of
// rank r comes at (r + 1) x (i + 1)^2, so every common word has its first
// meaning before the commonest have their later ones. The first N meanings
// (default: as many as fit) are kept.
#include <algorithm>
#include <bit>
#include <cstdlib>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "spell/lx3util.h"
#include "spell/lxcodepage.h"
#include "spell/lxformat.h"
#include "tools/lxtcompile/lxtwriter.h"

namespace {

int usage() {
    std::cerr << "usage: lxtcompile --frequencies WORDNET_DIR [--common LIST]... [--entries N] [--name TEXT] DATA "
                 "OUTPUT\n";
    return 2;
}

const lxtc::TKindNames kindNames = {"general", "noun", "verb", "adjective", "adverb"};

// The most entries 16-bit links reach (entry x 5 + kind 4 <= 65,535).
constexpr long kMaxEntries = (0xFFFF - 4) / spell::lxt::Kinds + 1;

// The list a meaning's part of speech goes to, or -1.
int listOf(const std::string& pos) {
    static const char* const tags[] = {"(noun)", "(verb)", "(adj)", "(adv)"};
    for (int i = 0; i < 4; ++i)
        if (pos == tags[i]) return i;
    return -1;
}

bool endsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

std::vector<std::string> split(const std::string& line, char by) {
    std::vector<std::string> out;
    size_t at = 0;
    for (size_t bar; (bar = line.find(by, at)) != std::string::npos; at = bar + 1) out.push_back(line.substr(at, bar - at));
    out.push_back(line.substr(at));
    return out;
}

bool readLines(const std::string& name, std::vector<std::string>& out, std::string& error) {
    std::string text;
    spell::TFileStamp stamp;
    if (!spell::ReadRegularFile(name, text, stamp, error)) return false;
    out = split(text, '\n');
    for (auto& l : out)
        if (!l.empty() && l.back() == '\r') l.pop_back();
    return true;
}

// A listed word as kept (converted, annotation removed), or empty when it is
// left out.
std::string listed(std::string s) {
    if (endsWith(s, " (antonym)")) return {};
    for (const char* note : {" (similar term)", " (related term)", " (generic term)"})
        if (endsWith(s, note)) s.resize(s.size() - std::string(note).size());
    std::string out;
    if (s.empty() || s.find(' ') != std::string::npos || !spell::Cp1252FromUtf8(s, out)) return {};
    return out;
}

struct Meaning {
    int list = 0;
    std::string key;                 // the same for every word that has it
    std::vector<std::string> words;  // Windows-1252, the headword first
};

struct Headword {
    std::string utf8, word;  // word: Windows-1252
    int meaningsInData = 0;
    size_t fileOrder = 0;
    std::vector<Meaning> meanings;  // those with a word besides the headword
};

// What tells one meaning from another: its part of speech and every term
// it names, the headword among them.
std::string meaningKey(const std::string& pos, const std::string& head, const std::vector<std::string>& fields) {
    std::set<std::string> terms = {head};
    for (size_t f = 1; f < fields.size(); ++f)
        if (!endsWith(fields[f], " (antonym)")) terms.insert(fields[f].substr(0, fields[f].find(" (")));
    std::string key = pos;
    for (const auto& t : terms) key += "\x1f" + t;
    return key;
}

bool readData(const std::string& name, std::vector<Headword>& out, std::string& error) {
    std::vector<std::string> lines;
    if (!readLines(name, lines, error)) return false;
    if (lines.empty() || lines[0] != "UTF-8") {
        error = name + " is not a UTF-8 MyThes data file";
        return false;
    }
    size_t i = 1;
    while (i < lines.size()) {
        const std::string& line = lines[i];
        if (line.empty() && i + 1 == lines.size()) break;
        const size_t bar = line.rfind('|');
        char* end = nullptr;
        const long count = bar == std::string::npos ? -1 : std::strtol(line.c_str() + bar + 1, &end, 10);
        if (count < 0 || *end != '\0' || i + static_cast<size_t>(count) >= lines.size()) {
            error = name + ":" + std::to_string(i + 1) + ": a headword line and its meanings were expected";
            return false;
        }
        Headword h;
        h.utf8 = line.substr(0, bar);
        h.meaningsInData = static_cast<int>(count);
        h.fileOrder = out.size();
        const bool single = h.utf8.find(' ') == std::string::npos && spell::Cp1252FromUtf8(h.utf8, h.word);
        for (long m = 1; m <= count && single; ++m) {
            const auto fields = split(lines[i + static_cast<size_t>(m)], '|');
            Meaning meaning;
            meaning.list = listOf(fields[0]);
            if (meaning.list < 0) continue;
            meaning.key = meaningKey(fields[0], h.utf8, fields);
            meaning.words.push_back(h.word);
            for (size_t f = 1; f < fields.size(); ++f) {
                const std::string w = listed(fields[f]);
                if (!w.empty() && std::find(meaning.words.begin(), meaning.words.end(), w) == meaning.words.end())
                    meaning.words.push_back(w);
            }
            if (meaning.words.size() > 1) h.meanings.push_back(std::move(meaning));
        }
        if (!h.meanings.empty()) out.push_back(std::move(h));
        i += static_cast<size_t>(count) + 1;
    }
    return true;
}

// How common words are: WordNet's sense-tagged counts by lemma, and its
// lists of irregular forms.
class Frequencies {
public:
    bool Load(const std::string& dir, std::string& error) {
        std::vector<std::string> lines;
        if (!readLines(dir + "/cntlist.rev", lines, error)) return false;
        for (const auto& l : lines) {
            const auto f = split(l, ' ');
            const size_t pct = f[0].find('%');
            if (f.size() != 3 || pct == std::string::npos) continue;
            std::string lemma = f[0].substr(0, pct);
            std::replace(lemma.begin(), lemma.end(), '_', ' ');
            counts_[lemma] += std::strtoull(f[2].c_str(), nullptr, 10);
        }
        if (counts_.empty()) {
            error = dir + "/cntlist.rev holds no counts";
            return false;
        }
        for (const char* pos : {"noun", "verb", "adj", "adv"}) {
            if (!readLines(dir + "/" + pos + ".exc", lines, error)) return false;
            for (const auto& l : lines) {
                const auto f = split(l, ' ');
                if (f.size() >= 2) irregular_.emplace(f[0], f[1]);
            }
        }
        return true;
    }

    // The word's own count, or half its base form's when that is more.
    uint64_t Score(const std::string& word) const {
        uint64_t best = count(word);
        for (const auto& base : bases(word)) best = std::max(best, count(base) / 2);
        return best;
    }

private:
    uint64_t count(const std::string& w) const {
        const auto it = counts_.find(w);
        return it == counts_.end() ? 0 : it->second;
    }
    // The forms an inflected word may come from.
    std::vector<std::string> bases(const std::string& w) const {
        std::vector<std::string> out;
        const auto range = irregular_.equal_range(w);
        for (auto it = range.first; it != range.second; ++it) out.push_back(it->second);
        static const std::pair<const char*, const char*> rules[] = {
            {"ies", "y"}, {"es", ""}, {"s", ""}, {"ing", ""}, {"ing", "e"}, {"ied", "y"},
            {"ed", ""},   {"ed", "e"}, {"er", ""}, {"est", ""}, {"ly", ""}};
        for (const auto& [suffix, replacement] : rules) {
            const std::string s = suffix;
            if (w.size() <= s.size() + 1 || !endsWith(w, s)) continue;
            std::string base = w.substr(0, w.size() - s.size()) + replacement;
            out.push_back(base);
            // "stopped", "running": the doubled consonant goes too.
            if (*replacement == '\0' && base.size() > 2 && base[base.size() - 1] == base[base.size() - 2])
                out.push_back(base.substr(0, base.size() - 1));
        }
        return out;
    }

    std::unordered_map<std::string, uint64_t> counts_;
    std::unordered_multimap<std::string, std::string> irregular_;
};

// One meaning as the file may keep it.
struct Synset {
    int list = 0;
    std::vector<std::string> words;
    uint64_t priority = UINT64_MAX;
    size_t first = 0;  // the rank of the headword that brings it in
    std::vector<std::pair<size_t, uint32_t>> sources;  // (headword rank, place among its meanings)
};

}  // namespace

int main(int argc, char** argv) {
    std::string input, output, nameUtf8 = "English", wordnet, error;
    std::vector<std::string> commonLists;
    long entryCount = kMaxEntries;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--entries" && i + 1 < argc) {
            entryCount = std::strtol(argv[++i], nullptr, 10);
        } else if (a == "--name" && i + 1 < argc) {
            nameUtf8 = argv[++i];
        } else if (a == "--frequencies" && i + 1 < argc) {
            wordnet = argv[++i];
        } else if (a == "--common" && i + 1 < argc) {
            commonLists.push_back(argv[++i]);
        } else if (!a.empty() && a[0] == '-') {
            return usage();
        } else if (input.empty()) {
            input = a;
        } else if (output.empty()) {
            output = a;
        } else {
            return usage();
        }
    }
    std::string name;
    if (input.empty() || output.empty() || wordnet.empty() || entryCount < 0) return usage();
    if (!spell::Cp1252FromUtf8(nameUtf8, name)) {
        std::cerr << "lxtcompile: the name is not in Windows-1252\n";
        return 1;
    }

    std::vector<Headword> headwords;
    Frequencies frequencies;
    if (!readData(input, headwords, error) || !frequencies.Load(wordnet, error)) {
        std::cerr << "lxtcompile: " << error << "\n";
        return 1;
    }
    // A word of an earlier --common list is commoner.
    std::unordered_map<std::string, size_t> commonClass;
    for (size_t c = 0; c < commonLists.size(); ++c) {
        std::vector<std::string> lines;
        if (!readLines(commonLists[c], lines, error)) {
            std::cerr << "lxtcompile: " << error << "\n";
            return 1;
        }
        for (const auto& l : lines) commonClass.emplace(l, c);
    }
    const auto classOf = [&](const Headword& h) {
        const auto it = commonClass.find(h.utf8);
        return it == commonClass.end() ? commonLists.size() : it->second;
    };
    std::vector<uint64_t> score(headwords.size());
    for (size_t i = 0; i < headwords.size(); ++i) score[i] = frequencies.Score(headwords[i].utf8);
    std::vector<size_t> ranked(headwords.size());
    for (size_t i = 0; i < ranked.size(); ++i) ranked[i] = i;
    // Counts of a few are chance in a corpus this size: within one power of
    // two the lists tell more.
    const auto tier = [&](size_t i) { return std::bit_width(score[i]); };
    std::sort(ranked.begin(), ranked.end(), [&](size_t a, size_t b) {
        const Headword &x = headwords[a], &y = headwords[b];
        if (tier(a) != tier(b)) return tier(a) > tier(b);
        if (classOf(x) != classOf(y)) return classOf(x) < classOf(y);
        if (score[a] != score[b]) return score[a] > score[b];
        if (x.meaningsInData != y.meaningsInData) return x.meaningsInData > y.meaningsInData;
        return x.fileOrder < y.fileOrder;
    });

    std::map<std::string, size_t> byKey;
    std::vector<Synset> synsets;
    for (size_t r = 0; r < ranked.size(); ++r) {
        const Headword& h = headwords[ranked[r]];
        for (size_t m = 0; m < h.meanings.size(); ++m) {
            const Meaning& meaning = h.meanings[m];
            const auto [at, isNew] = byKey.emplace(meaning.key, synsets.size());
            if (isNew) synsets.push_back({meaning.list, meaning.words, UINT64_MAX, r, {}});
            Synset& s = synsets[at->second];
            const uint64_t priority = (r + 1) * (m + 1) * (m + 1);
            if (priority < s.priority) s.priority = priority;
            if (s.sources.empty() || s.sources.back().first != r) s.sources.emplace_back(r, static_cast<uint32_t>(m));
        }
    }
    std::vector<size_t> order(synsets.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return synsets[a].priority < synsets[b].priority; });

    // The first N meanings as entries; N as large as the layout holds.
    const auto entriesFor = [&](size_t n) {
        std::vector<lxtc::TLxtEntry> entries;
        for (size_t k = 0; k < n && k < order.size(); ++k) {
            const Synset& s = synsets[order[k]];
            lxtc::TLxtEntry e;
            e.Headword = headwords[ranked[s.first]].word;
            e.Lists[s.list] = s.words;
            // Shown as its commonest word besides the one that brought it
            // (the sources come commonest first), else its next word.
            e.Context = s.words[1];
            bool shown = false;
            for (const auto& [rank, place] : s.sources) {
                if (rank != s.first && !shown) {
                    e.Context = headwords[ranked[rank]].word;
                    shown = true;
                }
                e.Sources.push_back({headwords[ranked[rank]].word, place});
            }
            entries.push_back(std::move(e));
        }
        return entries;
    };
    size_t low = 0, high = std::min(order.size(), static_cast<size_t>(entryCount));
    std::string bytes;
    lxtc::TLxtStats stats;
    if (!lxtc::BuildLxt(entriesFor(high), name, kindNames, bytes, stats, error)) {
        // Refused: the most that still fit, unless a number was asked for.
        if (entryCount != kMaxEntries) {
            std::cerr << "lxtcompile: " << error << " (nothing written)\n";
            return 1;
        }
        while (low + 1 < high) {
            const size_t mid = (low + high) / 2;
            std::string probe, why;
            lxtc::TLxtStats s;
            if (lxtc::BuildLxt(entriesFor(mid), name, kindNames, probe, s, why)) low = mid;
            else high = mid;
        }
        high = low;
    }
    const std::vector<lxtc::TLxtEntry> entries = entriesFor(high);
    std::set<std::string> kept;
    for (const auto& e : entries)
        for (const auto& source : e.Sources) kept.insert(source.Word);
    if (!lxtc::BuildLxt(entries, name, kindNames, bytes, stats, error)) {
        std::cerr << "lxtcompile: " << error << " (nothing written)\n";
        return 1;
    }
    if (!spell::WriteFileAtomic(output, bytes, 0644, error)) {
        std::cerr << "lxtcompile: " << error << "\n";
        return 1;
    }
    std::cout << "lxtcompile: " << output << ": " << kept.size() << " headwords, " << stats.Entries
              << " meanings, " << stats.Words << " words, " << stats.Links << " links, " << stats.Nodes << " nodes ("
              << stats.ChainNodes << " in tails), " << stats.LinkBytes << " link bytes, " << stats.IndexBytes
              << " index bytes, " << stats.FileBytes << " bytes\n";
    return 0;
}

// The thesaurus writer.
#include "tools/lxtcompile/lxtwriter.h"

#include <algorithm>
#include <deque>
#include <map>
#include <set>

namespace lxtc {

using namespace spell::lxt;

namespace {

struct TrieNode {
    unsigned char c = 0;
    bool eow = false;
    uint32_t parent = 0, depth = 0;
    uint64_t below = 0;              // words ending here or further down
    std::vector<uint32_t> children;  // ascending by character
};

void put(std::string& out, uint64_t v, int width) {
    for (int i = 0; i < width; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

bool fail(std::string& error, const std::string& what) {
    error = what;
    return false;
}

class Writer {
public:
    Writer(const std::vector<TLxtEntry>& entries, TLxtStats& stats, std::string& error)
        : entries_(entries), stats_(stats), error_(error) {}

    bool build(std::string_view name, const TKindNames& kinds, std::string& out);

private:
    bool collectWords();
    void buildTrie();
    bool numberNodes();
    bool gatherLinks();
    bool writeRecords(std::string& nodes, std::string& links);
    bool writeEntries(std::string& master, std::string& index);
    // Below a tail node every word of its subtree is the one word.
    bool tailable(uint32_t t) const { return trie_[t].below == 1 && !trie_[t].eow; }
    bool isTail(uint32_t t) const { return t != 0 && tailable(t) && (trie_[t].parent == 0 || !tailable(trie_[t].parent)); }
    uint32_t wordNode(const std::string& w) const;

    const std::vector<TLxtEntry>& entries_;
    TLxtStats& stats_;
    std::string& error_;
    std::set<std::string> words_;
    std::vector<TrieNode> trie_;
    std::vector<uint32_t> spine_;         // trie nodes in node-number order
    std::vector<uint32_t> number_;        // trie node -> node number
    std::map<uint32_t, std::string> tails_;  // tail trie node -> its tail text
    std::map<std::string, uint32_t> chains_;  // tail ending -> node number
    std::vector<std::string> chainOrder_;
    std::vector<std::vector<uint16_t>> links_;  // by node number
};

bool Writer::collectWords() {
    for (const auto& e : entries_) {
        words_.insert(e.Headword);
        if (!e.Context.empty()) words_.insert(e.Context);
        for (const auto& source : e.Sources) words_.insert(source.Word);
        for (const auto& list : e.Lists) words_.insert(list.begin(), list.end());
    }
    for (const auto& w : words_) {
        if (w.empty()) return fail(error_, "an empty word cannot be stored");
        if (w.size() > MaxWordBytes) return fail(error_, "a word is longer than 255 bytes: " + w.substr(0, 40) + "...");
    }
    stats_.Words = words_.size();
    return true;
}

void Writer::buildTrie() {
    trie_.assign(1, TrieNode{});
    // In byte order every new child comes after its siblings.
    for (const auto& w : words_) {
        uint32_t at = 0;
        for (const char ch : w) {
            const auto c = static_cast<unsigned char>(ch);
            const auto& kids = trie_[at].children;
            if (!kids.empty() && trie_[kids.back()].c == c) {
                at = kids.back();
                continue;
            }
            TrieNode n;
            n.c = c;
            n.parent = at;
            n.depth = trie_[at].depth + 1;
            trie_.push_back(n);
            const auto made = static_cast<uint32_t>(trie_.size() - 1);
            trie_[at].children.push_back(made);
            at = made;
        }
        trie_[at].eow = true;
    }
    // Children come after their parents, so one backward pass sums them.
    for (size_t i = trie_.size(); i-- > 0;) {
        trie_[i].below += trie_[i].eow;
        if (i != 0) trie_[trie_[i].parent].below += trie_[i].below;
    }
}

bool Writer::numberNodes() {
    number_.assign(trie_.size(), 0);
    std::deque<uint32_t> queue{0};
    while (!queue.empty()) {
        const uint32_t t = queue.front();
        queue.pop_front();
        number_[t] = static_cast<uint32_t>(spine_.size());
        spine_.push_back(t);
        if (isTail(t)) {
            std::string tail;
            for (uint32_t d = t; !trie_[d].children.empty();) {
                d = trie_[d].children.front();
                tail += static_cast<char>(trie_[d].c);
            }
            tails_[t] = tail;
            continue;
        }
        for (const uint32_t k : trie_[t].children) queue.push_back(k);
    }
    // Each distinct ending gets one chain node, pointing at the next shorter.
    for (const auto& [t, tail] : tails_)
        for (size_t j = tail.size(); j-- > 0;) {
            const std::string ending = tail.substr(j);
            if (chains_.count(ending)) continue;
            chains_[ending] = static_cast<uint32_t>(spine_.size() + chainOrder_.size());
            chainOrder_.push_back(ending);
        }
    stats_.Nodes = spine_.size() + chainOrder_.size();
    stats_.ChainNodes = chainOrder_.size();
    if (stats_.Nodes > MaxNodes)
        return fail(error_, "the words need " + std::to_string(stats_.Nodes) + " nodes, more than the 65,536 the file can number");
    return true;
}

// The node a word is spelt from: its own end or the tail node above it.
uint32_t Writer::wordNode(const std::string& w) const {
    uint32_t at = 0;
    for (const char ch : w) {
        for (const uint32_t k : trie_[at].children)
            if (trie_[k].c == static_cast<unsigned char>(ch)) at = k;
        if (tails_.count(at)) break;
    }
    return number_[at];
}

bool Writer::gatherLinks() {
    // Per node: (place, link) in entry order, then ordered by place.
    std::vector<std::vector<std::pair<uint32_t, uint16_t>>> placed(stats_.Nodes);
    std::vector<uint64_t> lookupWords(stats_.Nodes, 0);
    for (size_t e = 0; e < entries_.size(); ++e) {
        const TLxtEntry& entry = entries_[e];
        std::vector<TLxtEntry::TSource> sources = entry.Sources;
        if (sources.empty()) sources.push_back({entry.Headword, 0});
        uint64_t words = 0;
        for (const auto& list : entry.Lists) words += list.size();
        for (const auto& source : sources) {
            const uint32_t node = wordNode(source.Word);
            for (int k = 1; k < Kinds; ++k) {
                if (entry.Lists[k - 1].empty()) continue;
                const uint64_t link = static_cast<uint64_t>(e) * Kinds + k;
                if (link > MaxLink)
                    return fail(error_, "entry " + std::to_string(e + 1) +
                                            " is past the 16-bit links (at most 13,107 entries)");
                placed[node].emplace_back(source.Place, static_cast<uint16_t>(link));
                if (placed[node].size() > MaxCount) return fail(error_, "more than 255 links on " + source.Word);
                lookupWords[node] += words;
                if (lookupWords[node] > MaxLookupWords)
                    return fail(error_, "a lookup of " + source.Word + " would bring more than 65,536 words");
                ++stats_.Links;
            }
        }
    }
    links_.assign(stats_.Nodes, {});
    for (size_t n = 0; n < placed.size(); ++n) {
        std::stable_sort(placed[n].begin(), placed[n].end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [place, link] : placed[n]) links_[n].push_back(link);
    }
    return true;
}

bool Writer::writeRecords(std::string& nodes, std::string& links) {
    const auto begin = [&](unsigned char c, uint32_t flags, uint32_t& word) {
        if (links.size() > MaxOffset) return fail(error_, "the link data grows past its 20-bit offsets");
        word = static_cast<uint32_t>(c) << 24 | flags | static_cast<uint32_t>(links.size());
        return true;
    };
    const auto children = [&](const std::vector<uint32_t>& kids, uint32_t& word) {
        if (kids.size() == 1) {
            word |= OneChild;
        } else {
            if (kids.size() > MaxCount) return fail(error_, "a node has more than 255 children");
            put(links, kids.size(), 1);
        }
        for (const uint32_t k : kids) put(links, k, 2);
        return true;
    };
    for (uint32_t n = 0; n < spine_.size(); ++n) {
        const TrieNode& t = trie_[spine_[n]];
        const auto tail = tails_.find(spine_[n]);
        uint32_t word = 0;
        if (!begin(t.c, (t.eow ? EndsWord : 0) | (tail != tails_.end() ? HasTail : 0), word)) return false;
        std::vector<uint32_t> kids;
        if (tail != tails_.end()) {
            kids.push_back(chains_.at(tail->second));
        } else {
            for (const uint32_t k : t.children) kids.push_back(number_[k]);
        }
        if (!children(kids, word)) return false;
        // First-level nodes spell from the root, which adds no character.
        if (t.depth >= 2) {
            word |= HasParent;
            put(links, number_[t.parent], 2);
        }
        if (t.eow || tail != tails_.end()) {
            put(links, links_[n].size(), 1);
            for (const uint16_t l : links_[n]) put(links, l, 2);
        }
        put(nodes, word, 4);
    }
    // Chain nodes are shared by tails, have no parent and end nothing.
    for (const auto& ending : chainOrder_) {
        uint32_t word = 0;
        if (!begin(static_cast<unsigned char>(ending[0]), 0, word)) return false;
        std::vector<uint32_t> kids;
        if (ending.size() > 1) kids.push_back(chains_.at(ending.substr(1)));
        if (!children(kids, word)) return false;
        put(nodes, word, 4);
    }
    stats_.LinkBytes = links.size();
    return true;
}

bool Writer::writeEntries(std::string& master, std::string& index) {
    if (entries_.size() > 0xFFFF) return fail(error_, "more than 65,535 entries");
    for (const auto& e : entries_) {
        put(master, wordNode(e.Context.empty() ? e.Headword : e.Context), 2);
        for (const auto& list : e.Lists) {
            if (list.size() > 0xFFFF) return fail(error_, "a list of " + e.Headword + " holds more than 65,535 words");
            put(master, list.size(), 2);
        }
        if (index.size() > 0xFFFFFFFFu) return fail(error_, "the index data grows past its 32-bit offsets");
        put(master, index.size(), 4);
        for (const auto& list : e.Lists)
            for (const auto& w : list) put(index, wordNode(w), 2);
    }
    stats_.IndexBytes = index.size();
    return true;
}

bool Writer::build(std::string_view name, const TKindNames& kinds, std::string& out) {
    if (name.size() > 255) return fail(error_, "the name is longer than 255 bytes");
    for (const auto& k : kinds)
        if (k.size() > 255) return fail(error_, "a kind name is longer than 255 bytes");
    stats_.Entries = entries_.size();
    if (!collectWords()) return false;
    buildTrie();
    std::string nodes, links, master, index;
    if (!numberNodes() || !gatherLinks() || !writeRecords(nodes, links) || !writeEntries(master, index)) return false;
    if (links.size() > 0xFFFFFFFFu) return fail(error_, "the link data is past 4 GiB");

    out.assign(spell::LxtBanner);
    out.resize(HeaderBytes, '\0');
    put(out, name.size(), 1);
    out += name;
    for (const auto& k : kinds) {
        put(out, k.size(), 1);
        out += k;
    }
    put(out, stats_.Nodes, 4);
    out += nodes;
    put(out, links.size(), 4);
    out += links;
    put(out, entries_.size(), 2);
    out += master;
    put(out, index.size(), 4);
    out += index;
    stats_.FileBytes = out.size();
    return true;
}

}  // namespace

bool BuildLxt(const std::vector<TLxtEntry>& Entries, std::string_view Name, const TKindNames& KindNames,
              std::string& Out, TLxtStats& Stats, std::string& Error) {
    Stats = {};
    Out.clear();
    Writer w(Entries, Stats, Error);
    if (w.build(Name, KindNames, Out)) return true;
    Out.clear();
    return false;
}

}  // namespace lxtc

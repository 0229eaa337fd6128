// The main dictionary writer.
#include "tools/lxmcompile/lxmwriter.h"

#include <algorithm>
#include <array>

#include "spell/lxcodepage.h"
#include "spell/lxformat.h"

namespace lxmc {

using namespace spell::lxm;

namespace {

struct TrieNode {
    unsigned char c = 0;
    bool eow = false;
    std::vector<uint32_t> children;  // ascending by character
};

// A node as written: a trie node, the characters folded into it and the
// trie node whose children it carries.
struct Packed {
    uint32_t trie = 0, last = 0;
    std::string extra;
    uint32_t index = 0;
};

void put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// UTF-8 to UTF-16 code units; false on a malformed text.
bool utf16(std::string_view s, std::u16string& out) {
    for (size_t i = 0; i < s.size();) {
        uint32_t code = 0;
        if (!spell::NextUtf8(s, i, code)) return false;
        if (code >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return true;
}

}  // namespace

bool BuildLxm(std::vector<std::string> Words, std::string_view Title, int32_t Language, std::string& Out,
              TLxmStats& Stats, std::string& Error) {
    Stats = {};
    std::u16string title;
    if (!utf16(Title, title) || title.size() > 255) {
        Error = "the title must be UTF-8 of at most 255 UTF-16 units";
        return false;
    }
    // Byte order (std::string compares as unsigned bytes), so children come
    // out ascending.
    std::sort(Words.begin(), Words.end());
    Words.erase(std::unique(Words.begin(), Words.end()), Words.end());
    std::vector<TrieNode> trie(1);
    for (const std::string& w : Words) {
        if (w.empty() || w.size() > MaxWordBytes || w.find('\0') != std::string::npos) {
            Error = "a word must have 1 to " + std::to_string(MaxWordBytes) + " bytes and no zero byte: \"" + w + "\"";
            return false;
        }
        uint32_t at = 0;
        for (const char ch : w) {
            const unsigned char c = static_cast<unsigned char>(ch);
            auto& kids = trie[at].children;
            if (!kids.empty() && trie[kids.back()].c == c) {
                at = kids.back();
                continue;
            }
            trie.push_back({c, false, {}});
            const uint32_t n = static_cast<uint32_t>(trie.size() - 1);
            trie[at].children.push_back(n);
            at = n;
        }
        trie[at].eow = true;
    }
    Stats.Words = Words.size();

    // Fold single-child runs below the first level; a folded character
    // never ends a word, and the run ends at a node with other children.
    std::vector<Packed> packed;
    std::vector<uint32_t> packedOf(trie.size(), UINT32_MAX);
    std::vector<std::pair<uint32_t, int>> stack{{0, 0}};
    while (!stack.empty()) {
        const auto [t, depth] = stack.back();
        stack.pop_back();
        Packed p{t, t, {}, 0};
        if (depth >= 2) {
            while (p.extra.size() < Classes - 1 && trie[p.last].children.size() == 1 &&
                   !trie[trie[p.last].children[0]].eow) {
                p.last = trie[p.last].children[0];
                p.extra += static_cast<char>(trie[p.last].c);
            }
        }
        packedOf[t] = static_cast<uint32_t>(packed.size());
        packed.push_back(p);
        const auto& kids = trie[p.last].children;
        for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack.push_back({*it, depth + 1});
    }
    // Indexes: class by class, the root first in class 0.
    uint64_t next = 0;
    for (int k = 0; k < Classes; ++k) {
        for (auto& p : packed)
            if (p.extra.size() == static_cast<size_t>(k)) p.index = static_cast<uint32_t>(next++);
        Stats.ClassCounts[k] = 0;
    }
    for (const auto& p : packed) ++Stats.ClassCounts[p.extra.size()];
    Stats.Nodes = packed.size();
    if (Stats.Nodes > MaxReference) {
        Error = "the tree needs " + std::to_string(Stats.Nodes) + " nodes; the layout holds " +
                std::to_string(MaxReference);
        return false;
    }
    const bool wide = Stats.Nodes >= WideLinkage;

    std::string linkage;
    const auto putIndex = [&](uint32_t i) {
        if (!wide) {
            linkage += static_cast<char>(i & 0xFF);
            linkage += static_cast<char>(i >> 8);
        } else if (i < 0x8000) {
            linkage += static_cast<char>(0x80 | (i >> 8));
            linkage += static_cast<char>(i & 0xFF);
        } else {
            linkage += static_cast<char>(i >> 16);
            linkage += static_cast<char>((i >> 8) & 0xFF);
            linkage += static_cast<char>(i & 0xFF);
        }
    };
    // Each node's value, and where its children's indexes start (for the
    // first-letter table).
    std::vector<uint32_t> value(packed.size());
    std::vector<uint32_t> listAt(packed.size(), 0);
    for (size_t n = 0; n < packed.size(); ++n) {
        const Packed& p = packed[n];
        const auto& kids = trie[p.last].children;
        const uint32_t count = static_cast<uint32_t>(kids.size());
        uint32_t ref = NoChildren, field = 0;
        if (count == 1) {
            ref = packed[packedOf[kids[0]]].index;
            field = 1;
        } else if (count > 1) {
            ref = static_cast<uint32_t>(linkage.size());
            // A count byte at NoChildren would read as "no children".
            if (linkage.size() >= MaxReference) {
                Error = "the linkage block outgrows its 20-bit offsets";
                return false;
            }
            if (count > MaxDirectCount) {
                linkage += static_cast<char>(count);
                listAt[n] = ref + 1;
            } else {
                field = count;
                listAt[n] = ref;
            }
            for (const uint32_t k : kids) putIndex(packed[packedOf[k]].index);
        }
        value[n] = MakeNode(trie[p.trie].c, ref, field, trie[p.trie].eow);
    }
    Stats.LinkageBytes = linkage.size();

    // The first-letter table: the root's children and their own children.
    std::string letters(FirstLetterTable, '\0');
    for (const uint32_t k : trie[0].children) {
        const uint32_t n = packedOf[k];
        const auto& kids = trie[packed[n].last].children;
        char* e = letters.data() + 8 * trie[k].c;
        e[0] = trie[k].eow ? 1 : 0;
        e[1] = static_cast<char>(kids.size());
        const uint32_t ref = kids.size() == 1 ? packed[packedOf[kids[0]]].index : kids.empty() ? 0 : listAt[n];
        for (int i = 0; i < 4; ++i) e[4 + i] = static_cast<char>((ref >> (8 * i)) & 0xFF);
    }

    Out.assign(spell::LxmBanner);
    Out.resize(BannerBlock, '\0');
    Out += static_cast<char>(title.size());
    for (const char16_t u : title + u'\0') {
        Out += static_cast<char>(u & 0xFF);
        Out += static_cast<char>(u >> 8);
    }
    put32(Out, static_cast<uint32_t>(Language));
    put32(Out, static_cast<uint32_t>(Stats.Words));
    put32(Out, static_cast<uint32_t>(Stats.Nodes));
    for (const uint64_t c : Stats.ClassCounts) put32(Out, static_cast<uint32_t>(c));
    std::vector<size_t> order(packed.size());
    for (size_t n = 0; n < packed.size(); ++n) order[packed[n].index] = n;
    for (const size_t n : order) {
        put32(Out, value[n]);
        Out += packed[n].extra;
    }
    put32(Out, static_cast<uint32_t>(linkage.size()));
    Out += linkage;
    Out += letters;
    Out.append(TrailingBlock, '\0');
    Stats.FileBytes = Out.size();
    return true;
}

}  // namespace lxmc

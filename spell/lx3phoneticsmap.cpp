// Phonetic codes and their rule tables.
#include "spell/lx3phoneticsmap.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "spell/lxcase.h"
#include "spell/lxcodepage.h"

namespace spell {

void TReplaceNode::ClearMap() {
    for (auto& c : children_) c.reset();
    hasChildren_ = destination_ = false;
    dest_.clear();
    sourceLength_ = 0;
}

void TReplaceNode::AddMap(std::string_view Source, std::string_view Dest, int SourceLength) {
    TReplaceNode* node = this;
    for (const unsigned char c : Source) {
        node->hasChildren_ = true;
        auto& child = node->children_[c];
        if (!child) child = std::make_unique<TReplaceNode>();
        node = child.get();
    }
    node->destination_ = true;
    node->dest_ = std::string(Dest);
    node->sourceLength_ = SourceLength;
}

namespace {

struct Rule {
    const char* source;
    const char* dest;
    int consumed;
};

// "0" stands for "th"; an empty output maps letters to nothing.
const Rule english[] = {
    {"b", "b", 1},   {"cia", "x", 1}, {"ch", "x", 2},  {"ci", "s", 1},  {"ce", "s", 1},  {"cy", "s", 1},
    {"c", "k", 1},   {"dge", "j", 2}, {"dgy", "j", 2}, {"dgi", "j", 2}, {"d", "t", 1},   {"f", "f", 1},
    {"gha", "k", 2}, {"ghe", "k", 2}, {"ghi", "k", 2}, {"gho", "k", 2}, {"ghu", "k", 2}, {"ghy", "k", 2},
    {"gh", "", 2},   {"gn", "n", 2},  {"gi", "j", 1},  {"ge", "j", 1},  {"gy", "j", 1},  {"g", "k", 1},
    {"h", "h", 1},   {"aha", "h", 2}, {"ahe", "h", 2}, {"ahi", "h", 2}, {"aho", "h", 2}, {"ahu", "h", 2},
    {"eha", "h", 2}, {"ehe", "h", 2}, {"ehi", "h", 2}, {"eho", "h", 2}, {"ehu", "h", 2}, {"iha", "h", 2},
    {"ihe", "h", 2}, {"ihi", "h", 2}, {"iho", "h", 2}, {"ihu", "h", 2}, {"oha", "h", 2}, {"ohe", "h", 2},
    {"ohi", "h", 2}, {"oho", "h", 2}, {"ohu", "h", 2}, {"uha", "h", 2}, {"uhe", "h", 2}, {"uhi", "h", 2},
    {"uho", "h", 2}, {"uhu", "h", 2}, {"ah", "", 2},   {"eh", "", 2},   {"ih", "", 2},   {"oh", "", 2},
    {"uh", "", 2},   {"j", "j", 1},   {"ck", "k", 2},  {"k", "k", 1},   {"l", "l", 1},   {"m", "m", 1},
    {"n", "n", 1},   {"ph", "f", 2},  {"p", "p", 1},   {"q", "k", 1},   {"r", "r", 1},   {"sh", "x", 2},
    {"sio", "x", 1}, {"sia", "x", 1}, {"s", "s", 1},   {"tia", "x", 1}, {"tio", "x", 1}, {"th", "0", 2},
    {"tch", "x", 3}, {"t", "t", 1},   {"v", "f", 1},   {"wa", "w", 1},  {"we", "w", 1},  {"wi", "w", 1},
    {"wo", "w", 1},  {"wu", "w", 1},  {"wy", "w", 1},  {"x", "ks", 1},  {"ya", "y", 1},  {"ye", "y", 1},
    {"yi", "y", 1},  {"yo", "y", 1},  {"yu", "y", 1},  {"yy", "y", 2},  {"z", "s", 1},
};

// Windows-1251 letters, written in UTF-8 here for reading; the Latin "a" of
// two outputs is meant.
const Rule russian[] = {
    {"б", "бь", 1},   {"в", "вь", 1},   {"г", "гь", 1},   {"д", "дь", 1},   {"з", "зь", 1},   {"к", "кь", 1},
    {"л", "ль", 1},   {"м", "мь", 1},   {"н", "нь", 1},   {"п", "пь", 1},   {"р", "рь", 1},   {"с", "сь", 1},
    {"т", "ть", 1},   {"з", "с", 1},    {"ж", "ш", 1},    {"к", "г", 1},    {"о", "е", 1},    {"о", "а", 1},
    {"д", "т", 1},    {"оро", "aро", 3}, {"оро", "ора", 3}, {"оло", "aло", 3}, {"оло", "ола", 3}, {"нн", "н", 2},
    {"сс", "с", 2},   {"ее", "е", 2},   {"жи", "жы", 2},  {"ши", "шы", 2},  {"щ", "шь", 1},   {"щу", "шю", 2},
    {"сч", "щ", 2},   {"сш", "ш", 1},
};

const Rule french[] = {
    {"b", "b", 1}, {"p", "b", 1}, {"c", "c", 1}, {"k", "c", 1}, {"q", "c", 1}, {"d", "d", 1},
    {"t", "d", 1}, {"l", "l", 1}, {"m", "m", 1}, {"n", "m", 1}, {"r", "r", 1}, {"g", "g", 1},
    {"j", "g", 1}, {"x", "x", 1}, {"z", "x", 1}, {"s", "x", 1}, {"f", "f", 1}, {"v", "f", 1},
};

const Rule general[] = {
    {"b", "b", 1}, {"f", "b", 1}, {"p", "b", 1}, {"v", "b", 1}, {"c", "k", 1}, {"g", "k", 1},
    {"j", "k", 1}, {"k", "k", 1}, {"q", "k", 1}, {"s", "k", 1}, {"x", "k", 1}, {"z", "k", 1},
    {"d", "d", 1}, {"t", "d", 1}, {"l", "l", 1}, {"m", "m", 1}, {"n", "m", 1}, {"r", "r", 1},
};

// The Russian rules in their Windows-1251 bytes; they hold only Cyrillic
// letters and ASCII, which the code page has.
std::string cp1251(std::string_view utf8) {
    std::string out;
    if (!CodePageFromUtf8(CodePage::Cp1251, utf8, out))
        throw std::logic_error("a Russian phonetic rule is not Windows-1251 text");
    return out;
}

template <size_t N>
void load(TReplaceNode& map, const Rule (&rules)[N], bool fromUtf8) {
    for (const auto& r : rules) {
        if (fromUtf8)
            map.AddMap(cp1251(r.source), cp1251(r.dest), r.consumed);
        else
            map.AddMap(r.source, r.dest, r.consumed);
    }
}

}  // namespace

void TPhoneticsMap::loadTable(int primary) {
    ClearMap();
    switch (primary) {
    case 9:
        load(*this, english, false);
        break;
    case 25:
        load(*this, russian, true);
        break;
    case 12:
        load(*this, french, false);
        break;
    default:
        load(*this, general, false);
        break;
    }
}

void TPhoneticsMap::WriteLanguage(int Language) {
    if (Language == language_) return;
    language_ = Language;
    loadTable(Language & 0xFF);
}

void TPhoneticsMap::UseDefaultTable() {
    language_ = 0;
    loadTable(0);
}

void TPhoneticsMap::WriteStartDepth(int N) {
    if (N > 0) startDepth_ = N;
}

std::string TPhoneticsMap::GetMapping(std::string_view Word) const {
    const std::string w = LxLowerCase(Word);
    const size_t depth = std::min(w.size(), static_cast<size_t>(startDepth_));
    std::string code = w.substr(0, depth);
    int budget = 6;
    size_t at = depth;
    while (at < w.size()) {
        const TReplaceNode* best = nullptr;
        const TReplaceNode* node = this;
        for (size_t i = at; i < w.size() && node; ++i) {
            node = node->GetNextMap(static_cast<unsigned char>(w[i]));
            if (node && node->Destination()) best = node;
        }
        if (!best) {
            ++at;
            continue;
        }
        const std::string& out = best->DestWord();
        const bool repeat = RemoveDuplicates && !code.empty() && best->SourceLength() == 1 && !out.empty() &&
                            code.back() == out.front();
        if (!repeat) {
            code += out;
            budget -= static_cast<int>(out.size());
            if (budget <= 0) break;
        }
        at += static_cast<size_t>(std::max(best->SourceLength(), 1));
    }
    return code;
}

bool TPhoneticsMap::AcceptableDistance(std::string_view Word, int Distance) const {
    if (divisor_ <= 0) return distanceMax_ >= Distance;
    return static_cast<int>(Word.size()) / divisor_ >= Distance && distanceMax_ >= Distance;
}

}  // namespace spell

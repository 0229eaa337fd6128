// lxtcompile: builds a thesaurus file from a MyThes data file (UTF-8).
//
//   lxtcompile [--headwords N] [--name TEXT] DATA OUTPUT
//
// The layout holds a fraction of a full thesaurus, so it keeps the N
// single-word headwords with the most meanings (ties in file order), each
// with its single-word synonyms in four lists: noun, verb, adjective and
// adverb. Antonyms and generic terms are left out; similar and related terms
// are kept as synonyms. Everything is converted to Windows-1252; a word the
// code page cannot hold is left out.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "spell/lx3util.h"
#include "spell/lxcodepage.h"
#include "tools/lxtcompile/lxtwriter.h"

namespace {

int usage() {
    std::cerr << "usage: lxtcompile [--headwords N] [--name TEXT] DATA OUTPUT\n";
    return 2;
}

const lxtc::TKindNames kindNames = {"general", "noun", "verb", "adjective", "adverb"};

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

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> out;
    size_t at = 0;
    for (size_t bar; (bar = line.find('|', at)) != std::string::npos; at = bar + 1) out.push_back(line.substr(at, bar - at));
    out.push_back(line.substr(at));
    return out;
}

// A synonym as kept (converted, annotation removed), or empty when it is
// left out.
std::string synonym(std::string s) {
    if (endsWith(s, " (antonym)") || endsWith(s, " (generic term)")) return {};
    for (const char* note : {" (similar term)", " (related term)"})
        if (endsWith(s, note)) s.resize(s.size() - std::string(note).size());
    std::string out;
    if (s.empty() || s.find(' ') != std::string::npos || !spell::Cp1252FromUtf8(s, out)) return {};
    return out;
}

struct Candidate {
    int meanings = 0;
    lxtc::TLxtEntry entry;
};

bool readData(const std::string& name, std::vector<Candidate>& out, std::string& error) {
    std::ifstream in(name, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line)) {
        error = "cannot read " + name;
        return false;
    }
    if (line != "UTF-8") {
        error = name + " is not a UTF-8 MyThes data file";
        return false;
    }
    uint64_t lineNo = 1;
    while (std::getline(in, line)) {
        ++lineNo;
        const size_t bar = line.rfind('|');
        char* end = nullptr;
        const long count = bar == std::string::npos ? -1 : std::strtol(line.c_str() + bar + 1, &end, 10);
        if (count < 0 || *end != '\0') {
            error = name + ":" + std::to_string(lineNo) + ": a headword line was expected";
            return false;
        }
        Candidate c;
        c.meanings = static_cast<int>(count);
        const std::string head = line.substr(0, bar);
        const bool single = head.find(' ') == std::string::npos && spell::Cp1252FromUtf8(head, c.entry.Headword);
        for (long m = 0; m < count; ++m) {
            if (!std::getline(in, line)) {
                error = name + ": ends inside the meanings of " + head;
                return false;
            }
            ++lineNo;
            const auto fields = split(line);
            const int list = listOf(fields[0]);
            if (!single || list < 0) continue;
            auto& words = c.entry.Lists[list];
            for (size_t f = 1; f < fields.size(); ++f) {
                const std::string w = synonym(fields[f]);
                if (!w.empty() && w != c.entry.Headword && std::find(words.begin(), words.end(), w) == words.end())
                    words.push_back(w);
            }
        }
        const auto& l = c.entry.Lists;
        if (single && (!l[0].empty() || !l[1].empty() || !l[2].empty() || !l[3].empty())) out.push_back(std::move(c));
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string input, output, nameUtf8 = "English", error;
    long headwords = 12000;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--headwords" && i + 1 < argc) {
            headwords = std::strtol(argv[++i], nullptr, 10);
        } else if (a == "--name" && i + 1 < argc) {
            nameUtf8 = argv[++i];
        } else if (input.empty()) {
            input = a;
        } else if (output.empty()) {
            output = a;
        } else {
            return usage();
        }
    }
    std::string name;
    if (input.empty() || output.empty() || headwords < 0) return usage();
    if (!spell::Cp1252FromUtf8(nameUtf8, name)) {
        std::cerr << "lxtcompile: the name is not in Windows-1252\n";
        return 1;
    }

    std::vector<Candidate> candidates;
    if (!readData(input, candidates, error)) {
        std::cerr << "lxtcompile: " << error << "\n";
        return 1;
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.meanings > b.meanings; });
    if (candidates.size() > static_cast<size_t>(headwords)) candidates.resize(static_cast<size_t>(headwords));
    std::vector<lxtc::TLxtEntry> entries;
    for (auto& c : candidates) entries.push_back(std::move(c.entry));

    std::string bytes;
    lxtc::TLxtStats stats;
    if (!lxtc::BuildLxt(entries, name, kindNames, bytes, stats, error)) {
        std::cerr << "lxtcompile: " << error << " (nothing written)\n";
        return 1;
    }
    if (!spell::WriteFileAtomic(output, bytes, 0644, error)) {
        std::cerr << "lxtcompile: " << error << "\n";
        return 1;
    }
    std::cout << "lxtcompile: " << output << ": " << stats.Entries << " headwords, " << stats.Words << " words, "
              << stats.Links << " links, " << stats.Nodes << " nodes (" << stats.ChainNodes << " in tails), "
              << stats.LinkBytes << " link bytes, " << stats.IndexBytes << " index bytes, " << stats.FileBytes
              << " bytes\n";
    return 0;
}

// lxmcompile: builds a main dictionary from UTF-8 word lists, one word a line.
//
//   lxmcompile [--title TEXT] [--language ID] [--keep-possessives]
//              [--ize-from LIST] LIST... OUTPUT
//
// The lists are merged. Words are converted to Windows-1252; a word the code
// page cannot hold is reported and left out. A possessive ending in "'s" is
// left out when its stem is in the lists (the spell-check component accepts
// it from the stem), unless all are kept. --ize-from names a list spelt with
// -ize (an American one): each of its words whose -ise form is in the lists
// comes in too, so both spellings are accepted where British usage allows
// both ("organization" beside "organisation"), and no other American
// spelling does ("colorize" has no "colorise" in a British list).
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "spell/lx3util.h"
#include "spell/lxcodepage.h"
#include "tools/lxmcompile/lxmwriter.h"

namespace {

int usage() {
    std::cerr << "usage: lxmcompile [--title TEXT] [--language ID] [--keep-possessives] [--ize-from LIST] "
                 "LIST... OUTPUT\n";
    return 2;
}

// The lines of a UTF-8 list, trailing blanks dropped, empty lines skipped.
bool readList(const std::string& name, std::vector<std::string>& out) {
    std::string text, error;
    spell::TFileStamp stamp;
    if (!spell::ReadRegularFile(name, text, stamp, error)) {
        std::cerr << "lxmcompile: " << error << "\n";
        return false;
    }
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
        if (!line.empty()) out.push_back(std::move(line));
        start = end + 1;
    }
    return true;
}

// Word with every "iz" written "is".
std::string iseForm(std::string word) {
    for (size_t at = word.find("iz"); at != std::string::npos; at = word.find("iz", at + 2)) word[at + 1] = 's';
    return word;
}

bool possessive(const std::string& w) { return w.size() > 2 && w.compare(w.size() - 2, 2, "'s") == 0; }

}  // namespace

int main(int argc, char** argv) {
    std::string title = "British English", izeList;
    int32_t language = 0x0809;
    bool possessives = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--title" && i + 1 < argc) {
            title = argv[++i];
        } else if (a == "--language" && i + 1 < argc) {
            language = static_cast<int32_t>(std::strtol(argv[++i], nullptr, 0));
        } else if (a == "--keep-possessives") {
            possessives = true;
        } else if (a == "--ize-from" && i + 1 < argc) {
            izeList = argv[++i];
        } else if (!a.empty() && a[0] == '-') {
            return usage();
        } else {
            files.push_back(a);
        }
    }
    if (files.size() < 2) return usage();
    const std::string output = files.back();
    files.pop_back();

    std::vector<std::string> lines;
    for (const auto& f : files)
        if (!readList(f, lines)) return 1;
    std::set<std::string> all(lines.begin(), lines.end());
    size_t izeAdded = 0;
    if (!izeList.empty()) {
        std::vector<std::string> ize;
        if (!readList(izeList, ize)) return 1;
        for (const auto& w : ize)
            if (w.find("iz") != std::string::npos && !all.count(w) && all.count(iseForm(w))) {
                all.insert(w);
                ++izeAdded;
            }
    }

    std::vector<std::string> words;
    std::string word;
    size_t skipped = 0, dropped = 0;
    for (const auto& w : all) {
        if (!possessives && possessive(w) && all.count(w.substr(0, w.size() - 2))) {
            ++dropped;
            continue;
        }
        if (!spell::Cp1252FromUtf8(w, word)) {
            std::cerr << "lxmcompile: not in Windows-1252, left out: " << w << "\n";
            ++skipped;
            continue;
        }
        words.push_back(word);
    }
    std::string bytes, error;
    lxmc::TLxmStats stats;
    if (!lxmc::BuildLxm(std::move(words), title, language, bytes, stats, error)) {
        std::cerr << "lxmcompile: " << error << "\n";
        return 1;
    }
    if (!spell::WriteFileAtomic(output, bytes, 0644, error)) {
        std::cerr << "lxmcompile: " << error << "\n";
        return 1;
    }
    std::cout << "lxmcompile: " << output << ": " << stats.Words << " words (" << izeAdded << " -ize forms), "
              << stats.Nodes << " nodes, " << stats.LinkageBytes << " linkage bytes, " << stats.FileBytes
              << " bytes (" << dropped << " possessives of listed stems and " << skipped
              << " unconvertible words left out)\n";
    return 0;
}

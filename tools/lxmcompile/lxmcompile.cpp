// lxmcompile: builds a main dictionary from a UTF-8 word list, one word a line.
//
//   lxmcompile [--title TEXT] [--language ID] [--keep-possessives] LIST OUTPUT
//
// Words are converted to Windows-1252; a word the code page cannot hold is
// reported and left out. Possessive forms ending in "'s" are left out unless
// asked for (the spell-check component accepts them from their stem).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "spell/lx3util.h"
#include "spell/lxcodepage.h"
#include "tools/lxmcompile/lxmwriter.h"

namespace {

int usage() {
    std::cerr << "usage: lxmcompile [--title TEXT] [--language ID] [--keep-possessives] LIST OUTPUT\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string title = "British English", input, output;
    int32_t language = 0x0809;
    bool possessives = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--title" && i + 1 < argc) {
            title = argv[++i];
        } else if (a == "--language" && i + 1 < argc) {
            language = static_cast<int32_t>(std::strtol(argv[++i], nullptr, 0));
        } else if (a == "--keep-possessives") {
            possessives = true;
        } else if (input.empty()) {
            input = a;
        } else if (output.empty()) {
            output = a;
        } else {
            return usage();
        }
    }
    if (input.empty() || output.empty()) return usage();

    std::ifstream in(input, std::ios::binary);
    if (!in) {
        std::cerr << "lxmcompile: cannot read " << input << "\n";
        return 1;
    }
    std::vector<std::string> words;
    std::string line, word;
    size_t skipped = 0, dropped = 0;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
        if (line.empty()) continue;
        if (!possessives && line.size() > 2 && line.compare(line.size() - 2, 2, "'s") == 0) {
            ++dropped;
            continue;
        }
        if (!spell::Cp1252FromUtf8(line, word)) {
            std::cerr << "lxmcompile: not in Windows-1252, left out: " << line << "\n";
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
    std::cout << "lxmcompile: " << output << ": " << stats.Words << " words, " << stats.Nodes << " nodes, "
              << stats.LinkageBytes << " linkage bytes, " << stats.FileBytes << " bytes (" << dropped
              << " possessives and " << skipped << " unconvertible words left out)\n";
    return 0;
}

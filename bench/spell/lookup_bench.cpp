// Lookups per second of the compiled British dictionary over 100,000 words
// of English text (the licence texts every Debian system carries, repeated
// as needed). Each word is looked up as written and, when absent, once more
// in lower case, as the spell checker's case folding does.
//
//   bench_spell_lookup [DICT] [TEXT...]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "spell/lx3maindictionary.h"
#include "spell/lxcase.h"

namespace {

std::vector<std::string> words(const std::vector<std::string>& files) {
    std::vector<std::string> out;
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string w;
        for (const char c : text + " ") {
            const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c == '\'' && !w.empty());
            if (letter) {
                w += c;
            } else if (!w.empty()) {
                while (!w.empty() && w.back() == '\'') w.pop_back();
                if (!w.empty()) out.push_back(w);
                w.clear();
            }
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dict = argc > 1 ? argv[1] : BRITISH_LXM;
    std::vector<std::string> files;
    for (int i = 2; i < argc; ++i) files.push_back(argv[i]);
    if (files.empty())
        for (const auto& e : std::filesystem::directory_iterator("/usr/share/common-licenses"))
            if (e.is_regular_file()) files.push_back(e.path());
    std::vector<std::string> text = words(files);
    if (text.empty()) {
        std::fprintf(stderr, "no text to look up\n");
        return 1;
    }
    constexpr size_t wanted = 100000;
    for (size_t i = 0; text.size() < wanted; ++i) text.push_back(text[i]);
    text.resize(wanted);

    spell::TMainDictionary d;
    d.WriteFilename(dict);
    if (d.Filename() != dict) {
        std::fprintf(stderr, "%s is not a main dictionary\n", dict.c_str());
        return 1;
    }
    d.WriteLoaded(true);
    double best = 1e30;
    size_t found = 0, lookups = 0;
    for (int pass = 0; pass < 5; ++pass) {
        found = lookups = 0;
        const auto t0 = std::chrono::steady_clock::now();
        for (const auto& w : text) {
            ++lookups;
            bool ok = d.WordExists(w);
            if (!ok) {
                ++lookups;
                ok = d.WordExists(spell::LxLowerCase(w));
            }
            found += ok;
        }
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    std::printf("dictionary: %s (%u words, %u nodes)\n", dict.c_str(), d.WordCount(), d.NodeCount());
    std::printf("text: %zu words from %zu files; %zu found (%.1f%%)\n", text.size(), files.size(), found,
                100.0 * static_cast<double>(found) / static_cast<double>(text.size()));
    std::printf("best of 5: %.2f ms for %zu lookups: %.0f lookups/s, %.0f words/s\n", best * 1000, lookups,
                static_cast<double>(lookups) / best, static_cast<double>(text.size()) / best);
    return 0;
}

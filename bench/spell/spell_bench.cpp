// Word checks and suggestions of the spell component beside libhunspell.
//
// Both sides know the same words: the component reads the compiled British
// dictionary, hunspell a flat dictionary written in this run from the word
// list that dictionary was compiled from (every line a word, no affixes).
//
// Checking: 100,000 words of English text through the component's
// WordAcceptable (dictionaries kept loaded, so no loading is timed) and
// through Hunspell::spell, best of seven passes each, taken in turns. Two
// texts: the licence texts every Debian system carries (real prose,
// repeated as needed), and a text drawn deterministically from the word
// list (capitalised sentence starts, a little punctuation). The list holds
// a possessive for many words, so about a quarter of the drawn words end in
// "'s", which the component accepts through their stem.
//
// Suggesting: 1,000 misspellings from codespell's dictionary whose misspelt
// side is not a list word and whose one correction is, spread evenly over
// the dictionary; time per suggestion and how often the correction comes
// first (top-1) or among the first five (top-5).
//
//   spell_bench [--lxm FILE] [--list FILE] [--codespell FILE] [--pairs N]
//               [--misses] [--text FILE...]
//
// --misses lists the pairs whose correction the component does not offer
// among its first five, with what it offered.
#include <hunspell.hxx>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "spell/lx3spellbase.h"
#include "spell/lxcodepage.h"

using namespace spell;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> readLines(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> out;
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (!line.empty()) out.push_back(line);
    }
    return out;
}

std::string readFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Words of UTF-8 text: runs of letters (ASCII or not) with inner
// apostrophes.
std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    std::string w;
    const auto flush = [&] {
        while (!w.empty() && w.back() == '\'') w.pop_back();
        if (!w.empty()) out.push_back(w);
        w.clear();
    };
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 0x80 || (c == '\'' && !w.empty());
        if (letter)
            w += ch;
        else
            flush();
    }
    flush();
    return out;
}

// A small deterministic generator, so every run checks the same text.
struct Lcg {
    uint64_t state;
    uint32_t next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state >> 33);
    }
};

// Sentences of 5 to 16 list words, the first capitalised, commas now and
// then, ended by a full stop, a question or an exclamation mark.
std::string generatedText(const std::vector<std::string>& list, size_t wordCount) {
    Lcg rng{20261211};
    std::string text;
    size_t n = 0;
    while (n < wordCount) {
        const size_t length = 5 + rng.next() % 12;
        for (size_t i = 0; i < length && n < wordCount; ++i, ++n) {
            std::string w = list[rng.next() % list.size()];
            if (i == 0 && w[0] >= 'a' && w[0] <= 'z') w[0] = static_cast<char>(w[0] - 'a' + 'A');
            text += w;
            text += i + 1 == length ? (rng.next() % 8 == 0 ? "? " : rng.next() % 8 == 0 ? "! " : ". ")
                                    : (rng.next() % 9 == 0 ? ", " : " ");
        }
    }
    return text;
}

std::vector<std::string> firstWords(std::vector<std::string> all, size_t wanted) {
    if (all.empty()) return all;
    for (size_t i = 0; all.size() < wanted; ++i) all.push_back(all[i]);
    all.resize(wanted);
    return all;
}

double seconds(const std::function<void()>& run) {
    const auto t0 = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The best of several passes of each, taken in turns so that a change in
// the machine's load falls on both alike.
std::pair<double, double> bestOfTurns(int passes, const std::function<void()>& a, const std::function<void()>& b) {
    double bestA = 1e30, bestB = 1e30;
    for (int i = 0; i < passes; ++i) {
        bestA = std::min(bestA, seconds(a));
        bestB = std::min(bestB, seconds(b));
    }
    return {bestA, bestB};
}

struct Pair {
    std::string wrong, right;        // UTF-8
    std::string wrong8, right8;      // Windows-1252
};

// Codespell's lines read "wrong->right" or "wrong->right1, right2,"; only a
// single correction that is a list word, for a misspelling that is not.
std::vector<Pair> misspellings(const std::string& file, const std::unordered_set<std::string>& list, size_t wanted) {
    std::vector<Pair> all;
    for (const auto& line : readLines(file)) {
        const size_t arrow = line.find("->");
        if (arrow == std::string::npos || line.find(',') != std::string::npos) continue;
        Pair p{line.substr(0, arrow), line.substr(arrow + 2), {}, {}};
        if (p.wrong.empty() || list.count(p.wrong) || !list.count(p.right)) continue;
        if (!Cp1252FromUtf8(p.wrong, p.wrong8) || !Cp1252FromUtf8(p.right, p.right8)) continue;
        all.push_back(std::move(p));
    }
    if (all.size() <= wanted) return all;
    std::vector<Pair> picked;
    for (size_t i = 0; i < wanted; ++i) picked.push_back(all[i * all.size() / wanted]);
    return picked;
}

struct Quality {
    double seconds = 0;
    size_t top1 = 0, top5 = 0, none = 0, listed = 0;
};

void printQuality(const char* who, const Quality& q, size_t pairs) {
    const double n = static_cast<double>(pairs);
    std::printf("  %-10s %8.3f ms/suggestion   top-1 %.3f   top-5 %.3f   none %.3f   mean list %.1f\n", who,
                q.seconds * 1e3 / n, static_cast<double>(q.top1) / n, static_cast<double>(q.top5) / n,
                static_cast<double>(q.none) / n, static_cast<double>(q.listed) / n);
}

void rank(const std::vector<std::string>& offered, const std::string& right, Quality& q) {
    const auto at = std::find(offered.begin(), offered.end(), right);
    q.top1 += at == offered.begin() && at != offered.end();
    q.top5 += at != offered.end() && at - offered.begin() < 5;
    q.none += offered.empty();
    q.listed += offered.size();
}

int usage() {
    std::fprintf(stderr,
                 "usage: spell_bench [--lxm FILE] [--list FILE] [--codespell FILE] [--pairs N] [--misses] "
                 "[--text FILE...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string lxm = BRITISH_LXM, listFile = WORD_LIST, codespell = CODESPELL_DICTIONARY;
    size_t pairCount = 1000;
    bool showMisses = false;
    std::vector<std::string> textFiles;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool value = i + 1 < argc;
        if (a == "--lxm" && value) lxm = argv[++i];
        else if (a == "--list" && value) listFile = argv[++i];
        else if (a == "--codespell" && value) codespell = argv[++i];
        else if (a == "--pairs" && value) pairCount = std::strtoul(argv[++i], nullptr, 10);
        else if (a == "--misses") showMisses = true;
        else if (a == "--text") while (i + 1 < argc && argv[i + 1][0] != '-') textFiles.push_back(argv[++i]);
        else return usage();
    }

    const std::vector<std::string> list = readLines(listFile);
    if (list.empty()) {
        std::fprintf(stderr, "cannot read the word list %s\n", listFile.c_str());
        return 1;
    }
    const std::unordered_set<std::string> known(list.begin(), list.end());

    // hunspell's flat dictionary: the list's words, and only the settings
    // it needs to read them and to try letters when suggesting.
    const fs::path dir = fs::temp_directory_path() / ("spell_bench." + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string aff = (dir / "flat.aff").string(), dic = (dir / "flat.dic").string();
    {
        std::ofstream a(aff, std::ios::binary);
        a << "SET UTF-8\nTRY esianrtolcdugmphbyfvkwzESIANRTOLCDUGMPHBYFVKWZ'\n";
        std::ofstream d(dic, std::ios::binary);
        d << list.size() << "\n";
        for (const auto& w : list) d << w << "\n";
    }
    Hunspell hunspell(aff.c_str(), dic.c_str());
    fs::remove_all(dir);

    TLexiroSpell3Base spell;
    spell.WriteConfigStorage(csNone);
    spell.WriteLearnSuggestions(false);
    spell.WriteDefaultActiveCustom("");
    spell.WriteDefaultMain({lxm});
    spell.WriteDefaultOptions({soLiveSpelling, soLiveCorrect, soUpcase, soNumbers, soHTML, soInternet,
                               soAbbreviations, soRepeated});
    spell.WriteKeepDictionariesActive(true);
    spell.Configuration().EnsureLoaded();
    if (spell.MainDictionaries().empty()) {
        std::fprintf(stderr, "cannot open %s\n", lxm.c_str());
        return 1;
    }
    spell.OptimizeMainDictionaryOrder();
    std::printf("dictionary: %s (%u words); hunspell: the %zu lines of %s, flat\n", lxm.c_str(),
                spell.MainDictionaries().front()->WordCount(), list.size(), listFile.c_str());

    // ------------------------------------------------------------ checking
    constexpr size_t wanted = 100000;
    std::string licences;
    if (textFiles.empty()) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator("/usr/share/common-licenses"))
            if (e.is_regular_file()) names.push_back(e.path());
        std::sort(names.begin(), names.end());
        textFiles = names;
    }
    for (const auto& f : textFiles) licences += readFile(f) + "\n";
    struct Text {
        const char* name;
        std::vector<std::string> utf8, cp1252;
    };
    std::vector<Text> texts = {{"licence texts", firstWords(words(licences), wanted), {}},
                               {"word-list text", firstWords(words(generatedText(list, wanted)), wanted), {}}};
    constexpr int passes = 7;
    std::printf("\nchecking %zu words (best of %d passes each, in turns)\n", wanted, passes);
    for (auto& t : texts) {
        if (t.utf8.empty()) {
            std::printf("  %-15s no text\n", t.name);
            continue;
        }
        for (const auto& w : t.utf8) {
            std::string b;
            // A character Windows-1252 lacks is no letter of the component's.
            t.cp1252.push_back(Cp1252FromUtf8(w, b) ? b : std::string("\x81"));
        }
        size_t oursAccepted = 0, theirsAccepted = 0;
        const auto [ours, theirs] = bestOfTurns(
            passes,
            [&] {
                oursAccepted = 0;
                for (const auto& w : t.cp1252) oursAccepted += spell.WordAcceptable(w);
            },
            [&] {
                theirsAccepted = 0;
                for (const auto& w : t.utf8) theirsAccepted += hunspell.spell(w);
            });
        const double n = static_cast<double>(t.utf8.size());
        std::printf("  %-15s component %9.0f words/s (%zu accepted)   hunspell %9.0f words/s (%zu accepted)   "
                    "ratio %.2fx\n",
                    t.name, n / ours, oursAccepted, n / theirs, theirsAccepted, theirs / ours);
    }

    // ---------------------------------------------------------- suggesting
    const std::vector<Pair> pairs = misspellings(codespell, known, pairCount);
    if (pairs.empty()) {
        std::fprintf(stderr, "no misspellings from %s\n", codespell.c_str());
        return 1;
    }
    std::printf("\nsuggesting for %zu misspellings from %s\n", pairs.size(), codespell.c_str());
    Quality ours, theirs;
    std::vector<std::vector<std::string>> offered(pairs.size());
    ours.seconds = seconds([&] {
        for (size_t i = 0; i < pairs.size(); ++i) spell.Suggest(pairs[i].wrong8, offered[i]);
    });
    for (size_t i = 0; i < pairs.size(); ++i) rank(offered[i], pairs[i].right8, ours);
    std::vector<std::vector<std::string>> theirOffers(pairs.size());
    theirs.seconds = seconds([&] {
        for (size_t i = 0; i < pairs.size(); ++i) theirOffers[i] = hunspell.suggest(pairs[i].wrong);
    });
    for (size_t i = 0; i < pairs.size(); ++i) rank(theirOffers[i], pairs[i].right, theirs);
    printQuality("component", ours, pairs.size());
    printQuality("hunspell", theirs, pairs.size());

    if (showMisses) {
        std::printf("\nnot among the component's first five (misspelling, correction, distance: offered)\n");
        for (size_t i = 0; i < pairs.size(); ++i) {
            const auto& o = offered[i];
            const auto at = std::find(o.begin(), o.end(), pairs[i].right8);
            if (at != o.end() && at - o.begin() < 5) continue;
            std::printf("  %s -> %s, %d:", pairs[i].wrong.c_str(), pairs[i].right.c_str(),
                        GetEditDistance(pairs[i].wrong8, pairs[i].right8));
            for (size_t k = 0; k < o.size() && k < 8; ++k) std::printf(" %s", Utf8FromCp1252(o[k]).c_str());
            std::printf(at == o.end() ? "  (not offered)\n" : "  (offered at %zu)\n",
                        static_cast<size_t>(at - o.begin()) + 1);
        }
    }
    return 0;
}

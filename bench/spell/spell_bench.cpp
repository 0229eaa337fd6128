// The spell component beside libhunspell (a peer, linked only here) with
// Debian's en_GB dictionary, and with a flat dictionary of the very list
// British.lxm was compiled from (every line a word, no affixes).
//
// Real prose nobody here wrote: the licence texts every Debian system
// carries, and the packages' documentation under /usr/share/doc (READMEs
// and text files, compressed ones too). The text goes through the
// component's word engine with the composer's filters (addresses, paths,
// tags); each word it yields is judged by both, with the same ignore options
// (capitals, numbers, abbreviations) for both, and a word one of them
// rejects is an alarm. Alarms on this text are nearly all false alarms.
//
// Checking speed: those words through the component's WordAcceptable
// (dictionaries kept loaded) and through Hunspell::spell, best of seven
// passes each, taken in turns.
//
// Detection: codespell's misspellings that are no word of Debian's medium
// British list (a fixed set, whatever list the dictionary is built from):
// the share each rejects.
//
// Suggesting: 1,000 codespell misspellings whose misspelt side is no word
// of the source list and whose one correction is, spread evenly over the
// dictionary; how often the correction comes first (top-1) or among the
// first five (top-5); once as codespell writes them, once with the first
// letter capitalised (the correction then capitalised too).
//
//   spell_bench [--lxm FILE] [--list FILE] [--codespell FILE] [--pairs N]
//               [--alarms N] [--misses] [--text FILE...]
//
// --alarms lists the N words the component rejects most often in the prose
// that hunspell en_GB accepts; --misses lists the pairs whose correction
// the component does not offer among its first five.
#include <hunspell.hxx>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "spell/lx3spellbase.h"
#include "spell/lx3stringparser.h"
#include "spell/lxcase.h"
#include "spell/lxcodepage.h"

using namespace spell;
namespace fs = std::filesystem;

namespace {

constexpr const char* kEnGb = "/usr/share/hunspell/en_GB";
constexpr const char* kMediumList = "/usr/share/dict/british-english";

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

// A file's text; a ".gz" one uncompressed.
std::string readText(const std::string& file) {
    std::string text;
    gzFile in = gzopen(file.c_str(), "rb");
    if (!in) return text;
    char buffer[65536];
    int n;
    while ((n = gzread(in, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    gzclose(in);
    return text;
}

// UTF-8 as Windows-1252; a character the page lacks becomes a blank, which
// parts words as the composer's text target does.
std::string toCp1252(const std::string& utf8) {
    std::string out;
    size_t at = 0;
    while (at < utf8.size()) {
        uint32_t code = 0;
        const size_t before = at;
        if (!NextUtf8(utf8, at, code)) {
            at = before + 1;
            out += ' ';
            continue;
        }
        const int b = Cp1252FromUnicode(code);
        out += b < 0 ? ' ' : static_cast<char>(b);
    }
    return out;
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

struct Corpus {
    std::string name;
    std::vector<std::string> files;
    std::vector<std::string> words;  // Windows-1252, as the engine yields them
    std::vector<std::string> utf8;
    std::vector<bool> ignored;       // accepted by the ignore options alone
};

std::vector<std::string> licenceFiles() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator("/usr/share/common-licenses"))
        if (e.is_regular_file()) names.push_back(e.path());
    std::sort(names.begin(), names.end());
    return names;
}

// READMEs and text files of the installed packages, change logs left out.
std::vector<std::string> documentationFiles() {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator("/usr/share/doc", ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (ec || !it->is_regular_file()) continue;
        const std::string name = it->path().filename().string();
        const std::string lower = LxLowerCase(name);
        if (lower.find("changelog") != std::string::npos || lower.find("news") != std::string::npos) continue;
        const bool readme = lower.rfind("readme", 0) == 0 && lower.find(".htm") == std::string::npos;
        const bool txt = lower.size() > 4 && (lower.ends_with(".txt") || lower.ends_with(".txt.gz"));
        if (readme || txt) names.push_back(it->path());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void tokenise(Corpus& c, TLexiroSpell3Base& spell) {
    for (const auto& f : c.files) {
        std::string text = toCp1252(readText(f));
        TStringParser parser;
        parser.Initialize(text);
        spell.ParsingEngine().Initialize(&parser, ctAll);
        spell.CurrentParser = &parser;
        for (std::string w = spell.ParsingEngine().NextWord(); !w.empty(); w = spell.ParsingEngine().NextWord()) {
            c.ignored.push_back(spell.RunPostCheckIgnore(w, &parser));
            c.utf8.push_back(Utf8FromCp1252(w));
            c.words.push_back(std::move(w));
        }
        spell.CurrentParser = nullptr;
    }
}

struct Alarms {
    size_t total = 0;
    std::map<std::string, size_t> words;
};

void printAlarms(const char* who, const Alarms& a, size_t words) {
    std::printf("  %-24s %7zu alarms (%5.2f%% of words), %6zu distinct words\n", who, a.total,
                100.0 * static_cast<double>(a.total) / static_cast<double>(words), a.words.size());
}

struct Pair {
    std::string wrong, right;    // UTF-8
    std::string wrong8, right8;  // Windows-1252
};

// Codespell's lines read "wrong->right" or "wrong->right1, right2,".
std::vector<std::pair<std::string, std::string>> codespellPairs(const std::string& file) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& line : readLines(file)) {
        const size_t arrow = line.find("->");
        if (arrow != std::string::npos) out.emplace_back(line.substr(0, arrow), line.substr(arrow + 2));
    }
    return out;
}

// A single correction that is a list word, for a misspelling that is not.
std::vector<Pair> misspellings(const std::vector<std::pair<std::string, std::string>>& all,
                               const std::unordered_set<std::string>& list, size_t wanted) {
    std::vector<Pair> usable;
    for (const auto& [wrong, right] : all) {
        Pair p{wrong, right, {}, {}};
        if (right.find(',') != std::string::npos || wrong.empty() || list.count(wrong) || !list.count(right)) continue;
        if (!Cp1252FromUtf8(p.wrong, p.wrong8) || !Cp1252FromUtf8(p.right, p.right8)) continue;
        usable.push_back(std::move(p));
    }
    if (usable.size() <= wanted) return usable;
    std::vector<Pair> picked;
    for (size_t i = 0; i < wanted; ++i) picked.push_back(usable[i * usable.size() / wanted]);
    return picked;
}

std::string capitalised(std::string w, bool cp1252) {
    if (w.empty()) return w;
    if (cp1252 || static_cast<unsigned char>(w[0]) < 0x80)
        w[0] = static_cast<char>(LxToUpper(static_cast<unsigned char>(w[0])));
    return w;
}

struct Quality {
    double seconds = 0;
    size_t top1 = 0, top5 = 0, none = 0;
};

void rank(const std::vector<std::string>& offered, const std::string& right, Quality& q) {
    const auto at = std::find(offered.begin(), offered.end(), right);
    q.top1 += at == offered.begin() && at != offered.end();
    q.top5 += at != offered.end() && at - offered.begin() < 5;
    q.none += offered.empty();
}

void printQuality(const char* who, const Quality& lower, const Quality& upper, size_t pairs) {
    const double n = static_cast<double>(pairs);
    std::printf("  %-16s %7.3f ms/word   top-1 %.3f  top-5 %.3f  none %.3f   |  %.3f  %.3f  %.3f\n", who,
                (lower.seconds + upper.seconds) * 1e3 / (2 * n), static_cast<double>(lower.top1) / n,
                static_cast<double>(lower.top5) / n, static_cast<double>(lower.none) / n,
                static_cast<double>(upper.top1) / n, static_cast<double>(upper.top5) / n,
                static_cast<double>(upper.none) / n);
}

int usage() {
    std::fprintf(stderr,
                 "usage: spell_bench [--lxm FILE] [--list FILE] [--codespell FILE] [--pairs N] [--alarms N] "
                 "[--misses] [--text FILE...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string lxm = BRITISH_LXM, listFile = WORD_LIST, codespell = CODESPELL_DICTIONARY;
    size_t pairCount = 1000, alarmCount = 0;
    bool showMisses = false;
    std::vector<std::string> textFiles;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool value = i + 1 < argc;
        if (a == "--lxm" && value) lxm = argv[++i];
        else if (a == "--list" && value) listFile = argv[++i];
        else if (a == "--codespell" && value) codespell = argv[++i];
        else if (a == "--pairs" && value) pairCount = std::strtoul(argv[++i], nullptr, 10);
        else if (a == "--alarms" && value) alarmCount = std::strtoul(argv[++i], nullptr, 10);
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
    if (access((std::string(kEnGb) + ".dic").c_str(), R_OK) != 0) {
        std::fprintf(stderr, "%s.dic is missing: install hunspell-en-gb (tools/deps.sh)\n", kEnGb);
        return 1;
    }
    Hunspell enGb((std::string(kEnGb) + ".aff").c_str(), (std::string(kEnGb) + ".dic").c_str());

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
    Hunspell flat(aff.c_str(), dic.c_str());
    fs::remove_all(dir);

    TLexiroSpell3Base spell;
    spell.WriteConfigStorage(csNone);
    spell.WriteLearnSuggestions(false);
    spell.WriteDefaultActiveCustom("");
    spell.WriteDefaultMain({lxm});
    // The composer's options.
    spell.WriteDefaultOptions({soLiveSpelling, soLiveCorrect, soUpcase, soNumbers, soHTML, soInternet,
                               soAbbreviations, soRepeated});
    spell.WriteKeepDictionariesActive(true);
    spell.Configuration().EnsureLoaded();
    if (spell.MainDictionaries().empty()) {
        std::fprintf(stderr, "cannot open %s\n", lxm.c_str());
        return 1;
    }
    spell.OptimizeMainDictionaryOrder();
    std::printf("component: %s (%u words); hunspell: %s, and flat: the %zu lines of %s\n", lxm.c_str(),
                spell.MainDictionaries().front()->WordCount(), kEnGb, list.size(), listFile.c_str());

    // ------------------------------------------------------- real prose
    std::vector<Corpus> corpora;
    if (textFiles.empty()) {
        corpora.push_back({"licences", licenceFiles(), {}, {}, {}});
        corpora.push_back({"package documentation", documentationFiles(), {}, {}, {}});
    } else {
        corpora.push_back({"given text", textFiles, {}, {}, {}});
    }
    std::printf("\nalarms on real prose (the same words for both, the same ignore options)\n");
    Alarms oursOnly;
    for (auto& c : corpora) {
        tokenise(c, spell);
        Alarms ours, theirs;
        for (size_t i = 0; i < c.words.size(); ++i) {
            if (c.ignored[i]) continue;
            const bool we = !spell.WordAcceptable(c.words[i]), they = !enGb.spell(c.utf8[i]);
            if (we) ++ours.total, ++ours.words[c.utf8[i]];
            if (they) ++theirs.total, ++theirs.words[c.utf8[i]];
            if (we && !they) ++oursOnly.words[c.utf8[i]];
        }
        std::printf(" %s: %zu files, %zu words\n", c.name.c_str(), c.files.size(), c.words.size());
        printAlarms("component", ours, c.words.size());
        printAlarms("hunspell en_GB", theirs, c.words.size());
    }
    if (alarmCount > 0) {
        std::vector<std::pair<size_t, std::string>> top;
        for (const auto& [w, n] : oursOnly.words) top.emplace_back(n, w);
        std::sort(top.rbegin(), top.rend());
        std::printf("\nrejected by the component, accepted by hunspell en_GB (times):\n");
        for (size_t i = 0; i < top.size() && i < alarmCount; ++i)
            std::printf("  %s (%zu)%s", top[i].second.c_str(), top[i].first, i % 6 == 5 ? "\n" : "");
        std::printf("\n");
    }

    // ------------------------------------------------------------ speed
    std::vector<std::string> sample8, sample;
    for (const auto& c : corpora) {
        sample8.insert(sample8.end(), c.words.begin(), c.words.end());
        sample.insert(sample.end(), c.utf8.begin(), c.utf8.end());
    }
    constexpr size_t speedWords = 200000;
    if (sample.size() > speedWords) {
        sample.resize(speedWords);
        sample8.resize(speedWords);
    }
    constexpr int passes = 7;
    size_t oursAccepted = 0, gbAccepted = 0, flatAccepted = 0;
    const auto [ours, gb] = bestOfTurns(
        passes,
        [&] {
            oursAccepted = 0;
            for (const auto& w : sample8) oursAccepted += spell.WordAcceptable(w);
        },
        [&] {
            gbAccepted = 0;
            for (const auto& w : sample) gbAccepted += enGb.spell(w);
        });
    const auto [ours2, flatTime] = bestOfTurns(
        passes, [&] { for (const auto& w : sample8) spell.WordAcceptable(w); },
        [&] {
            flatAccepted = 0;
            for (const auto& w : sample) flatAccepted += flat.spell(w);
        });
    const double n = static_cast<double>(sample.size());
    std::printf("\nchecking %zu words of that prose (best of %d passes each, in turns)\n", sample.size(), passes);
    std::printf("  component        %9.0f words/s\n  hunspell en_GB   %9.0f words/s   component %.2fx\n", n / ours,
                n / gb, gb / ours);
    std::printf("  hunspell flat    %9.0f words/s   component %.2fx\n", n / flatTime, flatTime / std::min(ours, ours2));

    // -------------------------------------------------------- detection
    const auto allPairs = codespellPairs(codespell);
    const std::vector<std::string> medium = readLines(kMediumList);
    const std::unordered_set<std::string> mediumSet(medium.begin(), medium.end());
    size_t misspelt = 0, weCaught = 0, theyCaught = 0;
    std::unordered_set<std::string> seen;
    for (const auto& [wrong, right] : allPairs) {
        std::string w8;
        if (wrong.empty() || mediumSet.count(wrong) || !seen.insert(wrong).second || !Cp1252FromUtf8(wrong, w8))
            continue;
        ++misspelt;
        weCaught += !spell.WordAcceptable(w8);
        theyCaught += !enGb.spell(wrong);
    }
    std::printf("\ndetection of %zu codespell misspellings that are no word of %s\n", misspelt, kMediumList);
    std::printf("  component %.4f   hunspell en_GB %.4f\n", static_cast<double>(weCaught) / static_cast<double>(misspelt),
                static_cast<double>(theyCaught) / static_cast<double>(misspelt));

    // ------------------------------------------------------- suggesting
    const std::vector<Pair> pairs = misspellings(allPairs, known, pairCount);
    if (pairs.empty()) {
        std::fprintf(stderr, "no misspellings from %s\n", codespell.c_str());
        return 1;
    }
    std::printf("\nsuggesting for %zu misspellings from %s: as written | capitalised\n", pairs.size(),
                codespell.c_str());
    const auto measure = [&](const std::function<std::vector<std::string>(const Pair&, bool)>& suggest, Quality& lower,
                             Quality& upper, std::vector<std::vector<std::string>>* kept) {
        for (int cap = 0; cap < 2; ++cap) {
            Quality& q = cap ? upper : lower;
            std::vector<std::vector<std::string>> offered(pairs.size());
            q.seconds = seconds([&] {
                for (size_t i = 0; i < pairs.size(); ++i) offered[i] = suggest(pairs[i], cap != 0);
            });
            for (size_t i = 0; i < pairs.size(); ++i) {
                const bool ours8 = kept != nullptr;
                const std::string right = ours8 ? pairs[i].right8 : pairs[i].right;
                rank(offered[i], cap ? capitalised(right, ours8) : right, q);
            }
            if (kept && !cap) *kept = std::move(offered);
        }
    };
    Quality oursLower, oursUpper, gbLower, gbUpper, flatLower, flatUpper;
    std::vector<std::vector<std::string>> offered;
    measure(
        [&](const Pair& p, bool cap) {
            std::vector<std::string> out;
            spell.Suggest(cap ? capitalised(p.wrong8, true) : p.wrong8, out);
            return out;
        },
        oursLower, oursUpper, &offered);
    measure([&](const Pair& p, bool cap) { return enGb.suggest(cap ? capitalised(p.wrong, false) : p.wrong); },
            gbLower, gbUpper, nullptr);
    measure([&](const Pair& p, bool cap) { return flat.suggest(cap ? capitalised(p.wrong, false) : p.wrong); },
            flatLower, flatUpper, nullptr);
    printQuality("component", oursLower, oursUpper, pairs.size());
    printQuality("hunspell en_GB", gbLower, gbUpper, pairs.size());
    printQuality("hunspell flat", flatLower, flatUpper, pairs.size());

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

// Edit-type correction candidates and the edit distance.
#include "spell/lx3suggestions.h"

#include <algorithm>

#include "spell/lxcase.h"

namespace spell {

namespace {

std::string range(unsigned char from, unsigned char to) {
    std::string s;
    for (unsigned c = from; c <= to; ++c) s += static_cast<char>(c);
    return s;
}

const std::string cyrillicExtras = "\xB8\xA8\xB9\xB3\xBF";

struct LanguageLetters {
    int language;
    bool primaryOnly;  // match the low byte only
    const char* letters;
};
constexpr LanguageLetters languageLetters[] = {
    {1029, false,
     "\xE1\xE8\xEF\xE9\xEC\xED\xF2\xF3\xF8\x9A\x9D\xFA\xF9\xFD\x9E\xC1\xC8\xCF\xC9\xCC\xCD\xD2\xD3\xD8\x8A\x8D\xDA\xD9"
     "\xDD\x8E"},
    {12, true, "\x9C"},
    {1049, false, "\xB2\xA2\xB1\xA1\xBC\xAC\xB6\xA6"},
    {1045, false, "\xB9\xE6\xEA\xB3\xB3\xF1\xF3\x9C\xBF\x9F\xA5\xC6\xCA\xA3\xD1\xD3\x8C\xAF\x8F"},
};

constexpr int maxWordLength = 250;

}  // namespace

TSuggestionsGenerator::TSuggestionsGenerator()
    : usage_("'" + range('a', 'z') + "\xD7\xDE\xDF" + range(0xE0, 0xFF) + cyrillicExtras),
      start_("'" + range('a', 'z') + range('A', 'Z') + range(0xC0, 0xFF) + cyrillicExtras) {}

void TSuggestionsGenerator::WriteLanguage(int Language) {
    if (Language == language_) return;
    language_ = Language;
    if (defaultTypes_) WriteDefaultSuggestionTypes(true);
    for (const auto& l : languageLetters) {
        if (l.primaryOnly ? (Language & 0xFF) != l.language : Language != l.language) continue;
        usage_ += l.letters;
        start_ += l.letters;
    }
}

void TSuggestionsGenerator::WriteDefaultSuggestionTypes(bool On) {
    defaultTypes_ = On;
    if (On) types_ = language_ == 1053 ? AllSuggestionTypes & ~SuggestionTypeBit(stSplitWord) : AllSuggestionTypes;
}

void TSuggestionsGenerator::WriteSuggestionTypes(TSuggestionTypes Types) {
    types_ = Types;
    defaultTypes_ = false;
}

namespace {

// One generation pass over one spelling of the word.
class Run {
public:
    Run(const std::string& word, size_t max, std::vector<std::string>& strings, const TWordExistsFunc& exists)
        : word_(word), max_(max), strings_(strings), exists_(exists), lower_(LxAllLower(word)) {}

    // False once the list is full.
    bool check(const std::string& candidate) {
        if (candidate.size() < 2 || !exists_(candidate)) return true;
        if (strings_.size() > max_) return false;
        if (lower_ && !LxAllLower(candidate) && exists_(LxLowerCase(candidate))) return true;
        add(candidate);
        return true;
    }

    bool add(const std::string& candidate) {
        if (strings_.size() > max_) return false;
        if (std::find(strings_.begin(), strings_.end(), candidate) == strings_.end()) strings_.push_back(candidate);
        return true;
    }

    bool exists(const std::string& w) const { return exists_(w); }
    const std::string& word() const { return word_; }

private:
    const std::string& word_;
    size_t max_;
    std::vector<std::string>& strings_;
    const TWordExistsFunc& exists_;
    bool lower_;
};

// Each generator answers false once the list is full. Positions are 0-based.

bool swapped(Run& run, size_t distance) {
    const std::string& w = run.word();
    if (w.size() < distance + 2) return true;
    std::string c = w;
    for (size_t i = w.size() - 1 - distance + 1; i-- > 0;) {
        std::swap(c[i], c[i + distance]);
        if (!run.check(c)) return false;
        std::swap(c[i], c[i + distance]);
    }
    return true;
}

bool lettersLeftOut(Run& run, const std::string& usage, const std::string& start) {
    const std::string& w = run.word();
    for (size_t at = w.size(); at >= 1; --at) {
        std::string c = w;
        c.insert(at, 1, ' ');
        for (const char l : usage) {
            c[at] = l;
            if (!run.check(c)) return false;
        }
    }
    std::string c = " " + w;
    for (const char l : start) {
        c[0] = l;
        if (!run.check(c)) return false;
    }
    return true;
}

bool letterTooMany(Run& run) {
    const std::string& w = run.word();
    for (size_t at = w.size(); at-- > 0;) {
        std::string c = w;
        c.erase(at, 1);
        if (!run.check(c)) return false;
    }
    return true;
}

bool wrongLetter(Run& run, const std::string& usage, const std::string& start) {
    const std::string& w = run.word();
    std::string c = w;
    for (size_t at = w.size(); at-- > 1;) {
        for (const char l : usage) {
            c[at] = l;
            if (!run.check(c)) return false;
        }
        c[at] = w[at];
    }
    for (const char l : start) {
        c[0] = l;
        if (!run.check(c)) return false;
    }
    return true;
}

bool runTogether(Run& run) {
    const std::string& w = run.word();
    for (size_t left = 2; left + 2 <= w.size(); ++left) {
        const std::string a = w.substr(0, left), b = w.substr(left);
        if (run.exists(a) && run.exists(b) && !run.add(a + " " + b)) return false;
    }
    const size_t dot = w.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == w.size() || w.find('.', dot + 1) != std::string::npos)
        return true;
    const unsigned char next = static_cast<unsigned char>(w[dot + 1]);
    if (!LxIsUpper(next) && LxIsAlpha(next)) return true;
    if (run.exists(w.substr(0, dot)) && run.exists(w.substr(dot + 1)))
        return run.add(w.substr(0, dot + 1) + "  " + w.substr(dot + 1));
    return true;
}

}  // namespace

void TSuggestionsGenerator::suggestOnce(const std::string& word, int max, std::vector<std::string>& strings,
                                        const TWordExistsFunc& exists) const {
    Run run(word, static_cast<size_t>(max), strings, exists);
    const std::string& usage = LxHasUpper(word) ? start_ : usage_;
    const auto on = [&](TSuggestionType t) { return (types_ & SuggestionTypeBit(t)) != 0; };
    if (on(stTransposition) && !swapped(run, 1)) return;
    if (on(stSingleDeletion) && !lettersLeftOut(run, usage, start_)) return;
    if (on(stInsertion) && !letterTooMany(run)) return;
    if (on(stSubstitution) && !wrongLetter(run, usage, start_)) return;
    if (on(stTransposition) && !swapped(run, 2)) return;
    if (on(stSplitWord)) runTogether(run);
}

void TSuggestionsGenerator::Suggest(const std::string& Word, int Max, std::vector<std::string>& Strings,
                                    const TWordExistsFunc& Exists) {
    if (Max == -1) Max = 65535;
    if (!Exists || Word.empty() || Max <= 0 || Word.size() > maxWordLength) return;
    suggestOnce(Word, Max, Strings, Exists);
    if (LxAllLower(Word) || LxAllUpper(Word)) return;
    // Mixed case: once more on the normal spelling.
    std::string normal = LxLowerCase(Word);
    if (LxIsUpper(static_cast<unsigned char>(Word[0]))) normal[0] = Word[0];
    if (normal != Word) suggestOnce(normal, Max, Strings, Exists);
}

int GetEditDistance(std::string_view A, std::string_view B) {
    constexpr size_t limit = 254;
    if (A.size() > limit || B.size() > limit) return static_cast<int>(std::max(A.size(), B.size()));
    const size_t n = A.size(), m = B.size();
    std::vector<int> table((n + 1) * (m + 1));
    const auto at = [&](size_t i, size_t j) -> int& { return table[i * (m + 1) + j]; };
    for (size_t i = 0; i <= n; ++i) at(i, 0) = static_cast<int>(i);
    for (size_t j = 0; j <= m; ++j) at(0, j) = static_cast<int>(j);
    for (size_t i = 1; i <= n; ++i)
        for (size_t j = 1; j <= m; ++j)
            at(i, j) = A[i - 1] == B[j - 1] ? at(i - 1, j - 1)
                                             : 1 + std::min({at(i - 1, j), at(i, j - 1), at(i - 1, j - 1)});
    int d = at(n, m);
    // 1-based positions c from 2 to the shorter length.
    const size_t shorter = std::min(n, m);
    for (size_t c = 2; c <= shorter && d > 0; ++c) {
        if (A[c - 1] == B[c - 2] && A[c - 2] == B[c - 1] && A[c - 1] != A[c - 2]) {
            --d;
            ++c;
        }
    }
    return d;
}

}  // namespace spell

// The interface texts in every language, and the code pages they are kept
// in checked byte by byte against Python's codecs.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "spell/lx3texts.h"
#include "spell/lxcodepage.h"
#include "spell_support.h"

using namespace spell;

namespace {

// Python's character for each byte of the code pages asked for; -1 where
// Python leaves the byte undefined.
std::map<int, std::vector<long>> pythonDecoding(const std::vector<std::string>& pages) {
    std::map<int, std::vector<long>> table;
    for (const auto& line : spelltest::pythonLines("codepages.py", pages)) {
        std::istringstream in(line);
        int page = 0, byte = 0;
        long code = 0;
        in >> page >> byte >> code;
        auto& column = table[page];
        column.resize(256, -2);
        column.at(static_cast<size_t>(byte)) = code;
    }
    return table;
}

TEST(CodePageTest, EveryByteDecodesAsPythonDoesAndComesBack) {
    const auto python = pythonDecoding({"1250", "1251", "1252"});
    for (const auto page : {CodePage::Cp1250, CodePage::Cp1251, CodePage::Cp1252}) {
        const auto& theirs = python.at(static_cast<int>(page));
        ASSERT_EQ(theirs.size(), 256u);
        std::string all;
        for (int b = 0; b < 256; ++b) {
            const auto byte = static_cast<unsigned char>(b);
            const uint32_t ours = UnicodeFromCodePage(page, byte);
            // Where Python has no character, the byte stands for its C1 control.
            EXPECT_EQ(ours, theirs[b] >= 0 ? static_cast<uint32_t>(theirs[b]) : byte)
                << static_cast<int>(page) << " byte " << b;
            EXPECT_EQ(CodePageFromUnicode(page, ours), b) << static_cast<int>(page) << " byte " << b;
            all += static_cast<char>(byte);
        }
        std::string back;
        EXPECT_TRUE(CodePageFromUtf8(page, Utf8FromCodePage(page, all), back));
        EXPECT_EQ(back, all) << static_cast<int>(page);
    }
}

TEST(CodePageTest, CharactersAPageLacksHaveNoByte) {
    struct Case {
        CodePage page;
        uint32_t code;
        int byte;
    };
    const Case cases[] = {
        {CodePage::Cp1251, 0x0105, -1},    // ą
        {CodePage::Cp1250, 0x044F, -1},    // я
        {CodePage::Cp1252, 0x0142, -1},    // ł
        {CodePage::Cp1250, 0x00C0, -1},    // À, though 1252 has it at 0xC0
        {CodePage::Cp1251, 0x0081, -1},    // 0x81 is Ѓ in 1251, not a free byte
        {CodePage::Cp1251, 0x0098, 0x98},  // the one byte 1251 leaves free
        {CodePage::Cp1250, 0x0083, 0x83},
        {CodePage::Cp1252, 0x20AC, 0x80},
        {CodePage::Cp1251, 0x20AC, 0x88},
        {CodePage::Cp1252, 0x1F600, -1},
        {CodePage::Cp1250, 0xFFFF, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CodePageFromUnicode(c.page, c.code), c.byte) << static_cast<int>(c.page) << " U+" << std::hex << c.code;

    std::string out;
    EXPECT_FALSE(CodePageFromUtf8(CodePage::Cp1251, "Zaż", out));
    EXPECT_FALSE(CodePageFromUtf8(CodePage::Cp1250, "Да", out));
    EXPECT_FALSE(CodePageFromUtf8(CodePage::Cp1250, "\xC5", out));          // cut short
    EXPECT_FALSE(CodePageFromUtf8(CodePage::Cp1250, "\xC0\xA1", out));      // overlong
    EXPECT_FALSE(CodePageFromUtf8(CodePage::Cp1251, "\xED\xA0\x80", out));  // surrogate
    ASSERT_TRUE(CodePageFromUtf8(CodePage::Cp1250, "Łódź", out));
    EXPECT_EQ(out, "\xA3\xF3\x64\x9F");
    EXPECT_THROW(CodePageFromUnicode(static_cast<CodePage>(437), 'a'), std::invalid_argument);
}

const auto allSpellLanguages = [] {
    std::vector<TSpellLanguageType> v;
    for (int l = 0; l < SpellLanguageCount; ++l) v.push_back(static_cast<TSpellLanguageType>(l));
    return v;
}();

TEST(TextsTest, EveryCellIsFilledAndOutsideTheTableIsEmpty) {
    for (const auto lang : allSpellLanguages)
        for (int id = 0; id < SpellStringCount; ++id)
            EXPECT_FALSE(GetString(static_cast<TSpellLanguageString>(id), lang).empty()) << lang << " " << id;
    for (int lang = 0; lang < ThesaurusLanguageCount; ++lang)
        for (int id = 0; id < ThesaurusStringCount; ++id)
            EXPECT_FALSE(GetString(static_cast<TThesaurusLanguageString>(id), static_cast<TThesaurusLanguageType>(lang))
                             .empty())
                << lang << " " << id;

    EXPECT_EQ(GetString(static_cast<TSpellLanguageString>(SpellStringCount), ltEnglish), "");
    EXPECT_EQ(GetString(static_cast<TSpellLanguageString>(-1), ltEnglish), "");
    EXPECT_EQ(GetString(lsSpelling, static_cast<TSpellLanguageType>(SpellLanguageCount)), "");
    EXPECT_EQ(GetStringUtf8(lsSpelling, static_cast<TSpellLanguageType>(-1)), "");
    EXPECT_EQ(GetString(static_cast<TThesaurusLanguageString>(ThesaurusStringCount), TThesaurusLanguageType::ltEnglish),
              "");
    EXPECT_EQ(GetString(TThesaurusLanguageString::lsDlgClose, static_cast<TThesaurusLanguageType>(ThesaurusLanguageCount)),
              "");
}

// The sample row as given, read back in UTF-8, and three of its cells in
// their code pages' bytes.
TEST(TextsTest, TextsAreKeptInTheirLanguagesCodePages) {
    const char* sample[SpellLanguageCount] = {"Check spelling as you type",
                                              "Kontrollera stavningen när du skriver",
                                              "Verificar a ortografia enquanto escreve",
                                              "Gaan spel reëls na terwyl jy tik",
                                              "Automatische Rechtschreibprüfung",
                                              "Verificar la ortografía mientras escribe",
                                              "Проверять ор&фографию при вводе",
                                              "Kontrolovat pravopis při psaní",
                                              "Spelling controleren onder het typen",
                                              "L&øbende stavekontrol",
                                              "Sprawdzaj pisownię podczas pisania",
                                              "&Fortløpende stavekontroll",
                                              "Vérifier l'orthographe automatiquement",
                                              "&Correzione ortografica durante la digitazione",
                                              "Õigekirja kontrolli kirjutamise ajal"};
    for (const auto lang : allSpellLanguages) EXPECT_EQ(GetStringUtf8(lsLiveSpelling, lang), sample[lang]) << lang;

    EXPECT_EQ(GetString(lsLiveSpelling, ltRussian).substr(0, 9), "\xCF\xF0\xEE\xE2\xE5\xF0\xFF\xF2\xFC");
    EXPECT_EQ(GetString(lsLiveSpelling, ltCzech).substr(21, 3), "p\xF8i");
    EXPECT_EQ(GetString(lsLiveSpelling, ltPolish).substr(10, 9), "pisowni\xEA ");
    EXPECT_EQ(GetString(lsLiveSpelling, ltDanish), "L&\xF8" "bende stavekontrol");

    for (const auto lang : allSpellLanguages) {
        const CodePage want = lang == ltRussian                      ? CodePage::Cp1251
                              : lang == ltCzech || lang == ltPolish ? CodePage::Cp1250
                                                                    : CodePage::Cp1252;
        EXPECT_EQ(LanguageCodePage(lang), want) << lang;
    }
    EXPECT_EQ(LanguageCodePage(TThesaurusLanguageType::ltRussian), CodePage::Cp1251);
    EXPECT_EQ(LanguageCodePage(TThesaurusLanguageType::ltCzech), CodePage::Cp1250);
    EXPECT_EQ(LanguageCodePage(TThesaurusLanguageType::ltPolish), CodePage::Cp1250);
    EXPECT_EQ(LanguageCodePage(TThesaurusLanguageType::ltEstonian), CodePage::Cp1252);
    EXPECT_EQ(GetString(TThesaurusLanguageString::lsDlgLookup, TThesaurusLanguageType::ltRussian), "&\xCF\xEE\xE8\xF1\xEA");
}

// Estonian is kept as Windows-1252 but must read the same as Windows-1257.
TEST(TextsTest, EstonianTextsMeanTheSameInWindows1257) {
    const auto python = pythonDecoding({"1252", "1257"});
    std::string all;
    for (int id = 0; id < SpellStringCount; ++id) all += GetString(static_cast<TSpellLanguageString>(id), ltEstonian);
    for (int id = 0; id < ThesaurusStringCount; ++id)
        all += GetString(static_cast<TThesaurusLanguageString>(id), TThesaurusLanguageType::ltEstonian);
    ASSERT_NE(all.find('\xF5'), std::string::npos);  // õ is there to be checked
    for (const unsigned char b : all) EXPECT_EQ(python.at(1252).at(b), python.at(1257).at(b)) << "byte " << int{b};
}

TEST(TextsTest, MenuCommandsReadAsTheDialogsButtons) {
    const std::pair<TSpellLanguageString, TSpellLanguageString> same[] = {
        {lsMnIgnore, lsDlgIgnore}, {lsMnIgnoreAll, lsDlgIgnoreAll}, {lsMnAdd, lsDlgAdd}, {lsMnChangeAll, lsDlgChangeAll}};
    for (const auto lang : allSpellLanguages)
        for (const auto& [menu, dialog] : same) EXPECT_EQ(GetString(menu, lang), GetString(dialog, lang)) << lang;
}

std::string withoutKey(std::string s) {
    if (const auto at = s.find('&'); at != std::string::npos) s.erase(at, 1);
    return s;
}

// The internal dictionary's row names the two buttons that fill it.
TEST(TextsTest, InternalDictionaryRowNamesTheButtons) {
    for (const auto lang : allSpellLanguages)
        EXPECT_EQ(GetStringUtf8(lsIgnoreAllChangeAll, lang),
                  "(" + withoutKey(GetStringUtf8(lsDlgIgnoreAll, lang)) + " / " +
                      withoutKey(GetStringUtf8(lsDlgChangeAll, lang)) + ")")
            << lang;
}

// What a translation keeps of its English text: placeholders, access keys,
// the padding spaces of group captions and the closing punctuation.
struct Shape {
    std::multiset<std::string> placeholders;
    int keys = 0;
    bool badKey = false;
    size_t lead = 0, trail = 0;
    std::string ending;
};

Shape shapeOf(const std::string& s) {
    Shape sh;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%') {
            const auto end = s.find('%', i + 1);
            if (end == std::string::npos) break;
            sh.placeholders.insert(s.substr(i, end - i + 1));
            i = end;
        } else if (s[i] == '&') {
            ++sh.keys;
            if (i + 1 == s.size() || s[i + 1] == ' ' || s[i + 1] == '&') sh.badKey = true;
        }
    }
    sh.lead = s.find_first_not_of(' ');
    sh.trail = s.size() - 1 - s.find_last_not_of(' ');
    const auto body = s.substr(0, s.size() - sh.trail);
    for (const std::string e : {"...", ":", "?", ".", ")"})
        if (body.size() >= e.size() && body.compare(body.size() - e.size(), e.size(), e) == 0) {
            sh.ending = e;
            break;
        }
    return sh;
}

void expectSameShape(const std::string& english, const std::string& text, const std::string& where) {
    const Shape want = shapeOf(english), got = shapeOf(text);
    EXPECT_EQ(got.placeholders, want.placeholders) << where << ": " << text;
    // A text may gain a key where English has none (the given sample row does).
    EXPECT_EQ(got.keys, want.keys == 0 ? std::min(got.keys, 1) : want.keys) << where << ": " << text;
    EXPECT_FALSE(got.badKey) << where << ": " << text;
    EXPECT_EQ(got.lead, want.lead) << where << ": " << text;
    EXPECT_EQ(got.trail, want.trail) << where << ": " << text;
    EXPECT_EQ(got.ending, want.ending) << where << ": " << text;
}

TEST(TextsTest, TranslationsKeepEnglishPlaceholdersKeysAndPunctuation) {
    for (int id = 0; id < SpellStringCount; ++id) {
        const auto sid = static_cast<TSpellLanguageString>(id);
        for (const auto lang : allSpellLanguages)
            expectSameShape(GetStringUtf8(sid, ltEnglish), GetStringUtf8(sid, lang),
                            "spelling " + std::to_string(id) + "/" + std::to_string(lang));
    }
    for (int id = 0; id < ThesaurusStringCount; ++id) {
        const auto tid = static_cast<TThesaurusLanguageString>(id);
        for (int lang = 0; lang < ThesaurusLanguageCount; ++lang)
            expectSameShape(GetStringUtf8(tid, TThesaurusLanguageType::ltEnglish),
                            GetStringUtf8(tid, static_cast<TThesaurusLanguageType>(lang)),
                            "thesaurus " + std::to_string(id) + "/" + std::to_string(lang));
    }
    EXPECT_EQ(shapeOf("Thesaurus: %name%").placeholders.count("%name%"), 1u);
    EXPECT_EQ(shapeOf(" O&ptions: ").ending, ":");
}

// The access key of a text, lower-cased; 0 without one.
uint32_t keyOf(const std::string& utf8) {
    const auto at = utf8.find('&');
    if (at == std::string::npos) return 0;
    size_t i = at + 1;
    uint32_t code = 0;
    if (!NextUtf8(utf8, i, code)) return 0;
    if (code < 0x80) return static_cast<uint32_t>(std::tolower(static_cast<int>(code)));
    // Cyrillic and Latin-1 capitals sit 0x20 below their small letters; in
    // Latin Extended-A they pair up, capital first.
    if ((code >= 0x410 && code <= 0x42F) || (code >= 0xC0 && code <= 0xDE)) return code + 0x20;
    if ((code >= 0x139 && code <= 0x148) || (code >= 0x179 && code <= 0x17E)) return 0x10000 + (code + 1) / 2;
    if (code >= 0x100 && code < 0x180) return 0x10000 + code / 2;
    return code;
}

// Controls shown together; a translation gives each a key of its own.
// English keeps the given texts even where two share a key.
TEST(TextsTest, ControlsShownTogetherHaveDistinctKeys) {
    const std::vector<std::vector<TSpellLanguageString>> together = {
        {lsDlgReplaceWith, lsDlgSuggestions, lsDlgUndo, lsDlgOptions, lsDlgIgnoreAll, lsDlgIgnore, lsDlgChangeAll,
         lsDlgChange, lsDlgAdd, lsDlgAutoCorrect, lsDlgHelp},
        {lsDlgOptionsLabel, lsDlgDictionariesLabel, lsDlgCustomDictionary, lsDlgDictionaries, lsDlgHelp, lsDlgOK},
        {lsDlgEdit, lsDlgDelete, lsDlgNew, lsDlgHelp, lsDlgOK},
        {lsDlgAddedWords, lsDlgAutoCorrectPairs, lsDlgExcludedWords, lsDlgHelp, lsDlgOK, lsDlgIgnoreThisWord, lsDlgAdd,
         lsDlgDelete},
        {lsDlgAddedWords, lsDlgAutoCorrectPairs, lsDlgExcludedWords, lsDlgHelp, lsDlgOK, lsDlgReplace, lsDlgWith,
         lsDlgAdd, lsDlgDelete},
        {lsDlgAddedWords, lsDlgAutoCorrectPairs, lsDlgExcludedWords, lsDlgHelp, lsDlgOK, lsDlgExcludeThisWord,
         lsDlgAdd, lsDlgDelete},
        // The internal dictionary's editor: its pages are named by the buttons.
        {lsDlgIgnoreAll, lsDlgChangeAll, lsDlgHelp, lsDlgOK, lsDlgIgnoreThisWord, lsDlgAdd, lsDlgDelete},
        {lsDlgIgnoreAll, lsDlgChangeAll, lsDlgHelp, lsDlgOK, lsDlgReplace, lsDlgWith, lsDlgAdd, lsDlgDelete},
        {lsMnIgnore, lsMnIgnoreAll, lsMnAdd, lsMnChangeAll, lsMnAutoCorrect, lsMnSpelling},
    };
    for (const auto lang : allSpellLanguages) {
        if (lang == ltEnglish) continue;
        for (size_t g = 0; g < together.size(); ++g) {
            std::map<uint32_t, std::string> seen;
            for (const auto id : together[g]) {
                const auto text = GetStringUtf8(id, lang);
                const auto key = keyOf(text);
                ASSERT_NE(key, 0u) << text;
                const auto [it, fresh] = seen.emplace(key, text);
                EXPECT_TRUE(fresh) << "language " << lang << " group " << g << ": " << it->second << " and " << text;
            }
        }
    }
    for (int lang = 1; lang < ThesaurusLanguageCount; ++lang) {
        std::map<uint32_t, std::string> seen;
        for (int id = 1; id <= 7; ++id) {
            const auto text =
                GetStringUtf8(static_cast<TThesaurusLanguageString>(id), static_cast<TThesaurusLanguageType>(lang));
            const auto [it, fresh] = seen.emplace(keyOf(text), text);
            EXPECT_TRUE(fresh) << "thesaurus language " << lang << ": " << it->second << " and " << text;
        }
    }
}

}  // namespace

#pragma once
// The suite's interface texts (`Lx3SpellLanguages`, `Lx3ThesaurusLanguages`):
// every caption, label, button, option name, end-of-check message and
// spelling-menu item, by text id and interface language, and the
// thesaurus's own smaller table of the same kind.
//
// Texts are kept 8-bit, in the code page of their language, as the suite
// works on 8-bit text; the Utf8 getters are for display. All fifteen
// languages are written in full, so no cell falls back to another language;
// only an id or a language outside the tables gives an empty text. In each
// language the access key "&" is placed so that the controls of one dialog,
// page or menu have keys of their own.
#include <string>

#include "spell/lxcodepage.h"

namespace spell {

enum TSpellLanguageType {
    ltEnglish,
    ltSwedish,
    ltBrPort,
    ltAfrikaans,
    ltGerman,
    ltSpanish,
    ltRussian,
    ltCzech,
    ltDutch,
    ltDanish,
    ltPolish,
    ltNorwegianBok,
    ltFrench,
    ltItalian,
    ltEstonian
};
constexpr int SpellLanguageCount = ltEstonian + 1;

// Ids 0 to 10 name the spelling options of the same ordinal.
enum TSpellLanguageString {
    lsLiveSpelling,
    lsLiveCorrect,
    lsIgnoreUpcase,
    lsIgnoreNumbers,
    lsHTML,
    lsInternet,
    lsQuoted,
    lsAbbreviations,
    lsPrimaryOnly,
    lsRepeated,
    lsDUalCaps,
    lsConfirmation,
    lsRemoveCustomDict,
    lsIgnoreAllChangeAll,
    lsSpelling,
    lsSpellingOptions,
    lsDictionaries,
    lsIgnoreAllChangeAllTitle,
    lsNewCustomTitle,
    lsDlgNotFound,
    lsDlgRepeatedWord,
    lsDlgReplaceWith,
    lsDlgSuggestions,
    lsDlgUndo,
    lsDlgOptions,
    lsDlgIgnoreAll,
    lsDlgIgnore,
    lsDlgChangeAll,
    lsDlgChange,
    lsDlgAdd,
    lsDlgAutoCorrect,
    lsDlgHelp,
    lsDlgCancel,
    lsDlgResetDefaults,
    lsDlgOptionsLabel,
    lsDlgDictionariesLabel,
    lsDlgName,
    lsDlgFilename,
    lsDlgCustomDictionary,
    lsDlgDictionaries,
    lsDlgBrowseForMain,
    lsDlgBrowseForMainTitle,
    lsDlgCustomDictionaries,
    lsDlgEdit,
    lsDlgDelete,
    lsDlgNew,
    lsDlgOK,
    lsDlgNewCustom,
    lsDlgAddedWords,
    lsDlgAddedWordsExplanation,
    lsDlgIgnoreThisWord,
    lsDlgAutoCorrectPairs,
    lsDlgAutoCorrectPairsExplanation,
    lsDlgReplace,
    lsDlgWith,
    lsDlgExcludedWords,
    lsDlgExcludedWordsExplanation,
    lsDlgExcludeThisWord,
    lsEndMessage,
    lsWordsChecked,
    lsEndSelectionMessage,
    lsMnNoSuggestions,
    lsMnIgnore,
    lsMnIgnoreAll,
    lsMnAdd,
    lsMnChangeAll,
    lsMnAutoCorrect,
    lsMnSpelling
};
constexpr int SpellStringCount = lsMnSpelling + 1;

// The text of Id in Language, in the language's code page; empty for an id
// or a language outside the table.
std::string GetString(TSpellLanguageString Id, TSpellLanguageType Language);
std::string GetStringUtf8(TSpellLanguageString Id, TSpellLanguageType Language);
// Estonian texts use only characters that Windows-1252 and Windows-1257
// share, and are kept as Windows-1252.
CodePage LanguageCodePage(TSpellLanguageType Language);

// The thesaurus's languages and ids repeat names of the spelling ones, hence
// scoped.
enum class TThesaurusLanguageType {
    ltEnglish,
    ltSwedish,
    ltGerman,
    ltRussian,
    ltCzech,
    ltDanish,
    ltNorwegianBok,
    ltPolish,
    ltItalian,
    ltEstonian
};
constexpr int ThesaurusLanguageCount = static_cast<int>(TThesaurusLanguageType::ltEstonian) + 1;

// In lsThesaurus, "%name%" stands for the thesaurus's name.
enum class TThesaurusLanguageString {
    lsThesaurus,
    lsDlgLookedUp,
    lsDlgContexts,
    lsDlgReplaceWith,
    lsDlgPrevious,
    lsDlgLookup,
    lsDlgReplace,
    lsDlgClose,
    lsDlgNotFound
};
constexpr int ThesaurusStringCount = static_cast<int>(TThesaurusLanguageString::lsDlgNotFound) + 1;

std::string GetString(TThesaurusLanguageString Id, TThesaurusLanguageType Language);
std::string GetStringUtf8(TThesaurusLanguageString Id, TThesaurusLanguageType Language);
CodePage LanguageCodePage(TThesaurusLanguageType Language);

}  // namespace spell

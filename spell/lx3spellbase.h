#pragma once
// The spell-check component's engine without windows: the configuration,
// the loaded dictionaries, the word services (is a word acceptable, what
// corrects it, what to suggest) and the management of user dictionaries.
// The interactive checks, the popup menu and the dialogs build on it.
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "spell/lx3configuration.h"
#include "spell/lx3customdictionary.h"
#include "spell/lx3ignore.h"
#include "spell/lx3maindictionary.h"
#include "spell/lx3parseengine.h"
#include "spell/lx3phoneticsmap.h"
#include "spell/lx3suggestions.h"
#include "spell/lx3texts.h"
#include "spell/lx3util.h"

namespace spell {

enum TCaseModification { cmNone, cmInitialCaps, cmInitialCapsOrUpcase, cmAnyCase, cmCustom };

class TLexiroSpell3Base {
public:
    TLexiroSpell3Base();
    virtual ~TLexiroSpell3Base();
    TLexiroSpell3Base(const TLexiroSpell3Base&) = delete;
    TLexiroSpell3Base& operator=(const TLexiroSpell3Base&) = delete;

    // ------------------------------------------------ configuration settings
    TConfigStorage ConfigStorage() const { return host_.ConfigStorage; }
    void WriteConfigStorage(TConfigStorage Value);
    const std::string& ConfigID() const { return host_.ConfigID; }
    void WriteConfigID(const std::string& Value);
    const std::string& ConfigFilename() const { return host_.ConfigFilename; }
    void WriteConfigFilename(const std::string& Value);
    const std::string& ConfigRegistryKey() const { return host_.ConfigRegistryKey; }
    void WriteConfigRegistryKey(const std::string& Value);
    // The folders searched for dictionaries; a folder that is not absolute
    // after expansion is neither searched nor created.
    const std::vector<std::string>& ConfigDictionaryDir() const { return dictionaryDir_; }
    void WriteConfigDictionaryDir(std::vector<std::string> Folders);
    void WriteDefaultMain(std::vector<std::string> Names) { host_.ConfigDefaultMain = std::move(Names); }
    void WriteDefaultCustom(std::vector<std::string> Names) { host_.ConfigDefaultCustom = std::move(Names); }
    // A plain write: nothing reloads.
    void WriteDefaultActiveCustom(const std::string& Name) { host_.ConfigDefaultActiveCustom = Name; }
    void WriteDefaultOptions(TSpellOptions Options) { host_.ConfigDefaultOptions = Options; }
    TLexiroConfig& Configuration() { return *config_; }

    // --------------------------------------------------------- behaviour
    const std::string& QuoteChars() const { return quoteChars_; }
    void WriteQuoteChars(const std::string& Value);
    bool KeepDictionariesActive() const { return keepActive_; }
    void WriteKeepDictionariesActive(bool Value);
    int PhoneticMaxDistance() const { return phonetics_.DistanceMax(); }
    void WritePhoneticMaxDistance(int Value) { phonetics_.WriteDistanceMax(Value); }
    int PhoneticDivisor() const { return phonetics_.DistanceDivisor(); }
    void WritePhoneticDivisor(int Value) { phonetics_.WriteDistanceDivisor(Value); }
    int PhoneticDepth() const { return phonetics_.StartDepth(); }
    void WritePhoneticDepth(int Value) { phonetics_.WriteStartDepth(Value); }
    const std::string& MappingDictionaryName() const { return mappingName_; }
    void WriteMappingDictionary(const std::string& Name);
    bool SuggestionsLearning() const { return learning_; }
    void WriteLearnSuggestions(bool Value);
    const std::string& SuggestionsLearningDict() const { return learningName_; }
    void WriteSuggestionsDictFN(const std::string& Name);

    bool SuggestionsAutoReplace = false;
    int MaxSuggestions = -1;
    bool PhoneticSuggestions = true;
    bool MappingAutoReplace = true;
    bool UseExcludeWords = true;
    bool UseAutoCorrectFirst = false;
    TCaseModification AllowedCases = cmInitialCapsOrUpcase;
    bool LiveSpelling() const { return liveSpelling_; }
    bool LiveCorrect() const { return liveCorrect_; }

    // ------------------------------------------------------------ events
    // A dictionary or the configuration could not be read or written; the
    // message names the file. Each failure is told once. Without a handler
    // ShowFileError tells the user.
    std::function<void(const std::string& Message)> OnFileError;
    std::function<void()> OnConfigChanged, OnDictionariesChanged, OnAddCustomIgnore, OnAdjustPhoneticsMap;
    std::function<void(std::string& Word)> OnCaseModification;
    // May supply the object a user dictionary is opened in.
    std::function<void(std::unique_ptr<TCustomDictionary>& Dictionary)> OnCreateCustomDictionary;
    // Options resynchronised; configuration changed.
    TEventList OptionsEvents, ConfigChangedEvents;
    // Ignore-word notifications, told before and after a word is ignored,
    // and popup results; the Sender handed to listeners is the notice.
    struct TIgnoreWordNotice {
        TLexiroSpell3Base* Spell;
        bool Before;
        int Kind;
    };
    struct TPopupResultNotice {
        TLexiroSpell3Base* Spell;
        int Result;
    };
    TEventList IgnoreWordEvents, PopupResultEvents;

    // --------------------------------------------- what the dialogs offer
    // Which options the configuration dialog lists.
    TSpellOptions ConfigAvailableOptions{soUpcase, soNumbers, soPrimaryOnly, soRepeated, soDUalCaps};
    // The names of the four user options.
    std::string ConfigUserOption[4];
    std::string HelpFile;
    int HelpCtxSpellDialog = 0, HelpCtxConfigDialog = 0, HelpCtxDictionariesDialog = 0,
        HelpCtxDictionaryEditDialog = 0;
    TSpellDialogCommands CommandsVisible = AllSpellDialogCommands, CommandsEnabled = AllSpellDialogCommands;
    TSpellLanguageType UILanguage = ltEnglish;
    // May replace a text (UTF-8).
    std::function<void(int Id, std::string& Text)> OnGetString;
    // The interface text of Id in UILanguage as UTF-8 for display, after
    // OnGetString.
    std::string GetString(int Id);
    // The option's name as the configuration dialog shows it.
    std::string GetOptionString(TSpellOption Option);

    // ----------------------------------------------------- word services
    bool WordExistsInMain(const std::string& Word);
    bool WordExists(const std::string& Word);
    bool WordExcluded(const std::string& Word);
    bool WordHasCorrection(const std::string& Word, std::string& Correction);
    bool WordAcceptable(const std::string& Word);
    std::string GetCaseModification(const std::string& Word);
    bool WordIsPossessive(const std::string& Word);
    void Suggest(const std::string& Word, std::vector<std::string>& Strings);
    void InternalSuggest(const std::string& Word, int Max, std::vector<std::string>& Strings);
    void LearnSuggestion(const std::string& Word, const std::string& Replacement);
    bool ExistsEvent(const std::string& Word);
    // The language of the first main dictionary, 0 with none.
    int ReadTextPrimaryLanguage();

    // ------------------------------------------------------- the filters
    // Re-reads the options and rebuilds the filter lists when they changed
    // (always with Force).
    void ResynchOptions(bool Force);
    void AddIgnore(std::unique_ptr<TParserIgnore> Filter);
    void ClearIgnoreList();
    bool RunInlineIgnore(unsigned char Char, TControlParser& Parser);
    bool RunPreCheckIgnore(const std::string& Word, TControlParser& Parser);
    // With no parser (no check running) the word is its own text.
    bool RunPostCheckIgnore(const std::string& Word, TControlParser* Parser);
    bool RunLineIgnore(const std::string& Line);
    TMainParsingEngine& ParsingEngine() { return *engine_; }
    // The parser of the check that runs, or null; the post-check filters
    // judge words on it.
    TControlParser* CurrentParser = nullptr;

    // ------------------------------------------------------ dictionaries
    std::unique_ptr<TMainDictionary> GetMainDictionary(const std::string& Name);
    std::unique_ptr<TCustomDictionary> GetCustomDictionary(const std::string& Name);
    // A plain word list (one word a line) as a dictionary of ignore words.
    std::unique_ptr<TCustomDictionary> GetMSWordCustomDictionary(const std::string& FileName);
    void ReloadDictionaries();
    void OptimizeMainDictionaryOrder();
    void FireConfigurationChanged(bool Reload);
    // Writes back the configuration and the user dictionaries and lets the
    // dictionaries go (they load again on the next lookup).
    void UnloadDictionaries();

    // Tells of a failed file once (the same message about the same file is
    // not told again).
    void FileFailed(const std::string& FileName, const std::string& Message);

    // Names (not paths) of the dictionaries with Extension in the search
    // folders, each once, in folder order and by name within a folder.
    std::vector<std::string> GetAvailableDictionaries(const std::string& Extension);
    const std::vector<std::string>& ReadAvailableMain();
    const std::vector<std::string>& ReadAvailableCustom();
    void EnableCustomDictionary(const std::string& Name, bool Enable);
    // A plain word list among the dictionaries; enabling needs the file.
    void EnableWordDictionary(const std::string& FileName, bool Enable);
    bool RemoveCustomDictionary(const std::string& Name);
    bool CreateNewCustomDictionary(const std::string& Name);
    bool RenameCustomDictionary(const std::string& OldName, const std::string& NewName);

    // "%ConfigID%" and the basic path variables.
    std::string ExpandVars(std::string_view Text) const;

    const std::vector<std::unique_ptr<TMainDictionary>>& MainDictionaries() const { return main_; }
    TCustomDictionary* ActiveCustomDictionary() const { return active_.get(); }
    TCustomDictionary* InternalDictionary() { return &internal_; }
    TCustomDictionary* LearningDictionary() const { return learningDict_.get(); }
    TCustomDictionary* MappingDictionary() const { return mappingDict_.get(); }
    TSuggestionsGenerator& Suggestions() { return suggestions_; }
    TPhoneticsMap& PhoneticsMap() { return phonetics_; }
    bool EnglishLoaded() const { return englishLoaded_; }

protected:
    // How a file failure reaches the user when no OnFileError is set; the
    // headless engine has nobody to tell.
    virtual void ShowFileError(const std::string& Message) { (void)Message; }

private:
    // Holds back reloads while several settings change together; the last
    // one out reloads once.
    class TBatch;
    void ensureConfig();
    void rebuildSearchFolders();
    void clearCaches();
    std::vector<std::string> expandedFolders() const;
    bool englishDictionaryHolds(const std::string& Word);
    // A compound whose hyphen-joined form exists, or whose parts each pass.
    bool compoundAcceptable(const std::string& Word, const std::function<bool(const std::string&)>& PartOk);
    // The generator's and the dictionary's candidates for Word, scored and
    // ordered.
    void suggestAsWritten(const std::string& Word, int Max, std::vector<std::string>& Strings);
    // Opens a configured user dictionary, telling of one that cannot serve.
    std::unique_ptr<TCustomDictionary> openUserDictionary(const std::string& Name);
    std::unique_ptr<TMainDictionary> openMainDictionary(const std::string& Name);
    std::unique_ptr<TMainDictionary> findMainDictionary(const std::string& Name, std::string& Error);
    // Whether a configured dictionary (a path) is the one listed as Name.
    bool sameDictionaryName(const std::string& Configured, const std::string& Name) const;
    void dropLoadedCopies(const std::string& Path);

    TLexiroConfigHost host_;
    std::unique_ptr<TLexiroConfig> config_;
    std::vector<std::string> dictionaryDir_{"%AppDir%"};
    std::vector<std::string> searchFolders_;
    std::string quoteChars_ = ">";
    bool keepActive_ = false;
    std::string mappingName_, learningName_ = "%AppDir%/%UserName%_sp.lxl";
    bool learning_ = true;
    bool liveSpelling_ = true, liveCorrect_ = true;

    std::unique_ptr<TMainParsingEngine> engine_;
    TSuggestionsGenerator suggestions_;
    TPhoneticsMap phonetics_;

    std::vector<std::unique_ptr<TMainDictionary>> main_;
    std::vector<std::unique_ptr<TCustomDictionary>> others_, wordCustom_;
    std::unique_ptr<TCustomDictionary> active_, mappingDict_, learningDict_;
    TCustomDictionary internal_;

    std::vector<std::unique_ptr<TParserIgnore>> filters_;  // the post-check list, owning
    std::vector<TParserIgnore*> inlineFilters_, lineFilters_;
    bool optionsKnown_ = false;
    TSpellOptions options_;
    bool primaryOnly_ = false, repeated_ = false, dualCaps_ = false;

    bool availableMainKnown_ = false, availableCustomKnown_ = false;
    std::vector<std::string> availableMain_, availableCustom_;
    bool englishLoaded_ = false, englishFallback_ = true;
    int reorderCountdown_ = 100;
    int batch_ = 0;
    std::set<std::string> toldFailures_;
    bool batchChanged_ = false, batchReload_ = false;
};

}  // namespace spell

// The spell-check component's engine: configuration, dictionaries, word
// services and user-dictionary management.
#include "spell/lx3spellbase.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "platform/rtl/sysutils.h"
#include "spell/lx3stringparser.h"
#include "spell/lxcase.h"

namespace spell {

namespace {

bool hasFolder(std::string_view name) { return name.find('/') != std::string_view::npos; }

// A Windows path (drive letter, backslashes) names nothing here; taken as
// it stands it would make files and folders below the current folder.
bool windowsPath(std::string_view name) {
    return name.find('\\') != std::string_view::npos ||
           (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])));
}

bool fileExists(const std::string& name) { return access(name.c_str(), F_OK) == 0; }

bool primaryEnglish(int language) { return (language & 0xFF) == 9; }

// File names in Folder ending in "." + Extension (letter case ignored),
// sorted.
std::vector<std::string> filesWithExtension(const std::string& folder, const std::string& extension) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    const std::string suffix = "." + LxLowerCase(extension);
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() > suffix.size() && LxLowerCase(name.substr(name.size() - suffix.size())) == suffix)
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

class TLexiroSpell3Base::TBatch {
public:
    explicit TBatch(TLexiroSpell3Base& owner) : owner_(owner) { ++owner_.batch_; }
    ~TBatch() {
        if (--owner_.batch_ > 0 || !owner_.batchChanged_) return;
        owner_.batchChanged_ = false;
        const bool reload = owner_.batchReload_;
        owner_.batchReload_ = false;
        owner_.FireConfigurationChanged(reload);
    }
    TBatch(const TBatch&) = delete;
    TBatch& operator=(const TBatch&) = delete;

private:
    TLexiroSpell3Base& owner_;
};

TLexiroSpell3Base::TLexiroSpell3Base() : engine_(std::make_unique<TMainParsingEngine>()) {
    host_.ConfigFilename = "%AppDir%/Spell.cfg";
    host_.ExpandVars = [this](std::string_view text) { return ExpandVars(text); };
    host_.FireConfigurationChanged = [this](bool reload) { FireConfigurationChanged(reload); };
    const auto configFailed = [this](const std::string& error) { FileFailed(ExpandVars(host_.ConfigFilename), error); };
    host_.OnConfigSaveFailed = configFailed;
    host_.OnConfigLoadFailed = configFailed;
    config_ = std::make_unique<TLexiroConfig>(&host_);
    engine_->OnInlineIgnore = [this](unsigned char c, TControlParser& p, bool& skip) { skip = RunInlineIgnore(c, p); };
    engine_->OnPreCheckIgnore = [this](const std::string& w, TControlParser& p, bool& skip) {
        skip = RunPreCheckIgnore(w, p);
    };
    rebuildSearchFolders();
}

TLexiroSpell3Base::~TLexiroSpell3Base() {
    // The configuration's save may call back; nothing must reload now.
    host_.FireConfigurationChanged = nullptr;
    config_.reset();
}

std::string TLexiroSpell3Base::ExpandVars(std::string_view Text) const {
    const std::string basic = ExpandBasicVars(Text);
    return ReplaceString("%ConfigID%", ExpandBasicVars(host_.ConfigID), basic);
}

void TLexiroSpell3Base::ensureConfig() { config_->EnsureLoaded(); }

// --------------------------------------------------------------- settings

void TLexiroSpell3Base::WriteConfigStorage(TConfigStorage Value) {
    host_.ConfigStorage = Value;
    config_->ReloadConfiguration();
}

void TLexiroSpell3Base::WriteConfigID(const std::string& Value) {
    host_.ConfigID = Value;
    config_->ReloadConfiguration();
}

void TLexiroSpell3Base::WriteConfigFilename(const std::string& Value) {
    host_.ConfigFilename = Value;
    if (host_.ConfigStorage == csFile) config_->ReloadConfiguration();
}

void TLexiroSpell3Base::WriteConfigRegistryKey(const std::string& Value) {
    host_.ConfigRegistryKey = Value;
    if (host_.ConfigStorage == csRegistry) config_->ReloadConfiguration();
}

void TLexiroSpell3Base::WriteConfigDictionaryDir(std::vector<std::string> Folders) {
    dictionaryDir_ = std::move(Folders);
    if (config_->ConfigLoaded()) {
        FireConfigurationChanged(true);
    } else {
        rebuildSearchFolders();
        clearCaches();
    }
}

void TLexiroSpell3Base::WriteQuoteChars(const std::string& Value) {
    quoteChars_ = Value;
    ResynchOptions(true);
}

void TLexiroSpell3Base::WriteKeepDictionariesActive(bool Value) {
    keepActive_ = Value;
    if (!Value) UnloadDictionaries();
}

void TLexiroSpell3Base::WriteMappingDictionary(const std::string& Name) {
    if (Name == mappingName_) return;
    mappingName_ = Name;
    mappingDict_.reset();
    if (!main_.empty()) ReloadDictionaries();
}

void TLexiroSpell3Base::WriteLearnSuggestions(bool Value) {
    if (Value == learning_) return;
    learningDict_.reset();
    learning_ = Value;
    if (Value && config_->ConfigLoaded()) ReloadDictionaries();
}

void TLexiroSpell3Base::WriteSuggestionsDictFN(const std::string& Name) {
    if (Name == learningName_) return;
    learningName_ = Name;
    if (learningDict_ && learning_) {
        learningDict_.reset();
        ReloadDictionaries();
    }
}

// ---------------------------------------------------------------- folders

std::vector<std::string> TLexiroSpell3Base::expandedFolders() const {
    std::vector<std::string> out;
    for (const auto& folder : searchFolders_) {
        const std::string path = LxExcludeTrailingBackslash(ExpandVars(folder));
        // A relative path (a Windows drive path included) would make and
        // search folders below whatever the current folder happens to be.
        if (!path.empty() && path[0] == '/') out.push_back(path);
    }
    return out;
}

void TLexiroSpell3Base::rebuildSearchFolders() {
    searchFolders_ = dictionaryDir_;
    if (config_ && config_->ConfigLoaded())
        for (const auto& f : config_->ReadNewDictionaryPaths().Items()) searchFolders_.push_back(f);
}

void TLexiroSpell3Base::clearCaches() {
    availableMainKnown_ = availableCustomKnown_ = false;
    availableMain_.clear();
    availableCustom_.clear();
}

// ----------------------------------------------------------- dictionaries

std::unique_ptr<TMainDictionary> TLexiroSpell3Base::GetMainDictionary(const std::string& Name) {
    std::string error;
    return findMainDictionary(Name, error);
}

// Error tells why the first file of that name was refused, or where none
// was found.
std::unique_ptr<TMainDictionary> TLexiroSpell3Base::findMainDictionary(const std::string& Name, std::string& Error) {
    auto dictionary = std::make_unique<TMainDictionary>();
    std::vector<std::string> tries;
    if (hasFolder(Name)) {
        tries.push_back(ExpandVars(Name));
    } else {
        for (const auto& folder : expandedFolders()) tries.push_back(folder + "/" + ExpandVars(Name));
    }
    Error.clear();
    for (const auto& path : tries) {
        dictionary->WriteFilename(path);
        if (dictionary->Filename() == path) return dictionary;
        if (Error.empty() && fileExists(path)) Error = dictionary->LastError();
    }
    if (Error.empty()) {
        Error = "The dictionary " + ExpandVars(Name) + " was not found";
        if (!hasFolder(Name)) {
            std::string folders;
            for (const auto& folder : expandedFolders()) folders += (folders.empty() ? "" : ", ") + folder;
            Error += " in " + (folders.empty() ? std::string("any folder") : folders);
        }
    }
    return nullptr;
}

std::unique_ptr<TMainDictionary> TLexiroSpell3Base::openMainDictionary(const std::string& Name) {
    std::string error;
    auto d = findMainDictionary(Name, error);
    if (!d) {
        FileFailed(ExpandVars(Name), error);
        return nullptr;
    }
    // A damaged tree shows only when the file is mapped and checked: now,
    // rather than as every word underlined later.
    d->WriteLoaded(true);
    if (d->LoadFailed()) {
        FileFailed(d->Filename(), d->LastError());
        return nullptr;
    }
    return d;
}

std::unique_ptr<TCustomDictionary> TLexiroSpell3Base::openUserDictionary(const std::string& Name) {
    auto d = GetCustomDictionary(Name);
    const std::string name = ExpandVars(Name);
    if (!d) {
        FileFailed(name, name + " cannot serve as a user dictionary: it is not one, or it cannot be created");
        return nullptr;
    }
    const std::string path = d->Filename();
    d->OnSaveFailed = [this, path](const std::string& error) { FileFailed(path, error); };
    d->WriteLoaded(true);
    if (d->LoadFailed()) FileFailed(path, d->LastError());
    return d;
}

void TLexiroSpell3Base::FileFailed(const std::string& FileName, const std::string& Message) {
    if (!toldFailures_.insert(FileName + '\n' + Message).second) return;
    if (OnFileError) OnFileError(Message);
    else ShowFileError(Message);
}

std::unique_ptr<TCustomDictionary> TLexiroSpell3Base::GetCustomDictionary(const std::string& Name) {
    std::unique_ptr<TCustomDictionary> dictionary;
    if (OnCreateCustomDictionary) OnCreateCustomDictionary(dictionary);
    if (!dictionary) dictionary = std::make_unique<TCustomDictionary>();
    std::string path;
    if (windowsPath(ExpandVars(Name))) return nullptr;
    if (hasFolder(Name)) {
        path = ExpandVars(Name);
        if (path[0] != '/') return nullptr;
        LXForceDirectories(rtl::ExtractFilePath(path));
    } else {
        const std::vector<std::string> folders = expandedFolders();
        if (folders.empty()) return nullptr;
        for (const auto& folder : folders) {
            LXForceDirectories(folder);
            if (fileExists(folder + "/" + ExpandVars(Name))) {
                path = folder + "/" + ExpandVars(Name);
                break;
            }
        }
        if (path.empty()) path = folders.front() + "/" + ExpandVars(Name);
    }
    // Another loaded copy of the file writes its changes first, so this one
    // reads them.
    for (auto& other : others_)
        if (other->Filename() == path) other->Save();
    if (active_ && active_->Filename() == path) active_->Save();
    dictionary->WriteFilename(path);
    if (dictionary->Filename() != path) return nullptr;
    return dictionary;
}

std::unique_ptr<TCustomDictionary> TLexiroSpell3Base::GetMSWordCustomDictionary(const std::string& FileName) {
    if (!fileExists(FileName)) return nullptr;
    auto dictionary = std::make_unique<TCustomDictionary>();
    std::string text, error;
    TFileStamp stamp;
    // A list that cannot be read gives an empty dictionary.
    if (!ReadRegularFile(FileName, text, stamp, error)) return dictionary;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) dictionary->AddIgnore(line);
        start = end + 1;
    }
    return dictionary;
}

void TLexiroSpell3Base::ReloadDictionaries() {
    englishLoaded_ = false;
    reorderCountdown_ = 100;
    main_.clear();
    for (const auto& name : config_->ReadMainDictionaries().Items()) {
        auto d = openMainDictionary(name);
        if (!d) continue;
        if (primaryEnglish(d->Language())) englishLoaded_ = true;
        main_.push_back(std::move(d));
    }
    const std::string activeName = config_->ReadActiveCustom();
    others_.clear();
    for (const auto& name : config_->ReadCustomDictionaries().Items()) {
        if (ExpandVars(name) == activeName) continue;
        if (auto d = openUserDictionary(name)) others_.push_back(std::move(d));
    }
    wordCustom_.clear();
    for (const auto& name : config_->ReadMSWordCustomDictionaries().Items())
        if (auto d = GetMSWordCustomDictionary(ExpandVars(name))) wordCustom_.push_back(std::move(d));
    active_.reset();
    if (!activeName.empty()) active_ = openUserDictionary(activeName);
    if (!mappingDict_ && !mappingName_.empty()) mappingDict_ = openUserDictionary(mappingName_);
    if (!learningDict_ && learning_ && !learningName_.empty()) learningDict_ = openUserDictionary(learningName_);
    if (OnDictionariesChanged) OnDictionariesChanged();
}

void TLexiroSpell3Base::OptimizeMainDictionaryOrder() {
    if (main_.size() > 1) {
        size_t best = 0;
        for (size_t i = 1; i < main_.size(); ++i)
            if (main_[i]->WordsFoundCount() > main_[best]->WordsFoundCount()) best = i;
        std::rotate(main_.begin(), main_.begin() + static_cast<std::ptrdiff_t>(best),
                    main_.begin() + static_cast<std::ptrdiff_t>(best) + 1);
    }
    if (!main_.empty()) {
        suggestions_.WriteLanguage(main_.front()->Language());
        engine_->SetFrenchExceptions((main_.front()->Language() & 0xFF) == 12);
    }
}

void TLexiroSpell3Base::FireConfigurationChanged(bool Reload) {
    if (batch_ > 0) {
        batchChanged_ = true;
        batchReload_ = batchReload_ || Reload;
        return;
    }
    rebuildSearchFolders();
    clearCaches();
    if (Reload) ReloadDictionaries();
    ResynchOptions(false);
    if (OnConfigChanged) OnConfigChanged();
    ConfigChangedEvents.Notify(this);
}

void TLexiroSpell3Base::UnloadDictionaries() {
    if (keepActive_) return;
    config_->SaveConfiguration();
    for (auto& d : main_) d->WriteLoaded(false);
    for (auto& d : others_) d->WriteLoaded(false);
    if (active_) active_->WriteLoaded(false);
    if (learningDict_) learningDict_->WriteLoaded(false);
}

std::vector<std::string> TLexiroSpell3Base::GetAvailableDictionaries(const std::string& Extension) {
    ensureConfig();
    std::vector<std::string> names;
    for (const auto& folder : expandedFolders())
        for (auto& name : filesWithExtension(folder, Extension))
            if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
    return names;
}

const std::vector<std::string>& TLexiroSpell3Base::ReadAvailableMain() {
    if (!availableMainKnown_) {
        availableMain_ = GetAvailableDictionaries("lxm");
        availableMainKnown_ = true;
    }
    return availableMain_;
}

const std::vector<std::string>& TLexiroSpell3Base::ReadAvailableCustom() {
    if (!availableCustomKnown_) {
        availableCustom_ = GetAvailableDictionaries("lxu");
        const std::string active = config_->ReadActiveCustom();
        const std::string activeName = rtl::ExtractFileName(active);
        if (!active.empty() &&
            std::find(availableCustom_.begin(), availableCustom_.end(), activeName) == availableCustom_.end())
            availableCustom_.insert(availableCustom_.begin(), active);
        availableCustomKnown_ = true;
    }
    return availableCustom_;
}

void TLexiroSpell3Base::EnableCustomDictionary(const std::string& Name, bool Enable) {
    TLxConfigList& list = config_->ReadCustomDictionaries();
    if (!Enable) {
        const TBatch batch(*this);
        const int at = list.IndexOf(Name);
        if (at >= 0) list.Delete(at);
        // The active one is named by its full path, the list by file name.
        if (sameDictionaryName(config_->ReadActiveCustom(), Name))
            config_->WriteActiveCustom(list.Count() > 0 ? list[0] : std::string());
        return;
    }
    if (list.IndexOf(Name) >= 0) return;
    if (GetCustomDictionary(Name)) list.Add(Name);
}

void TLexiroSpell3Base::EnableWordDictionary(const std::string& FileName, bool Enable) {
    TLxConfigList& list = config_->ReadMSWordCustomDictionaries();
    const int at = list.IndexOf(FileName);
    if (!Enable) {
        if (at >= 0) list.Delete(at);
    } else if (at < 0 && fileExists(ExpandVars(FileName))) {
        list.Add(FileName);
    }
}

bool TLexiroSpell3Base::RemoveCustomDictionary(const std::string& Name) {
    EnableCustomDictionary(Name, false);
    clearCaches();
    std::string path;
    if (auto d = GetCustomDictionary(Name)) path = d->Filename();
    if (path.empty() || unlink(path.c_str()) != 0) return false;
    // A copy still loaded would answer for the words and write them back.
    dropLoadedCopies(path);
    return true;
}

bool TLexiroSpell3Base::sameDictionaryName(const std::string& Configured, const std::string& Name) const {
    return !Configured.empty() && rtl::ExtractFileName(Configured) == rtl::ExtractFileName(ExpandVars(Name));
}

void TLexiroSpell3Base::dropLoadedCopies(const std::string& Path) {
    if (active_ && active_->Filename() == Path) active_.reset();
    for (auto& other : others_)
        if (other && other->Filename() == Path) other.reset();
    others_.erase(std::remove(others_.begin(), others_.end(), nullptr), others_.end());
    clearCaches();
}

bool TLexiroSpell3Base::CreateNewCustomDictionary(const std::string& Name) {
    const std::string name = rtl::ChangeFileExt(rtl::ExtractFileName(Name), ".lxu");
    auto d = GetCustomDictionary(name);
    if (!d) return false;
    d->WriteLoaded(true);
    if (!d->Loaded()) return false;
    d->SetModified(true);
    const bool saved = d->Save();
    TLxConfigList& list = config_->ReadCustomDictionaries();
    if (saved && list.IndexOf(name) < 0) list.Add(name);
    clearCaches();
    return saved;
}

bool TLexiroSpell3Base::RenameCustomDictionary(const std::string& OldName, const std::string& NewName) {
    if (OldName == NewName) return false;
    // The new name stays in the dictionary's folder.
    if (NewName.empty() || hasFolder(NewName) || windowsPath(NewName)) return false;
    const auto& available = ReadAvailableCustom();
    if (std::find(available.begin(), available.end(), OldName) == available.end()) return false;
    auto d = GetCustomDictionary(OldName);
    if (!d) return false;
    const std::string oldPath = d->Filename();
    const std::string target = rtl::ExtractFilePath(oldPath) + rtl::ChangeFileExt(NewName, ".lxu");
    if (fileExists(target) || !CanFileBeWritten(target, true)) return false;
    // The loaded copies saved themselves when d was opened; a failed rename
    // leaves them (and the configuration) as they were.
    if (!d->RenameTo(target)) return false;
    // A loaded copy must not write the old name back after the rename.
    dropLoadedCopies(oldPath);
    // The list keeps names that find the file again: with the extension.
    const std::string newName = rtl::ExtractFileName(target);
    const TBatch batch(*this);
    TLxConfigList& list = config_->ReadCustomDictionaries();
    const bool wasActive = sameDictionaryName(config_->ReadActiveCustom(), OldName);
    const int at = list.IndexOf(OldName);
    if (at >= 0) list.Put(at, newName);
    if (wasActive) config_->WriteActiveCustom(hasFolder(OldName) ? target : newName);
    clearCaches();
    return true;
}

// ---------------------------------------------------------------- filters

void TLexiroSpell3Base::AddIgnore(std::unique_ptr<TParserIgnore> Filter) {
    if (Filter->NeededBeforeCheck()) inlineFilters_.push_back(Filter.get());
    if (Filter->LineCheckNeeded()) lineFilters_.push_back(Filter.get());
    filters_.push_back(std::move(Filter));
}

void TLexiroSpell3Base::ClearIgnoreList() {
    inlineFilters_.clear();
    lineFilters_.clear();
    filters_.clear();
}

void TLexiroSpell3Base::ResynchOptions(bool Force) {
    const TSpellOptions options = config_->ReadSpellOptions();
    if (optionsKnown_ && options == options_ && !Force) return;
    optionsKnown_ = true;
    options_ = options;
    ClearIgnoreList();
    if (options.Contains(soInternet)) AddIgnore(std::make_unique<TURLIgnore>());
    if (options.Contains(soUpcase)) AddIgnore(std::make_unique<TUppercaseWordIgnore>());
    if (options.Contains(soNumbers)) AddIgnore(std::make_unique<TNumbersIgnore>());
    if (options.Contains(soHTML)) AddIgnore(std::make_unique<THTMLIgnore>());
    if (options.Contains(soQuoted)) AddIgnore(std::make_unique<TQuotedLineIgnore>(quoteChars_));
    if (options.Contains(soAbbreviations)) AddIgnore(std::make_unique<TAbbreviationsIgnore>());
    primaryOnly_ = options.Contains(soPrimaryOnly);
    repeated_ = options.Contains(soRepeated);
    dualCaps_ = options.Contains(soDUalCaps);
    liveSpelling_ = options.Contains(soLiveSpelling);
    liveCorrect_ = options.Contains(soLiveCorrect);
    if (OnAddCustomIgnore) OnAddCustomIgnore();
    OptionsEvents.Notify(this);
}

bool TLexiroSpell3Base::RunInlineIgnore(unsigned char Char, TControlParser& Parser) {
    for (auto* f : inlineFilters_)
        if (f->ExecuteIgnore(Char, Parser)) return true;
    return false;
}

bool TLexiroSpell3Base::RunPreCheckIgnore(const std::string& Word, TControlParser& Parser) {
    for (auto* f : inlineFilters_)
        if (f->ExecuteWordIgnorePreCheck(Word, Parser)) return true;
    return false;
}

bool TLexiroSpell3Base::RunPostCheckIgnore(const std::string& Word, TControlParser* Parser) {
    std::string text = Word;
    TStringParser own;
    if (!Parser) {
        own.Initialize(text);
        Parser = &own;
    }
    for (auto& f : filters_)
        if (f->ExecuteWordIgnorePostCheck(Word, *Parser)) return true;
    return false;
}

bool TLexiroSpell3Base::RunLineIgnore(const std::string& Line) {
    for (auto* f : lineFilters_)
        if (f->ExecuteLineIgnore(Line)) return true;
    return false;
}

// ---------------------------------------------------------- word services

bool TLexiroSpell3Base::WordExistsInMain(const std::string& Word) {
    if (LxHasTypographicApostrophe(Word)) return WordExistsInMain(LxPlainApostrophes(Word));
    ensureConfig();
    for (auto& d : main_)
        if (d->WordExists(Word)) {
            d->WordFound();
            return true;
        }
    return false;
}

bool TLexiroSpell3Base::WordExists(const std::string& Word) {
    if (LxHasTypographicApostrophe(Word)) return WordExists(LxPlainApostrophes(Word));
    if (WordExistsInMain(Word)) return true;
    if (active_ && active_->IgnoreExists(Word)) return true;
    for (auto& d : others_)
        if (d->IgnoreExists(Word)) return true;
    for (auto& d : wordCustom_)
        if (d->IgnoreExists(Word)) return true;
    return internal_.IgnoreExists(Word);
}

bool TLexiroSpell3Base::WordExcluded(const std::string& Word) {
    ensureConfig();
    if (active_ && active_->ExcludeExists(Word)) return true;
    for (auto& d : others_)
        if (d->ExcludeExists(Word)) return true;
    std::string correction;
    return mappingDict_ && mappingDict_->AutoCorrectExists(Word, correction);
}

std::string TLexiroSpell3Base::GetCaseModification(const std::string& Word) {
    if (Word.empty()) return Word;
    std::string folded = Word;
    auto lowerFirst = [&] { folded[0] = static_cast<char>(LxToLower(static_cast<unsigned char>(folded[0]))); };
    switch (AllowedCases) {
        case cmNone:
            break;
        case cmInitialCaps:
            lowerFirst();
            break;
        case cmInitialCapsOrUpcase:
            if (LxAllUpper(Word)) folded = LxLowerCase(Word);
            else lowerFirst();
            break;
        case cmAnyCase:
            folded = LxLowerCase(Word);
            break;
        case cmCustom:
            if (OnCaseModification) OnCaseModification(folded);
            break;
    }
    return folded;
}

bool TLexiroSpell3Base::englishDictionaryHolds(const std::string& Word) {
    if (LxHasTypographicApostrophe(Word)) return englishDictionaryHolds(LxPlainApostrophes(Word));
    const std::string folded = GetCaseModification(Word);
    for (auto& d : main_)
        if (primaryEnglish(d->Language()) && (d->WordExists(folded) || d->WordExists(Word))) return true;
    return false;
}

bool TLexiroSpell3Base::WordIsPossessive(const std::string& Word) {
    if (Word.size() < 3) return false;
    bool possessive = false;
    for (const char* ending : {"'s", "'S", "\x92s", "\x92S"})
        possessive = possessive || Word.find(ending) == Word.size() - 2;
    return possessive && englishDictionaryHolds(Word.substr(0, Word.size() - 2));
}

bool TLexiroSpell3Base::WordAcceptable(const std::string& Word) {
    if (WordExists(Word)) return !(UseExcludeWords && WordExcluded(Word));
    const std::string folded = GetCaseModification(Word);
    if (folded != Word && WordExists(folded)) return !(UseExcludeWords && WordExcluded(folded));
    return (englishLoaded_ && WordIsPossessive(Word)) || IsDecimalNumeral(Word) || Word.size() == 1 ||
           RunPostCheckIgnore(Word, CurrentParser) ||
           compoundAcceptable(Word, [this](const std::string& part) { return WordAcceptable(part); });
}

bool TLexiroSpell3Base::compoundAcceptable(const std::string& Word,
                                           const std::function<bool(const std::string&)>& PartOk) {
    if (Word.find('-') == std::string::npos) return false;
    std::vector<std::string> parts;
    std::string joined;
    size_t start = 0;
    for (;;) {
        const size_t end = std::min(Word.find('-', start), Word.size());
        if (end == start) return false;
        parts.push_back(Word.substr(start, end - start));
        joined += parts.back();
        if (end == Word.size()) break;
        start = end + 1;
    }
    // "co-operate" is "cooperate" written with a hyphen.
    if (WordExists(joined) || WordExists(GetCaseModification(joined))) return true;
    return std::all_of(parts.begin(), parts.end(), PartOk);
}

bool TLexiroSpell3Base::WordHasCorrection(const std::string& Word, std::string& Correction) {
    ensureConfig();
    Correction.clear();
    if (active_ && active_->AutoCorrectExists(Word, Correction)) return true;
    if (internal_.AutoCorrectExists(Word, Correction)) return true;
    for (auto& d : others_)
        if (d->AutoCorrectExists(Word, Correction)) return true;
    if (MappingAutoReplace && mappingDict_ && mappingDict_->AutoCorrectExists(Word, Correction)) return true;
    if (SuggestionsAutoReplace && learningDict_ && learningDict_->AutoCorrectExists(Word, Correction)) {
        if (WordAcceptable(Correction)) return true;
        Correction.clear();
    }
    if (dualCaps_ && Word.size() > 2) {
        const auto first = static_cast<unsigned char>(Word[0]), second = static_cast<unsigned char>(Word[1]);
        const std::string rest = Word.substr(2);
        const bool letters = LxToLower(first) != LxToUpper(first) && LxToLower(second) != LxToUpper(second);
        if (LxIsUpper(first) && LxIsUpper(second) && LxLowerCase(rest) == rest && letters) {
            std::string candidate = Word;
            candidate[1] = static_cast<char>(LxToLower(second));
            if (candidate != Word && WordAcceptable(candidate)) {
                Correction = candidate;
                return true;
            }
        }
    }
    Correction.clear();
    return false;
}

bool TLexiroSpell3Base::ExistsEvent(const std::string& Word) {
    const std::string folded = GetCaseModification(Word);
    const bool found = primaryOnly_ ? WordExistsInMain(Word) || WordExistsInMain(folded)
                                    : WordExists(Word) || WordExists(folded);
    return found || (englishLoaded_ && WordIsPossessive(Word)) ||
           compoundAcceptable(Word, [this](const std::string& part) { return ExistsEvent(part); });
}

int TLexiroSpell3Base::ReadTextPrimaryLanguage() {
    ensureConfig();
    return main_.empty() ? 0 : main_.front()->Language();
}

void TLexiroSpell3Base::Suggest(const std::string& Word, std::vector<std::string>& Strings) {
    InternalSuggest(Word, MaxSuggestions, Strings);
}

namespace {

void addOnce(std::vector<std::string>& list, std::string word) {
    if (std::find(list.begin(), list.end(), word) == list.end()) list.push_back(std::move(word));
}

}  // namespace

void TLexiroSpell3Base::InternalSuggest(const std::string& Word, int Max, std::vector<std::string>& Strings) {
    ensureConfig();
    Strings.clear();
    // Typographic apostrophes are suggested with plain ones and given back
    // as the writer typed them.
    const bool typographic = LxHasTypographicApostrophe(Word);
    const std::string word = typographic ? LxPlainApostrophes(Word) : Word;
    const std::string folded = GetCaseModification(word);
    if (folded == word) {
        suggestAsWritten(word, Max, Strings);
    } else {
        // A capitalised misspelling gets what its lower-case form gets, in
        // its own capitals; then what only its own spelling finds (names).
        const bool allUpper = word.size() > 1 && LxAllUpper(word);
        const bool initial = LxIsUpper(static_cast<unsigned char>(word[0]));
        std::vector<std::string> lower, own;
        suggestAsWritten(folded, Max, lower);
        for (auto& s : lower) {
            if (allUpper) s = LxUpperCase(s);
            else if (initial && !s.empty()) s[0] = static_cast<char>(LxToUpper(static_cast<unsigned char>(s[0])));
            addOnce(Strings, std::move(s));
        }
        suggestAsWritten(word, Max, own);
        for (auto& s : own)
            if (Max < 0 || Strings.size() < static_cast<size_t>(Max)) addOnce(Strings, std::move(s));
        // The user's own choice for this spelling still comes first.
        std::string learned;
        if (learningDict_ && learningDict_->AutoCorrectExists(word, learned)) {
            const auto at = std::find(Strings.begin(), Strings.end(), learned);
            if (at != Strings.end()) std::rotate(Strings.begin(), at, at + 1);
        }
    }
    if (typographic)
        for (auto& s : Strings) s = LxTypographicApostrophes(s);
}

void TLexiroSpell3Base::suggestAsWritten(const std::string& Word, int Max, std::vector<std::string>& Strings) {
    Strings.clear();
    std::string mapped;
    if (mappingDict_ && mappingDict_->AutoCorrectExists(Word, mapped)) {
        Strings.push_back(mapped);
        return;
    }
    std::vector<std::string> list;
    suggestions_.Suggest(Word, Max, list, [this](const std::string& w) { return ExistsEvent(w); });
    const size_t generated = list.size();
    if (PhoneticSuggestions && !main_.empty()) {
        TMainDictionary& first = *main_.front();
        if (phonetics_.Language() != first.Language()) {
            phonetics_.WriteLanguage(first.Language());
            if (OnAdjustPhoneticsMap) OnAdjustPhoneticsMap();
        }
        first.Suggest(Word, phonetics_, list);
        if (primaryEnglish(phonetics_.Language()) && list.size() < 20 && englishFallback_) {
            phonetics_.WriteLanguage(0);
            if (OnAdjustPhoneticsMap) OnAdjustPhoneticsMap();
            first.Suggest(Word, phonetics_, list);
        }
    }
    struct Scored {
        std::string word;
        int score;
    };
    std::vector<Scored> scored;
    for (size_t i = 0; i < list.size(); ++i) {
        if (std::any_of(scored.begin(), scored.end(), [&](const Scored& s) { return s.word == list[i]; })) continue;
        const int d = GetEditDistance(list[i], Word);
        if (i >= generated && !phonetics_.AcceptableDistance(Word, d)) continue;
        scored.push_back({list[i], d});
    }
    if (learningDict_) {
        std::string learned;
        if (learningDict_->AutoCorrectExists(Word, learned)) {
            auto it = std::find_if(scored.begin(), scored.end(), [&](const Scored& s) { return s.word == learned; });
            if (it != scored.end()) it->score = 0;
            else if (WordAcceptable(learned)) scored.insert(scored.begin(), {learned, 0});
        }
        for (auto& s : scored) s.score = learningDict_->IgnoreExists(s.word) ? 2 * s.score - 1 : 2 * s.score;
    }
    // An exchange sort, as the order of equal scores is part of the answer.
    for (size_t i = 0; i < scored.size(); ++i)
        for (size_t j = i + 1; j < scored.size(); ++j)
            if (scored[j].score < scored[i].score) std::swap(scored[i], scored[j]);
    if (Max >= 0 && scored.size() > static_cast<size_t>(Max)) scored.resize(static_cast<size_t>(Max));
    for (auto& s : scored) Strings.push_back(std::move(s.word));
}

void TLexiroSpell3Base::LearnSuggestion(const std::string& Word, const std::string& Replacement) {
    ensureConfig();
    if (!learningDict_) return;
    // The latest choice for a word replaces an earlier one.
    learningDict_->RemoveAutoCorrect(Word);
    learningDict_->AddAutoCorrect(Word, Replacement);
    learningDict_->AddIgnore(Replacement);
}

// ------------------------------------------------------------------ texts

std::string TLexiroSpell3Base::GetString(int Id) {
    std::string text = GetStringUtf8(static_cast<TSpellLanguageString>(Id), UILanguage);
    if (OnGetString) OnGetString(Id, text);
    return text;
}

std::string TLexiroSpell3Base::GetOptionString(TSpellOption Option) {
    if (Option >= soUser1) return ConfigUserOption[Option - soUser1];
    return GetString(Option);
}

}  // namespace spell

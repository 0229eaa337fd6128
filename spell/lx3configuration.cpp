// The user's spelling configuration and its stores.
#include "spell/lx3configuration.h"

#include <algorithm>
#include <cstdlib>

#include "platform/rtl/sysutils.h"
#include "spell/lx3util.h"
#include "spell/lxinifile.h"

namespace spell {

// ------------------------------------------------------------ lists

int TLxConfigList::IndexOf(std::string_view s) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (rtl::SameText(items_[i], s)) return static_cast<int>(i);
    return -1;
}

void TLxConfigList::Add(std::string s) {
    if (SortedUnique) {
        if (IndexOf(s) >= 0) return;
        const auto at = std::find_if(items_.begin(), items_.end(),
                                     [&](const std::string& e) { return rtl::CompareText(e, s) > 0; });
        items_.insert(at, std::move(s));
    } else {
        items_.push_back(std::move(s));
    }
    changed();
}

void TLxConfigList::Insert(int i, std::string s) {
    if (SortedUnique) return Add(std::move(s));
    items_.insert(items_.begin() + std::clamp<int>(i, 0, Count()), std::move(s));
    changed();
}

void TLxConfigList::Put(int i, std::string s) {
    items_.at(static_cast<size_t>(i)) = std::move(s);
    changed();
}

void TLxConfigList::Delete(int i) {
    if (i < 0 || i >= Count()) return;
    items_.erase(items_.begin() + i);
    changed();
}

void TLxConfigList::Clear() {
    if (items_.empty()) return;
    items_.clear();
    changed();
}

void TLxConfigList::Assign(std::vector<std::string> items) {
    if (SortedUnique) {
        items_.clear();
        const auto notify = std::move(OnChange);
        for (auto& s : items) Add(std::move(s));
        OnChange = notify;
    } else {
        items_ = std::move(items);
    }
    changed();
}

void TLxConfigList::changed() {
    if (OnChange) OnChange();
}

// ------------------------------------------------------------ stores

std::string RegistryStoreFilename() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::string dir = xdg && *xdg ? xdg : std::string(home ? home : "") + "/.config";
    return LxExcludeTrailingBackslash(dir) + "/" + ExpandFixedVars("%AppName%") + "-registry.ini";
}

class TConfigStore {
public:
    virtual ~TConfigStore() = default;
    virtual std::string Read(const std::string& section, const std::string& key, const std::string& def) = 0;
    virtual void Write(const std::string& section, const std::string& key, const std::string& value) = 0;
    // Puts the writes in place; false with Error when they could not be.
    virtual bool Close(std::string& error) { return true; }
    // Why the store could not be read (its defaults stand in), or empty.
    virtual std::string LoadError() const { return {}; }
};

namespace {

class TNoStore : public TConfigStore {
public:
    std::string Read(const std::string&, const std::string&, const std::string& def) override { return def; }
    void Write(const std::string&, const std::string&, const std::string&) override {}
};

// A profile file; with a key the sections are that key's sub-keys (the
// per-user key store kept as one such file).
class TIniStore : public TConfigStore {
public:
    TIniStore(std::string filename, std::string key) : ini_(std::move(filename)), key_(std::move(key)) {}
    std::string Read(const std::string& section, const std::string& key, const std::string& def) override {
        return ini_.ReadString(name(section), key, def);
    }
    void Write(const std::string& section, const std::string& key, const std::string& value) override {
        ini_.WriteString(name(section), key, value);
    }
    bool Close(std::string& error) override { return ini_.UpdateFile(error); }
    std::string LoadError() const override { return ini_.ReadError(); }

private:
    std::string name(const std::string& section) const { return key_.empty() ? section : key_ + "/" + section; }
    TLxIniFile ini_;
    std::string key_;
};

class TCallbackStore : public TConfigStore {
public:
    explicit TCallbackStore(const TLexiroConfigHost* host) : host_(host) {}
    std::string Read(const std::string& section, const std::string& key, const std::string& def) override {
        std::string value = def;
        if (host_ && host_->OnConfigReadString) host_->OnConfigReadString(section, key, value, def);
        return value;
    }
    void Write(const std::string& section, const std::string& key, const std::string& value) override {
        if (host_ && host_->OnConfigWriteString) host_->OnConfigWriteString(section, key, value);
    }

private:
    const TLexiroConfigHost* host_;
};

// The option keys in the order they are written.
struct OptionKey {
    const char* key;
    TSpellOption option;
};
constexpr OptionKey optionKeys[] = {
    {"_soUpcase", soUpcase},         {"_soNumbers", soNumbers},
    {"_soHTML", soHTML},             {"_soInternet", soInternet},
    {"_soQuoted", soQuoted},         {"_soAbbreviations", soAbbreviations},
    {"_soPrimaryOnly", soPrimaryOnly}, {"_soRepeated", soRepeated},
    {"_soDUalCaps", soDUalCaps},     {"_soLiveSpelling", soLiveSpelling},
    {"_soLiveCorrect", soLiveCorrect}, {"_soUser1", soUser1},
    {"_soUser2", soUser2},           {"_soUser3", soUser3},
    {"_soUser4", soUser4},
};

// A decimal integer with an optional minus sign, nothing else.
bool decimal(const std::string& s, long long& out) {
    size_t i = s.size() > 1 && s[0] == '-' ? 1 : 0;
    if (i == s.size() || s.size() - i > 12) return false;
    for (size_t j = i; j < s.size(); ++j)
        if (s[j] < '0' || s[j] > '9') return false;
    out = std::stoll(s);
    return true;
}

// A dialog coordinate as stored; anything but a decimal integer is "never placed".
int coordinate(const std::string& s) {
    long long v = 0;
    if (!decimal(s, v) || v < INT32_MIN || v > INT32_MAX) return -1;
    return static_cast<int>(v);
}

// A stored list: L_count and L_0, L_1, ... Empty items are skipped; a count
// that is not a number means none, and no store can hold more items than
// this, so a damaged count does not walk billions of keys.
constexpr long long maxListItems = 100000;

std::vector<std::string> readList(TConfigStore& store, const std::string& section, const std::string& name) {
    std::vector<std::string> items;
    long long count = 0;
    if (!decimal(store.Read(section, name + "_count", "-"), count)) return items;
    count = std::min(count, maxListItems);
    for (long long i = 0; i < count; ++i) {
        std::string item = store.Read(section, name + "_" + std::to_string(i), "");
        if (!item.empty()) items.push_back(std::move(item));
    }
    return items;
}

void writeList(TConfigStore& store, const std::string& section, const std::string& name,
               const std::vector<std::string>& items) {
    store.Write(section, name + "_count", std::to_string(items.size()));
    for (size_t i = 0; i < items.size(); ++i) store.Write(section, name + "_" + std::to_string(i), items[i]);
}

}  // namespace

// ------------------------------------------------------------ configuration

TLexiroConfig::TLexiroConfig(TLexiroConfigHost* Host) : host_(Host) {
    newPaths_.SortedUnique = true;
    for (TLxConfigList* l : {&main_, &custom_, &wordCustom_, &newPaths_})
        l->OnChange = [this] { notifyDictionariesChanged(); };
}

TLexiroConfig::~TLexiroConfig() { SaveConfiguration(); }

std::string TLexiroConfig::expand(std::string_view text) const {
    if (host_ && host_->ExpandVars) return host_->ExpandVars(text);
    return ExpandBasicVars(text);
}

void TLexiroConfig::notifyDictionariesChanged() { fireOnConfigChanged(true); }

void TLexiroConfig::fireOnConfigChanged(bool reload) {
    if (!loaded_ || !host_) return;
    modified_ = true;
    if (host_->FireConfigurationChanged) host_->FireConfigurationChanged(reload);
}

void TLexiroConfig::EnsureLoaded() {
    if (!loaded_) LoadConfiguration();
}

TLxConfigList& TLexiroConfig::ReadMainDictionaries() {
    EnsureLoaded();
    return main_;
}
TLxConfigList& TLexiroConfig::ReadCustomDictionaries() {
    EnsureLoaded();
    return custom_;
}
TLxConfigList& TLexiroConfig::ReadMSWordCustomDictionaries() {
    EnsureLoaded();
    return wordCustom_;
}
TLxConfigList& TLexiroConfig::ReadNewDictionaryPaths() {
    EnsureLoaded();
    return newPaths_;
}

std::string TLexiroConfig::ReadActiveCustom() {
    EnsureLoaded();
    return expand(activeCustom_);
}

void TLexiroConfig::WriteActiveCustom(const std::string& Name) {
    EnsureLoaded();
    if (Name == activeCustom_) return;
    activeCustom_ = Name;
    if (custom_.IndexOf(Name) < 0) custom_.Add(Name);
    fireOnConfigChanged(true);
}

TSpellOptions TLexiroConfig::ReadSpellOptions() {
    EnsureLoaded();
    return options_;
}

void TLexiroConfig::WriteSpellOptions(TSpellOptions Options) {
    EnsureLoaded();
    if (Options == options_) return;
    options_ = Options;
    fireOnConfigChanged(false);
}

int TLexiroConfig::ReadDialogX() {
    EnsureLoaded();
    return dialogX_;
}
int TLexiroConfig::ReadDialogY() {
    EnsureLoaded();
    return dialogY_;
}
void TLexiroConfig::WriteDialogX(int X) {
    EnsureLoaded();
    if (X == dialogX_) return;
    dialogX_ = X;
    fireOnConfigChanged(false);
}
void TLexiroConfig::WriteDialogY(int Y) {
    EnsureLoaded();
    if (Y == dialogY_) return;
    dialogY_ = Y;
    fireOnConfigChanged(false);
}

std::string TLexiroConfig::GetConfigurationData(std::string_view Name) {
    EnsureLoaded();
    for (size_t i = 0; i < dataNames_.size(); ++i)
        if (rtl::SameText(dataNames_[i], Name)) return dataValues_[i];
    return "";
}

void TLexiroConfig::SetConfigurationData(const std::string& Name, const std::string& Value) {
    EnsureLoaded();
    size_t i = 0;
    while (i < dataNames_.size() && !rtl::SameText(dataNames_[i], Name)) ++i;
    if (i == dataNames_.size()) {
        dataNames_.push_back(Name);
        dataValues_.push_back(Value);
    } else {
        dataValues_[i] = Value;
    }
    modified_ = true;
    fireOnConfigChanged(false);
}

void TLexiroConfig::WriteLoaded(bool Value) {
    if (Value) {
        LoadConfiguration();
    } else if (SaveConfiguration()) {
        loaded_ = false;
    }
}

std::unique_ptr<TConfigStore> TLexiroConfig::openStore() const {
    switch (storage_) {
    case csFile:
        return std::make_unique<TIniStore>(filename_, "");
    case csRegistry:
        return std::make_unique<TIniStore>(RegistryStoreFilename(), registryKey_);
    case csCallback:
        return std::make_unique<TCallbackStore>(host_);
    case csNone:
        break;
    }
    return std::make_unique<TNoStore>();
}

void TLexiroConfig::applyDefaults() {
    const TLexiroConfigHost defaults;
    const TLexiroConfigHost& h = host_ ? *host_ : defaults;
    main_.Assign(h.ConfigDefaultMain);
    custom_.Assign(h.ConfigDefaultCustom);
    wordCustom_.Assign(h.ConfigUseMSWordCustom && h.ConfigDefaultUseMSWordCustom && h.AvailableMSWordCustom
                           ? h.AvailableMSWordCustom()
                           : std::vector<std::string>{});
    options_ = h.ConfigDefaultOptions;
    dialogX_ = dialogY_ = -1;
    newPaths_.Clear();
    // The rest of the variables are expanded when the name is read.
    activeCustom_ = ExpandFixedVars(ReplaceString("%ConfigID%", h.ConfigID, h.ConfigDefaultActiveCustom));
}

void TLexiroConfig::readStored(TConfigStore& store) {
    const std::string& s = section_;
    main_.Assign(readList(store, s, "_Main"));
    custom_.Assign(readList(store, s, "_Custom"));
    wordCustom_.Assign(readList(store, s, "_MSWordCustom"));
    activeCustom_ = store.Read(s, "_ActiveCustom", "");
    options_ = {};
    for (const auto& o : optionKeys)
        if (store.Read(s, o.key, "-") == "+") options_.Include(o.option);
    dialogX_ = coordinate(store.Read(s, "_DialogX", "-1"));
    dialogY_ = coordinate(store.Read(s, "_DialogY", "-1"));
    newPaths_.Assign(readList(store, s, "_NewPaths"));
    dataNames_ = readList(store, s, "_UserData");
    dataValues_.clear();
    for (const auto& name : dataNames_) dataValues_.push_back(store.Read(s, "User_" + name, ""));
}

void TLexiroConfig::LoadConfiguration() {
    loaded_ = false;
    const TLexiroConfigHost defaults;
    const TLexiroConfigHost& h = host_ ? *host_ : defaults;
    storage_ = h.ConfigStorage;
    section_ = expand(h.ConfigID);
    filename_.clear();
    registryKey_.clear();
    if (storage_ == csFile) {
        filename_ = expand(h.ConfigFilename);
        LXForceDirectories(rtl::ExtractFilePath(filename_));
    } else if (storage_ == csRegistry) {
        registryKey_ = expand(h.ConfigRegistryKey);
    }
    dataNames_.clear();
    dataValues_.clear();
    const std::unique_ptr<TConfigStore> store = openStore();
    if (const std::string error = store->LoadError(); !error.empty() && host_ && host_->OnConfigLoadFailed)
        host_->OnConfigLoadFailed(error);
    if (store->Read(section_, "_FirstRun", "-") == "-" || resetNext_) {
        resetNext_ = false;
        applyDefaults();
    } else {
        readStored(*store);
    }
    loaded_ = true;
    modified_ = false;
    if (host_ && host_->OnConfigLoaded) host_->OnConfigLoaded();
    // Attached to a component this counts as a change, so what was loaded
    // (the defaults on a first run) is written back at the next save.
    fireOnConfigChanged(true);
}

bool TLexiroConfig::SaveConfiguration() {
    if (!modified_ || !loaded_) return true;
    const std::unique_ptr<TConfigStore> store = openStore();
    if (storage_ != csNone) {
        const std::string& s = section_;
        store->Write(s, "_FirstRun", "+");
        writeList(*store, s, "_Main", main_.Items());
        writeList(*store, s, "_Custom", custom_.Items());
        writeList(*store, s, "_MSWordCustom", wordCustom_.Items());
        store->Write(s, "_ActiveCustom", activeCustom_);
        for (const auto& o : optionKeys) store->Write(s, o.key, options_.Contains(o.option) ? "+" : "-");
        store->Write(s, "_DialogX", std::to_string(dialogX_));
        store->Write(s, "_DialogY", std::to_string(dialogY_));
        writeList(*store, s, "_NewPaths", newPaths_.Items());
        writeList(*store, s, "_UserData", dataNames_);
        for (size_t i = 0; i < dataNames_.size(); ++i)
            if (!dataValues_[i].empty()) store->Write(s, "User_" + dataNames_[i], dataValues_[i]);
    }
    std::string error;
    if (!store->Close(error)) {
        lastError_ = error;
        if (host_ && host_->OnConfigSaveFailed) host_->OnConfigSaveFailed(error);
        return false;
    }
    lastError_.clear();
    modified_ = false;
    if (host_ && host_->OnConfigSaved) host_->OnConfigSaved();
    return true;
}

void TLexiroConfig::ResetConfigurationDefaults() {
    resetNext_ = true;
    if (loaded_) SaveConfiguration();
    LoadConfiguration();
}

void TLexiroConfig::ReloadConfiguration() {
    if (!loaded_) return;
    SaveConfiguration();
    LoadConfiguration();
}

}  // namespace spell

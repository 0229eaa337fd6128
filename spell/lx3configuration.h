#pragma once
// The user's spelling configuration: which main and user dictionaries are
// active, the options, the dialog's last position, added dictionary folders
// and free user data, kept per user in a profile file ("Spell.cfg"), in the
// per-user key store, through the host's callbacks, or in memory only.
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "spell/lx3types.h"

namespace spell {

// A list of names that tells its owner when it changes.
class TLxConfigList {
public:
    std::function<void()> OnChange;
    // Kept in ascending order (case ignored) with duplicates dropped.
    bool SortedUnique = false;

    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& operator[](int i) const { return items_.at(static_cast<size_t>(i)); }
    const std::vector<std::string>& Items() const { return items_; }
    // Case-insensitive position, -1 when absent.
    int IndexOf(std::string_view s) const;
    void Add(std::string s);
    void Insert(int i, std::string s);
    void Put(int i, std::string s);
    void Delete(int i);
    void Clear();
    void Assign(std::vector<std::string> items);

private:
    void changed();
    std::vector<std::string> items_;
};

// What the configuration needs from the spell-check component that owns it.
struct TLexiroConfigHost {
    TConfigStorage ConfigStorage = csRegistry;
    std::string ConfigID = "%UserName%";
    std::string ConfigFilename = "%AppDir%/Spell.cfg";
    std::string ConfigRegistryKey = "Software/%AppName%";
    std::vector<std::string> ConfigDefaultMain{"American.lxm"};
    std::vector<std::string> ConfigDefaultCustom;
    std::string ConfigDefaultActiveCustom = "%ConfigID%.lxu";
    TSpellOptions ConfigDefaultOptions{soLiveSpelling, soLiveCorrect, soInternet, soAbbreviations, soRepeated, soDUalCaps};
    bool ConfigUseMSWordCustom = true;
    bool ConfigDefaultUseMSWordCustom = false;

    // The component's variable expansion (path variables, %ConfigID%).
    std::function<std::string(std::string_view)> ExpandVars;
    // The word-processor dictionaries that exist (first-run default).
    std::function<std::vector<std::string>()> AvailableMSWordCustom;
    // A change of the configuration; Reload asks for the dictionaries again.
    std::function<void(bool Reload)> FireConfigurationChanged;
    std::function<void()> OnConfigLoaded, OnConfigSaved;
    // csCallback: Value comes preset to Default.
    std::function<void(const std::string& Section, const std::string& Key, std::string& Value,
                       const std::string& Default)>
        OnConfigReadString;
    std::function<void(const std::string& Section, const std::string& Key, const std::string& Value)>
        OnConfigWriteString;
    // A save that could not be written (the changes stay pending), a store
    // that could not be read (the defaults stand in, and it is not written
    // over).
    std::function<void(const std::string& Error)> OnConfigSaveFailed, OnConfigLoadFailed;
};

// The per-user file that stands in for the key store of csRegistry.
std::string RegistryStoreFilename();

class TConfigStore;

class TLexiroConfig {
public:
    // Host may be null (a configuration of its own, nothing fired).
    explicit TLexiroConfig(TLexiroConfigHost* Host);
    ~TLexiroConfig();
    TLexiroConfig(const TLexiroConfig&) = delete;
    TLexiroConfig& operator=(const TLexiroConfig&) = delete;

    bool Modified() const { return modified_; }
    bool ConfigLoaded() const { return loaded_; }
    // The last save's failure, empty after a good one.
    const std::string& LastError() const { return lastError_; }

    TLxConfigList& ReadMainDictionaries();
    TLxConfigList& ReadCustomDictionaries();
    TLxConfigList& ReadMSWordCustomDictionaries();
    TLxConfigList& ReadNewDictionaryPaths();
    // Expanded with the host's variables.
    std::string ReadActiveCustom();
    void WriteActiveCustom(const std::string& Name);
    TSpellOptions ReadSpellOptions();
    void WriteSpellOptions(TSpellOptions Options);
    int ReadDialogX();
    int ReadDialogY();
    void WriteDialogX(int X);
    void WriteDialogY(int Y);

    std::string GetConfigurationData(std::string_view Name);
    void SetConfigurationData(const std::string& Name, const std::string& Value);

    // True loads; False saves and unloads (a save that fails keeps the
    // configuration loaded and modified).
    void WriteLoaded(bool Value);
    void EnsureLoaded();
    void LoadConfiguration();
    // Writes a loaded, modified configuration; false when the store could
    // not be written (Modified stays, LastError and the host say why).
    bool SaveConfiguration();
    void ResetConfigurationDefaults();
    void ReloadConfiguration();

private:
    void notifyDictionariesChanged();
    void fireOnConfigChanged(bool reload);
    std::string expand(std::string_view text) const;
    void applyDefaults();
    void readStored(TConfigStore& store);
    std::unique_ptr<TConfigStore> openStore() const;

    TLexiroConfigHost* host_;
    bool modified_ = false, loaded_ = false, resetNext_ = false;
    std::string lastError_;
    // Copied (expanded) at load; the save goes back to the same place.
    TConfigStorage storage_ = csNone;
    std::string filename_, registryKey_, section_;

    TLxConfigList main_, custom_, wordCustom_, newPaths_;
    std::string activeCustom_;
    TSpellOptions options_;
    int dialogX_ = -1, dialogY_ = -1;
    std::vector<std::string> dataNames_, dataValues_;
};

}  // namespace spell

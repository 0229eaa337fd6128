// The spelling configuration in its stores.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "spell/lx3configuration.h"
#include "spell/lxinifile.h"
#include "tests/spell/spell_support.h"

using namespace spell;

namespace {

struct ConfigTest : ::testing::Test {
    spelltest::TempDir dir;
    TLexiroConfigHost host;
    int reloads = 0, changes = 0;
    ConfigTest() {
        host.ConfigStorage = csFile;
        host.ConfigID = "tester";
        host.ConfigFilename = dir.path("sub/Spell.cfg");
        host.ConfigDefaultMain = {"British.lxm"};
        host.ConfigDefaultActiveCustom = "%ConfigID%.lxu";
        host.FireConfigurationChanged = [this](bool reload) {
            ++changes;
            reloads += reload;
        };
    }
    std::string file() const { return spelltest::readFile(dir.path("sub/Spell.cfg")); }
};

}  // namespace

TEST_F(ConfigTest, FirstRunUsesTheDefaultsAndTheFirstSaveWritesEveryKey) {
    {
        TLexiroConfig config(&host);
        EXPECT_EQ(config.ReadMainDictionaries().Items(), std::vector<std::string>{"British.lxm"});
        EXPECT_EQ(config.ReadActiveCustom(), "tester.lxu");
        EXPECT_EQ(config.ReadDialogX(), -1);
        EXPECT_EQ(config.ReadSpellOptions(), host.ConfigDefaultOptions);
        EXPECT_GE(reloads, 1);
        EXPECT_TRUE(std::filesystem::is_directory(dir.path("sub")));  // made on load
        config.ReadCustomDictionaries().Add("extra.lxu");
        config.WriteDialogX(12);
        config.SetConfigurationData("Colour", "red");
        ASSERT_TRUE(config.SaveConfiguration()) << config.LastError();
    }
    EXPECT_EQ(file(),
              "[tester]\r\n_FirstRun=+\r\n_Main_count=1\r\n_Main_0=British.lxm\r\n_Custom_count=1\r\n"
              "_Custom_0=extra.lxu\r\n_MSWordCustom_count=0\r\n_ActiveCustom=tester.lxu\r\n"
              "_soUpcase=-\r\n_soNumbers=-\r\n_soHTML=-\r\n_soInternet=+\r\n_soQuoted=-\r\n_soAbbreviations=+\r\n"
              "_soPrimaryOnly=-\r\n_soRepeated=+\r\n_soDUalCaps=+\r\n_soLiveSpelling=+\r\n_soLiveCorrect=+\r\n"
              "_soUser1=-\r\n_soUser2=-\r\n_soUser3=-\r\n_soUser4=-\r\n_DialogX=12\r\n_DialogY=-1\r\n"
              "_NewPaths_count=0\r\n_UserData_count=1\r\n_UserData_0=Colour\r\nUser_Colour=red\r\n");
    TLexiroConfig again(&host);
    EXPECT_EQ(again.ReadCustomDictionaries().Items(), std::vector<std::string>{"extra.lxu"});
    EXPECT_EQ(again.ReadDialogX(), 12);
    EXPECT_EQ(again.GetConfigurationData("COLOUR"), "red");
}

TEST_F(ConfigTest, StoredValuesAreReadStrictly) {
    spelltest::writeFile(dir.path("Spell.cfg"),
                         "[tester]\r\n_FirstRun=+\r\n_soUpcase=+\r\n_soNumbers=1\r\n_soHTML=yes\r\n_DialogX=abc\r\n"
                         "_DialogY=0x10\r\n_Main_count=x\r\n_Custom_count=3\r\n_Custom_0=a.lxu\r\n_Custom_2=c.lxu\r\n"
                         "_NewPaths_count=3\r\n_NewPaths_0=/b\r\n_NewPaths_1=/a\r\n_NewPaths_2=/B\r\n");
    host.ConfigFilename = dir.path("Spell.cfg");
    TLexiroConfig config(&host);
    const TSpellOptions o = config.ReadSpellOptions();
    EXPECT_TRUE(o.Contains(soUpcase));
    EXPECT_FALSE(o.Contains(soNumbers));  // only "+" sets an option
    EXPECT_FALSE(o.Contains(soHTML));
    EXPECT_EQ(config.ReadDialogX(), -1);  // not a number: never placed
    EXPECT_EQ(config.ReadDialogY(), -1);
    EXPECT_EQ(config.ReadMainDictionaries().Count(), 0);
    EXPECT_EQ(config.ReadCustomDictionaries().Items(), (std::vector<std::string>{"a.lxu", "c.lxu"}));
    EXPECT_EQ(config.ReadNewDictionaryPaths().Items(), (std::vector<std::string>{"/a", "/b"}));
}

TEST_F(ConfigTest, AFailedSaveKeepsTheChangesAndSaysSo) {
    spelltest::writeFile(dir.path("blocker"), "a file where the folder should be");
    host.ConfigFilename = dir.path("blocker/Spell.cfg");
    std::string reported;
    host.OnConfigSaveFailed = [&](const std::string& e) { reported = e; };
    TLexiroConfig config(&host);
    config.WriteDialogY(40);
    EXPECT_FALSE(config.SaveConfiguration());
    EXPECT_TRUE(config.Modified());
    EXPECT_FALSE(reported.empty());
    EXPECT_EQ(config.LastError(), reported);
    config.WriteLoaded(false);  // cannot save: stays loaded with its values
    EXPECT_TRUE(config.ConfigLoaded());
    EXPECT_EQ(config.ReadDialogY(), 40);
}

TEST_F(ConfigTest, ResetSavesTheCurrentValuesThenLoadsTheDefaults) {
    TLexiroConfig config(&host);
    config.ReadMainDictionaries().Assign({"Other.lxm"});
    config.ResetConfigurationDefaults();
    EXPECT_NE(file().find("_Main_0=Other.lxm"), std::string::npos);
    EXPECT_EQ(config.ReadMainDictionaries().Items(), std::vector<std::string>{"British.lxm"});
    ASSERT_TRUE(config.SaveConfiguration());
    EXPECT_NE(file().find("_Main_0=British.lxm"), std::string::npos);
}

TEST_F(ConfigTest, TheOtherStores) {
    // No store: nothing outlives the object.
    host.ConfigStorage = csNone;
    {
        TLexiroConfig config(&host);
        config.WriteDialogX(5);
    }
    EXPECT_EQ(TLexiroConfig(&host).ReadDialogX(), -1);
    EXPECT_FALSE(std::filesystem::exists(dir.path("sub/Spell.cfg")));

    // The key store is a per-user profile file, one section per key.
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", dir.dir().c_str(), 1);
    host.ConfigStorage = csRegistry;
    host.ConfigRegistryKey = "Software/Test";
    {
        TLexiroConfig config(&host);
        config.WriteDialogX(7);
    }
    EXPECT_EQ(TLexiroConfig(&host).ReadDialogX(), 7);
    EXPECT_EQ(TLxIniFile(RegistryStoreFilename()).ReadString("Software/Test/tester", "_DialogX", ""), "7");
    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");

    // Callbacks: reads start from the default, writes go to the host.
    std::map<std::string, std::string> store;
    host.ConfigStorage = csCallback;
    host.OnConfigReadString = [&](const std::string& s, const std::string& k, std::string& v, const std::string&) {
        const auto it = store.find(s + "/" + k);
        if (it != store.end()) v = it->second;
    };
    host.OnConfigWriteString = [&](const std::string& s, const std::string& k, const std::string& v) {
        store[s + "/" + k] = v;
    };
    {
        TLexiroConfig config(&host);
        config.WriteDialogY(9);
    }
    EXPECT_EQ(store["tester/_DialogY"], "9");
    EXPECT_EQ(TLexiroConfig(&host).ReadDialogY(), 9);
}

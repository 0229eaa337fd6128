// The spelling configuration ("Spell.cfg") over arbitrary file contents: the
// input is the file (an odd first byte puts the section header in front, so
// the reader sees deep input); everything is read, changed and written back,
// and what was written must read back the same and write the same again.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "spell/lx3configuration.h"

namespace {

std::string tempName() { return "/tmp/spellfuzz-" + std::to_string(::getpid()) + ".cfg"; }

void put(const std::string& name, const std::string& bytes) {
    FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// Everything a load gives, as text.
std::string readAll(spell::TLexiroConfig& c) {
    std::string s;
    for (auto* list : {&c.ReadMainDictionaries(), &c.ReadCustomDictionaries(), &c.ReadMSWordCustomDictionaries(),
                       &c.ReadNewDictionaryPaths()}) {
        for (const auto& item : list->Items()) s += item + "\x1f";
        s += "\x1e";
    }
    s += c.ReadActiveCustom() + "\x1e" + std::to_string(c.ReadSpellOptions().Bits()) + "\x1e" +
         std::to_string(c.ReadDialogX()) + "," + std::to_string(c.ReadDialogY()) + "\x1e" +
         c.GetConfigurationData("colour") + "\x1e" + c.GetConfigurationData("Width");
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (size > 0 && (data[0] & 1)) bytes = "[fuzz]\r\n" + bytes.substr(1);
    const std::string name = tempName();
    put(name, bytes);
    spell::TLexiroConfigHost host;
    host.ConfigStorage = spell::csFile;
    host.ConfigFilename = name;
    host.ConfigID = "fuzz";
    host.ExpandVars = [](std::string_view text) { return std::string(text); };
    std::string first, second;
    {
        spell::TLexiroConfig config(&host);
        config.EnsureLoaded();
        readAll(config);
        config.WriteDialogX(config.ReadDialogX() + 1);
        config.SetConfigurationData("colour", "blue=green");
        config.ReadMainDictionaries().Add("Added.lxm");
        if (!config.SaveConfiguration()) {
            ::unlink(name.c_str());
            return 0;
        }
    }
    {
        spell::TLexiroConfig config(&host);
        config.EnsureLoaded();
        first = readAll(config);
        // A change undone: written once more, the same.
        const int y = config.ReadDialogY();
        config.WriteDialogY(y + 1);
        config.WriteDialogY(y);
        config.SaveConfiguration();
    }
    {
        spell::TLexiroConfig config(&host);
        config.EnsureLoaded();
        second = readAll(config);
        config.SetConfigurationData("Width", "9");
        config.SetConfigurationData("Width", config.GetConfigurationData("Width"));
    }
    ::unlink(name.c_str());
    // What was written reads back as it was.
    if (first.find("Added.lxm") == std::string::npos || first.find("blue=green") == std::string::npos) std::abort();
    if (first != second) std::abort();
    return 0;
}

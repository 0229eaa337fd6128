// The spell suite's dictionary readers over arbitrary file contents: the
// input becomes a main dictionary file and a user dictionary file (the
// first byte says which banner it gets, so both readers see deep input),
// and every lookup, search and change runs on it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "spell/lx3customdictionary.h"
#include "spell/lx3maindictionary.h"
#include "spell/lx3phoneticsmap.h"
#include "spell/lxformat.h"

namespace {

std::string tempName(const char* ext) {
    return "/tmp/spellfuzz-" + std::to_string(::getpid()) + ext;
}

void put(const std::string& name, const std::string& bytes) {
    FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

const char* const probes[] = {"a", "an", "the", "them", "thumb", "xylophone", "antelope", "\xE9t\xE9", "zz", ""};

void mainDictionary(const std::string& bytes) {
    const std::string name = tempName(".lxm");
    put(name, bytes);
    spell::TMainDictionary d;
    d.WriteFilename(name);
    spell::TPhoneticsMap map;
    map.WriteLanguage(9);
    for (const char* w : probes) {
        d.WordExists(w);
        d.WordLength(w);
        std::vector<std::string> found;
        d.Suggest(w, map, found);
    }
    ::unlink(name.c_str());
}

void userDictionary(const std::string& bytes) {
    const std::string name = tempName(".lxu");
    put(name, bytes);
    {
        spell::TCustomDictionary d;
        d.WriteFilename(name);
        std::string r, w;
        for (const char* p : probes) {
            d.IgnoreExists(p);
            d.ExcludeExists(p);
            d.AutoCorrectExists(p, r);
        }
        for (int i = 0; i < d.IgnoreCount() && i < 64; ++i) d.GetIgnoreWord(i);
        for (int i = 0; i < d.AutoCorrectCount() && i < 64; ++i) d.GetAutoCorrectWord(i, w, r);
        d.AddIgnore("fuzzword");
        d.RemoveIgnore("the");
        d.AddAutoCorrect("teh", "the");
        d.Save();
    }
    ::unlink(name.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 4) {
    case 0:  // a main dictionary's banner block, then the input
        mainDictionary(std::string(spell::LxmBanner) + std::string(1024 - spell::LxmBanner.size(), '\0') + rest);
        break;
    case 1:  // a user dictionary's banner, then the input
        userDictionary(std::string(spell::LxuBanner) + '\0' + rest);
        break;
    default:  // the input as it is, to both
        mainDictionary(rest);
        userDictionary(rest);
        break;
    }
    return 0;
}

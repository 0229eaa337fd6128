// The thesaurus reader over arbitrary file contents: the input follows the
// 165-byte header (which the reader skips unread), and every lookup, every
// spelling of a node and every entry runs on whatever loads.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "spell/lx3thesaurusfile.h"
#include "spell/lxformat.h"

namespace {

const char* const probes[] = {"a", "i", "I", "change", "Change", "CHANGE", "alter", "quick", "xylophone",
                              "modification", "chan", "\xE9t\xE9", ""};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string name = "/tmp/thesfuzz-" + std::to_string(::getpid()) + ".lxt";
    FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) return 0;
    const std::string header(spell::lxt::HeaderBytes, '\0');
    std::fwrite(header.data(), 1, header.size(), f);
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    spell::TThesaurusFile t;
    t.WriteFilename(name);
    for (const char* w : probes) {
        t.LookupWord(w);
        const auto contexts = t.Contexts();  // the next lookups replace them
        for (const auto& c : contexts)
            for (const auto& list : c.Lists)
                for (const auto& word : list) t.LookupWord(word.substr(0, 8));
    }
    if (t.Loaded()) {
        for (uint32_t n = 0; n < 512; ++n) t.PLookup(t.GetWord(static_cast<uint16_t>(n)));
        spell::TThesaurusEntry e;
        for (uint32_t i = 0; i < 64; ++i) t.GetEntryDetails(i, static_cast<int>(i % spell::lxt::Kinds), e);
    }
    ::unlink(name.c_str());
    return 0;
}

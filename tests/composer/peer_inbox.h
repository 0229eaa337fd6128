#pragma once
// What the scripted SMTP peer received: each message is ID.eml beside ID.json
// (its envelope). Tests that run at the same time share the peer, so a test
// finds its own message by a recipient no other test uses.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace peerinbox {

inline std::set<std::string> Files(const std::string& inbox) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(inbox)) names.insert(e.path().string());
    return names;
}

// The .eml received since Before whose envelope names Recipient; empty when none.
inline std::string NewMessageTo(const std::string& inbox, const std::set<std::string>& before,
                                const std::string& recipient) {
    for (const auto& e : std::filesystem::directory_iterator(inbox)) {
        const std::filesystem::path p = e.path();
        if (before.count(p.string()) || p.extension() != ".eml") continue;
        std::ifstream f(std::filesystem::path(p).replace_extension(".json"));
        const std::string envelope((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        if (envelope.find("\"" + recipient + "\"") != std::string::npos) return p.string();
    }
    return {};
}

}  // namespace peerinbox

// The message renderer's structure reader and decoders over arbitrary text:
// header blocks, boundaries and nesting, parameters and their continuations,
// transfer encodings, character sets, part names, cid references and the
// Attachments block, with the parts kept in memory. Every part's text is
// UTF-8 and its name stays in the folder; the page comes out as UTF-8 with
// no placeholder left, and the browser's copy of it holds no script.
#include <cctype>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "helpers/kwutil.h"
#include "mailbox/hdrdecode.h"
#include "mailbox/msgrender.h"

namespace {

class MemoryStore : public mailbox::TPartStore {
public:
    std::string Keep(const std::string& stem, const std::string& ext, std::string_view bytes) override {
        if (stem.empty() || stem.find('/') != std::string::npos || stem[0] == '.') __builtin_trap();
        const std::string name = "/mem/" + stem + "_1" + ext;
        files_[name] = bytes;
        return name;
    }
    std::string KeepTemp(const std::string& ext, std::string_view bytes) override {
        const std::string name = "/mem/kw64_" + std::to_string(files_.size()) + ext;
        files_[name] = bytes;
        return name;
    }

private:
    std::map<std::string, std::string> files_;
};

// A script element as a browser reads it: "<script" ending where a tag
// name ends ("<script-x>" is another element).
bool hasScript(const std::string& s) {
    for (size_t i = 0; i + 7 <= s.size(); ++i) {
        if (s[i] != '<') continue;
        std::string t = s.substr(i + 1, 6);
        for (char& c : t) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        if (t != "script") continue;
        if (i + 7 == s.size()) return true;
        const char n = s[i + 7];
        if (n == '>' || n == '/' || std::isspace(static_cast<unsigned char>(n))) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        helpers::homedir = PWX_DATA_DIR "/";
        return true;
    }();
    (void)ready;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    mailbox::TRenderInput in;
    in.lines.SetText(text);
    in.From = "fuzz";
    in.Enciphered = size > 0 && data[0] == 'E';
    mailbox::TRenderLimits limits;
    limits.maxBoundaries = 64;
    limits.maxSectors = 256;
    limits.maxPartBytes = 1 << 16;
    std::vector<std::string> problems;
    for (const mailbox::TMessagePart& p : mailbox::ReadMessageParts(text, problems, limits)) {
        if (!p.attachment && !helpers::isutf8(p.text)) __builtin_trap();
        if (p.encoding == "base64" && p.bytes.size() > size) __builtin_trap();
        const std::string name = mailbox::SafePartName(p.fileName);
        if (name.empty() || name[0] == '.' || name.find_first_of("/\\") != std::string::npos || !helpers::isutf8(name))
            __builtin_trap();
    }
    MemoryStore store;
    mailbox::TRenderResult result;
    const std::string page = mailbox::BuildPage(in, store, result, limits);
    if (!helpers::isutf8(page)) __builtin_trap();
    if (page.find_first_of(std::string{mailbox::kTagOpen, mailbox::kTagClose}) != std::string::npos) __builtin_trap();
    if (hasScript(mailbox::BrowserCopy(page))) __builtin_trap();
    return 0;
}

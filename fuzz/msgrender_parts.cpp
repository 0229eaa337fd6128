// The message renderer's structure reader and decoders over arbitrary text:
// header blocks, boundaries and nesting, parameters and their continuations,
// transfer encodings, character sets, part names, cid references and the
// Attachments block, with the parts kept in memory. Every part's text is
// UTF-8 and its name stays in the folder; the page comes out as UTF-8 with
// no placeholder left, and the browser's copy of it holds no script, names
// nothing remote and reads back as itself: copying the copy changes nothing.
#include <cctype>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "helpers/kwutil.h"
#include "mailbox/browsercopy.h"
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

// Whether a value the browser would load, at v, leaves this machine.
bool remoteAt(std::string_view text, size_t v) {
    for (;;) {
        if (v < text.size() && (text[v] == ' ' || text[v] == '\'' || text[v] == '"')) ++v;
        else if (text.substr(v, 6) == "&quot;") v += 6;
        else break;
    }
    const std::string_view rest = text.substr(v, 12);
    return rest.starts_with("//") || rest.starts_with("http:") || rest.starts_with("https:") ||
           rest.starts_with("ftp:") || (rest.starts_with("file://") && !rest.starts_with("file:///"));
}

bool remoteUrlIn(std::string_view css) {
    // "x-url(" and "\\url(" are other functions.
    auto nameChar = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '\\' || (c & 0x80);
    };
    for (size_t at = css.find("url("); at != std::string_view::npos; at = css.find("url(", at + 1))
        if ((at == 0 || !nameChar(css[at - 1])) && remoteAt(css, at + 4)) return true;
    return false;
}

// What the copy gives a browser to load: src="...", background="..." and
// url(...) in style attributes and style elements (text has its "<"
// escaped, values their ">" and '"'). Each must stay on this machine.
bool namesRemote(const std::string& s) {
    std::string l = s;
    for (char& c : l) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    for (size_t lt = l.find('<'); lt != std::string::npos; lt = l.find('<', lt + 1)) {
        const bool style = l.compare(lt, 7, "<style>") == 0;
        const size_t end = style ? l.find("</style>", lt) : l.find('>', lt);
        const std::string_view region =
            std::string_view(l).substr(lt, end == std::string::npos ? std::string::npos : end - lt);
        if (style) {
            if (remoteUrlIn(region)) return true;
        } else {
            for (const std::string_view key : {" src=\"", " background=\""})
                for (size_t at = region.find(key); at != std::string_view::npos; at = region.find(key, at + 1))
                    if (remoteAt(region, at + key.size())) return true;
            for (size_t at = region.find(" style=\""); at != std::string_view::npos;
                 at = region.find(" style=\"", at + 1)) {
                const size_t close = region.find('"', at + 8);
                if (remoteUrlIn(region.substr(at + 8, close == std::string_view::npos ? close : close - at - 8)))
                    return true;
            }
        }
        if (end == std::string::npos) break;
        lt = end;
    }
    return false;
}

// No script, nothing remote, and the copy of the copy's markup is the copy.
void checkCopy(const std::string& copy) {
    static const std::string head = mailbox::BrowserCopy("");
    static const std::string doctype = "<!DOCTYPE html>";
    if (hasScript(copy) || namesRemote(copy)) __builtin_trap();
    const size_t at = copy.starts_with(doctype) ? doctype.size() : 0;
    if (copy.compare(at, head.size(), head) != 0) __builtin_trap();
    const std::string again = copy.substr(0, at) + copy.substr(at + head.size());
    if (mailbox::BrowserCopy(again) != copy) __builtin_trap();
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
    checkCopy(mailbox::BrowserCopy(page));
    // The message's own text too, which may be a page already.
    checkCopy(mailbox::BrowserCopy(text));
    return 0;
}

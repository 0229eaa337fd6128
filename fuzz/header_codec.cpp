// Header text: encoded words, folding, wrapping and unfolding of arbitrary
// bytes. The first two bytes choose the column and the options.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mail/mimeutils.h"
#include "platform/rtl/classes.h"

namespace {

// The bytes above the blank: what folding must never lose.
std::string visible(std::string_view s) {
    std::string out;
    for (char c : s)
        if (static_cast<uint8_t>(c) > ' ') out += c;
    return out;
}

// Decodes each word and checks that the words start only where a character starts.
void checkWords(std::string_view text, const std::string& value, char enc, size_t prefixLen) {
    std::vector<bool> charStart(text.size() + 1, false);
    for (size_t i = 0; i < text.size(); i += static_cast<size_t>(mail::Utf8CharLength(text, i))) charStart[i] = true;
    charStart[text.size()] = true;
    std::string joined;
    size_t start = 0;
    for (;;) {
        const size_t end = value.find("\r\n\t", start);
        const std::string word = value.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (word.size() < prefixLen + 2) __builtin_trap();
        std::string payload = word.substr(prefixLen, word.size() - prefixLen - 2);
        if (enc == 'Q') {
            for (auto& c : payload)
                if (c == '_') c = ' ';
            joined += mail::DecodeQuotedPrintable(payload);
        } else {
            joined += mail::Base64Decode(payload);
        }
        if (joined.size() > text.size() || !charStart[joined.size()]) __builtin_trap();
        if (end == std::string::npos) break;
        start = end + 3;
    }
    if (joined != text) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int maxCol = data[0] % 100;
    const char enc = data[1] & 1 ? 'B' : 'Q';
    const bool fold = data[1] & 2;
    const std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);

    if (!text.empty()) {
        const std::string value = mail::HdrEncodeInLine(text, "\"(),.:;<>@[]\\", enc, "UTF-8", maxCol, fold);
        checkWords(text, value, enc, std::string("=?utf-8?B?").size());
    }

    const std::string folded = mail::FoldString(text, " ,;", maxCol);
    if (visible(folded) != visible(text)) __builtin_trap();
    rtl::TStringList lines;
    mail::FoldHdrLine(lines, text);
    std::string joined;
    for (const auto& l : lines) joined += l;
    if (visible(joined) != visible(text)) __builtin_trap();
    for (int pos = 1; pos <= static_cast<int>(text.size());)
        mail::EvqWrapTextEx(text, "\r\n", " ", maxCol, "\"'", pos);
    mail::UnFoldHdrLine(text);
    return 0;
}

#include "mailbox/hdrdecode.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "helpers/kwutil.h"
#include "mail/mimeutils.h"
#include "platform/rtl/sysutils.h"

namespace mailbox {

namespace {

bool isBlankRun(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) > ' ') return false;
    return true;
}

// One encoded word starting at "=?" (At): its charset, its decoded bytes,
// and where the text goes on after it.
struct Word {
    std::string charset;
    std::string decoded;
    size_t next = 0;
    bool undecodable = false;  // a B word whose text decodes to nothing
};

bool charsetChar(char c) { return static_cast<unsigned char>(c) > ' ' && c != '?' && c != '"' && c != 0x7F; }

// Reads the encoded word "=?charset?B|Q?text?=" at At; false when At starts
// no such word (a "=?" of ordinary text, which stays as it is).
bool readWord(std::string_view text, size_t at, Word& w) {
    size_t i = at + 2;
    const size_t cs = i;
    while (i < text.size() && charsetChar(text[i])) ++i;
    if (i == cs || i + 2 >= text.size() || text[i] != '?' || text[i + 2] != '?') return false;
    const char enc = static_cast<char>(text[i + 1] | 0x20);
    if (enc != 'b' && enc != 'q') return false;
    const size_t payloadAt = i + 3;
    const size_t end = text.find("?=", payloadAt);
    if (end == std::string_view::npos) return false;
    const std::string_view payload = text.substr(payloadAt, end - payloadAt);
    if (payload.find_first_of("?\r\n") != std::string_view::npos) return false;
    w.charset = rtl::LowerCase(text.substr(cs, i - cs));
    w.next = end + 2;
    w.undecodable = false;
    if (enc == 'b') {
        // A leading "~" would have the decoder write a file: no base64 text
        // holds one, so it goes.
        w.decoded = helpers::b64decode(payload.substr(std::min(payload.find_first_not_of('~'), payload.size())));
        w.undecodable = w.decoded.empty();
    } else {
        // Only a literal "_" is a blank; "=5F" is an underscore.
        w.decoded = helpers::qpdecode(rtl::StringReplace(std::string(payload), "_", " ", rtl::rfReplaceAll));
    }
    return true;
}

// The first encoded word from From on, read into W; npos when none.
size_t nextWord(std::string_view text, size_t from, Word& w) {
    for (size_t at = text.find("=?", from); at != std::string_view::npos; at = text.find("=?", at + 1))
        if (readWord(text, at, w)) return at;
    return std::string_view::npos;
}

}  // namespace

std::string DecodeOneWord(std::string_view text, std::string& hdrCharset) {
    Word w;
    const size_t at = nextWord(text, 0, w);
    if (at == std::string_view::npos) return std::string(text);
    if (hdrCharset.empty()) hdrCharset = w.charset;
    std::string out(text.substr(0, at));
    // A word that cannot be decoded stays as it was, less its opening "=?".
    if (w.undecodable) out += text.substr(at + 2, w.next - at - 2);
    else out += w.decoded;
    out += text.substr(w.next);
    return out;
}

std::string DecodeEncodedWords(std::string_view text, bool convert, std::string& hdrCharset) {
    hdrCharset.clear();
    struct Piece {
        std::string text;
        std::string charset;  // of an encoded word; empty outside words
        bool word;
    };
    std::vector<Piece> pieces;
    size_t pos = 0;
    bool afterWord = false;
    while (pos < text.size()) {
        Word w;
        const size_t at = nextWord(text, pos, w);
        const std::string_view between = text.substr(pos, (at == std::string_view::npos ? text.size() : at) - pos);
        // Blanks between two encoded words are not part of the text.
        if (!(afterWord && at != std::string_view::npos && isBlankRun(between)))
            pieces.push_back({std::string(between), {}, false});
        if (at == std::string_view::npos) break;
        if (hdrCharset.empty()) hdrCharset = w.charset;
        if (w.undecodable) {
            pieces.push_back({std::string(text.substr(at + 2, w.next - at - 2)), {}, false});
            afterWord = false;
        } else if (afterWord && pieces.back().word && pieces.back().charset == w.charset) {
            // Adjacent words of one set are one text: a character may be
            // split between them.
            pieces.back().text += w.decoded;
        } else {
            pieces.push_back({std::move(w.decoded), w.charset, true});
            afterWord = true;
        }
        pos = w.next;
    }
    std::string out;
    for (const Piece& p : pieces) {
        if (!convert) out += p.text;
        // A character set that could not be used leaves bytes that the
        // list and the CSV file could not show: those read as Latin-1.
        else if (p.word) out += helpers::charsetconv(p.text, p.charset);
        // Text outside the words is taken as the header's first character
        // set unless it already reads as UTF-8.
        else out += helpers::isutf8(p.text) ? p.text : helpers::charsetconv(p.text, hdrCharset);
    }
    return rtl::Trim(out);
}

bool DecodeParamValue(std::string_view block, std::string_view name, std::string& param,
                      std::string_view paramName, std::string& value) {
    std::string scratch;
    size_t i = 0;
    while (i < block.size()) {
        size_t e = i;
        while (e < block.size() && block[e] != '\r' && block[e] != '\n') ++e;
        const std::string_view raw = block.substr(i, e - i);
        i = e + 1;
        const std::string line = rtl::Trim(DecodeEncodedWords(rtl::Trim(raw), false, scratch));
        if (line.empty()) continue;
        const size_t at = line.find(name);
        if (at == std::string::npos) continue;
        std::string rest = line.substr(at + name.size()) + ";";
        value = rtl::Trim(rest.substr(0, rest.find(';')));
        if (paramName.empty()) return true;
        const std::string mask = std::string(paramName) + "*=*;";
        bool found = false;
        while (helpers::rematch(mask, rest)) {
            const std::string hit = helpers::lastmatch;
            param += rtl::Trim(helpers::csvdelimel(hit, "=;", 2));
            rest = rtl::StringReplace(rest, hit, "", 0);
            found = true;
        }
        if (found) return true;
    }
    return false;
}

std::string HeaderLineHtml(std::string_view colour, int labelLength, std::string_view line) {
    const std::string t = rtl::Trim(line);
    std::string scratch;
    const std::string label = rtl::Copy(t, 1, labelLength);
    const std::string value = DecodeEncodedWords(rtl::CopyFrom(t, labelLength + 1), true, scratch);
    return "<SPAN STYLE=\"font:12pt bold Times,serif; background-color:wheat; color:" + std::string(colour) +
           ";\">" + helpers::htmlescape(label + " " + value) + "</SPAN><BR>\r\n";
}

std::string ToggleBlock(std::string_view id, std::string_view content, std::string_view label) {
    // Opened and closed by the page itself, without scripts: received pages
    // run none. The label and the block keep their spans, which is how
    // readers of stored pages find them.
    const std::string head =
        "<DETAILS><SUMMARY STYLE=\"cursor:pointer;\"><SPAN STYLE=\"cursor:pointer; padding:1px 10px; "
        "border-radius:8px; border:1px solid gray; color:black; font:8pt arial italic; "
        "background-color:turquoise;\">Toggle " +
        std::string(label) + "</SPAN><BR></SUMMARY><SPAN ID=\"" + std::string(id) +
        "\" STYLE=\"font:8pt tahoma;background-color:linen;\">";
    constexpr std::string_view tail = "</SPAN><BR></DETAILS>\r\n";
    // The content may be a whole message: copied once.
    std::string r;
    r.reserve(head.size() + content.size() + tail.size());
    r += head;
    r += content;
    r += tail;
    return r;
}

std::string RcvdFolderPath(std::string_view userName, std::string_view programFolder, bool bare) {
    std::string name(userName);
    for (char& c : name)
        if (c == '@' || c == '.') c = '_';
    return bare ? name : std::string(programFolder) + "rcvd/" + name;
}

std::string RestoreTagChars(std::string_view text) {
    std::string r;
    AppendRestoringTagChars(r, text);
    return r;
}

void AppendRestoringTagChars(std::string& out, std::string_view text) {
    const size_t at = out.size();
    out.append(text);
    ReplaceTagChars(out.data() + at, out.data() + out.size(), '<', '>');
}

void ReplaceTagChars(char* begin, char* end, char open, char close) {
    static_assert(kTagOpen == 0x1E && kTagClose == 0x1F);
    // They are rare: eight bytes at a time are looked at, a byte of 0x1E or
    // 0x1F showing as a zero byte once 0x1E is taken away and the low bit
    // dropped.
    constexpr uint64_t ones = 0x0101010101010101ULL, highs = 0x8080808080808080ULL;
    auto replace = [&](char* from, char* to) {
        for (char* c = from; c != to; ++c) {
            if (*c == kTagOpen) *c = open;
            else if (*c == kTagClose) *c = close;
        }
    };
    char* p = begin;
    for (; end - p >= 8; p += 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        const uint64_t y = (w ^ (ones * 0x1E)) & (ones * 0xFE);
        if ((y - ones) & ~y & highs) replace(p, p + 8);
    }
    replace(p, end);
}

}  // namespace mailbox

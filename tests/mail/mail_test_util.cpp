#include "tests/mail/mail_test_util.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "mail/mimeutils.h"

namespace mailtest {

std::string tempPath(const std::string& name) {
    return testing::TempDir() + "pelliwox_mail_" + std::to_string(::getpid()) + "_" + name;
}

bool isCompleteUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const int n = mail::Utf8CharLength(s, i);
        if (n == 1 && static_cast<uint8_t>(s[i]) >= 0x80) return false;
        i += static_cast<size_t>(n);
    }
    return true;
}

std::string randomText(std::mt19937& rng, TextKind kind, bool lines) {
    static const std::vector<std::string> kAscii = {"mail", "Re:", "a=b", "x?y", "under_score", ".", "..",
                                                    "\t", " ", "  ", "end.", "(note)", "=?x?=", "~"};
    static const std::vector<std::string> kLatin1 = {"\xE9t\xE9", "\xFC", "\xA0", "\xFF\xFE", "\x80", "caf\xE9"};
    static const std::vector<std::string> kUtf8 = {"\xC3\xA9t\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9D\x84\x9E",
                                                   "\xE6\x97\xA5\xE6\x9C\xAC", "\xD0\x96", "K\xC3\xB6ln"};
    const auto& extra = kind == TextKind::Latin1 ? kLatin1 : kind == TextKind::Utf8 ? kUtf8 : kAscii;
    std::uniform_int_distribution<int> wordCount(0, 60);
    std::uniform_int_distribution<int> pick(0, 9);
    std::string out;
    const int words = wordCount(rng);
    for (int w = 0; w < words; ++w) {
        const int p = pick(rng);
        if (p < 4) {
            out += kAscii[std::uniform_int_distribution<size_t>(0, kAscii.size() - 1)(rng)];
        } else if (p < 7) {
            out += extra[std::uniform_int_distribution<size_t>(0, extra.size() - 1)(rng)];
        } else if (p < 8 && lines) {
            out += "\r\n";
            if (pick(rng) < 3) out += ".";
        } else if (p < 9 && pick(rng) == 0) {
            out += std::string(std::uniform_int_distribution<int>(60, 200)(rng), 'L');
        } else {
            out += ' ';
        }
    }
    if (pick(rng) < 3) out += "  ";  // trailing blanks
    return out;
}

}  // namespace mailtest

// Round trips against Python's quopri and email.header: what we encode,
// Python decodes to the input; what Python encodes, we decode to the input.
// Base64 as mail brings it, stray characters and all, decodes as in Python.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <regex>

#include "mail/mimeutils.h"
#include "platform/rtl/sysutils.h"
#include "tests/mail/mail_test_util.h"

using namespace mail;
using mailtest::TextKind;

namespace {

constexpr const char* kPython = "/usr/bin/python3";

// Runs one oracle command over all inputs and returns its results in order.
std::vector<std::string> runOracle(const std::string& command, const std::vector<std::string>& inputs) {
    EXPECT_EQ(::access(kPython, X_OK), 0) << kPython << " is needed for the codec round trips";
    const std::string in = mailtest::tempPath("oracle_" + command + ".in");
    const std::string out = mailtest::tempPath("oracle_" + command + ".out");
    {
        std::ofstream f(in);
        for (const auto& s : inputs) f << mailtest::toHex(s) << "\n";
    }
    const std::string cmd = std::string(kPython) + " " + MAIL_TEST_DIR "/codec_oracle.py " + command + " " + in + " " + out;
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::vector<std::string> results;
    std::ifstream f(out);
    for (std::string line; std::getline(f, line);) results.push_back(mailtest::fromHex(line));
    std::remove(in.c_str());
    std::remove(out.c_str());
    EXPECT_EQ(results.size(), inputs.size()) << command;
    return results;
}

std::vector<std::string> texts(TextKind kind, bool lines, unsigned seed, int count = 60) {
    std::mt19937 rng(seed);
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) out.push_back(mailtest::randomText(rng, kind, lines));
    return out;
}

void expectAllEqual(const std::vector<std::string>& got, const std::vector<std::string>& want, const char* what) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(mailtest::toHex(got[i]), mailtest::toHex(want[i])) << what << " #" << i;
}

// The three ways our code writes quoted-printable text.
std::string splitEncoding(const std::string& t) { return SplitQuotedPrintableString(EncodeQuotedPrintable(t)); }
std::string qpExEncoding(const std::string& t) {
    std::string joined;
    for (int pos = 1; pos <= static_cast<int>(t.size());) {
        if (!joined.empty()) joined += "\r\n";
        joined += StrEncodeQPEx(t, 75, TSysCharSet(), false, pos, true);
    }
    return joined;
}
std::string qpEncoding(const std::string& t) { return StrEncodeQP(t, 76, TSysCharSet()); }

TEST(PythonRoundTrip, OurQuotedPrintableDecodesInPython) {
    for (TextKind kind : {TextKind::Latin1, TextKind::Utf8}) {
        const auto input = texts(kind, true, 21 + static_cast<unsigned>(kind));
        for (auto encode : {splitEncoding, qpExEncoding, qpEncoding}) {
            std::vector<std::string> encoded;
            for (const auto& t : input) encoded.push_back(encode(t));
            expectAllEqual(runOracle("qp-decode", encoded), input, "qp");
        }
    }
}

TEST(PythonRoundTrip, PythonQuotedPrintableDecodesHere) {
    for (TextKind kind : {TextKind::Latin1, TextKind::Utf8}) {
        const auto input = texts(kind, true, 31 + static_cast<unsigned>(kind));
        std::vector<std::string> decoded;
        for (const auto& e : runOracle("qp-encode", input)) decoded.push_back(DecodeQuotedPrintable(e));
        expectAllEqual(decoded, input, "qp");
    }
}

TEST(PythonRoundTrip, OurEncodedWordsDecodeInPython) {
    const struct {
        TextKind kind;
        const char* charset;
    } sets[] = {{TextKind::Utf8, "UTF-8"}, {TextKind::Latin1, "iso-8859-1"}};
    for (const auto& s : sets)
        for (char enc : {'B', 'Q'}) {
            const auto input = texts(s.kind, false, 41 + static_cast<unsigned>(enc));
            std::vector<std::string> encoded;
            std::vector<std::string> expected;
            for (const auto& t : input) {
                if (t.empty()) continue;  // an empty value has no word to decode
                encoded.push_back(HdrEncodeInLine(t, "\"(),.:;<>@[]\\", enc, s.charset, 76 - 9, true));
                expected.push_back(t);
            }
            expectAllEqual(runOracle("header-decode", encoded), expected, s.charset);
        }
}

// Joins the payloads of Python's encoded words, decoded with our decoders.
std::string decodeWords(const std::string& value) {
    static const std::regex word(R"(=\?[^?]+\?([bBqQ])\?([^?]*)\?=)");
    std::string out;
    for (std::sregex_iterator it(value.begin(), value.end(), word), end; it != end; ++it) {
        std::string text = (*it)[2];
        if ((*it)[1] == "b" || (*it)[1] == "B") {
            out += Base64Decode(text);
        } else {
            for (auto& c : text)
                if (c == '_') c = ' ';
            out += DecodeQuotedPrintable(text);
        }
    }
    return out;
}

TEST(PythonRoundTrip, PythonEncodedWordsDecodeHere) {
    const struct {
        TextKind kind;
        const char* command;
    } sets[] = {{TextKind::Utf8, "header-encode-utf8"}, {TextKind::Latin1, "header-encode-latin1"}};
    for (const auto& s : sets) {
        const auto input = texts(s.kind, false, 51 + static_cast<unsigned>(s.kind));
        std::vector<std::string> decoded;
        for (const auto& e : runOracle(s.command, input)) decoded.push_back(decodeWords(e));
        expectAllEqual(decoded, input, s.command);
    }
}

// Lines of every length (whole groups or not), characters outside the
// alphabet anywhere, padding present or missing: the decoder's group-wise
// path and its character-wise one must both give Python's bytes.
TEST(PythonRoundTrip, Base64WithStrayCharactersDecodesAsInPython) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    static constexpr char kStrayChars[] = " \t\r\n!\"#$%&*-.:;<>?@[]^_`{|}~\x7f\x80\xc3\xff\0";
    static const std::string kStray(kStrayChars, sizeof kStrayChars - 1);  // the zero byte too
    std::mt19937 rng(61);
    std::vector<std::string> inputs;
    for (int i = 0; i < 300; ++i) {
        size_t n = rng() % (i < 200 ? 120 : 3000);
        if (n % 4 == 1) ++n;  // one character alone is no byte: Python refuses it
        const size_t line = i % 3 == 0 ? 76 : 1 + rng() % 90;
        std::string s;
        for (size_t k = 0; k < n; ++k) {
            if (k && k % line == 0) s += "\r\n";
            s += kAlphabet[rng() % 64];
        }
        if (n % 4 && rng() % 2) s += std::string(4 - n % 4, '=');
        for (int k = static_cast<int>(rng() % 10); k-- > 0;) s.insert(rng() % (s.size() + 1), 1, kStray[rng() % kStray.size()]);
        inputs.push_back(s);
    }
    std::vector<std::string> decoded;
    for (const auto& s : inputs) decoded.push_back(Base64Decode(s));
    expectAllEqual(decoded, runOracle("b64-decode", inputs), "base64");
}

}  // namespace

// Written the one way, a header value and a file name read back in Python as
// the text itself (composed), whatever set was asked for: in that set when
// it holds the text, else in UTF-8; folded into lines of at most 78.
TEST(PythonRoundTrip, HeaderValuesAndFileNamesReadBackInPython) {
    std::vector<std::string> values = {
        "Zo\xC3\xAB \xC3\x84ndersson",         "my \"quoted\" file.txt", "\xC5\x81ukasz \xC5\xBB\xC3\xB3\xC5\x82w",
        "back\\slash; semi, comma (paren)", "=?iso-8859-1?Q?not_a_word?=",  "tab\there",
        std::string(120, 'y') + " and " + std::string(90, 'z'),
    };
    std::mt19937 rng(71);
    for (int i = 0; i < 40; ++i) {
        const std::string t = rtl::Trim(mailtest::randomText(rng, TextKind::Utf8, false));
        if (!t.empty()) values.push_back(t);
    }
    std::vector<std::string> composed = values;
    values.push_back("Cafe\xCC\x81 cre\xCC\x80me");
    composed.push_back("Caf\xC3\xA9 cr\xC3\xA8me");
    for (const char* charset : {"iso-8859-1", "utf-8", "windows-1251", "shift_jis"})
        for (char enc : {'B', 'Q'}) {
            std::vector<std::string> subjects, dispositions;
            for (const auto& v : values) {
                subjects.push_back(FoldHeader("Subject: " + HeaderText(v, charset, enc, TSysCharSet(), 69)));
                std::string d = "Content-Disposition: attachment";
                for (const auto& p : MimeParameter("filename", v, charset, enc)) d += ";\r\n\t" + p;
                dispositions.push_back(FoldHeader(d));
            }
            for (const auto* lines : {&subjects, &dispositions})
                for (const auto& l : *lines) {
                    EXPECT_TRUE(HeaderLineSafe(l)) << l;
                    // Only a word too long for a line makes a longer line.
                    for (const auto& piece : mailtest::split(l, "\r\n")) {
                        size_t word = 0, longest = 0;
                        for (char c : piece) longest = std::max(longest, word = c == ' ' || c == '\t' ? 0 : word + 1);
                        if (longest < 70) EXPECT_LE(piece.size(), 78u) << l;
                    }
                }
            expectAllEqual(runOracle("filename-read", dispositions), composed, charset);
            expectAllEqual(runOracle("header-read", subjects), composed, charset);
        }
}

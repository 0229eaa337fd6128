#include "mail/mimeutils.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <regex>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"
#include "tests/mail/mail_test_util.h"
#include "tests/support/plants.h"

using namespace mail;
using mailtest::split;

namespace {

struct B64Case {
    const char* plain;
    const char* encoded;
};

// RFC 4648, section 10.
const B64Case kRfc4648[] = {
    {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},     {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
};

TEST(Base64, Rfc4648Vectors) {
    for (const auto& c : kRfc4648) {
        EXPECT_EQ(Base64Encode(c.plain), c.encoded);
        EXPECT_EQ(Base64Decode(c.encoded), c.plain);
    }
}

TEST(Base64, AllByteValuesRoundTrip) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    for (size_t len : {254u, 255u, 256u}) EXPECT_EQ(Base64Decode(Base64Encode(all.substr(0, len))), all.substr(0, len));
}

TEST(Base64, DecodeToleratesBreaksAndCutInput) {
    const B64Case cases[] = {
        {"foobar", "Zm9v\r\nYmFy"},    // segments joined by CR LF
        {"ffo", "Zg==\r\nZm8="},       // padded segments joined
        {"foobar", "Zm9vY\r\nmFy\n"},  // a break inside a group
        {"foob", "Zm9vYg"},            // cut after a partial group
        {"foo", "Zm9vY"},              // one stray character gives no byte
        {"fooba", "Zm9vYmE"},
        {"", "="},
        {"", "Z"},
    };
    for (const auto& c : cases) EXPECT_EQ(Base64Decode(c.encoded), c.plain) << c.encoded;
}

TEST(Base64, EncodeExCutsLinesAtGroupsAndGoesOn) {
    const std::string input(100, 'q');
    int pos = 1;
    const std::string first = Base64EncodeEx(input, 76, pos);
    EXPECT_EQ(first.size(), 76u);
    EXPECT_EQ(pos, 58);
    const std::string second = Base64EncodeEx(input, 76, pos);
    EXPECT_GT(pos, 100);
    EXPECT_EQ(first + second, Base64Encode(input));
    EXPECT_EQ(Base64EncodeEx(input, 76, pos), "");

    pos = 1;
    EXPECT_EQ(Base64EncodeEx(input, 74, pos).size(), 76u);  // first multiple of 4 at or above
    pos = 1;
    EXPECT_EQ(Base64EncodeEx(input, 0, pos).size(), 4u);  // never stalls the caller
    EXPECT_EQ(pos, 4);
}

class FileEncBase64 : public ::testing::Test {
protected:
    std::string writeFile(const std::string& data) {
        path_ = mailtest::tempPath("fileenc_" + std::to_string(data.size()) + ".bin");
        std::ofstream(path_, std::ios::binary) << data;
        return path_;
    }
    void TearDown() override { std::remove(path_.c_str()); }

    // Every line of the file's encoding, with the More flag after each.
    std::vector<std::pair<std::string, bool>> encodeAll(const std::string& path) {
        auto stream = InitFileEncBase64(path, 0x20);
        std::vector<std::pair<std::string, bool>> lines;
        bool more = true;
        while (more) {
            std::string line = DoFileEncBase64(stream, more);
            lines.emplace_back(line, more);
        }
        EndFileEncBase64(stream);
        EXPECT_EQ(stream, nullptr);
        return lines;
    }

    std::string path_;
};

TEST_F(FileEncBase64, LinesOf72AndTheFileComesBack) {
    std::string data;
    for (int i = 0; i < 100; ++i) data += static_cast<char>(i * 7);
    const auto lines = encodeAll(writeFile(data));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].first.size(), 72u);
    EXPECT_TRUE(lines[0].second);
    EXPECT_FALSE(lines[1].second);
    EXPECT_EQ(Base64Decode(lines[0].first + lines[1].first), data);
}

TEST_F(FileEncBase64, MultipleOf54EndsWithAnEmptyLine) {
    const std::string data(108, 'z');
    const auto lines = encodeAll(writeFile(data));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].first.size(), 72u);
    EXPECT_TRUE(lines[1].second);
    EXPECT_EQ(lines[2].first, "");
    EXPECT_EQ(Base64Decode(lines[0].first + lines[1].first), data);
}

TEST_F(FileEncBase64, MissingFileRaises) {
    EXPECT_THROW(InitFileEncBase64(mailtest::tempPath("no_such_file.bin"), 0x20), rtl::EInOutError);
}

// An attachment read through a link is the file it names; a pipe is
// refused at once with the reason, a dangling link fails as a missing file.
TEST_F(FileEncBase64, ReadsRegularFilesOnly) {
    testsupport::TPlantBed bed("victim's bytes");
    testsupport::ExpectReadsOfRegularFilesOnly(
        bed, {{"an attachment",
               [&](const std::string& path) {
                   const auto lines = encodeAll(path);
                   if (Base64Decode(lines.front().first) != "victim's bytes") throw std::runtime_error("not the victim");
               },
               [](const std::string& path, const std::string& reason) {
                   return "Cannot open file \"" + path + "\". " + reason;
               }}});
}

TEST(QuotedPrintable, EncodeEscapesControlsEqualsAnd8Bit) {
    EXPECT_EQ(EncodeQuotedPrintable("a=b\r\nc\td"), "a=3Db=0D=0Ac=09d");
    EXPECT_EQ(EncodeQuotedPrintable("caf\xC3\xA9 ~"), "caf=C3=A9 ~");
    EXPECT_EQ(EncodeQuotedPrintable("ends in blank "), "ends in blank=20");
}

TEST(QuotedPrintable, SplitKeepsEscapesWhole) {
    EXPECT_EQ(SplitQuotedPrintableString(std::string(80, 'x')), std::string(75, 'x') + "=\r\n" + std::string(5, 'x'));
    EXPECT_EQ(SplitQuotedPrintableString(std::string(76, 'x')), std::string(76, 'x'));
    // An escape at each position around the cut.
    for (int at = 70; at < 78; ++at) {
        const std::string encoded = std::string(static_cast<size_t>(at), 'x') + "=3D" + std::string(100, 'y');
        const std::string split = SplitQuotedPrintableString(encoded);
        for (const auto& line : mailtest::split(split, "\r\n")) {
            EXPECT_LE(line.size(), 76u);
            const auto eq = line.rfind('=');
            if (eq != std::string::npos) {
                EXPECT_TRUE(eq == line.size() - 1 || eq + 3 <= line.size()) << line;
            }
        }
        EXPECT_EQ(DecodeQuotedPrintable(split), DecodeQuotedPrintable(encoded));
    }
}

TEST(QuotedPrintable, Decode) {
    const B64Case cases[] = {
        {"a=b", "a=3Db"},   {"=", "=3d"},        {"abcd", "ab=\r\ncd"}, {"abcd", "ab=\ncd"},
        {"abc", "abc="},    {"ab", "ab=\r"},     {"a\r\nb", "a\r\nb"},  {"\xE9", "=E9"},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeQuotedPrintable(c.encoded), c.plain) << c.encoded;
}

TEST(QuotedPrintable, DecodeRaisesOnBadOrCutEscapes) {
    for (const char* bad : {"ab=ZZ", "ab=A", "=4", "=G1"}) EXPECT_THROW(DecodeQuotedPrintable(bad), rtl::EConvertError) << bad;
    try {
        DecodeQuotedPrintable("x=ZZ");
        FAIL();
    } catch (const rtl::EConvertError& e) {
        EXPECT_EQ(e.Message, "'$ZZ' is not a valid integer value");
    }
}

TEST(QuotedPrintable, StrEncodeQPBreaksAtTheColumn) {
    EXPECT_EQ(StrEncodeQP(std::string(30, 'x'), 10, TSysCharSet()),
              "xxxxxxxxx=\r\nxxxxxxxxx=\r\nxxxxxxxxx=\r\nxxx");
    EXPECT_EQ(StrEncodeQP("a=b c ", 76, TSysCharSet("c")), "a=3Db =63=20");
}

// Lines of StrEncodeQPEx as a caller sends them.
std::vector<std::string> qpLines(const std::string& text, int maxLen) {
    std::vector<std::string> lines;
    int pos = 1;
    while (pos <= static_cast<int>(text.size())) lines.push_back(StrEncodeQPEx(text, maxLen, TSysCharSet(), false, pos, true));
    return lines;
}

TEST(QuotedPrintable, StrEncodeQPExLinesFitAndDecodeBack) {
    std::mt19937 rng(7);
    for (int i = 0; i < 50; ++i) {
        const std::string text = mailtest::randomText(rng, mailtest::TextKind::Utf8, true);
        std::string joined;
        const auto lines = qpLines(text, 75);
        for (size_t k = 0; k < lines.size(); ++k) {
            EXPECT_LE(lines[k].size(), 75u);
            EXPECT_EQ(lines[k].back() == '=', k + 1 < lines.size()) << lines[k];
            joined += lines[k] + (k + 1 < lines.size() ? "\r\n" : "");
        }
        EXPECT_EQ(DecodeQuotedPrintable(joined), text);
    }
}

TEST(QuotedPrintable, StrEncodeQPExLimits) {
    int pos = 1;
    EXPECT_EQ(StrEncodeQPEx("abcd\xE9", 6, TSysCharSet(), false, pos, true), "abcd=");
    EXPECT_EQ(pos, 5);
    EXPECT_EQ(StrEncodeQPEx("abcd\xE9", 6, TSysCharSet(), false, pos, true), "=E9");
    pos = 1;
    EXPECT_EQ(StrEncodeQPEx(std::string(200, 'a'), 6, TSysCharSet(), false, pos, false), std::string(200, 'a'));
    pos = 1;
    EXPECT_EQ(StrEncodeQPEx("a b c", 76, TSysCharSet(" "), true, pos, true), "a_b_c");
    // Too narrow for an escape: each line still takes one byte.
    EXPECT_EQ(qpLines("\xE9\xE9", 2), (std::vector<std::string>{"=E9=", "=E9"}));
}

TEST(QuotedPrintable, NoLineEndsInABlank) {
    const std::string text = "word  \r\nnext line ends in blanks   ";
    std::vector<std::string> physical;
    for (const auto& l : qpLines(text, 20)) physical.push_back(l);
    for (const auto& l : split(SplitQuotedPrintableString(EncodeQuotedPrintable(text)), "\r\n")) physical.push_back(l);
    for (const auto& l : split(StrEncodeQP(text, 20, TSysCharSet()), "\r\n")) physical.push_back(l);
    for (const auto& l : physical)
        if (!l.empty()) {
            EXPECT_NE(l.back(), ' ') << '"' << l << '"';
        }
}

// The decoded payload of each encoded word in a header value.
std::vector<std::string> wordPayloads(const std::string& value, std::string* charset = nullptr) {
    static const std::regex word(R"(=\?([^?]+)\?([BQ])\?([^?]*)\?=)");
    std::vector<std::string> out;
    for (std::sregex_iterator it(value.begin(), value.end(), word), end; it != end; ++it) {
        if (charset) *charset = (*it)[1];
        std::string text = (*it)[3];
        if ((*it)[2] == "B") {
            out.push_back(Base64Decode(text));
        } else {
            for (auto& c : text)
                if (c == '_') c = ' ';
            out.push_back(DecodeQuotedPrintable(text));
        }
    }
    return out;
}

TEST(EncodedWords, SmallBAndQWords) {
    EXPECT_EQ(HdrEncodeInLine("abc", TSysCharSet(), 'B', "UTF-8", 76, true), "=?utf-8?B?YWJj?=");
    EXPECT_EQ(HdrEncodeInLine("a b=c?d_e", TSysCharSet(), 'Q', "iso-8859-1", 76, true),
              "=?iso-8859-1?Q?a_b=3Dc=3Fd=5Fe?=");
    EXPECT_EQ(HdrEncodeInLine("J\xFCrgen (Sales), Ltd.", TSysCharSet("\"(),.:;<>@[]\\"), 'Q', "iso-8859-1", 76, true),
              "=?iso-8859-1?Q?J=FCrgen_=28Sales=29=2C_Ltd=2E?=");
    EXPECT_EQ(HdrEncodeInLine("", TSysCharSet(), 'B', "utf-8", 76, true), "=?utf-8?B?" "?=");
    EXPECT_EQ(HdrEncodeInLine("", TSysCharSet(), 'Q', "utf-8", 76, true), "");
}

TEST(EncodedWords, BadCharsetOrLetterRaises) {
    try {
        HdrEncodeInLine("x", TSysCharSet(), 'B', "utf", 76, true);
        FAIL();
    } catch (const rtl::Exception& e) {
        EXPECT_EQ(e.Message, "Function 'HdrEncodeInLine', invalid CharSet: utf");
    }
    try {
        HdrEncodeInLine("x", TSysCharSet(), 'X', "utf-8", 76, true);
        FAIL();
    } catch (const rtl::Exception& e) {
        EXPECT_EQ(e.Message, "Function 'HdrEncodeInLine', invalid EncType: X");
    }
}

TEST(EncodedWords, SingleByteTextFillsWordsToTheColumn) {
    const std::string text(100, 'x');
    const auto words = split(HdrEncodeInLine(text, TSysCharSet(), 'B', "utf-8", 76, true), "\r\n\t");
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(words[0].size(), 76u);  // 16 groups of 48 bytes between prefix and "?="
    EXPECT_EQ(HdrEncodeInLine(text, TSysCharSet(), 'B', "utf-8", 76, false).find("\r\n"), std::string::npos);
}

// Every word stays within the column, decodes to whole characters, and the
// words together give the text back.
TEST(EncodedWords, FoldedWordsNeverCutACharacter) {
    std::mt19937 rng(11);
    for (char enc : {'B', 'Q'})
        for (int maxCol : {25, 31, 40, 63, 76}) {
            for (int i = 0; i < 20; ++i) {
                const std::string text = mailtest::randomText(rng, mailtest::TextKind::Utf8, false);
                const std::string value = HdrEncodeInLine(text, TSysCharSet(), enc, "UTF-8", maxCol, true);
                std::string joined;
                const auto payloads = wordPayloads(value);
                for (const auto& p : payloads) {
                    EXPECT_TRUE(mailtest::isCompleteUtf8(p)) << enc << maxCol << " " << value;
                    joined += p;
                }
                EXPECT_EQ(joined, text);
                if (text.empty()) continue;
                for (const auto& w : split(value, "\r\n\t")) EXPECT_LE(static_cast<int>(w.size()), maxCol) << w;
            }
        }
}

TEST(EncodedWords, LongCharsetNameStillEnds) {
    const std::string charset(70, 'c');
    const std::string text = "ab \xE2\x82\xAC";
    for (char enc : {'B', 'Q'}) {
        const std::string value = HdrEncodeInLine(text, TSysCharSet(), enc, charset, 10, true);
        std::string joined;
        for (const auto& p : wordPayloads(value)) joined += p;
        EXPECT_EQ(joined, text) << value;
    }
}

TEST(Wrapping, FoldStringCutsAtBreakingCharacters) {
    EXPECT_EQ(FoldString("aaa bbb ccc ddd", " ", 8), "aaa bbb\r\n\tccc ddd");
    EXPECT_EQ(FoldString("abc\r\n\tdef", " ", 76), "abc\r\n\tdef");  // an existing fold is kept
    EXPECT_EQ(FoldString(std::string(100, 'x') + " y", " ", 20), std::string(100, 'x') + "\r\n\ty");
}

TEST(Wrapping, NoBreakInsideQuotes) {
    const std::string line = "\"a b c d\" e";
    int pos = 1;
    EXPECT_EQ(EvqWrapTextEx(line, "\r\n\t", " ", 3, "\"", pos), "\"a b c d\" ");
    EXPECT_EQ(pos, 11);
    EXPECT_EQ(EvqWrapTextEx(line, "\r\n\t", " ", 3, "\"", pos), "e");
    EXPECT_EQ(pos, 2147483647);
}

TEST(Wrapping, FoldHdrLineGivesTabbedLinesWithinTheColumn) {
    std::string hdr = "To:";
    for (int i = 0; i < 12; ++i) hdr += " person" + std::to_string(i) + "@example.com,";
    rtl::TStringList lines;
    FoldHdrLine(lines, hdr);
    ASSERT_GT(lines.Count(), 1);
    EXPECT_EQ(lines[0].rfind("To: person0@example.com,", 0), 0u);
    std::string unfolded;
    for (int i = 0; i < lines.Count(); ++i) {
        EXPECT_LE(lines[i].size(), 77u);
        EXPECT_EQ(lines[i][0] == '\t', i > 0);
        unfolded += (i ? " " : "") + rtl::Trim(lines[i]);
    }
    EXPECT_EQ(unfolded, hdr);
}

TEST(Wrapping, BlankTailAddsNoBlankLine) {
    rtl::TStringList lines;
    FoldHdrLine(lines, "X-Note: value" + std::string(100, ' '));
    ASSERT_EQ(lines.Count(), 1);
    EXPECT_EQ(lines[0], "X-Note: value");
}

TEST(Wrapping, UnFold) {
    EXPECT_EQ(UnFoldHdrLine("a\r\n\tb\r\n c"), "a b c");
    EXPECT_EQ(UnFoldHdrLine("a\rb\r\nc\r"), "ab\nc");
}

TEST(Helpers, NeedsEncoding) {
    const std::pair<const char*, bool> cases[] = {
        {"plain text\t\r\n~", false}, {"caf\xC3\xA9", true}, {"\x7F", true}, {"\x01", true}, {"", false}};
    for (const auto& [text, needs] : cases) {
        EXPECT_EQ(NeedsEncoding(text), needs) << text;
        EXPECT_EQ(NeedsEncodingPChar(text), needs) << text;
    }
    EXPECT_FALSE(NeedsEncodingPChar(nullptr));
}

TEST(Helpers, DotEscape) {
    const B64Case cases[] = {
        {".a\r\n.b\r\nc.\r\n.", "..a\r\n..b\r\nc.\r\n.."},
        {"no dots", "no dots"},
        {"", ""},
        {"a\n.b\r.c", "a\n.b\r.c"},  // only CR LF starts a line
    };
    for (const auto& c : cases) {
        std::string s = c.plain;
        DotEscape(s);
        EXPECT_EQ(s, c.encoded);
    }
}

TEST(Helpers, ContentTypeByExtension) {
    const std::pair<const char*, const char*> cases[] = {
        {"page.HTM", "text/html"},      {"dir/page.html", "text/html"},   {"a.Gif", "image/gif"},
        {"a.bmp", "image/bmp"},         {"PHOTO.JPEG", "image/jpeg"},      {"p.jpg", "image/jpeg"},
        {"notes.txt", "text/plain"},    {"README", "application/octet-stream"},
        {"Shot.PNG", "image/png"},      {"icon.ico", "image/x-icon"},      {"scan.tiff", "image/tiff"},
        {"pic.webp", "image/webp"},
        {"a.tar.gz", "application/octet-stream"}, {"dir.jpg/file", "application/octet-stream"},
    };
    for (const auto& [name, type] : cases) EXPECT_EQ(FilenameToContentType(name), type) << name;
}

// ---------------------------------------------------------------- outgoing text

TEST(OutgoingText, ComposedBeforeConverting) {
    // "e" and a combining acute accent is the one letter Latin-1 holds.
    EXPECT_EQ(ComposedUtf8("Cafe\xCC\x81"), "Caf\xC3\xA9");
    EXPECT_EQ(ComposedUtf8("caf\xE9"), "caf\xE9");  // not UTF-8: left as it is
    const TCharsetText latin1 = Utf8ToCharset("Cafe\xCC\x81 Z\xC3\xB6", "iso-8859-1");
    ASSERT_TRUE(latin1.ok) << latin1.unmappable;
    EXPECT_EQ(latin1.text, "Caf\xE9 Z\xF6");
    const TCharsetText notHeld = Utf8ToCharset("\xC5\x81ukasz and \xE2\x82\xAC", "iso-8859-1");
    EXPECT_FALSE(notHeld.ok);
    EXPECT_TRUE(notHeld.known);
    EXPECT_EQ(notHeld.unmappable, "\xC5\x81\xE2\x82\xAC");
    const TCharsetText unknown = Utf8ToCharset("caf\xC3\xA9", "x-mac-thai");
    EXPECT_FALSE(unknown.known);
    EXPECT_FALSE(unknown.ok);
    EXPECT_TRUE(Utf8ToCharset("plain", "x-mac-thai").ok);
    // Names the converters know otherwise, and the variant meant.
    EXPECT_EQ(CharsetConverterName("Shift_JIS"), "CP932");
    EXPECT_EQ(CharsetConverterName("ks_c_5601-1987"), "CP949");
    EXPECT_EQ(CharsetConverterName("iso-8859-2"), "iso-8859-2");
    EXPECT_EQ(Utf8ToCharset("\xE2\x80\x9Cq\xE2\x80\x9D", "windows-1252").text, "\x93q\x94");
}

TEST(HeaderValues, WordsInTheChosenSetOrElseUtf8) {
    const struct {
        const char *text, *charset, *want;
    } cases[] = {
        {"Zo\xC3\xAB \xC3\x84ndersson", "iso-8859-1", "=?iso-8859-1?Q?Zo=EB_=C4ndersson?="},
        {"Zoe\xCC\x88", "iso-8859-1", "=?iso-8859-1?Q?Zo=EB?="},  // composed first
        {"\xC5\x81ukasz", "iso-8859-1", "=?utf-8?Q?=C5=81ukasz?="},  // Latin-1 cannot hold it
        {"\xD0\x96", "utf-16", "=?utf-8?Q?=D0=96?="},  // a set that writes ASCII otherwise
        {"Zo\xEB", "iso-8859-1", "=?iso-8859-1?Q?Zo=EB?="},  // already in the set
        {"a \"b\" (c)", "iso-8859-1", "a \"b\" (c)"},  // needs nothing
        {"=?x?Q?y?=", "iso-8859-1", "=?iso-8859-1?Q?=3D=3Fx=3FQ=3Fy=3F=3D?="},
    };
    for (const auto& c : cases) EXPECT_EQ(HeaderText(c.text, c.charset, 'Q', PhraseSpecials()), c.want) << c.text;
    // Long text: words of at most 75 characters, never cutting a character,
    // each in the set on its own (ISO-2022-JP words end in ASCII).
    const std::string kanji = "\xE6\x97\xA5\xE6\x9C\xAC";
    std::string text;
    for (int i = 0; i < 40; ++i) text += kanji;
    for (const char* cs : {"utf-8", "iso-2022-jp", "shift_jis"})
        for (char enc : {'B', 'Q'}) {
            const auto words = EncodeHeaderWords(text, cs, enc, TSysCharSet());
            ASSERT_GT(words.size(), 1u) << cs;
            for (const auto& w : words) {
                EXPECT_LE(w.size(), 75u) << w;
                EXPECT_EQ(w.rfind(std::string("=?") + cs + "?" + enc + "?", 0), 0u) << w;
            }
        }
}

TEST(HeaderValues, ParametersPlainOrRfc2231WithThePlainBeside) {
    using V = std::vector<std::string>;
    EXPECT_EQ(MimeParameter("filename", "report.pdf", "iso-8859-1", 'Q'), V{"filename=\"report.pdf\""});
    EXPECT_EQ(MimeParameter("filename", "my \"quoted\" file.txt", "iso-8859-1", 'Q'),
              (V{"filename*=iso-8859-1''my%20%22quoted%22%20file.txt", "filename=\"my \\\"quoted\\\" file.txt\""}));
    EXPECT_EQ(MimeParameter("name", "Zo\xC3\xAB.png", "iso-8859-1", 'Q'),
              (V{"name*=iso-8859-1''Zo%EB.png", "name=\"=?iso-8859-1?Q?Zo=EB=2Epng?=\""}));
    // Long: numbered pieces that fit a line, never cutting an escape or a
    // UTF-8 character, then the plain form.
    std::string longName;
    for (int i = 0; i < 30; ++i) longName += "\xC5\x81\xC3\xB3";
    const V params = MimeParameter("filename", longName + ".txt", "iso-8859-1", 'Q');
    ASSERT_GT(params.size(), 2u);
    std::string joined;
    for (size_t i = 0; i + 1 < params.size(); ++i) {
        const std::string head = "filename*" + std::to_string(i) + "*=";
        ASSERT_EQ(params[i].rfind(head, 0), 0u) << params[i];
        EXPECT_LE(params[i].size() + 2, 72u) << params[i];
        joined += params[i].substr(head.size());
    }
    EXPECT_EQ(joined.rfind("utf-8''%C5%81%C3%B3", 0), 0u) << joined;
    EXPECT_EQ(params.back().rfind("filename=\"=?utf-8?Q?", 0), 0u);
    EXPECT_EQ(std::regex_search(joined, std::regex("%C5$|%(..)?$")), false);
}

TEST(HeaderValues, FoldedNearTheColumnAndUnfoldedBack) {
    std::string to = "To:";
    for (int i = 0; i < 60; ++i) to += " \"Person " + std::to_string(i) + "\" <p" + std::to_string(i) + "@x.test>,";
    to.pop_back();
    const std::string subject = "Subject: " + std::string(40, 'a') + " " + std::string(120, 'b') + " c  d";
    const std::string quoted = "To: \"" + std::string(30, 'n') + " " + std::string(30, 'm') + " " +
                               std::string(30, 'o') + "\" <a@x.test>";
    for (const std::string& line : {to, subject, quoted}) {
        const std::string folded = FoldHeader(line);
        EXPECT_TRUE(HeaderLineSafe(folded)) << folded;
        EXPECT_EQ(rtl::StringReplace(folded, "\r\n", "", rtl::rfReplaceAll), line);
        for (const auto& l : split(folded, "\r\n")) {
            // Only a word longer than the column makes a longer line.
            if (l.find(std::string(120, 'b')) == std::string::npos) EXPECT_LE(l.size(), 78u) << l;
        }
    }
    // Between entries, not inside a quoted name, where that is possible.
    for (const auto& l : split(FoldHeader(to), "\r\n")) EXPECT_EQ(std::count(l.begin(), l.end(), '"') % 2, 0) << l;
    EXPECT_EQ(FoldHeader("X: short"), "X: short");
    EXPECT_EQ(FoldHeader("X: a\r\n\tb"), "X: a\r\n\tb");
}

TEST(HeaderValues, UnsafeLines) {
    const std::pair<std::string, bool> cases[] = {
        {"Cc: a@x.test", true},
        {"Cc: a@x.test\r\n b@x.test", true},
        {"Cc: a@x.test\r\nBcc: victim@x.test", false},
        {"Cc: a@x.test\nBcc: victim@x.test", false},
        {"Cc: a@x.test\rBcc: victim@x.test", false},
        {std::string("Cc: a@x.test\0b", 14), false},
        {"Cc: a@x.test\r\n \r\nBcc: v@x.test", false},
        {"Cc: a\r\n ", false},
        {"X: " + std::string(995, 'x'), true},
        {"X: " + std::string(996, 'x'), false},
        {"X: a\r\n " + std::string(997, 'x'), true},
    };
    for (const auto& [line, safe] : cases) EXPECT_EQ(HeaderLineSafe(line), safe) << line.substr(0, 40);
}

}  // namespace

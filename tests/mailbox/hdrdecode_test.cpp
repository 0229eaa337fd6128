#include <gtest/gtest.h>

#include "helpers/kwutil.h"
#include "mailbox/hdrdecode.h"
#include "platform/rtl/sysutils.h"

using namespace mailbox;

// Character-set names resolve through the table the program ships in its folder.
class HeaderDecoding : public ::testing::Test {
protected:
    static void SetUpTestSuite() { helpers::homedir = PWX_DATA_DIR "/"; }
};

TEST_F(HeaderDecoding, EncodedWords) {
    struct Case {
        const char* in;
        bool convert;
        const char* want;
        const char* charset;
    };
    const Case cases[] = {
        {"Hello =?ISO-8859-1?Q?J=F6rg_M=FCller?= there", false, "Hello J\xF6rg M\xFCller there", "iso-8859-1"},
        {"Hello =?ISO-8859-1?Q?J=F6rg_M=FCller?= there", true, "Hello J\xC3\xB6rg M\xC3\xBCller there", "iso-8859-1"},
        // Blanks between adjacent encoded words go; other text between them stays.
        {"=?utf-8?Q?Gr=C3=BC?= =?utf-8?Q?=C3=9Fe?=", true, "Gr\xC3\xBC\xC3\x9F" "e", "utf-8"},
        // A character split between adjacent words of one set.
        {"=?utf-8?Q?Gr=C3?= =?utf-8?Q?=BCn?=", true, "Gr\xC3\xBCn", "utf-8"},
        {"=?UTF-8?B?ww==?=\r\n =?UTF-8?B?hA==?= x", true, "\xC3\x84 x", "utf-8"},
        {"=?utf-8?B?4oI=?= =?utf-8?Q?=AC?=", true, "\xE2\x82\xAC", "utf-8"},
        {"=?utf-8?Q?a?= x =?utf-8?Q?b?=", false, "a x b", "utf-8"},
        {"=?utf-8?B?SGVsbG8gd29ybGQ=?=", false, "Hello world", "utf-8"},
        // Each word is converted from its own character set.
        {"=?iso-8859-1?Q?caf=E9?= / =?koi8-r?B?8NLJ18XU?=", true, "caf\xC3\xA9 / \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82",
         "iso-8859-1"},
        // A B word with nothing to decode stays, less its "=?".
        {"=?utf-8?B?" "?=", false, "utf-8?B?" "?=", "utf-8"},
        // Decoded text that looks like a word start is not decoded again.
        {"=?utf-8?Q?=3D=3Fx?= tail", false, "=?x tail", "utf-8"},
        {"  plain text\t ", true, "plain text", ""},
        // A "=?" that starts no encoded word is text like any other.
        {"a =? b", false, "a =? b", ""},
        {"Is 2+2 =?", true, "Is 2+2 =?", ""},
        {"50% =? off =?utf-8?Q?caf=C3=A9?=", true, "50% =? off caf\xC3\xA9", "utf-8"},
        {"=?=?utf-8?Q?a?=", false, "=?a", "utf-8"},
        {"=?utf-8?X?abc?= stays", false, "=?utf-8?X?abc?= stays", ""},
        {"=?utf-8?Q?no end", false, "=?utf-8?Q?no end", ""},
        {"=? utf-8?Q?a?=", false, "=? utf-8?Q?a?=", ""},
        // "_" is a blank, "=5F" an underscore.
        {"=?utf-8?Q?my=5Ffile_name.pdf?=", false, "my_file name.pdf", "utf-8"},
        // A word never makes the decoder write a file ("~" starts a file
        // name for it): the "~" goes and the rest is decoded.
        {"=?utf-8?B?~SGk=?=", false, "Hi", "utf-8"},
        // Bytes no character set could turn into UTF-8 read as Latin-1.
        {"Subject caf\xE9", true, "Subject caf\xC3\xA9", ""},
        {"=?x-unknown?Q?caf=E9?=", true, "caf\xC3\xA9", "x-unknown"},
    };
    for (const auto& c : cases) {
        std::string cs = "stale";
        EXPECT_EQ(DecodeEncodedWords(c.in, c.convert, cs), c.want) << c.in;
        EXPECT_EQ(cs, c.charset) << c.in;
    }
    std::string cs;
    EXPECT_EQ(DecodeOneWord("x =?us-ascii?Q?a?= =?utf-8?Q?b?=", cs), "x a =?utf-8?Q?b?=");
    EXPECT_EQ(cs, "us-ascii");
}

TEST_F(HeaderDecoding, ParameterValues) {
    const std::string block =
        "content-type: text/plain; charset=us-ascii\r\n"
        "content-disposition: attachment; filename*0=\"long-file-\"; filename*1=\"name.txt\"\r\n";
    std::string param, value;
    EXPECT_TRUE(DecodeParamValue(block, "content-disposition:", param, "filename", value));
    EXPECT_EQ(value, "attachment");
    EXPECT_EQ(param, "long-file-name.txt");

    param.clear();
    EXPECT_FALSE(DecodeParamValue(block, "content-type:", param, "name", value)) << "no name parameter";
    EXPECT_EQ(value, "text/plain");
    EXPECT_TRUE(DecodeParamValue(block, "content-type:", param, "", value));
    value = "kept";
    EXPECT_FALSE(DecodeParamValue(block, "content-id:", param, "", value));
    EXPECT_EQ(value, "kept");

    param.clear();
    EXPECT_TRUE(DecodeParamValue("content-type: image/png; name==?utf-8?Q?b=C3=A4r.png?=\n", "content-type:", param,
                                 "name", value));
    EXPECT_EQ(param, "b\xC3\xA4r.png");
}

TEST_F(HeaderDecoding, PageFragments) {
    EXPECT_EQ(HeaderLineHtml("blue", 8, "  Subject: =?utf-8?Q?a<b?=  "),
              "<SPAN STYLE=\"font:12pt bold Times,serif; background-color:wheat; color:blue;\">Subject: a&lt;b"
              "</SPAN><BR>\r\n");
    const std::string t = ToggleBlock("kwemallhdrs", "X", "All Headers");
    // Closed at first, opened by the page itself: no script.
    EXPECT_TRUE(t.starts_with("<DETAILS><SUMMARY")) << t;
    EXPECT_EQ(t.find(" open"), std::string::npos) << t;
    EXPECT_EQ(rtl::LowerCase(t).find("onclick"), std::string::npos) << t;
    EXPECT_NE(t.find(">Toggle All Headers</SPAN><BR></SUMMARY><SPAN ID=\"kwemallhdrs\""), std::string::npos) << t;
    EXPECT_TRUE(t.ends_with(">X</SPAN><BR></DETAILS>\r\n")) << t;
    EXPECT_EQ(RcvdFolderPath("john.doe@mail.example.org", "/opt/pwx/", true), "john_doe_mail_example_org");
    EXPECT_EQ(RcvdFolderPath("a@b", "/opt/pwx/", false), "/opt/pwx/rcvd/a_b");
    EXPECT_EQ(RestoreTagChars(std::string("\x1E" "B\x1F" "x\x1E/B\x1F")), "<B>x</B>");
}

// Placeholders are found eight bytes at a time: one at every place of a
// text of two words and a tail, among bytes one bit away from them, is
// replaced, and nothing else is.
TEST_F(HeaderDecoding, EveryPlaceholderIsReplacedWhereverItStands) {
    const std::string near = "\x1C\x1D\x0E\x3E\x9E\x9F\x5F\x1B\x16\x17";
    for (char tagChar : {kTagOpen, kTagClose})
        for (size_t at = 0; at < 19; ++at) {
            std::string text;
            for (size_t k = 0; k < 19; ++k) text += near[k % near.size()];
            text[at] = tagChar;
            std::string want = text;
            want[at] = tagChar == kTagOpen ? '<' : '>';
            std::string out = "head";
            AppendRestoringTagChars(out, text);
            EXPECT_EQ(out, "head" + want) << at;
            ReplaceTagChars(text.data(), text.data() + text.size(), '[', ']');
            want[at] = tagChar == kTagOpen ? '[' : ']';
            EXPECT_EQ(text, want) << at;
        }
}

// Replacement, tag stripping, quoted-printable and HTML escaping with links.
#include <random>

#include "helpers/internal.h"
#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"
#include "tests/helpers/support.h"

using namespace helpers;

namespace {

class HtmlTest : public kwtest::KwTest {};

TEST_F(HtmlTest, ReplacementTable) {
    struct Case {
        std::string text, search, repl;
        bool exact, first;
        std::string want;
        int count;
    } const cases[] = {
        {"a    b", "  ", " ", true, false, "a b", 1},  // passes repeat until no run is left
        {"x\r\n\r\n\r\n\r\ny", "\r\n\r\n", "\r\n", true, false, "x\r\ny", 1},
        {"ABC abc", "b", "x", false, false, "AxC axc", 2},
        {"ABC abc", "b", "x", true, false, "ABC axc", 1},
        {"xaxa", "a", "b", true, true, "xbxa", 1},
        {"aaa", "a", "aa", true, false, "aaaaaa", 3},  // one pass: the replacement holds the search
        {"abcabc", "bc", "", true, false, "aa", 2},
        {"abc", "", "x", true, false, "abc", 0},
        {"", "a", "x", true, false, "", 0},
        {"M\xC3\x9CLLER und m\xC3\xBCller", "m\xC3\xBCller", "X", false, false, "X und X", 2},
        {"Hello HELLO", "hello", "bye", false, true, "bye HELLO", 1},
        {"Bx bX bY", "by", "#", false, false, "Bx bX #", 1},  // candidates in either case that fail first
        {"xBR <Br> <bR>", "<br>", "|", false, false, "xBR | |", 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(replacestr(c.text, c.search, c.repl, c.exact, c.first), c.want) << c.text;
        EXPECT_EQ(replcount, c.count) << c.text;
    }
}

// A body given for a template takes the placeholder's place; a template
// without one, or none at all, does not lose it.
TEST_F(HtmlTest, HtmlplaceNeverDropsWhatItPlaces) {
    struct Case {
        const char* page;
        const char* want;
    };
    const Case cases[] = {
        {"<HTML><BODY><enter message here> and more</BODY></HTML>", "<HTML><BODY>hi and more</BODY></HTML>"},
        {"<html><body><p>sig</p></body></html>", "<html><body><p>sig</p>hi</body></html>"},
        {"", "hi"},
        {"plain", "plainhi"},
    };
    for (const auto& c : cases) EXPECT_EQ(htmlplace(c.page, "<Enter Message Here>", "hi"), c.want) << c.page;
}

TEST_F(HtmlTest, RepcountNumbersTheCopies) {
    EXPECT_EQ(repcount("<@@COUNT@@>", 3), "<1><2><3>");
    EXPECT_EQ(repcount("x", 0), "");
}

TEST_F(HtmlTest, StriptagsTable) {
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"a<b>c", "<>", "ac"},
        {"a<b", "<>", "a<b"},
        {"line<br>next", "<>", "line next"},
        {"x&NBSP;y<i>", "<>", "x y"},
        {"<p>\n<p>text", "<>", "\ntext"},  // a line feed between tags is kept, and so is what follows
        {"a[b]c[d]", "[]", "ac"},
        {"abc", "", "abc"},
        {"a|b|c", "|", "ac"},
    };
    for (const auto& [text, delims, want] : cases) EXPECT_EQ(striptags(text, delims), want) << text;
}

TEST_F(HtmlTest, QpdecodeTable) {
    const std::pair<std::string, std::string> cases[] = {
        {"a=\r\nb", "ab"},
        {"=41=3D", "A="},
        {"=3D41", "=41"},
        {"caf=E9 caf=e9", "caf\xE9 caf\xE9"},
        {"=01=08=09", "=01=08\t"},
        {"x=\r\n..y", "x.y"},
        {"a=zz=", "a=zz="},
        {"=4=31", "A"},  // codes are decoded in rising order, so =31 makes =41
        {"=C3=A9t=C3=A9", "\xC3\xA9t\xC3\xA9"},
        // Decoded hex digits that form new escapes with their neighbours.
        {"==41B", "\xAB"},     // =41 makes =AB, whose turn comes later
        {"=0=41", "=0A"},      // =0A's turn (10) has passed when =41 (65) makes it
        {"=3=30", "0"},        // =30 makes =30 again in its own turn
        {"=3=44", "="},        // D makes =3D, which goes last
        {"=3D3D", "="},
        {"=\r\n=\r\n...", "."},  // a removal brings "=\r\n.." together
        {"=\r=\r\n\n", ""},
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(qpdecode(text), want) << text;
}

// Quoted-printable decoding and HTML escaping are defined as replacements
// repeated until none is left, one code or character after another; the
// helpers do it in one walk. Texts drawn from the characters where the
// passes interact must come out the same as by the definition.
std::string qpByPasses(const std::string& text) {
    std::string t = replaceall(text, "=\r\n..", ".", true);
    t = replaceall(t, "=\r\n", "", true);
    for (int c = 9; c <= 255; ++c)
        if (c != '=') t = replaceall(t, "=" + rtl::IntToHex(static_cast<uint64_t>(c), 2), std::string(1, static_cast<char>(c)), false);
    return replaceall(t, "=3D", "=", false);
}

std::string escapeByPasses(const std::string& text) {
    std::string t = replaceall(text, "&", "&amp;", true);
    t = replaceall(t, "  ", "&nbsp; ", true);
    t = replaceall(t, "\r", "", true);
    t = replaceall(t, "<", "&lt;", true);
    t = replaceall(t, ">", "&gt;", true);
    t = replaceall(t, "%", "&#37;", true);
    return replaceall(t, "\n", "<BR>\r\n", true);
}

std::string visible(const std::string& t) {
    std::string r;
    for (char c : t) r += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    return r;
}

std::string drawText(std::mt19937& rng, std::string_view alphabet, size_t maxLength) {
    std::string t(std::uniform_int_distribution<size_t>(0, maxLength)(rng), ' ');
    for (char& c : t) c = alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(rng)];
    return t;
}

TEST_F(HtmlTest, OneWalkMatchesRepeatedPasses) {
    std::mt19937 rng(20240611);
    for (int i = 0; i < 20000; ++i) {
        const std::string qp = drawText(rng, "====0134ADadfE9\r\n.x", 14);
        ASSERT_EQ(qpdecode(qp), qpByPasses(qp)) << visible(qp);
        const std::string text = drawText(rng, "    &<>%\r\nab\x1e", 14);
        ASSERT_EQ(htmlescape(text), escapeByPasses(text)) << visible(text);
    }
}

// The link patterns run only on windows around their marks; the links must
// be those the patterns find running over the whole text.
std::string linksOverWholeText(std::string text) {
    const std::string chars = R"(\w,@!\[\]\(\)*?^=%$'&;:/~+#-)";
    const std::string web = R"(kwre:(?-U)(http|ftp|https|file|news):/{2,5}[\w-]+([\.)" + chars + "]*[" + chars + "])?";
    const std::string mail = R"(kwre:(?-U)\b[\w.'%+-]+@([\w-]+\.)+[A-Za-z]{2,14}\b)";
    const std::string www = R"(kwre:(?-U)\bwww.[\w-]+([\.)" + chars + "]*[" + chars + "])?";
    int n = 0;
    auto pass = [&](const std::string& pattern) {
        const auto re = detail::filterregex(pattern, false);
        const auto kind = detail::textkind(text);
        std::string out;
        size_t at = 0, s, e;
        while (at < text.size() && detail::rexecfrom(*re, text, kind, at, s, e) && e > s) {
            out.append(text, at, s - at).append("$kw$jqxz$" + zeropad(++n, 9) + "$");
            at = e;
        }
        if (at) text = out.append(text, at, std::string::npos);
    };
    auto hasHref = [&] { return rtl::LowerCase(text).find("href=") != std::string::npos; };
    if (!hasHref()) pass(web);
    if (!hasHref()) pass(mail);
    pass(www);
    return text;
}

TEST_F(HtmlTest, LinksFoundInWindowsAreThoseOfTheWholeText) {
    std::mt19937 rng(7);
    const char* const pieces[] = {"http", "HTTPS", "ftp", "file", "news", ":", "/", "//", "://", "www", "WwW", ".",
                                  "@", "a", "b.c", "x_y", "-", " ", "\n", "\t", "\xC5\xBF", "\xC3\xA9", "\xE9",
                                  "%", "&", "'", "+", "?", "=", "#", "com", "(", ")", "href=", "1", "\x7f", "\x01"};
    for (int i = 0; i < 100000; ++i) {
        std::string t;
        for (int k = static_cast<int>(rng() % 30); k > 0; --k) t += pieces[rng() % std::size(pieces)];
        ASSERT_EQ(autolink(t, true), linksOverWholeText(t)) << visible(t);
    }
}

TEST_F(HtmlTest, HtmlescapeEscapesTextAndLinksAddresses) {
    const std::pair<std::string, std::string> cases[] = {
        {"a<b & c", "a&lt;b &amp; c"},
        {"50% > 4", "50&#37; &gt; 4"},
        {"l1\r\nl2", "l1<BR>\r\nl2"},
        {"a  b", "a&nbsp; b"},
        {"a   b", "a&nbsp;&nbsp; b"},
        {"a      b", "a&nbsp; &nbsp; &nbsp; b"},
        {std::string("\x1e\x1f"), std::string("\x1e\x1f")},
        {"see http://x.com/a?b=1&c=2%20 now",
         "see <A TARGET=\"_blank\" HREF=\"http://x.com/a?b=1&c=2%20\">http://x.com/a?b=1&c=2%20</A> now"},
        {"mail joe.b@example.com.", "mail <A HREF=\"mailto:joe.b@example.com\">joe.b@example.com</A>."},
        {"visit www.example.org today",
         "visit <A TARGET=\"_blank\" HREF=\"http://www.example.org\">www.example.org</A> today"},
        {"xwww.a.org www.a.org",  // a look-alike inside a word stays text
         "xwww.a.org <A TARGET=\"_blank\" HREF=\"http://www.a.org\">www.a.org</A>"},
        {"<a HREF=x> joe@example.com www.a.org",
         "&lt;a HREF=x&gt; joe@example.com <A TARGET=\"_blank\" HREF=\"http://www.a.org\">www.a.org</A>"},
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(htmlescape(text), want) << text;
}

TEST_F(HtmlTest, HtmlescapeLeavesTheSharedListsAlone) {
    worklist1.Clear();
    worklist1.Add("the caller's");
    htmlescape("http://a.org and b@c.org");
    ASSERT_EQ(worklist1.Count(), 1);
    EXPECT_EQ(worklist1[0], "the caller's");
}

TEST_F(HtmlTest, AutolinkProtectsAndRestores) {
    const std::string t = autolink("go www.x.org or http://y.net/p", true);
    EXPECT_EQ(t, "go $kw$jqxz$000000002$ or $kw$jqxz$000000001$");
    EXPECT_EQ(autolink(t, false), "go <A TARGET=\"_blank\" HREF=\"http://www.x.org\">www.x.org</A> or "
                                  "<A TARGET=\"_blank\" HREF=\"http://y.net/p\">http://y.net/p</A>");
}

}  // namespace

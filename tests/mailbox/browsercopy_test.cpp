// The browser's copy of a page: what ordinary mail keeps, and what hostile
// markup and style text come out as. The copy's markup follows the policy
// and character-set lines; only that markup is compared here.
#include <gtest/gtest.h>

#include <string>

#include "mailbox/browsercopy.h"
#include "mailbox/msgrender.h"

using mailbox::BrowserCopy;
using mailbox::LocalUrl;
using mailbox::SafeBrowserPage;
using mailbox::SafeCss;

namespace {

// The copy without its fixed head.
std::string body(std::string_view page) {
    const std::string copy = SafeBrowserPage(page);
    const std::string head = SafeBrowserPage("");
    EXPECT_TRUE(copy.starts_with(head)) << copy;
    return copy.substr(head.size());
}

struct Case {
    const char* in;
    const char* want;
};

}  // namespace

TEST(BrowserCopy, HeadForbidsEverythingRemote) {
    const std::string head = SafeBrowserPage("<p>x");
    EXPECT_TRUE(head.starts_with("<meta charset=\"utf-8\">")) << head;
    const size_t csp = head.find("Content-Security-Policy\" content=\"");
    ASSERT_NE(csp, std::string::npos) << head;
    const std::string policy = head.substr(csp, head.find('>', csp) - csp);
    for (const char* part : {"default-src 'none'", "script-src 'none'", "img-src file: data:",
                             "style-src 'unsafe-inline' file:", "form-action 'none'", "base-uri 'none'"})
        EXPECT_NE(policy.find(part), std::string::npos) << part;
    EXPECT_EQ(policy.find("http"), std::string::npos) << policy;
    // BrowserCopy is the same copy.
    EXPECT_EQ(BrowserCopy("<p>x"), head);
}

TEST(BrowserCopy, OrdinaryMailKeepsItsLook) {
    const Case cases[] = {
        // What the renderer writes: the character set goes (the copy names
        // its own), the headers and links stay.
        {"<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html;charset=utf-8\">\r\n"
         "<FONT STYLE=\"color:maroon;\">From:</FONT> a@b<BR>",
         "\r\n<font style=\"color:maroon;\">From:</font> a@b<br>"},
        {"<BR> ATTACHMENT <A TARGET=\"_blank\" HREF=\"file:///home/u/rcvd/x/report_1.pdf\">report_1.pdf</A><BR>"
         "<BR><IMG SRC=\"file:///home/u/rcvd/x/pic_1.png\"><BR>",
         "<br> ATTACHMENT <a target=\"_blank\" href=\"file:///home/u/rcvd/x/report_1.pdf\" "
         "rel=\"noopener noreferrer\">report_1.pdf</a><br><br><img src=\"file:///home/u/rcvd/x/pic_1.png\"><br>"},
        {"<table border=1 cellpadding=3 width=\"100%\"><tr><td bgcolor=#ffeecc colspan=2 valign=top>"
         "<font face=\"Arial\" size=2>Hi &amp; bye &copy; &hellip; caf\xC3\xA9</font></td></tr></table>",
         "<table border=\"1\" cellpadding=\"3\" width=\"100%\"><tr><td bgcolor=\"#ffeecc\" colspan=\"2\" "
         "valign=\"top\"><font face=\"Arial\" size=\"2\">Hi &amp; bye &copy; &hellip; caf\xC3\xA9</font></td></tr>"
         "</table>"},
        {"<style>p.x { color: #333; font: 10pt \"Segoe UI\", sans-serif; background: url(logo_1.png) }</style>"
         "<p class=x style='margin:0 0 8px; border-left:2px solid rgb(0, 0, 200)'>q</p>",
         "<style>p.x { color: #333; font: 10pt \"Segoe UI\", sans-serif; background: url(logo_1.png) }</style>"
         "<p class=\"x\" style=\"margin:0 0 8px; border-left:2px solid rgb(0, 0, 200)\">q</p>"},
        {"<a href=\"https://example.org/?a=1&amp;b=2\">site</a> <a href=\"mailto:x@y\">me</a> <a href=#top>up</a>",
         "<a href=\"https://example.org/?a=1&amp;b=2\" rel=\"noopener noreferrer\">site</a> <a href=\"mailto:x@y\" "
         "rel=\"noopener noreferrer\">me</a> <a href=\"#top\" rel=\"noopener noreferrer\">up</a>"},
        // The page's own blocks are shown; other hidden things stay hidden.
        {"<SPAN ID=\"kwemallhdrs\" STYLE=\"display:none;font:8pt tahoma;\">h</SPAN>"
         "<div style=\"display:none;\">d</div><details><summary>All Headers</summary>h</details>",
         "<span id=\"kwemallhdrs\" style=\"font:8pt tahoma;\">h</span><div style=\"display:none;\">d</div>"
         "<details><summary>All Headers</summary>h</details>"},
        {"1 < 2 and 3 > 2 & so on", "1 &lt; 2 and 3 &gt; 2 & so on"},
        {"<title>T &amp; t</title><p>x", "<title>T &amp; t</title><p>x"},
        {"<ul><li>one<li value=3>two</ul><blockquote style=\"border-left:2px solid #ccc\">q</blockquote>",
         "<ul><li>one<li value=\"3\">two</ul><blockquote style=\"border-left:2px solid #ccc\">q</blockquote>"},
    };
    for (const auto& c : cases) EXPECT_EQ(body(c.in), c.want) << c.in;
    EXPECT_TRUE(SafeBrowserPage("<!DOCTYPE html><p>").starts_with("<!DOCTYPE html><meta charset"));
}

TEST(BrowserCopy, HostileMarkupRunsAndFetchesNothing) {
    using namespace std::string_literals;
    const Case cases[] = {
        // SVG's and MathML's style elements hold markup; the copy has no
        // foreign content, and what breaks out of it is read as HTML.
        {"<svg><style><img src=x onerror=alert(1)></style></svg>t", "<img src=\"x\">t"},
        {"<svg></p><style><a title=\"</style><img src=x onerror=alert(1)>\">",
         "</p><style>\\3c a title=\"</style><img src=\"x\">\"&gt;"},
        {"<math><mtext><table><mglyph><style><img src=x onerror=alert(1)>",
         "<table><style>\\3c img src=x onerror=x-alert(1)></style>"},
        {"<svg><script>alert(1)</script><foreignObject><p>t", "<p>t"},
        {"<svg/>after", "after"},
        // Raw text as a browser with scripts on reads it.
        {"<noscript><p title=\"</noscript><img src=x onerror=alert(1)>\">", "<img src=\"x\">\"&gt;"},
        {"<template><img src=x onerror=alert(1)></template>t", "t"},
        {"<xmp><img src=x onerror=alert(1)></xmp>", "<pre>&lt;img src=x onerror=alert(1)&gt;</pre>"},
        {"<textarea></textarea><img src=x onerror=alert(1)>", "<pre></pre><img src=\"x\">"},
        {"<script/x>a</script>b<SCRIPT>x<!--<script>y</script>z-->w</script>c", "bc"},
        {"<script>never closed <p>hidden", ""},
        // Comments end where a browser ends them.
        {"<!--><img src=x onerror=alert(1)>-->", "<img src=\"x\">--&gt;"},
        {"<!---><b>b</b>", "<b>b</b>"},
        {"<!-- a --!><i>i</i>", "<i>i</i>"},
        {"<? x ><u>u</u></ y>", "<u>u</u>"},
        // Markup inside attribute values stays a value.
        {"<p title=\"</p><img src=x onerror=alert(1)>\">t</p>",
         "<p title=\"&lt;/p&gt;&lt;img src=x onerror=alert(1)&gt;\">t</p>"},
        {"<img src=\"x\"onerror=\"alert(1)\"><img src=x/onerror=alert(1)>",
         "<img src=\"x\"><img src=\"x/onerror=alert(1)\">"},
        {"<img alt=`x` title=a\"b'c<d>", "<img alt=\"`x`\" title=\"a&quot;b'c&lt;d\">"},
        // Schemes hidden by references, blanks, case and controls.
        {"<a href=\"jav&#x09;ascript&colon;alert(1)\">1</a><a href=\" JaVaScRiPt:x\">2</a>"
         "<a href=\"&#106;avascript:x\">3</a><a href=\"java&Tab;script:x\">4</a><a href=\"vbscript:x\">5</a>"
         "<a href=\"data:text/html,<script>x</script>\">6</a>",
         "<a>1</a><a>2</a><a>3</a><a>4</a><a>5</a><a>6</a>"},
        // Nothing fetched from elsewhere.
        {"<img src=\"https://t.example/p.gif\"><img src=\"//t.example/p\"><img src=\"/\\t.example/p\">"
         "<img src=\"file://t.example/share/p\"><img srcset=\"http://t/a 1x\" src=\"a.png\">",
         "<img><img><img><img><img src=\"a.png\">"},
        {"<img src=\"data:image/png;base64,AAAA\"><img src=\"data:image/svg+xml,<svg onload=alert(1)>\">",
         "<img src=\"data:image/png;base64,AAAA\"><img>"},
        {"<table background=\"http://t/bg.png\"><tr><td background=bg_1.png>x", "<table><tr><td background=\"bg_1.png\">x"},
        {"<base href=\"http://t/\"><link rel=stylesheet href=\"http://t/s.css\"><meta http-equiv=refresh "
         "content=\"0;url=http://t/\"><meta http-equiv=\"Content-Security-Policy\" content=\"script-src *\">x",
         "x"},
        {"<iframe srcdoc=\"<img src=x onerror=alert(1)>\"></iframe><object data=\"http://t/o\"><p>f</p></object>"
         "<embed src=\"http://t/e\"><video poster=\"http://t/v.png\"></video>x",
         "x"},
        {"<form action=\"http://t/f\"><input name=a value=b><button formaction=\"http://t/g\">go</button></form>",
         "go"},
        {"<body onload=alert(1) background=\"http://t/b.png\" bgcolor=white>", "<body bgcolor=\"white\">"},
    };
    for (const auto& c : cases) EXPECT_EQ(body(c.in), c.want) << c.in;
    // NUL bytes are replaced or dropped, never used to split a name.
    EXPECT_EQ(body("<scr\0ipt>x</scr\0ipt>a\0b<img src=x o\0nerror=alert(1)><svg\0><script>y</script>t"s),
              "xab<img src=\"x\">t");
}

TEST(BrowserCopy, StyleTextFetchesAndRunsNothing) {
    const Case cases[] = {
        {"background:url(http://t/a.png) no-repeat", "background:none no-repeat"},
        {"background:\\75rl(http://t/a.png)", "background:none"},
        {"background:u\\rl(http://t/a.png)", "background:none"},
        {"background:\\000075 \\72 l( 'http://t/a' )", "background:none"},
        {"background:url(\"h\\74tp://t/a\")", "background:none"},
        {"background:url(http\\:\\/\\/t/a)", "background:none"},
        {"background:u/**/rl(http://t/a)", "background:none"},
        {"background:url( //t/a )", "background:none"},
        {"background:url(pic_1.png);color:red", "background:url(pic_1.png);color:red"},
        {"background:url('file:///home/u/p.png')", "background:url('file:///home/u/p.png')"},
        {"background-image:image-set('http://t/a.png' 1x)", "background-image:x-image-set('http://t/a.png' 1x)"},
        {"background:-webkit-image-set(url(http://t/a) 1x)", "background:x--webkit-image-set(none 1x)"},
        {"width:expression(alert(1))", "width:x-expression(x-alert(1))"},
        {"behavior:url(x.htc);-moz-binding:url(y.xml#z)", "x-behavior:url(x.htc);x--moz-binding:url(y.xml#z)"},
        {"@import 'http://t/a.css'; @import url(http://t/b.css) screen;p{color:red}", " p{color:red}"},
        {"@\\69mport 'http://t/a.css';p{}", "p{}"},
        {"@font-face{font-family:x;src:url(http://t/f.woff)}", "@font-face{font-family:x;src:none}"},
        {"content:\"url(http://t/)\"", "content:\"none)\""},
        {"color:rgb(1,2,3);width:calc(100% - 4px)", "color:rgb(1,2,3);width:calc(100% - 4px)"},
    };
    for (const auto& c : cases) EXPECT_EQ(SafeCss(c.in), c.want) << c.in;
    // A style element ends where a browser ends it, and what the copy
    // writes inside one holds no "<" that could end it elsewhere.
    EXPECT_EQ(body("<style>a{content:\"</style><img src=x onerror=alert(1)>\"}</style>"),
              "<style>a{content:\"</style><img src=\"x\">\"}");
    EXPECT_EQ(body("<style>a{content:\"<b>\"}</style"), "<style>a{content:\"\\3c b>\"}\\3c /style</style>");
}

TEST(BrowserCopy, LocalUrls) {
    const struct {
        const char* url;
        bool local;
    } cases[] = {
        {"pic_1.png", true},          {"./a/b.png", true},           {"file:///home/u/a.png", true},
        {"FILE://localhost/a", true}, {"a/b:c", true},               {"#x", true},
        {"http://t/", false},         {"//t/a", false},              {" \t//t/a", false},
        {"/\\t/a", false},            {"file://t/a", false},         {"ftp://t/a", false},
        {"javascript:x", false},      {"data:text/html,x", false},   {"data:image/svg+xml,x", false},
        {"data:image/gif;base64,R0", true},
    };
    for (const auto& c : cases) EXPECT_EQ(LocalUrl(c.url, true), c.local) << c.url;
    EXPECT_FALSE(LocalUrl("data:image/gif;base64,R0", false));
}

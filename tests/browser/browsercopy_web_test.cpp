// The browser's copy of hostile pages, opened in a real browser engine with
// scripts on and remote loads from local pages allowed (as a desktop browser
// has them), beside a local HTTP server that counts what is asked of it.
// Each page is first opened as it is, to show that the vector works in the
// engine (where it does), and then as its copy: no script may run, the
// server may see no request, and the copy's document may hold nothing
// outside what is kept.
#include <gtest/gtest.h>

#include <QColor>
#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <fstream>
#include <string>

#include "mailbox/msgrender.h"

namespace {

// Python's HTTP server on a free loopback port; every request it logs is
// kept.
class Server {
public:
    explicit Server(const QString& root) {
        proc_.setProgram("python3");
        proc_.setArguments({"-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory", root});
        proc_.start();
        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(&proc_, &QProcess::readyReadStandardOutput, &loop, [&] {
            out_ += proc_.readAllStandardOutput();
            const int at = out_.indexOf(" port ");
            if (at >= 0 && out_.indexOf(' ', at + 6) > 0) loop.quit();
        });
        deadline.start(15000);
        loop.exec();
        const int at = out_.indexOf(" port ");
        if (at >= 0) port_ = out_.mid(at + 6, out_.indexOf(' ', at + 6) - at - 6).toInt();
    }
    ~Server() {
        proc_.kill();
        proc_.waitForFinished(5000);
    }
    int port() const { return port_; }
    // The request lines logged so far.
    std::string requests() {
        log_ += proc_.readAllStandardError();
        std::string r;
        for (const QByteArray& line : log_.split('\n'))
            if (line.contains("\"GET ") || line.contains("\"POST ")) r += line.toStdString() + "\n";
        return r;
    }

private:
    QProcess proc_;
    QByteArray out_, log_;
    int port_ = 0;
};

// Runs the loop for a while: what a page does after its load (an error
// handler, a refresh, a click) gets its turn.
void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

class Browser {
public:
    Browser() {
        QWebEngineSettings* s = view_.page()->settings();
        s->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
        s->setAttribute(QWebEngineSettings::AutoLoadImages, true);
        view_.resize(800, 600);
        view_.show();
    }
    // Opens the file, waits for its load, clicks the element "click" when
    // there is one, and lets the page run on for a moment.
    void open(const std::string& path) {
        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        auto c = QObject::connect(view_.page(), &QWebEnginePage::loadFinished, &loop, &QEventLoop::quit);
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        deadline.start(20000);
        view_.load(QUrl::fromLocalFile(QString::fromStdString(path)));
        loop.exec();
        QObject::disconnect(c);
        settle(300);
        run("var e = document.getElementById('click'); if (e) e.click(); ''");
        settle(400);
    }
    std::string title() const { return view_.page()->title().toStdString(); }
    std::string url() const { return view_.page()->url().toString().toStdString(); }
    std::string run(const QString& script) {
        QEventLoop loop;
        std::string result;
        view_.page()->runJavaScript(script, [&](const QVariant& v) {
            result = v.toString().toStdString();
            loop.quit();
        });
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        return result;
    }

private:
    QWebEngineView view_;
};

// What the copy's document holds that is not allowed: elements outside
// HTML, elements that run, fetch or send, handler attributes, and
// addresses to load that are not local.
const char kDomCheck[] = R"JS(
(function () {
  var bad = [];
  var banned = ['script', 'iframe', 'frame', 'frameset', 'object', 'embed', 'applet', 'base', 'link', 'form',
                'input', 'button', 'textarea', 'select', 'svg', 'math', 'template', 'noscript', 'video', 'audio',
                'source', 'picture', 'portal', 'use', 'image', 'foreignobject'];
  var all = document.getElementsByTagName('*');
  for (var i = 0; i < all.length; i++) {
    var e = all[i], n = e.localName.toLowerCase();
    if (e.namespaceURI !== 'http://www.w3.org/1999/xhtml') bad.push('namespace ' + n);
    if (banned.indexOf(n) >= 0) bad.push('element ' + n);
    if (n === 'meta') {
      var he = (e.getAttribute('http-equiv') || '').toLowerCase();
      if (!e.hasAttribute('charset') && he !== 'content-security-policy' && he !== 'x-dns-prefetch-control')
        bad.push('meta ' + he);
    }
    for (var j = 0; j < e.attributes.length; j++) {
      var a = e.attributes[j], an = a.name.toLowerCase();
      if (an.indexOf('on') === 0) bad.push(n + ' ' + an);
      if (['srcset', 'srcdoc', 'action', 'formaction', 'poster', 'data', 'ping', 'xlink:href'].indexOf(an) >= 0)
        bad.push(n + ' ' + an);
    }
    if (n === 'img' && e.src && !/^(file:|data:image\/)/.test(e.src)) bad.push('img ' + e.src);
    if (n === 'a' && e.href && !/^(file:|https?:|mailto:)/.test(e.href)) bad.push('a ' + e.href);
  }
  return bad.join(' | ');
})()
)JS";

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string replaced(std::string s, const std::string& from, const std::string& to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

struct Vector {
    const char* name;
    const char* html;  // $J: a script expression; $U: the server's address, $H its host and port
    bool works;        // the engine runs or fetches it when the page is opened as it is
};

const Vector kVectors[] = {
    {"svg-style", "<svg><style><img src=x onerror=\"$J\"></style></svg>", true},
    {"svg-p-style", "<svg></p><style><a title=\"</style><img src=x onerror=$J>\">", true},
    {"math-style", "<math><style><img src=x onerror=\"$J\"></style></math>", true},
    {"math-mglyph", "<math><mtext><table><mglyph><style><img src=x onerror=\"$J\">", false},
    {"noscript", "<noscript><p title=\"</noscript><img src=x onerror=$J>\"></noscript>", true},
    {"template", "<template><style></template><img src=x onerror=\"$J\"></style></template>", false},
    {"comment", "<!--><img src=x onerror=\"$J\">-->", true},
    {"attr-markup", "<p title=\"</p><img src=x onerror=$J>\">t</p>", false},
    {"no-blank", "<img src=\"x\"onerror=\"$J\">", true},
    {"unquoted", "<img src=x onerror=$J//>", true},
    {"nul", "", true},  // the text with its NUL byte is made below
    {"script-case", "<ScRiPt>$J</sCrIpT><script/x>$J</script>", true},
    {"body-onload", "<body onload=\"$J\">b", true},
    {"js-entities", "<a id=click href=\"jav&#x09;ascript&colon;$J\">l</a>", true},
    {"js-case", "<a id=click href=\" JaVaScRiPt:$J\">l</a>", true},
    {"js-numeric", "<a id=click href=\"&#106;avascript:$J\">l</a>", true},
    {"data-object", "<object data=\"data:text/html,<script>top.document.title='ran'</script>\"></object>", false},
    {"data-svg-img", "<img src=\"data:image/svg+xml,<svg xmlns='http://www.w3.org/2000/svg' onload='$J'/>\">",
     false},
    {"srcset", "<img srcset=\"$U/srcset.png 1x\">", true},
    {"css-hex-escape", "<div style=\"background:\\75rl($U/hex.png);width:9px;height:9px\">x</div>", true},
    {"css-char-escape", "<div style=\"background:u\\rl($U/char.png);width:9px;height:9px\">x</div>", true},
    {"css-string-escape", "<div style=\"background:url('h\\74tp://$H/str.png');width:9px;height:9px\">x</div>",
     true},
    {"css-import", "<style>@import '$U/import.css';</style>", true},
    {"css-image-set", "<div style=\"background-image:image-set('$U/set.png' 1x);width:9px;height:9px\">x</div>",
     false},
    {"css-webkit-image-set",
     "<div style=\"background-image:-webkit-image-set('$U/wset.png' 1x);width:9px;height:9px\">x</div>", false},
    {"css-rule", "<style>#d{background:url($U/rule.png)}</style><div id=d style=\"width:9px;height:9px\"></div>",
     true},
    {"css-font", "<style>@font-face{font-family:f;src:url($U/f.woff)}p{font-family:f}</style><p>text</p>", true},
    {"css-expression", "<div style=\"width:expression($J)\">x</div>", false},
    {"base", "<base href=\"$U/\"><img src=\"base.png\">", true},
    {"refresh", "<meta http-equiv=\"refresh\" content=\"0;url=$U/refresh\">", true},
    {"form", "<form action=\"$U/form\"><button id=click>go</button></form>", true},
    {"iframe-srcdoc", "<iframe srcdoc=\"<img src=$U/srcdoc.png>\"></iframe>", true},
    {"link", "<link rel=stylesheet href=\"$U/link.css\">", true},
    {"img", "<img src=\"$U/img.png\"><table background=\"$U/bg.png\"><tr><td>x</td></tr></table>", true},
    {"video-poster", "<video poster=\"$U/poster.png\"></video>", true},
    {"csp-meta", "<meta http-equiv=\"Content-Security-Policy\" content=\"img-src *\"><img src=\"$U/csp.png\">",
     true},
};

}  // namespace

TEST(BrowserCopyWeb, HostilePagesRunNothingAndFetchNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDir(dir.path()).mkdir("www");
    Server server(dir.path() + "/www");
    ASSERT_GT(server.port(), 0);
    const std::string host = "127.0.0.1:" + std::to_string(server.port());
    Browser browser;
    for (const Vector& v : kVectors) {
        std::string html = v.html;
        if (std::string_view(v.name) == "nul") html = std::string("<svg\0><script>$J</script>", 25);
        html = replaced(replaced(replaced(html, "$J", "void(document.title='ran')"), "$U", "http://" + host),
                        "$H", host);
        const std::string page = dir.path().toStdString() + "/" + v.name + ".htm";
        writeFile(page, "<title>quiet</title>\r\n" + html);

        const std::string before = server.requests();
        browser.open(page);
        const bool ran = browser.title() == "ran" || server.requests() != before ||
                         browser.url().find(host) != std::string::npos;
        if (v.works) EXPECT_TRUE(ran) << v.name << ": the page as it is did nothing, so the case shows nothing";

        const std::string copy = mailbox::WriteBrowserCopy(page);
        ASSERT_FALSE(copy.empty()) << v.name;
        const std::string quiet = server.requests();
        browser.open(copy);
        EXPECT_EQ(browser.title(), "quiet") << v.name;
        EXPECT_EQ(server.requests(), quiet) << v.name;
        EXPECT_EQ(browser.url().find(host), std::string::npos) << v.name << " " << browser.url();
        EXPECT_EQ(browser.run(kDomCheck), "") << v.name;
    }
}

TEST(BrowserCopyWeb, LocalPicturesAndStylesStillShow) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString();
    QImage pic(6, 4, QImage::Format_RGB32);
    pic.fill(QColor(200, 10, 10));
    ASSERT_TRUE(pic.save(QString::fromStdString(folder + "/pic_1.png")));
    const std::string page = folder + "/sender1.htm";
    writeFile(page,
              "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html;charset=utf-8\">\r\n"
              "<title>t</title><style>.box{color:rgb(0, 128, 0)}</style>"
              "<p id=styled class=box style=\"font-size:20px\">caf\xC3\xA9</p>"
              "<img id=beside src=\"pic_1.png\"><BR><IMG id=url SRC=\"" +
                  mailbox::FileUrl(folder + "/pic_1.png") +
                  "\"><div id=bg style=\"background:url(pic_1.png);width:6px;height:4px\"></div>");
    const std::string copy = mailbox::WriteBrowserCopy(page);
    ASSERT_FALSE(copy.empty());
    Browser browser;
    browser.open(copy);
    EXPECT_EQ(browser.run("document.getElementById('beside').naturalWidth + 'x' + "
                          "document.getElementById('url').naturalHeight"),
              "6x4");
    const std::string styled = browser.run(
        "var s = getComputedStyle(document.getElementById('styled')); s.color + ' ' + s.fontSize + ' ' + "
        "document.getElementById('styled').textContent");
    EXPECT_EQ(styled, "rgb(0, 128, 0) 20px caf\xC3\xA9");
    EXPECT_NE(browser.run("getComputedStyle(document.getElementById('bg')).backgroundImage").find("pic_1.png"),
              std::string::npos);
}

// The browser control over the real engine: pages load and complete, a
// received page neither runs its scripts nor reaches the network, editing
// commands change the document, and the page prints.
#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrl>
#include <QWidget>
#include <QtTest/QTest>
#include <cstdio>
#include <fstream>

#include "platform/browser/webbrowser.h"
#include "platform/win/pump.h"

namespace {

using browser::TCommandParam;
using browser::TWebBrowser;

// An HTTP server on loopback that counts the requests it gets and answers
// each with an empty page.
class TCountingServer {
public:
    TCountingServer() {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                QObject::connect(s, &QTcpSocket::readyRead, [this, s] {
                    if (!s->readAll().contains("\r\n\r\n")) return;
                    ++requests;
                    s->write("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 0\r\n\r\n");
                    s->disconnectFromHost();
                });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(server_.serverPort()); }
    int requests = 0;

private:
    QTcpServer server_;
};

class WebBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        browser_.Widget()->resize(800, 600);
        browser_.Widget()->show();
        browser_.OnDocumentComplete = [this](const std::string& url) { completed_.push_back(url); };
        browser_.OpenExternal = [this](const std::string& url) {
            opened_.push_back(url);
            return true;
        };
    }
    std::string Write(const std::string& name, const std::string& html) {
        const std::string path = dir_.filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(path, std::ios::binary) << html;
        return path;
    }
    // Loads Html as a local page and waits for it to complete.
    void Load(const std::string& html) {
        const std::string path = Write("page.htm", html);
        const size_t before = completed_.size();
        browser_.Navigate(QUrl::fromLocalFile(QString::fromStdString(path)).toString().toStdString());
        ASSERT_TRUE(win::PumpUntil([&] { return completed_.size() > before; }, 30000));
        ASSERT_FALSE(browser_.Busy());
    }

    QTemporaryDir dir_;
    TWebBrowser browser_;
    std::vector<std::string> completed_, opened_;
};

TEST_F(WebBrowserTest, LoadCompletesWithTheDocument) {
    EXPECT_FALSE(browser_.HasDocument());
    Load("<html><body><p id=x>Hello there</p></body></html>");
    ASSERT_EQ(completed_.size(), 1u);
    EXPECT_NE(completed_[0].find("page.htm"), std::string::npos);
    EXPECT_TRUE(browser_.HasDocument());
    EXPECT_EQ(browser_.RunScript("document.getElementById('x').textContent"), "Hello there");
    EXPECT_THROW(browser_.Navigate("not a url"), browser::EBrowserError);
}

TEST_F(WebBrowserTest, LocalPageFetchesNothingRemote) {
    TCountingServer server;
    // The style sheet loads within the page, so it is asked for before the
    // page completes if it is asked for at all. The engine's own rule for
    // local pages and the request filter each stop these on their own.
    Load("<html><head><link rel=stylesheet href='" + server.Base() + "/a.css'></head><body>"
         "<img src='" + server.Base() + "/b.gif'><iframe src='" + server.Base() + "/c.htm'></iframe>"
         "<p>text</p></body></html>");
    EXPECT_EQ(server.requests, 0);
}

TEST_F(WebBrowserTest, ReceivedScriptsDoNotRun) {
    Load("<html><body><p id=x>before</p><script>document.getElementById('x').textContent='ran';</script>"
         "<img src=nothing.gif onerror=\"document.body.setAttribute('data-ran','1')\"></body></html>");
    EXPECT_EQ(browser_.RunScript("document.getElementById('x').textContent"), "before");
    EXPECT_EQ(browser_.RunScript("String(document.body.getAttribute('data-ran'))"), "null");
}

TEST_F(WebBrowserTest, LinksAndNewWindowsLeaveTheEngine) {
    Load("<html><body><a id=a href='http://example.invalid/x'>same</a>"
         "<a id=b target=_blank href='https://example.invalid/y'>new</a></body></html>");
    for (const char* id : {"a", "b"}) {
        // A real mouse click on the link, at the place the page put it.
        const std::string at = browser_.RunScript(std::string("var r=document.getElementById('") + id +
                                                  "').getBoundingClientRect();Math.round(r.left+3)+','+Math.round(r.top+3)");
        const size_t comma = at.find(',');
        ASSERT_NE(comma, std::string::npos) << at;
        QWidget* target = browser_.Widget()->focusProxy() ? browser_.Widget()->focusProxy() : browser_.Widget();
        QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(std::stoi(at.substr(0, comma)), std::stoi(at.substr(comma + 1))));
    }
    ASSERT_TRUE(win::PumpUntil([&] { return opened_.size() >= 2; }, 10000));
    EXPECT_EQ(opened_, (std::vector<std::string>{"http://example.invalid/x", "https://example.invalid/y"}));
    EXPECT_NE(browser_.LocationUrl().find("page.htm"), std::string::npos);
}

TEST_F(WebBrowserTest, BoldInEditModeOnTheSelection) {
    Load("<html><body><p id=p>hello world</p></body></html>");
    EXPECT_FALSE(browser_.EditMode());
    const std::string select =
        "var r=document.createRange(),t=document.getElementById('p').firstChild;"
        "r.setStart(t,0);r.setEnd(t,5);getSelection().removeAllRanges();getSelection().addRange(r);";
    // Outside edit mode the document refuses editing.
    browser_.RunScript(select);
    EXPECT_EQ(browser_.ExecCommand(52), browser::kCmdFailed);
    EXPECT_EQ(browser_.ExecCommand(2127), browser::kCmdOk);
    EXPECT_TRUE(browser_.EditMode());
    browser_.RunScript(select);
    EXPECT_EQ(browser_.SelectedText(), "hello");
    EXPECT_EQ(browser_.ExecCommand(52), browser::kCmdOk);
    EXPECT_EQ(browser_.RunScript("document.getElementById('p').innerHTML"), "<b>hello</b> world");
    EXPECT_NE(browser_.DocumentHtml().find("<b>hello</b> world"), std::string::npos);
    EXPECT_EQ(browser_.ExecCommand(2126), browser::kCmdOk);
    EXPECT_FALSE(browser_.EditMode());
}

TEST_F(WebBrowserTest, InsertedElementTakesTheSelectionAsTextUnderAnUnusedId) {
    Load("<html><body><p id=p>&lt;b&gt;x</p><span id=ctl5>taken</span></body></html>");
    browser_.ExecCommand(2127);
    browser_.RunScript("var r=document.createRange();r.selectNodeContents(document.getElementById('p'));"
                       "getSelection().removeAllRanges();getSelection().addRange(r);");
    TCommandParam p{TCommandParam::Text, false, "ctl5 title=\"a b\" onclick=alert(1) width=600"};
    EXPECT_EQ(browser_.ExecCommand(2357, p), browser::kCmdOk);
    // ctl5 was taken, so the new span is ctl1; the old ctl5 is untouched.
    EXPECT_EQ(browser_.RunScript("document.getElementById('ctl5').textContent"), "taken");
    EXPECT_EQ(browser_.RunScript("var e=document.getElementById('ctl1');"
                                 "e.tagName+'|'+e.textContent+'|'+e.title+'|'+e.getAttribute('width')+'|'+"
                                 "e.hasAttribute('onclick')+'|'+e.children.length"),
              "SPAN|<b>x|a b|600|false|0");
}

TEST_F(WebBrowserTest, CommandsTheEngineCannotDoSaySo) {
    Load("<html><body>x</body></html>");
    for (int id : {2264, 2310, 25, 2314}) {
        EXPECT_FALSE(TWebBrowser::Supported(id)) << id;
        EXPECT_EQ(browser_.ExecCommand(id), browser::kCmdNotSupported) << id;
    }
}

TEST_F(WebBrowserTest, PrintsThePageToPdf) {
    Load("<html><body><h1>Quarterly figures</h1><p>Zanzibar parcels arrived.</p></body></html>");
    const std::string pdf = dir_.filePath("out.pdf").toStdString();
    browser_.PrintToPdf(pdf);
    const std::string txt = dir_.filePath("out.txt").toStdString();
    ASSERT_EQ(std::system(("pdftotext '" + pdf + "' '" + txt + "'").c_str()), 0) << "pdftotext (poppler-utils) is needed";
    std::ifstream in(txt);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Quarterly figures"), std::string::npos) << text;
    EXPECT_NE(text.find("Zanzibar parcels arrived."), std::string::npos) << text;
}

}  // namespace

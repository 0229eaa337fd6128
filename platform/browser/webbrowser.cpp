#include "platform/browser/webbrowser.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QWebEngineDownloadRequest>
#include <QWebEngineFindTextResult>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QPageLayout>
#include <QPrinter>
#include <QWebEngineView>
#include <QtWebEngineCore/qtwebenginecoreglobal.h>
#include <QCoreApplication>
#include <QEvent>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>

#include "platform/win/pump.h"

namespace browser {

namespace {

// Scheme that never leaves the machine.
bool localScheme(const QString& s) {
    return s == "file" || s == "data" || s == "about" || s == "blob" || s == "qrc";
}

// A local page loads nothing from elsewhere: remote images, frames, styles
// and fonts in a received page would tell its sender the mail was read.
class TLocalOnly : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        if (localScheme(info.requestUrl().scheme())) return;
        if (info.firstPartyUrl().isLocalFile() || info.initiator().scheme() == "file") info.block(true);
    }
};

// What one command id does on the engine.
enum TCmdKind {
    ckExec,      // document.execCommand(Arg), with the parameter when Value
    ckAction,    // one of the page's own actions (the clipboard commands)
    ckDesign,    // design mode on ("on") or off ("off")
    ckNav,       // back, forward, stop, reload
    ckInsert,    // a new element: tag Arg, input type Type
    ckDir,       // direction of the document ("doc") or of the block ("block")
    ckUnselect,
    ckFind,
    ckHtml,      // inserts the markup Arg at the caret, over the selection
    ckScript,    // runs the script Arg, which answers true when it did its work
    ckZoom,      // the view's zoom: factor Arg, or the parameter in percent
    ckNew,       // an empty document
};

struct TCmd {
    int id;
    TCmdKind kind;
    const char* arg;
    const char* type;  // ckInsert: the input type; ckExec: "value" when the parameter goes along
};

// The block that holds the caret (the body when there is none).
#define PWX_CARET_BLOCK                                                               \
    "(function(){var n=window.getSelection().anchorNode;"                             \
    "while(n&&(n.nodeType!==1||getComputedStyle(n).display==='inline'))n=n.parentNode;" \
    "return n||document.body;})()"

// The command ids the editing buttons use, and what each does here; an id
// missing from the table is not supported by this engine (wallpaper, the
// script debugger, objects, overwrite mode, printing through the document).
constexpr TCmd kCommands[] = {
    {51, ckExec, "backColor", "value"},
    {52, ckExec, "bold", nullptr},
    {56, ckExec, "italic", nullptr},
    {63, ckExec, "underline", nullptr},
    {91, ckExec, "strikeThrough", nullptr},
    {2247, ckExec, "subscript", nullptr},
    {2248, ckExec, "superscript", nullptr},
    {18, ckExec, "fontName", "value"},
    {19, ckExec, "fontSize", "value"},
    {55, ckExec, "foreColor", "value"},
    {50, ckExec, "justifyFull", nullptr},
    {57, ckExec, "justifyCenter", nullptr},
    {59, ckExec, "justifyLeft", nullptr},
    {60, ckExec, "justifyRight", nullptr},
    {2186, ckExec, "indent", nullptr},
    {2187, ckExec, "outdent", nullptr},
    {2184, ckExec, "insertOrderedList", nullptr},
    {2185, ckExec, "insertUnorderedList", nullptr},
    {2150, ckExec, "insertHorizontalRule", nullptr},
    {2180, ckExec, "formatBlock", "p"},
    {2234, ckExec, "formatBlock", "value"},
    {2124, ckExec, "createLink", "value"},
    {2125, ckExec, "unlink", nullptr},
    {2230, ckExec, "removeFormat", nullptr},
    {17, ckExec, "forwardDelete", nullptr},
    {29, ckExec, "redo", nullptr},
    {43, ckExec, "undo", nullptr},
    {31, ckExec, "selectAll", nullptr},
    {15, ckAction, "copy", nullptr},
    {16, ckAction, "cut", nullptr},
    {26, ckAction, "paste", nullptr},
    {2126, ckDesign, "off", nullptr},
    {2127, ckDesign, "on", nullptr},
    {2316, ckDesign, "on", nullptr},
    {2282, ckNav, "back", nullptr},
    {2283, ckNav, "forward", nullptr},
    {2138, ckNav, "stop", nullptr},
    {2300, ckNav, "reload", nullptr},
    {2007, ckUnselect, nullptr, nullptr},
    {67, ckFind, nullptr, nullptr},
    {2350, ckDir, "doc", "ltr"},
    {2351, ckDir, "doc", "rtl"},
    {2352, ckDir, "block", "ltr"},
    {2353, ckDir, "block", "rtl"},
    {2167, ckInsert, "button", nullptr},
    {2163, ckInsert, "input", "checkbox"},
    {2164, ckInsert, "input", "radio"},
    {2161, ckInsert, "input", "text"},
    {2115, ckInsert, "input", "button"},
    {2312, ckInsert, "input", "hidden"},
    {2114, ckInsert, "input", "image"},
    {2313, ckInsert, "input", "password"},
    {2116, ckInsert, "input", "reset"},
    {2117, ckInsert, "input", "submit"},
    {2118, ckInsert, "input", "file"},
    {2165, ckInsert, "select", nullptr},
    {2166, ckInsert, "select", "multiple"},
    {2162, ckInsert, "textarea", nullptr},
    {2158, ckInsert, "iframe", nullptr},
    {2168, ckInsert, "img", nullptr},
    {2357, ckInsert, "span", nullptr},
    {2119, ckInsert, "fieldset", nullptr},
    {2182, ckInsert, "marquee", nullptr},
    {2123, ckInsert, "a", nullptr},
    {2311, ckExec, "insertParagraph", nullptr},
    {2151, ckHtml, "<br>", nullptr},
    {2152, ckHtml, "<br clear=\"left\">", nullptr},
    {2153, ckHtml, "<br clear=\"right\">", nullptr},
    {2154, ckHtml, "<br clear=\"all\">", nullptr},
    {2155, ckHtml, "&nbsp;", nullptr},
    // A word forward of the caret, or the selection.
    {92, ckScript,
     "(function(){var s=getSelection();if(!s.rangeCount)return false;"
     "if(s.isCollapsed)s.modify('extend','forward','word');return document.execCommand('delete');})()",
     nullptr},
    // The block's own alignment goes: it takes its container's again.
    {58, ckScript, "(function(e){e.style.textAlign='';e.removeAttribute('align');return true;})(" PWX_CARET_BLOCK ")",
     nullptr},
    {94, ckScript, "(function(e){e.style.textAlign='';e.removeAttribute('align');return true;})(" PWX_CARET_BLOCK ")",
     nullptr},
    // The named anchors round the caret give way to their contents.
    {2128, ckScript,
     "(function(){var s=getSelection();if(!s.rangeCount)return false;var n=s.anchorNode,any=false;"
     "for(;n;n=n.parentNode){if(n.nodeType===1&&n.tagName==='A'&&n.hasAttribute('name')){"
     "var p=n.parentNode,a=n;n=p;while(a.firstChild)p.insertBefore(a.firstChild,a);p.removeChild(a);any=true;}}"
     "return any;})()",
     nullptr},
    {2141, ckZoom, "0.8", nullptr},
    {2142, ckZoom, "0.9", nullptr},
    {2143, ckZoom, "1", nullptr},
    {2144, ckZoom, "1.2", nullptr},
    {2145, ckZoom, "1.4", nullptr},
    {kCmdZoomPercent, ckZoom, nullptr, nullptr},
    {2001, ckNew, nullptr, nullptr},
};

const TCmd* findCommand(int id) {
    for (const TCmd& c : kCommands)
        if (c.id == id) return &c;
    return nullptr;
}

QString jsString(const std::string& s) {
    // A JSON array of one string is a safe JavaScript literal once the
    // brackets are dropped.
    const QByteArray a = QJsonDocument(QJsonArray{QString::fromStdString(s)}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(a.mid(1, a.size() - 2));
}

// An element command's parameter: the new element's id, then name=value
// attributes (values with blanks in double quotes). Event handlers and
// script links are dropped: an inserted element never carries a script.
struct TElementSpec {
    std::string id;
    QJsonArray attrs;  // [name, value, name, value...]
};

std::vector<std::string> splitQuoted(const std::string& s) {
    std::vector<std::string> out;
    std::string cur;
    bool quoted = false, any = false;
    for (char c : s) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (any) out.push_back(cur);
            cur.clear();
            any = false;
        } else {
            cur += c;
            any = true;
        }
    }
    if (any) out.push_back(cur);
    return out;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

bool attrNameOk(const std::string& n) {
    if (n.empty() || !std::isalpha(static_cast<unsigned char>(n[0]))) return false;
    if (lower(n).rfind("on", 0) == 0) return false;
    return std::all_of(n.begin(), n.end(),
                       [](unsigned char c) { return std::isalnum(c) || c == '-' || c == '_' || c == ':'; });
}

TElementSpec parseElementSpec(const std::string& text) {
    TElementSpec spec;
    const std::vector<std::string> words = splitQuoted(text);
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        const size_t eq = w.find('=');
        if (eq == std::string::npos) {
            if (i == 0) spec.id = w;
            continue;
        }
        const std::string name = w.substr(0, eq), value = w.substr(eq + 1);
        if (!attrNameOk(name) || lower(name) == "id") continue;
        std::string v = lower(value);
        v.erase(std::remove_if(v.begin(), v.end(), [](unsigned char c) { return std::isspace(c); }), v.end());
        if (v.rfind("javascript:", 0) == 0 || v.rfind("vbscript:", 0) == 0) continue;
        spec.attrs.append(QString::fromStdString(name));
        spec.attrs.append(QString::fromStdString(value));
    }
    return spec;
}

QString jsonLiteral(const QJsonArray& a) {
    return QString::fromUtf8(QJsonDocument(a).toJson(QJsonDocument::Compact));
}

}  // namespace

namespace {
// Keeps a child covering its parent as the parent is resized.
class TFiller : public QObject {
public:
    TFiller(QWidget* child, QWidget* parent) : QObject(child), child_(child), parent_(parent) {}
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched == parent_ && e->type() == QEvent::Resize) child_->setGeometry(parent_->rect());
        return false;
    }

private:
    QWidget* child_;
    QWidget* parent_;
};
}  // namespace

struct TWebBrowser::TImpl {
    TWebBrowser* owner;
    QObject context;  // connections end with it
    QWebEngineProfile* profile = nullptr;
    QWebEnginePage* page = nullptr;
    QPointer<QWebEngineView> view;
    TLocalOnly* interceptor = nullptr;
    bool busy = false;
    bool loaded = false;

    QWebEnginePage* pg() const {
        if (!page) throw EBrowserError("The browser is closed");
        return page;
    }
    void openOutside(const QUrl& url) {
        if (owner->OpenExternal && url.isValid()) owner->OpenExternal(url.toString().toStdString());
    }
};

namespace {

class TPage : public QWebEnginePage {
public:
    TPage(QWebEngineProfile* profile, TWebBrowser::TImpl* d) : QWebEnginePage(profile), d_(d) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        if (isMainFrame && d_->owner->OnBeforeNavigate) {
            bool cancel = false;
            d_->owner->OnBeforeNavigate(url.toString().toStdString(), cancel);
            if (cancel) return false;
        }
        switch (type) {
            case NavigationTypeTyped:
            case NavigationTypeBackForward:
            case NavigationTypeReload: return true;
            case NavigationTypeLinkClicked: {
                // A jump within the page stays; any other link leaves the engine.
                if (url.adjusted(QUrl::RemoveFragment) == this->url().adjusted(QUrl::RemoveFragment)) return true;
                d_->openOutside(url);
                return false;
            }
            case NavigationTypeFormSubmitted: return false;
            default: return localScheme(url.scheme()) || !isMainFrame;
        }
    }

private:
    TWebBrowser::TImpl* d_;
};

}  // namespace

namespace {

// Controls whose engine parts still exist.
std::set<TWebBrowser*>& liveBrowsers() {
    static std::set<TWebBrowser*> live;
    return live;
}

// The windows that hold controls go while the application object is going,
// when the engine's own clean-up has already run and its views crash on
// deletion; so the controls' parts go first, from a routine that runs ahead
// of the engine's (routines run in reverse order of their adding).
void releaseAtEnd() {
    const std::set<TWebBrowser*> live = liveBrowsers();
    for (TWebBrowser* b : live) b->Release();
}

}  // namespace

void TWebBrowser::Release() {
    if (!d_->page) return;
    liveBrowsers().erase(this);
    QObject::disconnect(d_->page, nullptr, &d_->context, nullptr);
    delete d_->view.data();
    delete d_->page;  // before its profile
    d_->page = nullptr;
    delete d_->profile;
    d_->profile = nullptr;
}

TWebBrowser::TWebBrowser(QWidget* parent) : d_(std::make_unique<TImpl>()) {
    d_->owner = this;
    // A private profile in memory: nothing a received page sets is kept.
    d_->profile = new QWebEngineProfile(&d_->context);
    d_->interceptor = new TLocalOnly(&d_->context);
    d_->profile->setUrlRequestInterceptor(d_->interceptor);
    d_->page = new TPage(d_->profile, d_.get());
    QWebEngineSettings* s = d_->pg()->settings();
    // Received pages run no scripts; the program's own script world still does.
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::HyperlinkAuditingEnabled, false);
    s->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    s->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
    s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    d_->view = new QWebEngineView(parent);
    d_->view->setPage(d_->page);
    if (parent) {
        // The view fills the window part it is given, over whatever that
        // part lays out itself (a panel's caption line would otherwise take
        // half of it).
        auto* filler = new TFiller(d_->view, parent);
        parent->installEventFilter(filler);
        d_->view->setGeometry(parent->rect());
        d_->view->raise();
        d_->view->show();
    }

    liveBrowsers().insert(this);

    TImpl* d = d_.get();
    QObject::connect(d->page, &QWebEnginePage::loadStarted, &d->context, [d] { d->busy = true; });
    QObject::connect(d->page, &QWebEnginePage::loadFinished, &d->context, [d](bool) {
        d->busy = false;
        d->loaded = true;
        if (d->owner->OnDocumentComplete) d->owner->OnDocumentComplete(d->page->url().toString().toStdString());
    });
    QObject::connect(d->page, &QWebEnginePage::linkHovered, &d->context, [d](const QString& url) {
        if (d->owner->OnStatusTextChange) d->owner->OnStatusTextChange(url.toStdString());
    });
    QObject::connect(d->page, &QWebEnginePage::newWindowRequested, &d->context,
                     [d](QWebEngineNewWindowRequest& request) {
                         bool cancel = false;
                         const QUrl url = request.requestedUrl();
                         if (d->owner->OnNewWindow) d->owner->OnNewWindow(url.toString().toStdString(), cancel);
                         if (!cancel) d->openOutside(url);
                     });
    QObject::connect(d->profile, &QWebEngineProfile::downloadRequested, &d->context,
                     [d](QWebEngineDownloadRequest* download) {
                         download->cancel();
                         d->openOutside(download->url());
                     });
}

TWebBrowser::~TWebBrowser() { Release(); }

void TWebBrowser::AllowOwnScripts() {
    QWebEngineSettings* s = d_->pg()->settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, true);
}

bool TWebBrowser::Visible() const { return d_->view && !d_->view->isHidden(); }

void TWebBrowser::SetVisible(bool Show) {
    if (!d_->view) return;
    if (Show) {
        d_->view->show();
        d_->view->raise();
    } else {
        d_->view->hide();
        d_->view->lower();
    }
}

QWidget* TWebBrowser::Widget() const { return d_->view.data(); }

void TWebBrowser::Navigate(const std::string& Url) {
    QUrl url(QString::fromStdString(Url));
    if (!Url.empty() && Url[0] == '/') url = QUrl::fromLocalFile(QString::fromStdString(Url));
    if (!url.isValid() || url.scheme().isEmpty()) throw EBrowserError("The address is not valid: " + Url);
    d_->busy = true;
    d_->pg()->load(url);
    // The engine adds clean-up of its own as it starts loading; ours must
    // stay ahead of it.
    qRemovePostRoutine(releaseAtEnd);
    qAddPostRoutine(releaseAtEnd);
}

void TWebBrowser::Stop() {
    d_->pg()->triggerAction(QWebEnginePage::Stop);
    d_->busy = false;
}

bool TWebBrowser::Busy() const { return d_->busy; }

void TWebBrowser::SetFocus() {
    if (d_->view) d_->view->setFocus();
}

void TWebBrowser::GoBack() { d_->pg()->triggerAction(QWebEnginePage::Back); }
void TWebBrowser::GoForward() { d_->pg()->triggerAction(QWebEnginePage::Forward); }

std::string TWebBrowser::LocationUrl() const { return d_->pg()->url().toString().toStdString(); }

bool TWebBrowser::HasDocument() const { return d_->loaded; }

std::string TWebBrowser::RunScript(const std::string& Script) {
    struct TAnswer {
        bool done = false;
        QVariant value;
    };
    auto answer = std::make_shared<TAnswer>();
    d_->pg()->runJavaScript(QString::fromStdString(Script), QWebEngineScript::ApplicationWorld,
                            [answer](const QVariant& v) {
                                answer->value = v;
                                answer->done = true;
                            });
    if (!win::PumpUntil([&] { return answer->done; }, AnswerMs)) throw EBrowserError("The browser did not answer");
    const QVariant& v = answer->value;
    if (v.typeId() == QMetaType::Bool) return v.toBool() ? "true" : "false";
    return v.toString().toStdString();
}

bool TWebBrowser::Supported(int Id) { return findCommand(Id) != nullptr; }

bool TWebBrowser::InsertsElement(int Id) {
    const TCmd* c = findCommand(Id);
    return c && c->kind == ckInsert;
}

std::string TWebBrowser::EngineVersion() {
    return std::string("Qt WebEngine ") + qWebEngineVersion() + ", Chromium " + qWebEngineChromiumVersion();
}

bool TWebBrowser::ApplyStyle(const std::string& Css) {
    // The selection's markup goes into a span of its own, through the
    // editor so that undo takes it back.
    return RunScript("(function(css){var s=getSelection();if(!s.rangeCount||s.isCollapsed)return false;"
                     "var d=document.createElement('div');d.appendChild(s.getRangeAt(0).cloneContents());"
                     "var e=document.createElement('span');e.style.cssText=css;e.innerHTML=d.innerHTML;"
                     "return document.execCommand('insertHTML',false,e.outerHTML);})(" +
                     jsString(Css).toStdString() + ")") == "true";
}

int TWebBrowser::ReplaceAll(const std::string& Find, const std::string& With, bool MatchCase) {
    if (Find.empty()) return 0;
    // From the top, each find selects the next occurrence after the last
    // replacement, so a replacement holding the text is not found again.
    const std::string r = RunScript(
        "(function(f,w,c){var s=getSelection();s.removeAllRanges();var r=document.createRange();"
        "r.setStart(document.body,0);r.collapse(true);s.addRange(r);var n=0;"
        "while(n<100000&&window.find(f,c,false,false,false,false,false)){"
        "if(!document.execCommand('insertText',false,w))break;n++;}return String(n);})(" +
        jsString(Find).toStdString() + "," + jsString(With).toStdString() + "," + (MatchCase ? "true" : "false") + ")");
    return std::atoi(r.c_str());
}

int TWebBrowser::ExecCommand(int Id, const TCommandParam& Param) {
    const TCmd* c = findCommand(Id);
    if (!c) return kCmdNotSupported;
    const std::string value = Param.Kind == TCommandParam::Text ? Param.Value
                              : Param.Kind == TCommandParam::Bool ? (Param.Flag ? "true" : "false")
                                                                  : std::string();
    auto ok = [](const std::string& r) { return r == "true" ? kCmdOk : kCmdFailed; };
    switch (c->kind) {
        case ckExec: {
            const bool takesValue = c->type != nullptr;
            std::string arg = takesValue ? (std::string(c->type) == "value" ? value : std::string(c->type)) : "";
            if (takesValue && arg.empty()) return kCmdFailed;
            return ok(RunScript("document.execCommand(" + jsString(c->arg).toStdString() + ", false, " +
                                jsString(arg).toStdString() + ")"));
        }
        case ckAction: {
            const std::string a = c->arg;
            d_->pg()->triggerAction(a == "copy" ? QWebEnginePage::Copy
                                    : a == "cut" ? QWebEnginePage::Cut
                                                 : QWebEnginePage::Paste);
            return kCmdOk;
        }
        case ckDesign:
            RunScript(std::string("document.designMode = '") + c->arg + "'");
            return kCmdOk;
        case ckNav: {
            const std::string a = c->arg;
            if (a == "back") GoBack();
            else if (a == "forward") GoForward();
            else if (a == "stop") Stop();
            else d_->pg()->triggerAction(QWebEnginePage::Reload);
            return kCmdOk;
        }
        case ckUnselect: RunScript("window.getSelection().removeAllRanges()"); return kCmdOk;
        case ckFind: return !value.empty() && Find(value) ? kCmdOk : kCmdFailed;
        case ckDir: {
            const std::string target = std::string(c->arg) == "doc" ? "document.body" : PWX_CARET_BLOCK;
            return ok(RunScript("(function(e){if(!e)return false;e.dir='" + std::string(c->type) + "';return true;})(" +
                                target + ")"));
        }
        case ckHtml:
            return ok(RunScript("document.execCommand('insertHTML', false, " + jsString(c->arg).toStdString() + ")"));
        case ckScript: return ok(RunScript(c->arg));
        case ckZoom: {
            // Percent as the parameter gives it ("150", "150%"), within what the view can show.
            double factor = c->arg ? std::atof(c->arg) : std::atof(value.c_str()) / 100.0;
            if (!(factor >= 0.25 && factor <= 5.0)) return kCmdFailed;
            d_->pg()->setZoomFactor(factor);
            return kCmdOk;
        }
        case ckNew: {
            auto done = std::make_shared<bool>(false);
            const QMetaObject::Connection conn = QObject::connect(d_->pg(), &QWebEnginePage::loadFinished, &d_->context,
                                                                  [done](bool) { *done = true; });
            d_->busy = true;
            d_->pg()->setHtml("<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body></body></html>");
            const bool finished = win::PumpUntil([&] { return *done; }, AnswerMs);
            QObject::disconnect(conn);
            if (!finished) throw EBrowserError("The browser did not answer");
            return kCmdOk;
        }
        case ckInsert: {
            const TElementSpec spec = parseElementSpec(value);
            // The new element gets the asked id unless the page has it already,
            // then the first unused "ctl" number; the selection becomes its
            // text (never markup), and only the new element is touched.
            const std::string script =
                "(function(tag,type,want,attrs){"
                "var d=document,id=want;"
                "if(!id||d.getElementById(id)){var n=1;while(d.getElementById('ctl'+n))n++;id='ctl'+n;}"
                "var e=d.createElement(tag);"
                "if(type==='multiple'){e.multiple=true;}else if(type){e.setAttribute('type',type);}"
                "for(var i=0;i+1<attrs.length;i+=2){try{e.setAttribute(attrs[i],attrs[i+1]);}catch(x){}}"
                "e.id=id;if(tag==='a'&&!e.getAttribute('name'))e.setAttribute('name',id);"
                "var s=window.getSelection(),t=s.toString();"
                "if(t){if(tag==='input')e.setAttribute('value',t);else if(tag==='img')e.alt=t;"
                "else if(tag!=='select'&&tag!=='iframe')e.textContent=t;}"
                "if(s.rangeCount){var r=s.getRangeAt(0);r.deleteContents();r.insertNode(e);}"
                "else d.body.appendChild(e);"
                "return id;})(" +
                jsString(c->arg).toStdString() + "," + jsString(c->type ? c->type : "").toStdString() + "," +
                jsString(spec.id).toStdString() + "," + jsonLiteral(spec.attrs).toStdString() + ")";
            return RunScript(script).empty() ? kCmdFailed : kCmdOk;
        }
    }
    return kCmdNotSupported;
}

bool TWebBrowser::EditMode() { return RunScript("document.designMode") == "on"; }

std::string TWebBrowser::SelectedText() const { return d_->pg()->selectedText().toStdString(); }

std::string TWebBrowser::DocumentHtml() {
    auto answer = std::make_shared<std::pair<bool, QString>>(false, QString());
    d_->pg()->toHtml([answer](const QString& html) {
        answer->second = html;
        answer->first = true;
    });
    if (!win::PumpUntil([&] { return answer->first; }, AnswerMs)) throw EBrowserError("The browser did not answer");
    return answer->second.toStdString();
}

void TWebBrowser::PrintToPdf(const std::string& Path) { printPdf(Path, nullptr); }

void TWebBrowser::printPdf(const std::string& Path, const QPageLayout* Layout) {
    auto answer = std::make_shared<std::pair<bool, bool>>(false, false);
    const QMetaObject::Connection conn =
        QObject::connect(d_->pg(), &QWebEnginePage::pdfPrintingFinished, &d_->context,
                         [answer](const QString&, bool success) { *answer = {true, success}; });
    if (Layout) d_->pg()->printToPdf(QString::fromStdString(Path), *Layout);
    else d_->pg()->printToPdf(QString::fromStdString(Path));
    const bool done = win::PumpUntil([&] { return answer->first; }, AnswerMs);
    QObject::disconnect(conn);
    if (!done) throw EBrowserError("The browser did not answer");
    if (!answer->second) throw EBrowserError("The page could not be printed to " + Path);
}

void TWebBrowser::Print(QPrinter& Printer) {
    if (!d_->view) throw EBrowserError("The browser is gone");
    // Into a PDF file the engine writes the page itself, text kept as text;
    // on paper the view renders it for the printer. Both take the printer's
    // page layout.
    if (Printer.outputFormat() == QPrinter::PdfFormat) {
        const QPageLayout layout = Printer.pageLayout();
        printPdf(Printer.outputFileName().toStdString(), &layout);
        return;
    }
    auto answer = std::make_shared<std::pair<bool, bool>>(false, false);
    const QMetaObject::Connection conn = QObject::connect(d_->view.data(), &QWebEngineView::printFinished, &d_->context,
                                                          [answer](bool success) { *answer = {true, success}; });
    d_->view->print(&Printer);
    const bool done = win::PumpUntil([&] { return answer->first; }, AnswerMs);
    QObject::disconnect(conn);
    if (!done) throw EBrowserError("The browser did not answer");
    if (!answer->second) throw EBrowserError("The page could not be printed");
}

bool TWebBrowser::Find(const std::string& Text) {
    auto answer = std::make_shared<std::pair<bool, bool>>(false, false);
    d_->pg()->findText(QString::fromStdString(Text), {}, [answer](const QWebEngineFindTextResult& r) {
        *answer = {true, r.numberOfMatches() > 0};
    });
    if (!win::PumpUntil([&] { return answer->first; }, AnswerMs)) throw EBrowserError("The browser did not answer");
    return answer->second;
}

}  // namespace browser

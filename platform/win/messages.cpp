#include "platform/win/messages.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimerEvent>
#include <cstdio>
#include <map>
#include <unordered_map>

#include "platform/rtl/exceptions.h"

namespace win {

namespace {

const QEvent::Type kPostedType = static_cast<QEvent::Type>(QEvent::registerEventType());

struct PostedMessage : QEvent {
    PostedMessage(UINT m, WPARAM w, LPARAM l, std::weak_ptr<const void> g, bool guarded)
        : QEvent(kPostedType), msg(m), wparam(w), lparam(l), guard(std::move(g)), isGuarded(guarded) {}
    UINT msg;
    WPARAM wparam;
    LPARAM lparam;
    std::weak_ptr<const void> guard;
    bool isGuarded;
};

class MessageWindow : public QObject {
public:
    MessageWindow(HWND h, TWndMethod m) : handle(h), method(std::move(m)) {}

    LRESULT dispatch(UINT msg, WPARAM w, LPARAM l) {
        TMessage m{msg, w, l, 0};
        try {
            method(m);
        } catch (const std::exception& e) {
            ReportUnhandled(e);
        } catch (...) {
            ReportUnhandled(rtl::Exception("Unknown exception in a window procedure"));
        }
        return m.Result;
    }

    bool event(QEvent* e) override {
        if (e->type() == kPostedType) {
            auto* pm = static_cast<PostedMessage*>(e);
            --queued;
            if (!pm->isGuarded || !pm->guard.expired()) dispatch(pm->msg, pm->wparam, pm->lparam);
            return true;
        }
        return QObject::event(e);
    }

    void timerEvent(QTimerEvent* e) override {
        for (const auto& [id, qtId] : timers)
            if (qtId == e->timerId()) {
                dispatch(WM_TIMER, id, 0);
                return;
            }
    }

    HWND handle;
    TWndMethod method;
    std::map<uintptr_t, int> timers;  // our id -> Qt timer id
    int queued = 0;                   // posted messages not yet dispatched
};

std::unordered_map<HWND, MessageWindow*>& windows() {
    static std::unordered_map<HWND, MessageWindow*> w;
    return w;
}

MessageWindow* find(HWND h) {
    auto& w = windows();
    auto it = w.find(h);
    return it == w.end() ? nullptr : it->second;
}

HWND nextHandle = 0;
TUnhandledHook unhandledHook;

bool post(HWND wnd, UINT msg, WPARAM w, LPARAM l, std::weak_ptr<const void> guard, bool guarded) {
    MessageWindow* mw = find(wnd);
    if (!mw) return false;
    QCoreApplication::postEvent(mw, new PostedMessage(msg, w, l, std::move(guard), guarded));
    ++mw->queued;
    return true;
}

}  // namespace

HWND AllocateHWnd(TWndMethod method) {
    const HWND h = ++nextHandle;
    windows()[h] = new MessageWindow(h, std::move(method));
    return h;
}

void DeallocateHWnd(HWND wnd) {
    auto& w = windows();
    auto it = w.find(wnd);
    if (it == w.end()) return;
    MessageWindow* mw = it->second;
    w.erase(it);
    // The window may be running its own procedure right now: unlist it and
    // empty its queue at once, and let Qt free the object back in the loop.
    QCoreApplication::removePostedEvents(mw, kPostedType);
    for (const auto& t : mw->timers) mw->killTimer(t.second);
    mw->timers.clear();
    mw->deleteLater();
}

bool IsWindow(HWND wnd) { return find(wnd) != nullptr; }

bool PostMessage(HWND wnd, UINT msg, WPARAM w, LPARAM l) { return post(wnd, msg, w, l, {}, false); }

bool PostMessageGuarded(HWND wnd, UINT msg, WPARAM w, LPARAM l, std::weak_ptr<const void> guard) {
    return post(wnd, msg, w, l, std::move(guard), true);
}

bool HasPostedMessages(HWND wnd) {
    const MessageWindow* mw = find(wnd);
    return mw && mw->queued > 0;
}

LRESULT SendMessage(HWND wnd, UINT msg, WPARAM w, LPARAM l) {
    MessageWindow* mw = find(wnd);
    return mw ? mw->dispatch(msg, w, l) : 0;
}

bool SetTimer(HWND wnd, uintptr_t id, UINT elapseMs) {
    MessageWindow* mw = find(wnd);
    if (!mw) return false;
    auto it = mw->timers.find(id);
    if (it != mw->timers.end()) mw->killTimer(it->second);
    const int qtId = mw->startTimer(static_cast<int>(elapseMs), Qt::PreciseTimer);
    if (qtId == 0) return false;
    mw->timers[id] = qtId;
    return true;
}

bool KillTimer(HWND wnd, uintptr_t id) {
    MessageWindow* mw = find(wnd);
    if (!mw) return false;
    auto it = mw->timers.find(id);
    if (it == mw->timers.end()) return false;
    mw->killTimer(it->second);
    mw->timers.erase(it);
    return true;
}

void SetUnhandledExceptionHook(TUnhandledHook hook) { unhandledHook = std::move(hook); }

void ReportUnhandled(const std::exception& e) {
    if (unhandledHook) {
        unhandledHook(e);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", rtl::ExceptionClassName(e), e.what());
}

}  // namespace win

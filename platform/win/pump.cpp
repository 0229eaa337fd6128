#include "platform/win/pump.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <vector>

#include "platform/rtl/exceptions.h"

namespace win {

namespace {

bool terminated = false;
int quitCode = 0;
std::vector<QEventLoop*> loops;  // MessageLoop calls, innermost last

QAbstractEventDispatcher* dispatcher() {
    if (!QCoreApplication::instance())
        throw rtl::Exception("No application object: the message loop is not running");
    return QAbstractEventDispatcher::instance(QThread::currentThread());
}

// The quit message: seen by whichever pump handles it first.
class QuitReceiver : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User) return QObject::event(e);
        terminated = true;
        if (!loops.empty()) loops.back()->exit(quitCode);
        else QCoreApplication::exit(quitCode);
        return true;
    }
};

QuitReceiver& quitReceiver() {
    static QuitReceiver* r = new QuitReceiver;  // lives as long as the process
    return *r;
}

// A one-shot wake-up for waits with a deadline. It only has to end the
// dispatcher's sleep; the caller checks the clock itself.
class Deadline {
public:
    explicit Deadline(int64_t timeoutMs) {
        if (timeoutMs < 0) return;
        end_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.start(static_cast<int>(std::min<int64_t>(timeoutMs, INT32_MAX)));
        limited_ = true;
    }
    bool passed() const { return limited_ && std::chrono::steady_clock::now() >= end_; }

private:
    QTimer timer_;
    std::chrono::steady_clock::time_point end_;
    bool limited_ = false;
};

}  // namespace

uint32_t GetTickCount() {
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint32_t TicksSince(uint32_t start) { return GetTickCount() - start; }

bool ProcessMessage() { return dispatcher()->processEvents(QEventLoop::AllEvents); }

void ProcessMessages() {
    dispatcher();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool WaitForEvent(int64_t timeoutMs) {
    if (timeoutMs == 0) return ProcessMessage();
    Deadline deadline(timeoutMs);
    dispatcher()->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return !deadline.passed();
}

bool PumpUntil(const std::function<bool()>& done, int64_t timeoutMs) {
    if (done()) return true;
    Deadline deadline(timeoutMs);
    QAbstractEventDispatcher* d = dispatcher();
    while (!done()) {
        if (deadline.passed()) return done();
        d->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void PumpFor(int64_t timeoutMs) {
    Deadline deadline(timeoutMs);
    QAbstractEventDispatcher* d = dispatcher();
    while (!deadline.passed()) d->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

uint32_t MsgWaitForMultipleObjects(uint32_t, const void*, bool, uint32_t timeoutMs, uint32_t) {
    // 0xFFFFFFFF is the platform's "infinite".
    const int64_t t = timeoutMs == 0xFFFFFFFFu ? -1 : static_cast<int64_t>(timeoutMs);
    return WaitForEvent(t) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

int MessageLoop() {
    dispatcher();
    QEventLoop loop;
    loops.push_back(&loop);
    const int code = terminated ? quitCode : loop.exec();
    loops.pop_back();
    terminated = true;
    return code;
}

void PostQuitMessage(int exitCode) {
    quitCode = exitCode;
    QCoreApplication::postEvent(&quitReceiver(), new QEvent(QEvent::User));
}

bool Terminated() { return terminated; }
void ResetTerminated() { terminated = false; }

}  // namespace win

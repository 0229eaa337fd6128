#pragma once
// Message windows: a handle with a window procedure that receives posted and
// sent messages. Posted messages arrive in the order they were posted and are
// dropped when the window is destroyed. Everything runs on Qt's event loop.
#include <cstdint>
#include <functional>
#include <memory>

namespace win {

using HWND = uintptr_t;       // 0 is no window; handles are never reused
using UINT = unsigned int;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;

struct TMessage {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;
};

using TWndMethod = std::function<void(TMessage&)>;

// Makes a hidden message window bound to a method of the caller.
HWND AllocateHWnd(TWndMethod method);
// Destroys it; messages still queued for it are dropped. Safe from inside its
// own window procedure.
void DeallocateHWnd(HWND wnd);
bool IsWindow(HWND wnd);

bool PostMessage(HWND wnd, UINT msg, WPARAM w, LPARAM l);
// Like PostMessage, but the message is dropped at delivery when Guard has
// expired by then (used for events of a socket that has since been closed).
bool PostMessageGuarded(HWND wnd, UINT msg, WPARAM w, LPARAM l, std::weak_ptr<const void> guard);
LRESULT SendMessage(HWND wnd, UINT msg, WPARAM w, LPARAM l);
// Whether messages posted to Wnd wait in the queue.
bool HasPostedMessages(HWND wnd);

// Timers deliver WM_TIMER with the timer id in WParam.
bool SetTimer(HWND wnd, uintptr_t id, UINT elapseMs);
bool KillTimer(HWND wnd, uintptr_t id);

// What happens to an exception that escapes a window procedure. The default
// writes it to standard error; nothing is allowed to unwind through Qt.
using TUnhandledHook = std::function<void(const std::exception&)>;
void SetUnhandledExceptionHook(TUnhandledHook hook);
void ReportUnhandled(const std::exception& e);

}  // namespace win

#pragma once
// Pumping the message loop, and waits that sleep until something happens.
// A Qt application object must exist before any of these is used.
#include <cstdint>
#include <functional>

namespace win {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the original.
uint32_t GetTickCount();
// Milliseconds elapsed since Start, correct across the wrap.
uint32_t TicksSince(uint32_t start);

// Handles what is waiting now; reports whether anything was handled.
bool ProcessMessage();
// Handles everything that is waiting now.
void ProcessMessages();
// Sleeps until at least one event has been handled or TimeoutMs passed
// (negative: no limit). Returns false on time-out.
bool WaitForEvent(int64_t timeoutMs);
// Pumps until Done() is true or TimeoutMs passes (negative: no limit).
// Sleeps between events; never spins. Returns Done()'s last answer.
bool PumpUntil(const std::function<bool()>& done, int64_t timeoutMs);
// Waits TimeoutMs while handling every event that arrives.
void PumpFor(int64_t timeoutMs);

// The blocking waits of the mail clients: no handles, a time-out and a wake
// mask. Returns WAIT_OBJECT_0 when something was handled, WAIT_TIMEOUT else.
constexpr uint32_t WAIT_OBJECT_0 = 0;
constexpr uint32_t WAIT_TIMEOUT = 258;
uint32_t MsgWaitForMultipleObjects(uint32_t count, const void* handles, bool waitAll,
                                   uint32_t timeoutMs, uint32_t wakeMask);

// Runs the loop until PostQuitMessage; then Terminated() is true.
int MessageLoop();
void PostQuitMessage(int exitCode);
bool Terminated();
void ResetTerminated();

}  // namespace win

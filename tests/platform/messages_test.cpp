#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <vector>

#include "platform/win/messages.h"
#include "platform/win/pump.h"
#include "tests/support/loopback.h"

using namespace win;

TEST(Messages, PostedMessagesArriveInOrderAfterThePosterReturns) {
    std::vector<WPARAM> seen;
    const HWND w = AllocateHWnd([&](TMessage& m) {
        if (m.Msg == WM_USER + 7) seen.push_back(m.WParam);
    });
    for (WPARAM i = 1; i <= 5; ++i) ASSERT_TRUE(PostMessage(w, WM_USER + 7, i, 0));
    EXPECT_TRUE(seen.empty());
    ASSERT_TRUE(PumpUntil([&] { return seen.size() == 5; }, 5000));
    EXPECT_EQ(seen, (std::vector<WPARAM>{1, 2, 3, 4, 5}));
    DeallocateHWnd(w);
}

TEST(Messages, DestroyedWindowLosesItsQueueAndHandleIsNotReused) {
    int delivered = 0;
    const HWND w = AllocateHWnd([&](TMessage&) { ++delivered; });
    PostMessage(w, WM_USER, 0, 0);
    DeallocateHWnd(w);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_FALSE(PostMessage(w, WM_USER, 0, 0));
    PumpFor(50);
    EXPECT_EQ(delivered, 0);
    const HWND w2 = AllocateHWnd([](TMessage&) {});
    EXPECT_NE(w2, w);
    DeallocateHWnd(w2);
}

TEST(Messages, WindowMayDestroyItselfInItsProcedure) {
    int delivered = 0;
    HWND w = 0;
    w = AllocateHWnd([&](TMessage&) {
        ++delivered;
        DeallocateHWnd(w);
    });
    PostMessage(w, WM_USER, 0, 0);
    PostMessage(w, WM_USER, 0, 0);
    PumpFor(50);
    EXPECT_EQ(delivered, 1);
}

TEST(Messages, GuardedMessageDroppedOnceItsGuardIsGone) {
    int delivered = 0;
    const HWND w = AllocateHWnd([&](TMessage&) { ++delivered; });
    auto guard = std::make_shared<int>(0);
    PostMessageGuarded(w, WM_USER, 0, 0, guard);
    PostMessageGuarded(w, WM_USER, 0, 0, guard);
    guard.reset();
    auto live = std::make_shared<int>(0);
    PostMessageGuarded(w, WM_USER, 0, 0, live);
    PumpFor(50);
    EXPECT_EQ(delivered, 1);
    DeallocateHWnd(w);
}

TEST(Messages, SendMessageIsSynchronousAndReturnsTheResult) {
    const HWND w = AllocateHWnd([](TMessage& m) { m.Result = static_cast<LRESULT>(m.WParam * 2); });
    EXPECT_EQ(SendMessage(w, WM_USER, 21, 0), 42);
    DeallocateHWnd(w);
}

TEST(Messages, ExceptionInAProcedureGoesToTheHookNotThroughTheLoop) {
    std::string caught;
    SetUnhandledExceptionHook([&](const std::exception& e) { caught = e.what(); });
    const HWND w = AllocateHWnd([](TMessage&) { throw std::runtime_error("boom"); });
    PostMessage(w, WM_USER, 0, 0);
    PumpUntil([&] { return !caught.empty(); }, 2000);
    EXPECT_EQ(caught, "boom");
    SetUnhandledExceptionHook(nullptr);
    DeallocateHWnd(w);
}

TEST(Messages, TimersTickUntilKilled) {
    int ticks = 0;
    const HWND w = AllocateHWnd([&](TMessage& m) {
        if (m.Msg == WM_TIMER && m.WParam == 3) ++ticks;
    });
    ASSERT_TRUE(SetTimer(w, 3, 10));
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 3; }, 5000));
    KillTimer(w, 3);
    const int seen = ticks;
    PumpFor(60);
    EXPECT_EQ(ticks, seen);
    DeallocateHWnd(w);
}

TEST(Pump, WaitsSleepInsteadOfSpinning) {
    const double cpu0 = testsupport::threadCpuSeconds();
    const uint32_t t0 = GetTickCount();
    EXPECT_FALSE(PumpUntil([] { return false; }, 1500));
    const uint32_t waited = TicksSince(t0);
    const double cpu = testsupport::threadCpuSeconds() - cpu0;
    EXPECT_GE(waited, 1500u);
    EXPECT_LT(cpu, 0.1) << "a 1.5 s wait used " << cpu << " s of CPU";
    EXPECT_FALSE(WaitForEvent(100));
}

TEST(Pump, WaitEndsWhenAnEventArrives) {
    bool fired = false;
    QTimer::singleShot(20, [&] { fired = true; });
    EXPECT_TRUE(PumpUntil([&] { return fired; }, 10000));
}

TEST(Pump, QuitMessageEndsTheLoopAndSetsTerminated) {
    ResetTerminated();
    QTimer::singleShot(10, [] { PostQuitMessage(3); });
    EXPECT_EQ(MessageLoop(), 3);
    EXPECT_TRUE(Terminated());
    ResetTerminated();
}

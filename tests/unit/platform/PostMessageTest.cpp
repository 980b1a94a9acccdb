#include <gtest/gtest.h>

#include "platform/winapi/WinApi.h"
#include "support/MessageLoop.h"
#include "support/RecordingWindow.h"

#include <juce_events/juce_events.h>

#include <thread>

using testsupport::RecordingWindow;
using testsupport::runMessageLoopUntil;

namespace
{
LRESULT ignoreMessages (HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA (w, m, wp, lp); }

WNDCLASSA makeClass (const char* name)
{
    WNDCLASSA c {};
    c.lpfnWndProc = ignoreMessages;
    c.hInstance = GetModuleHandleA (nullptr);
    c.hCursor = LoadCursorA (nullptr, IDC_ARROW);
    c.hbrBackground = (HBRUSH) GetStockObject (BLACK_BRUSH);
    c.lpszClassName = name;
    return c;
}

HWND create (const char* className)
{
    return CreateWindowExA (0, className, className, WS_OVERLAPPEDWINDOW | WS_DISABLED, 0, 0, 10, 10,
                            nullptr, nullptr, GetModuleHandleA (nullptr), nullptr);
}
} // namespace

//==============================================================================
TEST (WindowCalls, HandlesThatOnlyHaveToExistAreNotNull)
{
    EXPECT_NE (GetModuleHandleA (nullptr), nullptr);
    EXPECT_NE (LoadCursorA (nullptr, IDC_ARROW), nullptr);
    EXPECT_NE (GetStockObject (BLACK_BRUSH), nullptr);
    EXPECT_EQ (DefWindowProcA (nullptr, WM_USER + 3, 7, 0), 0);
}

TEST (WindowCalls, AWindowNeedsItsClassAndAClassOutlivesItsWindows)
{
    const auto c = makeClass ("WINDOW_CALLS_TEST");
    EXPECT_EQ (create (c.lpszClassName), nullptr);

    EXPECT_NE (RegisterClassA (&c), 0);
    EXPECT_EQ (RegisterClassA (&c), 0) << "a name is registered once";

    HWND first = create (c.lpszClassName);
    ASSERT_NE (first, nullptr);
    EXPECT_FALSE (ShowWindow (first, SW_HIDE));
    EXPECT_FALSE (UnregisterClassA (c.lpszClassName, c.hInstance)) << "its window still exists";

    EXPECT_TRUE (DestroyWindow (first));
    EXPECT_FALSE (DestroyWindow (first));
    EXPECT_TRUE (UnregisterClassA (c.lpszClassName, c.hInstance));
    EXPECT_EQ (create (c.lpszClassName), nullptr);

    // A handle is never given out again, so a stale message cannot reach a newer window.
    RegisterClassA (&c);
    HWND second = create (c.lpszClassName);
    EXPECT_NE (second, first);
    DestroyWindow (second);
    UnregisterClassA (c.lpszClassName, c.hInstance);
}

//==============================================================================
TEST (PostMessage, MessagesFromManyThreadsArriveOnTheMessageThreadInOrderPerWindow)
{
    constexpr int threads = 4, perThread = 500;
    RecordingWindow a, b;

    // wParam: the posting thread and its sequence number; each thread alternates the windows.
    std::vector<std::thread> posters;

    for (int t = 0; t < threads; ++t)
    {
        posters.emplace_back ([&, t]
                              {
                                  for (int i = 0; i < perThread; ++i)
                                  {
                                      // Past the queue's quota, wait for the loop to catch up.
                                      while (! PostMessageA ((i % 2) != 0 ? b.handle() : a.handle(), WM_USER + 3, (WPARAM) (t * 100000 + i), 0))
                                          std::this_thread::yield();
                                  } });
    }

    const bool all = runMessageLoopUntil ([&]
                                          { return a.messages().size() + b.messages().size() == threads * perThread; },
                                          20000);

    for (auto& p : posters)
        p.join();

    ASSERT_TRUE (all);

    for (auto* w : { &a, &b })
    {
        std::vector<int> last (threads, -1);

        for (auto& m : w->messages())
        {
            EXPECT_TRUE (m.onMessageThread);
            const int t = (int) m.wParam / 100000, i = (int) m.wParam % 100000;
            ASSERT_GT (i, last[(size_t) t]) << "out of order from thread " << t;
            last[(size_t) t] = i;
        }
    }
}

TEST (PostMessage, AProcedureIsNeverEnteredAgainWhileItRuns)
{
    int depth = 0, deepest = 0;
    RecordingWindow w ([&] (const testsupport::DeliveredMessage& m)
                       {
        deepest = std::max (deepest, ++depth);

        // A procedure that runs a nested loop (as a modal box would) gets no message meanwhile.
        if (m.wParam == 0)
            juce::MessageManager::getInstance()->runDispatchLoopUntil (50);

        --depth; });

    for (WPARAM i = 0; i < 20; ++i)
        ASSERT_TRUE (PostMessageA (w.handle(), WM_USER + 1, i, 0));

    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return w.messages().size() == 20; },
                                      5000));
    EXPECT_EQ (deepest, 1);

    for (size_t i = 0; i < 20; ++i)
        EXPECT_EQ (w.messages()[i].wParam, i);
}

TEST (PostMessage, AMessageForADestroyedWindowIsDropped)
{
    RecordingWindow doomed;
    const HWND stale = doomed.handle();

    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE (PostMessageA (stale, WM_USER + 3, 1, 0));

    doomed.destroy();
    RecordingWindow later;
    EXPECT_FALSE (PostMessageA (stale, WM_USER + 3, 2, 0));
    EXPECT_FALSE (PostMessageA (nullptr, WM_USER + 3, 2, 0));

    ASSERT_TRUE (PostMessageA (later.handle(), WM_USER + 2, 3, 0));
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return !later.messages().empty(); },
                                      5000));
    testsupport::runMessageLoopFor (20);

    EXPECT_TRUE (doomed.messages().empty());
    ASSERT_EQ (later.messages().size(), 1u);
    EXPECT_EQ (later.messages()[0].wParam, 3u);
}

TEST (PostMessage, TheQueueHasAQuotaInsteadOfGrowingWithoutBound)
{
    RecordingWindow w;
    int accepted = 0;

    while (accepted < 20000 && PostMessageA (w.handle(), WM_USER + 3, (WPARAM) accepted, 0))
        ++accepted;

    EXPECT_EQ (accepted, 10000);
    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return w.messages().size() == 10000; },
                                      20000));
    EXPECT_TRUE (PostMessageA (w.handle(), WM_USER + 3, 0, 0)) << "room again once delivered";
}

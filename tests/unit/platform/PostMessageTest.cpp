// PostMessageA as the device library uses it: from any thread, delivered on the message thread.

#include "platform/winapi/WinApi.h"
#include "support/MessageLoop.h"
#include "support/RecordingWindow.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <thread>

using testsupport::RecordingWindow;
using testsupport::runMessageLoopUntil;

TEST (PostMessage, MessagesFromSeveralThreadsArriveInOrderPerWindowOnTheMessageThread)
{
    constexpr int threads = 4, perThread = 2000;
    RecordingWindow a, b;
    std::vector<std::thread> posters;

    // wParam: the posting thread and its sequence number; each thread alternates the windows
    // and, past the queue's quota, waits for the loop to catch up.
    for (int t = 0; t < threads; ++t)
        posters.emplace_back ([&, t]
                              {
            for (int i = 0; i < perThread; ++i)
                while (! PostMessageA ((i % 2) != 0 ? b.handle() : a.handle(), WM_USER, (WPARAM) (t * 100000 + i), 0))
                    std::this_thread::yield(); });

    const bool all = runMessageLoopUntil ([&]
                                          { return a.messages().size() + b.messages().size() == threads * perThread; },
                                          60000);

    for (auto& p : posters)
        p.join();

    ASSERT_TRUE (all);

    for (auto* w : { &a, &b })
    {
        std::vector<int> last (threads, -1);

        for (auto& m : w->messages())
        {
            const int t = (int) m.wParam / 100000, i = (int) m.wParam % 100000;
            ASSERT_TRUE (m.onMessageThread);
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

        // A procedure that runs a nested loop (as a modal box does) gets no message meanwhile,
        // not even one posted from inside it.
        if (m.wParam == 0)
        {
            PostMessageA (w.handle(), WM_USER, 20, 0);
            juce::MessageManager::getInstance()->runDispatchLoopUntil (50);
        }

        --depth; });

    for (WPARAM i = 0; i < 20; ++i)
        ASSERT_TRUE (PostMessageA (w.handle(), WM_USER, i, 0));

    ASSERT_TRUE (runMessageLoopUntil ([&]
                                      { return w.messages().size() == 21; },
                                      10000));
    EXPECT_EQ (deepest, 1);

    for (size_t i = 0; i < 21; ++i)
        EXPECT_EQ (w.messages()[i].wParam, i);
}

TEST (PostMessage, NothingReachesADestroyedWindowNorANewerOneInItsPlace)
{
    static std::vector<std::pair<HWND, WPARAM>> calls;
    WNDCLASSA c {};
    c.lpfnWndProc = [] (HWND w, UINT m, WPARAM wp, LPARAM lp)
    {
        calls.push_back ({ w, wp });
        return DefWindowProcA (w, m, wp, lp);
    };
    c.hInstance = GetModuleHandleA (nullptr);
    c.lpszClassName = "POST_MESSAGE_TEST";
    ASSERT_NE (RegisterClassA (&c), 0);
    auto create = [&]
    { return CreateWindowExA (0, c.lpszClassName, "", WS_OVERLAPPEDWINDOW | WS_DISABLED, 0, 0, 10, 10, nullptr, nullptr, c.hInstance, nullptr); };

    const HWND doomed = create();

    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE (PostMessageA (doomed, WM_USER, 1, 0));

    DestroyWindow (doomed);
    const HWND later = create();
    EXPECT_FALSE (PostMessageA (doomed, WM_USER, 2, 0));
    ASSERT_TRUE (PostMessageA (later, WM_USER, 3, 0));
    EXPECT_TRUE (runMessageLoopUntil ([&]
                                      { return !calls.empty(); },
                                      10000));
    EXPECT_EQ (calls, (std::vector<std::pair<HWND, WPARAM>> { { later, 3 } }));
    DestroyWindow (later);
    UnregisterClassA (c.lpszClassName, c.hInstance);
}

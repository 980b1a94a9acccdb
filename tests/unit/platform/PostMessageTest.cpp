// PostMessageA as the device library uses it: from any thread, delivered on the message thread.

#include "platform/winapi/WinApi.h"
#include "support/MessageLoop.h"
#include "support/RecordingWindow.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <thread>
#include <utility>

using testsupport::RecordingWindow;
using testsupport::runMessageLoopUntil;

TEST (PostMessage, MessagesFromSeveralThreadsArriveInOrderPerWindowOneAtATime)
{
    constexpr int threads = 4, perThread = 2000;
    int depth = 0, deepest = 0;
    bool nested = false;

    // The first message delivered runs a nested loop (as a modal box does) while the threads go on
    // posting: no procedure may be entered again meanwhile.
    auto procedure = [&] (const testsupport::DeliveredMessage&)
    {
        deepest = std::max (deepest, ++depth);

        if (!std::exchange (nested, true))
            juce::MessageManager::getInstance()->runDispatchLoopUntil (50);

        --depth;
    };

    RecordingWindow windows[2] { RecordingWindow (procedure), RecordingWindow (procedure) };
    std::vector<std::thread> posters;

    // wParam: the thread and its count; the windows take turns. Past the queue's quota a post
    // fails, and the thread waits for the loop to catch up.
    for (int t = 0; t < threads; ++t)
        posters.emplace_back ([&, t]
                              {
            for (int i = 0; i < perThread; ++i)
                while (! PostMessageA (windows[i % 2].handle(), WM_USER, (WPARAM) (t * perThread + i), 0))
                    std::this_thread::yield(); });

    EXPECT_TRUE (runMessageLoopUntil ([&]
                                      { return windows[0].messages().size() + windows[1].messages().size() == threads * perThread; },
                                      60000));

    for (auto& p : posters)
        p.join();

    EXPECT_EQ (deepest, 1);

    for (int w = 0; w < 2; ++w)
    {
        std::vector<int> next (threads, w); // each thread's messages to this window, all and in order

        for (auto& m : windows[w].messages())
        {
            ASSERT_TRUE (m.onMessageThread);
            ASSERT_EQ ((int) m.wParam % perThread, next[m.wParam / perThread]) << "from thread " << m.wParam / perThread;
            next[m.wParam / perThread] += 2;
        }
    }
}

TEST (PostMessage, NothingReachesADestroyedWindowNorANewerOneInItsPlace)
{
    RecordingWindow doomed;

    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE (PostMessageA (doomed.handle(), WM_USER, 1, 0));

    DestroyWindow (doomed.handle()); // its recorder still listens for that handle
    RecordingWindow later;
    EXPECT_FALSE (PostMessageA (doomed.handle(), WM_USER, 2, 0));
    ASSERT_TRUE (PostMessageA (later.handle(), WM_USER, 3, 0));
    EXPECT_TRUE (runMessageLoopUntil ([&]
                                      { return !later.messages().empty(); },
                                      10000));
    EXPECT_TRUE (doomed.messages().empty());
    EXPECT_EQ (later.messages().size(), 1u);
}

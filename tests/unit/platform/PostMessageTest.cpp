// PostMessageA as the device library uses it: from any thread, delivered on the message thread.

#include "platform/winapi/WinApi.h"
#include "support/MessageLoop.h"
#include "support/RecordingWindow.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>

TEST (PostMessage, InOrderPerWindowOneAtATimeAndNeverForADestroyedWindow)
{
    // Messages for a window destroyed before their delivery reach neither it nor a later window.
    testsupport::RecordingWindow doomed;
    ASSERT_TRUE (PostMessageA (doomed.handle(), WM_USER, 0, 0) && PostMessageA (doomed.handle(), WM_USER, 0, 0));
    DestroyWindow (doomed.handle()); // its recorder still listens for that handle
    EXPECT_FALSE (PostMessageA (doomed.handle(), WM_USER, 0, 0));

    // The first message delivered runs a nested loop (as a modal box does) while four threads go on
    // posting: no procedure may be entered again meanwhile.
    int depth = 0, deepest = 0;
    bool nested = false;
    auto procedure = [&] (const testsupport::DeliveredMessage&)
    {
        deepest = std::max (deepest, ++depth);
        if (!std::exchange (nested, true))
            juce::MessageManager::getInstance()->runDispatchLoopUntil (50);
        --depth;
    };

    // wParam: 1 + the thread's count, times 4 threads; the windows take turns. Past the queue's
    // quota a post fails, and the thread waits for the loop to catch up.
    constexpr int threads = 4, perThread = 2000;
    testsupport::RecordingWindow windows[2] { testsupport::RecordingWindow (procedure), testsupport::RecordingWindow (procedure) };
    std::vector<std::thread> posters;

    for (int t = 0; t < threads; ++t)
        posters.emplace_back ([&, t]
                              {
            for (int i = 0; i < perThread; ++i)
                while (! PostMessageA (windows[i % 2].handle(), WM_USER, (WPARAM) ((1 + i) * threads + t), 0))
                    std::this_thread::yield(); });

    EXPECT_TRUE (testsupport::runMessageLoopUntil ([&]
                                                   { return windows[0].messages().size() + windows[1].messages().size() == threads * perThread; },
                                                   60000));

    for (auto& p : posters)
        p.join();

    EXPECT_TRUE (doomed.messages().empty());
    EXPECT_EQ (deepest, 1);

    for (int w = 0; w < 2; ++w)
    {
        std::vector<WPARAM> next (threads, 1 + w); // each thread's messages to this window, all, in order

        for (auto& m : windows[w].messages())
        {
            ASSERT_TRUE (m.onMessageThread);
            ASSERT_EQ (m.wParam / threads, next[m.wParam % threads]) << "from thread " << m.wParam % threads;
            next[m.wParam % threads] += 2;
        }
    }
}

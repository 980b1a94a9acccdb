#pragma once

// The one way tests run the JUCE message loop: on the message thread (the test's own, see
// TestMain.cpp), until a condition holds or the deadline has passed.

#include <juce_events/juce_events.h>

#include <chrono>
#include <functional>

namespace testsupport
{
/** Returns condition() as it stands at the end; it is checked between dispatches. */
inline bool runMessageLoopUntil (const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);

    while (!condition())
    {
        if (std::chrono::steady_clock::now() >= end)
            return condition();

        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
    }

    return true;
}

inline void runMessageLoopFor (int ms)
{
    runMessageLoopUntil ([]
                         { return false; },
                         ms);
}
} // namespace testsupport

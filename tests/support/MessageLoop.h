#pragma once

#include <juce_events/juce_events.h>

#include <chrono>
#include <functional>

namespace testsupport
{
/** Runs the message loop (the test's own thread, see TestMain.cpp) until condition() holds. */
inline bool runMessageLoopUntil (const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);

    while (!condition())
    {
        if (std::chrono::steady_clock::now() >= end)
            return false;

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

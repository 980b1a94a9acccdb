#include "support/MessageLoop.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <chrono>

namespace testsupport
{
bool runMessageLoopUntil (const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);

    while (!condition())
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (end - std::chrono::steady_clock::now()).count();

        if (left <= 0)
            return condition();

        juce::MessageManager::getInstance()->runDispatchLoopUntil ((int) std::min<long long> (left, 5));
    }

    return true;
}

void runMessageLoopFor (int ms)
{
    runMessageLoopUntil ([]
                         { return false; },
                         ms);
}
} // namespace testsupport

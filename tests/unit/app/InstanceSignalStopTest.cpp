#include <gtest/gtest.h>

#include "platform/linux/InstanceSignal.h"

#include <filesystem>
#include <fstream>

namespace
{
/** True once the listener's thread sleeps (in its wait for a connection). */
bool listenerSleeps()
{
    for (const auto& task : std::filesystem::directory_iterator ("/proc/self/task"))
    {
        std::string name, stat;
        std::getline (std::ifstream (task.path() / "comm"), name);
        std::getline (std::ifstream (task.path() / "stat"), stat);

        if (name == "InstanceSignal" && stat.compare (stat.rfind (')') + 2, 1, "S") == 0)
            return true;
    }

    return false;
}
} // namespace

// The listener sleeps until a connection comes: ending the program must still wake it, not
// wait out the thread's stop time-out (after which the thread would be killed).
TEST (InstanceSignal, AnIdleListenerStopsAtOnce)
{
    auto signal = std::make_unique<InstanceSignal> ("InstanceSignalStopTest_" + juce::String (juce::Random::getSystemRandom().nextInt64()));
    ASSERT_TRUE (signal->listen ([] (const juce::String&) {}));

    const auto deadline = juce::Time::getMillisecondCounter() + 5000;

    while (!listenerSleeps() && juce::Time::getMillisecondCounter() < deadline)
        juce::Thread::yield();

    ASSERT_TRUE (listenerSleeps());
    const auto start = juce::Time::getMillisecondCounter();
    signal.reset();
    EXPECT_LT (juce::Time::getMillisecondCounter() - start, 1000u);
}

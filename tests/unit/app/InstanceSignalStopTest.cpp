#include <gtest/gtest.h>

#include "platform/linux/InstanceSignal.h"

#include <filesystem>
#include <fstream>

// The second-start listener sleeps until a connection comes: ending the program must still wake
// it at once, not wait out the thread's stop time-out.
TEST (InstanceSignal, AnIdleListenerStopsAtOnce)
{
    char folder[] = "/tmp/instance-signal-XXXXXX"; // a runtime folder of its own
    ASSERT_NE (mkdtemp (folder), nullptr);
    setenv ("XDG_RUNTIME_DIR", folder, 1);
    auto signal = std::make_unique<InstanceSignal> ("InstanceSignalStopTest");
    ASSERT_EQ (signal->listen ([] (const juce::String&) {}), InstanceSignal::Role::listening);

    const auto listenerSleeps = []
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
    };

    for (const auto deadline = juce::Time::getMillisecondCounter() + 10000; !listenerSleeps() && juce::Time::getMillisecondCounter() < deadline;)
        juce::Thread::yield();

    ASSERT_TRUE (listenerSleeps());
    const auto start = juce::Time::getMillisecondCounter();
    signal.reset();
    EXPECT_LT (juce::Time::getMillisecondCounter() - start, 1000u);
    std::filesystem::remove_all (folder);
}

#include <gtest/gtest.h>

#include "support/MessageLoop.h"
#include "updater/InstanceSignal.h"

#include <thread>

// The second start reaches the running copy through InstanceSignal; the real second start is
// the end-to-end test's. These guard what it cannot see: the text, the thread, the one listener
// and a callback after the end.
namespace
{
juce::String uniqueName() { return "InstanceSignalTest_" + juce::String (juce::Random::getSystemRandom().nextInt64()); }
} // namespace

TEST (InstanceSignal, OnlyOneCopyListensAndGetsEachCommandLineOnTheMessageThread)
{
    const auto name = uniqueName();
    EXPECT_FALSE (InstanceSignal::notifyRunningCopy (name, "", 200)); // nobody runs

    juce::StringArray received;
    bool onMessageThread = true;
    {
        InstanceSignal running (name), second (name);
        ASSERT_TRUE (running.listen ([&] (const juce::String& commandLine)
                                     {
            onMessageThread = onMessageThread && juce::MessageManager::getInstance()->isThisTheMessageThread();
            received.add (commandLine); }));
        EXPECT_FALSE (second.listen ([] (const juce::String&) {}));

        const auto utf8 = juce::String::fromUTF8 ("\xd1\x8f \xe6\x97\xa5");
        std::thread other ([&]
                           {
            EXPECT_TRUE (InstanceSignal::notifyRunningCopy (name, "--first", 5000));
            EXPECT_TRUE (InstanceSignal::notifyRunningCopy (name, utf8, 5000)); });
        EXPECT_TRUE (testsupport::runMessageLoopUntil ([&]
                                                       { return received.size() == 2; },
                                                       10000));
        other.join();
        EXPECT_EQ (received, juce::StringArray ("--first", utf8));
        EXPECT_TRUE (onMessageThread);

        // A call queued but not yet run when the listener goes must never run.
        // The pause only gives the listener time to queue it; the test cannot fail for it.
        ASSERT_TRUE (InstanceSignal::notifyRunningCopy (name, "late", 5000));
        juce::Thread::sleep (300);
    }

    testsupport::runMessageLoopFor (200);
    EXPECT_EQ (received.size(), 2);

    InstanceSignal again (name); // the name is free again once the running copy has gone
    EXPECT_TRUE (again.listen ([] (const juce::String&) {}));
}

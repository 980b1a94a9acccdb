#include <gtest/gtest.h>

#include "platform/linux/InstanceSignal.h"

#include <thread>

namespace
{
juce::String uniqueName (const char* what)
{
    return juce::String ("InstanceSignalTest_") + what + "_" + juce::String (juce::Random::getSystemRandom().nextInt64());
}

bool pumpUntil (std::function<bool()> done, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

    while (!done() && juce::Time::getMillisecondCounter() < end)
        juce::MessageManager::getInstance()->runDispatchLoopUntil (10);

    return done();
}
} // namespace

TEST (InstanceSignal, SecondStartReachesTheRunningCopyOnTheMessageThread)
{
    const auto name = uniqueName ("deliver");
    InstanceSignal running (name);

    juce::StringArray received;
    bool onMessageThread = true;
    ASSERT_TRUE (running.listen ([&] (const juce::String& commandLine)
                                 {
        onMessageThread = onMessageThread && juce::MessageManager::getInstance()->isThisTheMessageThread();
        received.add (commandLine); }));

    bool sent1 = false, sent2 = false;
    std::thread other ([&]
                       {
        sent1 = InstanceSignal::notifyRunningCopy (name, "--first", 2000);
        sent2 = InstanceSignal::notifyRunningCopy (name, juce::String::fromUTF8 ("\xd1\x8f \xe6\x97\xa5"), 2000); });

    EXPECT_TRUE (pumpUntil ([&]
                            { return received.size() == 2; },
                            5000));
    other.join();

    EXPECT_TRUE (sent1);
    EXPECT_TRUE (sent2);
    EXPECT_TRUE (onMessageThread);
    ASSERT_EQ (received.size(), 2);
    EXPECT_EQ (received[0], "--first");
    EXPECT_EQ (received[1], juce::String::fromUTF8 ("\xd1\x8f \xe6\x97\xa5"));
}

TEST (InstanceSignal, OnlyOneCopyListensAndNobodyAnswersWhenNoneRuns)
{
    const auto name = uniqueName ("single");

    const auto start = juce::Time::getMillisecondCounter();
    EXPECT_FALSE (InstanceSignal::notifyRunningCopy (name, "", 200));
    EXPECT_GE (juce::Time::getMillisecondCounter() - start, 190u);

    {
        InstanceSignal first (name);
        InstanceSignal second (name);
        EXPECT_TRUE (first.listen ([] (const juce::String&) {}));
        EXPECT_FALSE (second.listen ([] (const juce::String&) {}));
    }

    // The name is free again once the running copy has gone.
    InstanceSignal again (name);
    EXPECT_TRUE (again.listen ([] (const juce::String&) {}));
}

TEST (InstanceSignal, ACallbackQueuedBeforeDestructionNeverRunsAfterIt)
{
    const auto name = uniqueName ("late");
    int calls = 0;

    {
        InstanceSignal running (name);
        ASSERT_TRUE (running.listen ([&] (const juce::String&)
                                     { ++calls; }));
        ASSERT_TRUE (InstanceSignal::notifyRunningCopy (name, "x", 2000));
        juce::Thread::sleep (300); // let the listener queue the call, but do not run the loop
    }

    pumpUntil ([]
               { return false; },
               200);
    EXPECT_EQ (calls, 0);
}

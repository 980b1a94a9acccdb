#pragma once

#include <juce_events/juce_events.h>

#include <functional>

//==============================================================================
/**
    Carries a second start of the program to the running copy, and keeps the one copy where
    the framework's lock cannot.

    JUCE refuses a second copy on Linux but never tells the running one
    (anotherInstanceStarted is delivered only on Windows and macOS). The running copy
    listens on an abstract Unix socket named after the application and the user; a refused
    start connects to it and sends its command line, which reaches the running copy's
    callback on its message thread. Only one copy can listen, so the socket refuses a second
    copy of the same user even when the framework's lock file cannot be used.

    Threads: listen() and the destructor on the message thread; the callback runs on the
    message thread; notifyRunningCopy() on any thread of the other process.
*/
class InstanceSignal : private juce::Thread
{
public:
    explicit InstanceSignal (const juce::String& applicationName);
    ~InstanceSignal() override;

    /** Starts listening; false when the socket cannot be bound (another copy listens). */
    bool listen (std::function<void (const juce::String& commandLine)> onOtherStart);

    /** True when the framework's one-copy lock file is a symbolic link, which the framework
        would follow to create a file wherever it points.
    */
    static bool frameworkLockIsLink (const juce::String& applicationName);

    /** Sends the command line to the running copy; false when none answers within the time-out. */
    static bool notifyRunningCopy (const juce::String& applicationName, const juce::String& commandLine,
                                   int timeoutMs);

private:
    void run() override;

    juce::String socketName;
    int listenFd = -1;
    int wakeFd = -1; // an eventfd that ends the wait for a connection
    std::function<void (const juce::String&)> callback;

    JUCE_DECLARE_WEAK_REFERENCEABLE (InstanceSignal)
    JUCE_DECLARE_NON_COPYABLE (InstanceSignal)
};

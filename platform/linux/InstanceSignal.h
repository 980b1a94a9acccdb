#pragma once

#include <juce_events/juce_events.h>

#include <functional>

//==============================================================================
/**
    Keeps one running copy of the program per user, and carries a second start to it.

    JUCE's own one-copy lock on Linux is one file for every user, in a folder that every user
    can write to, and it never tells the running copy of a second start (anotherInstanceStarted
    is delivered only on Windows and macOS). Here the running copy holds a lock on a folder
    that only its user can enter (in the session's runtime folder, else in the home folder) and
    listens on a Unix socket in it. A refused start connects to that socket and sends its
    command line, which reaches the running copy's callback on its message thread; the running
    copy answers once its callback has taken it. No other user can reach the folder, so none
    can take part in the rule or block it.

    Threads: listen(), handOver() and the destructor on the message thread; the callback runs
    on the message thread.
*/
class InstanceSignal : private juce::Thread
{
public:
    explicit InstanceSignal (const juce::String& applicationName);
    ~InstanceSignal() override;

    enum class Role
    {
        listening,   // this is the one copy
        secondCopy,  // another copy of this user holds the lock: hand over to it
        unusable     // no private folder could be used; getError() says why
    };

    /** Takes the lock and starts listening for later starts. */
    Role listen (std::function<void (const juce::String& commandLine)> onOtherStart);

    /** For a second copy: sends the command line to the running copy and waits until it has
        taken it. False when it has not within the time-out, counted from the first attempt;
        getError() says why.
    */
    bool handOver (const juce::String& commandLine, int timeoutMs);

    const juce::String& getError() const { return error; }

private:
    void run() override;
    bool openFolder();

    const juce::String folderName; // the folder's name inside the private folder
    juce::String folder, error;
    int folderFd = -1; // holds the lock while this copy runs
    int listenFd = -1;
    int wakeFd = -1; // an eventfd that ends the wait for a connection
    std::function<void (const juce::String&)> callback;

    JUCE_DECLARE_WEAK_REFERENCEABLE (InstanceSignal)
    JUCE_DECLARE_NON_COPYABLE (InstanceSignal)
};

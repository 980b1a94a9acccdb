#include "platform/winapi/WindowTable.h"

#include <juce_events/juce_events.h>

#include <deque>
#include <mutex>
#include <sys/eventfd.h>

// Posted messages wait in one queue for the message thread, which delivers them in the order
// they were posted, in small batches so that a flood cannot starve painting and timers. Like
// a Windows thread queue, the queue has a quota: past it PostMessageA fails instead of growing.
//
// The message thread learns of them through one eventfd that the framework's event loop
// polls: a post costs no allocation and no lock of the framework's own message queue.

namespace
{
struct Posted
{
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct MessageQueue
{
    static constexpr size_t quota = 10000;
    static constexpr int batchSize = 32;

    std::mutex lock;
    std::deque<Posted> pending;
    bool wakePending = false; // the eventfd is written, or a drain is running and will see new messages
    bool delivering = false;  // message thread only: a procedure is running
    const int wakeFd = eventfd (0, EFD_NONBLOCK | EFD_CLOEXEC);
};

// Never destroyed: the device library's thread may still post while the process exits.
MessageQueue& queue()
{
    static MessageQueue* q = new MessageQueue();
    return *q;
}

void wake (MessageQueue& q)
{
    eventfd_write (q.wakeFd, 1);
}

// Message thread.
void drain (int)
{
    auto& q = queue();
    eventfd_t ignored;
    eventfd_read (q.wakeFd, &ignored);

    // A procedure that runs a nested message loop must not receive its next message
    // before it returns; the outer drain goes on with the queue afterwards.
    if (q.delivering)
        return;

    for (int i = 0; i < MessageQueue::batchSize; ++i)
    {
        Posted m;
        {
            std::lock_guard<std::mutex> l (q.lock);

            if (q.pending.empty())
            {
                q.wakePending = false;
                return;
            }

            m = q.pending.front();
            q.pending.pop_front();
        }

        // Looked up at delivery: a window destroyed since the post gets nothing.
        if (auto procedure = winapi::windowProcedure (m.window))
        {
            q.delivering = true;
            procedure (m.window, m.message, m.wParam, m.lParam);
            q.delivering = false;
        }
    }

    std::unique_lock<std::mutex> l (q.lock);
    q.wakePending = !q.pending.empty();
    l.unlock();

    if (q.wakePending)
        wake (q); // the rest after the loop's other work
}

/** The eventfd's place in the current event loop, given up with the loop at shutdown. */
struct Registration : private juce::DeletedAtShutdown
{
    Registration() { juce::LinuxEventLoop::registerFdCallback (queue().wakeFd, drain); }
    ~Registration() override
    {
        juce::LinuxEventLoop::unregisterFdCallback (queue().wakeFd);
        instance = nullptr;
    }

    static inline Registration* instance = nullptr;
};
} // namespace

namespace winapi
{
void attachMessageQueue()
{
    if (Registration::instance == nullptr && queue().wakeFd >= 0 && juce::MessageManager::existsAndIsCurrentThread())
        Registration::instance = new Registration();
}
} // namespace winapi

extern "C" BOOL PostMessageA (HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!winapi::windowExists (window) || juce::MessageManager::getInstanceWithoutCreating() == nullptr)
        return FALSE; // no window, or no message loop to deliver it

    auto& q = queue();
    std::unique_lock<std::mutex> l (q.lock);

    if (q.pending.size() >= MessageQueue::quota)
        return FALSE;

    q.pending.push_back ({ window, message, wParam, lParam });
    const bool needsWake = !q.wakePending;
    q.wakePending = true;
    l.unlock();

    // Outside the lock: the woken message thread must not find it held.
    if (needsWake)
        wake (q);

    return TRUE;
}

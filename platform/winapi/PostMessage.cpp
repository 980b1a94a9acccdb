#include "platform/winapi/WindowTable.h"

#include <juce_events/juce_events.h>

#include <deque>
#include <mutex>

// Posted messages wait in one queue for the message thread, which delivers them in the order
// they were posted, in small batches so that a flood cannot starve painting and timers. Like
// a Windows thread queue, the queue has a quota: past it PostMessageA fails instead of growing.

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
    bool drainScheduled = false; // a drain is queued or running and will see new messages
    bool delivering = false;     // message thread only: a procedure is running
};

// Never destroyed: the device library's thread may still post while the process exits.
MessageQueue& queue()
{
    static MessageQueue* q = new MessageQueue();
    return *q;
}

void drain();

bool scheduleDrain()
{
    return juce::MessageManager::callAsync (drain);
}

// Message thread.
void drain()
{
    auto& q = queue();

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
                q.drainScheduled = false;
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

    std::lock_guard<std::mutex> l (q.lock);

    if (q.pending.empty())
        q.drainScheduled = false;
    else if (!scheduleDrain())
        q.drainScheduled = false; // the message loop has gone; nothing can be delivered
}
} // namespace

extern "C" BOOL PostMessageA (HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!winapi::windowExists (window))
        return FALSE;

    auto& q = queue();
    std::lock_guard<std::mutex> l (q.lock);

    if (q.pending.size() >= MessageQueue::quota)
        return FALSE;

    if (!q.drainScheduled)
    {
        if (!scheduleDrain())
            return FALSE; // no message loop to deliver it

        q.drainScheduled = true;
    }

    q.pending.push_back ({ window, message, wParam, lParam });
    return TRUE;
}

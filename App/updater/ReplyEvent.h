#pragma once

#include <cerrno>
#include <ctime>
#include <semaphore.h>

/** The update thread's wake-up for each reply: an auto-reset event, signalled from the message
    thread. A semaphore kept at 0 or 1 costs one system call on each side and no mutex that the
    woken thread would first have to take.
*/
class ReplyEvent
{
public:
    ReplyEvent() { sem_init (&semaphore, 0, 0); }
    ~ReplyEvent() { sem_destroy (&semaphore); }

    /** Waits until signalled (consuming it) or timeoutMs passes (forever when negative). */
    bool wait (int timeoutMs)
    {
        if (timeoutMs < 0)
        {
            while (sem_wait (&semaphore) != 0)
                if (errno != EINTR)
                    return false;

            return true;
        }

        timespec deadline;
        clock_gettime (CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += timeoutMs / 1000;
        deadline.tv_nsec += (timeoutMs % 1000) * 1000000L;

        if (deadline.tv_nsec >= 1000000000L)
        {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }

        while (sem_clockwait (&semaphore, CLOCK_MONOTONIC, &deadline) != 0)
            if (errno != EINTR)
                return false;

        return true;
    }

    /** Only the message thread signals, so the count never passes 1. */
    void signal()
    {
        int count = 0;

        if (sem_getvalue (&semaphore, &count) == 0 && count == 0)
            sem_post (&semaphore);
    }

    void reset()
    {
        while (sem_trywait (&semaphore) == 0)
        {
        }
    }

private:
    sem_t semaphore;

    ReplyEvent (const ReplyEvent&) = delete;
    ReplyEvent& operator= (const ReplyEvent&) = delete;
};

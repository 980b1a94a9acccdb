#pragma once

#include "platform/morvantx/DeviceTable.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace morvantx
{
/** The library's I/O thread: watches the bus folder, connects to each device that appears,
    reads its greeting and its reports into the device table, and notices when it leaves.

    Threads: start and stop are called by HID_Start and HID_Stop (any thread, one at a time);
    everything else runs on the thread itself, which never blocks on a device: sockets are
    non-blocking and a device whose queue is full is not read until it has room again.
*/
class BusThread
{
public:
    enum class Event
    {
        arrival,
        report,
        removal
    };

    /** Called on the I/O thread for every event, with the device's number. */
    using Poster = std::function<void (Event, int deviceNumber)>;

    BusThread (DeviceTable& table, Poster poster);
    ~BusThread();

    /** Watches the folder and starts the thread; false when the folder cannot be watched. */
    bool start (const std::string& directory);

    /** Ends the thread and waits for it; nothing is posted once this returns. */
    void stop();

private:
    using Clock = std::chrono::steady_clock;

    struct Greeting
    {
        int socket;
        std::string name;
        ino_t file; // the socket file connected to, to tell it from a replacement
        Clock::time_point deadline;
    };

    struct Device
    {
        int number;
        int socket;
        std::string name;
        ino_t file;
    };

    struct Retry
    {
        std::string name;
        int attemptsLeft;
        Clock::time_point due;
    };

    void run();
    int watchIfSafe (std::string& error);
    void judgeBus (bool eventsLost);
    void rescan();
    void busGone();
    void scan();
    void readWatch();
    void nameAppeared (const std::string& name);
    void nameGone (const std::string& name);
    void tryConnect (const std::string& name, int attemptsLeft);
    void finishGreeting (size_t index, bool readable);
    bool readReport (const Device& device, short revents);
    void drain (const Device& device);
    void removeDevice (size_t index);
    void forget (const std::string& name);
    bool isKnown (const std::string& name) const;
    bool isKnownFile (const std::string& name, ino_t file) const;
    int pollTimeout() const;
    void markSettled();

    DeviceTable& table;
    Poster post;
    std::string directory;
    int wakeFd = -1, watchFd = -1;
    int busWatch = -1, parentWatch = -1; // inotify watches on the bus folder and on its parent
    std::string busName;                 // its name in the parent
    std::atomic<bool> stopping { false };

    // Set once the devices found by the first scan have greeted (or timed out); start waits for
    // it. A stale socket file that refuses connections is retried later without holding start.
    std::mutex settleLock;
    std::condition_variable settleSignal;
    bool settled = false;

    std::thread thread;

    std::vector<Greeting> greetings; // connected, greeting not yet received
    std::vector<Device> devices;
    std::vector<Retry> retries;    // sockets that were not listening yet
    std::set<std::string> refused; // bad greeting: not tried again until the file changes
    bool missedForLimit = false;   // a device was left out at a limit: scan when room frees
};
} // namespace morvantx

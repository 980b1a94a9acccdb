#pragma once

#include "platform/morvantx/DeviceBus.h"

#include <array>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

namespace morvantx
{
/** The connected devices: their numbers, greetings, sockets and report queues.

    Threads: the bus thread adds devices, queues their reports and removes them; the HID_
    calls read, pop and write from any thread. Every member takes the one lock, and no
    member blocks while holding it.

    A removed device is no longer listed and cannot be written to, but the reports it sent
    before it left stay readable until they are read (the program reads each one when its
    report message arrives, which is before the removal message), for at most a few removed
    devices at a time.
*/
class DeviceTable
{
public:
    static constexpr size_t maxDevices = 128;
    static constexpr size_t queueCapacity = 64;
    static constexpr size_t maxRemovedWithReports = 16;

    /** Takes over a connected socket and gives it the next device number (never reused in
        this process). -1 when the table is full; the socket is then left to the caller.
    */
    int add (int socket, const devicebus::Greeting& greeting);

    /** The device has left: closes its socket and stops listing it. */
    void remove (int number);

    /** Closes every socket and forgets every device. Numbers keep counting. */
    void clear();

    /** Queues a report; false when the device is unknown or its queue is full. */
    bool push (int number, const uint8_t* data, size_t size);

    /** True while the device's queue has room for another report. */
    bool hasRoom (int number) const;

    /** The eventfd to signal when a full queue gets room again; -1 for none. */
    void setRoomSignal (int eventFd);

    //==============================================================================
    int enumerate (int* numbers, int maxNumbers) const;
    uint32_t typeOf (int number) const;
    int firmwareOf (uint32_t type, uint32_t* words, int count) const;

    /** Pops the oldest report. A report longer than *length gives its first *length bytes
        and is used up. *length is the byte count written (0 when there is none).
    */
    bool pop (int number, uint8_t* buffer, uint32_t* length);

    /** Sends one packet without waiting; true only when it went out whole. */
    bool write (int number, const uint8_t* data, uint32_t length);

private:
    struct Device
    {
        int socket = -1; // -1 once removed
        devicebus::Greeting greeting;

        // A ring of report buffers, reused: a queue that empties starts again at slot 0, so a
        // device answering one request at a time keeps using one buffer.
        std::array<std::vector<uint8_t>, queueCapacity> reports;
        size_t first = 0, count = 0;
    };

    void forgetRemovedBeyondLimit();

    mutable std::mutex lock;
    std::map<int, Device> devices; // ordered by number, so by arrival
    std::deque<int> removedWithReports;
    int nextNumber = 1;
    int roomSignal = -1;
};
} // namespace morvantx

#include "platform/morvantx/DeviceTable.h"

#include <algorithm>
#include <climits>
#include <sys/eventfd.h>

namespace morvantx
{
int DeviceTable::add (int socket, const devicebus::Greeting& greeting)
{
    std::lock_guard<std::mutex> l (lock);

    if (size_t (std::count_if (devices.begin(), devices.end(), [] (auto& d)
                               { return d.second.socket >= 0; })) >= maxDevices ||
        nextNumber == INT_MAX)
        return -1;

    const int number = nextNumber++;
    auto& d = devices[number];
    d.socket = socket;
    d.greeting = greeting;
    return number;
}

void DeviceTable::remove (int number)
{
    std::lock_guard<std::mutex> l (lock);
    auto d = devices.find (number);

    if (d == devices.end() || d->second.socket < 0)
        return;

    close (d->second.socket);
    d->second.socket = -1;

    if (d->second.count == 0)
    {
        devices.erase (d);
        return;
    }

    removedWithReports.push_back (number);
    forgetRemovedBeyondLimit();
}

void DeviceTable::forgetRemovedBeyondLimit()
{
    while (removedWithReports.size() > maxRemovedWithReports)
    {
        devices.erase (removedWithReports.front());
        removedWithReports.pop_front();
    }
}

void DeviceTable::clear()
{
    std::lock_guard<std::mutex> l (lock);

    for (auto& d : devices)
        if (d.second.socket >= 0)
            close (d.second.socket);

    devices.clear();
    removedWithReports.clear();
}

bool DeviceTable::push (int number, const uint8_t* data, size_t size)
{
    std::lock_guard<std::mutex> l (lock);
    auto d = devices.find (number);

    if (d == devices.end() || d->second.socket < 0 || d->second.count >= queueCapacity)
        return false;

    auto& device = d->second;
    device.reports[(device.first + device.count++) % queueCapacity].assign (data, data + size);
    return true;
}

bool DeviceTable::hasRoom (int number) const
{
    std::lock_guard<std::mutex> l (lock);
    auto d = devices.find (number);
    return d != devices.end() && d->second.count < queueCapacity;
}

void DeviceTable::setRoomSignal (int eventFd)
{
    std::lock_guard<std::mutex> l (lock);
    roomSignal = eventFd;
}

//==============================================================================
int DeviceTable::enumerate (int* numbers, int maxNumbers) const
{
    std::lock_guard<std::mutex> l (lock);
    int count = 0;

    for (auto& d : devices)
        if (d.second.socket >= 0 && count < maxNumbers)
            numbers[count++] = d.first;

    return count;
}

uint32_t DeviceTable::typeOf (int number) const
{
    std::lock_guard<std::mutex> l (lock);
    auto d = devices.find (number);
    return d != devices.end() ? d->second.greeting.typeCode : 0;
}

int DeviceTable::firmwareOf (uint32_t type, uint32_t* words, int count) const
{
    std::lock_guard<std::mutex> l (lock);

    for (auto& d : devices)
    {
        if (d.second.socket >= 0 && d.second.greeting.typeCode == type)
        {
            const int n = std::min (count, devicebus::firmwareWordCount);

            for (int i = 0; i < n; ++i)
                words[i] = d.second.greeting.firmware[i];

            return n;
        }
    }

    return 0;
}

bool DeviceTable::pop (int number, uint8_t* buffer, uint32_t* length)
{
    std::lock_guard<std::mutex> l (lock);
    auto d = devices.find (number);

    if (d == devices.end() || d->second.count == 0)
    {
        *length = 0;
        return false;
    }

    auto& device = d->second;
    const bool wasFull = device.count >= queueCapacity;
    const auto& report = device.reports[device.first];
    const uint32_t n = std::min (*length, (uint32_t) report.size());
    std::copy_n (report.begin(), n, buffer);
    *length = n;
    device.first = --device.count == 0 ? 0 : (device.first + 1) % queueCapacity;

    if (device.socket < 0)
    {
        if (device.count == 0)
        {
            removedWithReports.erase (std::remove (removedWithReports.begin(), removedWithReports.end(), number),
                                      removedWithReports.end());
            devices.erase (d);
        }
    }
    else if (wasFull && roomSignal >= 0)
    {
        eventfd_write (roomSignal, 1); // the bus thread resumes reading this device
    }

    return true;
}

bool DeviceTable::write (int number, const uint8_t* data, uint32_t length)
{
    std::lock_guard<std::mutex> l (lock);
    auto d = devices.find (number);

    if (d == devices.end() || d->second.socket < 0)
        return false;

    // Never waits: a device that does not read cannot hold up the caller.
    const auto sent = send (d->second.socket, data, length, MSG_DONTWAIT | MSG_NOSIGNAL);
    return sent == (ssize_t) length;
}
} // namespace morvantx

#pragma once

// A device on the bus whose every packet the test sends itself (library tests, bus fuzz target).

#include "platform/morvantx/DeviceBus.h"

#include <poll.h>
#include <string>
#include <utility>
#include <vector>

namespace buspeers
{
using Bytes = std::vector<uint8_t>;

inline bool ready (int fd, short events, int timeoutMs)
{
    pollfd p { fd, events, 0 };
    return fd >= 0 && poll (&p, 1, timeoutMs) > 0 && (p.revents & (events | POLLHUP)) != 0;
}

/** Laid out by hand (magic, version 1, type, two firmware words): the library's own is no oracle. */
inline Bytes greeting (uint8_t type) { return { 'M', 'V', 'T', 'X', 1, 0, 0, 0, type, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0 }; }

struct FakeDevice
{
    std::string path;
    int listener = -1, connection = -1;

    FakeDevice (const std::string& busFolder, const std::string& name)
        : path (busFolder + "/" + name)
    {
        // Listening under a hidden name before it appears, as a device does.
        const auto hidden = busFolder + "/." + name;
        sockaddr_un address;
        socklen_t length;
        listener = socket (AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);

        if (!(devicebus::makeAddress (hidden, address, length) && bind (listener, (sockaddr*) &address, length) == 0 && listen (listener, 4) == 0 && rename (hidden.c_str(), path.c_str()) == 0))
            unplug();
    }

    ~FakeDevice() { unplug(); }

    /** Takes the library's connection, waiting up to timeoutMs for it. */
    bool accept (int timeoutMs)
    {
        return ready (listener, POLLIN, timeoutMs) && (connection = accept4 (listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0;
    }

    bool send (const Bytes& packet)
    {
        return ::send (connection, packet.data(), packet.size(), MSG_NOSIGNAL | MSG_DONTWAIT) == (ssize_t) packet.size();
    }

    /** Closes the connection but leaves the socket file, as a killed device does. */
    void hangUp() { close (std::exchange (connection, -1)); }

    /** Leaves the bus: the file first, then both sockets. */
    void unplug()
    {
        if (listener >= 0)
            unlink (path.c_str());

        close (std::exchange (listener, -1));
        hangUp();
    }
};
} // namespace buspeers

#pragma once

// Raw ends of the device bus for tests: a hand-driven device (for bad peers) and a hand-driven
// host (for testing devsim without the library).

#include "platform/morvantx/DeviceBus.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <poll.h>
#include <string>
#include <vector>

namespace buspeers
{
using Bytes = std::vector<uint8_t>;

inline bool ready (int fd, short events, int timeoutMs)
{
    pollfd p { fd, events, 0 };
    return poll (&p, 1, timeoutMs) > 0 && (p.revents & (events | POLLHUP)) != 0;
}

inline bool closedByPeer (int fd, int timeoutMs) { return ready (fd, POLLRDHUP, timeoutMs); }

/** A 1024-byte report starting with the given bytes. */
inline Bytes report (std::initializer_list<uint8_t> head)
{
    Bytes r (devicebus::maxReportSize, 0);
    std::copy (head.begin(), head.end(), r.begin());
    return r;
}

/** A device socket in the bus folder whose every packet the test sends itself. */
struct FakeDevice
{
    std::string path;
    int listener = -1, connection = -1;

    FakeDevice (const std::string& busFolder, const std::string& name)
        : path (busFolder + "/" + name)
    {
        // Bound under a hidden name and listening before it appears, as devsim does.
        const auto hidden = busFolder + "/." + name;
        sockaddr_un address;
        socklen_t length;
        listener = socket (AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);

        if (listener >= 0 && !(devicebus::makeAddress (hidden, address, length) && bind (listener, reinterpret_cast<sockaddr*> (&address), length) == 0 && listen (listener, 4) == 0 && rename (hidden.c_str(), path.c_str()) == 0))
            unplug();
    }

    FakeDevice (const FakeDevice&) = delete;
    ~FakeDevice() { unplug(); }

    /** Takes the library's connection, waiting up to timeoutMs for it. */
    bool accept (int timeoutMs = 0)
    {
        return listener >= 0 && ready (listener, POLLIN, timeoutMs) && (connection = accept4 (listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0;
    }

    bool send (const Bytes& packet)
    {
        return ::send (connection, packet.data(), packet.size(), MSG_NOSIGNAL | MSG_DONTWAIT) == (ssize_t) packet.size();
    }

    bool greet (uint32_t type, uint32_t firmware)
    {
        devicebus::Greeting g;
        g.typeCode = type;
        g.firmware[0] = firmware;
        uint8_t packet[devicebus::greetingSize];
        devicebus::encodeGreeting (g, packet);
        return send (Bytes (packet, packet + sizeof (packet)));
    }

    /** Leaves the bus: removes the file and closes both sockets. */
    void unplug()
    {
        if (listener >= 0)
        {
            unlink (path.c_str());
            close (listener);
        }

        if (connection >= 0)
            close (connection);

        listener = connection = -1;
    }
};

/** Accepts and greets (with this type and their index as firmware) the candidates that the
    library connects to, in whatever order, until wanted are greeted or timeoutMs have passed. */
inline std::vector<FakeDevice*> acceptAndGreet (std::vector<FakeDevice*> candidates, size_t wanted, uint32_t type, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);
    std::vector<FakeDevice*> greeted;

    while (greeted.size() < wanted && !candidates.empty() && std::chrono::steady_clock::now() < end)
    {
        std::vector<pollfd> fds;

        for (auto* d : candidates)
            fds.push_back ({ d->listener, POLLIN, 0 });

        poll (fds.data(), fds.size(), 50);

        for (size_t i = fds.size(); i-- > 0;)
        {
            if ((fds[i].revents & POLLIN) != 0 && candidates[i]->accept())
            {
                candidates[i]->greet (type, (uint32_t) greeted.size());
                greeted.push_back (candidates[i]);
                candidates.erase (candidates.begin() + (long) i);
            }
        }
    }

    return greeted;
}

//==============================================================================
/** The host side of one greeted connection to a device socket. */
struct RawHost
{
    int socket = -1;
    devicebus::Greeting greeting;

    explicit RawHost (const std::string& socketPath)
    {
        sockaddr_un address;
        socklen_t length;
        uint8_t packet[64];
        socket = ::socket (AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);

        if (socket >= 0 && !(devicebus::makeAddress (socketPath, address, length) && connect (socket, reinterpret_cast<sockaddr*> (&address), length) == 0 && ready (socket, POLLIN, 2000) && devicebus::decodeGreeting (packet, (size_t) std::max<ssize_t> (0, recv (socket, packet, sizeof (packet), 0)), greeting)))
        {
            close (socket);
            socket = -1;
        }
    }

    RawHost (const RawHost&) = delete;
    ~RawHost()
    {
        if (socket >= 0)
            close (socket);
    }

    /** Sends one report and waits for the reply: nothing on time-out or when the device has
        closed the connection, else the packet (which may be empty or longer than a report). */
    std::optional<Bytes> exchange (const Bytes& request, int timeoutMs)
    {
        if (send (socket, request.data(), request.size(), MSG_NOSIGNAL) != (ssize_t) request.size() || !ready (socket, POLLIN, timeoutMs))
            return std::nullopt;

        Bytes reply (4096);
        const auto n = recv (socket, reply.data(), reply.size(), MSG_DONTWAIT);

        // recv gives 0 for an empty packet and at the end of the connection alike.
        if (n < 0 || (n == 0 && closedByPeer (socket, 0)))
            return std::nullopt;

        reply.resize ((size_t) n);
        return reply;
    }
};
} // namespace buspeers

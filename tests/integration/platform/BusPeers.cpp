#include "BusPeers.h"

#include <algorithm>
#include <chrono>
#include <poll.h>

namespace buspeers
{
namespace
{
    bool waitReadable (int fd, int timeoutMs)
    {
        pollfd p{fd, POLLIN, 0};
        return poll (&p, 1, timeoutMs) > 0;
    }
} // namespace

FakeDevice::FakeDevice (const std::string& busFolder, const std::string& name)
    : path (busFolder + "/" + name)
{
    // Bound under a hidden name and listening before it appears, as devsim does.
    const std::string hidden = busFolder + "/." + name;
    sockaddr_un address;
    socklen_t length;
    listener = socket (AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);

    if (listener < 0 || !devicebus::makeAddress (hidden, address, length) || bind (listener, reinterpret_cast<sockaddr*> (&address), length) != 0 || listen (listener, 4) != 0 || rename (hidden.c_str(), path.c_str()) != 0)
    {
        if (listener >= 0)
            close (listener);

        listener = -1;
    }
}

FakeDevice::~FakeDevice()
{
    unplug();
}

bool FakeDevice::accept (int timeoutMs)
{
    return listener >= 0 && waitReadable (listener, timeoutMs) && acceptNow();
}

bool FakeDevice::acceptNow()
{
    connected = accept4 (listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    return connected >= 0;
}

bool FakeDevice::send (const Bytes& packet)
{
    return ::send (connected, packet.data(), packet.size(), MSG_NOSIGNAL | MSG_DONTWAIT) == (ssize_t) packet.size();
}

bool FakeDevice::sendGreeting (uint32_t type, uint32_t firmware)
{
    devicebus::Greeting g;
    g.typeCode = type;
    g.firmware[0] = firmware;
    uint8_t packet[devicebus::greetingSize];
    devicebus::encodeGreeting (g, packet);
    return send (Bytes (packet, packet + sizeof (packet)));
}

void FakeDevice::unplug()
{
    if (listener >= 0)
    {
        unlink (path.c_str());
        close (listener);
    }

    if (connected >= 0)
        close (connected);

    listener = connected = -1;
}

std::vector<FakeDevice*> acceptAndGreet (std::vector<FakeDevice*> candidates, size_t wanted, uint32_t type, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);
    std::vector<FakeDevice*> greeted;

    while (greeted.size() < wanted && !candidates.empty() && std::chrono::steady_clock::now() < end)
    {
        std::vector<pollfd> fds;

        for (auto* d : candidates)
            fds.push_back ({d->listenSocket(), POLLIN, 0});

        if (poll (fds.data(), fds.size(), 50) <= 0)
            continue;

        for (size_t i = fds.size(); i-- > 0;)
        {
            if ((fds[i].revents & POLLIN) != 0 && candidates[i]->acceptNow())
            {
                candidates[i]->sendGreeting (type, (uint32_t) greeted.size());
                greeted.push_back (candidates[i]);
                candidates.erase (candidates.begin() + (long) i);
            }
        }
    }

    return greeted;
}

//==============================================================================
RawHost::RawHost (const std::string& socketPath)
{
    sockaddr_un address;
    socklen_t length;
    socket = ::socket (AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    uint8_t packet[64];

    if (socket < 0 || !devicebus::makeAddress (socketPath, address, length) || connect (socket, reinterpret_cast<sockaddr*> (&address), length) != 0 || !waitReadable (socket, 2000) || !devicebus::decodeGreeting (packet, (size_t) std::max<ssize_t> (0, recv (socket, packet, sizeof (packet), 0)), greet))
    {
        if (socket >= 0)
            close (socket);

        socket = -1;
    }
}

RawHost::~RawHost()
{
    if (socket >= 0)
        close (socket);
}

std::optional<Bytes> RawHost::exchange (const Bytes& request, int timeoutMs)
{
    if (send (socket, request.data(), request.size(), MSG_NOSIGNAL) != (ssize_t) request.size() || !waitReadable (socket, timeoutMs))
        return std::nullopt;

    Bytes reply (4096);
    const auto n = recv (socket, reply.data(), reply.size(), MSG_DONTWAIT);

    if (n < 0)
        return std::nullopt;

    // recv gives 0 for an empty packet and at the end of the connection alike.
    if (n == 0)
    {
        pollfd p{socket, POLLRDHUP, 0};

        if (poll (&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLRDHUP)) != 0)
            return std::nullopt;
    }

    reply.resize ((size_t) n);
    return reply;
}

bool RawHost::waitForClose (int timeoutMs)
{
    pollfd p{socket, POLLRDHUP, 0};
    return poll (&p, 1, timeoutMs) > 0 && (p.revents & (POLLHUP | POLLRDHUP)) != 0;
}

Bytes report (std::initializer_list<uint8_t> head)
{
    Bytes r (devicebus::maxReportSize, 0);
    std::copy (head.begin(), head.end(), r.begin());
    return r;
}
} // namespace buspeers

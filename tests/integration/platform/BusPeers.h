#pragma once

// Raw ends of the device bus for tests: a hand-driven device (for bad peers) and a hand-driven
// host (for testing devsim without the library).

#include "platform/morvantx/DeviceBus.h"

#include <optional>
#include <string>
#include <vector>

namespace buspeers
{
using Bytes = std::vector<uint8_t>;

/** A device socket in the bus folder whose every packet the test sends itself. */
class FakeDevice
{
public:
    FakeDevice (const std::string& busFolder, const std::string& name);
    ~FakeDevice();

    bool isListening() const { return listener >= 0; }
    int listenSocket() const { return listener; }

    /** Waits for the library to connect; false on time-out. */
    bool accept (int timeoutMs);

    /** Takes a connection that is already waiting (see acceptAll). */
    bool acceptNow();

    /** Sends one packet on the accepted connection without waiting. */
    bool send (const Bytes& packet);
    bool sendGreeting (uint32_t type, uint32_t firmware);

    int connection() const { return connected; }

    /** Leaves the bus: removes the file and closes both sockets. */
    void unplug();

private:
    std::string path;
    int listener = -1, connected = -1;
};

/** Accepts a connection on the devices that the library connects to, in whatever order it
    does, and greets each with this type (and its index as firmware version), until wanted
    devices are greeted or timeoutMs have passed. Returns the devices greeted. */
std::vector<FakeDevice*> acceptAndGreet (std::vector<FakeDevice*> candidates, size_t wanted, uint32_t type, int timeoutMs);

//==============================================================================
/** The host side of one connection to a device socket. */
class RawHost
{
public:
    explicit RawHost (const std::string& socketPath);
    ~RawHost();

    bool isConnected() const { return socket >= 0; }
    const devicebus::Greeting& greeting() const { return greet; }

    /** Sends one report and waits for the reply: nothing on time-out or when the device has
        closed the connection, else the packet (which may be empty or longer than a report). */
    std::optional<Bytes> exchange (const Bytes& report, int timeoutMs);

    /** True when the device has closed the connection within timeoutMs. */
    bool waitForClose (int timeoutMs);

private:
    int socket = -1;
    devicebus::Greeting greet;
};

/** A 1024-byte report starting with the given bytes. */
Bytes report (std::initializer_list<uint8_t> head);
} // namespace buspeers

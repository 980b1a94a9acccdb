#pragma once

// The local device bus: the wire format and the bus folder, shared by the device library and
// by devsim. Header-only and free of JUCE, so that both sides compile the same definitions.
//
// The bus is a folder. Each device is a listening Unix socket of type SOCK_SEQPACKET in it.
// One packet is one report of at most maxReportSize bytes. On connect the device sends one
// greeting packet (the layout below) before any report.
//
// A device appears by binding its socket under a hidden name (starting with '.'), listening, and
// then renaming it to its visible name, so that a watcher never meets a socket that is not yet
// listening. Hidden names are never connected to.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace devicebus
{
/** The largest report; a longer packet is not a report. */
constexpr uint32_t maxReportSize = 1024;

/** How many firmware version words a greeting carries. */
constexpr int firmwareWordCount = 2;

//==============================================================================
/** The greeting: 20 bytes, little-endian.

    offset  size  content
    0       4     magic "MVTX"
    4       2     wire format version (1)
    6       2     0
    8       4     device type code (nonzero)
    12      4     firmware version word 0 (the version, e.g. 123 for 1.23)
    16      4     firmware version word 1
*/
constexpr uint32_t greetingSize = 20;
constexpr uint16_t wireVersion = 1;

struct Greeting
{
    uint32_t typeCode = 0;
    uint32_t firmware[firmwareWordCount] = {};
};

inline void putLE32 (uint8_t* p, uint32_t v)
{
    p[0] = (uint8_t) v;
    p[1] = (uint8_t) (v >> 8);
    p[2] = (uint8_t) (v >> 16);
    p[3] = (uint8_t) (v >> 24);
}

inline uint32_t getLE32 (const uint8_t* p)
{
    return (uint32_t) p[0] | ((uint32_t) p[1] << 8) | ((uint32_t) p[2] << 16) | ((uint32_t) p[3] << 24);
}

inline void encodeGreeting (const Greeting& g, uint8_t (&out)[greetingSize])
{
    std::memset (out, 0, sizeof (out));
    std::memcpy (out, "MVTX", 4);
    out[4] = (uint8_t) wireVersion;
    out[5] = (uint8_t) (wireVersion >> 8);
    putLE32 (out + 8, g.typeCode);
    putLE32 (out + 12, g.firmware[0]);
    putLE32 (out + 16, g.firmware[1]);
}

/** True when the packet is a well-formed greeting; anything else is a malformed one. */
inline bool decodeGreeting (const uint8_t* packet, size_t size, Greeting& g)
{
    if (packet == nullptr || size != greetingSize || std::memcmp (packet, "MVTX", 4) != 0)
        return false;

    if ((uint16_t) (packet[4] | (packet[5] << 8)) != wireVersion || packet[6] != 0 || packet[7] != 0)
        return false;

    g.typeCode = getLE32 (packet + 8);
    g.firmware[0] = getLE32 (packet + 12);
    g.firmware[1] = getLE32 (packet + 16);
    return g.typeCode != 0;
}

//==============================================================================
/** The bus folder: $MORVANTX_BUS, else $XDG_RUNTIME_DIR/morvantx, else /tmp/morvantx-<uid>. */
inline std::string busDirectory()
{
    if (const char* bus = std::getenv ("MORVANTX_BUS"); bus != nullptr && *bus != 0)
        return bus;

    if (const char* runtime = std::getenv ("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime != 0)
        return std::string (runtime) + "/morvantx";

    return "/tmp/morvantx-" + std::to_string ((unsigned long) getuid());
}

/** Checks that the bus folder is a real folder of this user that nobody else can write to:
    sockets planted by another user must never be taken for devices. On failure, error says why.
*/
inline bool checkBusDirectory (const std::string& dir, std::string& error)
{
    struct stat st;

    if (lstat (dir.c_str(), &st) != 0)
    {
        error = "cannot inspect " + dir + ": " + std::strerror (errno);
        return false;
    }

    if (!S_ISDIR (st.st_mode))
        error = dir + " is not a folder";
    else if (st.st_uid != getuid())
        error = dir + " belongs to another user";
    else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        error = dir + " is writable by other users";
    else
        return true;

    return false;
}

/** Creates the bus folder (mode 0700) when it is missing, and checks it (checkBusDirectory). */
inline bool prepareBusDirectory (const std::string& dir, std::string& error)
{
    if (dir.empty())
    {
        error = "empty bus folder name";
        return false;
    }

    if (mkdir (dir.c_str(), 0700) != 0 && errno != EEXIST)
    {
        error = "cannot create " + dir + ": " + std::strerror (errno);
        return false;
    }

    return checkBusDirectory (dir, error);
}

/** Fills a Unix socket address; false when the path does not fit. */
inline bool makeAddress (const std::string& path, sockaddr_un& address, socklen_t& length)
{
    std::memset (&address, 0, sizeof (address));
    address.sun_family = AF_UNIX;

    if (path.empty() || path.size() >= sizeof (address.sun_path))
        return false;

    std::memcpy (address.sun_path, path.data(), path.size());
    length = (socklen_t) (offsetof (sockaddr_un, sun_path) + path.size() + 1);
    return true;
}

/** True for names that a watcher connects to: visible, not "." or "..". */
inline bool isDeviceName (const char* name)
{
    return name != nullptr && name[0] != 0 && name[0] != '.';
}
} // namespace devicebus

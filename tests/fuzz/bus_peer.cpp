// A peer on the device bus that sends what the input says, through the real device library: it
// is listed exactly when its greeting is well formed, its reports of 1 to 1024 bytes arrive once
// and in order, and a read never writes past the length it is given.
//
// Input: a length byte and that many greeting bytes, then three bytes per packet: its length
// (little-endian, 11 bits; the contents follow from its index) and the length to read it with
// (times 8, 0 for 1024).

#include "platform/morvantx/morvantx.h"
#include "tests/integration/platform/BusPeers.h"

#include <algorithm>
#include <chrono>
#include <thread>

using namespace buspeers;

namespace
{
std::string busFolder;

void check (bool condition)
{
    if (!condition)
        std::abort();
}

template <typename Condition>
bool within (int ms, Condition condition)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (ms);

    while (!condition())
        if (std::chrono::steady_clock::now() > end)
            return false;
        else
            std::this_thread::sleep_for (std::chrono::microseconds (20));

    return true;
}

int listedDevice()
{
    int numbers[128];
    return HID_EnumHIDno (numbers) == 1 ? numbers[0] : -1;
}

uint32_t le32 (const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (uint32_t) b[at + 3] << 24; }
} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    char folder[] = "/tmp/fuzz-bus-XXXXXX";
    busFolder = mkdtemp (folder);
    setenv ("MORVANTX_BUS", folder, 1);
    HID_Initialize (nullptr);
    check (HID_Start() == 1);
    std::atexit ([]
                 { HID_Stop(); rmdir (busFolder.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    static int serial = 0;

    if (size == 0)
        return 0;

    const Bytes hello (data + 1, data + 1 + std::min<size_t> (data[0], size - 1));
    FakeDevice peer (busFolder, "peer" + std::to_string (++serial));
    check (peer.accept (5000) && peer.send (hello));

    // The verdict: listed, or the connection closed by the library.
    int device = -1;
    check (within (5000, [&]
                   { return (device = listedDevice()) > 0 || closedByPeer (peer.connection, 0); }));
    const bool wellFormed = hello.size() == 20 && std::equal (hello.begin(), hello.begin() + 8, "MVTX\1\0\0\0") && le32 (hello, 8) != 0;
    check ((device > 0) == wellFormed);

    if (!wellFormed)
        return 0;

    uint32_t words[2] = {};
    HID_GetFirmwareVersion (le32 (hello, 8), words, 1);
    check (HID_GetDeviceType (device) == le32 (hello, 8) && words[0] == le32 (hello, 12));

    std::vector<Bytes> packets, reports;
    std::vector<uint32_t> readLengths;

    for (size_t i = 1 + hello.size(); i + 3 <= size && packets.size() < 500; i += 3)
    {
        Bytes packet ((size_t) (data[i] | (data[i + 1] & 7) << 8));

        for (size_t k = 0; k < packet.size(); ++k)
            packet[k] = (uint8_t) (packets.size() * 13 + k * 7);

        packets.push_back (packet);

        if (!packet.empty() && packet.size() <= 1024)
        {
            reports.push_back (packet);
            readLengths.push_back (data[i + 2] == 0 ? 1024u : data[i + 2] * 8u);
        }
    }

    // Sends while the connection takes them and reads between, so a full queue must make room.
    size_t sent = 0, read = 0;
    check (within (10000, [&]
                   {
        while (sent < packets.size() && peer.send (packets[sent]))
            ++sent;

        for (uint8_t buffer[2048 + 64]; read < reports.size(); ++read)
        {
            uint32_t length = readLengths[read];
            std::fill (std::begin (buffer), std::end (buffer), 0xEE);

            if (HID_Input (device, buffer, &length) == 0)
                break;

            const auto& r = reports[read];
            check (length == std::min<size_t> (readLengths[read], r.size()) && std::equal (buffer, buffer + length, r.begin()));
            check (std::all_of (buffer + length, std::end (buffer), [] (uint8_t b) { return b == 0xEE; }));
        }

        return sent == packets.size() && read == reports.size(); }));

    // Once it has left, nothing more is to be read: no report came twice.
    peer.unplug();
    check (within (5000, []
                   { return listedDevice() < 0; }));
    uint8_t buffer[1024];
    uint32_t length = sizeof (buffer);
    check (HID_Input (device, buffer, &length) == 0);
    return 0;
}

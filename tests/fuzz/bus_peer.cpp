// A bus peer sends what the input says (a length byte and the greeting; per packet two length bytes,
// 11 bits, and the length to read it with, times 8). It is listed exactly when its greeting is well
// formed, its reports of 1 to 1024 bytes arrive once and in order, no read writes past its length.

#include "integration/platform/BusPeers.h"
#include "platform/morvantx/morvantx.h"
#include "support/DevsimProcess.h"

#include <algorithm>
#include <chrono>
#include <thread>

using namespace buspeers;

namespace
{
void check (bool condition) { condition ? void() : std::abort(); }

template <typename Condition>
bool within (int ms, Condition condition)
{
    for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (ms); !condition(); std::this_thread::sleep_for (std::chrono::microseconds (20)))
        if (std::chrono::steady_clock::now() > end)
            return false;

    return true;
}

int listedDevice()
{
    int numbers[128];
    return HID_EnumHIDno (numbers) == 1 ? numbers[0] : -1;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    static testsupport::PrivateBus bus;
    static bool started = HID_Initialize (nullptr) && HID_Start();
    static int serial = 0;
    check (started);
    const Bytes hello (data + std::min<size_t> (size, 1), data + std::min<size_t> (size, 1 + (size > 0 ? data[0] : 0)));
    FakeDevice peer (bus.path(), "peer" + std::to_string (++serial));
    check (peer.accept (5000) && peer.send (hello));

    // The verdict: listed, or the connection closed by the library.
    int device = -1;
    check (within (5000, [&]
                   { return (device = listedDevice()) > 0 || ready (peer.connection, POLLRDHUP, 0); }));
    const bool wellFormed = hello.size() == 20 && std::equal (hello.begin(), hello.begin() + 8, "MVTX\1\0\0\0") && (hello[8] | hello[9] | hello[10] | hello[11]) != 0;
    check ((device > 0) == wellFormed);

    std::vector<Bytes> packets;
    std::vector<std::pair<Bytes, uint32_t>> reports; // and the length each is read with

    for (size_t i = 1 + hello.size(); wellFormed && i + 3 <= size && packets.size() < 500; i += 3)
    {
        packets.emplace_back ((size_t) (data[i] | (data[i + 1] & 7) << 8), (uint8_t) packets.size());

        if (!packets.back().empty() && packets.back().size() <= 1024)
            reports.push_back ({ packets.back(), data[i + 2] == 0 ? 1024u : data[i + 2] * 8u });
    }

    // Sends while the connection takes them and reads between, so a full queue must make room.
    size_t sent = 0, read = 0;
    check (within (10000, [&]
                   {
        while (sent < packets.size() && peer.send (packets[sent]))
            ++sent;

        for (uint8_t buffer[2048 + 64]; read < reports.size(); ++read)
        {
            const auto& [report, wanted] = reports[read];
            uint32_t length = wanted;
            std::fill (std::begin (buffer), std::end (buffer), 0xEE);

            if (HID_Input (device, buffer, &length) == 0)
                break;

            check (length == std::min<size_t> (wanted, report.size()) && std::equal (buffer, buffer + length, report.begin()));
            check (std::all_of (buffer + length, std::end (buffer), [] (uint8_t b) { return b == 0xEE; }));
        }

        return sent == packets.size() && read == reports.size(); }));

    // Once it has left, nothing more is to be read: no report came twice.
    peer.unplug();
    uint8_t buffer[1024];
    uint32_t length = sizeof (buffer);
    check (within (5000, []
                   { return listedDevice() < 0; }) &&
           HID_Input (device, buffer, &length) == 0);
    return 0;
}

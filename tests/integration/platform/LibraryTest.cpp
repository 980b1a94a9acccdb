// The device library on a private bus, posting to a recording window as the program has it do,
// against peers driven by hand and against devsim.

#include "BusPeers.h"
#include "platform/morvantx/morvantx.h"
#include "support/DevsimProcess.h"
#include "support/MessageLoop.h"
#include "support/RecordingWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <random>
#include <sys/stat.h>
#include <thread>

using namespace buspeers;
using testsupport::runMessageLoopUntil;

namespace
{
constexpr UINT removalMessage = 0x401, arrivalMessage = 0x402, reportMessage = 0x403;

struct DeviceLibrary : ::testing::Test
{
    testsupport::PrivateBus bus;
    testsupport::RecordingWindow window;

    void SetUp() override
    {
        HID_Initialize (GetModuleHandleA (nullptr));
        HID_SetCallback (window.handle(), reportMessage, arrivalMessage, removalMessage);
        ASSERT_EQ (HID_Start(), 1);
    }

    void TearDown() override
    {
        HID_Stop();
        HID_SetCallback (nullptr, 0, 0, 0);
        HID_Finalize();
    }

    size_t count (UINT message) const { return window.messages (message).size(); }

    /** Runs the message loop until the n-th message of this kind; its device number, or -1. */
    int waitFor (UINT message, size_t n = 1, int timeoutMs = 10000)
    {
        if (!runMessageLoopUntil ([&]
                                  { return count (message) >= n; },
                                  timeoutMs))
            return -1;

        return (int) window.messages (message)[n - 1].wParam;
    }

    /** Greets as type 0x11 and waits for the n-th arrival. */
    int plugIn (FakeDevice& peer, size_t n = 1)
    {
        return peer.accept (10000) && peer.send (greeting (0x11)) ? waitFor (arrivalMessage, n) : -1;
    }

    static std::vector<int> listed()
    {
        int numbers[128];
        std::vector<int> result (numbers, numbers + std::max (0, HID_EnumHIDno (numbers)));
        std::sort (result.begin(), result.end());
        return result;
    }

    /** The next report, read with this length; nothing may be written past it. */
    static Bytes input (int device, uint32_t length = 1024)
    {
        Bytes buffer (length + 64, 0xA5);
        HID_Input (device, buffer.data(), &length);
        EXPECT_TRUE (std::all_of (buffer.begin() + (long) length, buffer.end(), [] (uint8_t b)
                                  { return b == 0xA5; }));
        buffer.resize (length);
        return buffer;
    }
};
} // namespace

//==============================================================================
TEST_F (DeviceLibrary, OnlyAWellFormedGreetingMakesADevice)
{
    auto changed = [] (size_t at, uint8_t value)
    {
        auto g = greeting (0x11);
        g[at] = value;
        return g;
    };

    auto tooShort = greeting (0x11), tooLong = greeting (0x11);
    tooShort.pop_back();
    tooLong.push_back (0);
    std::deque<FakeDevice> peers;

    for (const auto& bad : { changed (0, 'X'), changed (4, 2), changed (6, 1), greeting (0), tooShort, tooLong, Bytes {} })
    {
        auto& peer = peers.emplace_back (bus.path(), "bad" + std::to_string (peers.size()));
        ASSERT_TRUE (peer.accept (10000) && peer.send (bad)) << peers.size();
    }

    auto& silent = peers.emplace_back (bus.path(), "silent");
    ASSERT_TRUE (silent.accept (10000));

    for (auto& peer : peers)
        EXPECT_TRUE (closedByPeer (peer.connection, 10000)) << peer.path;

    FakeDevice good (bus.path(), "good");
    ASSERT_TRUE (good.accept (10000) && good.send (greeting (0x13, 258)));
    const int device = waitFor (arrivalMessage);
    EXPECT_EQ (count (arrivalMessage), 1u);
    EXPECT_EQ (listed(), std::vector<int> { device });
    EXPECT_EQ (HID_GetDeviceType (device), 0x13u);
    uint32_t words[2] = {};
    HID_GetFirmwareVersion (0x13, words, 1);
    EXPECT_EQ (words[0], 258u);
}

TEST_F (DeviceLibrary, OnlyPacketsOf1To1024BytesAreReportsAndAReadStopsAtItsLength)
{
    FakeDevice peer (bus.path(), "peer");
    const int device = plugIn (peer);

    for (auto& packet : { Bytes (1025, 1), Bytes { 2 }, Bytes {}, Bytes (65536, 3), Bytes (1024, 4), Bytes (700, 5) })
        ASSERT_TRUE (peer.send (packet));

    ASSERT_EQ (waitFor (reportMessage, 3), device);
    EXPECT_EQ (input (device), Bytes { 2 });
    EXPECT_EQ (input (device), Bytes (1024, 4));
    EXPECT_EQ (input (device, 16), Bytes (16, 5)) << "the rest of it is dropped:";
    EXPECT_TRUE (input (device).empty());
    EXPECT_EQ (count (reportMessage), 3u);
}

TEST_F (DeviceLibrary, AFloodIsHeldBackUntilThereIsRoomAndNothingIsLost)
{
    FakeDevice peer (bus.path(), "flood");
    const int device = plugIn (peer);
    constexpr uint32_t total = 3000;
    std::atomic<uint32_t> sent { 0 };
    std::atomic<bool> stop { false };

    std::thread flood ([&]
                       {
        for (Bytes r (1024); sent < total && ! stop;)
        {
            const uint32_t n = sent;
            std::memcpy (r.data(), &n, 4);

            if (peer.send (r))
                ++sent;
            else
                ready (peer.connection, POLLOUT, 100);
        } });

    // Nobody reads yet: the library must not take the whole flood into memory.
    EXPECT_FALSE (runMessageLoopUntil ([&]
                                       { return sent == total; },
                                       500));

    // Reading makes room, and the reports come on where they stopped.
    uint32_t next = 0;
    bool inOrder = true;
    runMessageLoopUntil ([&]
                         {
        for (auto r = input (device); ! r.empty() && inOrder; r = input (device))
            inOrder = r.size() == 1024 && std::memcmp (r.data(), &next, 4) == 0 && ++next > 0;

        return next == total || ! inOrder; },
                         60000);
    stop = true;
    flood.join();
    EXPECT_TRUE (inOrder) << "report " << next;
    EXPECT_EQ (next, total);
}

TEST_F (DeviceLibrary, AnUnsafeBusFolderIsRefused)
{
    HID_Stop();
    auto startOn = [] (const std::string& folder)
    {
        setenv ("MORVANTX_BUS", folder.c_str(), 1);
        const int started = HID_Start();
        HID_Stop();
        return started;
    };

    const auto inner = bus.file ("inner"), link = bus.file ("link");
    ASSERT_EQ (mkdir (inner.c_str(), 0700), 0);
    ASSERT_EQ (symlink (inner.c_str(), link.c_str()), 0);
    EXPECT_EQ (startOn (link), 0) << "a symbolic link";

    for (mode_t mode : { 0720, 0702 })
    {
        ASSERT_EQ (chmod (inner.c_str(), mode), 0);
        EXPECT_EQ (startOn (inner), 0) << std::oct << mode;
    }

    ASSERT_EQ (chmod (inner.c_str(), 0700), 0);

    if (getuid() == 0)
    {
        ASSERT_EQ (chown (inner.c_str(), 65534, 65534), 0);
        EXPECT_EQ (startOn (inner), 0) << "another user's";
        ASSERT_EQ (chown (inner.c_str(), 0, 0), 0);
    }

    EXPECT_EQ (startOn (inner), 1);
    struct stat st;
    EXPECT_EQ (startOn (bus.file ("missing")), 1);
    ASSERT_EQ (stat (bus.file ("missing").c_str(), &st), 0);
    EXPECT_EQ (st.st_mode & 0777, 0700u);
}

TEST_F (DeviceLibrary, ReportsSentJustBeforeLeavingStayReadable)
{
    for (bool fileRemoved : { true, false })
    {
        SCOPED_TRACE (fileRemoved ? "unplugged" : "killed, its file left behind");
        FakeDevice peer (bus.path(), fileRemoved ? "unplugged" : "killed");
        const size_t round = fileRemoved ? 1 : 2;
        const int device = plugIn (peer, round);
        ASSERT_TRUE (peer.send ({ 1 }) && peer.send ({ 2 }));
        fileRemoved ? peer.unplug() : peer.hangUp();

        ASSERT_EQ (waitFor (removalMessage, round), device);
        EXPECT_TRUE (listed().empty());
        EXPECT_EQ (HID_Write (device, greeting (1).data(), 20), 0);
        EXPECT_EQ (input (device), Bytes { 1 });
        EXPECT_EQ (input (device), Bytes { 2 });
        EXPECT_TRUE (input (device).empty());
    }
}

TEST_F (DeviceLibrary, NumbersAreNeverReusedAndNothingIsPostedAfterStop)
{
    FakeDevice a (bus.path(), "a"), b (bus.path(), "b");
    const int first = plugIn (a), second = plugIn (b, 2);
    EXPECT_EQ (listed(), (std::vector<int> { std::min (first, second), std::max (first, second) }));

    b.unplug();
    ASSERT_EQ (waitFor (removalMessage), second);
    FakeDevice again (bus.path(), "b");
    const int third = plugIn (again, 3);

    // Stopped: whatever the devices do reaches nobody.
    HID_Stop();
    HID_SetCallback (nullptr, 0, 0, 0);
    const auto stoppedAt = window.messages().size();
    a.send ({ 1 });
    a.unplug();
    again.unplug();

    // Started again, a new device is announced first and with a number of its own.
    HID_SetCallback (window.handle(), reportMessage, arrivalMessage, removalMessage);
    ASSERT_EQ (HID_Start(), 1);
    FakeDevice later (bus.path(), "later");
    const int fourth = plugIn (later, 4);
    ASSERT_EQ (window.messages().size(), stoppedAt + 1);

    std::vector<int> numbers { first, second, third, fourth };
    std::sort (numbers.begin(), numbers.end());
    EXPECT_EQ (std::unique (numbers.begin(), numbers.end()), numbers.end()) << first << second << third << fourth;
}

TEST_F (DeviceLibrary, NeverMoreThan128DevicesAreListed)
{
    std::deque<FakeDevice> peers;

    for (int i = 0; i < 130; ++i)
        peers.emplace_back (bus.path(), "peer" + std::to_string (i));

    auto greetAll = [&]
    {
        for (auto& p : peers)
            if (p.connection < 0 && p.accept (0))
                p.send (greeting (0x11));

        return count (arrivalMessage) >= 128;
    };

    ASSERT_TRUE (runMessageLoopUntil (greetAll, 30000));
    runMessageLoopUntil ([&]
                         { return greetAll() && count (arrivalMessage) > 128; },
                         500);
    int numbers[130];
    std::fill (std::begin (numbers), std::end (numbers), -7);
    EXPECT_EQ (HID_EnumHIDno (numbers), 128);
    EXPECT_EQ (numbers[128], -7);
}

//==============================================================================
TEST_F (DeviceLibrary, DevsimRefusesAnImageUnlikeItsStartReport)
{
    testsupport::DevsimProcess devsim;
    ASSERT_TRUE (devsim.start (bus.path(), { "--busy", "0" }));
    const int device = waitFor (arrivalMessage);

    auto exchange = [&] (Bytes request)
    {
        request.resize (1024);
        const auto replies = count (reportMessage);
        const auto reply = HID_Write (device, request.data(), 1024) != 0 && waitFor (reportMessage, replies + 1) == device ? input (device) : Bytes {};
        return reply.empty() ? -1 : (int) reply[0];
    };

    // CRC-16/XMODEM, byte-wise: another form than devsim's and the program's.
    auto crc = [] (const Bytes& data)
    {
        uint16_t c = 0;

        for (uint8_t b : data)
        {
            uint16_t x = (uint16_t) (((c >> 8) ^ b) & 0xFF);
            x ^= x >> 4;
            c = (uint16_t) ((c << 8) ^ (x << 12) ^ (x << 5) ^ x);
        }

        return c;
    };

    Bytes image (3000);
    std::mt19937 random (5);

    for (auto& b : image)
        b = (uint8_t) random();

    auto transfer = [&] (uint32_t size, uint16_t announcedCrc, size_t blocks)
    {
        exchange ({ 0xF0, 0, 0x07, 0xB0, 0x81, (uint8_t) size, (uint8_t) (size >> 8), 0, 0, (uint8_t) announcedCrc, (uint8_t) (announcedCrc >> 8) });
        exchange ({ 0xF1, 1 });

        for (size_t k = 0; k < blocks; ++k)
        {
            Bytes block { 0xF3, 1 };
            block.insert (block.end(), image.begin() + (long) (k * 1022), image.begin() + (long) std::min<size_t> (image.size(), k * 1022 + 1022));
            exchange (block);
        }

        return exchange ({ 0xF2 });
    };

    EXPECT_EQ (crc ({ '1', '2', '3', '4', '5', '6', '7', '8', '9' }), 0x31C3);
    const Bytes twoBlocks (image.begin(), image.begin() + 2044);

    for (int refused : { transfer (3000, crc (image), 2), transfer (2044, crc (twoBlocks), 3), transfer (3000, crc (image) ^ 0x100, 3) })
        EXPECT_TRUE (refused != 0xF7 && refused != 0xFC && refused >= 0) << refused;

    EXPECT_EQ (transfer (3000, crc (image), 3), 0xFC);
}

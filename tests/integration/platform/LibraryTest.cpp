// The device library on a private bus, posting to a window as the program has it do.

#include "BusPeers.h"
#include "platform/morvantx/morvantx.h"
#include "support/DevsimProcess.h"
#include "support/MessageLoop.h"
#include "support/RecordingWindow.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <sys/stat.h>

using namespace buspeers;

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
    int waitFor (UINT message, size_t n = 1)
    {
        const bool came = testsupport::runMessageLoopUntil ([&]
                                                            { return count (message) >= n; },
                                                            10000);
        return came ? (int) window.messages (message)[n - 1].wParam : -1;
    }

    /** Greets as type 0x11 and waits for the n-th arrival. */
    int plugIn (FakeDevice& peer, size_t n = 1)
    {
        return peer.accept (10000) && peer.send (greeting (0x11)) ? waitFor (arrivalMessage, n) : -1;
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
    // Wrong magic, wire version, reserved bytes, type 0; a byte short or long; empty; none at all.
    std::vector<Bytes> bad (7, greeting (0x11));
    bad[0][0] = 'X', bad[1][4] = 2, bad[2][6] = 1, bad[3][8] = 0;
    bad[4].pop_back(), bad[5].push_back (0), bad[6].clear();
    std::deque<FakeDevice> peers;

    for (auto& packet : bad)
        ASSERT_TRUE (peers.emplace_back (bus.path(), "bad" + std::to_string (peers.size())).accept (10000) && peers.back().send (packet));

    ASSERT_TRUE (peers.emplace_back (bus.path(), "silent").accept (10000));

    for (auto& peer : peers)
        EXPECT_TRUE (ready (peer.connection, POLLRDHUP, 10000)) << peer.path;

    FakeDevice good (bus.path(), "good");
    const int device = plugIn (good);
    int numbers[128];
    EXPECT_TRUE (HID_EnumHIDno (numbers) == 1 && numbers[0] == device);
    EXPECT_EQ (count (arrivalMessage), 1u);
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
    EXPECT_EQ (input (device, 16), Bytes (16, 5));
    EXPECT_TRUE (input (device).empty()) << "the rest of a report read short is dropped";
    EXPECT_EQ (count (reportMessage), 3u);
}

TEST_F (DeviceLibrary, AFloodIsHeldBackUntilThereIsRoomAndNothingIsLost)
{
    FakeDevice peer (bus.path(), "flood");
    const int device = plugIn (peer);
    constexpr uint32_t total = 3000;
    uint32_t sent = 0, next = 0;
    bool inOrder = true;
    auto send = [&]
    {
        Bytes r (1024);
        std::memcpy (r.data(), &sent, 4);
        return sent < total && peer.send (r) && ++sent > 0;
    };

    // Nobody reads: the library takes in a bounded part and the peer is held back.
    while (sent < total && (send() || ready (peer.connection, POLLOUT, 500)))
        continue;

    EXPECT_LT (sent, total);

    // Reading makes room, and the reports go on where they stopped.
    testsupport::runMessageLoopUntil ([&]
                                      {
        while (send())
            continue;

        for (auto r = input (device); ! r.empty() && inOrder; r = input (device))
            inOrder = r.size() == 1024 && std::memcmp (r.data(), &next, 4) == 0 && ++next > 0;

        return next == total || ! inOrder; },
                                      60000);
    EXPECT_TRUE (inOrder) << "report " << next;
    EXPECT_EQ (next, total);
}

TEST_F (DeviceLibrary, AnUnsafeBusFolderIsRefused)
{
    HID_Stop();
    const auto inner = bus.file ("inner"), link = bus.file ("link"), missing = bus.file ("missing");
    ASSERT_TRUE (mkdir (inner.c_str(), 0700) == 0 && symlink (inner.c_str(), link.c_str()) == 0);
    const uid_t me = getuid(), other = 65534;

    for (auto [folder, mode, owner, started] : std::vector<std::tuple<std::string, mode_t, uid_t, int>> {
             { link, 0700, me, 0 }, { inner, 0720, me, 0 }, { inner, 0702, me, 0 }, { inner, 0700, other, 0 }, { inner, 0700, me, 1 }, { missing, 0700, me, 1 } })
    {
        if (chmod (inner.c_str(), mode) != 0 || chown (inner.c_str(), owner, (gid_t) -1) != 0)
            continue; // another user's folder needs root to make

        setenv ("MORVANTX_BUS", folder.c_str(), 1);
        EXPECT_EQ (HID_Start(), started) << folder << " " << std::oct << mode << " " << std::dec << owner;
        HID_Stop();
    }

    struct stat st;
    ASSERT_EQ (stat (missing.c_str(), &st), 0);
    EXPECT_EQ (st.st_mode & 0777, 0700u);
}

TEST_F (DeviceLibrary, ALeavingDevicesReportsStayReadableNoNumberComesTwiceAndStopMeansSilence)
{
    std::vector<int> numbers;

    for (bool killed : { false, true }) // killed: its socket file is left behind
    {
        FakeDevice peer (bus.path(), "device");
        numbers.push_back (plugIn (peer, numbers.size() + 1));
        ASSERT_TRUE (peer.send ({ 1 }) && peer.send ({ 2 }));
        killed ? peer.hangUp() : peer.unplug();

        ASSERT_EQ (waitFor (removalMessage, numbers.size()), numbers.back());
        int listed[128];
        EXPECT_EQ (HID_EnumHIDno (listed), 0);
        EXPECT_EQ (input (numbers.back()), Bytes { 1 });
        EXPECT_EQ (input (numbers.back()), Bytes { 2 });
        EXPECT_TRUE (input (numbers.back()).empty());
    }

    // Stopped, nothing reaches the window whatever a device does; started again, a device under the
    // same name is the next thing announced.
    FakeDevice peer (bus.path(), "device");
    numbers.push_back (plugIn (peer, 3));
    HID_Stop();
    HID_SetCallback (nullptr, 0, 0, 0);
    const auto stoppedAt = window.messages().size();
    peer.send ({ 1 });
    peer.unplug();
    HID_SetCallback (window.handle(), reportMessage, arrivalMessage, removalMessage);
    ASSERT_EQ (HID_Start(), 1);
    FakeDevice again (bus.path(), "device");
    numbers.push_back (plugIn (again, 4));
    EXPECT_EQ (window.messages().size(), stoppedAt + 1);

    std::sort (numbers.begin(), numbers.end());
    EXPECT_EQ (std::unique (numbers.begin(), numbers.end()), numbers.end());
}

TEST_F (DeviceLibrary, ABusFolderRemovedAndMadeAgainIsWatchedAgain)
{
    const std::string parent = bus.parent(), away = parent + "-away";
    const uid_t me = getuid(), other = 65534;
    size_t arrivals = 0, removals = 0;
    int numbers[128];
    HID_Stop(); // the same folder by a path with "//" and "."
    setenv ("MORVANTX_BUS", (parent + "//./bus/.").c_str(), 1);
    ASSERT_EQ (HID_Start(), 1);

    // Made again or changed to this mode and owner, or (mode 0) its parent moved away: the device
    // goes and no socket put in the folder is taken, until the folder is 0700 and mine again at
    // the bus's path (or the parent is moved back); then the folder is scanned.
    for (auto [remade, mode, owner] : std::vector<std::tuple<bool, mode_t, uid_t>> {
             { true, 0700, other }, { true, 0777, me }, { false, 0702, me }, { false, 0700, other }, { false, 0, me } })
    {
        if (owner != me && geteuid() != 0)
            continue; // another user's folder needs root to make

        const auto row = std::to_string (arrivals);
        FakeDevice resident (bus.path(), "resident" + row);
        const int number = plugIn (resident, ++arrivals);

        if (remade)
            std::filesystem::remove_all (bus.path()), mkdir (bus.path().c_str(), 0700);

        ASSERT_TRUE (mode == 0 ? rename (parent.c_str(), away.c_str()) == 0 : chmod (bus.path().c_str(), mode) == 0 && chown (bus.path().c_str(), owner, (gid_t) -1) == 0);
        ASSERT_TRUE (number > 0 && waitFor (removalMessage, ++removals) == number) << row;

        FakeDevice planted (mode == 0 ? away + "/bus" : bus.path(), "planted" + row);
        EXPECT_FALSE (planted.accept (1000)) << row;
        EXPECT_EQ (HID_EnumHIDno (numbers), 0) << row;

        ASSERT_TRUE (mode == 0 ? rename (away.c_str(), parent.c_str()) == 0 : chmod (bus.path().c_str(), 0700) == 0 && chown (bus.path().c_str(), me, (gid_t) -1) == 0);
        planted.path = bus.file ("planted" + row);
        EXPECT_GT (plugIn (planted, ++arrivals), number) << row;
        planted.unplug();
        ASSERT_GT (waitFor (removalMessage, ++removals), 0) << row;
    }

    FakeDevice old (bus.path(), "old");
    const int first = plugIn (old, ++arrivals);
    std::filesystem::remove_all (bus.path()); // as rm -rf: juce::File skips the socket
    ASSERT_EQ (waitFor (removalMessage, ++removals), first);

    ASSERT_EQ (mkdir (bus.path().c_str(), 0700), 0);
    testsupport::DevsimProcess devsim;
    ASSERT_TRUE (devsim.start (bus.path()));
    const int device = waitFor (arrivalMessage, ++arrivals);
    EXPECT_TRUE (device > first && HID_EnumHIDno (numbers) == 1 && numbers[0] == device) << device;
}

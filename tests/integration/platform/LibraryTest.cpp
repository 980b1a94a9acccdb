// The device library on a private bus, posting to a recording window as the program's device
// link has it do: against real devsim processes, and against peers that do not behave.

#include "BusPeers.h"
#include "platform/morvantx/morvantx.h"
#include "support/DevsimProcess.h"
#include "support/MessageLoop.h"
#include "support/RecordingWindow.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <atomic>
#include <deque>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <thread>

using namespace buspeers;
using testsupport::DevsimProcess;
using testsupport::runMessageLoopFor;

namespace
{
constexpr UINT removalMessage = WM_USER + 1, arrivalMessage = WM_USER + 2, reportMessage = WM_USER + 3;

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

    /** Runs the message loop until n messages of this kind have come; the last one's wParam
        (the device number), or -1 on time-out. */
    int waitFor (UINT message, size_t n = 1, int timeoutMs = 5000)
    {
        if (!testsupport::runMessageLoopUntil ([&]
                                               { return count (message) >= n; },
                                               timeoutMs))
            return -1;

        return (int) window.messages (message)[n - 1].wParam;
    }

    static std::vector<int> listed()
    {
        int numbers[128];
        const int n = HID_EnumHIDno (numbers);
        return std::vector<int> (numbers, numbers + std::max (0, n));
    }

    static Bytes input (int device)
    {
        Bytes buffer (1024);
        uint32_t length = 1024;
        HID_Input (device, buffer.data(), &length);
        buffer.resize (length);
        return buffer;
    }

    /** A device that the test drives itself, greeted as type 0x11 and announced. */
    int fakeDevice (FakeDevice& peer)
    {
        return peer.accept (2000) && peer.greet (0x11, 1) ? waitFor (arrivalMessage) : -1;
    }
};

using BadPeers = DeviceLibrary;
} // namespace

//==============================================================================
TEST_F (DeviceLibrary, ADeviceIsAnnouncedListedAndTalkedTo)
{
    DevsimProcess devsim;
    const auto log = bus.file ("requests.log");
    ASSERT_TRUE (devsim.start (bus.path(), { "--type", "0x13", "--firmware", "258", "--log", log }));

    const int device = waitFor (arrivalMessage);
    ASSERT_GT (device, 0);
    EXPECT_TRUE (window.messages()[0].onMessageThread);
    EXPECT_EQ (listed(), std::vector<int> { device });
    EXPECT_EQ (HID_GetDeviceType (device), 0x13u);

    uint32_t words[2] = { 0xAAAAAAAA, 0xAAAAAAAA };
    HID_GetFirmwareVersion (0x13, words, 1);
    EXPECT_EQ (words[0], 258u);
    EXPECT_EQ (words[1], 0xAAAAAAAAu) << "one word asked for, one written";

    // A start report with a pattern behind its fields reaches the device whole.
    Bytes start = report ({ 0xF0, 0, 0x07, 0xB0, 0x01 });

    for (size_t i = 11; i < start.size(); ++i)
        start[i] = (uint8_t) (i * 31);

    ASSERT_NE (HID_Write (device, start.data(), (uint32_t) start.size()), 0);
    ASSERT_EQ (waitFor (reportMessage), device);
    std::ifstream in (log, std::ios::binary);
    EXPECT_EQ (Bytes (std::istreambuf_iterator<char> (in), {}), start);

    // The reply read into a shorter length: nothing written past it, the rest dropped.
    uint8_t buffer[16];
    std::fill (std::begin (buffer), std::end (buffer), 0x5A);
    uint32_t length = 8;
    EXPECT_EQ (HID_Input (device, buffer, &length), 1);
    EXPECT_EQ (length, 8u);
    EXPECT_EQ (buffer[0], 0xF8);
    EXPECT_EQ (Bytes (buffer + 8, buffer + 16), Bytes (8, 0x5A));
    length = 16;
    EXPECT_EQ (HID_Input (device, buffer, &length), 0);
    EXPECT_EQ (length, 0u);

    // Nonsense arguments are refused without a crash.
    EXPECT_EQ (HID_Input (device, nullptr, &length), 0);
    EXPECT_EQ (HID_Input (device, buffer, nullptr), 0);
    EXPECT_EQ (HID_Write (device, nullptr, 1024), 0);
    EXPECT_EQ (HID_Write (device, start.data(), 0), 0);
    Bytes tooLong (1025, 0xF2);
    EXPECT_EQ (HID_Write (device, tooLong.data(), 1025), 0);
    EXPECT_EQ (HID_Write (device + 1000, start.data(), 1024), 0);
    EXPECT_EQ (HID_EnumHIDno (nullptr), 0);
}

TEST_F (DeviceLibrary, ReportsArriveInOrderAndAreReadInOrder)
{
    DevsimProcess devsim;
    ASSERT_TRUE (devsim.start (bus.path(), { "--busy", "3" }));
    const int device = waitFor (arrivalMessage);
    ASSERT_GT (device, 0);

    const auto start = report ({ 0xF0, 0, 0, 0, 0x01 }), poll = report ({ 0xF2 });

    for (auto* r : { &start, &poll, &poll, &poll, &poll })
        ASSERT_NE (HID_Write (device, r->data(), 1024), 0);

    ASSERT_EQ (waitFor (reportMessage, 5), device);

    for (auto& m : window.messages (reportMessage))
        EXPECT_EQ ((int) m.wParam, device);

    for (auto [code, percent] : std::vector<std::pair<int, int>> { { 0xF8, 0 }, { 0xF7, 25 }, { 0xF7, 50 }, { 0xF7, 75 }, { 0xFC, 100 } })
    {
        const auto r = input (device);
        ASSERT_EQ (r.size(), 1024u);
        EXPECT_EQ (r[0], code);
        EXPECT_EQ (r[1], percent);
    }

    EXPECT_TRUE (input (device).empty());
}

TEST_F (DeviceLibrary, ALeavingDeviceIsAnnouncedAndCannotBeWritten)
{
    for (bool killed : { false, true })
    {
        SCOPED_TRACE (killed ? "SIGKILL" : "SIGTERM");
        const size_t round = killed ? 2 : 1;
        DevsimProcess devsim;
        ASSERT_TRUE (devsim.start (bus.path(), { "--type", "0x15" }));
        const int device = waitFor (arrivalMessage, round);
        ASSERT_GT (device, 0);

        if (killed)
            devsim.kill(); // its socket file stays behind: the closed connection tells
        else
            EXPECT_EQ (devsim.terminate(), 0);

        EXPECT_EQ (waitFor (removalMessage, round), device);
        runMessageLoopFor (50);
        EXPECT_EQ (count (removalMessage), round);
        EXPECT_TRUE (listed().empty());

        const auto r = report ({ 0xF0 });
        EXPECT_EQ (HID_Write (device, r.data(), 1024), 0);
        uint32_t words[2] = {};
        EXPECT_EQ (HID_GetFirmwareVersion (0x15, words, 2), 0);
    }
}

TEST_F (DeviceLibrary, EachDeviceHasItsOwnNumberAndNumbersAreNeverReused)
{
    DevsimProcess a, b, again;
    ASSERT_TRUE (a.start (bus.path(), { "--type", "0x11", "--firmware", "100" }));
    const int first = waitFor (arrivalMessage, 1);
    ASSERT_TRUE (b.start (bus.path(), { "--type", "0x12", "--firmware", "200" }));
    const int second = waitFor (arrivalMessage, 2);

    ASSERT_GT (first, 0);
    ASSERT_GT (second, 0);
    EXPECT_NE (first, second);
    EXPECT_EQ (listed(), (std::vector<int> { first, second }));
    EXPECT_EQ (HID_GetDeviceType (first), 0x11u);
    EXPECT_EQ (HID_GetDeviceType (second), 0x12u);
    uint32_t words[2] = {};
    HID_GetFirmwareVersion (0x12, words, 1);
    EXPECT_EQ (words[0], 200u);

    // The same device coming back is a new device.
    a.kill();
    EXPECT_EQ (waitFor (removalMessage), first);
    ASSERT_TRUE (again.start (bus.path(), { "--type", "0x11" }));
    const int third = waitFor (arrivalMessage, 3);
    EXPECT_GT (third, std::max (first, second));
    EXPECT_EQ (listed(), (std::vector<int> { second, third }));
}

TEST_F (DeviceLibrary, NothingIsPostedAfterStopAndStartingAgainWorks)
{
    DevsimProcess devsim, other;
    ASSERT_TRUE (devsim.start (bus.path(), { "--busy", "100" }));
    const int device = waitFor (arrivalMessage);
    const auto poll = report ({ 0xF2 });

    for (int i = 0; i < 10; ++i)
        HID_Write (device, poll.data(), 1024);

    HID_Stop();
    HID_SetCallback (nullptr, 0, 0, 0);
    runMessageLoopFor (100); // what was posted before the stop
    const auto before = window.messages().size();

    ASSERT_TRUE (other.start (bus.path()));
    devsim.kill();
    runMessageLoopFor (300);
    EXPECT_EQ (window.messages().size(), before);
    EXPECT_TRUE (listed().empty());

    int last = device;

    for (int round = 0; round < 5; ++round)
    {
        HID_SetCallback (window.handle(), reportMessage, arrivalMessage, removalMessage);
        ASSERT_EQ (HID_Start(), 1);
        const int number = waitFor (arrivalMessage, count (arrivalMessage) + 1);
        EXPECT_GT (number, last);
        EXPECT_EQ (listed(), std::vector<int> { number });
        last = number;
        HID_Stop();
    }
}

TEST_F (DeviceLibrary, TheBusFolderMustBeThisUsersAlone)
{
    HID_Stop();
    ASSERT_EQ (chmod (bus.path().c_str(), 0777), 0);
    EXPECT_EQ (HID_Start(), 0) << "writable by others";
    ASSERT_EQ (chmod (bus.path().c_str(), 0700), 0);

    if (getuid() == 0)
    {
        ASSERT_EQ (chown (bus.path().c_str(), 65534, 65534), 0);
        EXPECT_EQ (HID_Start(), 0) << "another user's";
        ASSERT_EQ (chown (bus.path().c_str(), 0, 0), 0);
    }

    const auto missing = bus.file ("inner");
    setenv ("MORVANTX_BUS", missing.c_str(), 1);
    EXPECT_EQ (HID_Start(), 1) << "a missing folder is made";
    struct stat st;
    ASSERT_EQ (stat (missing.c_str(), &st), 0);
    EXPECT_EQ (st.st_mode & 0777, 0700u);
}

//==============================================================================
TEST_F (BadPeers, MalformedOrMissingGreetingsAreRefused)
{
    auto greeting = [] (std::initializer_list<uint8_t> head, size_t size)
    {
        Bytes g (size, 0);
        std::copy (head.begin(), head.end(), g.begin());
        return g;
    };

    const std::vector<std::pair<std::string, Bytes>> greetings {
        { "wrong-magic", greeting ({ 'X', 'V', 'T', 'X', 1, 0, 0, 0, 0x11 }, 20) },
        { "wrong-version", greeting ({ 'M', 'V', 'T', 'X', 9, 0, 0, 0, 0x11 }, 20) },
        { "type-zero", greeting ({ 'M', 'V', 'T', 'X', 1, 0, 0, 0, 0 }, 20) },
        { "short", greeting ({ 'M', 'V', 'T', 'X', 1, 0 }, 6) },
        { "long", greeting ({ 'M', 'V', 'T', 'X', 1, 0, 0, 0, 0x11 }, 4096) },
        { "empty", {} },
    };

    std::deque<FakeDevice> peers;

    for (auto& [name, packet] : greetings)
    {
        peers.emplace_back (bus.path(), name);
        ASSERT_TRUE (peers.back().accept (2000) && peers.back().send (packet)) << name;
    }

    FakeDevice silent (bus.path(), "silent"); // connects, never greets
    ASSERT_TRUE (silent.accept (2000));

    for (auto& p : peers)
        EXPECT_TRUE (closedByPeer (p.connection, 2000)) << p.path;

    EXPECT_TRUE (closedByPeer (silent.connection, 3000)) << "no greeting in time";

    // The library carries on: a proper device after them is announced, and only it.
    DevsimProcess devsim;
    ASSERT_TRUE (devsim.start (bus.path()));
    const int device = waitFor (arrivalMessage);
    ASSERT_GT (device, 0);
    runMessageLoopFor (100);
    EXPECT_EQ (count (arrivalMessage), 1u);
    EXPECT_EQ (listed(), std::vector<int> { device });
}

TEST_F (BadPeers, OversizedAndEmptyPacketsAreNotReports)
{
    FakeDevice peer (bus.path(), "peer");
    const int device = fakeDevice (peer);
    ASSERT_GT (device, 0);

    for (auto& packet : { Bytes (1025, 0xF9), Bytes (65536, 0xF9), Bytes {}, Bytes { 'h', 'e', 'l', 'l', 'o' } })
        ASSERT_TRUE (peer.send (packet));

    ASSERT_EQ (waitFor (reportMessage), device);
    runMessageLoopFor (100);
    EXPECT_EQ (count (reportMessage), 1u);
    EXPECT_EQ (input (device), (Bytes { 'h', 'e', 'l', 'l', 'o' }));
    EXPECT_EQ (listed(), std::vector<int> { device }) << "still connected";
}

TEST_F (BadPeers, AFloodIsHeldBackWithoutLossOrStallingTheMessageThread)
{
    FakeDevice peer (bus.path(), "flood");
    const int device = fakeDevice (peer);
    ASSERT_GT (device, 0);

    // The peer numbers its reports and sends as fast as the connection takes them.
    std::atomic<bool> flooding { true };
    std::atomic<uint32_t> sent { 0 };
    std::thread flood ([&]
                       {
        Bytes r (1024, 0);

        while (flooding)
        {
            const uint32_t n = sent;
            std::memcpy (r.data(), &n, sizeof (n));

            if (peer.send (r))
                ++sent;
            else
                std::this_thread::sleep_for (std::chrono::microseconds (50));
        } });

    // Nobody reads: the library queues a bounded number and stops taking reports, while each
    // slice of the message loop returns promptly.
    auto longestSlice = std::chrono::steady_clock::duration::zero();

    for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (500); std::chrono::steady_clock::now() < end;)
    {
        const auto before = std::chrono::steady_clock::now();
        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
        longestSlice = std::max (longestSlice, std::chrono::steady_clock::now() - before);
    }

    EXPECT_EQ (count (reportMessage), 64u) << "the queue's capacity";
    EXPECT_LT (longestSlice, std::chrono::milliseconds (400));

    // Reading makes room again; the reports come in order, none lost.
    uint32_t expected = 0;
    const bool caughtUp = testsupport::runMessageLoopUntil ([&]
                                                            {
        for (auto r = input (device); ! r.empty(); r = input (device))
        {
            uint32_t n;
            std::memcpy (&n, r.data(), sizeof (n));
            EXPECT_EQ (r.size(), 1024u);
            EXPECT_EQ (n, expected++);

            if (expected == 2000)
                flooding = false;
        }

        return ! flooding && expected == sent; },
                                                            20000);
    flooding = false;
    flood.join();
    EXPECT_TRUE (caughtUp) << expected << " of " << sent;
}

TEST_F (BadPeers, NeverMoreThan128DevicesAreListed)
{
    std::deque<FakeDevice> peers;
    std::vector<FakeDevice*> candidates;

    for (int i = 0; i < 130; ++i)
        candidates.push_back (&peers.emplace_back (bus.path(), "peer" + std::to_string (i)));

    const auto greeted = acceptAndGreet (candidates, 130, 0x11, 1000);
    EXPECT_EQ (greeted.size(), 128u);
    ASSERT_GT (waitFor (arrivalMessage, 128), 0);

    int numbers[130];
    std::fill (std::begin (numbers), std::end (numbers), -7);
    EXPECT_EQ (HID_EnumHIDno (numbers), 128);
    EXPECT_EQ (numbers[128], -7);
    EXPECT_EQ (numbers[129], -7);

    // When one leaves, one of those left out gets its place.
    greeted.front()->unplug();
    ASSERT_GT (waitFor (removalMessage), 0);
    std::vector<FakeDevice*> waiting;

    for (auto* p : candidates)
        if (std::find (greeted.begin(), greeted.end(), p) == greeted.end())
            waiting.push_back (p);

    EXPECT_EQ (acceptAndGreet (waiting, 1, 0x11, 3000).size(), 1u);
    EXPECT_GT (waitFor (arrivalMessage, 129), 0);
    EXPECT_EQ (HID_EnumHIDno (numbers), 128);
}

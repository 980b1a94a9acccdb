// Peers that do not behave: the library must stay bounded, responsive and whole.

#include "BusPeers.h"
#include "LibraryFixture.h"

#include <juce_events/juce_events.h>

#include <atomic>
#include <chrono>
#include <poll.h>
#include <thread>

using buspeers::Bytes;
using buspeers::FakeDevice;
using testsupport::DevsimProcess;
using testsupport::runMessageLoopUntil;

using BadPeers = LibraryFixture;

namespace
{
bool closedByLibrary (const FakeDevice& d, int timeoutMs)
{
    pollfd p{d.connection(), POLLRDHUP, 0};
    return poll (&p, 1, timeoutMs) > 0 && (p.revents & (POLLHUP | POLLRDHUP)) != 0;
}

Bytes greetingWith (std::initializer_list<uint8_t> head, size_t size)
{
    Bytes g (size, 0);
    std::copy (head.begin(), head.end(), g.begin());
    return g;
}
} // namespace

//==============================================================================
TEST_F (BadPeers, MalformedOrMissingGreetingsAreRefused)
{
    const std::vector<std::pair<std::string, Bytes>> greetings{
        {"wrong-magic", greetingWith ({'X', 'V', 'T', 'X', 1, 0, 0, 0, 0x11}, 20)},
        {"wrong-version", greetingWith ({'M', 'V', 'T', 'X', 9, 0, 0, 0, 0x11}, 20)},
        {"type-zero", greetingWith ({'M', 'V', 'T', 'X', 1, 0, 0, 0, 0}, 20)},
        {"short", greetingWith ({'M', 'V', 'T', 'X', 1, 0}, 6)},
        {"long", greetingWith ({'M', 'V', 'T', 'X', 1, 0, 0, 0, 0x11}, 4096)},
        {"empty", {}},
    };

    std::vector<std::unique_ptr<FakeDevice>> peers;

    for (auto& [name, greeting] : greetings)
    {
        peers.push_back (std::make_unique<FakeDevice> (bus.path(), name));
        ASSERT_TRUE (peers.back()->accept (2000)) << name;
        ASSERT_TRUE (peers.back()->send (greeting)) << name;
    }

    FakeDevice silent (bus.path(), "silent"); // connects, never greets
    ASSERT_TRUE (silent.accept (2000));

    for (auto& p : peers)
        EXPECT_TRUE (closedByLibrary (*p, 2000));

    EXPECT_TRUE (closedByLibrary (silent, 3000)) << "no greeting in time";

    // The library carries on: a proper device after them is announced, and only it.
    DevsimProcess devsim;
    ASSERT_TRUE (devsim.start (bus.path()));
    const int device = waitFor (arrivalMessage);
    ASSERT_GT (device, 0);
    testsupport::runMessageLoopFor (100);
    EXPECT_EQ (count (arrivalMessage), 1u);
    EXPECT_EQ (listedDevices(), std::vector<int>{device});
}

TEST_F (BadPeers, OversizedAndEmptyPacketsAreNotReports)
{
    FakeDevice peer (bus.path(), "peer");
    ASSERT_TRUE (peer.accept (2000));
    ASSERT_TRUE (peer.sendGreeting (0x11, 1));
    const int device = waitFor (arrivalMessage);
    ASSERT_GT (device, 0);

    ASSERT_TRUE (peer.send (Bytes (1025, 0xF9)));
    ASSERT_TRUE (peer.send (Bytes (65536, 0xF9)));
    ASSERT_TRUE (peer.send (Bytes{}));
    ASSERT_TRUE (peer.send (Bytes{'h', 'e', 'l', 'l', 'o'}));

    ASSERT_EQ (waitFor (reportMessage), device);
    testsupport::runMessageLoopFor (100);
    EXPECT_EQ (count (reportMessage), 1u);

    uint8_t buffer[1024];
    uint32_t length = sizeof (buffer);
    ASSERT_EQ (HID_Input (device, buffer, &length), 1);
    EXPECT_EQ (Bytes (buffer, buffer + length), (Bytes{'h', 'e', 'l', 'l', 'o'}));
    EXPECT_EQ (listedDevices(), std::vector<int>{device}) << "still connected";
}

TEST_F (BadPeers, AFloodIsHeldBackWithoutLossOrStallingTheMessageThread)
{
    FakeDevice peer (bus.path(), "flood");
    ASSERT_TRUE (peer.accept (2000));
    ASSERT_TRUE (peer.sendGreeting (0x11, 1));
    const int device = waitFor (arrivalMessage);
    ASSERT_GT (device, 0);

    // The peer numbers its reports and sends as fast as the connection takes them.
    std::atomic<bool> flooding{true};
    std::atomic<uint32_t> sent{0};
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

    // Nobody reads: the library queues a bounded number and then stops taking reports, while
    // the message loop stays free (each slice of it returns promptly).
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
    const bool caughtUp = runMessageLoopUntil ([&]
                                               {
        uint8_t buffer[1024];
        uint32_t length = sizeof (buffer);

        while (HID_Input (device, buffer, &length) == 1)
        {
            uint32_t n;
            std::memcpy (&n, buffer, sizeof (n));
            EXPECT_EQ (length, 1024u);
            EXPECT_EQ (n, expected);
            ++expected;
            length = sizeof (buffer);

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
    std::vector<std::unique_ptr<FakeDevice>> peers;
    std::vector<FakeDevice*> candidates;

    for (int i = 0; i < 130; ++i)
    {
        peers.push_back (std::make_unique<FakeDevice> (bus.path(), "peer" + std::to_string (i)));
        candidates.push_back (peers.back().get());
    }

    const auto greeted = buspeers::acceptAndGreet (candidates, 130, 0x11, 1000);
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

    for (auto& p : peers)
        if (std::find (greeted.begin(), greeted.end(), p.get()) == greeted.end())
            waiting.push_back (p.get());

    EXPECT_EQ (buspeers::acceptAndGreet (waiting, 1, 0x11, 3000).size(), 1u);
    EXPECT_GT (waitFor (arrivalMessage, 129), 0);
    EXPECT_EQ (HID_EnumHIDno (numbers), 128);
}

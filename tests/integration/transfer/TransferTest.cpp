// Whole transfers against devsim: its request log and the image it saved are the oracle for
// every byte sent; failures must end on updateFailed after the protocol's waits.

#include <gtest/gtest.h>

#include "support/AppRig.h"

#include <sys/stat.h>

using namespace testsupport;

namespace
{
constexpr int F0 = 0xF0, F1 = 0xF1, F2 = 0xF2, F3 = 0xF3;
/** Half way from a wait of the protocol to its next shorter one (below 1 s, the 100 ms between
    status polls), which must not pass: a loaded machine may see the request late. */
double earliest (int ms)
{
    int previous = 100;

    for (int shorter : { 1000, 3000, 5000, 10000 })
        if (shorter < ms)
            previous = shorter;

    return (ms + previous) / 2.0;
}

/** Half way from a wait of the protocol to its next longer one, which must not pass. */
double latest (int ms)
{
    for (int next : { 3000, 5000, 10000, 15000 })
        if (next > ms)
            return (ms + next) / 2.0;

    return ms + 2500.0;
}

Bytes report (std::initializer_list<juce::uint8> head)
{
    Bytes r (1024, 0);
    std::copy (head.begin(), head.end(), r.begin());
    return r;
}

// What must be sent for a version-123 file before the status polls. The data reports share one
// buffer: a short last block leaves the previous block's bytes behind it.
std::vector<Bytes> expectedRequests (const Bytes& file)
{
    const auto n = (juce::uint32) file.size();
    const auto crc = crcOracle (file);
    std::vector<Bytes> requests { report ({ F0, 0, 0x07, 0xB0, 0x81, (juce::uint8) n, (juce::uint8) (n >> 8), (juce::uint8) (n >> 16),
                                            (juce::uint8) (n >> 24), (juce::uint8) crc, (juce::uint8) (crc >> 8) }),
                                  report ({ F1, 1 }) };
    Bytes data = report ({ F3, 1 });

    for (size_t at = 0; at < file.size(); at += 1022)
    {
        std::copy (file.begin() + (long) at, file.begin() + (long) std::min (at + 1022, file.size()), data.begin() + 2);
        requests.push_back (data);
    }

    return requests;
}
} // namespace

TEST (Transfer, EveryRequestByteForByteAtTheBlockBoundaries)
{
    for (size_t size : { 37, 1021, 1022, 1023, 2044, 2045, 3000 })
    {
        AppRig rig;
        const auto file = updateFile (size);
        std::vector<std::string> options { "--busy", "1" };

        if (size == 2045)
            options.push_back ("--final-fb"); // the last block's 0xFB is accepted as 0xFE

        ASSERT_TRUE (rig.start (file, options));
        ASSERT_TRUE (rig.runToEnd (30000));
        EXPECT_EQ (rig.screen(), updateComplete) << size;
        EXPECT_EQ (rig.savedImage(), file) << size;

        auto expected = expectedRequests (file);
        expected.insert (expected.end(), 2, report ({ F2 }));
        ASSERT_EQ (rig.requests().size(), expected.size()) << size;

        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ (rig.requests()[i], expected[i]) << size << ", request " << i;
    }
}

TEST (Transfer, ProgressFollowsTheBlocksThenTheStatusReplies)
{
    // Each value kept long enough to be seen; the last block's percentage never shown; over 100 shown.
    AppRig rig;
    ASSERT_TRUE (rig.start (updateFile (3000), { "--delay", "250", "--reply", "status:0,0xF7,40", "--reply", "status:1,0xF7,150", "--reply", "status:2,0xFC,100" }));
    ASSERT_TRUE (rig.runToEnd (30000));
    EXPECT_EQ (rig.screen(), updateComplete);
    EXPECT_EQ (rig.progressSeen, (std::vector<double> { 0.0, 0.33, 0.66, 0.4, 1.5, 1.0 }));
    EXPECT_EQ (rig.codes(), (std::vector<int> { F0, F1, F3, F3, F3, F2, F2, F2 }));

    // A 100 ms pause after each status reply, beside devsim's 250 ms: 350 ms apart, 250 without
    // it. Half way between, since the test sees each request some time after it was logged.
    for (int i : { 5, 6, 7 })
        EXPECT_GE (rig.msBetween ((size_t) i, i == 7 ? -1 : i + 1), 300.0) << i;
}

namespace
{
struct Failure
{
    const char* name;
    size_t fileSize;
    std::vector<std::string> options;
    std::vector<int> codes;
    std::vector<std::array<int, 3>> waits; // from request, to request (-1: the final screen), ms
    friend void PrintTo (const Failure& c, std::ostream* out) { *out << c.name; }
};

// Where a wrong code is answered the device then claims to have finished: still a failure.
const std::string finished = "status:0,0xFC,100";

const Failure failures[] = {
    { "SilentAtStart", 3000, { "--silent-from", "start" }, { F0 }, { { 0, -1, 10000 } } },
    { "WrongCodeAtStart", 3000, { "--wrong-code-at", "start" }, { F0 }, {} },
    { "SilentAtBegin", 3000, { "--silent-from", "begin" }, { F0, F1, F2 }, { { 1, 2, 10000 }, { 2, -1, 1000 } } },
    { "WrongCodeAtBegin", 3000, { "--wrong-code-at", "begin", "--reply", finished }, { F0, F1, F2 }, {} },
    { "CodeZeroAtBegin", 3000, { "--reply", "begin,0", "--reply", finished }, { F0, F1, F2 }, {} },
    { "SilentAtAMiddleBlock", 3000, { "--silent-from", "block:1" }, { F0, F1, F3, F3, F2 }, { { 3, 4, 3000 }, { 4, -1, 1000 } } },
    { "EmptyReplyAtAMiddleBlock", 3000, { "--empty-at", "block:1", "--reply", finished }, { F0, F1, F3, F3, F2 }, { { 3, 4, 3000 } } },
    { "WrongCodeAtAMiddleBlock", 3000, { "--wrong-code-at", "block:1", "--reply", finished }, { F0, F1, F3, F3, F2 }, {} },
    { "SilentAtTheLastBlock", 3000, { "--silent-from", "last" }, { F0, F1, F3, F3, F3, F2 }, { { 4, 5, 15000 }, { 5, -1, 1000 } } },
    { "SilentAtTheOnlyBlock", 500, { "--silent-from", "last" }, { F0, F1, F3, F2 }, { { 2, 3, 15000 } } },
    { "WrongCodeAtTheLastBlock", 3000, { "--wrong-code-at", "last", "--reply", finished }, { F0, F1, F3, F3, F3, F2 }, {} },
    { "F9AtTheOnlyBlock", 500, { "--wrong-code-at", "last", "--reply", finished }, { F0, F1, F3, F2 }, {} },
    { "SilentAtAStatusPoll", 3000, { "--busy", "1", "--silent-from", "status:1" }, { F0, F1, F3, F3, F3, F2, F2 }, { { 6, -1, 5000 } } },
    { "WrongCodeAtAStatusPoll", 3000, { "--wrong-code-at", "status:0" }, { F0, F1, F3, F3, F3, F2 }, {} },
    { "UnplugDuringABlock", 3000, { "--unplug-at-block", "1" }, { F0, F1, F3, F3 }, { { 3, -1, 1000 } } }, // woken at once
};

struct Transfer : ::testing::TestWithParam<Failure>
{
    AppRig rig;
};
} // namespace

TEST_P (Transfer, EndsOnTheErrorScreenAfterTheProtocolsWaits)
{
    const auto& c = GetParam();
    ASSERT_TRUE (rig.start (updateFile (c.fileSize), c.options));
    ASSERT_TRUE (rig.runToEnd (40000));
    EXPECT_EQ (rig.screen(), updateFailed);
    EXPECT_EQ (rig.codes(), c.codes);

    for (auto [from, to, ms] : c.waits)
    {
        EXPECT_GE (rig.msBetween ((size_t) from, to), earliest (ms)) << "from request " << from;
        EXPECT_LE (rig.msBetween ((size_t) from, to), latest (ms)) << "from request " << from;
    }
}

INSTANTIATE_TEST_SUITE_P (Failures, Transfer, ::testing::ValuesIn (failures), [] (const auto& info)
                          { return std::string (info.param.name); });

// Quit or the component's end wakes the thread: the block fails, one 1000 ms status poll follows.
TEST (Transfer, QuitOrDestructionDuringTheDataEndsWithinTheFailurePath)
{
    for (const bool destroy : { false, true })
    {
        AppRig rig;
        ASSERT_TRUE (rig.start (updateFile (20 * 1022), { "--delay", "100" }));
        ASSERT_TRUE (rig.runUntil ([&]
                                   { return rig.requests().size() >= 4; },
                                   20000));

        const auto before = Clock::now();
        destroy ? rig.main.reset() : MainComponentTestAccess::quit (rig.component());
        const std::chrono::duration<double, std::milli> took = Clock::now() - before;
        EXPECT_LE (took.count(), latest (1000)) << destroy;
    }
}

// Another device arriving and leaving mid-transfer touches neither the open device nor the transfer.
TEST (Transfer, OtherDevicesComingAndGoingLeaveItAlone)
{
    AppRig rig;
    const auto file = updateFile (20 * 1022);
    DevsimProcess other;
    ASSERT_TRUE (rig.start (file, { "--delay", "100" }));
    ASSERT_TRUE (rig.runUntil ([&]
                               { return rig.requests().size() >= 4; }));
    ASSERT_TRUE (other.start (rig.bus.path(), { "--type", "0x15" }));
    ASSERT_TRUE (rig.runUntil ([&]
                               { return rig.listedTypes().size() == 2; }));
    other.kill();
    ASSERT_TRUE (rig.runUntil ([&]
                               { return rig.listedTypes().size() == 1; }));
    EXPECT_LT (rig.requests().size(), 22u); // still sending data: both events reach it
    ASSERT_TRUE (rig.runToEnd (30000));
    EXPECT_EQ (rig.screen(), updateComplete);
    EXPECT_EQ (rig.savedImage(), file);
}

// Changed after start-up: no begin or data report, and the device's "finished" is no success.
TEST (Transfer, AFileChangedAfterStartUpIsNeverSent)
{
    for (const std::string how : { "Removed", "Rewritten", "Shortened", "ReplacedByAFifo" })
    {
        AppRig rig;
        auto file = updateFile (3000);
        ASSERT_TRUE (rig.prepare (file, { "--reply", finished }));
        const auto path = rig.dir.folder.getChildFile ("vn382_v123.upd");
        path.deleteFile();

        if (how == "ReplacedByAFifo") // opening it would block the thread, and quit, for ever
            mkfifo (path.getFullPathName().toRawUTF8(), 0600);
        else if (how != "Removed")
        {
            file[1500] ^= how == "Rewritten" ? 1 : 0;
            rig.dir.write ("vn382_v123.upd", how == "Shortened" ? Bytes (file.begin(), file.end() - 1) : file);
        }

        rig.pressOk();
        ASSERT_TRUE (rig.runToEnd (20000));
        EXPECT_EQ (rig.screen(), updateFailed) << how;
        EXPECT_EQ (rig.codes(), (std::vector<int> { F0, F2 })) << how;
    }
}

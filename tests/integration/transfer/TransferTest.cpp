// Whole transfers against devsim: its request log, its saved image and its own verdict are the
// oracle for every byte sent; failures must end on updateFailed after the protocol's waits.

#include <gtest/gtest.h>

#include "support/AppRig.h"

#include <sys/stat.h>

using namespace testsupport;

namespace
{
constexpr int F0 = 0xF0, F1 = 0xF1, F2 = 0xF2, F3 = 0xF3;

Bytes report (std::initializer_list<juce::uint8> head)
{
    Bytes r (1024, 0);
    std::copy (head.begin(), head.end(), r.begin());
    return r;
}

/** What must be sent for a version-123 file before the status polls. The data reports share one
    buffer: a short last block leaves the previous block's bytes behind it.
*/
std::vector<Bytes> expectedRequests (const Bytes& file)
{
    const auto size = (juce::uint32) file.size();
    const auto crc = crcOracle (file);
    std::vector<Bytes> requests { report ({ 0xF0, 0, 0x07, 0xB0, 0x81, (juce::uint8) size, (juce::uint8) (size >> 8),
                                            (juce::uint8) (size >> 16), (juce::uint8) (size >> 24),
                                            (juce::uint8) crc, (juce::uint8) (crc >> 8) }),
                                  report ({ 0xF1, 1 }) };
    Bytes data = report ({ 0xF3, 1 });

    for (size_t at = 0; at < file.size(); at += 1022)
    {
        const size_t n = std::min<size_t> (1022, file.size() - at);
        std::copy_n (file.begin() + (long) at, n, data.begin() + 2);
        requests.push_back (data);
    }

    return requests;
}

struct Transfer : ::testing::Test
{
    AppRig rig;
};
} // namespace

//==============================================================================
TEST_F (Transfer, EveryRequestByteForByteAtTheBlockBoundaries)
{
    // The oracle is written by hand too: a 1023-byte file's second report carries byte 1022,
    // then bytes 1..1021 of the first block.
    const auto f1023 = updateFile (1023);
    ASSERT_EQ (expectedRequests (f1023)[3][2], f1023[1022]);
    ASSERT_TRUE (std::equal (f1023.begin() + 1, f1023.end() - 1, expectedRequests (f1023)[3].begin() + 3));

    for (size_t size : { 37, 1021, 1022, 1023, 2044, 2045, 3000 })
    {
        SCOPED_TRACE (size);
        AppRig run;
        const auto file = updateFile (size);
        ASSERT_TRUE (run.start (file, { "--busy", "1" }));
        ASSERT_TRUE (run.runToEnd (30000));
        EXPECT_EQ (run.screen(), updateComplete);

        auto expected = expectedRequests (file);
        expected.insert (expected.end(), 2, report ({ 0xF2 }));
        const auto& got = run.requests();
        ASSERT_EQ (got.size(), expected.size());

        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ (got[i].first, expected[i]) << "request " << i;

        const auto blocks = std::to_string ((size + 1021) / 1022);
        EXPECT_EQ (run.savedImage(), file);
        EXPECT_EQ (run.devsim.readLine (5000).rfind ("transfer ok version=123 size=" + std::to_string (size) + " blocks=" + blocks + "/" + blocks, 0), 0u);
    }
}

TEST_F (Transfer, ProgressFollowsTheBlocksThenTheStatusReplies)
{
    // The delay keeps each value long enough for the message loop to see it; the last block's
    // percentage is kept but never shown, and a percentage over 100 is shown as it is.
    ASSERT_TRUE (rig.start (updateFile (3000), { "--delay", "250", "--reply", "status:0,0xF7,40", "--reply", "status:1,0xF7,150",
                                                 "--reply", "status:2,0xFC,100" }));
    ASSERT_TRUE (rig.runToEnd (30000));
    EXPECT_EQ (rig.screen(), updateComplete);
    EXPECT_EQ (rig.progressSeen, (std::vector<double> { 0.0, 0.33, 0.66, 0.4, 1.5, 1.0 }));
    EXPECT_EQ (rig.codes(), (std::vector<int> { F0, F1, F3, F3, F3, F2, F2, F2 }));

    // Each status reply is followed by a 100 ms pause, on top of devsim's 250 ms.
    for (size_t i : { 5, 6, 7 })
        EXPECT_GE (rig.msBetween (i, i == 7 ? -1 : (int) i + 1), 340.0) << i;
}

//==============================================================================
namespace
{
/** A wait from request `from` to request `to` (-1: the final screen) of the time-out ms. */
struct Wait
{
    size_t from;
    int to;
    double ms;
};

struct Failure
{
    const char* name;
    size_t fileSize;
    std::vector<std::string> options;
    std::vector<int> codes;
    std::vector<Wait> waits;
};

void PrintTo (const Failure& c, std::ostream* out) { *out << c.name; }

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
    { "SilentAtTheOnlyBlock", 500, { "--silent-from", "last" }, { F0, F1, F3, F2 }, { { 2, 3, 15000 }, { 3, -1, 1000 } } },
    { "WrongCodeAtTheLastBlock", 3000, { "--wrong-code-at", "last", "--reply", finished }, { F0, F1, F3, F3, F3, F2 }, {} },
    { "F9AtTheOnlyBlock", 500, { "--wrong-code-at", "last", "--reply", finished }, { F0, F1, F3, F2 }, {} },
    { "SilentAtAStatusPoll", 3000, { "--busy", "1", "--silent-from", "status:1" }, { F0, F1, F3, F3, F3, F2, F2 }, { { 6, -1, 5000 } } },
    { "WrongCodeAtAStatusPoll", 3000, { "--wrong-code-at", "status:0" }, { F0, F1, F3, F3, F3, F2 }, {} },
};

// Loose enough for a loaded machine, short of the next longer wait it could be mistaken for.
constexpr double early = 250, late = 2500;

struct FailureAtAStep : Transfer, ::testing::WithParamInterface<Failure>
{
};
} // namespace

TEST_P (FailureAtAStep, EndsOnTheErrorScreenAfterTheProtocolsWaits)
{
    const auto& c = GetParam();
    ASSERT_TRUE (rig.start (updateFile (c.fileSize), c.options));
    ASSERT_TRUE (rig.runToEnd (40000));
    EXPECT_EQ (rig.screen(), updateFailed);
    EXPECT_EQ (rig.codes(), c.codes);

    for (auto& w : c.waits)
    {
        EXPECT_GE (rig.msBetween (w.from, w.to), w.ms - early) << "from request " << w.from;
        EXPECT_LE (rig.msBetween (w.from, w.to), w.ms + late) << "from request " << w.from;
    }
}

INSTANTIATE_TEST_SUITE_P (Transfer, FailureAtAStep, ::testing::ValuesIn (failures),
                          [] (const auto& info)
                          { return std::string (info.param.name); });

TEST_F (Transfer, TheLastBlockAlsoAcceptsFB)
{
    ASSERT_TRUE (rig.start (updateFile (500), { "--final-fb" }));
    ASSERT_TRUE (rig.runToEnd (30000));
    EXPECT_EQ (rig.screen(), updateComplete);
}

TEST_F (Transfer, AnUnplugDuringABlockEndsTheWaitAtOnce)
{
    ASSERT_TRUE (rig.start (updateFile (3000), { "--unplug-at-block", "1" }));
    ASSERT_TRUE (rig.runToEnd (20000));
    EXPECT_EQ (rig.screen(), updateFailed);
    EXPECT_EQ (rig.codes(), (std::vector<int> { F0, F1, F3, F3 })); // the status report finds no device

    // Woken by the removal, not by the block's 3000 ms; then the 1000 ms status wait.
    EXPECT_GE (rig.msBetween (3), 1000 - early);
    EXPECT_LE (rig.msBetween (3), 2900);
}

//==============================================================================
// Quit (Cancel is the window's close path) or the component's destruction mid-transfer wake the
// thread, which fails the block and polls once with the 1000 ms wait: bounded.
TEST_F (Transfer, QuitOrDestructionDuringTheDataEndsWithinTheFailurePath)
{
    for (const bool destroy : { false, true })
    {
        AppRig run;
        ASSERT_TRUE (run.start (updateFile (20 * 1022), { "--delay", "100" }));
        ASSERT_TRUE (run.runUntilReceived (F3, 3, 20000));

        const auto before = Clock::now();

        if (destroy)
            run.main.reset();
        else
            MainComponentTestAccess::quit (run.component());

        const double ms = std::chrono::duration<double, std::milli> (Clock::now() - before).count();
        EXPECT_LE (ms, 1000 + late) << destroy;

        if (!destroy)
        {
            EXPECT_FALSE (run.component().isThreadRunning());
            ASSERT_TRUE (run.runToEnd (5000));
            EXPECT_EQ (run.screen(), updateFailed);
            EXPECT_EQ (run.codes().back(), F2);
        }
    }
}

//==============================================================================
// The file changes between start-up and Start: the device, which accepted the announcement,
// gets no begin or data report, and its claim to have finished does not make a success.
struct FileChanged : Transfer, ::testing::WithParamInterface<const char*>
{
};

TEST_P (FileChanged, SendsNothingOfTheImage)
{
    auto file = updateFile (3000);
    ASSERT_TRUE (rig.prepare (file, { "--reply", finished }));
    const std::string how = GetParam();
    const auto path = rig.dir.folder.getChildFile ("vn382_v123.upd");

    if (how != "Rewritten" && how != "Shortened")
    {
        ASSERT_TRUE (path.deleteFile());
    }

    if (how == "ReplacedByAFifo") // opening it would block the thread, and quit, for ever
    {
        ASSERT_EQ (mkfifo (path.getFullPathName().toRawUTF8(), 0600), 0);
    }

    if (how == "Rewritten")
        file[1500] ^= 0x01;
    else if (how == "Shortened")
        file.pop_back();

    if (how == "Rewritten" || how == "Shortened")
        rig.dir.write ("vn382_v123.upd", file);

    rig.pressOk();
    ASSERT_TRUE (rig.runToEnd (20000));
    EXPECT_EQ (rig.screen(), updateFailed);
    EXPECT_EQ (rig.codes(), (std::vector<int> { F0, F2 }));
}

INSTANTIATE_TEST_SUITE_P (Transfer, FileChanged, ::testing::Values ("Removed", "Rewritten", "Shortened", "ReplacedByAFifo"),
                          [] (const auto& info)
                          { return std::string (info.param); });

// Transfers that fail: each must end on updateFailed, with the requests and waits the protocol
// gives. Where the device is silent the waits are the protocol's own (up to 15 s).

#include <gtest/gtest.h>

#include "TransferRig.h"

#include <sys/stat.h>
#include <thread>

using namespace transfertest;

namespace
{
constexpr int F0 = 0xF0, F1 = 0xF1, F2 = 0xF2, F3 = 0xF3;

/** A wait between two observed moments: from request `from` to request `to` (-1: the final
    screen), expected to last the time-out ms.
*/
struct Wait
{
    size_t from;
    int to;
    double ms;
};

struct Case
{
    const char* name;
    size_t fileSize;
    std::vector<std::string> options;
    std::vector<int> codes;
    std::vector<Wait> waits;
};

void PrintTo (const Case& c, std::ostream* out) { *out << c.name; }

// The image has 3 blocks unless the case says otherwise. Where a wrong code is answered
// the device then reports finished: the transfer must stay failed.
const std::string finishedAnyway = "status:0,0xFC,100";

const Case cases[] = {
    { "SilentAtStart", 3000, { "--silent-from", "start" }, { F0 }, { { 0, -1, 10000 } } },
    { "WrongCodeAtStart", 3000, { "--wrong-code-at", "start" }, { F0 }, {} },
    { "SilentAtBegin", 3000, { "--silent-from", "begin" }, { F0, F1, F2 }, { { 1, 2, 10000 }, { 2, -1, 1000 } } },
    { "WrongCodeAtBegin", 3000, { "--wrong-code-at", "begin", "--reply", finishedAnyway }, { F0, F1, F2 }, {} },
    { "CodeZeroAtBegin", 3000, { "--reply", "begin,0", "--reply", finishedAnyway }, { F0, F1, F2 }, {} },
    { "SilentAtAMiddleBlock", 3000, { "--silent-from", "block:1" }, { F0, F1, F3, F3, F2 }, { { 3, 4, 3000 }, { 4, -1, 1000 } } },
    { "NoReplyAtAMiddleBlockThenFinished", 3000, { "--empty-at", "block:1", "--reply", finishedAnyway }, { F0, F1, F3, F3, F2 }, { { 3, 4, 3000 } } },
    { "WrongCodeAtAMiddleBlock", 3000, { "--wrong-code-at", "block:1", "--reply", finishedAnyway }, { F0, F1, F3, F3, F2 }, {} },
    { "SilentAtTheLastBlock", 3000, { "--silent-from", "last" }, { F0, F1, F3, F3, F3, F2 }, { { 4, 5, 15000 }, { 5, -1, 1000 } } },
    { "SilentAtTheOnlyBlock", 500, { "--silent-from", "last" }, { F0, F1, F3, F2 }, { { 2, 3, 15000 }, { 3, -1, 1000 } } },
    { "WrongCodeAtTheLastBlock", 3000, { "--wrong-code-at", "last", "--reply", finishedAnyway }, { F0, F1, F3, F3, F3, F2 }, {} },
    { "SilentAtAStatusPoll", 3000, { "--busy", "1", "--silent-from", "status:1" }, { F0, F1, F3, F3, F3, F2, F2 }, { { 6, -1, 5000 } } },
    { "WrongCodeAtAStatusPoll", 3000, { "--wrong-code-at", "status:0" }, { F0, F1, F3, F3, F3, F2 }, {} },
};

// Early enough for a loaded machine, short of the next longer wait it could be mistaken for.
constexpr double early = 100, late = 2500;

struct TransferFaults : ::testing::Test
{
    TransferRig rig;
};

struct FailureAtAStep : TransferFaults, ::testing::WithParamInterface<Case>
{
};
} // namespace

//==============================================================================
TEST_P (FailureAtAStep, EndsOnTheErrorScreenAfterTheProtocolsWaits)
{
    const auto& c = GetParam();
    ASSERT_TRUE (rig.start (updateFile (c.fileSize), c.options));
    ASSERT_TRUE (rig.runToEnd (40000));

    EXPECT_EQ (rig.screen(), updateFailed);
    EXPECT_EQ (rig.codes(), c.codes);

    for (auto& w : c.waits)
    {
        const double ms = rig.msBetween (w.from, w.to);
        EXPECT_GE (ms, w.ms - early) << "from request " << w.from;
        EXPECT_LE (ms, w.ms + late) << "from request " << w.from;
    }
}

INSTANTIATE_TEST_SUITE_P (Transfer, FailureAtAStep, ::testing::ValuesIn (cases),
                          [] (const auto& info)
                          { return std::string (info.param.name); });

//==============================================================================
TEST_F (TransferFaults, DeviceUnpluggedDuringABlockEndsTheWaitAtOnce)
{
    ASSERT_TRUE (rig.start (updateFile (3000), { "--unplug-at-block", "1" }));
    ASSERT_TRUE (rig.runToEnd (20000));

    EXPECT_EQ (rig.screen(), updateFailed);
    EXPECT_EQ (rig.codes(), (std::vector<int> { F0, F1, F3, F3 })); // the status report finds no device

    // Woken by the removal, not by the block's 3000 ms, then the 1000 ms status wait.
    EXPECT_GE (rig.msBetween (3), 1000 - early);
    EXPECT_LE (rig.msBetween (3), 2900);
}

//==============================================================================
// The file changes between start-up and Start: the device, which accepted the announcement,
// gets no begin or data report, and its claim to have finished does not make a success.
struct FileChanged : TransferFaults, ::testing::WithParamInterface<const char*>
{
};

TEST_P (FileChanged, SendsNothingOfTheImage)
{
    auto file = updateFile (3000);
    ASSERT_TRUE (rig.prepare (file, { "--reply", finishedAnyway }));

    const std::string how = GetParam();
    const auto path = rig.file().getFullPathName().toStdString();

    if (how == "Removed" || how == "ReplacedByAFifo")
    {
        ASSERT_TRUE (rig.file().deleteFile());
    }

    if (how == "ReplacedByAFifo") // opening it would block the thread, and quit, for ever
    {
        ASSERT_EQ (mkfifo (path.c_str(), 0600), 0);
    }

    if (how == "Rewritten")
        file[1500] ^= 0x01;
    else if (how == "Shortened")
        file.pop_back();

    if (how == "Rewritten" || how == "Shortened")
        rig.writeFile (file);

    rig.pressStart();
    ASSERT_TRUE (rig.runToEnd (20000));
    EXPECT_EQ (rig.screen(), updateFailed);
    EXPECT_EQ (rig.codes(), (std::vector<int> { F0, F2 }));
}

INSTANTIATE_TEST_SUITE_P (Transfer, FileChanged, ::testing::Values ("Removed", "Rewritten", "Shortened", "ReplacedByAFifo"),
                          [] (const auto& info)
                          { return std::string (info.param); });

//==============================================================================
TEST_F (TransferFaults, QuitDuringTheDataWaitsForTheThreadsFailurePath)
{
    ASSERT_TRUE (rig.start (updateFile (20 * 1022), { "--delay", "100" }));
    ASSERT_TRUE (rig.runUntilReceived (F3, 3, 20000));

    const auto before = Clock::now();
    rig.component().buttonClicked (MainComponentTestAccess::cancelButton (rig.component()));
    const double quitMs = std::chrono::duration<double, std::milli> (Clock::now() - before).count();
    RecordProperty ("quitMs", std::to_string ((int) quitMs));
    std::printf ("quit took %.0f ms\n", quitMs);

    EXPECT_FALSE (rig.component().isThreadRunning());

    // The woken thread fails the block, and its status poll's 1000 ms wait times out as the
    // message thread, held in quit, delivers no reply.
    EXPECT_GE (quitMs, 1000 - early);
    EXPECT_LE (quitMs, 1000 + late);

    ASSERT_TRUE (rig.runToEnd (5000));
    EXPECT_EQ (rig.screen(), updateFailed);

    const auto codes = rig.codes();
    ASSERT_GE (codes.size(), 2u);
    EXPECT_EQ (codes.back(), F2);
    EXPECT_EQ (std::count (codes.begin(), codes.end(), F2), 1);
}

TEST_F (TransferFaults, TheReplyIsReadUnderTheReportLock)
{
    ASSERT_TRUE (rig.start (updateFile (3000), { "--silent-from", "start" }));
    ASSERT_TRUE (rig.runUntilReceived (F0, 1, 10000));

    auto& c = rig.component();
    {
        const juce::ScopedLock sl (MainComponentTestAccess::rxReportLock (c));
        MainComponentTestAccess::rxReport (c)[0] = 0xF8;
        MainComponentTestAccess::replyEvent (c).signal();

        // Holding the lock is as if a report were being copied in: the thread must not read yet.
        std::this_thread::sleep_for (std::chrono::milliseconds (300));
        EXPECT_EQ (rig.codes(), (std::vector<int> { F0 }));
    }

    // Released, it reads the start acceptance and sends the begin report.
    EXPECT_TRUE (rig.runUntilReceived (F1, 1, 5000));
    MainComponentTestAccess::quit (c);
    ASSERT_TRUE (rig.runToEnd (5000));
    EXPECT_EQ (rig.screen(), updateFailed);
}

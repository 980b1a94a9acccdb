// Whole transfers that the device accepts, checked byte for byte in devsim's request log.

#include <gtest/gtest.h>

#include "TransferRig.h"

using namespace transfertest;

namespace
{
const std::string traceFormat = "... Chane time-out value (15000ms). k=%d blockSize=%d\n";

std::string traceLine (int k, int blocks)
{
    char line[100];
    std::snprintf (line, sizeof (line), traceFormat.c_str(), k, blocks);
    return line;
}

size_t occurrences (const std::string& text, const std::string& part)
{
    size_t n = 0;

    for (auto at = text.find (part); at != std::string::npos; at = text.find (part, at + 1))
        ++n;

    return n;
}

Bytes slice (const Bytes& b, size_t from, size_t to)
{
    return Bytes (b.begin() + (long) from, b.begin() + (long) to);
}

struct Transfer : ::testing::Test
{
    TransferRig rig;

    /** The requests: those expected for the file, then polls status reports. */
    void expectRequests (const Bytes& file, size_t polls)
    {
        auto expected = expectedRequests (file, 123);
        expected.insert (expected.end(), polls, report ({ 0xF2 }));
        const auto& got = rig.requests();
        ASSERT_EQ (got.size(), expected.size());

        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ (got[i].bytes, expected[i]) << "request " << i;
    }
};
} // namespace

//==============================================================================
TEST_F (Transfer, ThreeBlocksAnnouncedAndSentWithTheStaleTailInTheLastReport)
{
    const auto file = updateFile (3000);
    ASSERT_TRUE (rig.start (file, { "--busy", "1" }));
    ASSERT_TRUE (rig.runToEnd (30000));
    EXPECT_EQ (rig.screen(), updateComplete);

    const auto& r = rig.requests();
    ASSERT_EQ (rig.codes(), (std::vector<int> { 0xF0, 0xF1, 0xF3, 0xF3, 0xF3, 0xF2, 0xF2 }));

    const auto crc = crcOracle (file);
    EXPECT_EQ (slice (r[0].bytes, 0, 11), (Bytes { 0xF0, 0x00, 0x07, 0xB0, 0x81, 0xB8, 0x0B, 0x00, 0x00,
                                                   (juce::uint8) crc, (juce::uint8) (crc >> 8) }));
    EXPECT_EQ (slice (r[0].bytes, 11, 1024), Bytes (1013, 0));
    EXPECT_EQ (r[1].bytes, report ({ 0xF1, 1 }));

    for (size_t k = 0; k < 2; ++k)
        EXPECT_EQ (slice (r[2 + k].bytes, 2, 1024), slice (file, k * 1022, k * 1022 + 1022)) << "block " << k;

    const auto& last = r[4].bytes;
    EXPECT_EQ (slice (last, 0, 2), (Bytes { 0xF3, 1 }));
    EXPECT_EQ (slice (last, 2, 958), slice (file, 2044, 3000));
    EXPECT_EQ (slice (last, 958, 1024), slice (r[3].bytes, 958, 1024));
    EXPECT_EQ (slice (last, 958, 1024), slice (file, 1022 + 956, 2044));
    EXPECT_EQ (r[5].bytes, report ({ 0xF2 }));
    EXPECT_EQ (r[6].bytes, report ({ 0xF2 }));

    EXPECT_EQ (rig.devsim.readLine (2000).rfind ("transfer ok version=123 size=3000 blocks=3/3", 0), 0u);
    EXPECT_EQ (MainComponentTestAccess::lastPercent (rig.component()), 100.0);
}

TEST_F (Transfer, TwoFullBlocksAndTheTraceLineBeforeTheSecond)
{
    StderrCapture captured;
    const auto file = updateFile (2044);
    ASSERT_TRUE (rig.start (file, { "--busy", "0" }));
    ASSERT_TRUE (rig.runToEnd (30000));
    EXPECT_EQ (rig.screen(), updateComplete);
    expectRequests (file, 1);

    EXPECT_EQ (occurrences (captured.text(), "Chane time-out"), 1u);
    EXPECT_EQ (occurrences (captured.text(), traceLine (1, 2)), 1u);
}

TEST_F (Transfer, OneByteOverABlockGoesAloneInTheSecondReport)
{
    const auto file = updateFile (1023);
    ASSERT_TRUE (rig.start (file, { "--busy", "0" }));
    ASSERT_TRUE (rig.runToEnd (30000));
    EXPECT_EQ (rig.screen(), updateComplete);
    expectRequests (file, 1);

    const auto& second = rig.requests().at (3).bytes;
    EXPECT_EQ (second[2], file[1022]);
    EXPECT_EQ (slice (second, 3, 1024), slice (file, 1, 1022));
}

TEST_F (Transfer, StatusPercentagesBecomeTheProgressAfterTheDataPercentages)
{
    // The delay keeps each value long enough for the message loop to see it.
    const auto file = updateFile (3000);
    ASSERT_TRUE (rig.start (file, { "--delay", "250", "--reply", "status:0,0xF7,40", "--reply", "status:1,0xF7,80",
                                    "--reply", "status:2,0xFC,100" }));
    ASSERT_TRUE (rig.runToEnd (30000));
    EXPECT_EQ (rig.screen(), updateComplete);
    expectRequests (file, 3);

    // The last block's 100 is kept in lastPercent but never shown.
    EXPECT_EQ (rig.progressSeen, (std::vector<double> { 0.0, 0.33, 0.66, 0.4, 0.8, 1.0 }));

    // Each status reply is followed by the 100 ms pause (on top of devsim's 250 ms).
    EXPECT_GE (rig.msBetween (5, 6), 340.0);
    EXPECT_GE (rig.msBetween (6, 7), 340.0);
    EXPECT_GE (rig.msBetween (7), 340.0);
}

TEST_F (Transfer, APercentageOverAHundredIsShownUnclamped)
{
    ASSERT_TRUE (rig.start (updateFile (500), { "--delay", "150", "--busy", "1", "--reply", "status:0,0xF7,150" }));
    ASSERT_TRUE (rig.runToEnd (30000));
    EXPECT_EQ (rig.screen(), updateComplete);
    EXPECT_EQ (rig.progressSeen, (std::vector<double> { 0.0, 1.5, 1.0 }));
}

//==============================================================================
struct SingleBlockCase
{
    const char* option;
    int screen;
    friend void PrintTo (const SingleBlockCase& c, std::ostream* out) { *out << (*c.option != 0 ? c.option : "no option"); }
};

struct SingleBlock : Transfer, ::testing::WithParamInterface<SingleBlockCase>
{
};

TEST_P (SingleBlock, IsTheLastBlockAndOnlyTheFinalCodesAcceptIt)
{
    StderrCapture captured;
    const auto file = updateFile (500);
    std::vector<std::string> options { "--busy", "0" };

    if (*GetParam().option != 0)
        options.push_back (GetParam().option);

    if (GetParam().screen == updateFailed)
        options.insert (options.end(), { "last", "--reply", "status:0,0xFC,100" });

    ASSERT_TRUE (rig.start (file, options));
    ASSERT_TRUE (rig.runToEnd (30000));
    EXPECT_EQ (rig.screen(), GetParam().screen);
    expectRequests (file, 1);

    EXPECT_EQ (slice (rig.requests().at (2).bytes, 502, 1024), Bytes (522, 0));
    EXPECT_EQ (occurrences (captured.text(), traceLine (0, 1)), 1u);
}

INSTANTIATE_TEST_SUITE_P (Transfer, SingleBlock,
                          ::testing::Values (SingleBlockCase { "", updateComplete },               // 0xFE
                                             SingleBlockCase { "--final-fb", updateComplete },     // 0xFB
                                             SingleBlockCase { "--wrong-code-at", updateFailed }), // 0xF9
                          [] (const auto& info)
                          { return std::string (info.index == 0 ? "FE" : info.index == 1 ? "FB"
                                                                                         : "F9"); });

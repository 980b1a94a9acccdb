#include "AppFixture.h"

using testsupport::runMessageLoopFor;

class Reports : public AppFixture
{
protected:
    void SetUp() override
    {
        writeUpdateFile ("vn382_v123.upd", 123, 4000);
        create();
    }

    void deliver (const std::vector<juce::uint8>& bytes, juce::uint32 length)
    {
        std::fill (std::begin (link().report), std::end (link().report), (juce::uint8) 0);
        std::copy (bytes.begin(), bytes.begin() + (long) std::min<size_t> (bytes.size(), hidReportSize), link().report);
        link().reportLength = length;
        c().onReportReceived();
    }

    juce::uint8* rx() { return Access::rxReport (c()); }
};

TEST_F (Reports, ReportsOverwriteOnlyTheirOwnLengthAndWakeNobodyOffTheUpdatingScreen)
{
    std::vector<juce::uint8> full (hidReportSize, 0xAA);
    deliver (full, hidReportSize);
    EXPECT_EQ (rx()[0], 0xAA);
    EXPECT_EQ (rx()[1023], 0xAA);

    deliver ({ 0xF9, 0x28, 0x01 }, 3);
    EXPECT_EQ (rx()[0], 0xF9);
    EXPECT_EQ (rx()[1], 0x28);
    EXPECT_EQ (rx()[2], 0x01);
    EXPECT_EQ (rx()[3], 0xAA); // beyond the short report: kept

    deliver ({ 0x11 }, 0); // nothing read: nothing changes
    EXPECT_EQ (rx()[0], 0xF9);

    // Not on the updating screen: copied, but the event stays unsignalled.
    EXPECT_FALSE (Access::replyEvent (c()).wait (0));
}

TEST_F (Reports, ALengthOver1024IsCutToTheReport)
{
    std::vector<juce::uint8> full (hidReportSize, 0x5C);
    deliver (full, 5000);
    EXPECT_EQ (rx()[1023], 0x5C);
}

TEST_F (Reports, OnTheUpdatingScreenReportsAndDeviceEventsWakeTheThread)
{
    Access::screenState (c()) = updating;
    auto& event = Access::replyEvent (c());
    event.reset();

    deliver ({ 0xF8 }, 1);
    EXPECT_TRUE (event.wait (0));
    EXPECT_EQ (rx()[0], 0xF8);

    deliver ({ 0xF8 }, 0);
    EXPECT_FALSE (event.wait (0));

    // An arrival or removal zero-fills the report and wakes the thread; the screen stays.
    deliver (std::vector<juce::uint8> (hidReportSize, 0x77), hidReportSize);
    event.reset();
    c().onDeviceRemoved();
    EXPECT_TRUE (event.wait (0));
    EXPECT_TRUE (std::all_of (rx(), rx() + hidReportSize, [] (juce::uint8 b)
                              { return b == 0; }));
    runMessageLoopFor (50);
    EXPECT_EQ (screen(), updating);
    EXPECT_EQ (Access::deviceFirmwareVersion (c()), -1);
}

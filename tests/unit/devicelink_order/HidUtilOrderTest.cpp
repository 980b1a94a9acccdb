#include <gtest/gtest.h>

#include "RecordingDeviceApi.h"
#include "device/HidCtrl.h"

#include <thread>

namespace
{
using Log = std::vector<std::string>;

struct CountingHandler : HidHandler
{
    void onDeviceRemoved() override { ++removed; }
    void onDeviceArrived() override { ++arrived; }
    void onReportReceived() override { ++reports; }
    int removed = 0, arrived = 0, reports = 0;
};

struct HidUtilCalls : ::testing::Test
{
    void SetUp() override { recording::reset(); }
    void TearDown() override { EXPECT_EQ (HidUtil::instance, nullptr); }

    static LRESULT deliver (UINT message, WPARAM wParam)
    {
        return hidWindowProc (recording::windowHandle, message, wParam, 0);
    }
};

const Log windowAndLibraryStart {
    "GetModuleHandleA((nil))",
    "LoadCursorA((nil),32512)",
    "GetStockObject(4)",
    "RegisterClassA(style=0,proc=hidWindowProc,extra=0/0,inst=0x1000,icon=(nil),cursor=0x3000,brush=0x4000,menu=(nil),name=HID_WINDOW_CALLBACK)",
    "CreateWindowExA(0,HID_WINDOW_CALLBACK,HID_WINDOW_CALLBACK,0x08cf0000,0,0,10,10,(nil),(nil),0x1000,(nil))",
};
} // namespace

//==============================================================================
TEST_F (HidUtilCalls, InitAndCloseCallWindowAndLibraryInOrder)
{
    CountingHandler handler;
    recording::setDevices ({ { 4, 0x12 } });

    {
        HidUtil util;
        ASSERT_TRUE (util.init (&handler, 0));
        EXPECT_EQ (HidUtil::instance, &util);

        auto expected = windowAndLibraryStart;
        expected.insert (expected.end(), { "ShowWindow(0x2000,0)",
                                           "HID_Initialize(0x1000)",
                                           "HID_SetCallback(0x2000,0x403,0x402,0x401)",
                                           "HID_Start()" });
        EXPECT_EQ (recording::takeLog(), expected);

        ASSERT_TRUE (util.findDevice());
        recording::takeLog();

        util.close();
        EXPECT_EQ (recording::takeLog(), (Log { "HID_Stop()",
                                                "HID_SetCallback((nil),0x0,0x0,0x0)",
                                                "HID_Finalize()",
                                                "DestroyWindow(0x2000)",
                                                "UnregisterClassA(HID_WINDOW_CALLBACK,0x1000)" }));

        // Closing the link is no removal, and a second close (and the destructor) calls nothing.
        util.close();
        EXPECT_EQ (util.getFirmwareVersion(), 0u);
    }

    EXPECT_TRUE (recording::takeLog().empty());
    EXPECT_EQ (handler.removed, 0);
}

TEST_F (HidUtilCalls, WindowThatCannotBeCreatedLeavesTheLibraryUntouched)
{
    recording::setWindowCreationFails (true);
    CountingHandler handler;

    HidCtrl ctrl;
    EXPECT_FALSE (ctrl.open (&handler, 0));
    EXPECT_EQ (recording::takeLog(), windowAndLibraryStart);
    EXPECT_EQ (ctrl.connectionState, ConnectionState::disconnected);

    ctrl.close();
    EXPECT_TRUE (recording::takeLog().empty());
}

TEST_F (HidUtilCalls, InitWhileAnotherIsLiveTouchesNothing)
{
    CountingHandler first;
    HidCtrl live;
    ASSERT_TRUE (live.open (&first, 0));
    recording::takeLog();

    {
        CountingHandler second;
        HidCtrl refused;
        EXPECT_FALSE (refused.open (&second, 0));

        HidUtil util;
        EXPECT_FALSE (util.init (&second, 0));
    }

    EXPECT_TRUE (recording::takeLog().empty());

    // The live link still hears its events after the refused ones are gone.
    recording::setDevices ({ { 9, 0x15 } });
    deliver (HidUtil::hidArrivalMessage, 0);
    EXPECT_EQ (first.arrived, 1);
    EXPECT_EQ (live.firmwareVersion, 0x115u);

    live.close();
}

TEST_F (HidUtilCalls, MessagesWithNoLiveObjectDoNothingAndReturnTheDefaultResult)
{
    for (UINT message : { HidUtil::hidRemovalMessage, HidUtil::hidArrivalMessage, HidUtil::hidReportMessage, (UINT) 0x0010 })
        EXPECT_EQ (deliver (message, 0), recording::defaultResultFor (message));

    EXPECT_TRUE (recording::takeLog().empty());
}

TEST_F (HidUtilCalls, OnlyTheOpenDevicesMessagesAreHandledAndNoDeviceMeansNoLibraryCall)
{
    CountingHandler handler;
    recording::setDevices ({ { 4, 0x12 }, { 5, 0x16 } });
    juce::uint8 buffer[16] = {};

    HidUtil util;
    ASSERT_TRUE (util.init (&handler, 0));
    recording::takeLog();

    // No device open yet.
    EXPECT_EQ (util.read (buffer, sizeof (buffer)), 0u);
    EXPECT_FALSE (util.write (buffer, sizeof (buffer)));
    EXPECT_EQ (util.getFirmwareVersion(), 0u);
    deliver (HidUtil::hidRemovalMessage, 4);
    deliver (HidUtil::hidReportMessage, 4);
    EXPECT_TRUE (recording::takeLog().empty());
    EXPECT_EQ (handler.removed + handler.reports, 0);

    deliver (HidUtil::hidArrivalMessage, 0);
    EXPECT_EQ (recording::takeLog(), (Log { "HID_EnumHIDno()", "HID_GetDeviceType(4)", "HID_GetDeviceType(5)" }));
    EXPECT_EQ (handler.arrived, 1);

    // Open: a second arrival or search asks nothing; another device's messages do nothing; the
    // open device's report message leaves the reading to the owner.
    deliver (HidUtil::hidArrivalMessage, 0);
    EXPECT_TRUE (util.findDevice());
    deliver (HidUtil::hidReportMessage, 5);
    deliver (HidUtil::hidRemovalMessage, 5);
    deliver (HidUtil::hidReportMessage, 4);
    EXPECT_EQ (util.read (nullptr, 16), 0u);
    EXPECT_EQ (util.read (buffer, 0), 0u);
    EXPECT_FALSE (util.write (nullptr, 16));
    EXPECT_FALSE (util.write (buffer, 0));
    EXPECT_TRUE (recording::takeLog().empty());
    EXPECT_EQ (handler.arrived, 1);
    EXPECT_EQ (handler.reports, 1);
    EXPECT_EQ (handler.removed, 0);

    deliver (HidUtil::hidRemovalMessage, 4);
    deliver (HidUtil::hidRemovalMessage, 4);
    deliver (HidUtil::hidReportMessage, 4);
    EXPECT_EQ (handler.removed, 1);
    EXPECT_EQ (handler.reports, 1);
    EXPECT_EQ (util.getFirmwareVersion(), 0u);
    EXPECT_TRUE (recording::takeLog().empty());
    util.close();

    // A search mode above 1 never asks the library.
    HidUtil other;
    ASSERT_TRUE (other.init (&handler, 2));
    recording::takeLog();
    EXPECT_FALSE (other.findDevice());
    deliver (HidUtil::hidArrivalMessage, 0);
    EXPECT_TRUE (recording::takeLog().empty());
    EXPECT_EQ (handler.arrived, 1);
}

//==============================================================================
TEST_F (HidUtilCalls, SearchReadsNoEntryBeyondTheList)
{
    // 128 devices listed, but a count of 300 reported; the last listed one is accepted.
    std::vector<recording::Device> devices;

    for (int i = 0; i < 128; ++i)
        devices.push_back ({ 1000 + i, i == 127 ? 0x13u : (i % 2 == 0 ? 0x11u : 0x16u) });

    recording::setDevices (devices);
    recording::setEnumCount (300);

    HidUtil util;
    ASSERT_TRUE (util.init (nullptr, 1));
    recording::takeLog();

    ASSERT_TRUE (util.findDevice());
    Log expected { "HID_EnumHIDno()" };

    for (int i = 0; i < 128; ++i)
        expected.push_back ("HID_GetDeviceType(" + std::to_string (1000 + i) + ")");

    EXPECT_EQ (recording::takeLog(), expected);

    const juce::uint8 data[4] = {};
    EXPECT_TRUE (util.write (data, 4));
    EXPECT_EQ (recording::takeLog(), (Log { "HID_Write(1127,4)" }));
}

TEST_F (HidUtilCalls, ReadCountAboveTheReportIsNeverCopiedPastIt)
{
    recording::setDevices ({ { 3, 0x14 } });
    recording::setInputLength (5000);

    CountingHandler handler;
    HidCtrl ctrl;
    ASSERT_TRUE (ctrl.open (&handler, 0));

    // open searches once, then asks for the version by type and reads one report.
    const auto log = recording::takeLog();
    ASSERT_GE (log.size(), 4u);
    EXPECT_EQ (Log (log.end() - 4, log.end()), (Log { "HID_EnumHIDno()",
                                                      "HID_GetDeviceType(3)",
                                                      "HID_GetFirmwareVersion(0x14,1)",
                                                      "HID_Input(3,1024)" }));
    EXPECT_EQ (ctrl.firmwareVersion, 0x114u);
    EXPECT_EQ (ctrl.reportLength, hidReportSize);
    EXPECT_EQ (handler.reports + handler.arrived, 0);

    deliver (HidUtil::hidReportMessage, 3);
    EXPECT_EQ (handler.reports, 1);
    EXPECT_EQ (ctrl.reportLength, hidReportSize);
    EXPECT_EQ (ctrl.report[hidReportSize - 1], (juce::uint8) ((hidReportSize - 1) * 7 + 1));
}

//==============================================================================
TEST_F (HidUtilCalls, RemovalRacingSendsEndsDisconnected)
{
    recording::setDevices ({ { 5, 0x11 } });
    recording::setLogWrites (false);

    CountingHandler handler;
    HidCtrl ctrl;
    ASSERT_TRUE (ctrl.open (&handler, 0));

    std::atomic<bool> stop { false };
    std::thread sender ([&]
                        {
        const juce::uint8 data[hidReportSize] = {};

        while (! stop)
            ctrl.send (data, hidReportSize); });

    // A send that saw the device before its removal must not bring back a connected state.
    int wrongStates = 0;

    for (int i = 0; i < 20000; ++i)
    {
        deliver (HidUtil::hidRemovalMessage, 5);
        std::this_thread::yield();

        if (ctrl.connectionState != ConnectionState::disconnected)
            ++wrongStates;

        deliver (HidUtil::hidArrivalMessage, 0);
    }

    stop = true;
    sender.join();

    EXPECT_EQ (wrongStates, 0);
    EXPECT_EQ (handler.removed, 20000);
    ctrl.close();
}

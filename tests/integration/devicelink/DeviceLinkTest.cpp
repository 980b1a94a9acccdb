#include <gtest/gtest.h>

#include "BusPeers.h"
#include "device/HidCtrl.h"
#include "platform/morvantx/morvantx.h"
#include "support/DevsimProcess.h"
#include "support/MessageLoop.h"

#include <juce_events/juce_events.h>

#include <fstream>
#include <memory>
#include <thread>

using testsupport::runMessageLoopFor;
using testsupport::runMessageLoopUntil;

namespace
{
enum class Event
{
    removed,
    arrived,
    report
};

/** What the listener saw of HidCtrl at the moment it was called. */
struct Call
{
    Event event;
    bool onMessageThread;
    ConnectionState state;
    juce::uint32 firmware, length;
    std::vector<juce::uint8> report;
};

struct RecordingListener : HidHandler
{
    void onDeviceRemoved() override { record (Event::removed); }
    void onDeviceArrived() override { record (Event::arrived); }
    void onReportReceived() override { record (Event::report); }

    size_t count (Event e) const
    {
        return (size_t) std::count_if (calls.begin(), calls.end(), [e] (auto& c)
                                       { return c.event == e; });
    }

    void record (Event e)
    {
        overlapped = overlapped || inCall;
        inCall = true;
        calls.push_back ({ e, juce::MessageManager::getInstance()->isThisTheMessageThread(),
                           ctrl->connectionState.load(), ctrl->firmwareVersion, ctrl->reportLength,
                           std::vector<juce::uint8> (ctrl->report, ctrl->report + hidReportSize) });

        // A handler that runs a nested loop (as a modal box would) must get no event meanwhile.
        if (nestedLoopMs > 0)
            juce::MessageManager::getInstance()->runDispatchLoopUntil (nestedLoopMs);

        inCall = false;
    }

    HidCtrl* ctrl = nullptr;
    std::vector<Call> calls;
    bool inCall = false, overlapped = false;
    int nestedLoopMs = 0;
};

std::vector<juce::uint8> request (juce::uint8 code)
{
    std::vector<juce::uint8> r (hidReportSize, 0);
    r[0] = code;
    return r;
}

bool allZero (const std::vector<juce::uint8>& bytes)
{
    return std::all_of (bytes.begin(), bytes.end(), [] (auto b)
                        { return b == 0; });
}

std::vector<int> listedDevices()
{
    int numbers[128];
    const int n = HID_EnumHIDno (numbers);
    return std::vector<int> (numbers, numbers + std::max (0, n));
}

/** Waits, without running the message loop, until the library lists n devices. */
bool libraryLists (size_t n)
{
    for (int i = 0; i < 500; ++i)
    {
        if (listedDevices().size() == n)
            return true;

        std::this_thread::sleep_for (std::chrono::milliseconds (10));
    }

    return false;
}

constexpr juce::uint8 startRequest = 0xF0, startReply = 0xF8;
} // namespace

//==============================================================================
struct DeviceLink : ::testing::Test
{
    testsupport::PrivateBus bus;
    std::vector<std::unique_ptr<testsupport::DevsimProcess>> devices;
    RecordingListener listener;
    HidCtrl ctrl; // closed before the devices go

    void SetUp() override
    {
        if (testsupport::DevsimProcess::executable().empty())
            GTEST_SKIP() << "devsim was not built";

        listener.ctrl = &ctrl;
    }

    testsupport::DevsimProcess* plug (juce::uint32 type, juce::uint32 firmware, std::vector<std::string> options = {})
    {
        options.insert (options.end(), { "--type", std::to_string (type), "--firmware", std::to_string (firmware) });
        devices.push_back (std::make_unique<testsupport::DevsimProcess>());
        return devices.back()->start (bus.path(), options) ? devices.back().get() : nullptr;
    }

    bool waitFor (Event e, size_t n = 1)
    {
        return runMessageLoopUntil ([&]
                                    { return listener.count (e) >= n; },
                                    5000);
    }

    bool sendStartRequest()
    {
        const auto r = request (startRequest);
        return ctrl.send (r.data(), (juce::uint32) r.size());
    }
};

//==============================================================================
TEST_F (DeviceLink, OpenWithADevicePresentIsConnectedAtOnceAndTellsNoListener)
{
    ASSERT_NE (plug (0x12, 123), nullptr);

    ASSERT_TRUE (ctrl.open (&listener, 0));
    EXPECT_EQ (ctrl.connectionState, ConnectionState::connected);
    EXPECT_EQ (ctrl.firmwareVersion, 123u);
    EXPECT_EQ (ctrl.reportLength, 0u); // the device has sent nothing yet

    runMessageLoopFor (300);
    EXPECT_TRUE (listener.calls.empty());
    EXPECT_EQ (ctrl.connectionState, ConnectionState::connected);
}

TEST_F (DeviceLink, ALaterArrivalConnectsOnceAndARemovalClearsBeforeTheListenerHears)
{
    ASSERT_TRUE (ctrl.open (&listener, 1));
    EXPECT_EQ (ctrl.connectionState, ConnectionState::disconnected);
    EXPECT_EQ (ctrl.firmwareVersion, 0u);

    auto* device = plug (0x15, 305);
    ASSERT_NE (device, nullptr);
    ASSERT_TRUE (waitFor (Event::arrived));
    runMessageLoopFor (200);

    ASSERT_EQ (listener.calls.size(), 1u);
    EXPECT_EQ (listener.calls[0].state, ConnectionState::connected);
    EXPECT_EQ (listener.calls[0].firmware, 305u);

    ASSERT_TRUE (sendStartRequest());
    ASSERT_TRUE (waitFor (Event::report));
    EXPECT_EQ (ctrl.report[0], startReply);

    EXPECT_EQ (device->terminate(), 0);
    ASSERT_TRUE (waitFor (Event::removed));

    const auto& removed = listener.calls.back();
    EXPECT_EQ (removed.state, ConnectionState::disconnected);
    EXPECT_EQ (removed.firmware, 0u);
    EXPECT_EQ (removed.length, 0u);
    EXPECT_TRUE (allZero (removed.report));
}

TEST_F (DeviceLink, OfTwoAcceptedDevicesTheOneListedLastIsOpened)
{
    ASSERT_TRUE (ctrl.open (&listener, 0));

    // All three are known to the library before the first arrival message is handled.
    ASSERT_NE (plug (0x11, 111), nullptr);
    ASSERT_NE (plug (0x13, 133), nullptr);
    ASSERT_NE (plug (0x16, 166), nullptr);
    ASSERT_TRUE (libraryLists (3));

    juce::uint32 lastAcceptedType = 0;

    for (int number : listedDevices())
        if (auto type = HID_GetDeviceType (number); type == 0x11 || type == 0x13)
            lastAcceptedType = type;

    ASSERT_TRUE (waitFor (Event::arrived));
    runMessageLoopFor (200);

    EXPECT_EQ (listener.count (Event::arrived), 1u);
    EXPECT_EQ (ctrl.firmwareVersion, lastAcceptedType == 0x11 ? 111u : 133u);
}

TEST_F (DeviceLink, ADeviceOfTypeSixteenIsNeverOpenedAndNothingIsSentToIt)
{
    const auto log = bus.file ("requests.log");
    ASSERT_NE (plug (0x16, 160, { "--log", log }), nullptr);
    ASSERT_TRUE (ctrl.open (&listener, 0));
    ASSERT_NE (plug (0x16, 161), nullptr);
    runMessageLoopFor (300);

    EXPECT_TRUE (listener.calls.empty());
    EXPECT_EQ (ctrl.connectionState, ConnectionState::disconnected);

    EXPECT_FALSE (sendStartRequest());
    EXPECT_EQ (ctrl.connectionState, ConnectionState::disconnected);
    runMessageLoopFor (200);

    std::ifstream requests (log, std::ios::binary | std::ios::ate);
    EXPECT_TRUE (!requests.is_open() || requests.tellg() == 0);
}

TEST_F (DeviceLink, WhenTheOpenDeviceLeavesTheOtherWaitsForTheNextArrival)
{
    ASSERT_TRUE (ctrl.open (&listener, 0));
    auto* first = plug (0x11, 1);
    ASSERT_NE (first, nullptr);
    ASSERT_TRUE (waitFor (Event::arrived));

    ASSERT_NE (plug (0x14, 4), nullptr);
    ASSERT_TRUE (libraryLists (2));
    runMessageLoopFor (200);
    EXPECT_EQ (listener.count (Event::arrived), 1u);
    EXPECT_EQ (ctrl.firmwareVersion, 1u);

    EXPECT_EQ (first->terminate(), 0);
    ASSERT_TRUE (waitFor (Event::removed));
    runMessageLoopFor (300);
    EXPECT_EQ (ctrl.connectionState, ConnectionState::disconnected);
    EXPECT_EQ (listener.count (Event::arrived), 1u);

    // Any arrival searches again, even one of a device that is not accepted.
    ASSERT_NE (plug (0x16, 6), nullptr);
    ASSERT_TRUE (waitFor (Event::arrived, 2));
    EXPECT_EQ (ctrl.connectionState, ConnectionState::connected);
    EXPECT_EQ (ctrl.firmwareVersion, 4u);
}

TEST_F (DeviceLink, AReportOfNBytesReplacesTheFirstNBytes)
{
    ASSERT_TRUE (ctrl.open (&listener, 0));

    // A report queued before the arrival is handled is read by onDeviceArrived, so its report
    // message then reads nothing: the listener still hears of it, with a length of 0.
    buspeers::FakeDevice device (bus.path(), "hand");
    ASSERT_TRUE (device.accept (5000));
    ASSERT_TRUE (device.greet (0x13, 77));
    ASSERT_TRUE (device.send ({ 9, 9 }));
    ASSERT_TRUE (libraryLists (1));
    std::this_thread::sleep_for (std::chrono::milliseconds (100)); // the report follows the greeting

    // The oracle: a 1024-byte buffer updated the way the reports describe.
    std::vector<juce::uint8> expected (hidReportSize, 0);
    expected[0] = expected[1] = 9;

    ASSERT_TRUE (waitFor (Event::report));
    ASSERT_EQ (listener.calls.size(), 2u);
    EXPECT_EQ (listener.calls[0].event, Event::arrived);
    EXPECT_EQ (listener.calls[0].length, 2u);
    EXPECT_EQ (listener.calls[0].report, expected);
    EXPECT_EQ (listener.calls[1].length, 0u);
    EXPECT_EQ (listener.calls[1].report, expected);

    const std::vector<std::vector<juce::uint8>> packets {
        std::vector<juce::uint8> (hidReportSize, 0xAA),
        { 1, 2, 3 },
    };

    for (size_t i = 0; i < packets.size(); ++i)
    {
        ASSERT_TRUE (device.send (packets[i]));
        ASSERT_TRUE (waitFor (Event::report, i + 2));

        std::copy (packets[i].begin(), packets[i].end(), expected.begin());
        EXPECT_EQ (listener.calls.back().length, packets[i].size());
        EXPECT_EQ (listener.calls.back().report, expected);
    }

    EXPECT_EQ (expected[0], 1);
    EXPECT_EQ (expected[3], 0xAA);
}

TEST_F (DeviceLink, SendWhileConnectedMarksReportSentEvenWhenTheWriteFails)
{
    ASSERT_TRUE (ctrl.open (&listener, 0));
    auto* device = plug (0x12, 12);
    ASSERT_NE (device, nullptr);
    ASSERT_TRUE (waitFor (Event::arrived));

    ASSERT_TRUE (sendStartRequest());
    EXPECT_EQ (ctrl.connectionState, ConnectionState::reportSent);
    ASSERT_TRUE (waitFor (Event::report));
    EXPECT_EQ (listener.calls.back().report[0], startReply);

    // The device is gone, but its removal has not been handled yet.
    device->kill();
    ASSERT_TRUE (libraryLists (0));
    EXPECT_FALSE (sendStartRequest());
    EXPECT_EQ (ctrl.connectionState, ConnectionState::reportSent);

    ASSERT_TRUE (waitFor (Event::removed));
    EXPECT_EQ (ctrl.connectionState, ConnectionState::disconnected);
}

TEST_F (DeviceLink, EventsAreHandledOneAtATimeOnTheMessageThread)
{
    ASSERT_TRUE (ctrl.open (&listener, 0));
    ASSERT_NE (plug (0x14, 14), nullptr);
    ASSERT_TRUE (waitFor (Event::arrived));
    listener.nestedLoopMs = 20;

    // Requests from another thread, as the update thread sends them; each gets one reply.
    constexpr int requests = 40;
    std::atomic<int> sent { 0 };
    std::thread sender ([&]
                        {
        for (int i = 0; i < requests; ++i)
        {
            if (sendStartRequest())
                ++sent;

            std::this_thread::sleep_for (std::chrono::milliseconds (2));
        } });

    runMessageLoopUntil ([&]
                         { return listener.count (Event::report) >= (size_t) requests; },
                         10000);
    sender.join();

    EXPECT_EQ (sent, requests);
    EXPECT_EQ (listener.count (Event::report), (size_t) requests);
    EXPECT_FALSE (listener.overlapped);
    EXPECT_TRUE (std::all_of (listener.calls.begin(), listener.calls.end(), [] (auto& c)
                              { return c.onMessageThread; }));

    // The procedure gives the default processing's result for the library's messages too.
    for (UINT message : { HidUtil::hidRemovalMessage, HidUtil::hidArrivalMessage, HidUtil::hidReportMessage })
        EXPECT_EQ (hidWindowProc (nullptr, message, 9999, 0), DefWindowProcA (nullptr, message, 9999, 0));
}

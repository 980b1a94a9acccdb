#pragma once

// The device library started on a private bus, posting to a recording window, as the program's
// device link starts it; stopped as the program stops it.

#include <gtest/gtest.h>

#include "platform/morvantx/morvantx.h"
#include "support/DevsimProcess.h"
#include "support/MessageLoop.h"
#include "support/RecordingWindow.h"

constexpr UINT removalMessage = WM_USER + 1, arrivalMessage = WM_USER + 2, reportMessage = WM_USER + 3;

struct LibraryFixture : ::testing::Test
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

    /** Runs the message loop until count messages of this kind have arrived; the wParam of
        the last of them (the device number), or -1 on time-out. */
    int waitFor (UINT message, size_t n = 1, int timeoutMs = 5000)
    {
        if (!testsupport::runMessageLoopUntil ([&]
                                               { return count (message) >= n; },
                                               timeoutMs))
            return -1;

        return (int) window.messages (message)[n - 1].wParam;
    }

    static std::vector<int> listedDevices()
    {
        int numbers[128];
        const int n = HID_EnumHIDno (numbers);
        return std::vector<int> (numbers, numbers + std::max (0, n));
    }
};

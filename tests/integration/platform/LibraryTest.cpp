// The device library against real devsim processes on a private bus.

#include "BusPeers.h"
#include "LibraryFixture.h"

#include <fstream>
#include <iterator>
#include <sys/stat.h>

using buspeers::Bytes;
using buspeers::report;
using testsupport::DevsimProcess;

namespace
{
Bytes readFile (const std::string& path)
{
    std::ifstream in (path, std::ios::binary);
    return Bytes (std::istreambuf_iterator<char> (in), {});
}

Bytes input (int device, uint32_t size = 1024)
{
    Bytes buffer (size);
    uint32_t length = size;
    HID_Input (device, buffer.data(), &length);
    buffer.resize (length);
    return buffer;
}
} // namespace

using DeviceLibrary = LibraryFixture;

//==============================================================================
TEST_F (DeviceLibrary, ADeviceIsAnnouncedListedAndTalkedTo)
{
    DevsimProcess devsim;
    const auto log = bus.file ("requests.log");
    ASSERT_TRUE (devsim.start (bus.path(), {"--type", "0x13", "--firmware", "258", "--log", log}));

    const int device = waitFor (arrivalMessage);
    ASSERT_GT (device, 0);
    EXPECT_TRUE (window.messages()[0].onMessageThread);
    EXPECT_EQ (listedDevices(), std::vector<int>{device});
    EXPECT_EQ (HID_GetDeviceType (device), 0x13u);

    uint32_t words[2] = {0xAAAAAAAA, 0xAAAAAAAA};
    HID_GetFirmwareVersion (0x13, words, 1);
    EXPECT_EQ (words[0], 258u);
    EXPECT_EQ (words[1], 0xAAAAAAAAu) << "one word asked for, one written";

    // A start report with a pattern behind its fields reaches the device whole.
    Bytes start = report ({0xF0, 0, 0x07, 0xB0, 0x01});

    for (size_t i = 11; i < start.size(); ++i)
        start[i] = (uint8_t) (i * 31);

    ASSERT_NE (HID_Write (device, start.data(), (uint32_t) start.size()), 0);
    ASSERT_EQ (waitFor (reportMessage), device);
    const auto reply = input (device);
    ASSERT_EQ (reply.size(), 1024u);
    EXPECT_EQ (reply[0], 0xF8);
    EXPECT_EQ (readFile (log), start);
}

TEST_F (DeviceLibrary, ReportsArriveInOrderAndAreReadInOrder)
{
    DevsimProcess devsim;
    ASSERT_TRUE (devsim.start (bus.path(), {"--busy", "3"}));
    const int device = waitFor (arrivalMessage);
    ASSERT_GT (device, 0);

    // Written back to back; the device answers each in turn.
    const auto start = report ({0xF0, 0, 0, 0, 0x01}), poll = report ({0xF2});

    for (auto* r : {&start, &poll, &poll, &poll, &poll})
        ASSERT_NE (HID_Write (device, r->data(), 1024), 0);

    ASSERT_EQ (waitFor (reportMessage, 5), device);

    for (auto& m : window.messages (reportMessage))
        EXPECT_EQ ((int) m.wParam, device);

    const std::vector<std::pair<int, int>> expected{{0xF8, 0}, {0xF7, 25}, {0xF7, 50}, {0xF7, 75}, {0xFC, 100}};

    for (auto [code, percent] : expected)
    {
        const auto r = input (device);
        ASSERT_EQ (r.size(), 1024u);
        EXPECT_EQ (r[0], code);
        EXPECT_EQ (r[1], percent);
    }

    EXPECT_TRUE (input (device).empty());
}

TEST_F (DeviceLibrary, InputNeverWritesPastTheGivenLength)
{
    DevsimProcess devsim;
    ASSERT_TRUE (devsim.start (bus.path()));
    const int device = waitFor (arrivalMessage);
    const auto start = report ({0xF0});
    ASSERT_NE (HID_Write (device, start.data(), 1024), 0);
    ASSERT_EQ (waitFor (reportMessage), device);

    uint8_t buffer[16];
    std::fill (std::begin (buffer), std::end (buffer), 0x5A);
    uint32_t length = 8;
    EXPECT_EQ (HID_Input (device, buffer, &length), 1);
    EXPECT_EQ (length, 8u);
    EXPECT_EQ (buffer[0], 0xF8);
    EXPECT_TRUE (std::all_of (buffer + 8, buffer + 16, [] (uint8_t b)
                              { return b == 0x5A; }));

    length = 16;
    EXPECT_EQ (HID_Input (device, buffer, &length), 0) << "the shortened report was used up";
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

//==============================================================================
class DeviceRemoval : public LibraryFixture, public ::testing::WithParamInterface<int>
{
};

TEST_P (DeviceRemoval, ALeavingDeviceIsAnnouncedAndCannotBeWritten)
{
    DevsimProcess devsim;
    ASSERT_TRUE (devsim.start (bus.path(), {"--type", "0x15"}));
    const int device = waitFor (arrivalMessage);
    ASSERT_GT (device, 0);

    if (GetParam() == SIGKILL)
        devsim.kill(); // its socket file stays behind: the closed connection tells
    else
        EXPECT_EQ (devsim.terminate(), 0);

    EXPECT_EQ (waitFor (removalMessage), device);
    testsupport::runMessageLoopFor (50);
    EXPECT_EQ (count (removalMessage), 1u);
    EXPECT_TRUE (listedDevices().empty());

    const auto r = report ({0xF0});
    EXPECT_EQ (HID_Write (device, r.data(), 1024), 0);
    uint32_t words[2] = {};
    EXPECT_EQ (HID_GetFirmwareVersion (0x15, words, 2), 0);
}

INSTANTIATE_TEST_SUITE_P (BySignal, DeviceRemoval, ::testing::Values (SIGTERM, SIGKILL),
                          [] (const auto& info)
                          { return info.param == SIGKILL ? "Killed" : "Terminated"; });

//==============================================================================
TEST_F (DeviceLibrary, EachDeviceHasItsOwnNumberAndNumbersAreNeverReused)
{
    DevsimProcess a, b;
    ASSERT_TRUE (a.start (bus.path(), {"--type", "0x11", "--firmware", "100"}));
    const int first = waitFor (arrivalMessage, 1);
    ASSERT_TRUE (b.start (bus.path(), {"--type", "0x12", "--firmware", "200"}));
    const int second = waitFor (arrivalMessage, 2);

    ASSERT_GT (first, 0);
    ASSERT_GT (second, 0);
    EXPECT_NE (first, second);
    EXPECT_EQ (listedDevices(), (std::vector<int>{first, second}));
    EXPECT_EQ (HID_GetDeviceType (first), 0x11u);
    EXPECT_EQ (HID_GetDeviceType (second), 0x12u);

    uint32_t words[2] = {};
    HID_GetFirmwareVersion (0x12, words, 1);
    EXPECT_EQ (words[0], 200u);

    // The same device coming back is a new device.
    a.kill();
    EXPECT_EQ (waitFor (removalMessage), first);
    DevsimProcess again;
    ASSERT_TRUE (again.start (bus.path(), {"--type", "0x11"}));
    const int third = waitFor (arrivalMessage, 3);
    EXPECT_GT (third, std::max (first, second));
    EXPECT_EQ (listedDevices(), (std::vector<int>{second, third}));
}

TEST_F (DeviceLibrary, NothingIsPostedAfterStopAndStartingAgainWorks)
{
    DevsimProcess devsim, other;
    ASSERT_TRUE (devsim.start (bus.path(), {"--busy", "100"}));
    const int device = waitFor (arrivalMessage);
    const auto poll = report ({0xF2});

    for (int i = 0; i < 10; ++i)
        HID_Write (device, poll.data(), 1024);

    HID_Stop();
    HID_SetCallback (nullptr, 0, 0, 0);
    testsupport::runMessageLoopFor (100); // what was posted before the stop
    const auto before = window.messages().size();

    ASSERT_TRUE (other.start (bus.path()));
    devsim.kill();
    testsupport::runMessageLoopFor (300);
    EXPECT_EQ (window.messages().size(), before);
    EXPECT_TRUE (listedDevices().empty());

    // Started again (as many times as the tests like), the library finds what is on the bus.
    int last = device;

    for (int round = 0; round < 5; ++round)
    {
        HID_SetCallback (window.handle(), reportMessage, arrivalMessage, removalMessage);
        ASSERT_EQ (HID_Start(), 1);
        const int number = waitFor (arrivalMessage, count (arrivalMessage) + 1);
        EXPECT_GT (number, last);
        EXPECT_EQ (listedDevices(), std::vector<int>{number});
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

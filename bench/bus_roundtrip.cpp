// The raw round trip over the device bus: one 1024-byte report out, devsim's reply back.
//
// Measured twice against one devsim on a private bus:
//  - library: a sending thread writes with HID_Write and waits on a condition variable; the
//    reply travels devsim -> the library's I/O thread -> PostMessageA -> the JUCE message thread
//    -> the window procedure -> HID_Input -> the condition variable. This is the path of the
//    updater's own transfer (its update thread waits for each reply the same way).
//  - socket: the same reports over a bare SOCK_SEQPACKET connection to devsim, no library.
// The reports are the data reports of one image, whose transfer devsim checks at the end.
//
// usage: bench_bus_roundtrip [--reports N] [--devsim PATH]

#include "bench/BenchDevice.h"
#include "platform/morvantx/DeviceBus.h"
#include "platform/morvantx/morvantx.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace
{
using Clock = std::chrono::steady_clock;
using Report = std::vector<uint8_t>;

struct Shared
{
    std::mutex lock;
    std::condition_variable changed;
    int device = -1;
    bool replied = false;
    Report reply = Report (1024);
} shared;

LRESULT procedure (HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::lock_guard<std::mutex> l (shared.lock);

    if (message == WM_USER + 2 && shared.device < 0)
        shared.device = (int) wParam;

    if (message == WM_USER + 3 && (int) wParam == shared.device)
    {
        uint32_t length = 1024;
        HID_Input (shared.device, shared.reply.data(), &length);
        shared.replied = true;
    }

    shared.changed.notify_all();
    return DefWindowProcA (window, message, wParam, lParam);
}

uint16_t crc16Xmodem (const Report& data)
{
    uint16_t crc = 0;

    for (uint8_t b : data)
    {
        crc ^= (uint16_t) (b << 8);

        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x8000) != 0 ? (uint16_t) ((crc << 1) ^ 0x1021) : (uint16_t) (crc << 1);
    }

    return crc;
}

/** The transfer's requests: start, begin, one data report per block. */
std::vector<Report> makeRequests (int blocks)
{
    Report image ((size_t) blocks * 1022);

    for (size_t i = 0; i < image.size(); ++i)
        image[i] = (uint8_t) (i * 131 + (i >> 9));

    const uint32_t size = (uint32_t) image.size();
    const uint16_t crc = crc16Xmodem (image);
    std::vector<Report> requests;
    Report r (1024, 0);
    r[0] = 0xF0, r[2] = 0x07, r[3] = 0xB0, r[4] = 0x81;
    devicebus::putLE32 (&r[5], size);
    r[9] = (uint8_t) crc, r[10] = (uint8_t) (crc >> 8);
    requests.push_back (r);

    r.assign (1024, 0);
    r[0] = 0xF1, r[1] = 1;
    requests.push_back (r);

    r[0] = 0xF3;

    for (int k = 0; k < blocks; ++k)
    {
        std::copy_n (image.begin() + (long) k * 1022, 1022, r.begin() + 2);
        requests.push_back (r);
    }

    return requests;
}

void printFigures (const char* what, std::vector<double> us)
{
    std::sort (us.begin(), us.end());
    auto at = [&] (double q)
    { return us[std::min (us.size() - 1, (size_t) (q * (double) us.size()))]; };
    std::printf ("%-8s %6zu round trips: min %7.1f us  median %7.1f us  p99 %7.1f us  max %8.1f us\n",
                 what, us.size(), us.front(), at (0.5), at (0.99), us.back());
}

double microseconds (Clock::duration d)
{
    return std::chrono::duration<double, std::micro> (d).count();
}

//==============================================================================
/** The sending thread of the library measurement. */
bool runThroughLibrary (const std::vector<Report>& requests, std::vector<double>& samples)
{
    std::unique_lock<std::mutex> l (shared.lock);

    if (!shared.changed.wait_for (l, std::chrono::seconds (5), []
                                  { return shared.device >= 0; }))
        return false;

    const int device = shared.device;
    l.unlock();

    auto exchange = [&] (const Report& r) -> int
    {
        std::unique_lock<std::mutex> g (shared.lock);
        shared.replied = false;
        g.unlock();

        if (HID_Write (device, r.data(), 1024) == 0)
            return -1;

        g.lock();

        if (!shared.changed.wait_for (g, std::chrono::seconds (5), []
                                      { return shared.replied; }))
            return -1;

        return shared.reply[0];
    };

    for (size_t i = 0; i < requests.size(); ++i)
    {
        const auto before = Clock::now();
        const int code = exchange (requests[i]);

        if (code < 0)
            return false;

        if (i >= 2)
            samples.push_back (microseconds (Clock::now() - before));
    }

    Report status (1024, 0);
    status[0] = 0xF2;

    for (int polls = 0; polls < 100; ++polls)
    {
        const int code = exchange (status);

        if (code == 0xFC)
            return true;

        if (code != 0xF7)
        {
            std::fprintf (stderr, "devsim rejected the image (status 0x%02X)\n", code);
            return false;
        }
    }

    return false;
}

bool runOverSocket (const std::string& path, const std::vector<Report>& requests, std::vector<double>& samples)
{
    sockaddr_un address;
    socklen_t length;
    const int s = socket (AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    uint8_t packet[2048];

    if (s < 0 || !devicebus::makeAddress (path, address, length) || connect (s, reinterpret_cast<sockaddr*> (&address), length) != 0 || recv (s, packet, sizeof (packet), 0) != (ssize_t) devicebus::greetingSize)
        return false;

    bool ok = true;

    for (size_t i = 0; i < requests.size() && ok; ++i)
    {
        const auto before = Clock::now();
        ok = send (s, requests[i].data(), 1024, MSG_NOSIGNAL) == 1024 && recv (s, packet, sizeof (packet), 0) == 1024;

        if (i >= 2)
            samples.push_back (microseconds (Clock::now() - before));
    }

    close (s);
    return ok;
}
} // namespace

int main (int argc, char** argv)
{
    int reports = 10000;
    std::string devsimPath = DEVSIM_PATH;

    for (int i = 1; i + 1 < argc; i += 2)
    {
        if (std::string (argv[i]) == "--reports")
            reports = std::max (1, std::atoi (argv[i + 1]));
        else if (std::string (argv[i]) == "--devsim")
            devsimPath = argv[i + 1];
    }

    BenchDevice device;

    if (!device.start (devsimPath, "1"))
    {
        std::fprintf (stderr, "needs devsim and a temporary folder\n");
        return 1;
    }

    const std::string socketPath = device.socketPath;
    const auto requests = makeRequests (reports);
    std::vector<double> librarySamples, socketSamples;
    bool libraryOk = false;

    {
        juce::ScopedJuceInitialiser_GUI juce;

        WNDCLASSA c {};
        c.lpfnWndProc = procedure;
        c.hInstance = GetModuleHandleA (nullptr);
        c.lpszClassName = "BENCH_WINDOW";
        RegisterClassA (&c);
        HWND window = CreateWindowExA (0, c.lpszClassName, c.lpszClassName, 0, 0, 0, 10, 10, nullptr, nullptr, c.hInstance, nullptr);

        HID_Initialize (c.hInstance);
        HID_SetCallback (window, WM_USER + 3, WM_USER + 2, WM_USER + 1);
        HID_Start();

        std::thread sender ([&]
                            {
            libraryOk = runThroughLibrary (requests, librarySamples);
            juce::MessageManager::getInstance()->stopDispatchLoop(); });

        juce::MessageManager::getInstance()->runDispatchLoop();
        sender.join();

        HID_Stop();
        HID_SetCallback (nullptr, 0, 0, 0);
        HID_Finalize();
        DestroyWindow (window);
        UnregisterClassA (c.lpszClassName, c.hInstance);
    }

    const bool socketOk = runOverSocket (socketPath, requests, socketSamples);

    if (!libraryOk || !socketOk)
    {
        std::fprintf (stderr, "the transfer failed (library %s, socket %s)\n", libraryOk ? "ok" : "failed", socketOk ? "ok" : "failed");
        return 1;
    }

    printFigures ("library", librarySamples);
    printFigures ("socket", socketSamples);
    return 0;
}

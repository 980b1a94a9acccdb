// A whole update transfer through the program: Start on a real MainComponent sends an update
// file to devsim, which answers at once (one status poll, finished). The path of every block:
// the update thread -> HidCtrl::send -> the device library -> devsim -> the library's I/O thread
// -> PostMessageA -> the message thread -> the window procedure -> HidCtrl -> the report
// callback -> replyEvent -> the update thread.
//
// The time per block is the difference between a large and a one-block file divided by the
// difference in blocks, which cancels the fixed costs (start, begin, the status poll and its
// 100 ms pause, screen changes). The raw bus round trip is measured in the same run with the
// same data reports over a bare connection to the same devsim, as bench_bus_roundtrip does.
//
// usage: bench_transfer [--runs N] [--size BYTES] [--devsim PATH]

#include "bench/BenchDevice.h"
#include "platform/linux/FileLocations.h"
#include "platform/morvantx/DeviceBus.h"
#include "tests/support/MainComponentTestAccess.h"
#include "updater/AlineButton.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace juce
{
// The step of the framework's own runDispatchLoop: waits for the next message and handles it.
// The program runs its loop this way; runDispatchLoopUntil would sleep 1 ms whenever the
// queue is empty, on every block.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace
{
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<juce::uint8>;

double milliseconds (Clock::duration d)
{
    return std::chrono::duration<double, std::milli> (d).count();
}

double median (std::vector<double> v)
{
    std::sort (v.begin(), v.end());
    return v[v.size() / 2];
}

Bytes updateFile (size_t size)
{
    Bytes bytes (size);

    for (size_t i = 0; i < size; ++i)
        bytes[i] = (juce::uint8) (i * 131 + (i >> 9));

    std::copy_n ("VN382", 5, bytes.begin());
    std::copy_n ("123", 3, bytes.begin() + 20);
    return bytes;
}

/** Runs the message loop as the program does until condition() holds; the framework's
    run loop wakes at least every 2 s, so a time-out is noticed.
*/
void runLoopUntil (const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds (timeoutMs);

    while (!condition() && Clock::now() < end)
        juce::dispatchNextMessageOnSystemQueue (false);
}

/** One transfer of the file now in the folder, from Start to the final screen, in ms; a
    negative value when it did not end on updateComplete.
*/
double timeOneTransfer()
{
    MainComponent main;
    juce::MessageManager::getInstance()->runDispatchLoopUntil (200); // the link's start-up messages

    auto* ok = MainComponentTestAccess::okButton (main);
    main.buttonClicked (ok);

    if (MainComponentTestAccess::screenState (main) != readyToUpdate)
        return -1.0;

    const auto before = Clock::now();
    main.buttonClicked (ok);
    auto isFinal = [&main]
    {
        const int s = MainComponentTestAccess::screenState (main);
        return s == updateComplete || s == updateFailed;
    };
    runLoopUntil (isFinal, 120000);
    const double ms = milliseconds (Clock::now() - before);
    return MainComponentTestAccess::screenState (main) == updateComplete ? ms : -1.0;
}

/** The data reports of the file over a bare connection: microseconds per round trip
    (median), or a negative value on failure.
*/
double rawRoundTrip (const std::string& socketPath, const Bytes& file)
{
    sockaddr_un address;
    socklen_t length;
    const int s = socket (AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    juce::uint8 packet[2048];

    if (s < 0 || !devicebus::makeAddress (socketPath, address, length) || connect (s, reinterpret_cast<sockaddr*> (&address), length) != 0 || recv (s, packet, sizeof (packet), 0) != (ssize_t) devicebus::greetingSize)
        return -1.0;

    Bytes r (1024, 0);
    r[0] = 0xF3;
    r[1] = 1;
    std::vector<double> us;

    for (size_t at = 0; at < file.size(); at += 1022)
    {
        std::copy_n (file.begin() + (long) at, std::min<size_t> (1022, file.size() - at), r.begin() + 2);
        const auto before = Clock::now();

        if (send (s, r.data(), r.size(), MSG_NOSIGNAL) != 1024 || recv (s, packet, sizeof (packet), 0) != 1024)
        {
            close (s);
            return -1.0;
        }

        us.push_back (milliseconds (Clock::now() - before) * 1000.0);
    }

    close (s);
    return median (us);
}
} // namespace

int main (int argc, char** argv)
{
    int runs = 5;
    size_t size = 1 << 20;
    std::string devsimPath = DEVSIM_PATH;

    for (int i = 1; i + 1 < argc; i += 2)
    {
        const std::string option = argv[i];

        if (option == "--runs")
            runs = std::max (1, std::atoi (argv[i + 1]));
        else if (option == "--size")
            size = (size_t) std::max (1022L * 2, std::atol (argv[i + 1]));
        else if (option == "--devsim")
            devsimPath = argv[i + 1];
    }

    BenchDevice device;
    const bool spawned = device.start (devsimPath, "0");
    const std::string bus = device.bus, socketPath = device.socketPath;

    if (bus.empty())
    {
        std::fprintf (stderr, "needs devsim and a temporary folder\n");
        return 1;
    }

    const auto folder = std::filesystem::path (bus + "-exe");
    std::filesystem::create_directory (folder);
    const auto filePath = (folder / "vn382_bench.upd").string();
    const auto big = updateFile (size), small = updateFile (1000);
    const double bigBlocks = std::ceil ((double) big.size() / 1022.0), smallBlocks = 1.0;

    auto writeFile = [&filePath] (const Bytes& bytes)
    {
        std::FILE* f = std::fopen (filePath.c_str(), "wb");
        const bool ok = f != nullptr && std::fwrite (bytes.data(), 1, bytes.size(), f) == bytes.size();
        return f != nullptr && std::fclose (f) == 0 && ok;
    };

    std::vector<double> bigMs, smallMs, rawUs;
    bool ok = spawned;

    {
        juce::ScopedJuceInitialiser_GUI juce;
        setExecutableFolderOverride (juce::File (folder.string()));

        // Alternating keeps a drift of the machine's load out of the difference.
        for (int run = 0; run < runs && ok; ++run)
        {
            ok = writeFile (small);
            const double s = ok ? timeOneTransfer() : -1.0;
            ok = s >= 0 && writeFile (big);
            const double b = ok ? timeOneTransfer() : -1.0;
            const double raw = b >= 0 ? rawRoundTrip (socketPath, big) : -1.0;
            ok = b >= 0 && raw >= 0;

            if (ok)
            {
                smallMs.push_back (s);
                bigMs.push_back (b);
                rawUs.push_back (raw);
                std::printf ("run %d: %zu bytes in %.1f ms, %zu bytes in %.1f ms, raw round trip %.1f us\n",
                             run + 1, big.size(), b, small.size(), s, raw);
            }
        }

        setExecutableFolderOverride (juce::File());
    }

    std::filesystem::remove_all (folder);

    if (!ok)
    {
        std::fprintf (stderr, "a transfer failed\n");
        return 1;
    }

    const double perBlockUs = (median (bigMs) - median (smallMs)) * 1000.0 / (bigBlocks - smallBlocks);
    const double raw = median (rawUs);
    std::printf ("median of %d runs: %.0f blocks, %.1f us per block through the program; raw bus round trip %.1f us; ratio %.1f\n",
                 runs, bigBlocks, perBlockUs, raw, perBlockUs / raw);
    return 0;
}

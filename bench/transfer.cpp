// The data phase of an update through the program, against the floor of its four wake-ups.
//
// Program: Start on a real MainComponent sends an update file to devsim. The path of every
// block: the update thread -> HID_Write -> devsim -> the library's I/O thread -> PostMessageA
// -> the message thread -> the window procedure -> the report callback -> replyEvent -> the
// update thread. The data phase runs from the first data report written to the status poll
// written right after the last data reply was read; HID_Write is wrapped here to time it.
//
// Floor: the same four wake-ups with no code of the program: a child process answers each
// report on a SOCK_SEQPACKET socket, a thread polls the socket and reads the reply, wakes a
// second thread through an eventfd, which wakes the sending thread through a semaphore.
//
// Both run alternately, all threads and the device pinned to one CPU, then unpinned; the
// figures are medians over the runs of the time per block.
//
// usage: bench_transfer [--runs N] [--size BYTES] [--cpu N] [--devsim PATH]

#include "bench/BenchDevice.h"
#include "platform/morvantx/morvantx.h"
#include "tests/support/MainComponentTestAccess.h"
#include "updater/AlineButton.h"
#include "platform/linux/FileLocations.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <dirent.h>
#include <dlfcn.h>
#include <filesystem>
#include <poll.h>
#include <sched.h>
#include <semaphore.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace juce
{
// The step of the framework's own runDispatchLoop, as the program's loop runs it.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace
{
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

constexpr size_t reportSize = 1024, blockSize = 1022;

double median (std::vector<double> v)
{
    std::sort (v.begin(), v.end());
    return v[v.size() / 2];
}

double microseconds (Clock::duration d)
{
    return std::chrono::duration<double, std::micro> (d).count();
}

//==============================================================================
// The data phase as HID_Write sees it: the first data report and the first status poll after it.
struct DataPhase
{
    std::atomic<int64_t> first { 0 }, end { 0 };
    std::atomic<int> blocks { 0 };

    void reset()
    {
        first = end = 0;
        blocks = 0;
    }
} phase;

int64_t now()
{
    return Clock::now().time_since_epoch().count();
}
} // namespace

extern "C" int HID_Write (int deviceNumber, const uint8_t* buffer, uint32_t length)
{
    using Write = int (*) (int, const uint8_t*, uint32_t);
    static const auto real = reinterpret_cast<Write> (dlsym (RTLD_NEXT, "HID_Write"));

    if (buffer != nullptr && length > 0)
    {
        if (buffer[0] == 0xF3)
        {
            if (phase.blocks++ == 0)
                phase.first = now();
        }
        else if (buffer[0] == 0xF2 && phase.blocks > 0 && phase.end == 0)
        {
            phase.end = now();
        }
    }

    return real (deviceNumber, buffer, length);
}

namespace
{
//==============================================================================
/** Sets the CPUs of every thread of this process and of the other given processes. */
void setAffinity (const cpu_set_t& cpus, std::initializer_list<pid_t> others)
{
    if (DIR* tasks = opendir ("/proc/self/task"))
    {
        while (auto* e = readdir (tasks))
            if (e->d_name[0] != '.')
                sched_setaffinity (std::atoi (e->d_name), sizeof (cpus), &cpus);

        closedir (tasks);
    }

    for (pid_t p : others)
        if (p > 0)
            sched_setaffinity (p, sizeof (cpus), &cpus);
}

Bytes updateFile (size_t size)
{
    Bytes bytes (size);

    for (size_t i = 0; i < size; ++i)
        bytes[i] = (uint8_t) (i * 131 + (i >> 9));

    std::copy_n ("VN382", 5, bytes.begin());
    std::copy_n ("123", 3, bytes.begin() + 20);
    return bytes;
}

/** One transfer of the update file in the folder: microseconds per data block, negative when
    it did not end on updateComplete. The threads it starts get the CPUs of the caller. */
double programPerBlock (const cpu_set_t& cpus, pid_t device)
{
    MainComponent main;
    juce::MessageManager::getInstance()->runDispatchLoopUntil (200); // the link's start-up messages

    auto* ok = MainComponentTestAccess::okButton (main);
    main.buttonClicked (ok);

    if (MainComponentTestAccess::screenState (main) != readyToUpdate)
        return -1.0;

    phase.reset();
    main.buttonClicked (ok);
    setAffinity (cpus, { device });

    const auto deadline = Clock::now() + std::chrono::minutes (2);
    auto state = [&main]
    { return MainComponentTestAccess::screenState (main); };

    while (state() != updateComplete && state() != updateFailed && Clock::now() < deadline)
        juce::dispatchNextMessageOnSystemQueue (false);

    if (state() != updateComplete || phase.end == 0)
        return -1.0;

    return (double) (phase.end - phase.first) / 1000.0 / phase.blocks;
}

//==============================================================================
/** The floor's device: a child process that answers every report on its socket. */
struct FloorDevice
{
    bool start()
    {
        int pair[2];

        if (socketpair (AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0)
            return false;

        pid = fork();

        if (pid == 0)
        {
            close (pair[0]);
            uint8_t packet[reportSize] = {};

            while (recv (pair[1], packet, sizeof (packet), 0) > 0)
            {
                packet[0] = 0xF9;

                if (send (pair[1], packet, sizeof (packet), MSG_NOSIGNAL) != (ssize_t) sizeof (packet))
                    break;
            }

            _exit (0);
        }

        close (pair[1]);
        socket = pair[0];
        return pid > 0;
    }

    ~FloorDevice()
    {
        if (socket >= 0)
            close (socket);

        if (pid > 0)
            waitpid (pid, nullptr, 0);
    }

    int socket = -1;
    pid_t pid = -1;
};

/** blocks reports through the floor's chain: microseconds per report, negative on failure. */
double floorPerBlock (const FloorDevice& device, const Bytes& file, const cpu_set_t& cpus)
{
    const int wake = eventfd (0, EFD_CLOEXEC), stop = eventfd (0, EFD_CLOEXEC | EFD_NONBLOCK);
    sem_t replied;
    sem_init (&replied, 0, 0);
    uint8_t reply[2], received[reportSize];

    // The I/O thread: polls the device (and its stop signal), reads the reply, wakes the next.
    std::thread io ([&]
                    {
        pollfd fds[] = { { device.socket, POLLIN, 0 }, { stop, POLLIN, 0 } };

        while (poll (fds, 2, -1) > 0 && fds[1].revents == 0)
            if (recv (device.socket, received, sizeof (received), MSG_DONTWAIT) > 0)
                eventfd_write (wake, 1); });

    // The dispatching thread: takes the reply over and wakes the waiting thread.
    std::thread dispatcher ([&]
                            {
        eventfd_t n;

        while (eventfd_read (wake, &n) == 0 && received[1] != 0xFF)
        {
            std::copy_n (received, 2, reply);
            sem_post (&replied);
        } });

    setAffinity (cpus, { device.pid });

    Bytes report (reportSize, 0);
    report[0] = 0xF3;
    size_t blocks = 0;
    bool ok = true;
    const auto before = Clock::now();

    for (size_t at = 0; at < file.size() && ok; at += blockSize, ++blocks)
    {
        std::copy_n (file.begin() + (long) at, std::min (blockSize, file.size() - at), report.begin() + 2);
        ok = send (device.socket, report.data(), reportSize, MSG_NOSIGNAL) == (ssize_t) reportSize;

        timespec deadline;
        clock_gettime (CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += 5;
        ok = ok && sem_clockwait (&replied, CLOCK_MONOTONIC, &deadline) == 0 && reply[0] == 0xF9;
    }

    const double us = microseconds (Clock::now() - before) / (double) blocks;

    eventfd_write (stop, 1);
    io.join();
    received[1] = 0xFF;
    eventfd_write (wake, 1);
    dispatcher.join();
    close (wake);
    close (stop);
    sem_destroy (&replied);
    return ok ? us : -1.0;
}
} // namespace

//==============================================================================
int main (int argc, char** argv)
{
    int runs = 7;
    size_t size = 1 << 20;
    std::string devsimPath = DEVSIM_PATH;
    cpu_set_t all;
    sched_getaffinity (0, sizeof (all), &all);
    int cpu = -1;

    for (int c = 0; c < CPU_SETSIZE; ++c)
        if (CPU_ISSET (c, &all))
            cpu = c;

    for (int i = 1; i + 1 < argc; i += 2)
    {
        const std::string option = argv[i];

        if (option == "--runs")
            runs = std::max (1, std::atoi (argv[i + 1]));
        else if (option == "--size")
            size = (size_t) std::max (1022L * 2, std::atol (argv[i + 1]));
        else if (option == "--cpu")
            cpu = std::atoi (argv[i + 1]);
        else if (option == "--devsim")
            devsimPath = argv[i + 1];
    }

    cpu_set_t one;
    CPU_ZERO (&one);
    CPU_SET (cpu, &one);

    // Forked before any other thread exists.
    FloorDevice floorDevice;
    BenchDevice device;

    if (!floorDevice.start() || !device.start (devsimPath, "0"))
    {
        std::fprintf (stderr, "needs devsim, a temporary folder and a socket pair\n");
        return 1;
    }

    const auto folder = std::filesystem::path (device.bus + "-exe");
    std::filesystem::create_directory (folder);
    const auto file = updateFile (size);
    bool ok = false;

    if (std::FILE* f = std::fopen ((folder / "vn382_bench.upd").c_str(), "wb"))
        ok = (std::fwrite (file.data(), 1, file.size(), f) == file.size()) & (std::fclose (f) == 0);

    const Bytes image (file.begin() + 36, file.end());
    std::vector<std::string> results;

    {
        juce::ScopedJuceInitialiser_GUI juce;
        setExecutableFolderOverride (juce::File (folder.string()));

        for (const auto* mode : { "pinned", "unpinned" })
        {
            const auto& cpus = std::string (mode) == "pinned" ? one : all;
            std::vector<double> program, floor;

            // Alternating keeps a drift of the machine's load out of the ratio.
            for (int run = 0; run < runs && ok; ++run)
            {
                setAffinity (cpus, {});
                const double p = programPerBlock (cpus, device.pid);
                setAffinity (all, { device.pid });
                const double f = p >= 0 ? floorPerBlock (floorDevice, image, cpus) : -1.0;
                setAffinity (all, { floorDevice.pid });
                ok = p >= 0 && f >= 0;

                if (ok)
                {
                    program.push_back (p);
                    floor.push_back (f);
                    std::printf ("%s run %d: data phase %.2f us per block, floor %.2f us\n", mode, run + 1, p, f);
                    std::fflush (stdout);
                }
            }

            if (ok)
            {
                char line[200];
                std::snprintf (line, sizeof (line), "%s: data phase %.1f us per block, floor %.1f us, program/floor %.2f",
                               mode, median (program), median (floor), median (program) / median (floor));
                results.push_back (line);
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

    std::printf ("%zu bytes, %zu blocks, CPU %d when pinned, medians of %d runs\n",
                 size, (image.size() + blockSize - 1) / blockSize, cpu, runs);

    for (auto& line : results)
        std::printf ("%s\n", line.c_str());

    return 0;
}

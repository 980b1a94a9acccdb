// Start-up, idle and memory of the real program against bench_minimal_app (a JUCE window of the
// same size that paints one line of text), both under a private Xvfb without a window manager.
//
// - start-up: from the spawn to the first window content that is not one flat colour (the X
//   Damage extension reports each drawing, the window is then read back); the program from a
//   folder with a 1 KiB and with a 16 MiB update file.
// - idle: context switches and CPU time of all threads over windows of a few seconds, on the
//   first screen, then, clicked through with XTest, the no-device screen, the ready screen once
//   devsim joins the bus, and the complete screen after a transfer; the minimal app runs beside
//   the program and is sampled over the same windows, so that both see the same machine load.
// - memory: the peak resident size (VmHWM) with the 16 MiB file, at start-up and after sending it.
//
// usage: bench_startup [--runs N] [--idle-windows K] [--window-seconds S] [--app PATH]
//        (--app: another build of the program, e.g. a copy of an earlier one)
//        (start it inside a private mount and network namespace: the program allows one copy)

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>

#include "bench/BenchDevice.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace
{
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double median (std::vector<double> v)
{
    std::sort (v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

void stop (pid_t& pid)
{
    if (pid > 0)
    {
        kill (pid, SIGTERM);
        waitpid (pid, nullptr, 0);
    }

    pid = -1;
}

//==============================================================================
/** Context switches and on-CPU nanoseconds summed over a process's threads, and its thread count. */
struct Usage
{
    double switches = 0, cpuNs = 0;
    int threads = 0;
};

Usage usageOf (pid_t pid)
{
    Usage u;
    std::error_code ec;

    for (auto& task : fs::directory_iterator ("/proc/" + std::to_string (pid) + "/task", ec))
    {
        std::ifstream status (task.path() / "status"), sched (task.path() / "schedstat");
        std::string line;

        while (std::getline (status, line))
            if (line.find ("ctxt_switches:") != std::string::npos)
                u.switches += std::stod (line.substr (line.find (':') + 1));

        double ns = 0;
        sched >> ns;
        u.cpuNs += ns;
        ++u.threads;
    }

    return u;
}

double peakMegabytes (pid_t pid)
{
    std::ifstream status ("/proc/" + std::to_string (pid) + "/status");
    std::string line;

    while (std::getline (status, line))
        if (line.rfind ("VmHWM:", 0) == 0)
            return std::stod (line.substr (6)) / 1024.0;

    return 0;
}

//==============================================================================
/** A private Xvfb and the connection to it; tells when a new top-level window first shows
    painted content, and clicks into it. */
class PrivateDisplay
{
public:
    /** Starts Xvfb on a display number it picks; a few tries, as another server may take the
        number it found free. */
    bool start()
    {
        for (int attempt = 0; attempt < 5; ++attempt)
        {
            if (tryStart())
                return true;

            stop (xvfb);
        }

        return false;
    }

    ~PrivateDisplay()
    {
        if (display != nullptr)
            XCloseDisplay (display);

        stop (xvfb);
    }

    /** Spawns args and returns the milliseconds to its first painted window (< 0: none in 10 s). */
    double spawnUntilPainted (const std::vector<std::string>& args, pid_t& pid)
    {
        forgetWindows();
        const auto t0 = Clock::now();
        pid = spawnQuietly (args);
        return waitForPaint (10000) ? std::chrono::duration<double, std::milli> (Clock::now() - t0).count() : -1.0;
    }

    /** Waits for the shown window to draw anything at all (a screen change). */
    bool waitForRepaint (int timeoutMs)
    {
        repainted = false;
        return pump (timeoutMs, [this]
                     { return repainted; });
    }

    /** Moves the shown window's top-left corner to (x, y) of the screen. */
    void moveShownWindow (int x, int y)
    {
        XMoveWindow (display, shown, x, y);
        XSync (display, False);
    }

    /** A left click at (x, y) of the shown window. */
    void click (int x, int y)
    {
        int rx = 0, ry = 0;
        Window child;
        XTranslateCoordinates (display, shown, DefaultRootWindow (display), x, y, &rx, &ry, &child);
        XTestFakeMotionEvent (display, -1, rx, ry, 0);
        XTestFakeButtonEvent (display, 1, True, 0);
        XTestFakeButtonEvent (display, 1, False, 0);
        XFlush (display);
    }

    Display* display = nullptr;

private:
    bool tryStart()
    {
        int fds[2];

        if (pipe (fds) != 0)
            return false;

        xvfb = spawnQuietly ({ "/usr/bin/Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp" }, fds[1]);
        close (fds[1]);
        char number[16] = {};
        pollfd p { fds[0], POLLIN, 0 };
        const bool got = poll (&p, 1, 10000) > 0 && read (fds[0], number, sizeof (number) - 1) > 0;
        close (fds[0]);

        if (!got)
            return false;

        const auto name = ":" + std::string (number, std::strcspn (number, "\n"));
        setenv ("DISPLAY", name.c_str(), 1);
        display = XOpenDisplay (name.c_str());
        int error = 0;

        if (display == nullptr || !XDamageQueryExtension (display, &damageEvent, &error))
        {
            if (display != nullptr)
                XCloseDisplay (display);

            display = nullptr;
            return false;
        }

        XSetErrorHandler ([] (Display*, XErrorEvent*)
                          { return 0; }); // windows come and go
        XSelectInput (display, DefaultRootWindow (display), SubstructureNotifyMask);
        XSync (display, False);
        return true;
    }

    void forgetWindows()
    {
        for (auto& [window, damage] : damages)
            XDamageDestroy (display, damage);

        damages.clear();
        shown = 0;
        XSync (display, False);

        while (XPending (display) > 0)
        {
            XEvent e;
            XNextEvent (display, &e);
        }
    }

    bool isPainted (Window w)
    {
        XWindowAttributes a;

        if (!XGetWindowAttributes (display, w, &a) || a.map_state != IsViewable)
            return false;

        XImage* image = XGetImage (display, w, 0, 0, (unsigned) a.width, (unsigned) a.height, AllPlanes, ZPixmap);

        if (image == nullptr)
            return false;

        const auto first = XGetPixel (image, 0, 0);
        bool flat = true;

        for (int y = 0; y < a.height && flat; ++y)
            for (int x = 0; x < a.width && flat; ++x)
                flat = XGetPixel (image, x, y) == first;

        XDestroyImage (image);
        return !flat;
    }

    bool waitForPaint (int timeoutMs)
    {
        return pump (timeoutMs, [this]
                     { return shown != 0; });
    }

    template <typename Done>
    bool pump (int timeoutMs, Done done)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds (timeoutMs);

        while (!done())
        {
            if (XPending (display) == 0)
            {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (deadline - Clock::now()).count();
                pollfd p { ConnectionNumber (display), POLLIN, 0 };

                if (left <= 0 || poll (&p, 1, (int) left) <= 0)
                    return false;
            }

            XEvent e;
            XNextEvent (display, &e);

            if (e.type == CreateNotify)
                damages[e.xcreatewindow.window] = XDamageCreate (display, e.xcreatewindow.window, XDamageReportNonEmpty);
            else if (e.type == damageEvent + XDamageNotify)
            {
                const auto& d = reinterpret_cast<const XDamageNotifyEvent&> (e);
                XDamageSubtract (display, d.damage, None, None);
                repainted = true;

                if (shown == 0 && isPainted (d.drawable))
                    shown = d.drawable;
            }
            else if (e.type == MapNotify && shown == 0 && isPainted (e.xmap.window))
                shown = e.xmap.window;
        }

        return true;
    }

    pid_t xvfb = -1;
    int damageEvent = 0;
    std::map<Window, Damage> damages;
    Window shown = 0;
    bool repainted = false;
};

//==============================================================================
/** A folder holding a copy of the program beside an update file of the given size. */
std::string layOut (const fs::path& root, const std::string& name, size_t size, const fs::path& program)
{
    const auto folder = root / name;
    fs::create_directories (folder);
    const auto app = folder / program.filename();
    fs::copy_file (program, app, fs::copy_options::overwrite_existing);

    std::vector<char> bytes (size);
    std::mt19937 random (1);
    std::generate (bytes.begin(), bytes.end(), [&]
                   { return (char) random(); });
    std::memcpy (bytes.data(), "VN382 ", 6);
    std::memcpy (bytes.data() + 20, "123", 3);
    std::ofstream (folder / "vn382_v123.upd", std::ios::binary).write (bytes.data(), (std::streamsize) size);
    return app.string();
}

/** Idle usage of the program and of the minimal app over the same windows, side by side. */
struct Idle
{
    std::string screen;
    double switches, cpuMs, minimalSwitches, minimalCpuMs;
};

Idle measureIdle (const std::string& screen, pid_t program, pid_t minimal, int windows, double seconds)
{
    std::this_thread::sleep_for (std::chrono::milliseconds (1000)); // let the screen settle
    std::vector<double> values[4];

    for (int i = 0; i < windows; ++i)
    {
        const auto a = usageOf (program), am = usageOf (minimal);
        std::this_thread::sleep_for (std::chrono::duration<double> (seconds));
        const auto b = usageOf (program), bm = usageOf (minimal);
        values[0].push_back (b.switches - a.switches);
        values[1].push_back ((b.cpuNs - a.cpuNs) / 1e6);
        values[2].push_back (bm.switches - am.switches);
        values[3].push_back ((bm.cpuNs - am.cpuNs) / 1e6);
    }

    return { screen, median (values[0]), median (values[1]), median (values[2]), median (values[3]) };
}

/** Waits until the program's update thread has come and gone. */
bool waitForTransfer (pid_t pid, int threadsBefore, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds (timeoutMs);
    bool started = false;

    while (Clock::now() < deadline)
    {
        const int threads = usageOf (pid).threads;
        started = started || threads > threadsBefore;

        if (started && threads <= threadsBefore)
            return true;

        std::this_thread::sleep_for (std::chrono::milliseconds (5));
    }

    return false;
}

pid_t startDevsim (const fs::path& bus)
{
    fs::remove (bus / "bench");
    const pid_t pid = spawnQuietly ({ DEVSIM_PATH, "--bus", bus.string(), "--name", "bench", "--busy", "1" });

    for (int i = 0; i < 500 && !fs::exists (bus / "bench"); ++i)
        std::this_thread::sleep_for (std::chrono::milliseconds (10));

    return pid;
}

// The program's right-hand button (OK, Start, Close), in window coordinates.
constexpr int rightButtonX = 356, rightButtonY = 146;
} // namespace

//==============================================================================
int main (int argc, char** argv)
{
    int runs = 11, windows = 5;
    double seconds = 2.0;
    fs::path program = APP_PATH;

    for (int i = 1; i + 1 < argc; i += 2)
    {
        const std::string option = argv[i];

        if (option == "--runs")
            runs = std::max (1, std::atoi (argv[i + 1]));
        else if (option == "--idle-windows")
            windows = std::max (1, std::atoi (argv[i + 1]));
        else if (option == "--app")
            program = argv[i + 1];
        else if (option == "--window-seconds")
            seconds = std::max (0.1, std::atof (argv[i + 1]));
    }

    PrivateDisplay screen;

    if (!screen.start())
    {
        std::fprintf (stderr, "Xvfb did not start\n");
        return 1;
    }

    const auto root = fs::temp_directory_path() / ("bench-startup-" + std::to_string (getpid()));
    const auto small = layOut (root, "small", 1024, program);
    const auto large = layOut (root, "large", 16 << 20, program);
    fs::create_directories (root / "bus");
    setenv ("MORVANTX_BUS", (root / "bus").c_str(), 1);

    // Start-up, the three cases interleaved.
    std::vector<double> minimalMs, smallMs, largeMs;

    for (int run = 0; run < runs; ++run)
    {
        for (auto [path, out] : { std::pair { std::string (MINIMAL_APP_PATH), &minimalMs }, { small, &smallMs }, { large, &largeMs } })
        {
            pid_t pid = -1;
            const double ms = screen.spawnUntilPainted ({ path }, pid);
            stop (pid);

            if (ms < 0)
            {
                std::fprintf (stderr, "%s showed nothing within 10 s\n", path.c_str());
                return 1;
            }

            out->push_back (ms);
        }
    }

    std::printf ("exec to first painted pixels (median of %d): minimal app %.1f ms, program 1 KiB %.1f ms, 16 MiB %.1f ms\n",
                 runs, median (minimalMs), median (smallMs), median (largeMs));

    // Idle: the program through its screens, the minimal app beside it, out of its way.
    std::vector<Idle> idle;
    pid_t minimal = -1, pid = -1;
    screen.spawnUntilPainted ({ MINIMAL_APP_PATH }, minimal);
    screen.moveShownWindow (0, 0);
    screen.spawnUntilPainted ({ small }, pid);
    idle.push_back (measureIdle ("first screen", pid, minimal, windows, seconds));
    screen.click (rightButtonX, rightButtonY);
    screen.waitForRepaint (5000);
    idle.push_back (measureIdle ("no-device screen", pid, minimal, windows, seconds));

    pid_t devsim = startDevsim (root / "bus");
    screen.waitForRepaint (5000);
    idle.push_back (measureIdle ("ready screen", pid, minimal, windows, seconds));
    const int threads = usageOf (pid).threads;
    screen.click (rightButtonX, rightButtonY);

    if (waitForTransfer (pid, threads, 30000))
        idle.push_back (measureIdle ("complete screen", pid, minimal, windows, seconds));

    stop (minimal);
    stop (pid);
    stop (devsim);

    // Peak memory with the 16 MiB file, the device already there.
    devsim = startDevsim (root / "bus");
    screen.spawnUntilPainted ({ large }, pid);
    std::this_thread::sleep_for (std::chrono::milliseconds (500));
    const double startupPeak = peakMegabytes (pid);
    screen.click (rightButtonX, rightButtonY);
    screen.waitForRepaint (5000);
    std::this_thread::sleep_for (std::chrono::milliseconds (500));
    const int largeThreads = usageOf (pid).threads;
    screen.click (rightButtonX, rightButtonY);
    const bool sent = waitForTransfer (pid, largeThreads, 300000);
    const double transferPeak = peakMegabytes (pid);
    stop (pid);
    stop (devsim);
    fs::remove_all (root);

    std::printf ("idle over %.1f s (median of %d windows), program against the minimal app beside it:\n", seconds, windows);

    for (auto& i : idle)
        std::printf ("  %s: %.0f / %.0f context switches (%.2fx), %.1f / %.1f ms CPU (%.2fx)\n", i.screen.c_str(),
                     i.switches, i.minimalSwitches, i.switches / std::max (1.0, i.minimalSwitches), i.cpuMs,
                     i.minimalCpuMs, i.cpuMs / std::max (0.001, i.minimalCpuMs));

    std::printf ("peak memory with 16 MiB: %.1f MB at start-up, %.1f MB %s\n", startupPeak, transferPeak,
                 sent ? "after sending it" : "(the transfer did not end)");
    std::printf ("start-up: program/minimal %.2f, 16 MiB/1 KiB %.2f\n", median (smallMs) / median (minimalMs),
                 median (largeMs) / median (smallMs));
    return 0;
}

#pragma once

// Simulated devices for tests: a private device bus per test, and devsim processes on it.

#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport
{
/** A fresh bus folder (mode 0700) made the process's MORVANTX_BUS, which the device library
    reads at HID_Start; ctest runs each test in its own process. Removed with its content at the
    end, when the former value comes back.
*/
class PrivateBus
{
public:
    PrivateBus();
    ~PrivateBus();
    const std::string& path() const { return folder; }
    std::string file (const std::string& name) const { return folder + "/" + name; }

private:
    std::string folder, formerValue;
    bool hadFormerValue = false;
};

/** One devsim process; the destructor kills it if it still runs. */
class DevsimProcess
{
public:
    DevsimProcess() = default;
    ~DevsimProcess();

    /** The devsim executable of this build; empty when it was not built. */
    static std::string executable();

    /** Starts devsim on the bus with these options (devsim --help) and waits until it listens. */
    bool start (const std::string& busFolder, const std::vector<std::string>& options = {}, int timeoutMs = 10000);

    /** The socket file that stands for the device while it is on the bus. */
    const std::string& socketPath() const { return socket; }
    pid_t pid() const { return child; }

    /** SIGTERM (the device's removal), then the exit status; -1 (and killed) after timeoutMs. */
    int terminate (int timeoutMs = 10000);

    /** SIGKILL: the device vanishes without removing its socket file. */
    void kill();

    /** The exit status, or -1 when it still runs after timeoutMs. */
    int waitForExit (int timeoutMs);

    /** The next line devsim printed, without the line feed; empty on time-out. */
    std::string readLine (int timeoutMs);

private:
    pid_t child = -1;
    int output = -1;
    std::string socket, pending;
};
} // namespace testsupport

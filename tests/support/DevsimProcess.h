#pragma once

// Simulated devices for tests: a private device bus per test, and devsim processes on it.
//
// Tests run one per process under ctest, so PrivateBus sets MORVANTX_BUS for the whole process;
// the device library reads it at HID_Start.

#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport
{
/** A fresh bus folder (mode 0700) under the temporary folder, made the process's
    MORVANTX_BUS. The destructor puts the former value back and removes the folder and
    everything in it.
*/
class PrivateBus
{
public:
    PrivateBus();
    ~PrivateBus();

    const std::string& path() const { return folder; }

    /** The path of a file in the bus folder. */
    std::string file (const std::string& name) const { return folder + "/" + name; }

private:
    std::string folder;
    bool hadFormerValue = false;
    std::string formerValue;

    PrivateBus (const PrivateBus&) = delete;
    PrivateBus& operator= (const PrivateBus&) = delete;
};

//==============================================================================
/** One devsim process. The destructor kills it (SIGKILL) if it still runs. */
class DevsimProcess
{
public:
    DevsimProcess() = default;
    ~DevsimProcess();

    /** The devsim executable of this build; empty when it was not built. */
    static std::string executable();

    /** Starts devsim on the bus with the given extra options (see devsim --help) and waits
        until it listens. False when it cannot start or is not ready within timeoutMs.
    */
    bool start (const std::string& busFolder, const std::vector<std::string>& options = {}, int timeoutMs = 5000);

    /** The socket file that stands for the device while it is on the bus. */
    const std::string& socketPath() const { return socket; }

    pid_t pid() const { return child; }

    /** SIGTERM (the device's removal), then waits for the end; the exit status, or -1 when
        it did not end within timeoutMs (it is then killed).
    */
    int terminate (int timeoutMs = 5000);

    /** SIGKILL: the device vanishes without removing its socket file. */
    void kill();

    /** Waits for the end; the exit status, or -1 when it still runs after timeoutMs. */
    int waitForExit (int timeoutMs);

    /** The next line that devsim printed (without the line feed); empty on time-out. */
    std::string readLine (int timeoutMs);

private:
    pid_t child = -1;
    int output = -1;
    std::string socket, pending;

    DevsimProcess (const DevsimProcess&) = delete;
    DevsimProcess& operator= (const DevsimProcess&) = delete;
};
} // namespace testsupport

#pragma once

// Simulated devices for tests: a private device bus per test, and devsim processes on it.

#include <juce_core/juce_core.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace testsupport
{
/** A fresh bus folder (mode 0700) as the process's MORVANTX_BUS, read at HID_Start, in a parent
    of its own: the library watches the parent too, and files that other tests make side by side
    in the shared temp folder must not wake it.
*/
class PrivateBus
{
public:
    PrivateBus()
    {
        root = juce::File::getSpecialLocation (juce::File::tempDirectory).getFullPathName().toStdString() + "/mvtx-bus-XXXXXX";
        mkdtemp (root.data());
        folder = root + "/bus";
        mkdir (folder.c_str(), 0700);
        setenv ("MORVANTX_BUS", folder.c_str(), 1);
    }

    ~PrivateBus()
    {
        unsetenv ("MORVANTX_BUS");
        std::error_code ignored; // JUCE leaves a socket, a killed devsim's, and its folder behind
        std::filesystem::remove_all (root, ignored);
    }

    const std::string& path() const { return folder; }
    const std::string& parent() const { return root; }
    std::string file (const std::string& name) const { return folder + "/" + name; }

private:
    std::string root, folder;
};

/** One devsim process; the destructor kills it if it still runs. */
class DevsimProcess
{
public:
    ~DevsimProcess() { kill(); }

    /** Starts devsim on the bus with these options (devsim --help); true once it listens. */
    bool start (const std::string& busFolder, const std::vector<std::string>& options = {})
    {
        juce::StringArray args { DEVSIM_PATH, "--bus", busFolder.c_str() };

        for (auto& o : options)
            args.add (o);

        if (!process.start (args, juce::ChildProcess::wantStdOut))
            return false;

        std::string line; // "ready <socket>" once it listens; the end of its output else

        for (char c = 0; process.readProcessOutput (&c, 1) == 1 && c != '\n';)
            line += c;

        return line.rfind ("ready ", 0) == 0;
    }

    /** SIGKILL: the device vanishes without removing its socket file. */
    void kill() { process.kill(); }

private:
    juce::ChildProcess process;
};
} // namespace testsupport

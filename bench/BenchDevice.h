#pragma once

// One devsim on a private bus for a benchmark: started quietly, stopped and cleaned up when
// the object goes.

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

/** Starts a program with its output thrown away; keepFd, when given, becomes its descriptor 3.
    -1 when it cannot be started. */
inline pid_t spawnQuietly (std::vector<std::string> args, int keepFd = -1)
{
    std::vector<char*> argv;

    for (auto& a : args)
        argv.push_back (a.data());

    argv.push_back (nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init (&actions);
    posix_spawn_file_actions_addopen (&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen (&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    if (keepFd >= 0)
        posix_spawn_file_actions_adddup2 (&actions, keepFd, 3);

    pid_t pid = -1;
    const bool spawned = posix_spawn (&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy (&actions);
    return spawned ? pid : -1;
}

class BenchDevice
{
public:
    /** Makes the bus (also as MORVANTX_BUS), starts devsim with the given busy polls and waits
        for its socket; false when any of it fails. */
    bool start (const std::string& devsimPath, const char* busyPolls)
    {
        // In a parent of its own, which the library watches too: files that others make in the
        // shared temp folder must not wake it during a measurement.
        root = (std::filesystem::temp_directory_path() / "mvtx-bench-XXXXXX").string();

        if (devsimPath.empty() || mkdtemp (root.data()) == nullptr)
        {
            root.clear();
            return false;
        }

        if (mkdir ((bus = root + "/bus").c_str(), 0700) != 0)
            return false;

        setenv ("MORVANTX_BUS", bus.c_str(), 1);
        socketPath = bus + "/bench";

        pid = spawnQuietly ({ devsimPath, "--bus", bus, "--name", "bench", "--busy", busyPolls });
        const bool spawned = pid > 0;

        if (!spawned)
        {
            pid = -1;
            return false;
        }

        for (int i = 0; i < 500 && access (socketPath.c_str(), F_OK) != 0; ++i)
            std::this_thread::sleep_for (std::chrono::milliseconds (10));

        return access (socketPath.c_str(), F_OK) == 0;
    }

    ~BenchDevice()
    {
        if (pid > 0)
        {
            kill (pid, SIGTERM);
            waitpid (pid, nullptr, 0);
        }

        if (!root.empty())
            std::filesystem::remove_all (root);
    }

    std::string root, bus, socketPath;
    pid_t pid = -1;
};

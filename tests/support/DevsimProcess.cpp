#include "support/DevsimProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace testsupport
{
PrivateBus::PrivateBus()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "mvtx-bus-XXXXXX").string();

    if (mkdtemp (pattern.data()) != nullptr)
        folder = pattern;

    if (const char* v = std::getenv ("MORVANTX_BUS"))
    {
        hadFormerValue = true;
        formerValue = v;
    }

    setenv ("MORVANTX_BUS", folder.c_str(), 1);
}

PrivateBus::~PrivateBus()
{
    if (hadFormerValue)
        setenv ("MORVANTX_BUS", formerValue.c_str(), 1);
    else
        unsetenv ("MORVANTX_BUS");

    std::error_code ignored;

    if (!folder.empty())
        std::filesystem::remove_all (folder, ignored);
}

//==============================================================================
DevsimProcess::~DevsimProcess()
{
    kill();

    if (output >= 0)
        close (output);
}

std::string DevsimProcess::executable()
{
    return DEVSIM_PATH;
}

bool DevsimProcess::start (const std::string& busFolder, const std::vector<std::string>& options, int timeoutMs)
{
    if (child > 0 || executable().empty())
        return false;

    int pipeFds[2];

    if (pipe2 (pipeFds, O_CLOEXEC) != 0)
        return false;

    std::vector<std::string> args { executable(), "--bus", busFolder };
    args.insert (args.end(), options.begin(), options.end());
    std::vector<char*> argv;

    for (auto& a : args)
        argv.push_back (a.data());

    argv.push_back (nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init (&actions);
    posix_spawn_file_actions_adddup2 (&actions, pipeFds[1], STDOUT_FILENO);
    const int result = posix_spawn (&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy (&actions);
    close (pipeFds[1]);
    output = pipeFds[0];

    if (result != 0)
    {
        child = -1;
        return false;
    }

    const auto line = readLine (timeoutMs);

    if (line.rfind ("ready ", 0) != 0)
    {
        kill();
        return false;
    }

    socket = line.substr (6);
    return true;
}

std::string DevsimProcess::readLine (int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);

    for (;;)
    {
        if (auto n = pending.find ('\n'); n != std::string::npos)
        {
            auto line = pending.substr (0, n);
            pending.erase (0, n + 1);
            return line;
        }

        const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (end - std::chrono::steady_clock::now()).count();
        pollfd p { output, POLLIN, 0 };

        if (output < 0 || left <= 0 || poll (&p, 1, (int) left) <= 0)
            return {};

        char buffer[512];
        const auto n = read (output, buffer, sizeof (buffer));

        if (n <= 0)
            return {};

        pending.append (buffer, (size_t) n);
    }
}

int DevsimProcess::waitForExit (int timeoutMs)
{
    if (child <= 0)
        return -1;

    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);

    for (;;)
    {
        int status = 0;

        if (waitpid (child, &status, WNOHANG) == child)
        {
            child = -1;
            return WIFEXITED (status) ? WEXITSTATUS (status) : 128 + WTERMSIG (status);
        }

        if (std::chrono::steady_clock::now() >= end)
            return -1;

        std::this_thread::sleep_for (std::chrono::milliseconds (2));
    }
}

int DevsimProcess::terminate (int timeoutMs)
{
    if (child <= 0)
        return -1;

    ::kill (child, SIGTERM);
    const int status = waitForExit (timeoutMs);

    if (status < 0)
        kill();

    return status;
}

void DevsimProcess::kill()
{
    if (child <= 0)
        return;

    ::kill (child, SIGKILL);
    waitpid (child, nullptr, 0);
    child = -1;
}
} // namespace testsupport

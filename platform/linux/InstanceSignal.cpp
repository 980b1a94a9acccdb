#include "platform/linux/InstanceSignal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{
constexpr int maxCommandLineBytes = 4096;

// A folder of this user that no other user can write to, so that nobody else can make or
// replace anything in it.
bool isPrivate (const char* path, juce::String& why)
{
    struct stat st;

    if (path == nullptr || *path != '/' || ::stat (path, &st) != 0 || !S_ISDIR (st.st_mode))
        why = juce::String ("\"") + (path != nullptr ? path : "") + "\" is not a folder";
    else if (st.st_uid != getuid())
        why = juce::String (path) + " belongs to another user";
    else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        why = juce::String (path) + " is writable by other users";
    else
        return true;

    return false;
}

// The session's runtime folder, else the home folder.
juce::String privateFolder (juce::String& why)
{
    const char* runtime = std::getenv ("XDG_RUNTIME_DIR");
    const char* home = std::getenv ("HOME");

    if (home == nullptr || *home == 0)
        if (const auto* entry = getpwuid (getuid()))
            home = entry->pw_dir;

    for (const char* candidate : { runtime, home })
        if (candidate != nullptr && *candidate != 0 && isPrivate (candidate, why))
            return candidate;

    return {};
}

// The socket is named through the locked folder's descriptor, so that it is always the one in
// the folder whose lock was taken, whatever the length of the folder's path.
socklen_t makeAddress (int folderFd, sockaddr_un& address)
{
    std::memset (&address, 0, sizeof (address));
    address.sun_family = AF_UNIX;
    const int n = std::snprintf (address.sun_path, sizeof (address.sun_path), "/proc/self/fd/%d/socket", folderFd);
    return (socklen_t) (offsetof (sockaddr_un, sun_path) + (size_t) n + 1);
}

// A connection from a second start, answered once the running copy has taken the start.
struct Caller
{
    explicit Caller (int s) : fd (s) {}
    ~Caller() { ::close (fd); }

    /** False once the caller has given up waiting and closed its end. */
    bool waits() const
    {
        pollfd p { fd, POLLOUT, 0 };
        return ::poll (&p, 1, 0) >= 0 && (p.revents & (POLLHUP | POLLERR)) == 0;
    }

    void answer() const { [[maybe_unused]] const auto sent = ::send (fd, "!", 1, MSG_NOSIGNAL | MSG_DONTWAIT); }

    const int fd;
};
} // namespace

//==============================================================================
InstanceSignal::InstanceSignal (const juce::String& applicationName)
    : juce::Thread ("InstanceSignal")
    , folderName ("." + applicationName)
{
}

InstanceSignal::~InstanceSignal()
{
    signalThreadShouldExit();

    if (wakeFd >= 0)
    {
        const juce::uint64 one = 1;
        [[maybe_unused]] const auto written = ::write (wakeFd, &one, sizeof (one));
    }

    stopThread (2000);

    if (listenFd >= 0)
    {
        // Before the lock goes with the folder's descriptor: the next copy makes its own.
        sockaddr_un address;
        makeAddress (folderFd, address);
        ::unlink (address.sun_path);
    }

    for (const int fd : { listenFd, wakeFd, folderFd })
        if (fd >= 0)
            ::close (fd);
}

bool InstanceSignal::openFolder()
{
    juce::String why;
    const auto base = privateFolder (why);

    if (base.isEmpty())
    {
        error = "no folder of this user that other users cannot write to (" + why + ")";
        return false;
    }

    folder = base + "/" + folderName;

    if (::mkdir (folder.toRawUTF8(), 0700) != 0 && errno != EEXIST)
    {
        error = "cannot make " + folder + ": " + juce::String (std::strerror (errno));
        return false;
    }

    folderFd = ::open (folder.toRawUTF8(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;

    if (folderFd >= 0 && ::fstat (folderFd, &st) == 0 && st.st_uid == getuid() && (st.st_mode & 077) == 0)
        return true;

    error = folder + " is not a folder that only this user can enter";
    return false;
}

InstanceSignal::Role InstanceSignal::listen (std::function<void (const juce::String&)> onOtherStart)
{
    if (folderFd >= 0 || !openFolder())
        return Role::unusable;

    if (::flock (folderFd, LOCK_EX | LOCK_NB) != 0)
    {
        if (errno == EWOULDBLOCK)
            return Role::secondCopy;

        error = "cannot lock " + folder + ": " + juce::String (std::strerror (errno));
        return Role::unusable;
    }

    // A copy that ended without tidying up left its socket behind.
    sockaddr_un address;
    const auto length = makeAddress (folderFd, address);
    ::unlink (address.sun_path);

    const int fd = ::socket (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    wakeFd = ::eventfd (0, EFD_CLOEXEC);

    if (fd < 0 || wakeFd < 0 || ::bind (fd, (const sockaddr*) &address, length) != 0 || ::listen (fd, 4) != 0)
    {
        error = "cannot listen in " + folder + ": " + juce::String (std::strerror (errno));

        if (fd >= 0)
            ::close (fd);

        return Role::unusable;
    }

    listenFd = fd;
    callback = std::move (onOtherStart);
    startThread();
    return Role::listening;
}

void InstanceSignal::run()
{
    while (!threadShouldExit())
    {
        // Sleeps until a connection or the destructor's wake-up: an idle program does not wake.
        pollfd p[] { { listenFd, POLLIN, 0 }, { wakeFd, POLLIN, 0 } };

        if (::poll (p, 2, -1) <= 0 || p[1].revents != 0)
            continue;

        const int client = ::accept4 (listenFd, nullptr, nullptr, SOCK_CLOEXEC);

        if (client < 0)
            continue;

        // Read the command line, bounded in size and time so that a stray peer cannot hold us.
        auto caller = std::make_shared<Caller> (client);
        juce::MemoryBlock received;
        char chunk[512];
        const auto deadline = juce::Time::getMillisecondCounter() + 1000;

        while (received.getSize() < (size_t) maxCommandLineBytes && juce::Time::getMillisecondCounter() < deadline)
        {
            pollfd c { client, POLLIN, 0 };

            if (::poll (&c, 1, 100) <= 0)
                continue;

            const auto n = ::recv (client, chunk, sizeof (chunk), 0);

            if (n <= 0)
                break;

            received.append (chunk, (size_t) n);
        }

        auto text = juce::String::fromUTF8 ((const char*) received.getData(),
                                            (int) juce::jmin (received.getSize(), (size_t) maxCommandLineBytes));

        juce::WeakReference<InstanceSignal> weakThis (this);
        juce::MessageManager::callAsync ([weakThis, text, caller]
                                         {
            if (weakThis != nullptr && weakThis->callback && caller->waits())
            {
                weakThis->callback (text);
                caller->answer();
            } });
    }
}

bool InstanceSignal::handOver (const juce::String& commandLine, int timeoutMs)
{
    const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax (0, timeoutMs);
    const auto msLeft = [deadline]
    { return (int) juce::jmax ((juce::int64) 0, (juce::int64) deadline - (juce::int64) juce::Time::getMillisecondCounter()); };

    error = "another copy runs for this user but did not answer within " + juce::String (timeoutMs) + " ms";

    if (folderFd < 0)
        return false;

    sockaddr_un address;
    const auto length = makeAddress (folderFd, address);
    int fd = -1;

    // The running copy may still be starting, or have a full queue of connections (it does not
    // run, or hangs): try again until the time-out. A non-blocking connect never waits longer.
    for (;;)
    {
        fd = ::socket (AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);

        if (fd >= 0 && ::connect (fd, (const sockaddr*) &address, length) == 0)
            break;

        if (fd >= 0)
            ::close (fd);

        if (msLeft() == 0)
            return false;

        juce::Thread::sleep (juce::jmin (20, msLeft()));
    }

    const auto bytes = commandLine.toStdString();
    const auto n = juce::jmin (bytes.size(), (size_t) maxCommandLineBytes);
    pollfd p { fd, POLLIN, 0 };
    char answer;
    const bool taken = (n == 0 || ::send (fd, bytes.data(), n, MSG_NOSIGNAL) == (ssize_t) n)
                       && ::shutdown (fd, SHUT_WR) == 0
                       && ::poll (&p, 1, msLeft()) > 0 && ::recv (fd, &answer, 1, 0) == 1;
    ::close (fd);
    return taken;
}

#include "platform/linux/InstanceSignal.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{
constexpr int maxCommandLineBytes = 4096;

// An abstract socket (leading NUL) leaves no file behind when a copy crashes.
socklen_t makeAddress (const juce::String& name, sockaddr_un& address)
{
    std::memset (&address, 0, sizeof (address));
    address.sun_family = AF_UNIX;
    const auto bytes = name.toStdString();
    const size_t n = juce::jmin (bytes.size(), sizeof (address.sun_path) - 1);
    std::memcpy (address.sun_path + 1, bytes.data(), n);
    return (socklen_t) (offsetof (sockaddr_un, sun_path) + 1 + n);
}

juce::String makeSocketName (const juce::String& applicationName)
{
    return "juceAppSignal_" + applicationName + "_" + juce::String ((int) getuid());
}
} // namespace

//==============================================================================
InstanceSignal::InstanceSignal (const juce::String& applicationName)
    : juce::Thread ("InstanceSignal")
    , socketName (makeSocketName (applicationName))
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

    for (const int fd : { listenFd, wakeFd })
        if (fd >= 0)
            ::close (fd);
}

bool InstanceSignal::listen (std::function<void (const juce::String&)> onOtherStart)
{
    if (listenFd >= 0)
        return false;

    const int fd = ::socket (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);

    if (fd < 0)
        return false;

    sockaddr_un address;
    const auto length = makeAddress (socketName, address);

    if (::bind (fd, (const sockaddr*) &address, length) != 0 || ::listen (fd, 4) != 0)
    {
        ::close (fd);
        return false;
    }

    wakeFd = ::eventfd (0, EFD_CLOEXEC);

    if (wakeFd < 0)
    {
        ::close (fd);
        return false;
    }

    listenFd = fd;
    callback = std::move (onOtherStart);
    return startThread();
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

        ::close (client);

        auto text = juce::String::fromUTF8 ((const char*) received.getData(),
                                            (int) juce::jmin (received.getSize(), (size_t) maxCommandLineBytes));

        juce::WeakReference<InstanceSignal> weakThis (this);
        juce::MessageManager::callAsync ([weakThis, text]
                                         {
            if (weakThis != nullptr && weakThis->callback)
                weakThis->callback (text); });
    }
}

bool InstanceSignal::frameworkLockIsLink (const juce::String& applicationName)
{
    // Where JUCE keeps the lock of JUCEApplicationBase on Linux.
    const juce::File folder (juce::File ("/var/tmp").isDirectory() ? "/var/tmp" : "/tmp");
    return folder.getChildFile ("juceAppLock_" + applicationName).isSymbolicLink();
}

bool InstanceSignal::notifyRunningCopy (const juce::String& applicationName, const juce::String& commandLine,
                                        int timeoutMs)
{
    sockaddr_un address;
    const auto length = makeAddress (makeSocketName (applicationName), address);
    const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax (0, timeoutMs);

    // The running copy may still be starting: retry until the time-out.
    for (;;)
    {
        const int fd = ::socket (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);

        if (fd < 0)
            return false;

        if (::connect (fd, (const sockaddr*) &address, length) == 0)
        {
            const auto bytes = commandLine.toStdString();
            const auto n = juce::jmin (bytes.size(), (size_t) maxCommandLineBytes);
            const bool sent = n == 0 || ::send (fd, bytes.data(), n, MSG_NOSIGNAL) == (ssize_t) n;
            ::close (fd);
            return sent;
        }

        ::close (fd);

        if (juce::Time::getMillisecondCounter() >= deadline)
            return false;

        juce::Thread::sleep (50);
    }
}

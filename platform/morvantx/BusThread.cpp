#include "platform/morvantx/BusThread.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <utility>

namespace morvantx
{
namespace
{
    constexpr auto greetingTimeout = std::chrono::milliseconds (1000);
    constexpr auto retryInterval = std::chrono::milliseconds (20);
    constexpr int connectAttempts = 50; // a socket bound but not yet listening gets 1 s
    constexpr size_t maxGreetings = 32;
    constexpr size_t maxRetries = 256;
    constexpr size_t maxRefused = 1024;
    constexpr uint32_t busEvents = IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;

    // "a//b/./bus/." gives "a/b/bus": split as it was, the parent's watch would fall on the bus
    // folder itself. A last ".." cannot be dropped by hand, so it is resolved: the folder exists.
    std::string normalPath (const std::string& path)
    {
        std::string normal = path.rfind ('/', 0) == 0 ? "/" : "", part, last;
        std::istringstream parts (path);

        while (std::getline (parts, part, '/'))
            if (!part.empty() && part != ".")
                normal += (normal.empty() || normal.back() == '/' ? "" : "/") + (last = part);

        if (char* real = normal.empty() || last == ".." ? realpath (path.c_str(), nullptr) : nullptr)
        {
            normal = real;
            std::free (real);
        }

        return normal.empty() ? "." : normal;
    }

    // "a/b/bus" gives { "a/b", "bus" }.
    std::pair<std::string, std::string> splitPath (const std::string& path)
    {
        const auto slash = path.rfind ('/');

        if (slash == std::string::npos)
            return { ".", path };

        return { slash == 0 ? "/" : path.substr (0, slash), path.substr (slash + 1) };
    }

    // recv gives 0 both for an empty packet and for the end of the connection.
    bool peerHasClosed (int socket)
    {
        pollfd p { socket, POLLRDHUP, 0 };

        if (poll (&p, 1, 0) <= 0 || (p.revents & (POLLHUP | POLLRDHUP)) == 0)
            return false;

        int unread = 0;
        return ioctl (socket, FIONREAD, &unread) != 0 || unread == 0;
    }
} // namespace

BusThread::BusThread (DeviceTable& t, Poster p)
    : table (t)
    , post (std::move (p))
{
}

BusThread::~BusThread()
{
    stop();
}

bool BusThread::start (const std::string& dir)
{
    directory = normalPath (dir);
    busWatch = parentWatch = -1;
    wakeFd = eventfd (0, EFD_NONBLOCK | EFD_CLOEXEC);
    watchFd = inotify_init1 (IN_NONBLOCK | IN_CLOEXEC);
    std::string error;

    if (wakeFd < 0 || watchFd < 0 || (busWatch = watchIfSafe (error)) < 0)
    {
        stop();
        return false;
    }

    // A socket still bound in the bus folder holds back the folder's IN_DELETE_SELF until it
    // closes, so the folder's going and coming back are watched from its parent. Should the
    // parent not be readable, the folder's own events still tell of its going, later.
    const auto [parent, name] = splitPath (directory);
    busName = name;
    parentWatch = inotify_add_watch (watchFd, parent.c_str(), IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);

    table.setRoomSignal (wakeFd);
    stopping = false;
    settled = false;
    thread = std::thread ([this]
                          { run(); });

    // The devices already on the bus are in the table when HID_Start returns, so that the
    // search right after it finds a device that was plugged in before the program started.
    std::unique_lock<std::mutex> l (settleLock);
    settleSignal.wait_for (l, greetingTimeout + std::chrono::milliseconds (200), [this]
                           { return settled; });
    return true;
}

void BusThread::stop()
{
    stopping = true;

    if (thread.joinable())
    {
        eventfd_write (wakeFd, 1);
        thread.join();
    }

    table.setRoomSignal (-1);

    for (int* fd : { &wakeFd, &watchFd })
    {
        if (*fd >= 0)
            close (*fd);

        *fd = -1;
    }
}

//==============================================================================
void BusThread::run()
{
    scan();
    std::vector<pollfd> fds;
    bool firstScanSettled = false;

    while (!stopping)
    {
        if (!firstScanSettled && greetings.empty())
        {
            firstScanSettled = true;
            markSettled();
        }

        fds.clear();
        fds.push_back ({ wakeFd, POLLIN, 0 });
        fds.push_back ({ watchFd, POLLIN, 0 });

        for (auto& g : greetings)
            fds.push_back ({ g.socket, POLLIN, 0 });

        for (auto& d : devices)
            fds.push_back ({ d.socket, (short) (table.hasRoom (d.number) ? POLLIN : 0), 0 });

        if (poll (fds.data(), fds.size(), pollTimeout()) < 0 && errno != EINTR)
            break;

        if (stopping)
            break;

        if (fds[0].revents != 0)
        {
            eventfd_t ignored;
            eventfd_read (wakeFd, &ignored);
        }

        // Backwards, so that removing entry i leaves the indices before it alone.
        const size_t greetingCount = greetings.size();

        for (size_t i = devices.size(); i-- > 0;)
            if (auto revents = fds[2 + greetingCount + i].revents; revents != 0 && !readReport (devices[i], revents))
                removeDevice (i);

        const auto now = Clock::now();

        for (size_t i = greetingCount; i-- > 0;)
            if (fds[2 + i].revents != 0 || greetings[i].deadline <= now)
                finishGreeting (i, fds[2 + i].revents != 0);

        if (fds[1].revents != 0)
            readWatch();

        auto due = std::partition (retries.begin(), retries.end(), [now] (auto& r)
                                   { return r.due > now; });
        std::vector<Retry> dueNow (due, retries.end());
        retries.erase (due, retries.end());

        for (auto& r : dueNow)
            if (!isKnown (r.name))
                tryConnect (r.name, r.attemptsLeft);

        if (missedForLimit && devices.size() + greetings.size() < DeviceTable::maxDevices && greetings.size() < maxGreetings)
        {
            missedForLimit = false;
            scan();
        }
    }

    markSettled();

    for (auto& g : greetings)
        close (g.socket);

    greetings.clear();
    devices.clear(); // their sockets belong to the table, which HID_Stop clears
    retries.clear();
    refused.clear();
    missedForLimit = false;
}

void BusThread::markSettled()
{
    std::lock_guard<std::mutex> l (settleLock);
    settled = true;
    settleSignal.notify_all();
}

int BusThread::pollTimeout() const
{
    if (greetings.empty() && retries.empty())
        return -1;

    auto next = Clock::time_point::max();

    for (auto& g : greetings)
        next = std::min (next, g.deadline);

    for (auto& r : retries)
        next = std::min (next, r.due);

    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds> (next - Clock::now()).count();
    return (int) std::clamp<long long> (ms + 1, 0, 1000);
}

//==============================================================================
// The folder at the bus's path, watched, if it passes HID_Start's check; -1 if not.
int BusThread::watchIfSafe (std::string& error)
{
    if (!devicebus::checkBusDirectory (directory, error))
        return -1;

    const int watch = inotify_add_watch (watchFd, directory.c_str(), busEvents);

    if (watch < 0)
        error = "cannot watch " + directory + ": " + std::strerror (errno);

    return watch;
}

// Judges the bus by what stands at its path, whatever the event that brought the thread here.
// inotify gives the watch back for the watched folder and a new one for any other, whatever its
// inode number: the same folder keeps its devices; otherwise they go with the watched one, and
// a safe folder at the path is watched and scanned instead.
void BusThread::judgeBus (bool eventsLost)
{
    std::string error;
    const int watch = watchIfSafe (error);

    if (watch >= 0 && watch == busWatch)
    {
        if (eventsLost)
            rescan();

        return;
    }

    if (busWatch >= 0)
        busGone();

    if (struct stat st; watch < 0 && lstat (directory.c_str(), &st) == 0)
        std::fprintf (stderr, "morvantx: %s\n", error.c_str());

    if ((busWatch = watch) >= 0)
        scan();
}

// Names may have come and gone unseen in the same folder: a device whose file went or was
// replaced goes, and the folder is read again. The others stay: a busy parent such as /tmp
// overflows the queue as well, and an update in progress must not lose its device.
void BusThread::rescan()
{
    std::vector<std::string> stale;

    for (auto& d : devices)
        if (struct stat st; lstat ((directory + "/" + d.name).c_str(), &st) != 0 || st.st_ino != d.file)
            stale.push_back (d.name);

    for (auto& name : stale)
        forget (name);

    refused.clear();
    scan();
}

// The watched folder is no longer the safe one at the bus's path (deleted, moved, replaced, or
// another owner or mode): its devices go with it.
void BusThread::busGone()
{
    inotify_rm_watch (watchFd, std::exchange (busWatch, -1)); // already gone unless the folder is still there

    std::set<std::string> names (refused);

    for (auto& g : greetings)
        names.insert (g.name);

    for (auto& d : devices)
        names.insert (d.name);

    for (auto& r : retries)
        names.insert (r.name);

    for (auto& name : names)
        forget (name);
}

void BusThread::scan()
{
    DIR* dir = opendir (directory.c_str());

    if (dir == nullptr)
        return;

    while (auto* entry = readdir (dir))
    {
        const std::string name = entry->d_name;

        if (devicebus::isDeviceName (name.c_str()) && !isKnown (name) && refused.count (name) == 0)
            tryConnect (name, connectAttempts);
    }

    closedir (dir);
}

void BusThread::readWatch()
{
    alignas (inotify_event) char buffer[8192];

    for (;;)
    {
        const auto n = read (watchFd, buffer, sizeof (buffer));

        if (n <= 0)
            return;

        for (ssize_t offset = 0; offset < n;)
        {
            auto* e = reinterpret_cast<const inotify_event*> (buffer + offset);
            offset += (ssize_t) (sizeof (inotify_event) + e->len);

            if ((e->mask & IN_Q_OVERFLOW) != 0)
            {
                judgeBus (true); // events were lost
                continue;
            }

            if (e->wd == parentWatch)
            {
                // News of the bus's name or of the parent itself. A parent moved away stays
                // watched, as inotify follows it, so that its moving back is seen. Its deletion
                // took the bus folder along: a new one made in a new parent is not looked for
                // until the next HID_Start.
                if ((e->mask & IN_IGNORED) != 0)
                    parentWatch = -1;

                if (e->len == 0 || busName == e->name)
                    judgeBus (false);

                continue;
            }

            if (e->wd != busWatch)
                continue; // a watch given up, whose last events were still queued

            if (e->len == 0)
            {
                judgeBus (false); // the folder itself went, or its owner or mode changed
                continue;
            }

            const std::string name = e->name;

            if ((e->mask & (IN_CREATE | IN_MOVED_TO)) != 0)
                nameAppeared (name);
            else if ((e->mask & (IN_DELETE | IN_MOVED_FROM)) != 0)
                nameGone (name);
        }
    }
}

void BusThread::nameAppeared (const std::string& name)
{
    if (!devicebus::isDeviceName (name.c_str()))
        return;

    // The initial scan may have met this file already; a new file under a known name
    // replaces the old one, whose device has gone.
    struct stat st;

    if (lstat ((directory + "/" + name).c_str(), &st) == 0 && isKnownFile (name, st.st_ino))
        return;

    forget (name);
    tryConnect (name, connectAttempts);
}

void BusThread::nameGone (const std::string& name)
{
    forget (name);
}

void BusThread::forget (const std::string& name)
{
    refused.erase (name);
    retries.erase (std::remove_if (retries.begin(), retries.end(), [&] (auto& r)
                                   { return r.name == name; }),
                   retries.end());

    for (size_t i = greetings.size(); i-- > 0;)
    {
        if (greetings[i].name == name)
        {
            close (greetings[i].socket);
            greetings.erase (greetings.begin() + (long) i);
        }
    }

    for (size_t i = devices.size(); i-- > 0;)
    {
        if (devices[i].name == name)
        {
            drain (devices[i]); // what it sent before its file went stays readable
            removeDevice (i);
        }
    }
}

void BusThread::drain (const Device& device)
{
    pollfd p { device.socket, POLLIN, 0 };

    while (table.hasRoom (device.number) && poll (&p, 1, 0) > 0 && (p.revents & POLLIN) != 0 && readReport (device, p.revents))
        continue;
}

bool BusThread::isKnown (const std::string& name) const
{
    auto same = [&] (auto& x)
    { return x.name == name; };
    return std::any_of (greetings.begin(), greetings.end(), same) || std::any_of (devices.begin(), devices.end(), same) || std::any_of (retries.begin(), retries.end(), same);
}

bool BusThread::isKnownFile (const std::string& name, ino_t file) const
{
    auto same = [&] (auto& x)
    { return x.name == name && x.file == file; };
    return std::any_of (greetings.begin(), greetings.end(), same) || std::any_of (devices.begin(), devices.end(), same);
}

//==============================================================================
void BusThread::tryConnect (const std::string& name, int attemptsLeft)
{
    const auto path = directory + "/" + name;
    struct stat st;

    if (lstat (path.c_str(), &st) != 0 || !S_ISSOCK (st.st_mode))
        return;

    if (greetings.size() >= maxGreetings || devices.size() + greetings.size() >= DeviceTable::maxDevices)
    {
        missedForLimit = true;
        return;
    }

    sockaddr_un address;
    socklen_t length;

    if (!devicebus::makeAddress (path, address, length))
        return;

    const int s = socket (AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);

    if (s < 0)
        return;

    if (connect (s, reinterpret_cast<sockaddr*> (&address), length) == 0)
    {
        greetings.push_back ({ s, name, st.st_ino, Clock::now() + greetingTimeout });
        return;
    }

    const int error = errno;
    close (s);

    // Bound but not yet listening, or its backlog is full: try again shortly.
    if ((error == ECONNREFUSED || error == EAGAIN) && attemptsLeft > 0 && retries.size() < maxRetries)
        retries.push_back ({ name, attemptsLeft - 1, Clock::now() + retryInterval });
}

void BusThread::finishGreeting (size_t index, bool readable)
{
    auto g = greetings[index];
    greetings.erase (greetings.begin() + (long) index);

    uint8_t packet[devicebus::greetingSize + 1];
    devicebus::Greeting greeting;
    const auto n = readable ? recv (g.socket, packet, sizeof (packet), MSG_DONTWAIT) : -1;

    if (n < 0 && readable && (errno == EAGAIN || errno == EINTR))
    {
        greetings.push_back (g); // a spurious wake-up: keep waiting until the deadline
        return;
    }

    if (n > 0 && devicebus::decodeGreeting (packet, (size_t) n, greeting))
    {
        const int number = table.add (g.socket, greeting);

        if (number >= 0)
        {
            devices.push_back ({ number, g.socket, g.name, g.file });
            post (Event::arrival, number);
            return;
        }

        missedForLimit = true;
        close (g.socket);
        return;
    }

    // A malformed greeting, none in time, or a closed connection.
    close (g.socket);

    if (refused.size() >= maxRefused)
        refused.clear();

    refused.insert (g.name);
}

bool BusThread::readReport (const Device& device, short revents)
{
    if (!table.hasRoom (device.number))
        return (revents & (POLLHUP | POLLERR)) == 0; // gone while its queue is full: what was still in the connection is lost

    // One packet a turn: the next poll tells whether there is more, so no read ends on an
    // empty socket, and one device cannot keep the others waiting. MSG_TRUNC gives the
    // packet's real length, so an oversized one is recognised.
    uint8_t packet[devicebus::maxReportSize];
    const auto n = recv (device.socket, packet, sizeof (packet), MSG_DONTWAIT | MSG_TRUNC);

    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;

    if (n == 0)
        return !peerHasClosed (device.socket); // else an empty packet, which is not a report

    // Nor is a packet longer than a report.
    if ((size_t) n <= sizeof (packet) && table.push (device.number, packet, (size_t) n))
        post (Event::report, device.number);

    return true;
}

void BusThread::removeDevice (size_t index)
{
    const int number = devices[index].number;
    devices.erase (devices.begin() + (long) index);
    table.remove (number);
    post (Event::removal, number);
}
} // namespace morvantx

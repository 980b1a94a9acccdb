// devsim: one simulated device in update mode on the local device bus.
//
// It listens on a SOCK_SEQPACKET socket in the bus folder, greets every connection with its type
// code and firmware version, and answers the requests of the update protocol (UpdateModel).
// SIGTERM or SIGINT removes the socket file and ends it: the device's removal.

#include "platform/morvantx/DeviceBus.h"
#include "tools/devsim/UpdateModel.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <getopt.h>
#include <poll.h>
#include <string>
#include <vector>

namespace
{
const char* usage = R"(usage: devsim [options]

Plays one device in update mode on the local device bus.

  --bus DIR            bus folder (default: $MORVANTX_BUS, else $XDG_RUNTIME_DIR/morvantx,
                       else /tmp/morvantx-<uid>)
  --name NAME          socket file name in the bus folder (default: devsim-<pid>)
  --type CODE          device type code (default 0x11)
  --firmware N         firmware version word (default 100, shown as 1.00)
  --save FILE          write the received image to FILE at the first status poll
  --log FILE           append every received request to FILE as a 1024-byte record
                       (shorter requests zero-padded)
  --delay MS           wait MS milliseconds before each reply (default 0)
  --busy N             answer N status polls with 0xF7 before 0xFC (default 3)

Faults, at a STEP: start, begin, block:K (data report K, from 0), last (the last data
report of the announced image), status:N (status poll N, from 0):
  --silent-from STEP   no reply to STEP and to every request after it
  --wrong-code-at STEP reply with a code the step never accepts: start 0xF9, begin 0xF8,
                       a block before the last 0xFE, the last block 0xF9, a status poll 0xF8
  --oversized-at STEP  reply with a 2048-byte packet
  --empty-at STEP      reply with an empty packet
  --final-fb           answer the last data report with 0xFB instead of 0xFE
  --unplug-at-block K  leave the bus (remove the socket, exit 0) when data report K arrives
  --reply STEP,CODE[,PERCENT]
                       reply to STEP with CODE and the percentage byte PERCENT (default 0),
                       both 0..255 (0xFC, 40); may be given more than once, the first
                       option that names a step counts; the model goes on as it would
                       otherwise (example: --reply status:0,0xF7,40)

A status poll is answered with 0xFA when the number of data reports differs from the
announced size (or no transfer took place) and with 0xFD when the image's CRC-16/XMODEM
differs from the announced one. Prints "ready PATH" once listening, "unplugged" when it
leaves at a block, and one "transfer ..." line at the first status poll of a transfer.
)";

int signalPipe[2] = { -1, -1 };
volatile sig_atomic_t stopRequested = 0;

void onSignal (int)
{
    stopRequested = 1;
    const char c = 0;
    [[maybe_unused]] auto n = write (signalPipe[1], &c, 1);
}

struct Options
{
    std::string bus, name, savePath, logPath;
    uint32_t type = 0x11, firmware = 100;
    int delayMs = 0, busyPolls = 3;
    devsim::Faults faults;
};

bool parseNumber (const char* text, long long low, long long high, long long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtoll (text, &end, 0);
    return errno == 0 && end != text && *end == 0 && value >= low && value <= high;
}

bool parseOptions (int argc, char** argv, Options& o)
{
    enum
    {
        bus = 1000,
        name,
        type,
        firmware,
        save,
        log,
        delay,
        busy,
        silentFrom,
        wrongCodeAt,
        oversizedAt,
        emptyAt,
        finalFb,
        unplugAtBlock,
        reply,
        help
    };

    static const option longOptions[] = {
        { "bus", required_argument, nullptr, bus },
        { "name", required_argument, nullptr, name },
        { "type", required_argument, nullptr, type },
        { "firmware", required_argument, nullptr, firmware },
        { "save", required_argument, nullptr, save },
        { "log", required_argument, nullptr, log },
        { "delay", required_argument, nullptr, delay },
        { "busy", required_argument, nullptr, busy },
        { "silent-from", required_argument, nullptr, silentFrom },
        { "wrong-code-at", required_argument, nullptr, wrongCodeAt },
        { "oversized-at", required_argument, nullptr, oversizedAt },
        { "empty-at", required_argument, nullptr, emptyAt },
        { "final-fb", no_argument, nullptr, finalFb },
        { "unplug-at-block", required_argument, nullptr, unplugAtBlock },
        { "reply", required_argument, nullptr, reply },
        { "help", no_argument, nullptr, help },
        { nullptr, 0, nullptr, 0 }
    };

    for (int c; (c = getopt_long (argc, argv, "", longOptions, nullptr)) != -1;)
    {
        long long v = 0;
        bool ok = true;

        switch (c)
        {
            case bus:
                o.bus = optarg;
                break;
            case name:
                o.name = optarg;
                ok = devicebus::isDeviceName (optarg) && std::string (optarg).find ('/') == std::string::npos;
                break;
            case type:
                ok = parseNumber (optarg, 1, 0xFFFFFFFFLL, v);
                o.type = (uint32_t) v;
                break;
            case firmware:
                ok = parseNumber (optarg, 0, 0xFFFFFFFFLL, v);
                o.firmware = (uint32_t) v;
                break;
            case save:
                o.savePath = optarg;
                break;
            case log:
                o.logPath = optarg;
                break;
            case delay:
                ok = parseNumber (optarg, 0, 600000, v);
                o.delayMs = (int) v;
                break;
            case busy:
                ok = parseNumber (optarg, 0, 1000000000, v);
                o.busyPolls = (int) v;
                break;
            case silentFrom:
                ok = devsim::Step::parse (optarg, o.faults.silentFrom);
                break;
            case wrongCodeAt:
                ok = devsim::Step::parse (optarg, o.faults.wrongCodeAt);
                break;
            case oversizedAt:
                ok = devsim::Step::parse (optarg, o.faults.oversizedAt);
                break;
            case emptyAt:
                ok = devsim::Step::parse (optarg, o.faults.emptyAt);
                break;
            case finalFb:
                o.faults.finalFb = true;
                break;
            case unplugAtBlock:
                ok = parseNumber (optarg, 0, 100000000, v);
                o.faults.unplugAtBlock = (int) v;
                break;
            case reply:
            {
                devsim::ReplyOverride r;
                ok = devsim::ReplyOverride::parse (optarg, r);
                o.faults.replies.push_back (r);
                break;
            }
            case help:
                std::fputs (usage, stdout);
                std::exit (0);
            default:
                ok = false;
                break;
        }

        if (!ok)
        {
            std::fprintf (stderr, "devsim: bad option %s\n%s", argv[optind - 1], usage);
            return false;
        }
    }

    if (optind < argc)
    {
        std::fprintf (stderr, "devsim: unexpected argument %s\n", argv[optind]);
        return false;
    }

    return true;
}

bool writeFile (const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen (path.c_str(), "wb");

    if (f == nullptr)
        return false;

    const bool ok = bytes.empty() || std::fwrite (bytes.data(), 1, bytes.size(), f) == bytes.size(); // no image: an empty file
    return std::fclose (f) == 0 && ok;
}

/** Waits up to ms, returning early (false) when a stop signal comes. */
bool pause (int ms)
{
    pollfd p { signalPipe[0], POLLIN, 0 };
    return ms <= 0 || poll (&p, 1, ms) == 0;
}

// recv gives 0 both for an empty packet and for the end of the connection.
bool peerHasClosed (int socket)
{
    pollfd p { socket, POLLRDHUP, 0 };
    return poll (&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLRDHUP | POLLERR)) != 0;
}
} // namespace

int main (int argc, char** argv)
{
    Options options;

    if (!parseOptions (argc, argv, options))
        return 2;

    const std::string dir = options.bus.empty() ? devicebus::busDirectory() : options.bus;
    std::string error;

    if (!devicebus::prepareBusDirectory (dir, error))
    {
        std::fprintf (stderr, "devsim: %s\n", error.c_str());
        return 1;
    }

    const auto pid = std::to_string ((long) getpid());
    const std::string path = dir + "/" + (options.name.empty() ? "devsim-" + pid : options.name);
    const std::string hiddenPath = dir + "/.devsim-" + pid + ".binding";

    int logFile = -1;

    if (!options.logPath.empty() && (logFile = open (options.logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644)) < 0)
    {
        std::fprintf (stderr, "devsim: cannot open %s\n", options.logPath.c_str());
        return 1;
    }

    if (pipe2 (signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return 1;

    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigaction (SIGTERM, &action, nullptr);
    sigaction (SIGINT, &action, nullptr);
    std::signal (SIGPIPE, SIG_IGN);

    // Bound under a hidden name and listening before it appears, so that a watcher never
    // meets a socket that refuses connections.
    sockaddr_un address, visibleAddress;
    socklen_t addressLength, visibleLength;

    if (!devicebus::makeAddress (hiddenPath, address, addressLength) || !devicebus::makeAddress (path, visibleAddress, visibleLength))
    {
        std::fprintf (stderr, "devsim: the socket path %s is too long\n", path.c_str());
        return 1;
    }

    const int listener = socket (AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    unlink (hiddenPath.c_str());

    if (listener < 0 || bind (listener, reinterpret_cast<sockaddr*> (&address), addressLength) != 0 || listen (listener, 8) != 0 || rename (hiddenPath.c_str(), path.c_str()) != 0)
    {
        std::fprintf (stderr, "devsim: cannot listen at %s: %s\n", path.c_str(), std::strerror (errno));
        unlink (hiddenPath.c_str());
        return 1;
    }

    std::printf ("ready %s\n", path.c_str());
    std::fflush (stdout);

    devicebus::Greeting greeting;
    greeting.typeCode = options.type;
    greeting.firmware[0] = options.firmware;
    uint8_t greetingPacket[devicebus::greetingSize];
    devicebus::encodeGreeting (greeting, greetingPacket);

    devsim::UpdateModel model (options.busyPolls, options.faults);
    std::vector<int> connections;
    constexpr size_t maxConnections = 16;
    bool unplugged = false;

    std::vector<pollfd> fds;
    std::vector<uint8_t> request (devicebus::maxReportSize);

    while (!stopRequested && !unplugged)
    {
        fds.assign ({ { signalPipe[0], POLLIN, 0 }, { listener, POLLIN, 0 } });

        for (int c : connections)
            fds.push_back ({ c, POLLIN, 0 });

        if (poll (fds.data(), fds.size(), -1) < 0)
        {
            if (errno == EINTR)
                continue;

            break;
        }

        if ((fds[1].revents & POLLIN) != 0)
        {
            const int c = accept4 (listener, nullptr, nullptr, SOCK_CLOEXEC);

            if (c >= 0 && connections.size() < maxConnections && send (c, greetingPacket, sizeof (greetingPacket), MSG_NOSIGNAL | MSG_DONTWAIT) == (ssize_t) sizeof (greetingPacket))
                connections.push_back (c);
            else if (c >= 0)
                close (c);
        }

        for (size_t i = fds.size(); i-- > 2 && !stopRequested && !unplugged;)
        {
            if (fds[i].revents == 0)
                continue;

            const int c = fds[i].fd;
            const auto n = recv (c, request.data(), request.size(), MSG_DONTWAIT | MSG_TRUNC);

            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;

            if (n <= 0 && (n < 0 || peerHasClosed (c)))
            {
                close (c);
                connections.erase (connections.begin() + (long) (i - 2));
                continue;
            }

            if (n == 0 || (size_t) n > devicebus::maxReportSize)
                continue; // neither an empty nor an oversized packet is a report

            std::fill (request.begin() + n, request.end(), 0);

            if (logFile >= 0)
                [[maybe_unused]]
                auto written = write (logFile, request.data(), request.size());

            const auto& answer = model.handle (request);

            if (answer.saveImage)
            {
                std::printf ("%s\n", model.summary().c_str());
                std::fflush (stdout);

                if (!options.savePath.empty() && !writeFile (options.savePath, model.image()))
                    std::fprintf (stderr, "devsim: cannot write %s\n", options.savePath.c_str());
            }

            if (answer.kind == devsim::UpdateModel::Answer::unplug)
            {
                unplugged = true;
                break;
            }

            if (answer.kind == devsim::UpdateModel::Answer::reply && pause (options.delayMs))
                send (c, answer.packet.data(), answer.packet.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        }
    }

    // Leaving the bus: the file goes first, then the connections.
    unlink (path.c_str());
    close (listener);

    for (int c : connections)
        close (c);

    if (logFile >= 0)
        close (logFile);

    if (unplugged)
    {
        std::printf ("unplugged\n");
        std::fflush (stdout);
    }

    return 0;
}

#include "TransferRig.h"

#include "platform/linux/FileLocations.h"
#include "support/MessageLoop.h"

#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <random>
#include <unistd.h>

namespace transfertest
{
Bytes updateFile (size_t size, const char* digits, unsigned seed)
{
    std::mt19937 random (seed);
    Bytes bytes (size);

    for (auto& b : bytes)
        b = (juce::uint8) random();

    std::copy_n ("VN382", 5, bytes.begin());
    std::copy_n (digits, 3, bytes.begin() + 20);
    return bytes;
}

juce::uint16 crcOracle (const Bytes& data)
{
    juce::uint16 crc = 0;

    for (auto b : data)
    {
        auto x = (juce::uint16) (((crc >> 8) ^ b) & 0xFF);
        x ^= x >> 4;
        crc = (juce::uint16) ((crc << 8) ^ (x << 12) ^ (x << 5) ^ x);
    }

    return crc;
}

Bytes report (std::initializer_list<juce::uint8> head)
{
    Bytes r (1024, 0);
    std::copy (head.begin(), head.end(), r.begin());
    return r;
}

std::vector<Bytes> expectedRequests (const Bytes& file, int version)
{
    const auto size = (juce::uint32) file.size();
    const auto crc = crcOracle (file);
    std::vector<Bytes> requests {
        report ({ 0xF0, 0, (juce::uint8) (version >> 4), (juce::uint8) (version << 4), 0x81,
                  (juce::uint8) size, (juce::uint8) (size >> 8), (juce::uint8) (size >> 16), (juce::uint8) (size >> 24),
                  (juce::uint8) crc, (juce::uint8) (crc >> 8) }),
        report ({ 0xF1, 1 })
    };

    // One buffer for all data reports: a short last block overwrites only its own bytes.
    Bytes data = report ({ 0xF3, 1 });

    for (size_t at = 0; at < file.size(); at += 1022)
    {
        const size_t n = std::min<size_t> (1022, file.size() - at);
        std::copy_n (file.begin() + (long) at, n, data.begin() + 2);
        requests.push_back (data);
    }

    return requests;
}

//==============================================================================
StderrCapture::StderrCapture()
{
    path = juce::File::getSpecialLocation (juce::File::tempDirectory)
               .getChildFile ("stderr-" + juce::Uuid().toString())
               .getFullPathName()
               .toStdString();
    const int fd = open (path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    std::fflush (stderr);
    saved = dup (STDERR_FILENO);
    dup2 (fd, STDERR_FILENO);
    close (fd);
}

StderrCapture::~StderrCapture()
{
    std::fflush (stderr);
    dup2 (saved, STDERR_FILENO);
    close (saved);
    const auto captured = text();
    unlink (path.c_str());
    std::fputs (captured.c_str(), stderr); // keep what was written for the test's own output
}

std::string StderrCapture::text() const
{
    std::fflush (stderr);
    std::ifstream in (path, std::ios::binary);
    return std::string (std::istreambuf_iterator<char> (in), {});
}

//==============================================================================
TransferRig::TransferRig()
    : folder (juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("transfer-" + juce::Uuid().toString()))
{
    folder.createDirectory();
    setExecutableFolderOverride (folder);
    logPath = folder.getChildFile ("requests.log").getFullPathName().toStdString();
}

TransferRig::~TransferRig()
{
    main.reset();
    setExecutableFolderOverride (juce::File());
    folder.deleteRecursively();
}

juce::File TransferRig::file() const
{
    return folder.getChildFile ("vn382_v123.upd");
}

void TransferRig::writeFile (const Bytes& bytes)
{
    file().replaceWithData (bytes.data(), bytes.size());
}

bool TransferRig::startDevice (const std::vector<std::string>& options)
{
    auto all = options;
    all.insert (all.end(), { "--log", logPath });
    return devsim.start (bus.path(), all);
}

bool TransferRig::prepare (const Bytes& bytes, const std::vector<std::string>& deviceOptions)
{
    writeFile (bytes);

    if (!startDevice (deviceOptions))
        return false;

    main = std::make_unique<MainComponent>();

    // As a user would, let the link's start-up messages be handled before pressing anything:
    // a reply delivered together with them, ahead of the updating screen, would not wake the
    // thread.
    testsupport::runMessageLoopFor (200);

    if (MainComponentTestAccess::fileValid (*main) != 1)
        return false;

    main->buttonClicked (MainComponentTestAccess::okButton (*main));
    return screen() == readyToUpdate;
}

void TransferRig::pressStart()
{
    main->buttonClicked (MainComponentTestAccess::okButton (*main));
}

bool TransferRig::start (const Bytes& bytes, const std::vector<std::string>& deviceOptions)
{
    if (!prepare (bytes, deviceOptions))
        return false;

    pressStart();
    return true;
}

void TransferRig::poll()
{
    std::ifstream in (logPath, std::ios::binary);
    in.seekg ((std::streamoff) logOffset);
    Bytes record (1024);

    while (in.read (reinterpret_cast<char*> (record.data()), 1024))
    {
        logged.push_back ({ record, Clock::now() });
        logOffset += 1024;
    }
}

bool TransferRig::runUntil (const std::function<bool()>& condition, int timeoutMs)
{
    return testsupport::runMessageLoopUntil ([&]
                                             {
        poll();

        const double p = MainComponentTestAccess::progress (*main).load();

        if (progressSeen.empty() || progressSeen.back() != p)
            progressSeen.push_back (p);

        return condition(); },
                                             timeoutMs);
}

bool TransferRig::runToEnd (int timeoutMs)
{
    const bool final = runUntil ([this]
                                 { return screen() == updateComplete || screen() == updateFailed; },
                                 timeoutMs);
    finalSeen = Clock::now();
    return final && main->waitForThreadToExit (2000);
}

double TransferRig::msBetween (size_t i, int j) const
{
    const auto to = j < 0 ? finalSeen : logged.at ((size_t) j).seen;
    return std::chrono::duration<double, std::milli> (to - logged.at (i).seen).count();
}

std::vector<int> TransferRig::codes()
{
    std::vector<int> c;

    for (auto& r : requests())
        c.push_back (r.bytes[0]);

    return c;
}

bool TransferRig::runUntilReceived (int code, size_t count, int timeoutMs)
{
    return runUntil ([&]
                     {
        const auto c = codes();
        return (size_t) std::count (c.begin(), c.end(), code) >= count; },
                     timeoutMs);
}
} // namespace transfertest

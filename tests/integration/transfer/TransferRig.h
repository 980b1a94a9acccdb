#pragma once

// One update transfer as a user starts it: a real MainComponent (full constructor, its device
// link on a private bus), an update file in a temporary folder that stands as the executable's,
// and devsim logging every request it receives. Message thread only.

#include "support/DevsimProcess.h"
#include "support/MainComponentTestAccess.h"
#include "updater/AlineButton.h"

#include <chrono>
#include <string>
#include <vector>

namespace transfertest
{
using Bytes = std::vector<juce::uint8>;
using Clock = std::chrono::steady_clock;

/** An update file: "VN382" at 0, the three version digits at 20, seeded noise elsewhere. */
Bytes updateFile (size_t size, const char* digits = "123", unsigned seed = 1);

/** CRC-16/XMODEM, byte-wise (not the program's bit loop). */
juce::uint16 crcOracle (const Bytes& data);

/** A 1024-byte report that starts with the given bytes. */
Bytes report (std::initializer_list<juce::uint8> head);

/** What the program must send for the file up to the data: start, begin, each data report. */
std::vector<Bytes> expectedRequests (const Bytes& file, int version);

/** Standard error redirected to a file while it lives. */
class StderrCapture
{
public:
    StderrCapture();
    ~StderrCapture();
    std::string text() const;

private:
    int saved = -1;
    std::string path;
};

//==============================================================================
struct Request
{
    Bytes bytes;
    Clock::time_point seen; // when the test saw devsim's log record
};

class TransferRig
{
public:
    TransferRig();
    ~TransferRig();

    /** Writes the update file (vn382_v123.upd) into the executable's folder. */
    void writeFile (const Bytes& bytes);
    juce::File file() const;

    /** Starts devsim with its log and these options; false when it cannot. */
    bool startDevice (const std::vector<std::string>& options = {});

    /** Writes the file, starts devsim, constructs the component and presses OK, which must
        find the device. False when a step fails.
    */
    bool prepare (const Bytes& file, const std::vector<std::string>& deviceOptions);

    /** Presses Start (OK on readyToUpdate). */
    void pressStart();

    /** prepare, then Start. */
    bool start (const Bytes& file, const std::vector<std::string>& deviceOptions);

    /** Runs the message loop until a final screen shows and the update thread has ended,
        watching the requests and progress meanwhile. False on time-out.
    */
    bool runToEnd (int timeoutMs);

    /** Runs the message loop until condition() holds, watching as runToEnd does. */
    bool runUntil (const std::function<bool()>& condition, int timeoutMs);

    /** The requests that devsim logged, read now. */
    const std::vector<Request>& requests()
    {
        poll();
        return logged;
    }

    /** Milliseconds from request i to request j (j = -1: to the final screen). */
    double msBetween (size_t i, int j = -1) const;

    /** The request codes (byte 0) in the order they arrived. */
    std::vector<int> codes();

    /** Runs the message loop until devsim has received count requests with this code. */
    bool runUntilReceived (int code, size_t count, int timeoutMs);

    MainComponent& component() { return *main; }
    int screen() { return MainComponentTestAccess::screenState (*main); }

    /** progress as it changed, one entry per value seen, from the first value seen on. */
    std::vector<double> progressSeen;
    Clock::time_point finalSeen {};

    testsupport::PrivateBus bus;
    testsupport::DevsimProcess devsim;

private:
    void poll();

    const juce::File folder;
    std::string logPath;
    size_t logOffset = 0;
    std::vector<Request> logged;
    std::unique_ptr<MainComponent> main;
};
} // namespace transfertest

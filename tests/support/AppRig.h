#pragma once

// Shared test support: update files, the CRC oracle, a temporary executable folder, and a whole
// MainComponent on a private bus beside devsim, which logs every request and saves the image it
// received. Message thread only.

#include "support/DevsimProcess.h"
#include "support/MainComponentTestAccess.h"
#include "updater/AlineButton.h"

#include <chrono>
#include <functional>
#include <vector>

namespace testsupport
{
using Bytes = std::vector<juce::uint8>;
using Clock = std::chrono::steady_clock;

/** An update file: magic at 0, the three version digits at 20, noise elsewhere. */
Bytes updateFile (size_t size, const char* digits = "123", const char* magic = "VN382");

/** CRC-16/XMODEM, one bit at a time as the textbook gives it. */
juce::uint16 crcOracle (const Bytes& data);

/** A fresh temporary folder that stands as the executable's folder while it lives. */
struct ExecutableFolder
{
    ExecutableFolder();
    ~ExecutableFolder();
    juce::File write (const char* utf8Name, const Bytes& bytes) const;
    const juce::File folder;
};

class AppRig
{
public:
    using Access = MainComponentTestAccess;

    bool startDevice (const std::vector<std::string>& options = {});

    /** Constructs the component as the program does, with English texts. */
    void create();

    /** Writes vn382_v123.upd, starts devsim, creates the component, lets the link's start-up
        messages be handled as a user would, and presses OK: false unless readyToUpdate shows.
    */
    bool prepare (const Bytes& file, const std::vector<std::string>& deviceOptions);
    bool start (const Bytes& file, const std::vector<std::string>& deviceOptions);

    void pressOk() { main->buttonClicked (Access::okButton (*main)); }
    int screen() { return Access::screenState (*main); }
    MainComponent& component() { return *main; }

    /** Runs the message loop until condition() holds, reading the log and progress meanwhile. */
    bool runUntil (const std::function<bool()>& condition, int timeoutMs = 10000);
    bool waitForScreen (int state)
    {
        return runUntil ([=]
                         { return screen() == state; });
    }

    /** Until a final screen shows and the update thread has ended. */
    bool runToEnd (int timeoutMs);

    /** The requests devsim logged, and their codes (byte 0). */
    const std::vector<Bytes>& requests();
    std::vector<int> codes();

    /** Milliseconds from when the test saw request i to request j (-1: the final screen). */
    double msBetween (size_t i, int j = -1);

    Bytes savedImage() const;

    std::vector<double> progressSeen;
    PrivateBus bus;
    ExecutableFolder dir;
    DevsimProcess devsim;
    std::unique_ptr<MainComponent> main;

private:
    std::vector<Bytes> logged;
    std::vector<Clock::time_point> seen;
    Clock::time_point finalSeen {};
};
} // namespace testsupport

#pragma once

// Shared test support: update files, the CRC oracle, a temporary executable folder, and a whole
// MainComponent on a private bus with devsim logging every request it receives.
// Message thread only.

#include "support/DevsimProcess.h"
#include "support/MainComponentTestAccess.h"
#include "updater/AlineButton.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace testsupport
{
using Bytes = std::vector<juce::uint8>;
using Clock = std::chrono::steady_clock;

/** An update file: magic at 0, the three version digits at 20, seeded noise elsewhere. */
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

//==============================================================================
class AppRig
{
public:
    using Access = MainComponentTestAccess;

    /** Starts devsim with its request log, its saved image and these options. */
    bool startDevice (const std::vector<std::string>& options = {});

    /** Constructs the component as the program does (English texts, the window's size). */
    void create();

    /** Writes vn382_v123.upd, starts devsim, creates the component, lets the link's start-up
        messages be handled as a user would, and presses OK: false unless readyToUpdate shows.
    */
    bool prepare (const Bytes& file, const std::vector<std::string>& deviceOptions);
    bool start (const Bytes& file, const std::vector<std::string>& deviceOptions);

    void pressOk() { main->buttonClicked (Access::okButton (*main)); }
    void pressCancel() { main->buttonClicked (Access::cancelButton (*main)); }
    int screen() { return Access::screenState (*main); }
    MainComponent& component() { return *main; }

    /** Runs the message loop until condition() holds, reading the log and progress meanwhile. */
    bool runUntil (const std::function<bool()>& condition, int timeoutMs = 10000);
    bool waitForScreen (int state, int timeoutMs = 10000);

    /** Until a final screen shows and the update thread has ended. */
    bool runToEnd (int timeoutMs);

    /** The requests devsim logged, each with the moment the test saw it. */
    const std::vector<std::pair<Bytes, Clock::time_point>>& requests();
    std::vector<int> codes();
    bool runUntilReceived (int code, size_t count, int timeoutMs);

    /** Milliseconds from request i to request j (j = -1: to the final screen). */
    double msBetween (size_t i, int j = -1) const;

    Bytes savedImage() const;

    std::vector<double> progressSeen;
    Clock::time_point finalSeen {};
    PrivateBus bus;
    ExecutableFolder dir;
    DevsimProcess devsim;
    std::unique_ptr<MainComponent> main;

private:
    std::vector<std::pair<Bytes, Clock::time_point>> logged;
};
} // namespace testsupport

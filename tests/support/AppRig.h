#pragma once

// Update files, the CRC oracle, an executable folder, and a whole MainComponent on a private bus
// beside devsim, which logs every request (1024-byte records) and saves the image it received.

#include "platform/linux/FileLocations.h"
#include "platform/morvantx/morvantx.h"
#include "resources/TxtLoader.h"
#include "support/DevsimProcess.h"
#include "support/MainComponentTestAccess.h"
#include "support/MessageLoop.h"
#include "updater/AlineButton.h"

#include <random>

namespace testsupport
{
using Bytes = std::vector<juce::uint8>;
using Clock = std::chrono::steady_clock;

/** An update file: magic at 0, the three version digits at 20, noise elsewhere. */
inline Bytes updateFile (size_t size, const char* digits = "123", const char* magic = "VN382")
{
    std::mt19937 random ((unsigned) size);
    Bytes bytes (std::max<size_t> (size, 23));
    std::generate (bytes.begin(), bytes.end(), [&]
                   { return (juce::uint8) random(); });
    std::copy_n (magic, 5, bytes.begin());
    std::copy_n (digits, 3, bytes.begin() + 20);
    bytes.resize (size);
    return bytes;
}

/** CRC-16/XMODEM, one bit at a time as the textbook gives it. */
inline juce::uint16 crcOracle (const Bytes& data)
{
    unsigned crc = 0;

    for (auto b : data)
    {
        crc ^= (unsigned) b << 8;

        for (int bit = 0; bit < 8; ++bit)
            crc = ((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1) & 0xffff;
    }

    return (juce::uint16) crc;
}

/** A fresh temporary folder that stands as the executable's folder while it lives. */
struct ExecutableFolder
{
    ExecutableFolder() { folder.createDirectory(), setExecutableFolderOverride (folder); }
    ~ExecutableFolder() { setExecutableFolderOverride ({}), folder.deleteRecursively(); }

    juce::File write (const char* utf8Name, const Bytes& bytes) const
    {
        auto file = folder.getChildFile (juce::String::fromUTF8 (utf8Name));
        file.replaceWithData (bytes.data(), bytes.size());
        return file;
    }

    const juce::File folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("vn382-" + juce::Uuid().toString());
};

struct AppRig
{
    using Access = MainComponentTestAccess;

    bool startDevice (std::vector<std::string> options = {})
    {
        options.insert (options.end(), { "--log", bus.file ("requests.log"), "--save", bus.file ("image.bin") });
        return devsim.start (bus.path(), options);
    }

    /** Constructs the component as the program does, with English texts. From then on every
        whole repaint, which ends each screen rebuild, notes the screen state in screensShown. */
    void create()
    {
        main = std::make_unique<MainComponent>();
        main->setSize (426, 176);
        TxtLoader::getInstance()->setLanguage (Language::english);
        Access::rebuildScreen (*main);

        struct Recorder : juce::CachedComponentImage
        {
            Recorder (MainComponent& c, std::vector<int>& s)
                : component (c)
                , shown (s)
            {
            }
            void paint (juce::Graphics&) override {} // these tests draw nothing
            bool invalidateAll() override { return shown.push_back (Access::screenState (component)), true; }
            bool invalidate (const juce::Rectangle<int>&) override { return true; }
            void releaseResources() override {}
            MainComponent& component;
            std::vector<int>& shown;
        };

        main->setVisible (true);
        main->setCachedComponentImage (new Recorder (*main, screensShown));
    }

    /** Writes vn382_v123.upd, starts devsim, creates the component, lets the link start up as
        a user would, and presses OK (and Start): false unless readyToUpdate showed. */
    bool prepare (const Bytes& file, const std::vector<std::string>& deviceOptions, bool pressStart = false)
    {
        dir.write ("vn382_v123.upd", file);

        if (!startDevice (deviceOptions))
            return false;

        create();
        runMessageLoopFor (200);
        pressOk();
        const bool ready = screen() == readyToUpdate;

        if (ready && pressStart)
            pressOk();

        return ready;
    }

    bool start (const Bytes& file, const std::vector<std::string>& deviceOptions) { return prepare (file, deviceOptions, true); }
    void pressOk() { main->buttonClicked (Access::okButton (*main)); }
    int screen() { return Access::screenState (*main); }

    /** A mouse press and release, through the button's own handlers, on what stands where OK
        stands on the first screen; unlike pressOk, it meets the double-click guard. */
    void clickOkPlace()
    {
        auto* target = main->getComponentAt (main->getWidth() - 70, main->getHeight() - 30);
        const juce::MouseEvent e (juce::Desktop::getInstance().getMainMouseSource(), {}, juce::ModifierKeys::leftButtonModifier, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, target, target, {}, {}, {}, 1, false);
        target->mouseDown (e), target->mouseUp (e);
    }

    /** No screen post waits: every one made so far has been handled. */
    bool settled() { return !main->isUpdatePending(); }

    /** The type codes of the devices that the library lists, in its order. */
    static std::vector<juce::uint32> listedTypes()
    {
        int numbers[128];
        std::vector<juce::uint32> types ((size_t) std::max (0, HID_EnumHIDno (numbers)));
        std::transform (numbers, numbers + types.size(), types.begin(), HID_GetDeviceType);
        return types;
    }

    /** Sends a status request to the open device and runs the loop until the reply has been
        read: every device event that the library posted before it has then been handled. */
    bool ping()
    {
        const juce::uint8 status[1024] = { 0xF2 };
        Access::rxReport (*main)[0] = 0;
        return Access::hidCtrl (*main).send (status, 1024) && runUntil ([this]
                                                                        { return Access::rxReport (*main)[0] != 0; });
    }

    MainComponent& component() { return *main; }

    /** Runs the message loop until condition() holds, reading the log and progress meanwhile. */
    bool runUntil (const std::function<bool()>& condition, int timeoutMs = 10000)
    {
        return runMessageLoopUntil ([&]
                                    {
            requests();

            if (const double p = Access::progress (*main); progressSeen.empty() || progressSeen.back() != p)
                progressSeen.push_back (p);

            return condition(); },
                                    timeoutMs);
    }

    bool waitForScreen (int state)
    {
        return runUntil ([=]
                         { return screen() == state; });
    }

    /** Until a final screen shows and the update thread has ended. */
    bool runToEnd (int timeoutMs)
    {
        const bool final = runUntil ([this]
                                     { return screen() == updateComplete || screen() == updateFailed; },
                                     timeoutMs);
        finalSeen = Clock::now();
        return final && main->waitForThreadToExit (5000);
    }

    /** The requests devsim logged so far, each noted with the moment the test saw it. */
    const std::vector<Bytes>& requests()
    {
        juce::MemoryBlock all;
        juce::File (bus.file ("requests.log")).loadFileAsData (all);

        for (auto* b = (const juce::uint8*) all.getData(); (logged.size() + 1) * 1024 <= all.getSize(); seen.push_back (Clock::now()))
            logged.emplace_back (b + logged.size() * 1024, b + logged.size() * 1024 + 1024);

        return logged;
    }

    std::vector<int> codes()
    {
        std::vector<int> c (requests().size());
        std::transform (logged.begin(), logged.end(), c.begin(), [] (auto& r)
                        { return r[0]; });
        return c;
    }

    /** Milliseconds from when the test saw request i to request j (-1: the final screen). */
    double msBetween (size_t i, int j = -1) { return std::chrono::duration<double, std::milli> ((j < 0 ? finalSeen : seen.at ((size_t) j)) - seen.at (i)).count(); }

    Bytes savedImage() const
    {
        juce::MemoryBlock image;
        juce::File (bus.file ("image.bin")).loadFileAsData (image);
        return Bytes ((const juce::uint8*) image.getData(), (const juce::uint8*) image.getData() + image.getSize());
    }

    std::vector<double> progressSeen;
    std::vector<int> screensShown;
    PrivateBus bus;
    ExecutableFolder dir;
    DevsimProcess devsim;
    std::unique_ptr<MainComponent> main;

private:
    std::vector<Bytes> logged;
    std::vector<Clock::time_point> seen;
    Clock::time_point finalSeen;
};
} // namespace testsupport

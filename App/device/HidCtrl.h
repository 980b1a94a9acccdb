#pragma once

#include "device/HidHandler.h"
#include "device/HidUtil.h"

#include <juce_core/juce_core.h>

#include <atomic>
#include <memory>

/** Bytes in one report, in either direction. */
constexpr juce::uint32 hidReportSize = 1024;

/** The values of HidCtrl::connectionState. Anything but disconnected counts as connected. */
enum class ConnectionState : juce::int32
{
    disconnected = 0, // no device of an accepted type is open
    connected = 1,    // a device is open
    reportSent = 2    // a device is open and at least one report has been sent to it
};

//==============================================================================
/**
    The device link as the application sees it.

    Owns the one HidUtil, turns its events into a connection state, the device's firmware version
    and the last input report, and passes each event on to the listener.

    Threads: open, close, read, findDevice, getFirmwareVersion and the three HidHandler operations
    run on the message thread, and the listener is called there. send (and through it write) runs
    on the update thread; it shares only connectionState (atomic) and HidUtil's device number.
    report, reportLength and firmwareVersion are written and read on the message thread only.
*/
class HidCtrl : public HidHandler
{
public:
    //==============================================================================
    HidCtrl();
    virtual ~HidCtrl();

    /** Starts the link and looks for the device once. Calls no listener operation: a device
        present now shows in connectionState and firmwareVersion. False only when the library
        wrapper cannot start, and the object is then closed.
    */
    bool open (HidHandler* listener, int mode);

    /** Ends the link; the state fields keep their last values. Calling it again does nothing. */
    void close();

    /** Sends one report when a device is open (update thread). Moves the state to reportSent
        before writing, also when the write then fails.
    */
    bool send (const juce::uint8* buffer, juce::uint32 size);

    /** Zero-fills size bytes of the buffer, then reads the pending input report into it.
        The count returned is never more than size.
    */
    juce::uint32 read (juce::uint8* buffer, juce::uint32 size);

    bool write (const juce::uint8* buffer, juce::uint32 size);
    bool findDevice();
    juce::uint32 getFirmwareVersion();

    //==============================================================================
    void onDeviceRemoved() override;
    void onDeviceArrived() override;
    void onReportReceived() override;

private:
    HidHandler* listener = nullptr;
    std::unique_ptr<HidUtil> util;

public:
    //==============================================================================
    // Read directly by the application; only HidCtrl writes them.
    std::atomic<ConnectionState> connectionState { ConnectionState::disconnected };
    juce::uint32 firmwareVersion = 0;
    juce::uint8 report[hidReportSize] = {};
    juce::uint32 reportLength = 0;

private:
    JUCE_DECLARE_NON_COPYABLE (HidCtrl)
};

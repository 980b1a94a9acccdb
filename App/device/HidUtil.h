#pragma once

#include "device/HidHandler.h"
#include "platform/winapi/WinApi.h"

#include <juce_core/juce_core.h>

#include <atomic>

//==============================================================================
/**
    The only caller of the device library morvantx.

    Starts and stops the library, owns the hidden window to which the library posts its device
    events, opens the one device of an accepted type, and reads from and writes to it. Every
    event is handed on to the owner (HidCtrl) through HidHandler.

    Threads: everything runs on the message thread except write(), which the update thread calls
    too (through HidCtrl::send) while a message handler may run. hidNo is therefore atomic.

    At most one HidUtil is live (initialised and not closed) at a time: HidUtil::instance.
*/
class HidUtil
{
public:
    //==============================================================================
    /** The library's private window messages. wParam carries the device number where it matters. */
    static constexpr UINT hidRemovalMessage = WM_USER + 1;
    static constexpr UINT hidArrivalMessage = WM_USER + 2;
    static constexpr UINT hidReportMessage = WM_USER + 3;

    /** Type codes of the devices the updater works with, in the order a search compares them. */
    static constexpr juce::uint32 acceptedDeviceTypes[] = { 0x11, 0x12, 0x13, 0x14, 0x15 };

    /** Room in the device-number list of one search. */
    static constexpr int maxListedDevices = 128;

    /** Class name and title of the callback window. */
    static constexpr const char* windowClassName = "HID_WINDOW_CALLBACK";

    /** The live HidUtil, null when none; the message handlers reach it only through this. */
    static HidUtil* instance;

    //==============================================================================
    HidUtil() = default;
    virtual ~HidUtil();

    /** Creates the callback window and starts the library; makes no device search.
        False when another HidUtil is live (nothing changes) or the window cannot be made
        (the object is then closed and the library never touched).
    */
    bool init (HidHandler* owner, int mode);

    /** Stops the library and removes the window; calling it again does nothing more. Never calls the owner. */
    void close();

    /** True when a device of an accepted type is open, found now or earlier. */
    bool findDevice();

    /** Reads the open device's pending input report; returns the byte count the library gives. */
    juce::uint32 read (juce::uint8* buffer, juce::uint32 size);

    /** Sends size bytes to the open device; true when the library accepted them. Any thread. */
    bool write (const juce::uint8* buffer, juce::uint32 size);

    /** Forgets the open device without telling the library; true when one was open. */
    bool detach();

    /** The open device's firmware version, 0 when none is open. */
    juce::uint32 getFirmwareVersion();

private:
    //==============================================================================
    friend void onHidRemovalMessage (WPARAM);
    friend void onHidArrivalMessage (WPARAM);
    friend void onHidReportMessage (WPARAM);

    HidHandler* owner = nullptr;
    int mode = 0;
    juce::uint32 deviceType = 0;
    HINSTANCE instanceHandle = nullptr;
    HWND windowHandle = nullptr;
    std::atomic<juce::int32> hidNo { -1 };

    JUCE_DECLARE_NON_COPYABLE (HidUtil)
};

//==============================================================================
/** The callback window's procedure (message thread): hands the three library messages to their
    handlers, then gives every message to the default processing and returns its result.
*/
LRESULT hidWindowProc (HWND window, UINT message, WPARAM wParam, LPARAM lParam);

/** Handlers of the library messages (message thread). A message that arrives while no HidUtil
    is live is ignored.
*/
void onHidRemovalMessage (WPARAM wParam);
void onHidArrivalMessage (WPARAM wParam);
void onHidReportMessage (WPARAM wParam);

#pragma once

// The device library: ten calls, safe from any thread. It talks to the devices of the local
// device bus (DeviceBus.h) and links no JUCE: it reaches the program only through PostMessageA,
// which the loading executable exports.
//
// Between HID_Start and HID_Stop the library's one I/O thread posts three messages with
// PostMessageA to the window given to HID_SetCallback: the arrival message (wParam: the device
// number) when a device comes, the report message (wParam: the device number) for each report
// queued for HID_Input, and the removal message (wParam: the device number) when a device goes.
// Device numbers start at 1 and are never reused within the process. Once HID_Stop has
// returned, or HID_SetCallback (0, 0, 0, 0), nothing more is posted. HID_Stop disconnects
// every device; HID_Start may follow it again.

#include "platform/winapi/WinApi.h"

#define MORVANTX_API extern "C" __attribute__ ((visibility ("default")))

/** HID_Initialize, HID_SetCallback, HID_Stop and HID_Finalize return 1; HID_Start returns 0
    when the bus folder cannot be used (it says why on standard error). */
MORVANTX_API int HID_Initialize (HINSTANCE instance);
MORVANTX_API int HID_SetCallback (HWND window, UINT reportMessage, UINT arrivalMessage, UINT removalMessage);
MORVANTX_API int HID_Start (void);
MORVANTX_API int HID_Stop (void);
MORVANTX_API int HID_Finalize (void);

/** Writes the numbers of the connected devices (never more than 128) and returns the count. */
MORVANTX_API int HID_EnumHIDno (int* deviceNumbers);
/** The device's type code, 0 when the number is unknown. */
MORVANTX_API uint32_t HID_GetDeviceType (int deviceNumber);
/** Fills up to count (at most 2) firmware version words of the connected device of this type
    that came first; word 0 is the version. Returns the number of words written, 0 when no such
    device is connected. */
MORVANTX_API int HID_GetFirmwareVersion (uint32_t deviceType, uint32_t* words, int count);
/** Pops the oldest queued report of the device into buffer. *length is the buffer's size on
    entry and the byte count on return. A report longer than *length gives its first *length
    bytes and is used up all the same; nothing is ever written past *length. Returns 1 when a
    report was popped; 0 (and *length 0) when there is none, the buffer is null or *length is 0.
    Reports that a device sent before it left stay readable after its removal. */
MORVANTX_API int HID_Input (int deviceNumber, uint8_t* buffer, uint32_t* length);
/** Sends one report of 1 to 1024 bytes as one packet without waiting; nonzero only when it
    went out whole (0 for an unknown or removed device, or one that does not keep up). */
MORVANTX_API int HID_Write (int deviceNumber, const uint8_t* buffer, uint32_t length);

#pragma once

// The device library: ten calls, safe from any thread.
//
// Between HID_Start and HID_Stop the library posts three messages with PostMessageA to the
// window given to HID_SetCallback: the removal message (wParam: the device number) when a
// device goes, the arrival message when one comes, and the report message (wParam: the device
// number) when a report from a device is ready for HID_Input. Device numbers are never reused
// within a run. After HID_Stop and HID_SetCallback (0, 0, 0, 0) nothing more is posted.

#include "platform/winapi/WinApi.h"

#define MORVANTX_API extern "C" __attribute__ ((visibility ("default")))

MORVANTX_API int HID_Initialize (HINSTANCE instance);
MORVANTX_API int HID_SetCallback (HWND window, UINT reportMessage, UINT arrivalMessage, UINT removalMessage);
MORVANTX_API int HID_Start (void);
MORVANTX_API int HID_Stop (void);
MORVANTX_API int HID_Finalize (void);

/** Writes the numbers of the connected devices (never more than 128) and returns the count. */
MORVANTX_API int HID_EnumHIDno (int* deviceNumbers);
/** The device's type code, 0 when the number is unknown. */
MORVANTX_API uint32_t HID_GetDeviceType (int deviceNumber);
/** Fills up to count firmware version words of the first connected device of this type. */
MORVANTX_API int HID_GetFirmwareVersion (uint32_t deviceType, uint32_t* words, int count);
/** Pops the oldest queued report of the device into buffer; *length is its size in, the byte count out. */
MORVANTX_API int HID_Input (int deviceNumber, uint8_t* buffer, uint32_t* length);
/** Sends one report; nonzero when it was sent whole. */
MORVANTX_API int HID_Write (int deviceNumber, const uint8_t* buffer, uint32_t length);

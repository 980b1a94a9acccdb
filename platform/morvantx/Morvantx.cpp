#include "platform/morvantx/morvantx.h"

// Placeholder until the device bus lands: no devices.
MORVANTX_API int HID_Initialize (HINSTANCE) { return 1; }
MORVANTX_API int HID_SetCallback (HWND, UINT, UINT, UINT) { return 1; }
MORVANTX_API int HID_Start() { return 1; }
MORVANTX_API int HID_Stop() { return 1; }
MORVANTX_API int HID_Finalize() { return 1; }
MORVANTX_API int HID_EnumHIDno (int*) { return 0; }
MORVANTX_API uint32_t HID_GetDeviceType (int) { return 0; }
MORVANTX_API int HID_GetFirmwareVersion (uint32_t, uint32_t*, int) { return 0; }
MORVANTX_API int HID_Input (int, uint8_t*, uint32_t* length) { if (length != nullptr) *length = 0; return 0; }
MORVANTX_API int HID_Write (int, const uint8_t*, uint32_t) { return 0; }

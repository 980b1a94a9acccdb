#pragma once

#include "platform/winapi/WinApi.h"

#include <string>
#include <vector>

// A recording stand-in of the window calls and the ten library calls. Every call appends one
// line "Name(arguments)" to the log; the device list and the answers are set by each test.
namespace recording
{
struct Device
{
    int number;
    uint32_t type;
};

inline const auto instanceHandle = (HINSTANCE) 0x1000;
inline const auto windowHandle = (HWND) 0x2000;

void reset(); // empty log, no devices, every call succeeds
std::vector<std::string> takeLog();

void setDevices (std::vector<Device> devices);
void setEnumCount (int count);         // overrides the count HID_EnumHIDno reports
void setInputLength (uint32_t length); // the count HID_Input reports (it writes min(length, size) bytes)
void setWindowCreationFails (bool fails);
void setLogWrites (bool logWrites); // off for writes from a second thread

LRESULT defaultResultFor (UINT message); // what DefWindowProcA returns
} // namespace recording

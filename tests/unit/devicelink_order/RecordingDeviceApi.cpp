#include "RecordingDeviceApi.h"

#include "device/HidUtil.h"
#include "platform/morvantx/morvantx.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace recording
{
namespace
{
    std::mutex lock;
    std::vector<std::string> log;
    std::vector<Device> devices;
    int enumCount = -1;
    uint32_t inputLength = 0;
    bool windowFails = false;
    bool logWrites = true;

    const auto cursor = (HCURSOR) 0x3000;
    const auto brush = (HGDIOBJ) 0x4000;

    void record (const char* format, ...)
    {
        char line[512];
        va_list args;
        va_start (args, format);
        std::vsnprintf (line, sizeof (line), format, args);
        va_end (args);

        std::lock_guard<std::mutex> guard (lock);
        log.push_back (line);
    }
} // namespace

void reset()
{
    std::lock_guard<std::mutex> guard (lock);
    log.clear();
    devices.clear();
    enumCount = -1;
    inputLength = 0;
    windowFails = false;
    logWrites = true;
}

std::vector<std::string> takeLog()
{
    std::lock_guard<std::mutex> guard (lock);
    return std::exchange (log, {});
}

void setDevices (std::vector<Device> d) { devices = std::move (d); }
void setEnumCount (int count) { enumCount = count; }
void setInputLength (uint32_t length) { inputLength = length; }
void setWindowCreationFails (bool fails) { windowFails = fails; }
void setLogWrites (bool shouldLog) { logWrites = shouldLog; }
LRESULT defaultResultFor (UINT message) { return 0x7000 + (LRESULT) message; }
} // namespace recording

using namespace recording;

//==============================================================================
extern "C"
{
    HMODULE __wrap_GetModuleHandleA (LPCSTR name)
    {
        record ("GetModuleHandleA(%p)", (const void*) name);
        return instanceHandle;
    }

    HCURSOR __wrap_LoadCursorA (HINSTANCE instance, LPCSTR name)
    {
        record ("LoadCursorA(%p,%d)", (void*) instance, (int) (uintptr_t) name);
        return cursor;
    }

    HGDIOBJ __wrap_GetStockObject (int object)
    {
        record ("GetStockObject(%d)", object);
        return brush;
    }

    ATOM __wrap_RegisterClassA (const WNDCLASSA* c)
    {
        record ("RegisterClassA(style=%u,proc=%s,extra=%d/%d,inst=%p,icon=%p,cursor=%p,brush=%p,menu=%p,name=%s)",
                c->style, c->lpfnWndProc == &hidWindowProc ? "hidWindowProc" : "other",
                c->cbClsExtra, c->cbWndExtra, (void*) c->hInstance, (void*) c->hIcon,
                (void*) c->hCursor, (void*) c->hbrBackground, (const void*) c->lpszMenuName,
                c->lpszClassName);
        return 1;
    }

    BOOL __wrap_UnregisterClassA (LPCSTR name, HINSTANCE instance)
    {
        record ("UnregisterClassA(%s,%p)", name, (void*) instance);
        return TRUE;
    }

    HWND __wrap_CreateWindowExA (DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style,
                                 int x, int y, int w, int h, HWND parent, HMENU menu,
                                 HINSTANCE instance, LPVOID param)
    {
        record ("CreateWindowExA(%u,%s,%s,0x%08x,%d,%d,%d,%d,%p,%p,%p,%p)", exStyle, className, title,
                style, x, y, w, h, (void*) parent, menu, (void*) instance, param);
        return windowFails ? nullptr : windowHandle;
    }

    BOOL __wrap_ShowWindow (HWND window, int command)
    {
        record ("ShowWindow(%p,%d)", (void*) window, command);
        return TRUE;
    }

    BOOL __wrap_DestroyWindow (HWND window)
    {
        record ("DestroyWindow(%p)", (void*) window);
        return TRUE;
    }

    LRESULT __wrap_DefWindowProcA (HWND, UINT message, WPARAM, LPARAM)
    {
        return defaultResultFor (message);
    }
}

//==============================================================================
MORVANTX_API int HID_Initialize (HINSTANCE instance)
{
    record ("HID_Initialize(%p)", (void*) instance);
    return 1;
}

MORVANTX_API int HID_SetCallback (HWND window, UINT report, UINT arrival, UINT removal)
{
    record ("HID_SetCallback(%p,0x%x,0x%x,0x%x)", (void*) window, report, arrival, removal);
    return 1;
}

MORVANTX_API int HID_Start()
{
    record ("HID_Start()");
    return 1;
}
MORVANTX_API int HID_Stop()
{
    record ("HID_Stop()");
    return 1;
}
MORVANTX_API int HID_Finalize()
{
    record ("HID_Finalize()");
    return 1;
}

MORVANTX_API int HID_EnumHIDno (int* numbers)
{
    record ("HID_EnumHIDno()");
    const auto n = std::min<size_t> (devices.size(), 128);

    for (size_t i = 0; i < n; ++i)
        numbers[i] = devices[i].number;

    return enumCount >= 0 ? enumCount : (int) n;
}

MORVANTX_API uint32_t HID_GetDeviceType (int number)
{
    record ("HID_GetDeviceType(%d)", number);

    for (auto& d : devices)
        if (d.number == number)
            return d.type;

    return 0;
}

MORVANTX_API int HID_GetFirmwareVersion (uint32_t type, uint32_t* words, int count)
{
    record ("HID_GetFirmwareVersion(0x%x,%d)", type, count);
    words[0] = 0x100 + type;
    return 1;
}

MORVANTX_API int HID_Input (int number, uint8_t* buffer, uint32_t* length)
{
    record ("HID_Input(%d,%u)", number, *length);
    const auto written = std::min (inputLength, *length);

    for (uint32_t i = 0; i < written; ++i)
        buffer[i] = (uint8_t) (i * 7 + 1);

    *length = inputLength;
    return 1;
}

MORVANTX_API int HID_Write (int number, const uint8_t*, uint32_t length)
{
    if (logWrites)
        record ("HID_Write(%d,%u)", number, length);

    return 1;
}

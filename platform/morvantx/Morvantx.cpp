#include "platform/morvantx/morvantx.h"
#include "platform/morvantx/BusThread.h"

#include <cstdio>
#include <memory>

// The ten calls over the local device bus (DeviceBus.h). The library keeps one device table
// for the whole process, so device numbers are never reused, and at most one bus thread.

namespace
{
using morvantx::BusThread;

/** Where the three messages go. The bus thread posts while holding the lock, so once
    HID_SetCallback has returned nothing is posted to the former window.
*/
struct Callback
{
    std::mutex lock;
    HWND window = nullptr;
    UINT reportMessage = 0, arrivalMessage = 0, removalMessage = 0;

    void post (BusThread::Event event, int number)
    {
        std::lock_guard<std::mutex> l (lock);

        if (window == nullptr)
            return;

        const UINT message = event == BusThread::Event::arrival  ? arrivalMessage
                             : event == BusThread::Event::report ? reportMessage
                                                                 : removalMessage;
        PostMessageA (window, message, (WPARAM) (intptr_t) number, 0);
    }
};

struct Library
{
    std::mutex lifecycle; // HID_Start, HID_Stop and HID_Finalize, one at a time
    morvantx::DeviceTable table;
    Callback callback;
    std::unique_ptr<BusThread> thread;
};

// Never destroyed, like the program's own message queue: a thread may still call in while
// the process exits.
Library& library()
{
    static Library* l = new Library();
    return *l;
}

void stopBus (Library& l)
{
    if (l.thread != nullptr)
    {
        l.thread->stop();
        l.thread.reset();
    }

    l.table.clear();
}
} // namespace

MORVANTX_API int HID_Initialize (HINSTANCE)
{
    library();
    return 1;
}

MORVANTX_API int HID_SetCallback (HWND window, UINT reportMessage, UINT arrivalMessage, UINT removalMessage)
{
    auto& c = library().callback;
    std::lock_guard<std::mutex> l (c.lock);
    c.window = window;
    c.reportMessage = reportMessage;
    c.arrivalMessage = arrivalMessage;
    c.removalMessage = removalMessage;
    return 1;
}

MORVANTX_API int HID_Start()
{
    auto& l = library();
    std::lock_guard<std::mutex> g (l.lifecycle);

    if (l.thread != nullptr)
        return 1;

    const auto directory = devicebus::busDirectory();
    std::string error;

    if (!devicebus::prepareBusDirectory (directory, error))
    {
        std::fprintf (stderr, "morvantx: %s\n", error.c_str());
        return 0;
    }

    auto thread = std::make_unique<BusThread> (l.table, [&l] (BusThread::Event e, int number)
                                               { l.callback.post (e, number); });

    if (!thread->start (directory))
    {
        std::fprintf (stderr, "morvantx: cannot watch %s\n", directory.c_str());
        return 0;
    }

    l.thread = std::move (thread);
    return 1;
}

MORVANTX_API int HID_Stop()
{
    auto& l = library();
    std::lock_guard<std::mutex> g (l.lifecycle);
    stopBus (l);
    return 1;
}

MORVANTX_API int HID_Finalize()
{
    return HID_Stop();
}

MORVANTX_API int HID_EnumHIDno (int* deviceNumbers)
{
    if (deviceNumbers == nullptr)
        return 0;

    return library().table.enumerate (deviceNumbers, 128);
}

MORVANTX_API uint32_t HID_GetDeviceType (int deviceNumber)
{
    return library().table.typeOf (deviceNumber);
}

MORVANTX_API int HID_GetFirmwareVersion (uint32_t deviceType, uint32_t* words, int count)
{
    if (words == nullptr || count <= 0)
        return 0;

    return library().table.firmwareOf (deviceType, words, count);
}

MORVANTX_API int HID_Input (int deviceNumber, uint8_t* buffer, uint32_t* length)
{
    if (length == nullptr)
        return 0;

    if (buffer == nullptr || *length == 0)
    {
        *length = 0;
        return 0;
    }

    return library().table.pop (deviceNumber, buffer, length) ? 1 : 0;
}

MORVANTX_API int HID_Write (int deviceNumber, const uint8_t* buffer, uint32_t length)
{
    if (buffer == nullptr || length == 0 || length > devicebus::maxReportSize)
        return 0;

    return library().table.write (deviceNumber, buffer, length) ? 1 : 0;
}

#include "device/HidUtil.h"

#include "platform/morvantx/morvantx.h"

HidUtil* HidUtil::instance = nullptr;

//==============================================================================
HidUtil::~HidUtil()
{
    close();
}

bool HidUtil::init (HidHandler* newOwner, int newMode)
{
    if (instance != nullptr)
        return false;

    instance = this;
    owner = newOwner;
    mode = newMode;

    instanceHandle = GetModuleHandleA (nullptr);

    if (instanceHandle == nullptr)
    {
        close();
        return false;
    }

    WNDCLASSA windowClass {};
    windowClass.style = 0;
    windowClass.lpfnWndProc = hidWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instanceHandle;
    windowClass.hIcon = nullptr;
    windowClass.hCursor = LoadCursorA (nullptr, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH) GetStockObject (BLACK_BRUSH);
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = windowClassName;

    // Only the window's creation decides: the class may still be registered from an earlier run.
    RegisterClassA (&windowClass);

    windowHandle = CreateWindowExA (0, windowClassName, windowClassName,
                                    WS_OVERLAPPEDWINDOW | WS_DISABLED,
                                    0, 0, 10, 10,
                                    nullptr, nullptr, instanceHandle, nullptr);

    if (windowHandle == nullptr)
    {
        close();
        return false;
    }

    ShowWindow (windowHandle, SW_HIDE);

    HID_Initialize (instanceHandle);
    HID_SetCallback (windowHandle, hidReportMessage, hidArrivalMessage, hidRemovalMessage);
    HID_Start();
    return true;
}

void HidUtil::close()
{
    detach();

    // A refused second object must not unhook the live one.
    if (instance == this)
        instance = nullptr;

    owner = nullptr;

    if (instanceHandle != nullptr && windowHandle != nullptr)
    {
        HID_Stop();
        HID_SetCallback (nullptr, 0, 0, 0);
        HID_Finalize();
        DestroyWindow (windowHandle);
        UnregisterClassA (windowClassName, instanceHandle);
        instanceHandle = nullptr;
        windowHandle = nullptr;
    }
}

//==============================================================================
bool HidUtil::findDevice()
{
    if (hidNo.load() >= 0)
        return true;

    if (mode > 1)
        return false;

    int list[maxListedDevices];
    std::fill (std::begin (list), std::end (list), -1);

    // The library never lists more than the room it is given; a larger count is not trusted.
    const int count = juce::jmin (HID_EnumHIDno (list), maxListedDevices);

    juce::int32 found = -1;

    // Every listed device is asked; the last accepted one wins.
    for (int i = 0; i < count; ++i)
    {
        const auto type = HID_GetDeviceType (list[i]);

        for (auto accepted : acceptedDeviceTypes)
        {
            if (type == accepted)
            {
                deviceType = accepted;
                found = list[i];
                break;
            }
        }
    }

    if (found < 0)
        return false;

    hidNo = found;
    return true;
}

juce::uint32 HidUtil::read (juce::uint8* buffer, juce::uint32 size)
{
    const auto number = hidNo.load();

    if (buffer == nullptr || size == 0 || number < 0)
        return 0;

    juce::uint32 length = size;
    HID_Input (number, buffer, &length);
    return length;
}

bool HidUtil::write (const juce::uint8* buffer, juce::uint32 size)
{
    // One load: the removal handler may clear hidNo on the message thread meanwhile.
    const auto number = hidNo.load();

    if (buffer == nullptr || size == 0 || number < 0)
        return false;

    return HID_Write (number, buffer, size) != 0;
}

bool HidUtil::detach()
{
    return hidNo.exchange (-1) >= 0;
}

juce::uint32 HidUtil::getFirmwareVersion()
{
    if (hidNo.load() < 0)
        return 0;

    juce::uint32 words[2] = { 0, 0 };
    HID_GetFirmwareVersion (deviceType, words, 1);
    return words[0];
}

//==============================================================================
LRESULT hidWindowProc (HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
        case HidUtil::hidRemovalMessage:
            onHidRemovalMessage (wParam);
            break;
        case HidUtil::hidArrivalMessage:
            onHidArrivalMessage (wParam);
            break;
        case HidUtil::hidReportMessage:
            onHidReportMessage (wParam);
            break;
        default:
            break;
    }

    return DefWindowProcA (window, message, wParam, lParam);
}

static juce::int32 deviceNumberOf (WPARAM wParam)
{
    return (juce::int32) (juce::uint32) wParam;
}

void onHidRemovalMessage (WPARAM wParam)
{
    auto* util = HidUtil::instance;

    if (util == nullptr)
        return;

    if (util->hidNo.load() == deviceNumberOf (wParam) && util->detach() && util->owner != nullptr)
        util->owner->onDeviceRemoved();
}

void onHidArrivalMessage (WPARAM)
{
    auto* util = HidUtil::instance;

    if (util == nullptr)
        return;

    if (util->hidNo.load() < 0 && util->findDevice() && util->owner != nullptr)
        util->owner->onDeviceArrived();
}

void onHidReportMessage (WPARAM wParam)
{
    auto* util = HidUtil::instance;

    if (util == nullptr)
        return;

    if (util->hidNo.load() == deviceNumberOf (wParam) && util->owner != nullptr)
        util->owner->onReportReceived();
}

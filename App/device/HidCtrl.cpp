#include "device/HidCtrl.h"

HidCtrl::HidCtrl() = default;

HidCtrl::~HidCtrl()
{
    close();
}

//==============================================================================
bool HidCtrl::open (HidHandler* newListener, int mode)
{
    jassert (util == nullptr); // opened once

    listener = newListener;
    util = std::make_unique<HidUtil>();

    connectionState = ConnectionState::disconnected;
    firmwareVersion = 0;
    juce::zeromem (report, sizeof (report));
    reportLength = 0;

    if (util->init (this, mode))
    {
        connectionState = findDevice() ? ConnectionState::connected : ConnectionState::disconnected;

        if (connectionState != ConnectionState::disconnected)
        {
            firmwareVersion = getFirmwareVersion();
            reportLength = read (report, hidReportSize);
        }

        return true;
    }

    close();
    return false;
}

void HidCtrl::close()
{
    listener = nullptr;

    if (util != nullptr)
    {
        util->close();
        util.reset();
    }
}

//==============================================================================
bool HidCtrl::send (const juce::uint8* buffer, juce::uint32 size)
{
    // Only an open device's state may become reportSent: a removal handled on the message thread
    // between the test and the store must not be overwritten.
    auto state = connectionState.load();

    do
    {
        if (state == ConnectionState::disconnected)
            return false;
    } while (!connectionState.compare_exchange_weak (state, ConnectionState::reportSent));

    return write (buffer, size);
}

juce::uint32 HidCtrl::read (juce::uint8* buffer, juce::uint32 size)
{
    if (buffer == nullptr || size == 0 || util == nullptr)
        return 0;

    juce::zeromem (buffer, size);

    // The library's count is trusted no further than the buffer it was given.
    return juce::jmin (util->read (buffer, size), size);
}

bool HidCtrl::write (const juce::uint8* buffer, juce::uint32 size)
{
    return util != nullptr && util->write (buffer, size);
}

bool HidCtrl::findDevice()
{
    return util != nullptr && util->findDevice();
}

juce::uint32 HidCtrl::getFirmwareVersion()
{
    return util != nullptr ? util->getFirmwareVersion() : 0;
}

//==============================================================================
void HidCtrl::onDeviceRemoved()
{
    connectionState = ConnectionState::disconnected;
    firmwareVersion = 0;
    juce::zeromem (report, sizeof (report));
    reportLength = 0;

    if (listener != nullptr)
        listener->onDeviceRemoved();
}

void HidCtrl::onDeviceArrived()
{
    connectionState = ConnectionState::connected;
    firmwareVersion = getFirmwareVersion();
    reportLength = read (report, hidReportSize);

    if (listener != nullptr)
        listener->onDeviceArrived();
}

void HidCtrl::onReportReceived()
{
    juce::uint8 local[hidReportSize];
    const auto n = read (local, hidReportSize);

    // The rest of report keeps what it held.
    std::memcpy (report, local, n);
    reportLength = n;

    if (listener != nullptr)
        listener->onReportReceived();
}

#pragma once

//==============================================================================
/**
    Receives the device link's events.

    HidCtrl implements it towards HidUtil, whose message handlers call it; the main component
    implements it towards HidCtrl. Every call comes on the message thread, one at a time.

    No object is deleted through this interface, so its destructor is protected and not virtual.
*/
class HidHandler
{
public:
    /** The open device has gone. */
    virtual void onDeviceRemoved() = 0;

    /** A device of an accepted type has been found and opened. */
    virtual void onDeviceArrived() = 0;

    /** An input report of the open device has been read. */
    virtual void onReportReceived() = 0;

protected:
    ~HidHandler() = default;
};

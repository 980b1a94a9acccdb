#pragma once

// A hidden window made with the platform's window calls that records every message delivered
// to it, for tests of PostMessageA and of the device library's messages. Message thread only.

#include "platform/winapi/WinApi.h"

#include <functional>
#include <vector>

namespace testsupport
{
struct DeliveredMessage
{
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool onMessageThread;
};

class RecordingWindow
{
public:
    /** onMessage, when given, runs inside the window procedure after the message is recorded. */
    explicit RecordingWindow (std::function<void (const DeliveredMessage&)> onMessage = {});
    ~RecordingWindow();

    HWND handle() const { return window; }

    /** Destroys the window now (the destructor does it otherwise). */
    void destroy();

    const std::vector<DeliveredMessage>& messages() const { return delivered; }

    /** The messages with this number, in the order they arrived. */
    std::vector<DeliveredMessage> messages (UINT message) const;

private:
    static LRESULT procedure (HWND, UINT, WPARAM, LPARAM);

    HWND window = nullptr;
    std::function<void (const DeliveredMessage&)> onMessage;
    std::vector<DeliveredMessage> delivered;

    RecordingWindow (const RecordingWindow&) = delete;
    RecordingWindow& operator= (const RecordingWindow&) = delete;
};
} // namespace testsupport

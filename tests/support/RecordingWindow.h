#pragma once

// A hidden window made with the platform's window calls that records every message delivered
// to it, for tests of PostMessageA and of the device library's messages. Message thread only.

#include "platform/winapi/WinApi.h"

#include <juce_events/juce_events.h>

#include <functional>
#include <map>
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
    explicit RecordingWindow (std::function<void (const DeliveredMessage&)> callback = {})
        : onMessage (std::move (callback))
    {
        WNDCLASSA c {};
        c.lpfnWndProc = procedure;
        c.hInstance = GetModuleHandleA (nullptr);
        c.lpszClassName = className;

        if (windows().empty())
            RegisterClassA (&c);

        window = CreateWindowExA (0, className, className, WS_OVERLAPPEDWINDOW | WS_DISABLED, 0, 0, 10, 10, nullptr, nullptr, c.hInstance, nullptr);
        windows()[window] = this;
    }

    ~RecordingWindow()
    {
        DestroyWindow (window);
        windows().erase (window);

        if (windows().empty())
            UnregisterClassA (className, GetModuleHandleA (nullptr));
    }

    HWND handle() const { return window; }
    const std::vector<DeliveredMessage>& messages() const { return delivered; }

    /** The messages with this number, in the order they arrived. */
    std::vector<DeliveredMessage> messages (UINT message) const
    {
        std::vector<DeliveredMessage> result;
        std::copy_if (delivered.begin(), delivered.end(), std::back_inserter (result), [=] (auto& m)
                      { return m.message == message; });
        return result;
    }

private:
    static constexpr const char* className = "TEST_RECORDING_WINDOW";

    static std::map<HWND, RecordingWindow*>& windows()
    {
        static std::map<HWND, RecordingWindow*> all;
        return all;
    }

    static LRESULT procedure (HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (auto w = windows().find (window); w != windows().end())
        {
            w->second->delivered.push_back ({ message, wParam, lParam, juce::MessageManager::getInstance()->isThisTheMessageThread() });

            if (w->second->onMessage)
                w->second->onMessage (w->second->delivered.back());
        }

        return DefWindowProcA (window, message, wParam, lParam);
    }

    HWND window = nullptr;
    std::function<void (const DeliveredMessage&)> onMessage;
    std::vector<DeliveredMessage> delivered;
};
} // namespace testsupport

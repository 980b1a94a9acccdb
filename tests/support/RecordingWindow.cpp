#include "support/RecordingWindow.h"

#include <juce_events/juce_events.h>

#include <map>

namespace testsupport
{
namespace
{
    constexpr const char* className = "TEST_RECORDING_WINDOW";
    std::map<HWND, RecordingWindow*> windows; // message thread only
} // namespace

RecordingWindow::RecordingWindow (std::function<void (const DeliveredMessage&)> callback)
    : onMessage (std::move (callback))
{
    if (windows.empty())
    {
        WNDCLASSA c {};
        c.lpfnWndProc = procedure;
        c.hInstance = GetModuleHandleA (nullptr);
        c.lpszClassName = className;
        RegisterClassA (&c);
    }

    window = CreateWindowExA (0, className, className, WS_OVERLAPPEDWINDOW | WS_DISABLED, 0, 0, 10, 10,
                              nullptr, nullptr, GetModuleHandleA (nullptr), nullptr);
    windows[window] = this;
}

RecordingWindow::~RecordingWindow()
{
    destroy();
}

void RecordingWindow::destroy()
{
    if (window == nullptr)
        return;

    DestroyWindow (window);
    windows.erase (window);
    window = nullptr;

    if (windows.empty())
        UnregisterClassA (className, GetModuleHandleA (nullptr));
}

std::vector<DeliveredMessage> RecordingWindow::messages (UINT message) const
{
    std::vector<DeliveredMessage> result;

    for (auto& m : delivered)
        if (m.message == message)
            result.push_back (m);

    return result;
}

LRESULT RecordingWindow::procedure (HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto w = windows.find (window);

    if (w != windows.end())
    {
        auto* self = w->second;
        self->delivered.push_back ({ message, wParam, lParam, juce::MessageManager::getInstance()->isThisTheMessageThread() });

        if (self->onMessage)
            self->onMessage (self->delivered.back());
    }

    return DefWindowProcA (window, message, wParam, lParam);
}
} // namespace testsupport

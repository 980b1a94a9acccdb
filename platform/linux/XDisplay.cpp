#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1
#include "platform/linux/XDisplay.h"

#include <juce_gui_basics/juce_gui_basics.h>

#if JUCE_LINUX || JUCE_BSD
#include <juce_events/native/juce_linux_EventLoopInternal.h>
#endif

bool XDisplay::isOpen()
{
#if JUCE_LINUX || JUCE_BSD
    return juce::XWindowSystem::getInstance()->getDisplay() != nullptr;
#else
    return true;
#endif
}

void XDisplay::handleEventsAlreadyRead()
{
#if JUCE_LINUX || JUCE_BSD
    auto* windowSystem = juce::XWindowSystem::getInstanceWithoutCreating();

    if (windowSystem == nullptr || windowSystem->getDisplay() == nullptr)
        return;

    auto& x11 = *juce::X11Symbols::getInstance();
    int connection = -1;

    {
        const juce::XWindowSystemUtilities::ScopedXLock lock;

        if (x11.xEventsQueued (windowSystem->getDisplay(), QueuedAlready) > 0)
            connection = x11.xConnectionNumber (windowSystem->getDisplay());
    }

    // The framework's own handler for the connection takes every queued event.
    if (connection >= 0)
        juce::LinuxEventLoopInternal::invokeEventLoopCallbackForFd (connection);
#endif
}

#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1
#include "platform/linux/ActiveWindow.h"

#include <juce_gui_basics/juce_gui_basics.h>

bool ActiveWindow::isAnotherProgramsWindow()
{
#if JUCE_LINUX || JUCE_BSD
    auto* windowSystem = juce::XWindowSystem::getInstanceWithoutCreating();
    auto* display = windowSystem != nullptr ? windowSystem->getDisplay() : nullptr;

    if (display == nullptr)
        return false;

    auto& x11 = *juce::X11Symbols::getInstance();
    ::Window active = None;
    {
        const juce::XWindowSystemUtilities::ScopedXLock lock;
        const auto atom = x11.xInternAtom (display, "_NET_ACTIVE_WINDOW", True);
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;

        if (atom != None
            && x11.xGetWindowProperty (display, x11.xDefaultRootWindow (display), atom, 0, 1, False, XA_WINDOW,
                                       &type, &format, &count, &after, &data) == Success
            && data != nullptr && format == 32 && count == 1)
            active = (::Window) *(unsigned long*) data;

        if (data != nullptr)
            x11.xFree (data);
    }

    if (active == None)
        return false;

    for (int i = 0; i < juce::ComponentPeer::getNumPeers(); ++i)
        if ((::Window) (juce::pointer_sized_uint) juce::ComponentPeer::getPeer (i)->getNativeHandle() == active)
            return false;

    return true;
#else
    return false;
#endif
}

#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1
#include "platform/linux/TitleBarHints.h"

void TitleBarHints::removeWindowMenu (juce::Component& window)
{
#if JUCE_LINUX || JUCE_BSD
    auto* peer = window.getPeer();
    auto* windowSystem = juce::XWindowSystem::getInstanceWithoutCreating();

    if (peer == nullptr || windowSystem == nullptr || windowSystem->getDisplay() == nullptr)
        return;

    auto* x11 = juce::X11Symbols::getInstance();
    auto* display = windowSystem->getDisplay();
    const juce::XWindowSystemUtilities::ScopedXLock lock;
    const auto atom = x11->xInternAtom (display, "_MOTIF_WM_HINTS", True);

    if (atom == None)
        return;

    // Motif hints: flags (functions | decorations), functions (move), decorations (border | title).
    long hints[5] = { 1 | 2, 4, 2 | 8, 0, 0 };
    x11->xChangeProperty (display, (::Window) (juce::pointer_sized_uint) peer->getNativeHandle(), atom, atom, 32,
                          PropModeReplace, (unsigned char*) hints, 5);
#else
    juce::ignoreUnused (window);
#endif
}

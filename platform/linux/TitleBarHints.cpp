#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1
#include "platform/linux/TitleBarHints.h"

#if JUCE_LINUX || JUCE_BSD
namespace
{
/** The window's X display and native handle, or a null display when it has none. */
struct XWindow
{
    explicit XWindow (juce::Component& window)
    {
        auto* peer = window.getPeer();
        auto* windowSystem = juce::XWindowSystem::getInstanceWithoutCreating();

        if (peer == nullptr || windowSystem == nullptr)
            return;

        display = windowSystem->getDisplay();
        handle = (::Window) (juce::pointer_sized_uint) peer->getNativeHandle();
        bounds = juce::Desktop::getInstance().getDisplays().logicalToPhysical (peer->getBounds());
    }

    ::Display* display = nullptr;
    ::Window handle = 0;
    juce::Rectangle<int> bounds; // the client area on the screen, in pixels
};
} // namespace
#endif

void TitleBarHints::removeWindowMenu (juce::Component& window)
{
#if JUCE_LINUX || JUCE_BSD
    const XWindow w (window);

    if (w.display == nullptr)
        return;

    auto* x11 = juce::X11Symbols::getInstance();
    const juce::XWindowSystemUtilities::ScopedXLock lock;
    const auto atom = x11->xInternAtom (w.display, "_MOTIF_WM_HINTS", True);

    if (atom == None)
        return;

    // Motif hints: flags (functions | decorations), functions (move), decorations (border | title).
    long hints[5] = { 1 | 2, 4, 2 | 8, 0, 0 };
    x11->xChangeProperty (w.display, w.handle, atom, atom, 32, PropModeReplace, (unsigned char*) hints, 5);
#else
    juce::ignoreUnused (window);
#endif
}

void TitleBarHints::fixSize (juce::Component& window)
{
#if JUCE_LINUX || JUCE_BSD
    const XWindow w (window);

    if (w.display == nullptr || w.bounds.isEmpty())
        return;

    auto* x11 = juce::X11Symbols::getInstance();
    const juce::XWindowSystemUtilities::ScopedXLock lock;

    if (auto* hints = x11->xAllocSizeHints())
    {
        // The position and size as JUCE gives them, with the size as the only one allowed.
        hints->flags = USPosition | USSize | PMinSize | PMaxSize;
        hints->x = w.bounds.getX();
        hints->y = w.bounds.getY();
        hints->width = hints->min_width = hints->max_width = w.bounds.getWidth();
        hints->height = hints->min_height = hints->max_height = w.bounds.getHeight();
        x11->xSetWMNormalHints (w.display, w.handle, hints);
        x11->xFree (hints);
    }
#else
    juce::ignoreUnused (window);
#endif
}

void TitleBarHints::leaveFullScreenAndMaximised (juce::Component& window)
{
#if JUCE_LINUX || JUCE_BSD
    const XWindow w (window);

    if (w.display == nullptr)
        return;

    auto* x11 = juce::X11Symbols::getInstance();
    const juce::XWindowSystemUtilities::ScopedXLock lock;
    const auto state = x11->xInternAtom (w.display, "_NET_WM_STATE", True);

    if (state == None)
        return;

    // A state change is a request to the window manager, sent to the root window (EWMH):
    // data: action (0 = remove), up to two states, source (1 = an application).
    const auto remove = [&] (const char* first, const char* second)
    {
        XClientMessageEvent message {};
        message.type = ClientMessage;
        message.display = w.display;
        message.window = w.handle;
        message.message_type = state;
        message.format = 32;
        message.data.l[0] = 0;
        message.data.l[1] = (long) x11->xInternAtom (w.display, first, False);
        message.data.l[2] = second != nullptr ? (long) x11->xInternAtom (w.display, second, False) : 0;
        message.data.l[3] = 1;

        x11->xSendEvent (w.display, x11->xRootWindow (w.display, x11->xDefaultScreen (w.display)), False,
                         SubstructureRedirectMask | SubstructureNotifyMask, (XEvent*) &message);
    };

    remove ("_NET_WM_STATE_FULLSCREEN", nullptr);
    remove ("_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ");
    x11->xFlush (w.display);
#else
    juce::ignoreUnused (window);
#endif
}

#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1
#include "platform/linux/TitleBarHints.h"

#if JUCE_LINUX || JUCE_BSD
namespace
{
/** Calls fn (x11, display, window, bounds) under the X lock when the component has a native
    X window; bounds is its client area on the screen, in pixels.
*/
template <typename Fn>
void withXWindow (juce::Component& component, Fn&& fn)
{
    auto* peer = component.getPeer();
    auto* windowSystem = juce::XWindowSystem::getInstanceWithoutCreating();

    if (peer == nullptr || windowSystem == nullptr || windowSystem->getDisplay() == nullptr)
        return;

    const juce::XWindowSystemUtilities::ScopedXLock lock;
    fn (*juce::X11Symbols::getInstance(), windowSystem->getDisplay(),
        (::Window) (juce::pointer_sized_uint) peer->getNativeHandle(),
        juce::Desktop::getInstance().getDisplays().logicalToPhysical (peer->getBounds()));
}
} // namespace

void TitleBarHints::removeWindowMenu (juce::Component& window)
{
    withXWindow (window, [] (juce::X11Symbols& x11, ::Display* display, ::Window handle, juce::Rectangle<int>)
                 {
                     const auto atom = x11.xInternAtom (display, "_MOTIF_WM_HINTS", True);

                     if (atom == None)
                         return;

                     // Motif hints: flags (functions | decorations), functions (move), decorations (border | title).
                     long hints[5] = { 1 | 2, 4, 2 | 8, 0, 0 };
                     x11.xChangeProperty (display, handle, atom, atom, 32, PropModeReplace, (unsigned char*) hints, 5); });
}

void TitleBarHints::fixSize (juce::Component& window)
{
    withXWindow (window, [] (juce::X11Symbols& x11, ::Display* display, ::Window handle, juce::Rectangle<int> bounds)
                 {
                     if (bounds.isEmpty())
                         return;

                     if (auto* hints = x11.xAllocSizeHints())
                     {
                         // The position and size as JUCE gives them, with the size as the only one allowed.
                         hints->flags = USPosition | USSize | PMinSize | PMaxSize;
                         hints->x = bounds.getX();
                         hints->y = bounds.getY();
                         hints->width = hints->min_width = hints->max_width = bounds.getWidth();
                         hints->height = hints->min_height = hints->max_height = bounds.getHeight();
                         x11.xSetWMNormalHints (display, handle, hints);
                         x11.xFree (hints);
                     } });
}

void TitleBarHints::leaveFullScreenAndMaximised (juce::Component& window)
{
    withXWindow (window, [] (juce::X11Symbols& x11, ::Display* display, ::Window handle, juce::Rectangle<int>)
                 {
                     const auto state = x11.xInternAtom (display, "_NET_WM_STATE", True);

                     if (state == None)
                         return;

                     // A state change is a request to the window manager, sent to the root window (EWMH):
                     // data: action (0 = remove), up to two states, source (1 = an application).
                     const auto remove = [&] (const char* first, const char* second)
                     {
                         XClientMessageEvent message {};
                         message.type = ClientMessage;
                         message.display = display;
                         message.window = handle;
                         message.message_type = state;
                         message.format = 32;
                         message.data.l[0] = 0;
                         message.data.l[1] = (long) x11.xInternAtom (display, first, False);
                         message.data.l[2] = second != nullptr ? (long) x11.xInternAtom (display, second, False) : 0;
                         message.data.l[3] = 1;

                         x11.xSendEvent (display, x11.xRootWindow (display, x11.xDefaultScreen (display)), False,
                                         SubstructureRedirectMask | SubstructureNotifyMask, (XEvent*) &message);
                     };

                     remove ("_NET_WM_STATE_FULLSCREEN", nullptr);
                     remove ("_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ");
                     x11.xFlush (display); });
}

#else
void TitleBarHints::removeWindowMenu (juce::Component&) {}
void TitleBarHints::fixSize (juce::Component&) {}
void TitleBarHints::leaveFullScreenAndMaximised (juce::Component&) {}
#endif

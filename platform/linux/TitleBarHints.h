#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

//==============================================================================
/**
    What the program's title bar offers, beyond what the framework asks for.

    On X11 JUCE 7 asks the window manager for a window menu on every window with a native
    title bar; the program's title bar has none. Elsewhere this does nothing.

    Threads: the message thread.
*/
namespace TitleBarHints
{
/** Leaves the border and the title as the only decorations of the window's native title
    bar, and moving as its only function (the window must be on the desktop).
*/
void removeWindowMenu (juce::Component& window);
} // namespace TitleBarHints

#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

//==============================================================================
/**
    What the program's frame offers, beyond what the framework asks for.

    On X11 JUCE 7 asks the window manager for a window menu on every window with a native
    title bar, and each time it places a window it replaces the size hints with the position
    and size alone, dropping the minimum and maximum of a window that cannot be resized. The
    program's title bar has no menu and its frame keeps one size. Elsewhere these do nothing.

    Every function needs the window on the desktop. Threads: the message thread.
*/
namespace TitleBarHints
{
/** Leaves the border and the title as the only decorations of the window's native title
    bar, and moving as its only function.
*/
void removeWindowMenu (juce::Component& window);

/** Asks for the window's current size as its minimum and maximum too, keeping its place.
    Call it again after each change of the window's bounds.
*/
void fixSize (juce::Component& window);

/** Asks the window manager to take the window out of fullscreen and out of maximised. */
void leaveFullScreenAndMaximised (juce::Component& window);
} // namespace TitleBarHints

#pragma once

//==============================================================================
/**
    Which window the window manager holds to be the active one (_NET_ACTIVE_WINDOW on X11).

    Threads: the message thread.
*/
namespace ActiveWindow
{
/** True when the active window is another program's: the user or the window manager chose
    it. False when no window is active, when it is one of this program's, or when it cannot be
    told (no X display, a window manager that does not say).
*/
bool isAnotherProgramsWindow();
} // namespace ActiveWindow

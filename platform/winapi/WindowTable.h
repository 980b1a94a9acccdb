#pragma once

// The window records behind the window calls, shared with PostMessageA's queue.
//
// Threads: the window calls run on the message thread; PostMessageA looks windows up from any
// thread. Every lookup takes the table's lock and returns a copy.

#include "platform/winapi/WinApi.h"

namespace winapi
{
/** True while the window exists (created and not yet destroyed). */
bool windowExists (HWND window);

/** The procedure of the window's class, or null when the window does not exist. */
WNDPROC windowProcedure (HWND window);

/** Message thread: makes sure the current message loop delivers posted messages. */
void attachMessageQueue();
} // namespace winapi

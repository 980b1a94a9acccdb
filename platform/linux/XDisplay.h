#pragma once

//==============================================================================
/** The framework's connection to the X display (X11 only; elsewhere these do nothing).
    Needs the framework initialised; message thread.
*/
namespace XDisplay
{
/** Whether the connection is open (elsewhere true). The first call makes the framework connect. */
bool isOpen();

/** Has the framework handle the X events that Xlib has already read. JUCE handles X events
    only when the connection has data to read: those read with the reply to a request made
    outside that handling (the pointer's place, a window's frame) wait for the next data from
    the server, which may not come.
*/
void handleEventsAlreadyRead();
} // namespace XDisplay

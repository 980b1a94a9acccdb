#pragma once

//==============================================================================
/** Whether the framework's connection to the X display is open (X11 only; elsewhere true).
    The first call makes the framework connect. Needs the framework initialised; message thread.
*/
namespace XDisplay
{
bool isOpen();
} // namespace XDisplay

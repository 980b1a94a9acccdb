#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1
#include "platform/linux/XDisplay.h"

#include <juce_gui_basics/juce_gui_basics.h>

bool XDisplay::isOpen()
{
#if JUCE_LINUX || JUCE_BSD
    return juce::XWindowSystem::getInstance()->getDisplay() != nullptr;
#else
    return true;
#endif
}

#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

//==============================================================================
/** The updater's main component (declaration of the status-icon painter only). */
class MainComponent
{
public:
    /** Paints the vector status icon for a juce::MessageBoxIconType code into the box
        (20, 15, 64, 64): 0 nothing, 2 a warning triangle with "!", 3 a circle with "i",
        any other code a circle with "?". Uses no member. Message thread. */
    static void drawStatusIcon (juce::Graphics& g, int iconType);
};

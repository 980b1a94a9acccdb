#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

//==============================================================================
/**
    Look-and-feel of the progress bar: a frame and unfilled part in the bar's background
    colour, a fixed grey vertical gradient filling the inside from the left in proportion to
    the value, and the bar's text in white, centred on the whole bar.

    Message thread only.
*/
class ProgressLookAndFeel : public juce::LookAndFeel_V2
{
public:
    ProgressLookAndFeel() = default;
    ~ProgressLookAndFeel() override = default;

    void drawProgressBar (juce::Graphics& g, juce::ProgressBar& bar, int width, int height,
                          double progress, const juce::String& textToShow) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ProgressLookAndFeel)
};

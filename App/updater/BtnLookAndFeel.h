#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

//==============================================================================
/**
    Look-and-feel of AlineButton: paints the flat bevelled background, a box in the button's
    colour with a 2.5-thick light line along the top and left edges and a dark one along the
    bottom and right edges, swapped while the button is held down. Connected edges are drawn
    flat at the bounds; a corner where two free edges meet is curved.

    Message thread only.
*/
class BtnLookAndFeel : public juce::LookAndFeel_V2
{
public:
    BtnLookAndFeel() = default;
    ~BtnLookAndFeel() override = default;

    void drawButtonBackground (juce::Graphics& g, juce::Button& button,
                               const juce::Colour& backgroundColour,
                               bool isMouseOverButton, bool isButtonDown) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BtnLookAndFeel)
};

#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "updater/BtnLookAndFeel.h"

//==============================================================================
/**
    The program's flat bevelled push button. Its own BtnLookAndFeel paints the background in
    the colour of juce::TextButton::buttonColourId (buttonOnColourId while toggled on); the
    button paints one line of near-black text over it, moved one pixel right and down while
    held down. There is no hover, focus or disabled look. All four edges start connected.

    Message thread only.
*/
class AlineButton : public juce::Button
{
public:
    explicit AlineButton (const juce::String& name);
    ~AlineButton() override;

    //==============================================================================
    void paintButton (juce::Graphics& g, bool isMouseOverButton, bool isButtonDown) override;

    //==============================================================================
    /** Where the text sits in its box; does not repaint. */
    void setJustification (const juce::Justification& newJustification);

    /** Sets the text; an unchanged text only repaints. */
    void setText (const juce::String& newText);

    /** Typeface of the text; does not repaint. */
    void setFontName (const juce::String& newFontName);

    /** juce::Font style flags of the text; does not repaint. */
    void setFontStyle (const int& styleFlags);

private:
    std::unique_ptr<BtnLookAndFeel> ownLookAndFeel;
    juce::Justification justification { juce::Justification::centred };
    juce::String fontName { "<Sans-Serif>" };
    int fontStyle = juce::Font::plain;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AlineButton)
};

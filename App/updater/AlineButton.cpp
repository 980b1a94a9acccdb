#include "updater/AlineButton.h"

AlineButton::AlineButton (const juce::String& name)
    : juce::Button (name)
{
    ownLookAndFeel = std::make_unique<BtnLookAndFeel>();
    setLookAndFeel (ownLookAndFeel.get());
    setColour (juce::TextButton::buttonColourId, juce::Colours::black);
    setColour (juce::TextButton::buttonOnColourId, juce::Colours::black);
    setConnectedEdges (juce::Button::ConnectedOnLeft | juce::Button::ConnectedOnRight | juce::Button::ConnectedOnTop | juce::Button::ConnectedOnBottom);
}

AlineButton::~AlineButton()
{
    // The component must stop referring to its look-and-feel before that is deleted.
    setLookAndFeel (nullptr);
    ownLookAndFeel.reset();
}

//==============================================================================
void AlineButton::paintButton (juce::Graphics& g, bool isMouseOverButton, bool isButtonDown)
{
    const int colourId = getToggleState() ? juce::TextButton::buttonOnColourId
                                          : juce::TextButton::buttonColourId;

    getLookAndFeel().drawButtonBackground (g, *this, findColour (colourId, false),
                                           isMouseOverButton, isButtonDown);

    const float fontHeight = juce::jmin ((float) getHeight() * 0.8f, 13.0f);
    g.setFont (juce::Font (fontName, fontHeight, fontStyle));
    g.setColour (juce::Colour (0xff101010));

    // A button too small for a text box draws no text (JUCE rejects negative sizes).
    const int offset = isButtonDown ? 5 : 4;
    const int textWidth = getWidth() - 8, textHeight = getHeight() - 8;

    if (textWidth > 0 && textHeight > 0)
        g.drawFittedText (getButtonText(), offset, offset, textWidth, textHeight, justification, 1, 0.7f);
}

//==============================================================================
void AlineButton::setJustification (const juce::Justification& newJustification)
{
    justification = newJustification;
}

void AlineButton::setText (const juce::String& newText)
{
    if (newText == getButtonText())
        repaint();
    else
        setButtonText (newText);
}

void AlineButton::setFontName (const juce::String& newFontName)
{
    fontName = newFontName;
}

void AlineButton::setFontStyle (const int& styleFlags)
{
    fontStyle = styleFlags;
}

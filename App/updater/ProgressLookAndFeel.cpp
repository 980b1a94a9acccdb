#include "updater/ProgressLookAndFeel.h"

void ProgressLookAndFeel::drawProgressBar (juce::Graphics& g, juce::ProgressBar& bar, int width, int height,
                                           double progress, const juce::String& textToShow)
{
    g.fillAll (bar.findColour (juce::ProgressBar::backgroundColourId, false));

    const juce::Colour top (167, 167, 167), middle (100, 100, 100), bottom (108, 108, 108);

    juce::ColourGradient gradient (top, 2.0f, 2.0f, bottom, 2.0f, (float) (height - 4), false);
    gradient.addColour (0.0, top);
    gradient.addColour (0.5, middle);
    gradient.addColour (1.0, bottom);
    g.setGradientFill (gradient);

    // Written so that a NaN value, or a bar too small to have an inside, fills nothing.
    const double inside = juce::jmax (0.0, (double) (width - 4));
    double fillWidth = inside * progress;

    if (!(fillWidth >= 0.0))
        fillWidth = 0.0;
    else if (fillWidth > inside)
        fillWidth = inside;

    g.fillRect (juce::Rectangle<float> (2.0f, 2.0f, (float) fillWidth, (float) (height - 4)));

    if (textToShow.isNotEmpty())
    {
        g.setColour (juce::Colours::white);
        g.setFont (g.getCurrentFont().withHeight (0.8f * (float) height).withStyle (juce::Font::plain).withHorizontalScale (1.0f).withExtraKerningFactor (0.0f));
        g.drawText (textToShow, 0, 0, width, height, juce::Justification::centred, false);
    }
}

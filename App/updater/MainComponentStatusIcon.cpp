#include "updater/MainComponent.h"

void MainComponent::drawStatusIcon (juce::Graphics& g, int iconType)
{
    using IconType = juce::MessageBoxIconType;

    if (iconType == static_cast<int> (IconType::NoIcon))
        return;

    const bool isWarning = iconType == static_cast<int> (IconType::WarningIcon);
    const bool isInfo = iconType == static_cast<int> (IconType::InfoIcon);

    const int x = 20, y = 15, w = 64, h = 64;

    juce::Path icon;

    if (isWarning)
    {
        juce::Path triangle;
        triangle.addTriangle ((float) x + (float) w / 2.0f, (float) y,
                              (float) (x + w), (float) (y + h),
                              (float) x, (float) (y + h));
        icon = triangle.createPathWithRoundedCorners (5.0f);
    }
    else
    {
        icon.addEllipse ((float) x, (float) y, (float) w, (float) h);
    }

    icon.setUsingNonZeroWinding (false);

    g.setColour (juce::Colour (isWarning ? 0x99ffff00 : 0x99ffffff));
    g.fillPath (icon, juce::AffineTransform());

    g.setColour (juce::Colour (0x99000000));
    g.strokePath (icon, juce::PathStrokeType (4.0f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt),
                  juce::AffineTransform());

    const juce::juce_wchar character = isWarning ? '!' : (isInfo ? 'i' : '?');

    // The exclamation mark sits lower so that it looks centred in the triangle.
    const int top = isWarning ? (int) ((float) y * 1.5f) : y;

    g.setColour (juce::Colour (isWarning ? 0x99000000 : 0x990000ff));
    g.setFont (juce::Font ((float) h * 0.9f, juce::Font::bold));
    g.drawFittedText (juce::String::charToString (character), x, top, w, h,
                      juce::Justification::centred, 0, 0.7f);
}

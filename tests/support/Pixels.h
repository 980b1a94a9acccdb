#pragma once

#include <juce_graphics/juce_graphics.h>

namespace testsupport
{
/** The bounds of an image's opaque yellow pixels, the warning sign's fill. */
inline juce::Rectangle<int> yellowBounds (const juce::Image& image)
{
    const juce::Image::BitmapData pixels (image, juce::Image::BitmapData::readOnly);
    juce::Rectangle<int> found;

    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            if (const auto p = pixels.getPixelColour (x, y); p.getAlpha() > 200 && p.getRed() > 180 && p.getGreen() > 160 && p.getBlue() < 120)
                found = found.isEmpty() ? juce::Rectangle<int> (x, y, 1, 1) : found.getUnion ({ x, y, 1, 1 });

    return found;
}
} // namespace testsupport

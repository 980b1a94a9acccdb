#pragma once

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

// Helpers of the headless pixel tests: images, pixel checks and ink measurements.
namespace drawtest
{
/** An ARGB image filled with the given colour (transparent by default). */
inline juce::Image makeImage (int w, int h, juce::Colour background = juce::Colours::transparentBlack)
{
    juce::Image image (juce::Image::ARGB, w, h, true);
    image.clear (image.getBounds(), background);
    return image;
}

/** An opaque grey of the given level, rounded. */
inline juce::Colour grey (double level)
{
    const auto v = (juce::uint8) std::lround (level);
    return juce::Colour (v, v, v);
}

/** True when each channel of the pixel lies within tolerance of the expected colour. */
inline ::testing::AssertionResult near (const juce::Image& image, int x, int y, juce::Colour expected, int tolerance = 3)
{
    const auto c = image.getPixelAt (x, y);
    const auto close = [tolerance] (int a, int b)
    { return std::abs (a - b) <= tolerance; };

    if (close (c.getAlpha(), expected.getAlpha()) && close (c.getRed(), expected.getRed()) && close (c.getGreen(), expected.getGreen()) && close (c.getBlue(), expected.getBlue()))
        return ::testing::AssertionSuccess();

    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << c.toDisplayString (true)
                                         << ", expected " << expected.toDisplayString (true);
}

/** Bounding box of the pixels inside area that satisfy the predicate. */
template <typename Predicate>
juce::Rectangle<int> inkBounds (const juce::Image& image, juce::Rectangle<int> area, Predicate isInk)
{
    juce::Rectangle<int> box;

    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (isInk (image.getPixelAt (x, y)))
                box = box.isEmpty() ? juce::Rectangle<int> (x, y, 1, 1) : box.getUnion ({ x, y, 1, 1 });

    return box;
}

inline bool isDark (juce::Colour c) { return c.getRed() < 128; }

/** The lowest red level inside area. */
inline int darkest (const juce::Image& image, juce::Rectangle<int> area)
{
    int level = 255;

    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            level = juce::jmin (level, (int) image.getPixelAt (x, y).getRed());

    return level;
}

inline bool samePixels (const juce::Image& a, const juce::Image& b)
{
    if (a.getBounds() != b.getBounds())
        return false;

    for (int y = 0; y < a.getHeight(); ++y)
        for (int x = 0; x < a.getWidth(); ++x)
            if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                return false;

    return true;
}

inline bool isBlank (const juce::Image& image)
{
    return inkBounds (image, image.getBounds(), [] (juce::Colour c)
                      { return c.getAlpha() != 0; })
        .isEmpty();
}

/** Saves the image as <name>.png in the folder named by UPDATER_PNG_DIR, when that is set. */
inline void savePng (const juce::Image& image, const juce::String& name)
{
    const auto dir = juce::SystemStats::getEnvironmentVariable ("UPDATER_PNG_DIR", {});

    if (dir.isEmpty())
        return;

    const auto file = juce::File (dir).getChildFile (name + ".png");
    file.getParentDirectory().createDirectory();
    file.deleteFile();

    if (auto stream = file.createOutputStream())
        juce::PNGImageFormat().writeImageToStream (image, *stream);
}
} // namespace drawtest

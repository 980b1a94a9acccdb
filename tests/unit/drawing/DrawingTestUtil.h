#pragma once

#include <functional>
#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

// Helpers of the headless pixel tests: images, pixel reads and ink measurements.
namespace drawtest
{
    /** An ARGB image filled with the given colour (transparent by default). */
    inline juce::Image makeImage (int w, int h, juce::Colour background = juce::Colours::transparentBlack)
    {
        juce::Image image (juce::Image::ARGB, w, h, true);
        juce::Graphics g (image);
        g.fillAll (background);
        return image;
    }

    /** Grey level (0..255) of an opaque pixel. */
    inline int grey (const juce::Image& image, int x, int y)
    {
        return image.getPixelAt (x, y).getRed();
    }

    inline bool isTransparent (const juce::Image& image, int x, int y)
    {
        return image.getPixelAt (x, y).getAlpha() == 0;
    }

    /** True when the pixel's channels are each within tolerance of the expected colour. */
    inline ::testing::AssertionResult near (const juce::Image& image, int x, int y, juce::Colour expected, int tolerance = 3)
    {
        const auto c = image.getPixelAt (x, y);
        const auto close = [tolerance] (int a, int b) { return std::abs (a - b) <= tolerance; };

        if (close (c.getAlpha(), expected.getAlpha()) && close (c.getRed(), expected.getRed())
            && close (c.getGreen(), expected.getGreen()) && close (c.getBlue(), expected.getBlue()))
            return ::testing::AssertionSuccess();

        return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << c.toDisplayString (true)
                                             << ", expected " << expected.toDisplayString (true);
    }

    /** Bounding box of the pixels inside area that satisfy the predicate. */
    inline juce::Rectangle<int> inkBounds (const juce::Image& image, juce::Rectangle<int> area,
                                           const std::function<bool (juce::Colour)>& isInk)
    {
        int left = area.getRight(), top = area.getBottom(), right = area.getX() - 1, bottom = area.getY() - 1;

        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                if (isInk (image.getPixelAt (x, y)))
                {
                    left = juce::jmin (left, x);   right = juce::jmax (right, x);
                    top = juce::jmin (top, y);     bottom = juce::jmax (bottom, y);
                }

        return right < left ? juce::Rectangle<int>() : juce::Rectangle<int> (left, top, right - left + 1, bottom - top + 1);
    }

    /** True when both images have the same size and identical pixels. */
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

    /** Saves the image as <name>.png in the folder named by UPDATER_PNG_DIR, when that is set. */
    inline void savePng (const juce::Image& image, const juce::String& name)
    {
        const auto dir = juce::SystemStats::getEnvironmentVariable ("UPDATER_PNG_DIR", {});

        if (dir.isEmpty())
            return;

        const juce::File file = juce::File (dir).getChildFile (name + ".png");
        file.getParentDirectory().createDirectory();
        file.deleteFile();

        if (auto stream = file.createOutputStream())
            juce::PNGImageFormat().writeImageToStream (image, *stream);
    }
}

#include "DrawingTestUtil.h"

#include "updater/ProgressLookAndFeel.h"

using namespace drawtest;

namespace
{
    const juce::Colour frame (0xff080808);

    struct ProgressFixture : public ::testing::Test
    {
        ProgressFixture()
        {
            bar.setColour (juce::ProgressBar::backgroundColourId, frame);
            bar.setColour (juce::ProgressBar::foregroundColourId, juce::Colours::red);
        }

        juce::Image draw (double value, const juce::String& text, int w = 386, int h = 20)
        {
            auto image = makeImage (w, h, juce::Colours::magenta);
            juce::Graphics g (image);
            lookAndFeel.drawProgressBar (g, bar, w, h, value, text);
            return image;
        }

        double progress = 0.0;
        juce::ProgressBar bar { progress };
        ProgressLookAndFeel lookAndFeel;
    };

    // The grey of the gradient at the centre of pixel row y: 167 at y 2, 100 half way, 108
    // from y 16 (height - 4) down.
    int gradientGrey (int y)
    {
        const double p = juce::jlimit (0.0, 1.0, ((double) y + 0.5 - 2.0) / 14.0);
        return (int) std::lround (p < 0.5 ? 167.0 + (100.0 - 167.0) * p / 0.5
                                          : 100.0 + (108.0 - 100.0) * (p - 0.5) / 0.5);
    }

    juce::Colour greyOf (int v) { return juce::Colour ((juce::uint8) v, (juce::uint8) v, (juce::uint8) v); }
}

//==============================================================================
TEST_F (ProgressFixture, HalfFillsLeftHalfOfInsideWithVerticalGradient)
{
    const auto image = draw (0.5, {});
    savePng (draw (0.5, "50%"), "progress-50");

    // Filled: (2, 2, 191, 16); everything else shows the frame colour.
    for (int y = 0; y < 20; ++y)
    {
        for (int x : { 0, 1, 2, 100, 192, 193, 300, 385 })
        {
            const bool inside = x >= 2 && x < 193 && y >= 2 && y < 18;
            EXPECT_TRUE (near (image, x, y, inside ? greyOf (gradientGrey (y)) : frame, 2));
        }
    }

    for (int x = 0; x < 386; ++x)
        ASSERT_NE (image.getPixelAt (x, 10), juce::Colours::red);
}

TEST_F (ProgressFixture, OutOfRangeValuesAreClamped)
{
    const auto none = draw (-0.25, {});
    const auto nan = draw (std::numeric_limits<double>::quiet_NaN(), {});
    const auto full = draw (1.5, {});

    for (int y = 0; y < 20; ++y)
    {
        for (int x : { 0, 1, 2, 200, 383, 384, 385 })
        {
            EXPECT_TRUE (near (none, x, y, frame, 0));
            EXPECT_TRUE (near (nan, x, y, frame, 0));
            const bool inside = x >= 2 && x < 384 && y >= 2 && y < 18;
            EXPECT_TRUE (near (full, x, y, inside ? greyOf (gradientGrey (y)) : frame, 2));
        }
    }
}

TEST_F (ProgressFixture, TextIsWhiteAndCentredOnTheWholeBar)
{
    const auto image = draw (0.0, "50%");
    const auto ink = inkBounds (image, image.getBounds(), [] (juce::Colour c) { return c.getRed() > 60; });

    ASSERT_FALSE (ink.isEmpty());
    EXPECT_NEAR ((float) ink.getX() + (float) ink.getWidth() * 0.5f, 193.0f, 1.5f);

    // Digits of a 16-pixel font (0.8 x 20) are about 10 pixels high; a 12-pixel font's about 8.
    EXPECT_GE (ink.getHeight(), 10);
    EXPECT_LE (ink.getHeight(), 13);

    int brightest = 0;

    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 386; ++x)
        {
            const auto c = image.getPixelAt (x, y);
            brightest = juce::jmax (brightest, (int) c.getRed());
            ASSERT_EQ (c.getRed(), c.getBlue());   // white over grey stays grey
        }

    EXPECT_EQ (brightest, 255);
    EXPECT_TRUE (samePixels (draw (0.0, {}), draw (0.0, {})));
    EXPECT_FALSE (samePixels (draw (0.0, {}), image));
}

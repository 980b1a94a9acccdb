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
        bar.setColour (juce::ProgressBar::foregroundColourId, juce::Colours::red); // never used
    }

    juce::Image draw (double value, const juce::String& text)
    {
        auto image = makeImage (386, 20, juce::Colours::magenta);
        juce::Graphics g (image);
        lookAndFeel.drawProgressBar (g, bar, 386, 20, value, text);
        return image;
    }

    /** Checks every row at a few columns: gradient up to fillEnd inside the frame, frame elsewhere. */
    static void expectFill (const juce::Image& image, int fillEnd)
    {
        for (int y = 0; y < 20; ++y)
            for (int x : { 0, 1, 2, 100, 192, 193, 383, 384, 385 })
                EXPECT_TRUE (near (image, x, y, x >= 2 && x < fillEnd && y >= 2 && y < 18 ? gradient (y) : frame, 2));
    }

    /** The gradient at the centre of pixel row y: 167 at y 2, 100 half way, 108 from y 16 on. */
    static juce::Colour gradient (int y)
    {
        const double p = juce::jlimit (0.0, 1.0, ((double) y + 0.5 - 2.0) / 14.0);
        return grey (p < 0.5 ? 167.0 - 67.0 * p / 0.5 : 100.0 + 8.0 * (p - 0.5) / 0.5);
    }

    double progress = 0.0;
    juce::ProgressBar bar { progress };
    ProgressLookAndFeel lookAndFeel;
};
} // namespace

//==============================================================================
TEST_F (ProgressFixture, FillIsProportionalAndClamped)
{
    savePng (draw (0.5, "50%"), "progress-50");

    expectFill (draw (0.5, {}), 193); // (2, 2, 191, 16)
    expectFill (draw (1.5, {}), 384); // the whole inside
    expectFill (draw (-0.25, {}), 0);
    expectFill (draw (std::numeric_limits<double>::quiet_NaN(), {}), 0);
}

TEST_F (ProgressFixture, TextIsWhiteAndCentredOnTheWholeBar)
{
    const auto image = draw (0.0, "50%");
    const auto ink = inkBounds (image, image.getBounds(), [] (juce::Colour c)
                                { return c.getRed() > 60; });

    ASSERT_FALSE (ink.isEmpty());
    EXPECT_NEAR (ink.toFloat().getCentreX(), 193.0f, 1.5f);

    // Digits of a 16-pixel font (0.8 x 20) are about 10 pixels high; a 13-pixel font's 8.
    EXPECT_GE (ink.getHeight(), 10);
    EXPECT_LE (ink.getHeight(), 13);

    const auto white = inkBounds (image, image.getBounds(), [] (juce::Colour c)
                                  { return c == juce::Colours::white; });
    const auto tinted = inkBounds (image, image.getBounds(), [] (juce::Colour c)
                                   { return c.getRed() != c.getBlue(); });
    EXPECT_FALSE (white.isEmpty());
    EXPECT_TRUE (tinted.isEmpty());
    EXPECT_FALSE (samePixels (draw (0.0, {}), image));
}

#include "DrawingTestUtil.h"

#include "updater/MainComponent.h"

using namespace drawtest;

namespace
{
juce::Image drawIcon (int iconType)
{
    auto image = makeImage (104, 94, juce::Colours::black);
    juce::Graphics g (image);
    MainComponent::drawStatusIcon (g, iconType);
    return image;
}

// The translucent fills over the black test background.
const juce::Colour whiteFill = grey (153), yellowFill (153, 153, 0);

/** Ink of the character in the icon's centre column, inside both shapes: darker than the
    yellow fill, or bluer than the white one. */
juce::Rectangle<int> glyphInk (const juce::Image& image, bool warning)
{
    return inkBounds (image, { 45, 36, 15, 39 }, [warning] (juce::Colour c)
                      { return warning ? c.getRed() < 120 : c.getBlue() > 170; });
}

/** Bottom of the ink row under the baseline of the icon's font centred in a 64-high box. */
float expectedBaseline (int top)
{
    const juce::Font font (57.6f, juce::Font::bold);
    return (float) top + (64.0f - font.getHeight()) * 0.5f + font.getAscent();
}
} // namespace

//==============================================================================
TEST (StatusIcon, WarningIsYellowTriangleWithLoweredExclamationMark)
{
    const auto none = drawIcon (0);
    EXPECT_TRUE (inkBounds (none, none.getBounds(), [] (juce::Colour c)
                            { return c != juce::Colours::black; })
                     .isEmpty());

    const auto image = drawIcon (2);
    savePng (image, "status-warning");

    EXPECT_TRUE (near (image, 30, 70, yellowFill));               // inside, near the left edge
    EXPECT_TRUE (near (image, 30, 30, juce::Colours::black, 0));  // inside a circle, outside the triangle
    EXPECT_TRUE (near (image, 52, 78, juce::Colour (61, 61, 0))); // bottom outline, 0x99000000 over the fill

    // The mark is narrow and its box starts at y 22 rather than 15.
    const auto ink = glyphInk (image, true);
    EXPECT_GE (ink.getWidth(), 3);
    EXPECT_LE (ink.getWidth(), 12);
    EXPECT_NEAR ((float) ink.getBottom(), expectedBaseline (22), 2.0f);
}

TEST (StatusIcon, InformationAndQuestionAreCirclesWithBlueCharacters)
{
    const auto info = drawIcon (3);
    const auto question = drawIcon (1);
    savePng (info, "status-info");
    savePng (question, "status-question");

    for (const auto* image : { &info, &question })
    {
        EXPECT_TRUE (near (*image, 26, 47, whiteFill));               // inside, away from the character
        EXPECT_TRUE (near (*image, 30, 30, whiteFill));               // inside the circle, outside a triangle
        EXPECT_TRUE (near (*image, 21, 16, juce::Colours::black, 0)); // box corner, outside the circle
        EXPECT_LT (image->getPixelAt (52, 15).getRed(), 70);          // outline at the top
        EXPECT_NEAR ((float) glyphInk (*image, false).getBottom(), expectedBaseline (15), 2.0f);
    }

    EXPECT_LE (glyphInk (info, false).getWidth(), 10);     // "i" is narrow
    EXPECT_GE (glyphInk (question, false).getWidth(), 14); // "?" is wide

    // Any code other than 0, 2 and 3 gives the question icon.
    EXPECT_TRUE (samePixels (drawIcon (4), question));
    EXPECT_TRUE (samePixels (drawIcon (-1), question));
}

#include "DrawingTestUtil.h"

#include "updater/AlineButton.h"

using namespace drawtest;

namespace
{
const juce::Colour face (234, 234, 234);

struct ButtonFixture : public ::testing::Test
{
    ButtonFixture()
    {
        button.setColour (juce::TextButton::buttonColourId, face);
        button.setColour (juce::TextButton::buttonOnColourId, face);
    }

    juce::Image paint (int w, int h, juce::Button::ButtonState state = juce::Button::buttonNormal)
    {
        button.setSize (w, h);
        button.setState (state);
        auto image = makeImage (w, h);
        juce::Graphics g (image);
        button.paintEntireComponent (g, true);
        return image;
    }

    AlineButton button { "OK" };
};

/** An opaque stroke grey covering the given part of a face pixel. */
juce::Colour overFace (int stroke, double coverage)
{
    return grey (234.0 + (stroke - 234.0) * coverage);
}
} // namespace

//==============================================================================
TEST_F (ButtonFixture, ConnectedButtonHasFlatFaceAndTwoBevelEdges)
{
    button.setButtonText ({});
    const auto up = paint (100, 20);
    const auto down = paint (100, 20, juce::Button::buttonDown);

    // The 2.5-wide strokes are centred on 0.1 and 99.9 / 19.9: the outer pixel is covered
    // fully, the next one by 0.35, the third not at all.
    struct Probe
    {
        int x, y;
        juce::Colour up, down;
    };
    const Probe probes[] = {
        { 50, 10, face, face },
        { 0, 10, juce::Colours::white, juce::Colours::black },
        { 50, 0, juce::Colours::white, juce::Colours::black },
        { 1, 10, overFace (255, 0.35), overFace (0, 0.35) },
        { 50, 1, overFace (255, 0.35), overFace (0, 0.35) },
        { 99, 10, juce::Colours::black, juce::Colours::white },
        { 50, 19, juce::Colours::black, juce::Colours::white },
        { 98, 10, overFace (0, 0.35), overFace (255, 0.35) },
        { 50, 18, overFace (0, 0.35), overFace (255, 0.35) },
        { 2, 10, face, face },
        { 97, 10, face, face },
        { 50, 2, face, face },
        { 50, 17, face, face },
    };

    for (const auto& p : probes)
    {
        EXPECT_TRUE (near (up, p.x, p.y, p.up));
        EXPECT_TRUE (near (down, p.x, p.y, p.down));
    }

    // Where the edges meet (top-right, bottom-left) the dark edge lies over the light one.
    EXPECT_LT (up.getPixelAt (99, 0).getRed(), 60);
    EXPECT_LT (up.getPixelAt (0, 19).getRed(), 60);
    EXPECT_GT (down.getPixelAt (99, 0).getRed(), 200);
    EXPECT_GT (down.getPixelAt (0, 19).getRed(), 200);

    EXPECT_TRUE (samePixels (up, paint (100, 20, juce::Button::buttonOver)));

    button.setColour (juce::TextButton::buttonOnColourId, juce::Colours::lime);
    button.setToggleState (true, juce::dontSendNotification);
    EXPECT_TRUE (near (paint (100, 20), 50, 10, juce::Colours::lime));
}

TEST_F (ButtonFixture, TextIsNearBlackCentredAndMovesWhenHeldDown)
{
    button.setFontStyle (juce::Font::bold);
    const auto up = paint (100, 20);
    const auto down = paint (100, 20, juce::Button::buttonDown);
    savePng (up, "button-released");
    savePng (down, "button-down");

    const juce::Rectangle<int> inside (3, 3, 94, 14);
    const auto isInk = [] (juce::Colour c)
    { return c.getRed() < 150; };
    const auto upInk = inkBounds (up, inside, isInk);

    ASSERT_FALSE (upInk.isEmpty());
    EXPECT_EQ (inkBounds (down, inside, isInk), upInk.translated (1, 1));

    // Centred in the text box (4, 4, 92, 12), in 0xff101010: fully covered pixels reach 16.
    EXPECT_NEAR (upInk.toFloat().getCentreX(), 50.0f, 1.5f);
    EXPECT_NEAR (upInk.toFloat().getCentreY(), 10.0f, 1.5f);
    EXPECT_NEAR (darkest (up, inside), 16, 4);
    EXPECT_GE (darkest (up, inside), 15);
}

TEST_F (ButtonFixture, FontHeightIsEightTenthsOfHeightUpTo13)
{
    // Reference: the bare background with the text drawn in the expected font.
    const auto reference = [this] (int h, float fontHeight)
    {
        button.setButtonText ({});
        auto image = paint (100, h);
        juce::Graphics g (image);
        g.setColour (juce::Colour (0xff101010));
        g.setFont (juce::Font ("<Sans-Serif>", fontHeight, juce::Font::plain));
        g.drawFittedText ("Hgy", 4, 4, 92, h - 8, juce::Justification::centred, 1, 0.7f);
        button.setButtonText ("Hgy");
        return image;
    };

    for (const auto& [h, fontHeight] : { std::pair { 15, 12.0f }, { 16, 12.8f }, { 17, 13.0f }, { 40, 13.0f } })
    {
        SCOPED_TRACE (h);
        const auto expected = reference (h, fontHeight);
        EXPECT_TRUE (samePixels (paint (100, h), expected));
        EXPECT_EQ (samePixels (paint (100, h), reference (h, 13.0f)), h >= 17);
    }
}

TEST_F (ButtonFixture, FreeEdgesGetCurvedCornersAndTinyButtonsNoBackground)
{
    button.setButtonText ({});
    button.setConnectedEdges (0);
    const auto free = paint (100, 20);
    savePng (free, "button-free-edges");

    // Both ends are half circles of radius 8.75 around (10, 10) and (90, 10).
    for (const auto& [x, y] : { std::pair { 0, 0 }, { 99, 0 }, { 0, 19 }, { 99, 19 } })
        EXPECT_TRUE (near (free, x, y, juce::Colours::transparentBlack, 0));

    EXPECT_TRUE (near (free, 0, 10, juce::Colours::white, 40));
    EXPECT_TRUE (near (free, 99, 10, juce::Colours::black, 40));
    EXPECT_TRUE (near (free, 50, 10, face));

    // A corner is curved (left empty) only where both of its edges are free.
    for (int flags : { (int) juce::Button::ConnectedOnLeft, (int) juce::Button::ConnectedOnTop,
                       juce::Button::ConnectedOnRight | juce::Button::ConnectedOnBottom })
    {
        button.setConnectedEdges (flags);
        const auto image = paint (100, 20);
        const bool l = (flags & 1) != 0, r = (flags & 2) != 0, t = (flags & 4) != 0, b = (flags & 8) != 0;

        EXPECT_EQ (image.getPixelAt (0, 0).getAlpha() > 200, l || t) << flags;
        EXPECT_EQ (image.getPixelAt (99, 0).getAlpha() > 200, r || t) << flags;
        EXPECT_EQ (image.getPixelAt (0, 19).getAlpha() > 200, l || b) << flags;
        EXPECT_EQ (image.getPixelAt (99, 19).getAlpha() > 200, r || b) << flags;
    }

    // No background once the indented size is 2.5 or less: free edges are indented by 1.25
    // each, connected ones by 0.1.
    button.setConnectedEdges (0);
    EXPECT_TRUE (isBlank (paint (100, 5)));
    EXPECT_FALSE (isBlank (paint (100, 6)));
    button.setConnectedEdges (15);
    EXPECT_TRUE (isBlank (paint (100, 2)));
    EXPECT_TRUE (isBlank (paint (2, 20)));
    EXPECT_FALSE (isBlank (paint (3, 20)));
}

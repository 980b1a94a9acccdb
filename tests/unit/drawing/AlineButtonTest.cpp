#include "DrawingTestUtil.h"

#include "updater/AlineButton.h"

using namespace drawtest;

namespace
{
    const juce::Colour face (234, 234, 234);

    juce::Image paint (AlineButton& button, int w, int h, juce::Button::ButtonState state = juce::Button::buttonNormal)
    {
        button.setSize (w, h);
        button.setState (state);
        auto image = makeImage (w, h);
        juce::Graphics g (image);
        button.paintEntireComponent (g, true);
        return image;
    }

    struct ButtonFixture : public ::testing::Test
    {
        ButtonFixture()
        {
            button.setColour (juce::TextButton::buttonColourId, face);
            button.setColour (juce::TextButton::buttonOnColourId, face);
        }

        AlineButton button { "OK" };
    };

    // An opaque stroke grey covering the given part of a face pixel.
    juce::Colour blend (int stroke, double coverage)
    {
        const auto v = (juce::uint8) std::lround (234.0 + (stroke - 234.0) * coverage);
        return juce::Colour (v, v, v);
    }
}

//==============================================================================
TEST_F (ButtonFixture, ConnectedButtonHasFlatFaceAndTwoBevelEdges)
{
    button.setButtonText ({});
    const auto up = paint (button, 100, 20);
    savePng (up, "button-released-empty");

    // The face fills the box; the 2.5-wide strokes are centred on x/y 0.1 and 99.9/19.9, so
    // the outer pixel is covered fully and the next one by 0.35.
    EXPECT_TRUE (near (up, 50, 10, face));
    EXPECT_TRUE (near (up, 0, 10, juce::Colours::white));
    EXPECT_TRUE (near (up, 1, 10, blend (255, 0.35)));
    EXPECT_TRUE (near (up, 2, 10, face));
    EXPECT_TRUE (near (up, 50, 0, juce::Colours::white));
    EXPECT_TRUE (near (up, 50, 1, blend (255, 0.35)));
    EXPECT_TRUE (near (up, 99, 10, juce::Colours::black));
    EXPECT_TRUE (near (up, 98, 10, blend (0, 0.35)));
    EXPECT_TRUE (near (up, 97, 10, face));
    EXPECT_TRUE (near (up, 50, 19, juce::Colours::black));
    EXPECT_TRUE (near (up, 50, 18, blend (0, 0.35)));

    // Where the edges meet (top-right, bottom-left) the dark edge lies over the light one.
    EXPECT_LT (grey (up, 99, 0), 60);
    EXPECT_LT (grey (up, 0, 19), 60);

    const auto down = paint (button, 100, 20, juce::Button::buttonDown);
    EXPECT_TRUE (near (down, 50, 10, face));
    EXPECT_TRUE (near (down, 0, 10, juce::Colours::black));
    EXPECT_TRUE (near (down, 1, 10, blend (0, 0.35)));
    EXPECT_TRUE (near (down, 50, 0, juce::Colours::black));
    EXPECT_TRUE (near (down, 99, 10, juce::Colours::white));
    EXPECT_TRUE (near (down, 98, 10, blend (255, 0.35)));
    EXPECT_TRUE (near (down, 50, 19, juce::Colours::white));
    EXPECT_GT (grey (down, 99, 0), 200);
    EXPECT_GT (grey (down, 0, 19), 200);

    EXPECT_TRUE (samePixels (up, paint (button, 100, 20, juce::Button::buttonOver)));
}

TEST_F (ButtonFixture, FillFollowsToggleState)
{
    button.setButtonText ({});
    button.setColour (juce::TextButton::buttonColourId, juce::Colours::red);
    button.setColour (juce::TextButton::buttonOnColourId, juce::Colours::lime);

    EXPECT_TRUE (near (paint (button, 100, 20), 50, 10, juce::Colours::red));
    button.setToggleState (true, juce::dontSendNotification);
    EXPECT_TRUE (near (paint (button, 100, 20), 50, 10, juce::Colours::lime));
}

TEST_F (ButtonFixture, TextIsNearBlackCentredAndMovesWhenHeldDown)
{
    button.setFontStyle (juce::Font::bold);
    const auto up = paint (button, 100, 20);
    const auto down = paint (button, 100, 20, juce::Button::buttonDown);
    savePng (up, "button-released");
    savePng (down, "button-down");

    const juce::Rectangle<int> inside (3, 3, 94, 14);
    const auto isInk = [] (juce::Colour c) { return c.getRed() < 150; };
    const auto upInk = inkBounds (up, inside, isInk);
    const auto downInk = inkBounds (down, inside, isInk);

    ASSERT_FALSE (upInk.isEmpty());
    EXPECT_EQ (downInk, upInk.translated (1, 1));

    // Centred in the text box (4, 4, 92, 12).
    EXPECT_NEAR ((float) upInk.getX() + (float) upInk.getWidth() * 0.5f, 50.0f, 1.5f);
    EXPECT_NEAR ((float) upInk.getY() + (float) upInk.getHeight() * 0.5f, 10.0f, 1.5f);

    // Drawn in 0xff101010: fully covered pixels reach 16, nothing is darker.
    int darkest = 255;

    for (int y = inside.getY(); y < inside.getBottom(); ++y)
        for (int x = inside.getX(); x < inside.getRight(); ++x)
            darkest = juce::jmin (darkest, grey (up, x, y));

    EXPECT_GE (darkest, 15);
    EXPECT_LE (darkest, 24);
}

TEST_F (ButtonFixture, FontHeightIsEightTenthsOfHeightUpTo13)
{
    // Reference: the bare background with the text drawn at the expected height.
    const auto reference = [this] (int h, float fontHeight)
    {
        button.setButtonText ({});
        auto image = paint (button, 100, h);
        juce::Graphics g (image);
        g.setColour (juce::Colour (0xff101010));
        g.setFont (juce::Font ("<Sans-Serif>", fontHeight, juce::Font::plain));
        g.drawFittedText ("Hgy", 4, 4, 92, h - 8, juce::Justification::centred, 1, 0.7f);
        return image;
    };

    const std::pair<int, float> cases[] = { { 15, 12.0f }, { 16, 12.8f }, { 17, 13.0f }, { 40, 13.0f } };

    for (const auto& [h, fontHeight] : cases)
    {
        SCOPED_TRACE (h);
        button.setButtonText ("Hgy");
        const auto actual = paint (button, 100, h);
        EXPECT_TRUE (samePixels (actual, reference (h, fontHeight)));

        if (h < 17)
        {
            button.setButtonText ("Hgy");
            EXPECT_FALSE (samePixels (paint (button, 100, h), reference (h, 13.0f)));
        }
    }
}

TEST_F (ButtonFixture, FreeEdgesGetCurvedCorners)
{
    button.setButtonText ({});
    button.setConnectedEdges (0);
    const auto free = paint (button, 100, 20);
    savePng (free, "button-free-edges");

    // Both ends are half circles of radius 8.75 around (10, 10) and (90, 10).
    for (auto [x, y] : { std::pair { 0, 0 }, { 99, 0 }, { 0, 19 }, { 99, 19 } })
        EXPECT_TRUE (isTransparent (free, x, y)) << x << ", " << y;

    EXPECT_TRUE (near (free, 0, 10, juce::Colours::white, 40));
    EXPECT_TRUE (near (free, 50, 0, juce::Colours::white, 3));
    EXPECT_TRUE (near (free, 99, 10, juce::Colours::black, 40));
    EXPECT_TRUE (near (free, 50, 19, juce::Colours::black, 3));
    EXPECT_TRUE (near (free, 50, 10, face));

    // Connected on the left only: square left corners, curved right ones.
    button.setConnectedEdges (juce::Button::ConnectedOnLeft);
    const auto left = paint (button, 100, 20);
    EXPECT_TRUE (near (left, 0, 0, juce::Colours::white, 3));
    EXPECT_GT (left.getPixelAt (0, 19).getAlpha(), 200);
    EXPECT_TRUE (isTransparent (left, 99, 0));
    EXPECT_TRUE (isTransparent (left, 99, 19));
}

TEST_F (ButtonFixture, NoBackgroundWhenIndentedSizeIsAtMostTheOutline)
{
    const auto paintsNothing = [] (const juce::Image& image)
    {
        for (int y = 0; y < image.getHeight(); ++y)
            for (int x = 0; x < image.getWidth(); ++x)
                if (! isTransparent (image, x, y))
                    return false;

        return true;
    };

    // Free edges are indented by 1.25 each: height 5 leaves 2.5, height 6 leaves 3.5.
    button.setConnectedEdges (0);
    EXPECT_TRUE (paintsNothing (paint (button, 100, 5)));
    EXPECT_FALSE (paintsNothing (paint (button, 100, 6)));

    // Connected edges are indented by 0.1 each: 2 leaves 1.8, 3 leaves 2.8.
    button.setConnectedEdges (15);
    EXPECT_TRUE (paintsNothing (paint (button, 100, 2)));
    EXPECT_TRUE (paintsNothing (paint (button, 2, 20)));
    EXPECT_FALSE (paintsNothing (paint (button, 3, 20)));
}

#include "DrawingTestUtil.h"

#include "updater/FontMapLookAndFeel.h"

using namespace drawtest;

TEST (FontMap, WindowsFamiliesResolveToInstalledOnesThatHaveTheirScripts)
{
    const auto families = juce::Font::findAllTypefaceNames();

    for (auto* name : { "Liberation Sans", "Noto Sans CJK JP", "Noto Sans CJK KR", "Noto Sans CJK SC", "Noto Sans CJK TC" })
        EXPECT_TRUE (families.contains (name)) << name;

    const auto render = [] (const juce::String& family, juce::juce_wchar c)
    {
        auto image = makeImage (40, 30, juce::Colours::white);
        juce::Graphics g (image);
        g.setColour (juce::Colours::black);
        g.setFont (juce::Font (family, 20.0f, juce::Font::plain));
        g.drawText (juce::String::charToString (c), 0, 0, 40, 30, juce::Justification::centred, false);
        return image;
    };

    // Each name with its stand-in and a character of the script it must draw (not as the
    // missing-glyph shape, which U+10FFFD gets).
    struct Case
    {
        const char* name;
        const char* installed;
        juce::juce_wchar sample;
    };
    const Case cases[] = {
        { "Arial", "Liberation Sans", 0x416 }, // Cyrillic Zhe
        { "<Sans-Serif>", "Liberation Sans", 'A' },
        { "Microsoft YaHei", "Noto Sans CJK SC", 0x4e2d },
        { "Malgun Gothic", "Noto Sans CJK KR", 0xd55c },
        { "MS UI Gothic", "Noto Sans CJK JP", 0x65e5 },
        { "Noto Sans CJK TC", "Noto Sans CJK TC", 0x9ad4 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        EXPECT_EQ (FontMapLookAndFeel::getInstalledFamily (c.name), c.installed);
        EXPECT_EQ (juce::Font (c.name, 12.0f, juce::Font::bold).getTypefacePtr()->getName(), c.installed);

        const auto glyph = render (c.name, c.sample);
        EXPECT_FALSE (inkBounds (glyph, glyph.getBounds(), isDark).isEmpty());
        EXPECT_FALSE (samePixels (glyph, render (c.name, 0x10fffd)));
    }

    EXPECT_EQ (FontMapLookAndFeel::getInstalledFamily ("No Such Family"), "No Such Family");

    // The check itself: a Latin face draws a CJK character as its missing glyph.
    EXPECT_TRUE (samePixels (render ("Liberation Sans", 0x65e5), render ("Liberation Sans", 0x10fffd)));
}

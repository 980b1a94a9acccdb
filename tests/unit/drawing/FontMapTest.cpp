#include "DrawingTestUtil.h"

#include "updater/FontMapLookAndFeel.h"

using namespace drawtest;

namespace
{
    /** Renders the text in black on white with the given family, 20 pixels high. */
    juce::Image render (const juce::String& family, const juce::String& text)
    {
        auto image = makeImage (120, 30, juce::Colours::white);
        juce::Graphics g (image);
        g.setColour (juce::Colours::black);
        g.setFont (juce::Font (family, 20.0f, juce::Font::plain));
        g.drawText (text, 0, 0, 120, 30, juce::Justification::centredLeft, false);
        return image;
    }

    bool hasInk (const juce::Image& image)
    {
        return ! inkBounds (image, image.getBounds(), [] (juce::Colour c) { return c.getRed() < 128; }).isEmpty();
    }
}

//==============================================================================
TEST (FontMap, CjkCollectionsAreVisible)
{
    const auto families = juce::Font::findAllTypefaceNames();

    for (auto* name : { "Liberation Sans", "Noto Sans CJK JP", "Noto Sans CJK KR", "Noto Sans CJK SC", "Noto Sans CJK TC" })
        EXPECT_TRUE (families.contains (name)) << name;
}

TEST (FontMap, WindowsFamiliesResolveToInstalledOnes)
{
    const std::pair<const char*, const char*> cases[] =
    {
        { "Arial", "Liberation Sans" },
        { "<Sans-Serif>", "Liberation Sans" },
        { "Microsoft YaHei", "Noto Sans CJK SC" },
        { "Malgun Gothic", "Noto Sans CJK KR" },
        { "MS UI Gothic", "Noto Sans CJK JP" },
        { "Noto Sans CJK TC", "Noto Sans CJK TC" },
        { "No Such Family", "No Such Family" },
    };

    for (const auto& [name, installed] : cases)
    {
        EXPECT_EQ (FontMapLookAndFeel::getInstalledFamily (name), installed);

        if (juce::String (installed) != "No Such Family")
        {
            EXPECT_EQ (juce::Font (name, 12.0f, juce::Font::bold).getTypefacePtr()->getName(), installed) << name;
        }
    }
}

TEST (FontMap, MappedFamiliesDrawTheirScripts)
{
    // A character the family lacks draws its missing-glyph shape, the same as U+10FFFD.
    const std::pair<const char*, const char*> cases[] =
    {
        { "Arial", "A" }, { "Arial", "\xd0\x96" /* Cyrillic Zhe */ },
        { "Microsoft YaHei", "\xe4\xb8\xad" /* U+4E2D */ },
        { "Malgun Gothic", "\xed\x95\x9c" /* U+D55C */ },
        { "MS UI Gothic", "\xe6\x97\xa5" /* U+65E5 */ },
    };

    for (const auto& [family, utf8] : cases)
    {
        const auto glyph = render (family, juce::String::fromUTF8 (utf8));
        const auto missing = render (family, juce::String::charToString ((juce::juce_wchar) 0x10FFFD));
        EXPECT_TRUE (hasInk (glyph)) << family;
        EXPECT_FALSE (samePixels (glyph, missing)) << family;
    }

    // The check itself: a Latin face does box a CJK character.
    EXPECT_TRUE (samePixels (render ("Liberation Sans", juce::String::fromUTF8 ("\xe6\x97\xa5")),
                             render ("Liberation Sans", juce::String::charToString ((juce::juce_wchar) 0x10FFFD))));
}

#include "DrawingTestUtil.h"

#include "updater/FontMapLookAndFeel.h"

using namespace drawtest;

TEST (FontMap, WindowsFamiliesResolveToInstalledOnesThatDrawTheirScriptsAtTheLatinSize)
{
    const auto families = juce::Font::findAllTypefaceNames();

    for (auto* name : { "Liberation Sans", "Noto Sans CJK JP", "Noto Sans CJK KR", "Noto Sans CJK SC", "Noto Sans CJK TC" })
        EXPECT_TRUE (families.contains (name)) << name;

    // The tables' text height.
    const auto font = [] (const juce::String& family, int style)
    { return juce::Font (family, 13.0f, style); };

    const auto render = [] (const juce::Font& f, juce::juce_wchar c)
    {
        auto image = makeImage (40, 30, juce::Colours::white);
        juce::Graphics g (image);
        g.setColour (juce::Colours::black);
        g.setFont (f);
        g.drawText (juce::String::charToString (c), 0, 0, 40, 30, juce::Justification::centred, false);
        return image;
    };

    // The height of the outlines that a text is drawn with.
    const auto drawnHeight = [] (const juce::Font& f, const juce::String& text)
    {
        juce::GlyphArrangement glyphs;
        glyphs.addLineOfText (f, text, 0.0f, 0.0f);
        juce::Path outlines;
        glyphs.createPath (outlines);
        return outlines.getBounds().getHeight();
    };

    // Each name with its stand-in, a character of the script it must draw (not as the
    // missing-glyph shape, which U+10FFFD gets), and a text of that script.
    struct Case
    {
        const char* name;
        const char* installed;
        juce::juce_wchar sample;
        const char* text;
    };
    const Case cases[] = {
        { "Arial", "Liberation Sans", 0x416, u8"Русский" }, // Cyrillic Zhe
        { "<Sans-Serif>", "Liberation Sans", 'A', "English" },
        { "Microsoft YaHei", "Noto Sans CJK SC", 0x4e2d, u8"简体中文" },
        { "Microsoft YaHei", "Noto Sans CJK SC", 0x9ad4, u8"繁體中文" },
        { "Malgun Gothic", "Noto Sans CJK KR", 0xd55c, u8"한국어" },
        { "MS UI Gothic", "Noto Sans CJK JP", 0x65e5, u8"日本語" },
        { "Noto Sans CJK TC", "Noto Sans CJK TC", 0x9ad4, nullptr },
    };

    for (const auto& c : cases)
    {
        EXPECT_EQ (FontMapLookAndFeel::getInstalledFamily (c.name), c.installed) << c.name;

        for (int style : { juce::Font::plain, juce::Font::bold })
        {
            SCOPED_TRACE (juce::String (c.name) + (style == juce::Font::bold ? " bold" : ""));
            const auto f = font (c.name, style);
            EXPECT_EQ (f.getTypefacePtr()->getName(), c.installed);

            const auto glyph = render (f, c.sample);
            EXPECT_FALSE (inkBounds (glyph, glyph.getBounds(), isDark).isEmpty());
            EXPECT_FALSE (samePixels (glyph, render (f, 0x10fffd)));

            // Ideographs and Hangul stand a little taller than Latin capitals, as in the
            // named fonts, but not so tall that they crowd the line.
            if (c.text != nullptr && juce::CharPointer_UTF8 (c.text).getAndAdvance() > 0x2e80)
            {
                const auto capital = drawnHeight (font ("Arial", style), "H");
                const auto script = drawnHeight (f, juce::String::fromUTF8 (c.text));
                EXPECT_GE (script - capital, 0.75f) << script << " px against " << capital;
                EXPECT_LE (script - capital, 2.0f) << script << " px against " << capital;
            }
        }
    }

    EXPECT_EQ (FontMapLookAndFeel::getInstalledFamily ("No Such Family"), "No Such Family");

    // The check itself: a Latin face draws a CJK character as its missing glyph.
    EXPECT_TRUE (samePixels (render (font ("Liberation Sans", 0), 0x65e5), render (font ("Liberation Sans", 0), 0x10fffd)));
}

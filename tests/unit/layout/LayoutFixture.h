#pragma once

#include "platform/linux/FileLocations.h"
#include "resources/TxtLoader.h"
#include "support/DevsimProcess.h"
#include "support/MainComponentTestAccess.h"
#include "updater/AlineButton.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

/** A whole main component, as the program builds it, on an empty private bus, with an update
    file of version 123 beside the stand-in executable unless told otherwise. */
class LayoutFixture : public ::testing::Test
{
public:
    using Access = MainComponentTestAccess;

    void create (bool withUpdateFile = true, int w = 426, int h = 176)
    {
        folder.createDirectory();

        if (withUpdateFile)
        {
            std::string bytes (4096, 'x');
            bytes.replace (0, 5, "VN382");
            bytes.replace (20, 3, "123");
            folder.getChildFile ("vn382_v123.upd").replaceWithData (bytes.data(), bytes.size());
        }

        setExecutableFolderOverride (folder);
        component = std::make_unique<MainComponent>();
        component->setSize (w, h);
    }

    void TearDown() override
    {
        component.reset();
        setExecutableFolderOverride (juce::File());
        folder.deleteRecursively();
    }

    /** Shows a screen in a language, as setScreen and a language change would. */
    void show (int state, int language)
    {
        TxtLoader::getInstance()->setLanguage (language);
        Access::screenState (*component) = state;
        Access::rebuildScreen (*component);
    }

    static juce::String text (int id) { return TxtLoader::getInstance()->getText (id); }

    /** printf over a table text: the oracle for what the layout formats. */
    template <typename... Args>
    static juce::String formatted (int id, Args... args)
    {
        const auto format = text (id);
        char buffer[1024];
        std::snprintf (buffer, sizeof (buffer), format.toRawUTF8(), args...);
        return juce::String::fromUTF8 (buffer);
    }

    MainComponent& c() { return *component; }
    juce::GlyphArrangement& layout() { return Access::textLayout (c()); }

    testsupport::PrivateBus bus;
    const juce::File folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                  .getChildFile ("layout-" + juce::Uuid().toString());
    std::unique_ptr<MainComponent> component;
};

//==============================================================================
/** A y of afterB + d stands for d below the bottom of the last glyph laid out before the block. */
constexpr float afterB = -1000.0f;

/** What one block of text must look like: its text and the box and line limit it was given. */
struct ExpectedBlock
{
    juce::String text;
    bool bold;
    float x, y, width, height; // y from afterB: that much below the previous block's last glyph
    int maxLines;              // 0: fill (height H - y, (H - y) / 13 lines)
};

/** The first glyph index of each block and one past the last, found by walking the glyphs and
    matching each block's printable characters in order (line breaking drops only blanks).
    Fails the test when the glyphs spell anything else.
*/
inline std::vector<int> splitIntoBlocks (juce::GlyphArrangement& layout, const std::vector<ExpectedBlock>& blocks)
{
    std::vector<int> starts;
    int g = 0;

    for (const auto& block : blocks)
    {
        starts.push_back (g);
        const auto wanted = block.text.removeCharacters (juce::String::fromUTF8 (" \t\r\n\xc2\xa0")); // no-break spaces are blanks too
        juce::String got;

        while (g < layout.getNumGlyphs() && got.length() < wanted.length())
        {
            const auto& glyph = layout.getGlyph (g++);

            if (!glyph.isWhitespace())
                got += juce::String::charToString (glyph.getCharacter());
        }

        while (g < layout.getNumGlyphs() && layout.getGlyph (g).isWhitespace())
            ++g;

        EXPECT_EQ (got, wanted);
    }

    EXPECT_EQ (g, layout.getNumGlyphs()) << "glyphs beyond the expected blocks";
    starts.push_back (g);
    return starts;
}

/** The outline of one character of a font, laid out at the origin. */
inline juce::Path outlineAtOrigin (const juce::Font& font, juce::juce_wchar c)
{
    juce::GlyphArrangement one;
    one.addLineOfText (font, juce::String::charToString (c), 0.0f, 0.0f);
    juce::Path path;

    if (one.getNumGlyphs() > 0)
        one.getGlyph (0).createPath (path);

    return path;
}

/** A path's points in order, x scaled about 0. */
inline std::vector<juce::Point<float>> pointsOf (const juce::Path& path, float xScale = 1.0f)
{
    std::vector<juce::Point<float>> points;

    for (juce::Path::Iterator i (path); i.next();)
        for (auto [x, y] : { std::pair (i.x1, i.y1), std::pair (i.x2, i.y2), std::pair (i.x3, i.y3) })
            points.emplace_back (x * xScale, y);

    return points;
}

/** The glyph has the very outline that the font gives its character (the layout may have
    squeezed it horizontally), and that outline is not the font's missing-glyph shape.
*/
inline void expectDrawnIn (const juce::PositionedGlyph& glyph, const juce::Font& font)
{
    const auto c = glyph.getCharacter();
    const auto what = "U+" + juce::String::toHexString ((int) c) + " in " + font.getTypefaceName() + (font.isBold() ? " bold" : "");
    const auto wanted = outlineAtOrigin (font, c);

    ASSERT_FALSE (wanted.isEmpty()) << what;
    EXPECT_NE (wanted.toString(), outlineAtOrigin (font, 0x10fffd).toString()) << "missing glyph for " << what;

    juce::Path got;
    glyph.createPath (got);
    got.applyTransform (juce::AffineTransform::translation (-glyph.getLeft(), -glyph.getBaselineY()));

    const float squeeze = got.getBounds().getWidth() / juce::jmax (0.001f, wanted.getBounds().getWidth());
    const auto a = pointsOf (got, 1.0f / squeeze), b = pointsOf (wanted);
    bool same = a.size() == b.size() && squeeze > 0.69f && squeeze < 1.001f;

    for (size_t i = 0; same && i < a.size(); ++i)
        same = a[i].getDistanceFrom (b[i]) < 0.02f;

    EXPECT_TRUE (same) << what << ": not that font's outline";
}

/** Checks every block: its characters, font, left and top edge, line pitch, line count and box.
    Without lineLimits, a block may run below its box (a text with a line feed wraps at the
    width with no line limit).
*/
inline void expectBlocks (juce::GlyphArrangement& layout, const std::vector<ExpectedBlock>& blocks,
                          const juce::String& fontName, int componentHeight, bool lineLimits = true)
{
    const auto starts = splitIntoBlocks (layout, blocks);

    for (size_t i = 0; i < blocks.size() && starts[i + 1] > starts[i]; ++i)
    {
        auto b = blocks[i];
        SCOPED_TRACE ("block " + juce::String ((int) i + 1) + ": " + b.text);

        if (b.y < afterB / 2)
            b.y = layout.getGlyph (starts[i] - 1).getBottom() + (b.y - afterB);

        if (b.maxLines == 0)
        {
            b.height = (float) componentHeight - b.y;
            b.maxLines = (int) (b.height / 13.0f);
        }

        const auto& first = layout.getGlyph (starts[i]);
        EXPECT_NEAR (first.getLeft(), b.x, 0.01f);
        EXPECT_NEAR (first.getTop(), b.y, 0.01f);

        for (int g = starts[i]; g < starts[i + 1]; ++g)
        {
            const auto& glyph = layout.getGlyph (g);

            if (glyph.isWhitespace())
                continue;

            expectDrawnIn (glyph, juce::Font (fontName, 13.0f, b.bold ? juce::Font::bold : juce::Font::plain));

            const float line = (glyph.getTop() - b.y) / 13.0f;
            EXPECT_NEAR (line, std::round (line), 0.001f) << "off the 13-pixel line pitch";
            EXPECT_GE (glyph.getLeft(), b.x - 0.01f);
            EXPECT_LE (glyph.getRight(), b.x + b.width + 0.5f);

            if (lineLimits)
            {
                EXPECT_LT (std::round (line), b.maxLines) << "beyond the line limit";
                EXPECT_LE (glyph.getBottom(), b.y + b.height + 0.01f);
            }
        }
    }
}

/** The glyphs' characters in order, blanks and line feeds included. */
inline juce::String layoutText (juce::GlyphArrangement& layout)
{
    juce::String s;

    for (int g = 0; g < layout.getNumGlyphs(); ++g)
        s += juce::String::charToString (layout.getGlyph (g).getCharacter());

    return s;
}

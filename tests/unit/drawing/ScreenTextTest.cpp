// What each screen writes and where: every script drawn with real glyphs, clear of each other and
// of the widgets, beside the warning sign where it shows; the progress bar's fill, a held button's
// bevel, and the language names in the list and in the closed language box.

#include <gtest/gtest.h>

#include "resources/ImageLoader.h"
#include "resources/TxtLoader.h"
#include "support/AppRig.h"
#include "support/Pixels.h"
#include "updater/LangLookAndFeel.h"

using namespace testsupport;
using Access = MainComponentTestAccess;

namespace
{
constexpr juce::juce_wchar missing = 0x10fffd; // surely without a glyph

/** A path's points, scaled horizontally to a width (0: as it is). */
std::vector<float> points (juce::Path path, float width = 0)
{
    const auto w = path.getBounds().getWidth();
    path.applyTransform (juce::AffineTransform::scale (width > 0 && w > 0 ? width / w : 1.0f, 1.0f));
    std::vector<float> p;

    for (juce::Path::Iterator i (path); i.next();)
        p.insert (p.end(), { i.x1, i.y1, i.x2, i.y2, i.x3, i.y3 });

    return p;
}

/** A character's outline laid out at the origin. */
juce::Path outline (const juce::Font& font, juce::juce_wchar c)
{
    juce::GlyphArrangement one;
    one.addLineOfText (font, juce::String::charToString (c), 0.0f, 0.0f);
    juce::Path path;
    one.getGlyph (0).createPath (path);
    return path;
}

bool same (const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::equal (a.begin(), a.end(), b.begin(), [] (float x, float y)
                                               { return std::abs (x - y) < 0.02f; });
}

struct ScreenText : ::testing::Test
{
    AppRig rig;

    void SetUp() override
    {
        rig.dir.write ("vn382_v123.upd", updateFile (4000));
        rig.create();
        Access::deviceFirmwareVersion (rig.component()) = 105;
    }

    /** Shows a screen; a negative state shows it without a valid update file. */
    juce::GlyphArrangement& show (int state, int language)
    {
        TxtLoader::getInstance()->setLanguage (language);
        Access::fileValid (rig.component()) = state < 0 ? 0 : 1;
        Access::screenState (rig.component()) = std::abs (state);
        Access::rebuildScreen (rig.component());
        return Access::textLayout (rig.component());
    }

    juce::String written (int state, int language)
    {
        auto& layout = show (state, language);
        juce::String s;

        for (int i = 0; i < layout.getNumGlyphs(); ++i)
            s += juce::String::charToString (layout.getGlyph (i).getCharacter());

        return s.removeCharacters (" \r\n");
    }
};
} // namespace

TEST_F (ScreenText, EveryScreenWritesItsTextsWithTheDeviceNameAndBothVersions)
{
    const auto t = [] (int id, const char* a = "QUELVA-DRO", const char* b = "AUTO/WAKE UP", const char* c = "TAP")
    { return formatString (TxtLoader::getInstance()->getText (id).toRawUTF8(), a, b, c); };
    const auto v = [] (int id, int n)
    { return formatString (TxtLoader::getInstance()->getText (id).toRawUTF8(), n / 100, n % 100); };
    const auto recovery = t (TextId::connectStep) + t (TextId::updateModeStep) + t (TextId::restartStep);
    const std::pair<int, juce::String> screens[] {
        { languageChoice, t (TextId::languageHeading) + t (TextId::selectLanguage) },
        { noDevice, t (TextId::notRecognised) + recovery },
        { readyToUpdate, t (TextId::updateHeading) + t (TextId::updateModeHint) + v (TextId::currentVersion, 105) + v (TextId::updateVersion, 123) },
        { updating, t (TextId::updatingHeading) + t (TextId::pleaseWait) },
        { updateComplete, t (TextId::updateDone) },
        { updateFailed, t (TextId::errorOccurred) + recovery },
        { -readyToUpdate, t (TextId::badUpdateFile, "WZH") }, // without a valid file, on every screen but the first
    };

    for (const auto& [state, expected] : screens)
        EXPECT_EQ (written (state, Language::english), expected.removeCharacters (" \r\n")) << state;
}

TEST_F (ScreenText, EveryScreenInEveryLanguageIsDrawnWithRealGlyphsClearOfEachOtherAndOfTheWidgets)
{
    auto& c = rig.component();
    const juce::Rectangle<float> signBox (20, 15, 64, 64);
    const auto* sign = ImageLoader::getInstance()->getImage (0);
    ASSERT_NE (sign, nullptr);
    const auto signYellow = yellowBounds (*sign).toFloat().transformedBy (juce::AffineTransform::scale (signBox.getWidth() / (float) sign->getWidth(), signBox.getHeight() / (float) sign->getHeight()).translated (signBox.getPosition()));

    for (int language = 0; language < numLanguages; ++language)
    {
        for (int state : { (int) languageChoice, (int) noDevice, (int) readyToUpdate, (int) updating, (int) updateComplete, (int) updateFailed, -readyToUpdate })
        {
            // The device's two buttons in brackets and its name in the instructions of every language.
            const auto text = written (state, language);
            EXPECT_TRUE ((state != noDevice && state != readyToUpdate) || (text.contains ("[AUTO/WAKEUP]") && text.contains ("[TAP]") && text.contains ("QUELVA-DRO") && !text.contains ("[QUELVA-DRO"))) << language << " " << text;
            auto& layout = Access::textLayout (c);

            // The warning sign, scaled into its box, beside the error texts only.
            const bool withSign = state == noDevice || state == updateFailed || state < 0;
            const auto yellow = yellowBounds (c.createComponentSnapshot (c.getLocalBounds())).toFloat();
            ASSERT_TRUE (withSign ? yellow.expanded (2).contains (signYellow) && signYellow.expanded (2).contains (yellow) : yellow.isEmpty()) << "language " << language << ", screen " << state << ": yellow at " << yellow.toString() << ", wanted at " << signYellow.toString();

            // Every glyph's cell (advance by line height) clear of the others, the sign and the shown widgets.
            std::vector<juce::Rectangle<float>> taken;
            for (auto* child : c.getChildren())
                if (child->isVisible())
                    taken.push_back (child->getBounds().toFloat());
            if (withSign)
                taken.push_back (signBox);
            juce::Rectangle<float> lastInk;
            float lastBaseline = -1.0f;

            for (int i = 0; i < layout.getNumGlyphs(); ++i)
            {
                const auto& glyph = layout.getGlyph (i);
                juce::Path path;
                glyph.createPath (path);
                const auto ink = path.getBounds();
                path.applyTransform (juce::AffineTransform::translation (-glyph.getLeft(), -glyph.getBaselineY()));
                const auto got = points (path);
                bool real = glyph.isWhitespace();

                // The layout may squeeze a line down to 0.7 of its width.
                for (int style : { juce::Font::plain, juce::Font::bold })
                {
                    const juce::Font font (TxtLoader::getInstance()->getFont (language), 13.0f, style);
                    const auto wanted = outline (font, glyph.getCharacter());
                    real = real || (same (got, points (wanted, path.getBounds().getWidth())) && !same (points (wanted), points (outline (font, missing))));
                }

                const auto where = "language " + juce::String (language) + ", screen " + juce::String (state) + ": U+" + juce::String::toHexString ((int) glyph.getCharacter()) + " at " + glyph.getBounds().toString();
                ASSERT_TRUE (real) << where;

                if (glyph.isWhitespace())
                    continue;

                ASSERT_TRUE (c.getLocalBounds().toFloat().contains (glyph.getBounds())) << where;

                for (const auto& other : taken)
                    ASSERT_TRUE (other.getIntersection (glyph.getBounds()).reduced (0.25f).isEmpty()) << where << " over " << other.toString();

                taken.push_back (glyph.getBounds());

                // The CJK faces' enlarged glyphs keep clear of their neighbours' ink on a line.
                ASSERT_TRUE (language < Language::chineseSimplified || glyph.getBaselineY() != lastBaseline || ink.getX() - lastInk.getRight() > -0.25f) << where << " after " << lastInk.toString();

                lastInk = ink, lastBaseline = glyph.getBaselineY();
            }
        }
    }
}

TEST_F (ScreenText, TheProgressBarFillsItsInsideByTheValueUpToOneAndLeavesItsFrame)
{
    auto& bar = *Access::progressBar (rig.component());
    const auto paint = [&] (double value)
    {
        juce::Image image (juce::Image::ARGB, bar.getWidth(), bar.getHeight(), true);
        juce::Graphics g (image);
        bar.getLookAndFeel().drawProgressBar (g, bar, bar.getWidth(), bar.getHeight(), value, {});
        return image;
    };
    const auto empty = paint (0.0);
    const auto inside = bar.getLocalBounds().reduced (2).toFloat(); // within a 2-pixel frame

    for (double value : { 0.5, 1.0, 1.5 })
    {
        const auto image = paint (value);
        juce::Rectangle<float> filled;

        for (int y = 0; y < image.getHeight(); ++y)
            for (int x = 0; x < image.getWidth(); ++x)
                if (image.getPixelAt (x, y) != empty.getPixelAt (x, y))
                    filled = filled.isEmpty() ? juce::Rectangle<float> ((float) x, (float) y, 1, 1) : filled.getUnion ({ (float) x, (float) y, 1, 1 });

        const auto wanted = inside.withWidth (inside.getWidth() * (float) std::min (value, 1.0));
        EXPECT_TRUE (inside.contains (filled) && filled.expanded (1, 0).contains (wanted) && wanted.expanded (1, 0).contains (filled)) << value << ": " << filled.toString();
    }

    EXPECT_EQ (empty.getPixelAt (0, 0), empty.getPixelAt (bar.getWidth() / 2, bar.getHeight() / 2)); // 0 fills nothing
}

TEST_F (ScreenText, AHeldButtonSwapsItsEdgesAndMovesItsLabelOnePixelRightAndDown)
{
    auto& button = *Access::okButton (rig.component());
    const auto paint = [&] (bool down)
    {
        juce::Image image (juce::Image::ARGB, button.getWidth(), button.getHeight(), true);
        juce::Graphics g (image);
        button.paintButton (g, false, down);
        return image;
    };
    const auto up = paint (false), down = paint (true);
    const int right = up.getWidth() - 1, bottom = up.getHeight() - 1;
    const auto light = [] (const juce::Image& image, juce::Point<int> p)
    { return image.getPixelAt (p.x, p.y).getBrightness(); };

    // Released, the top and left edges are light and the bottom and right ones dark; held, the other way round.
    for (auto [p, q] : { std::pair<juce::Point<int>, juce::Point<int>> ({ right / 2, 0 }, { right / 2, bottom }), { { 0, bottom / 2 }, { right, bottom / 2 } } })
    {
        EXPECT_GT (light (up, p) - light (up, q), 0.5f);
        EXPECT_NEAR (light (down, p), light (up, q), 0.05f);
        EXPECT_NEAR (light (down, q), light (up, p), 0.05f);
    }

    // Within the edges the held paint is the released one moved by a pixel: the same fill, the label shifted.
    int label = 0;

    for (int y = 2; y < bottom - 2; ++y)
        for (int x = 2; x < right - 2; ++x)
        {
            label += up.getPixelAt (x, y) != up.getPixelAt (2, 2);
            ASSERT_EQ (down.getPixelAt (x + 1, y + 1), up.getPixelAt (x, y)) << x << ", " << y;
        }

    EXPECT_GT (label, 20);
}

TEST_F (ScreenText, EveryLanguageNameIsDrawnInItsOwnScriptInTheListAndTheBox)
{
    LangLookAndFeel lookAndFeel;
    juce::ComboBox box;
    box.setLookAndFeel (&lookAndFeel);
    box.setSize (386, 20);

    const auto drawn = [&] (const juce::String& name, bool inBox)
    {
        juce::Image image (juce::Image::RGB, 386, 20, true);
        juce::Graphics g (image);
        g.fillAll (juce::Colours::white);
        box.clear();
        box.addItem (name, 1);
        box.setSelectedId (1, juce::dontSendNotification);

        if (inBox)
            box.paintEntireComponent (g, true);
        else
            lookAndFeel.drawPopupMenuItem (g, { 0, 0, 386, 20 }, false, true, false, false, false, name, {}, nullptr, nullptr);

        const juce::Image::BitmapData pixels (image, 0, 0, 386, 20);
        return std::string ((const char*) pixels.data, pixels.size);
    };

    const auto height = [] (const juce::String& family, int style, const juce::String& text)
    {
        juce::Rectangle<float> inked; // above and below the baseline

        for (auto c : text)
            inked = inked.getUnion (outline (juce::Font (family, 13.0f, style), c).getBounds());

        return inked.getHeight();
    };

    for (int window : { (int) Language::english, (int) Language::japanese }) // the fallback font between items
    {
        show (languageChoice, window);

        for (int i = 0; i < numLanguages; ++i)
        {
            const auto name = TxtLoader::getInstance()->getLanguageName (i);
            const auto boxes = juce::String::repeatedString (juce::String::charToString (missing), name.length());

            // Ideographs and Hangul stand a little taller than Latin capitals, as in the named
            // fonts, but not so tall that they crowd the line.
            for (int style : { juce::Font::plain, juce::Font::bold })
            {
                const auto extra = height (TxtLoader::getInstance()->getFont (i), style, name) - height ("Arial", style, "H");
                EXPECT_TRUE (i < Language::chineseSimplified || (extra >= 0.75f && extra <= 2.0f)) << name << ": " << extra;
            }

            for (const bool inBox : { false, true })
                EXPECT_TRUE (name.isNotEmpty() && drawn (name, inBox) != drawn (boxes, inBox)) << name << (inBox ? " in the box" : " in the list") << ", window language " << window;
        }
    }

    box.setLookAndFeel (nullptr);
}

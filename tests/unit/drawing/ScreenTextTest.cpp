// What each screen writes, and that every script is drawn with real glyphs: in the screens, in
// the language list and in the closed language box.

#include <gtest/gtest.h>

#include "resources/TxtLoader.h"
#include "support/AppRig.h"
#include "updater/FontMapLookAndFeel.h"
#include "updater/LangLookAndFeel.h"

#include <map>

using namespace testsupport;

namespace
{
constexpr juce::juce_wchar missing = 0x10fffd;

/** The outline of one character of a font, laid out at the origin, as text. */
juce::Path outline (const juce::Font& font, juce::juce_wchar c)
{
    juce::GlyphArrangement one;
    one.addLineOfText (font, juce::String::charToString (c), 0.0f, 0.0f);
    juce::Path path;

    if (one.getNumGlyphs() > 0)
        one.getGlyph (0).createPath (path);

    return path;
}

/** True when the glyph has the very outline of its character in the font (the layout may have
    squeezed it horizontally).
*/
bool drawnIn (const juce::PositionedGlyph& glyph, const juce::Path& wanted)
{
    juce::Path got;
    glyph.createPath (got);
    got.applyTransform (juce::AffineTransform::translation (-glyph.getLeft(), -glyph.getBaselineY()));
    const float squeeze = got.getBounds().getWidth() / juce::jmax (0.001f, wanted.getBounds().getWidth());
    got.applyTransform (juce::AffineTransform::scale (1.0f / squeeze, 1.0f));

    if (squeeze < 0.69f || squeeze > 1.001f)
        return false;

    juce::Path::Iterator a (got), b (wanted);

    while (a.next())
        if (!b.next() || juce::Point<float> (a.x1, a.y1).getDistanceFrom ({ b.x1, b.y1 }) > 0.02f)
            return false;

    return !b.next();
}

struct ScreenText : ::testing::Test
{
    using Access = MainComponentTestAccess;
    AppRig rig;

    void SetUp() override
    {
        rig.dir.write ("vn382_v123.upd", updateFile (4000));
        rig.create();
        Access::deviceFirmwareVersion (rig.component()) = 105;
    }

    void TearDown() override { TxtLoader::getInstance()->setLanguage (Language::english); }

    void show (int state, int language)
    {
        TxtLoader::getInstance()->setLanguage (language);
        Access::screenState (rig.component()) = state;
        Access::rebuildScreen (rig.component());
    }

    juce::String written()
    {
        auto& layout = Access::textLayout (rig.component());
        juce::String s;

        for (int i = 0; i < layout.getNumGlyphs(); ++i)
            s += juce::String::charToString (layout.getGlyph (i).getCharacter());

        return s.removeCharacters (" \t\r\n");
    }

    static juce::String text (int id, const char* a = "", const char* b = "", const char* c = "")
    {
        return formatString (TxtLoader::getInstance()->getText (id).toRawUTF8(), a, b, c);
    }
};
} // namespace

//==============================================================================
TEST_F (ScreenText, EveryScreenWritesItsTextsWithTheDeviceNameAndBothVersions)
{
    const auto versions = formatString (TxtLoader::getInstance()->getText (TextId::currentVersion).toRawUTF8(), 1, 5) + formatString (TxtLoader::getInstance()->getText (TextId::updateVersion).toRawUTF8(), 1, 23);
    const auto recovery = text (TextId::connectStep, "QUELVA-DRO") + text (TextId::updateModeStep, "QUELVA-DRO", "AUTO/WAKE UP", "TAP") + text (TextId::restartStep);
    const std::pair<int, juce::String> screens[] {
        { languageChoice, text (TextId::languageHeading) + text (TextId::selectLanguage) },
        { noDevice, text (TextId::notRecognised, "QUELVA-DRO") + recovery },
        { readyToUpdate, text (TextId::updateHeading, "QUELVA-DRO") + text (TextId::updateModeHint, "QUELVA-DRO", "AUTO/WAKE UP", "TAP") + versions },
        { updating, text (TextId::updatingHeading, "QUELVA-DRO") + text (TextId::pleaseWait) },
        { updateComplete, text (TextId::updateDone, "QUELVA-DRO") },
        { updateFailed, text (TextId::errorOccurred) + recovery },
    };

    for (const auto& [state, expected] : screens)
    {
        show (state, Language::english);
        EXPECT_EQ (written(), expected.removeCharacters (" \t\r\n")) << state;
    }

    // Without a valid file every screen but the first tells so, naming the device family.
    Access::fileValid (rig.component()) = 0;

    for (int state : { noDevice, readyToUpdate, updateFailed })
    {
        show (state, Language::english);
        EXPECT_EQ (written(), text (TextId::badUpdateFile, "WZH").removeCharacters (" \t\r\n")) << state;
    }
}

TEST_F (ScreenText, EveryScreenInEveryLanguageIsDrawnWithRealGlyphsOfItsFont)
{
    auto* texts = TxtLoader::getInstance();

    for (int language = 0; language < numLanguages; ++language)
    {
        std::map<std::pair<int, juce::juce_wchar>, juce::Path> outlines;
        const auto outlineOf = [&] (int style, juce::juce_wchar c) -> const juce::Path&
        {
            auto& path = outlines[{ style, c }];

            if (path.isEmpty())
                path = outline (juce::Font (texts->getFont (language), 13.0f, style), c);

            return path;
        };

        for (int state : { languageChoice, noDevice, readyToUpdate, updating, updateComplete, updateFailed })
        {
            show (state, language);
            auto& layout = Access::textLayout (rig.component());
            ASSERT_GT (layout.getNumGlyphs(), 0);

            for (int i = 0; i < layout.getNumGlyphs(); ++i)
            {
                const auto& glyph = layout.getGlyph (i);

                if (glyph.isWhitespace())
                    continue;

                const auto c = glyph.getCharacter();
                const bool real = (drawnIn (glyph, outlineOf (juce::Font::plain, c)) && outlineOf (juce::Font::plain, c).toString() != outlineOf (juce::Font::plain, missing).toString()) || (drawnIn (glyph, outlineOf (juce::Font::bold, c)) && outlineOf (juce::Font::bold, c).toString() != outlineOf (juce::Font::bold, missing).toString());
                ASSERT_TRUE (real) << "language " << language << ", screen " << state << ": U+" << juce::String::toHexString ((int) c);
            }
        }
    }
}

//==============================================================================
TEST_F (ScreenText, EveryLanguageNameIsDrawnInItsOwnScriptInTheListAndTheBox)
{
    auto* texts = TxtLoader::getInstance();
    LangLookAndFeel lookAndFeel;

    const auto item = [&] (const juce::String& name)
    {
        juce::Image image (juce::Image::RGB, 200, 20, true);
        juce::Graphics g (image);
        g.fillAll (juce::Colours::white);
        lookAndFeel.drawPopupMenuItem (g, { 0, 0, 200, 20 }, false, true, false, false, false, name, {}, nullptr, nullptr);
        return image;
    };

    const auto box = [&] (const juce::String& name)
    {
        juce::ComboBox b;
        b.setLookAndFeel (&lookAndFeel);
        b.setSize (386, 20);
        b.addItem (name, 1);
        b.setSelectedId (1, juce::dontSendNotification);
        b.resized();
        juce::Image image (juce::Image::RGB, 386, 20, true);
        juce::Graphics g (image);
        g.fillAll (juce::Colours::white);
        b.paintEntireComponent (g, true);
        b.setLookAndFeel (nullptr);
        return image;
    };

    const auto same = [] (const juce::Image& a, const juce::Image& b)
    {
        for (int y = 0; y < a.getHeight(); ++y)
            for (int x = 0; x < a.getWidth(); ++x)
                if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                    return false;

        return true;
    };

    // Whatever the window's language (the fallback font between items), the same result.
    for (int window : { (int) Language::english, (int) Language::japanese })
    {
        show (languageChoice, window);

        for (int i = 0; i < numLanguages; ++i)
        {
            const auto name = texts->getLanguageName (i);
            const auto missingGlyphs = juce::String::repeatedString (juce::String::charToString (missing), name.length());
            ASSERT_TRUE (name.isNotEmpty());
            EXPECT_FALSE (same (item (name), item (missingGlyphs))) << name << " in the list, window language " << window;
            EXPECT_FALSE (same (box (name), box (missingGlyphs))) << name << " in the box, window language " << window;

            for (int style : { juce::Font::plain, juce::Font::bold })
                for (auto c : name)
                    EXPECT_NE (outline (juce::Font (texts->getFont (i), 13.0f, style), c).toString(),
                               outline (juce::Font (texts->getFont (i), 13.0f, style), missing).toString())
                        << name << " U+" << juce::String::toHexString ((int) c);
        }
    }
}

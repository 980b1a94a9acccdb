#include "DrawingTestUtil.h"

#include "resources/TxtLoader.h"
#include "updater/LangLookAndFeel.h"

using namespace drawtest;

namespace
{
// Each language's own name and its font, in Language order.
const std::pair<const char*, const char*> languages[] = {
    { "English", "Arial" },
    { "Fran\xc3\xa7"
      "ais",
      "Arial" },
    { "Deutsch", "Arial" },
    { "Espa\xc3\xb1ol", "Arial" },
    { "Italiano", "Arial" },
    { "Nederlands", "Arial" },
    { "\xd0\xa0\xd1\x83\xd1\x81\xd1\x81\xd0\xba\xd0\xb8\xd0\xb9", "Arial" },
    { "Portugu\xc3\xaas", "Arial" },
    { "\xe7\xae\x80\xe4\xbd\x93\xe4\xb8\xad\xe6\x96\x87", "Microsoft YaHei" },
    { "\xe7\xb9\x81\xe9\xab\x94\xe4\xb8\xad\xe6\x96\x87", "Microsoft YaHei" },
    { "\xed\x95\x9c\xea\xb5\xad\xec\x96\xb4", "Malgun Gothic" },
    { "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e", "MS UI Gothic" },
};

/** Records the fallback font name at the moment the painter asks for its menu font. */
struct SpyLookAndFeel : public LangLookAndFeel
{
    juce::Font getPopupMenuFont() override
    {
        fallbackSeen.add (juce::Font::getFallbackFontName());
        return LangLookAndFeel::getPopupMenuFont();
    }

    juce::StringArray fallbackSeen;
};

/** One call's arguments: an active plain item unless changed. */
struct Item
{
    Item (const juce::String& itemText = {})
        : text (itemText)
    {
    }

    Item& separator()
    {
        isSeparator = true;
        return *this;
    }
    Item& inactive()
    {
        isActive = false;
        return *this;
    }
    Item& highlighted()
    {
        isHighlighted = true;
        return *this;
    }
    Item& ticked()
    {
        isTicked = true;
        return *this;
    }
    Item& withSubMenu()
    {
        hasSubMenu = true;
        return *this;
    }
    Item& withShortcut (const juce::String& s)
    {
        shortcut = s;
        return *this;
    }
    Item& withIcon (const juce::Drawable* d)
    {
        icon = d;
        return *this;
    }
    Item& withColour (const juce::Colour* c)
    {
        colour = c;
        return *this;
    }

    juce::String text, shortcut;
    bool isSeparator = false, isActive = true, isHighlighted = false, isTicked = false, hasSubMenu = false;
    const juce::Drawable* icon = nullptr;
    const juce::Colour* colour = nullptr;
};

struct LangListFixture : public ::testing::Test
{
    static void TearDownTestSuite() { TxtLoader::deleteInstance(); }

    juce::Image draw (const Item& item, int h = 20, juce::Colour background = juce::Colours::white)
    {
        auto image = makeImage (200, h, background);
        juce::Graphics g (image);
        lookAndFeel.drawPopupMenuItem (g, { 0, 0, 200, h }, item.isSeparator, item.isActive, item.isHighlighted,
                                       item.isTicked, item.hasSubMenu, item.text, item.shortcut, item.icon, item.colour);
        return image;
    }

    /** The item text as it must be laid out: V2's 17-pixel menu font, at most h / 1.3 high,
        from x = h * 5 / 4 to 4 pixels before the right end. */
    static juce::Image referenceText (const juce::String& text, const juce::String& family, int h = 20)
    {
        auto image = makeImage (200, h, juce::Colours::white);
        juce::Graphics g (image);
        g.setFont (juce::Font (family, juce::jmin (17.0f, (float) h / 1.3f), juce::Font::plain));
        const int leftBorder = h * 5 / 4;
        g.drawFittedText (text, leftBorder, 0, 200 - leftBorder - 4, h, juce::Justification::centredLeft, 1, 0.7f);
        return image;
    }

    static juce::String missingGlyphs (int count)
    {
        return juce::String::repeatedString (juce::String::charToString ((juce::juce_wchar) 0x10fffd), count);
    }

    SpyLookAndFeel lookAndFeel;
};
} // namespace

//==============================================================================
TEST_F (LangListFixture, FallbackIsTheItemsLanguageFontDuringTheCallAndRestoredAfter)
{
    const juce::String sentinel ("Sentinel Face");
    juce::Font::setFallbackFontName (sentinel);

    const auto fallbackDuring = [&] (const Item& item)
    {
        lookAndFeel.fallbackSeen.clear();
        draw (item);
        EXPECT_EQ (juce::Font::getFallbackFontName(), sentinel) << item.text;
        return lookAndFeel.fallbackSeen.isEmpty() ? juce::String ("(none)") : lookAndFeel.fallbackSeen[0];
    };

    for (const auto& [name, font] : languages)
        EXPECT_EQ (fallbackDuring (Item (juce::String::fromUTF8 (name))), font) << name;

    EXPECT_EQ (fallbackDuring (Item ("ENGLISH")), "Arial");
    EXPECT_EQ (fallbackDuring (Item ("deutsch").inactive().highlighted().ticked().withSubMenu().withShortcut ("D")), "Arial");
    EXPECT_EQ (fallbackDuring (Item ("Klingon")), sentinel);
    EXPECT_EQ (fallbackDuring (Item().separator()), "(none)");

    juce::Font::setFallbackFontName ({});
}

TEST_F (LangListFixture, HighlightSeparatorAndInactiveColours)
{
    // Highlight: 0xff000040 inside a 1-pixel margin; text in the look-and-feel's highlighted
    // text colour (white), never in the item's own.
    const juce::Colour highlight (0xff000040), red (juce::Colours::red);
    const auto lit = draw (Item ("Klingon").highlighted().withColour (&red));
    savePng (lit, "list-item-highlighted");

    for (const auto& [x, y] : { std::pair { 1, 1 }, { 198, 18 }, { 10, 10 } })
        EXPECT_TRUE (near (lit, x, y, highlight, 0));

    for (const auto& [x, y] : { std::pair { 0, 0 }, { 100, 0 }, { 0, 10 }, { 199, 10 }, { 100, 19 } })
        EXPECT_TRUE (near (lit, x, y, juce::Colours::white, 0));

    const auto isRed = [] (juce::Colour c)
    { return c.getRed() > c.getGreen() + 40; };
    EXPECT_FALSE (inkBounds (lit, { 25, 2, 171, 16 }, [] (juce::Colour c)
                             { return c.getRed() > 200; })
                      .isEmpty());
    EXPECT_TRUE (inkBounds (lit, lit.getBounds(), isRed).isEmpty());
    EXPECT_FALSE (inkBounds (draw (Item ("Klingon").withColour (&red)), { 0, 0, 200, 20 }, isRed).isEmpty());

    // Separator over grey 128: 0x33000000 over rows 9.5..10.5 and 0x66ffffff over 10.5..11.5,
    // from x 5.5 to 194.5.
    const auto sep = draw (Item().separator(), 20, grey (128));
    EXPECT_TRUE (near (sep, 100, 8, grey (128), 0));
    EXPECT_TRUE (near (sep, 100, 9, grey (128.0 * 0.9)));
    EXPECT_TRUE (near (sep, 100, 10, grey (115.2 + 0.2 * (255.0 - 115.2))));
    EXPECT_TRUE (near (sep, 100, 11, grey (128.0 + 0.2 * 127.0)));
    EXPECT_TRUE (near (sep, 100, 12, grey (128), 0));
    EXPECT_TRUE (near (sep, 4, 9, grey (128), 0));
    EXPECT_TRUE (near (sep, 5, 9, grey (128.0 * 0.95)));
    EXPECT_TRUE (near (sep, 195, 9, grey (128), 0));

    // Inactive: every pixel 0.3 as dark. Shortcut and arrow overlap, so they go in two items.
    for (auto item : { Item ("Klingon").ticked().withShortcut ("Ctrl+K"), Item ("Klingon").ticked().withSubMenu() })
    {
        const auto active = draw (item);
        const auto inactive = draw (item.inactive());
        savePng (inactive, "list-item-inactive");
        EXPECT_LT (darkest (active, active.getBounds()), 50);

        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 200; ++x)
                ASSERT_NEAR (255 - inactive.getPixelAt (x, y).getRed(),
                             (255 - active.getPixelAt (x, y).getRed()) * 0.3, 2.0)
                    << x << ", " << y;
    }
}

TEST_F (LangListFixture, TickIconTextAndArrowKeepTheirBoxes)
{
    // Tick: scaled into (2, ty, 21, th), th the menu font's ascent, proportions kept, centred;
    // this tick is tall for that box, so its height is th.
    EXPECT_TRUE (inkBounds (draw (Item()), { 0, 0, 200, 20 }, isDark).isEmpty());
    const float th = juce::Font (20.0f / 1.3f).getAscent();
    const auto tick = inkBounds (draw (Item().ticked()), { 0, 0, 200, 20 }, isDark);
    EXPECT_NEAR ((float) tick.getHeight(), th, 1.0f);
    EXPECT_NEAR (tick.toFloat().getCentreX(), 12.5f, 1.0f);
    EXPECT_NEAR (tick.toFloat().getCentreY(), 10.0f, 1.0f);

    // Icon: into (2, 1, 21, 18), centred and only ever reduced; it replaces the tick.
    const auto iconOfSize = [] (int size)
    {
        auto drawable = std::make_unique<juce::DrawableImage>();
        drawable->setImage (makeImage (size, size, juce::Colours::red));
        return drawable;
    };

    const auto isRed = [] (juce::Colour c)
    { return c.getRed() > c.getGreen() + 40; };
    const auto small = iconOfSize (10), large = iconOfSize (40);
    const auto withSmall = draw (Item().ticked().withIcon (small.get()));
    EXPECT_EQ (inkBounds (withSmall, withSmall.getBounds(), isRed), juce::Rectangle<int> (7, 5, 11, 10));
    EXPECT_TRUE (inkBounds (withSmall, withSmall.getBounds(), isDark).isEmpty());
    EXPECT_EQ (inkBounds (draw (Item().withIcon (large.get())), { 0, 0, 200, 20 }, isRed), juce::Rectangle<int> (3, 1, 19, 18));

    // Text: menu font reduced to 20 / 1.3 from x 25, not reduced at 30 pixels, from x 27 at 22.
    EXPECT_TRUE (samePixels (draw (Item ("Klingon")), referenceText ("Klingon", "<Sans-Serif>")));
    EXPECT_TRUE (samePixels (draw (Item ("Klingon"), 30), referenceText ("Klingon", "<Sans-Serif>", 30)));
    EXPECT_TRUE (samePixels (draw (Item ("Klingon"), 22), referenceText ("Klingon", "<Sans-Serif>", 22)));

    // Arrow: its left edge at width - 0.6 x height.
    EXPECT_EQ (inkBounds (draw (Item().withSubMenu()), { 0, 0, 200, 20 }, isDark).getX(), 188);

    juce::ComboBox box;
    box.setSize (120, 20);
    juce::Label label;
    EXPECT_EQ (lookAndFeel.getOptionsForComboBoxPopupMenu (box, label).getStandardItemHeight(), 20);
}

TEST_F (LangListFixture, EveryLanguageNameIsDrawnInItsOwnScriptInTheListAndTheClosedBox)
{
    auto* texts = TxtLoader::getInstance();
    auto list = makeImage (200, 12 * 20, juce::Colours::white);

    const auto paintBox = [this] (const juce::String& text)
    {
        juce::ComboBox box;
        box.setLookAndFeel (&lookAndFeel);
        box.setSize (386, 20);
        box.addItem (text, 1);
        box.setSelectedId (1, juce::dontSendNotification);
        box.resized();
        auto image = makeImage (386, 20, juce::Colours::white);
        juce::Graphics g (image);
        box.paintEntireComponent (g, true);
        box.setLookAndFeel (nullptr);
        return image;
    };

    // Whatever the window's language (the fallback name between items), the same result.
    for (const auto* fallback : { "Arial", "MS UI Gothic" })
    {
        juce::Font::setFallbackFontName (fallback);

        for (int i = 0; i < numLanguages; ++i)
        {
            const auto name = texts->getLanguageName (i);
            const auto font = texts->getFont (i);
            ASSERT_EQ (name, juce::String::fromUTF8 (languages[i].first));
            SCOPED_TRACE (name + " with fallback " + fallback);

            // Drawn in the language's own font, never as a row of missing glyphs.
            const auto item = draw (Item (name));
            EXPECT_TRUE (samePixels (item, referenceText (name, font)));
            EXPECT_FALSE (samePixels (item, draw (Item (missingGlyphs (name.length())))));
            EXPECT_FALSE (samePixels (paintBox (name), paintBox (missingGlyphs (name.length())))) << "closed box";

            // ... and that font has every character of the name.
            for (auto c : name)
            {
                const auto glyph = referenceText (juce::String::charToString (c), font);
                EXPECT_FALSE (inkBounds (glyph, glyph.getBounds(), isDark).isEmpty()) << (int) c;
                EXPECT_FALSE (samePixels (glyph, referenceText (missingGlyphs (1), font))) << (int) c;
            }

            juce::Graphics g (list);
            g.setOrigin (0, i * 20);
            lookAndFeel.drawPopupMenuItem (g, { 0, 0, 200, 20 }, false, true, i == 6, i == 0, false, name, {}, nullptr, nullptr);
        }
    }

    savePng (list, "language-list");
    juce::Font::setFallbackFontName ({});
}

#include "LayoutFixture.h"

// The screens' text blocks, widgets and image against the positions, boxes and line limits
// worked out by hand from the layout rules (x, y and widths as functions of W and H).
namespace
{
const char* const tableFonts[numLanguages] = { "Arial", "Arial", "Arial", "Arial", "Arial", "Arial", "Arial", "Arial",
                                               "Microsoft YaHei", "Microsoft YaHei", "Malgun Gothic", "MS UI Gothic" };
const char* const name = "QUELVA-DRO";

bool twoLineConnectStep (int language) { return language == Language::german || language == Language::italian; }

/** The update-mode text: Chinese, Korean and Japanese name the device after the buttons. */
juce::String updateModeText (int id, int language)
{
    return language >= Language::chineseSimplified ? LayoutFixture::formatted (id, "AUTO/WAKE UP", "TAP", name)
                                                   : LayoutFixture::formatted (id, name, "AUTO/WAKE UP", "TAP");
}

void addRecovery (std::vector<ExpectedBlock>& blocks, int language, float w, bool withHeading)
{
    const bool en = language == Language::english, twoLines = twoLineConnectStep (language);

    if (withHeading)
        blocks.push_back ({ LayoutFixture::formatted (TextId::notRecognised, name), true, 105, 20, w - 120, 16, 1 });

    blocks.push_back ({ LayoutFixture::formatted (TextId::connectStep, name), false, 105, 36, w - 120, 32, twoLines ? 2 : 1 });
    blocks.push_back ({ updateModeText (TextId::updateModeStep, language), false, 105, twoLines ? 65.0f : 52.0f,
                        w - 120, en ? 32.0f : 48.0f, en ? 2 : 3 });
    blocks.push_back ({ LayoutFixture::text (TextId::restartStep), false, 105, en ? 81.0f : (twoLines ? 107.0f : 94.0f),
                        w - 120, 16, 1 });
}

/** The blocks of a screen with a valid file of version 1.23 and a device at 1.05. */
std::vector<ExpectedBlock> expectedBlocks (int state, int language, float w)
{
    using F = LayoutFixture;
    const bool en = language == Language::english;
    std::vector<ExpectedBlock> blocks;

    switch (state)
    {
        case languageChoice:
            blocks = { { F::text (TextId::languageHeading) + "\n\n", true, 20, 20, w - 40, 0, 0 },
                       { F::text (TextId::selectLanguage), false, 40, afterB, w - 60, 0, 0 } };
            break;
        case noDevice:
            addRecovery (blocks, language, w, true);
            break;
        case readyToUpdate:
            blocks = { { F::formatted (TextId::updateHeading, name) + "\n\n", true, 20, 20, w - 40, 0, 0 },
                       { updateModeText (TextId::updateModeHint, language), false, 40,
                         language == Language::russian ? 51.0f : 36.0f, w - 60, en ? 32.0f : 48.0f, en ? 2 : 3 },
                       { F::formatted (TextId::currentVersion, 1, 5) + "\n" + F::formatted (TextId::updateVersion, 1, 23),
                         false, 60, afterB + 5, w - 60, 0, 0 } };
            break;
        case updating:
            blocks = { { F::formatted (TextId::updatingHeading, name) + "\n\n", true, 20, 20, w - 40, 0, 0 },
                       { F::text (TextId::pleaseWait), false, 40, afterB, w - 60, 0, 0 } };
            break;
        case updateComplete:
            blocks = { { F::formatted (TextId::updateDone, name), false, 20, 20, w - 40, 0, 0 } };
            break;
        case updateFailed:
            blocks = { { F::text (TextId::errorOccurred) + "\n", false, 105, 20, w - 125, 0, 0 } };
            addRecovery (blocks, language, w, false);
            break;
        default:
            break;
    }

    return blocks;
}

int warningPixels (const juce::Image& image)
{
    int n = 0;

    for (int y = 15; y < 79; ++y)
        for (int x = 20; x < 84; ++x)
            if (const auto c = image.getPixelAt (x, y); c.getRed() > 200 && c.getGreen() > 150 && c.getBlue() < 100)
                ++n;

    return n;
}
} // namespace

//==============================================================================
TEST_F (LayoutFixture, EveryScreenInEveryLanguageLaysOutItsBlocksInTheirBoxes)
{
    create();
    Access::deviceFirmwareVersion (c()) = 105;

    for (auto [w, h] : { std::pair (426, 176), std::pair (420, 170) })
    {
        c().setSize (w, h);

        for (int language = 0; language < numLanguages; ++language)
        {
            for (int state = languageChoice; state <= updateFailed; ++state)
            {
                SCOPED_TRACE (juce::String (w) + " x " + juce::String (h) + ", language " + juce::String (language) + ", screen " + juce::String (state));
                show (state, language);
                EXPECT_EQ (juce::Font::getFallbackFontName(), tableFonts[language]);
                // The component's own size is never shown; there German's connection step, 300
                // wide, wraps onto a third line.
                expectBlocks (layout(), expectedBlocks (state, language, (float) w), tableFonts[language], h, w == 426);
            }
        }
    }

    // The worked value: the English heading's empty line ends at 20 + 2 x 13, where the body starts.
    show (languageChoice, Language::english);
    const int body = layoutText (layout()).lastIndexOfChar ('\n') + 1;
    EXPECT_EQ (layout().getGlyph (body - 1).getBottom(), 46.0f);
    EXPECT_EQ (layout().getGlyph (body).getTop(), 46.0f);
}

TEST_F (LayoutFixture, VersionsShowHundredsAndATwoDigitRemainder)
{
    create();
    const std::pair<int, const char*> cases[] = { { 5, "0.05" }, { 0, "0.00" }, { 258, "2.58" }, { 123, "1.23" } };

    for (auto [version, shown] : cases)
    {
        Access::deviceFirmwareVersion (c()) = version;
        show (readyToUpdate, Language::english);
        EXPECT_TRUE (layoutText (layout()).endsWith (juce::String ("Current Version: Ver. ") + shown + "\nUpdate Version : Ver. 1.23"))
            << layoutText (layout());
    }
}

TEST_F (LayoutFixture, WithoutAValidFileEveryScreenButTheFirstShowsTheErrorBesideTheImage)
{
    create (false);

    for (int language : { (int) Language::english, (int) Language::japanese })
    {
        for (int state = noDevice; state <= updateFailed; ++state)
        {
            show (state, language);
            expectBlocks (layout(), { { text (TextId::badUpdateFile), false, 105, 20, 301, 0, 0 } }, tableFonts[language], 176);
        }

        show (languageChoice, language);
        expectBlocks (layout(), expectedBlocks (languageChoice, language, 426), tableFonts[language], 176);
    }

    // The image goes with the error, and with the recovery instructions of a valid file.
    show (noDevice, Language::english);
    EXPECT_GT (warningPixels (c().createComponentSnapshot (c().getLocalBounds())), 100);
}

TEST_F (LayoutFixture, TheImageShowsBesideTheRecoveryInstructionsOnly)
{
    create();

    for (int state = languageChoice; state <= updateFailed; ++state)
    {
        show (state, Language::english);
        const bool wanted = state == noDevice || state == updateFailed;
        EXPECT_EQ (warningPixels (c().createComponentSnapshot (c().getLocalBounds())) > 100, wanted) << state;
    }
}

TEST_F (LayoutFixture, WidgetsAreShownLabelledAndPlacedPerScreen)
{
    struct Case
    {
        int state;
        bool validFile;
        const char* ok;
        const char* cancel;
        bool cancelLeft;
    };
    const Case cases[] = {
        { languageChoice, true, "OK", "Cancel", true },
        { languageChoice, false, "OK", "Cancel", true },
        { noDevice, true, nullptr, "Close", false },
        { noDevice, false, nullptr, "OK", false },
        { readyToUpdate, true, "Start", "Close", true },
        { readyToUpdate, false, nullptr, "OK", false },
        { updating, true, nullptr, nullptr, false },
        { updating, false, nullptr, "OK", false },
        { updateComplete, true, nullptr, "OK", false },
        { updateFailed, true, nullptr, "OK", false },
    };

    // The worked boxes: right button, left button, language box and progress bar.
    struct Size
    {
        int w, h;
        juce::Rectangle<int> right, left, bar;
    };
    const Size sizes[] = { { 426, 176, { 306, 136, 100, 20 }, { 196, 136, 100, 20 }, { 20, 78, 386, 20 } },
                           { 420, 170, { 300, 130, 100, 20 }, { 190, 130, 100, 20 }, { 20, 75, 380, 20 } } };

    for (bool validFile : { true, false })
    {
        create (validFile);

        for (const auto& k : cases)
        {
            if (k.validFile != validFile)
                continue;

            for (const auto& size : sizes)
            {
                const auto check = [&] (const char* after)
                {
                    SCOPED_TRACE (juce::String (k.state) + (validFile ? " valid" : " bad") + " at " + juce::String (size.w) + after);
                    auto& ok = *Access::okButton (c());
                    auto& cancel = *Access::cancelButton (c());
                    EXPECT_EQ (ok.isVisible(), k.ok != nullptr);
                    EXPECT_EQ (cancel.isVisible(), k.cancel != nullptr);

                    if (k.ok != nullptr)
                    {
                        EXPECT_EQ (ok.getButtonText(), k.ok);
                        EXPECT_EQ (ok.getBounds(), size.right);
                    }

                    if (k.cancel != nullptr)
                    {
                        EXPECT_EQ (cancel.getButtonText(), k.cancel);
                        EXPECT_EQ (cancel.getBounds(), k.cancelLeft ? size.left : size.right);
                    }

                    EXPECT_EQ (Access::languageBox (c())->isVisible(), k.state == languageChoice);
                    EXPECT_EQ (Access::progressBar (c())->isVisible(), k.state == updating);
                    EXPECT_EQ (Access::languageBox (c())->getBounds(), size.bar);
                    EXPECT_EQ (Access::progressBar (c())->getBounds(), size.bar);
                };

                c().setSize (size.w, size.h);
                show (k.state, Language::english);
                check (" after the rebuild");
                c().setSize (size.w - 1, size.h);
                c().setSize (size.w, size.h);
                check (" after resized");
            }
        }

        TearDown();
    }
}

TEST_F (LayoutFixture, ALanguageChangeRelabelsEverythingAndRenamesTheWindow)
{
    create();
    juce::Component window;
    window.addChildComponent (c());

    show (languageChoice, Language::japanese);
    EXPECT_EQ (window.getName(), text (TextId::windowTitle));
    EXPECT_EQ (Access::okButton (c())->getButtonText(), text (TextId::ok));
    EXPECT_EQ (Access::cancelButton (c())->getButtonText(), text (TextId::cancel));
    EXPECT_EQ (Access::languageBox (c())->getSelectedId(), Language::japanese + 1);

    show (languageChoice, Language::russian);
    EXPECT_EQ (window.getName(), text (TextId::windowTitle));
    EXPECT_NE (window.getName(), "Updater Program");
    EXPECT_EQ (Access::languageBox (c())->getSelectedId(), Language::russian + 1);

    window.removeChildComponent (&c());
}

TEST_F (LayoutFixture, ASizeTooSmallForTheTextsStillLaysOutEveryScreen)
{
    create();

    for (auto [w, h] : { std::pair (0, 0), std::pair (30, 12), std::pair (120, 40) })
    {
        c().setSize (w, h);

        for (int language : { (int) Language::german, (int) Language::japanese })
            for (int state = languageChoice; state <= updateFailed; ++state)
            {
                show (state, language);
                EXPECT_GT (layout().getNumGlyphs(), 0);
                EXPECT_TRUE (std::isfinite (layout().getBoundingBox (0, -1, true).getBottom()));
            }
    }
}

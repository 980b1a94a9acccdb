#include "updater/MainComponent.h"

#include "platform/winapi/WinApi.h"
#include "resources/ImageLoader.h"
#include "resources/TxtLoader.h"
#include "updater/AlineButton.h"
#include "updater/BackgroundColour.h"

#include <vector>

namespace
{
// The font height is also the line pitch of every block.
constexpr float lineHeight = 13.0f;
constexpr float minimumHorizontalScale = 0.7f;
const juce::Justification topLeft (juce::Justification::left | juce::Justification::top);

// The labels of the two device buttons that the update-mode instructions name.
const char* const autoWakeUpLabel = "AUTO/WAKE UP";
const char* const tapLabel = "TAP";

/** The block's height and line limit when it fills the component below y. */
float fillHeight (int h, float y) { return (float) h - y; }
int fillLines (int h, float y) { return (int) (((float) h - y) / lineHeight); }

/** The device's name for the current file: the family name without a valid file. */
juce::String deviceName (int fileValid)
{
    return TxtLoader::getInstance()->getText (fileValid != 0 ? TextId::productName : TextId::familyName);
}

/** The bottom of the last glyph laid out so far (whitespace included: a trailing line feed
    stands for the empty line below a heading); the fallback when there is none.
*/
float lastBottom (juce::GlyphArrangement& layout, float fallback)
{
    const int n = layout.getNumGlyphs();
    return n > 0 ? layout.getGlyph (n - 1).getBottom() : fallback;
}

void addBlock (juce::GlyphArrangement& layout, const juce::String& fontName, int style, const juce::String& text,
               float x, float y, float width, float height, int maxLines)
{
    layout.addFittedText (juce::Font (fontName, lineHeight, style), text, x, y, width, height,
                          topLeft, maxLines, minimumHorizontalScale);
}

/** The languages whose instructions name the device after the two button labels. */
bool namesButtonsFirst (int language)
{
    return language >= Language::chineseSimplified && language <= Language::japanese;
}

/** A table text with the device name and the two button labels, in the table's order. */
juce::String formatUpdateMode (int id, int language, const juce::String& name)
{
    const auto format = TxtLoader::getInstance()->getText (id);

    if (namesButtonsFirst (language))
        return formatString (format.toRawUTF8(), autoWakeUpLabel, tapLabel, name.toRawUTF8());

    return formatString (format.toRawUTF8(), name.toRawUTF8(), autoWakeUpLabel, tapLabel);
}
} // namespace

//==============================================================================
juce::String formatString (const char* format, ...)
{
    if (format == nullptr)
        return {};

    va_list args;
    va_start (args, format);
    const int length = _vscprintf (format, args);
    va_end (args);

    // A format that the printf machinery rejects gives an empty text.
    if (length < 0)
        return {};

    std::vector<char> buffer ((size_t) length + 1, 0);
    va_start (args, format);
    const int written = vsprintf_s (buffer.data(), buffer.size(), format, args);
    va_end (args);

    if (written < 0)
        return {};

    return juce::String::fromUTF8 (buffer.data(), -1);
}

//==============================================================================
void MainComponent::rebuildScreen()
{
    auto* texts = TxtLoader::getInstance();
    const auto fontName = texts->getCurrentFont();

    // The process-wide fallback. JUCE 7 never reaches it for a character that a face lacks, so
    // every block below also names fontName itself.
    juce::Font::setFallbackFontName (fontName);

    if (auto* parent = getParentComponent())
        parent->setName (texts->getText (TextId::windowTitle));

    textLayout.clear();

    const int w = getWidth(), h = getHeight();
    const auto name = deviceName (fileValid);
    const char* const nameUtf8 = name.toRawUTF8();

    const auto addFilled = [&] (int style, const juce::String& text, float x, float y, float width)
    {
        addBlock (textLayout, fontName, style, text, x, y, width, fillHeight (h, y), fillLines (h, y));
    };

    if (screenState == languageChoice)
    {
        addFilled (juce::Font::bold, texts->getText (TextId::languageHeading) + "\n\n", 20.0f, 20.0f, (float) (w - 40));
        addFilled (juce::Font::plain, texts->getText (TextId::selectLanguage), 40.0f, lastBottom (textLayout, 20.0f), (float) (w - 60));
    }
    else if (fileValid == 0)
    {
        addFilled (juce::Font::plain, texts->getText (TextId::badUpdateFile), 105.0f, 20.0f, (float) (w - 125));
    }
    else if (screenState == noDevice)
    {
        addRecoveryText (105.0f, 20.0f, texts->currentLanguage, fontName, true);
    }
    else if (screenState == readyToUpdate)
    {
        addFilled (juce::Font::bold, formatString (texts->getText (TextId::updateHeading).toRawUTF8(), nameUtf8) + "\n\n",
                   20.0f, 20.0f, (float) (w - 40));

        // A fixed offset from the heading's top, not its bottom.
        const float instructionY = texts->currentLanguage == Language::russian ? 20.0f + 31.0f : 20.0f + 16.0f;
        addUpdateModeText (40.0f, instructionY, texts->currentLanguage, fontName);

        const auto versions = formatString (texts->getText (TextId::currentVersion).toRawUTF8(),
                                            deviceFirmwareVersion / 100, deviceFirmwareVersion % 100) +
                              "\n" + formatString (texts->getText (TextId::updateVersion).toRawUTF8(), fileVersion / 100, fileVersion % 100);
        addFilled (juce::Font::plain, versions, 60.0f, lastBottom (textLayout, instructionY) + 5.0f, (float) (w - 60));
    }
    else if (screenState == updating)
    {
        addFilled (juce::Font::bold, formatString (texts->getText (TextId::updatingHeading).toRawUTF8(), nameUtf8) + "\n\n",
                   20.0f, 20.0f, (float) (w - 40));
        addFilled (juce::Font::plain, texts->getText (TextId::pleaseWait), 40.0f, lastBottom (textLayout, 20.0f), (float) (w - 60));
    }
    else if (screenState == updateComplete)
    {
        addFilled (juce::Font::plain, formatString (texts->getText (TextId::updateDone).toRawUTF8(), nameUtf8),
                   20.0f, 20.0f, (float) (w - 40));
    }
    else if (screenState == updateFailed)
    {
        addFilled (juce::Font::plain, texts->getText (TextId::errorOccurred) + "\n", 105.0f, 20.0f, (float) (w - 125));
        addRecoveryText (105.0f, 20.0f, texts->currentLanguage, fontName, false);
    }

    if (languageBox != nullptr)
    {
        languageBox->setVisible (screenState == languageChoice);

        if (screenState == languageChoice)
        {
            languageBox->setSelectedId (texts->currentLanguage + 1, juce::dontSendNotification);
            languageBox->resized();
        }
    }

    if (progressBar != nullptr)
        progressBar->setVisible (screenState == updating);

    if (progressMirror != nullptr)
        progressMirror->follow (screenState == updating);

    if (okButton != nullptr && cancelButton != nullptr)
    {
        okButton->setFontName (fontName);
        cancelButton->setFontName (fontName);

        const juce::Rectangle<int> right (w - 120, h - 40, 100, 20), left (w - 230, h - 40, 100, 20);

        const auto show = [] (AlineButton& button, const juce::String& text, juce::Rectangle<int> box)
        {
            button.setVisible (true);
            button.setText (text);
            button.setBounds (box);
        };

        if (screenState == languageChoice)
        {
            show (*okButton, texts->getText (TextId::ok), right);
            show (*cancelButton, texts->getText (TextId::cancel), left);
        }
        else if (fileValid == 0 || screenState == updateComplete || screenState == updateFailed)
        {
            okButton->setVisible (false);
            show (*cancelButton, texts->getText (TextId::ok), right);
        }
        else if (screenState == noDevice)
        {
            okButton->setVisible (false);
            show (*cancelButton, texts->getText (TextId::close), right);
        }
        else if (screenState == readyToUpdate)
        {
            show (*okButton, texts->getText (TextId::start), right);
            show (*cancelButton, texts->getText (TextId::close), left);
        }
        else if (screenState == updating)
        {
            okButton->setVisible (false);
            cancelButton->setVisible (false);
        }
    }

    repaint();
}

//==============================================================================
void MainComponent::addUpdateModeText (float x, float y, int language, const juce::String& fontName)
{
    const int lines = language == Language::english ? 2 : 3;
    const auto text = formatUpdateMode (TextId::updateModeHint, language, deviceName (fileValid));

    addBlock (textLayout, fontName, juce::Font::plain, text,
              x, y, (float) getWidth() - (x + 20.0f), (float) lines * 16.0f, lines);
}

void MainComponent::addRecoveryText (float x, float y, int language, const juce::String& fontName, bool withHeading)
{
    auto* texts = TxtLoader::getInstance();
    const auto name = deviceName (fileValid);
    const float width = (float) getWidth() - (x + 15.0f);

    if (withHeading)
        addBlock (textLayout, fontName, juce::Font::bold,
                  formatString (texts->getText (TextId::notRecognised).toRawUTF8(), name.toRawUTF8()),
                  x, y, width, 16.0f, 1);

    // The heading's slot stays reserved without it: the error text of updateFailed fills it.
    y += 16.0f;

    const int connectLines = (language == Language::german || language == Language::italian) ? 2 : 1;
    addBlock (textLayout, fontName, juce::Font::plain,
              formatString (texts->getText (TextId::connectStep).toRawUTF8(), name.toRawUTF8()),
              x, y, width, 32.0f, connectLines);
    y += (float) connectLines * lineHeight + 3.0f;

    const int updateLines = language == Language::english ? 2 : 3;
    addBlock (textLayout, fontName, juce::Font::plain, formatUpdateMode (TextId::updateModeStep, language, name),
              x, y, width, (float) updateLines * 16.0f, updateLines);
    y += (float) updateLines * lineHeight + 3.0f;

    addBlock (textLayout, fontName, juce::Font::plain, texts->getText (TextId::restartStep), x, y, width, 16.0f, 1);
}

//==============================================================================
void MainComponent::paint (juce::Graphics& g)
{
    g.fillAll (backgroundColour);

    const bool showsImage = screenState == noDevice || screenState == updateFailed || (screenState != languageChoice && fileValid == 0);

    if (showsImage)
    {
        if (const auto* image = ImageLoader::getInstance()->getImage (0))
            g.drawImage (*image, 20, 15, 64, 64, 0, 0, image->getWidth(), image->getHeight(), false);
    }

    g.setColour (juce::Colour (0, 0, 0));
    textLayout.draw (g);
}

void MainComponent::resized()
{
    rebuildScreen();

    const int w = getWidth(), h = getHeight();
    const int y = (h - 20) / 2;

    if (languageBox != nullptr)
        languageBox->setBounds (20, y, w - 40, 20);

    if (progressBar != nullptr)
        progressBar->setBounds (20, y, w - 40, 20);

    if (okButton == nullptr || cancelButton == nullptr)
        return;

    if (okButton->isVisible())
    {
        okButton->setBounds (w - 120, h - 40, 100, 20);
        cancelButton->setBounds (w - 230, h - 40, 100, 20);
    }
    else
    {
        cancelButton->setBounds (w - 120, h - 40, 100, 20);
    }
}

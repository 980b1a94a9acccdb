#include "updater/MainComponent.h"

#include "updater/AlineButton.h"
#include "updater/BackgroundColour.h"
#include "resources/TxtLoader.h"
#include "platform/winapi/WinApi.h"

#include <vector>

//==============================================================================
juce::String formatString (const char* format, ...)
{
    va_list args;
    va_start (args, format);
    const int length = _vscprintf (format, args);
    va_end (args);

    if (length < 0)
        return {};

    std::vector<char> buffer ((size_t) length + 1, 0);
    va_start (args, format);
    vsprintf_s (buffer.data(), buffer.size(), format, args);
    va_end (args);

    return juce::String::fromUTF8 (buffer.data(), -1);
}

//==============================================================================
// The widgets of each screen; the texts come with the full screen layout.
void MainComponent::rebuildScreen()
{
    auto* texts = TxtLoader::getInstance();
    juce::Font::setFallbackFontName (texts->getCurrentFont());

    if (auto* parent = getParentComponent())
        parent->setName (texts->getText (TextId::windowTitle));

    textLayout.clear();

    const int w = getWidth(), h = getHeight();
    const juce::Rectangle<int> right (w - 120, h - 40, 100, 20), left (w - 230, h - 40, 100, 20);

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

    if (okButton == nullptr || cancelButton == nullptr)
        return;

    okButton->setFontName (texts->getCurrentFont());
    cancelButton->setFontName (texts->getCurrentFont());

    if (screenState == languageChoice)
    {
        okButton->setVisible (true);
        okButton->setText (texts->getText (TextId::ok));
        okButton->setBounds (right);
        cancelButton->setVisible (true);
        cancelButton->setText (texts->getText (TextId::cancel));
        cancelButton->setBounds (left);
    }
    else if (fileValid == 0 || screenState == updateComplete || screenState == updateFailed)
    {
        okButton->setVisible (false);
        cancelButton->setVisible (true);
        cancelButton->setText (texts->getText (TextId::ok));
        cancelButton->setBounds (right);
    }
    else if (screenState == noDevice)
    {
        okButton->setVisible (false);
        cancelButton->setVisible (true);
        cancelButton->setText (texts->getText (TextId::close));
        cancelButton->setBounds (right);
    }
    else if (screenState == readyToUpdate)
    {
        okButton->setVisible (true);
        okButton->setText (texts->getText (TextId::start));
        okButton->setBounds (right);
        cancelButton->setVisible (true);
        cancelButton->setText (texts->getText (TextId::close));
        cancelButton->setBounds (left);
    }
    else if (screenState == updating)
    {
        okButton->setVisible (false);
        cancelButton->setVisible (false);
    }

    repaint();
}

void MainComponent::addUpdateModeText (float, float, int, const juce::String&) {}
void MainComponent::addRecoveryText (float, float, int, const juce::String&, bool) {}

void MainComponent::paint (juce::Graphics& g)
{
    g.fillAll (backgroundColour);
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

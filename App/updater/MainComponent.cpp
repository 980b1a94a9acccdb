#include "updater/MainComponent.h"

#include "resources/ImageLoader.h"
#include "resources/TxtLoader.h"
#include "updater/AlineButton.h"
#include "updater/BackgroundColour.h"
#include "updater/FontMapLookAndFeel.h"
#include "updater/LangLookAndFeel.h"
#include "updater/ProgressLookAndFeel.h"

//==============================================================================
MainComponent::MainComponent()
    : MainComponent (MembersOnly {})
{
    // The tables name Windows fonts; the default look-and-feel resolves them to installed ones.
    fontMap = std::make_unique<FontMapLookAndFeel>();
    juce::LookAndFeel::setDefaultLookAndFeel (fontMap.get());
    juce::Typeface::clearTypefaceCache();

    TxtLoader::createInstance();
    ImageLoader::createInstance();

    langLookAndFeel = std::make_unique<LangLookAndFeel>();

    languageBox = std::make_unique<juce::ComboBox> ("langs");
    addAndMakeVisible (*languageBox);
    languageBox->setLookAndFeel (langLookAndFeel.get());
    languageBox->addListener (this);
    languageBox->setWantsKeyboardFocus (false);

    auto* texts = TxtLoader::getInstance();

    for (int i = 0; i < numLanguages; ++i)
        if (texts->available[i] != 0)
            languageBox->addItem (texts->getLanguageName (i), i + 1);

    languageBox->setSelectedId (texts->currentLanguage + 1, juce::dontSendNotification);

    progressLookAndFeel = std::make_unique<ProgressLookAndFeel>();

    progressBar = std::make_unique<juce::ProgressBar> (progressShown);
    addAndMakeVisible (*progressBar);
    progressBar->setLookAndFeel (progressLookAndFeel.get());
    progressBar->setColour (juce::ProgressBar::foregroundColourId, juce::Colour (61, 61, 61));
    progressBar->setColour (juce::ProgressBar::backgroundColourId, juce::Colour (8, 8, 8));
    progressMirror = std::make_unique<ProgressMirror> (*this);

    for (auto* button : { &okButton, &cancelButton })
    {
        *button = std::make_unique<AlineButton> (button == &okButton ? "OK" : "Cancel");
        addAndMakeVisible (**button);
        (*button)->addListener (this);
        (*button)->setFontStyle (1);
        (*button)->setColour (juce::TextButton::buttonColourId, backgroundColour);
        (*button)->setColour (juce::TextButton::buttonOnColourId, backgroundColour);
    }

    checkUpdateFile();

    std::fill (std::begin (rxReport), std::end (rxReport), (juce::uint8) 0);
    lastPercent = 0.0;

    hidCtrl = std::make_unique<HidCtrl>();
    hidCtrl->open (this, fileValid);

    setSize (420, 170);
}

MainComponent::MainComponent (MembersOnly)
    : juce::Thread ("MainComponent")
{
}

MainComponent::~MainComponent()
{
    // The system may ask the program to quit while a transfer runs: end the thread the way quit
    // does before anything it uses goes away.
    stopUpdateThread();
    cancelPendingUpdate();

    progressMirror.reset();

    if (languageBox != nullptr)
        languageBox->setLookAndFeel (nullptr);

    if (progressBar != nullptr)
        progressBar->setLookAndFeel (nullptr);

    // The widgets go before the look-and-feels that they use.
    languageBox.reset();
    progressBar.reset();
    okButton.reset();
    cancelButton.reset();
    langLookAndFeel.reset();
    progressLookAndFeel.reset();

    if (hidCtrl != nullptr)
    {
        hidCtrl->close();
        hidCtrl.reset();
    }

    ImageLoader::deleteInstance();
    TxtLoader::deleteInstance();

    if (fontMap != nullptr)
    {
        juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
        fontMap.reset();
    }
}

//==============================================================================
void MainComponent::setScreen (int state)
{
    if (screenState != languageChoice && fileValid == 0)
        return; // the bad-file screen stays

    if (screenState == updateComplete || screenState == updateFailed)
        return; // final

    if (state != screenState)
        screenShownAt = juce::Time::getMillisecondCounterHiRes();

    screenState = state;
    rebuildScreen();
}

void MainComponent::postScreenState (int state)
{
    const juce::ScopedLock sl (stateLock);
    pendingState = state;
    triggerAsyncUpdate();
}

void MainComponent::handleAsyncUpdate()
{
    // On the first screen OK reads the device link itself; posts are not applied there.
    if (screenState == languageChoice)
        return;

    const juce::ScopedLock sl (stateLock);

    if (pendingState != none)
        setScreen (pendingState);

    pendingState = none;
}

//==============================================================================
void MainComponent::buttonStateChanged (juce::Button* button)
{
    if (button->isDown())
        pressBeganAt = juce::Time::getMillisecondCounterHiRes();
}

bool MainComponent::pressWasForThisScreen() const
{
    // Start and the buttons of the later screens stand where OK or Cancel stood: the second
    // click of a double click must not press them.
    const double sinceShown = pressBeganAt - screenShownAt;
    return sinceShown < 0 || sinceShown >= juce::MouseEvent::getDoubleClickTimeout();
}

void MainComponent::buttonClicked (juce::Button* button)
{
    if (!pressWasForThisScreen())
        return;

    if (button == okButton.get())
    {
        if (screenState == languageChoice)
        {
            if (hidCtrl->connectionState != ConnectionState::disconnected)
            {
                deviceFirmwareVersion = (int) hidCtrl->firmwareVersion;
                setScreen (readyToUpdate);
            }
            else
            {
                deviceFirmwareVersion = -1;
                setScreen (noDevice);
            }
        }
        else if (screenState == readyToUpdate && fileValid != 0)
        {
            replyEvent.reset();
            startThread();
        }
        else
        {
            quit();
        }
    }
    else if (button == cancelButton.get())
    {
        quit();
    }
}

void MainComponent::comboBoxChanged (juce::ComboBox* box)
{
    if (box != languageBox.get())
        return;

    auto* texts = TxtLoader::getInstance();
    const int index = languageBox->getSelectedId() - 1;

    if (index != texts->currentLanguage)
        texts->setLanguage (index);

    rebuildScreen();
}

//==============================================================================
void MainComponent::onDeviceRemoved()
{
    deviceFirmwareVersion = -1;
    wakeUpdateThreadOrPost (noDevice);
}

void MainComponent::onDeviceArrived()
{
    deviceFirmwareVersion = (int) hidCtrl->firmwareVersion;
    wakeUpdateThreadOrPost (readyToUpdate);
}

void MainComponent::wakeUpdateThreadOrPost (int state)
{
    // While updating, a device event never changes the screen: the thread reads reply code 0.
    if (isTransferRunning())
    {
        {
            const juce::ScopedLock sl (rxReportLock);
            std::fill (std::begin (rxReport), std::end (rxReport), (juce::uint8) 0);
        }
        replyEvent.signal();
    }
    else
    {
        postScreenState (state);
    }
}

void MainComponent::onReportReceived()
{
    const auto n = juce::jmin (hidCtrl->reportLength, hidReportSize);

    if (n == 0)
        return;

    {
        const juce::ScopedLock sl (rxReportLock);
        std::copy (hidCtrl->report, hidCtrl->report + n, rxReport);
    }

    if (isTransferRunning())
        replyEvent.signal();
}

bool MainComponent::isTransferRunning() const
{
    // The thread's first post may not have been applied yet when its first reply arrives:
    // that reply must still wake it, or the start would time out.
    return screenState == updating || isThreadRunning();
}

//==============================================================================
void MainComponent::stopUpdateThread()
{
    {
        const juce::ScopedLock sl (rxReportLock);
        std::fill (std::begin (rxReport), std::end (rxReport), (juce::uint8) 0);
    }

    replyEvent.signal();
    stopThread (-1);
}

void MainComponent::quit()
{
    stopUpdateThread();

    if (auto* app = juce::JUCEApplication::getInstance())
        app->systemRequestedQuit();
}

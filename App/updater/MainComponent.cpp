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

    langLookAndFeel = new LangLookAndFeel();

    languageBox = new juce::ComboBox ("langs");
    addAndMakeVisible (languageBox);
    languageBox->setLookAndFeel (langLookAndFeel);
    languageBox->addListener (this);
    languageBox->setWantsKeyboardFocus (false);

    auto* texts = TxtLoader::getInstance();

    for (int i = 0; i < numLanguages; ++i)
        if (texts->available[i] != 0)
            languageBox->addItem (texts->getLanguageName (i), i + 1);

    languageBox->setSelectedId (texts->currentLanguage + 1, juce::dontSendNotification);

    progressLookAndFeel = new ProgressLookAndFeel();

    progressBar = new juce::ProgressBar (progressShown);
    addAndMakeVisible (progressBar);
    progressBar->setLookAndFeel (progressLookAndFeel);
    progressBar->setColour (juce::ProgressBar::foregroundColourId, juce::Colour (61, 61, 61));
    progressBar->setColour (juce::ProgressBar::backgroundColourId, juce::Colour (8, 8, 8));
    progressMirror = std::make_unique<ProgressMirror> (*this);

    for (auto** button : { &okButton, &cancelButton })
    {
        *button = new AlineButton (button == &okButton ? "OK" : "Cancel");
        addAndMakeVisible (*button);
        (*button)->addListener (this);
        (*button)->setFontStyle (1);
        (*button)->setColour (juce::TextButton::buttonColourId, backgroundColour);
        (*button)->setColour (juce::TextButton::buttonOnColourId, backgroundColour);
    }

    checkUpdateFile();

    std::fill (std::begin (rxReport), std::end (rxReport), (juce::uint8) 0);
    lastPercent = 0.0;

    hidCtrl = new HidCtrl();
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

    delete languageBox;
    languageBox = nullptr;
    delete progressBar;
    progressBar = nullptr;
    delete okButton;
    okButton = nullptr;
    delete cancelButton;
    cancelButton = nullptr;
    delete langLookAndFeel;
    langLookAndFeel = nullptr;
    delete progressLookAndFeel;
    progressLookAndFeel = nullptr;

    if (hidCtrl != nullptr)
    {
        hidCtrl->close();
        delete hidCtrl;
        hidCtrl = nullptr;
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
void MainComponent::buttonClicked (juce::Button* button)
{
    if (button == okButton)
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
    else if (button == cancelButton)
    {
        quit();
    }
}

void MainComponent::comboBoxChanged (juce::ComboBox* box)
{
    if (box != languageBox)
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

#include "platform/linux/InstanceSignal.h"
#include "platform/linux/TitleBarHints.h"
#include "platform/linux/XDisplay.h"
#include "platform/winapi/WinApi.h"
#include "updater/BackgroundColour.h"
#include "updater/MainComponent.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>

//==============================================================================
/** The one top-level window; its content is the MainComponent. */
class MainWindow : public juce::ResizableWindow,
                   private juce::Timer
{
public:
    MainWindow()
        : juce::ResizableWindow ("VN382UpdateProgram", true)
    {
        setContentOwned (new MainComponent(), true);
        centreWithSize (getWidth(), getHeight());
        keptBounds = getBounds();
        setAlwaysOnTop (true);
        setVisible (true);
        setUsingNativeTitleBar (true);
        TitleBarHints::removeWindowMenu (*this);
        TitleBarHints::fixSize (*this);
        startTimer (placingCheckInterval);
    }

    ~MainWindow() override = default;

    // JUCE 7 draws a 1-pixel border where the program expects 3; keep its sizes.
    juce::BorderSize<int> getBorderThickness() override
    {
        return isUsingNativeTitleBar() ? juce::BorderSize<int>() : juce::BorderSize<int> (3);
    }

    // A close offered by a window manager that ignores the hints must not end the program:
    // it ends only through its own buttons.
    void userTriedToCloseWindow() override {}

    void moved() override
    {
        juce::ResizableWindow::moved();

        if (!isUsingNativeTitleBar())
            return;

        if (!clientAreaPlaced)
        {
            placeClientAreaOnceFramed();
            return;
        }

        if (getBounds() == keptBounds)
            return;

        // Reports that the window manager sent before it carried out the placing still show
        // the window where it had put it: not a move by the user. Left there, the framework's
        // bounds would take the window back there at its next paint after an idle while.
        if (getBounds() == misplacedBounds && ++misplacedReports <= maxRestoresInARow)
        {
            placeAt (keptBounds);
            return;
        }

        // Moved by the user: the window keeps its size here from now on.
        misplacedBounds = {};

        if (hasKeptSize())
            keptBounds = getBounds();
    }

    // Window managers may make a window fullscreen or maximised whatever its size hints say,
    // or resize it: take such a state back off and return to the one size, where it was.
    void resized() override
    {
        juce::ResizableWindow::resized();

        if (!isUsingNativeTitleBar() || keptBounds.isEmpty())
            return;

        if (hasKeptSize())
        {
            restoresInARow = 0;
            return;
        }

        // A window manager that insists on its size is not fought for ever.
        if (++restoresInARow > maxRestoresInARow)
            return;

        TitleBarHints::leaveFullScreenAndMaximised (*this);
        placeAt (keptBounds);
    }

private:
    bool hasKeptSize() const { return getWidth() == keptBounds.getWidth() && getHeight() == keptBounds.getHeight(); }

    // The framework places a framed window by its frame's size, which the window manager
    // tells only once it has framed the window: until then the frame's corner lands where
    // the client area's should. Put the client area back where it was centred once the
    // frame is known.
    void placeClientAreaOnceFramed()
    {
        if (auto* peer = getPeer())
        {
            if (const auto frame = peer->getFrameSizeIfPresent(); frame && !(*frame).isEmpty())
            {
                clientAreaPlaced = true;

                if (getBounds() != keptBounds)
                {
                    misplacedBounds = getBounds();
                    placeAt (keptBounds);
                }
            }
        }
    }

    // The window manager frames the window while the program starts, when the framework may
    // read its events and leave them waiting for more (XDisplay::handleEventsAlreadyRead);
    // and it may tell the frame after its last move. Until the client area is placed, have the
    // events handled and look at the frame again.
    void timerCallback() override
    {
        XDisplay::handleEventsAlreadyRead();

        if (!clientAreaPlaced && getBounds() != keptBounds)
            placeClientAreaOnceFramed();

        if (clientAreaPlaced || ++placingChecks >= maxPlacingChecks)
            stopTimer();
    }

    // Each placing by the framework drops the size limits from the window manager's hints.
    void placeAt (juce::Rectangle<int> bounds)
    {
        setBounds (bounds);
        TitleBarHints::fixSize (*this);
    }

    static constexpr int maxRestoresInARow = 3;
    static constexpr int placingCheckInterval = 100; // ms
    static constexpr int maxPlacingChecks = 300;

    juce::Rectangle<int> keptBounds;      // where the client area belongs, at its one size
    juce::Rectangle<int> misplacedBounds; // where the window manager first put it, if elsewhere
    bool clientAreaPlaced = false;
    int misplacedReports = 0;
    int restoresInARow = 0;
    int placingChecks = 0;

    JUCE_DECLARE_NON_COPYABLE (MainWindow)
};

//==============================================================================
class Application : public juce::JUCEApplication
{
public:
    Application() = default;

    void initialise (const juce::String&) override
    {
        // Titles in any language need the C library's character type from the environment.
        std::setlocale (LC_CTYPE, "");

        // One copy per user: a start that is not the one copy hands its command line over to it,
        // and says why on standard error when it cannot.
        instanceSignal = std::make_unique<InstanceSignal> (getApplicationName());
        const auto role = instanceSignal->listen ([this] (const juce::String& commandLine)
                                                  { anotherInstanceStarted (commandLine); });

        if (role != InstanceSignal::Role::listening)
        {
            if (role == InstanceSignal::Role::unusable || !instanceSignal->handOver (getCommandLineParameters(), handOverTimeoutMs))
            {
                std::fprintf (stderr, "VN382UpdateProgram: not started: %s\n", instanceSignal->getError().toRawUTF8());
                setApplicationReturnValue (1);
            }

            instanceSignal.reset();
            quit();
            return;
        }

        mainWindow = std::make_unique<MainWindow>();
    }

    void shutdown() override
    {
        instanceSignal.reset();
        mainWindow.reset();
    }

    const juce::String getApplicationName() override { return "VN382UpdateProgram"; }
    const juce::String getApplicationVersion() override { return "0.0.0.1"; }

    bool moreThanOneInstanceAllowed() override
    {
        AllowSetForegroundWindow (ASFW_ANY);

        // The framework's lock is one file for all users, in a folder that all of them can write
        // to: any of them could keep the program from starting. The signal keeps one copy per user.
        return true;
    }

    void anotherInstanceStarted (const juce::String&) override
    {
        // On X11 toFront always asks the window manager to activate the window, which raises
        // and focuses it. Asked to take the focus itself as well, JUCE sets the input focus
        // before the window is raised, after which it was seen to paint nothing more (a blank
        // window in front); so the window manager alone gives the focus here.
        if (mainWindow != nullptr && mainWindow->isVisible())
        {
            mainWindow->toFront (!takesFocusFromWindowManager);
            mainWindow->repaint(); // don't rely on the raise's exposure to draw the window again
        }
    }

private:
#if JUCE_LINUX || JUCE_BSD
    static constexpr bool takesFocusFromWindowManager = true;
#else
    static constexpr bool takesFocusFromWindowManager = false;
#endif
    static constexpr int handOverTimeoutMs = 2000;

    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<InstanceSignal> instanceSignal;
};

//==============================================================================
// The framework's own start-up, once an X display answers: without one it would open the
// device link and then crash placing the window.
int main (int argc, char* argv[])
{
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase*
    { return new Application(); };

    const juce::ScopedJuceInitialiser_GUI framework;

    if (!XDisplay::isOpen())
    {
        const char* name = std::getenv ("DISPLAY");
        std::fprintf (stderr, "VN382UpdateProgram: no X display could be opened (DISPLAY=%s)\n",
                      name != nullptr ? name : "unset");
        return 1;
    }

    return juce::JUCEApplicationBase::main (argc, (const char**) argv);
}

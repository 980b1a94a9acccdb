#pragma once

#include "device/HidCtrl.h"
#include "device/HidHandler.h"
#include "updater/ReplyEvent.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <memory>

class AlineButton;
class FontMapLookAndFeel;
class LangLookAndFeel;
class ProgressLookAndFeel;

/** The six screens; updateComplete and updateFailed are final. none marks no pending state. */
enum ScreenState
{
    none = -1,
    languageChoice = 0,
    noDevice = 1,
    readyToUpdate = 2,
    updating = 3,
    updateComplete = 4,
    updateFailed = 5
};

/** Byte 0 of a request report. */
enum class UpdateCommand : juce::uint8
{
    start = 0xF0,
    beginImage = 0xF1,
    status = 0xF2,
    imageData = 0xF3
};

/** Byte 0 of a reply report; 0 means that a device event or quit woke the update thread. */
enum class DeviceReply : juce::uint8
{
    busy = 0xF7,
    startAccepted = 0xF8,
    blockAccepted = 0xF9,
    finalBlockAcceptedB = 0xFB,
    finished = 0xFC,
    finalBlockAccepted = 0xFE
};

/** File bytes carried by one data report. */
constexpr int blockDataSize = 1022;

/** printf-style formatting of a UTF-8 format with ints and UTF-8 strings (const char*). */
juce::String formatString (const char* format, ...);

//==============================================================================
/**
    The whole content of the updater's window: the screens, the device link and the update
    thread.

    It owns the widgets, their look-and-feels and the device link, finds and checks the update
    file at construction, runs the screen state machine, and is itself the update thread, whose
    run() sends the update file to the device.

    Threads: everything runs on the message thread, the device callbacks included, except run()
    (the update thread) and postScreenState() (any thread). The update thread touches no widget;
    it shares with the message thread only progress (atomic), rxReport (under rxReportLock),
    replyEvent and pendingState (under stateLock).
*/
class MainComponent : public juce::Component,
                      public juce::AsyncUpdater,
                      public juce::Thread,
                      public HidHandler,
                      public juce::ComboBox::Listener,
                      public juce::Button::Listener
{
public:
    //==============================================================================
    MainComponent();
    ~MainComponent() override;

    //==============================================================================
    void paint (juce::Graphics& g) override;
    void resized() override;

    void handleAsyncUpdate() override;
    void run() override;

    void onDeviceRemoved() override;
    void onDeviceArrived() override;
    void onReportReceived() override;

    void comboBoxChanged (juce::ComboBox* box) override;
    void buttonClicked (juce::Button* button) override;
    void buttonStateChanged (juce::Button* button) override;

    //==============================================================================
    /** Shows a screen, unless a final or the bad-file screen already shows (message thread). */
    void setScreen (int state);

    /** Hands a screen state to the message thread; of several posts only the last shows (any thread). */
    void postScreenState (int state);

    //==============================================================================
    /** Looks in the executable's folder (not its sub-folders) for a file that the platform
        lists for "*.upd" and whose name passes isUpdateFileName; the first one listed is taken.
        Its bare name (at most 19 bytes of UTF-8) is then appended to out, which must have room
        for 20 more bytes.
    */
    static bool findUpdateFile (const char* prefix, const char* extension, char* out);

    /** True when name (UTF-8) starts with prefix, the text from its first '.' starts with
        extension, both case-sensitively, and it is 12 to 19 bytes long.
    */
    static bool isUpdateFileName (const char* name, const char* prefix, const char* extension);

    /** CRC-16/XMODEM of length bytes (0 for none). */
    static juce::uint16 calcCrc16 (const juce::uint8* data, int length);

    /** 0 to 15 for the hexadecimal digits of either case, 0 for any other character. */
    static juce::uint8 hexDigitValue (juce::uint8 c);

    /** Paints a vector status icon (alert-window icon codes) into (20, 15, 64, 64). */
    static void drawStatusIcon (juce::Graphics& g, int iconType);

private:
    //==============================================================================
    friend struct MainComponentTestAccess;

    struct MembersOnly
    {
    };

    /** Builds the members alone, with none of the constructor's steps: no widgets, no device
        link, no file search. Lets tests reach single operations; the destructor copes with it.
    */
    explicit MainComponent (MembersOnly);

    //==============================================================================
    /** The constructor's file steps: searches the prefixes in their order, keeps the name
        found, loads that file and sets fileValid, fileVersion and payloadSize from it.
    */
    void checkUpdateFile();

    /** Reads the named file of the executable's folder whole. Returns its length less the
        36-byte header when it begins with the first 5 characters of magic, else 0. Sets
        *version (-1 first) and the image fields for any file of 36 bytes or more that was
        read completely; files that cannot be read whole leave both untouched.
    */
    int loadUpdateFile (const juce::String& name, const char* magic, int* version);

    /** loadUpdateFile's work on an opened file. */
    int loadUpdateStream (juce::InputStream& stream, const char* magic, int* version);

    //==============================================================================
    /** Lays out the current screen's texts and widgets in the current language, then repaints. */
    void rebuildScreen();
    void addUpdateModeText (float x, float y, int language, const juce::String& fontName);
    void addRecoveryText (float x, float y, int language, const juce::String& fontName, bool withHeading);

    /** False for a press that began within the double-click interval after the screen changed. */
    bool pressWasForThisScreen() const;

    /** Wakes a waiting update thread with reply code 0, waits for it to end, and quits. */
    void quit();

    /** True while the updating screen shows or the update thread runs. */
    bool isTransferRunning() const;

    /** A device event: wakes the update thread with reply code 0 while updating, else posts state. */
    void wakeUpdateThreadOrPost (int state);

    /** Stops a running update thread in quit's orderly way. */
    void stopUpdateThread();

    //==============================================================================
    juce::GlyphArrangement textLayout;
    std::unique_ptr<LangLookAndFeel> langLookAndFeel;
    std::unique_ptr<juce::ComboBox> languageBox;
    std::unique_ptr<ProgressLookAndFeel> progressLookAndFeel;
    std::atomic<double> progress { 0.0 }; // written by the update thread
    double progressShown = 0.0;           // the bar's copy, refreshed on the message thread
    std::unique_ptr<juce::ProgressBar> progressBar;
    std::unique_ptr<AlineButton> okButton;
    std::unique_ptr<AlineButton> cancelButton;
    juce::CriticalSection stateLock;
    ReplyEvent replyEvent;
    int fileVersion = -1;
    int fileValid = 0;
    int payloadSize = 0;
    juce::uint32 imageSize[1] = {};
    juce::uint16 imageCrc[1] = {};
    juce::uint8 imageWrite[1] = {};
    int deviceFirmwareVersion = -1;
    int screenState = languageChoice;
    int pendingState = none;
    double screenShownAt = 0.0; // millisecond counter when screenState last changed
    double pressBeganAt = -1.0; // the same when a button last went down
    std::unique_ptr<HidCtrl> hidCtrl;
    juce::uint8 rxReport[hidReportSize] = {};
    juce::CriticalSection rxReportLock; // the report copy against the update thread's read
    double lastPercent = 0.0;
    juce::String updateFileName;

    /** Copies progress into the bar's double on the message thread, only while the bar shows. */
    struct ProgressMirror : private juce::Timer
    {
        explicit ProgressMirror (MainComponent& c)
            : owner (c)
        {
        }
        ~ProgressMirror() override { stopTimer(); }

        void follow (bool shouldFollow)
        {
            if (!shouldFollow)
                stopTimer();
            else if (!isTimerRunning())
                startTimer (30);
        }

        void timerCallback() override { owner.progressShown = owner.progress.load(); }
        MainComponent& owner;
    };

    std::unique_ptr<ProgressMirror> progressMirror;
    std::unique_ptr<FontMapLookAndFeel> fontMap;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainComponent)
};

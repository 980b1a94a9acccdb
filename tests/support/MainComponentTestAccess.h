#pragma once

#include "updater/MainComponent.h"

#include <memory>

/** Tests' way into MainComponent's private members. Extend it with what a test needs. */
struct MainComponentTestAccess
{
    /** A component with its members only: none of the constructor's steps have run. */
    static std::unique_ptr<MainComponent> createMembersOnly()
    {
        return std::unique_ptr<MainComponent> (new MainComponent (MainComponent::MembersOnly {}));
    }

    static void checkUpdateFile (MainComponent& c) { c.checkUpdateFile(); }

    static int loadUpdateFile (MainComponent& c, const juce::String& name, const char* magic, int* version)
    {
        return c.loadUpdateFile (name, magic, version);
    }

    static int loadUpdateStream (MainComponent& c, juce::InputStream& stream, const char* magic, int* version)
    {
        return c.loadUpdateStream (stream, magic, version);
    }

    static int& fileVersion (MainComponent& c) { return c.fileVersion; }
    static int& fileValid (MainComponent& c) { return c.fileValid; }
    static int& payloadSize (MainComponent& c) { return c.payloadSize; }
    static juce::uint32& imageSize (MainComponent& c) { return c.imageSize[0]; }
    static juce::uint16& imageCrc (MainComponent& c) { return c.imageCrc[0]; }
    static juce::uint8& imageWrite (MainComponent& c) { return c.imageWrite[0]; }
    static juce::String& updateFileName (MainComponent& c) { return c.updateFileName; }

    // Screens, widgets and the device link
    static void rebuildScreen (MainComponent& c) { c.rebuildScreen(); }
    static void addUpdateModeText (MainComponent& c, float x, float y, int language, const juce::String& font) { c.addUpdateModeText (x, y, language, font); }
    static void addRecoveryText (MainComponent& c, float x, float y, int language, const juce::String& font, bool heading) { c.addRecoveryText (x, y, language, font, heading); }
    static void quit (MainComponent& c) { c.quit(); }
    static juce::GlyphArrangement& textLayout (MainComponent& c) { return c.textLayout; }
    static juce::ComboBox* languageBox (MainComponent& c) { return c.languageBox.get(); }
    static juce::ProgressBar* progressBar (MainComponent& c) { return c.progressBar.get(); }
    static AlineButton* okButton (MainComponent& c) { return c.okButton.get(); }
    static AlineButton* cancelButton (MainComponent& c) { return c.cancelButton.get(); }
    static HidCtrl* hidCtrl (MainComponent& c) { return c.hidCtrl.get(); }
    static int& screenState (MainComponent& c) { return c.screenState; }
    static int& pendingState (MainComponent& c) { return c.pendingState; }
    static int& deviceFirmwareVersion (MainComponent& c) { return c.deviceFirmwareVersion; }
    static juce::uint8* rxReport (MainComponent& c) { return c.rxReport; }
    static ReplyEvent& replyEvent (MainComponent& c) { return c.replyEvent; }

    // The update thread
    static std::atomic<double>& progress (MainComponent& c) { return c.progress; }
    static double& lastPercent (MainComponent& c) { return c.lastPercent; }

    // transfer
    static juce::CriticalSection& rxReportLock (MainComponent& c) { return c.rxReportLock; }
};

#pragma once

#include "updater/MainComponent.h"

#include <memory>

/** Tests' way into MainComponent's private members. */
struct MainComponentTestAccess
{
    using C = MainComponent;

    /** A component with its members only: none of the constructor's steps have run. */
    static std::unique_ptr<C> createMembersOnly() { return std::unique_ptr<C> (new C (C::MembersOnly {})); }

    static void checkUpdateFile (C& c) { c.checkUpdateFile(); }
    static int loadUpdateFile (C& c, const juce::String& name, const char* magic, int* version) { return c.loadUpdateFile (name, magic, version); }
    static int& fileVersion (C& c) { return c.fileVersion; }
    static int& fileValid (C& c) { return c.fileValid; }
    static int& payloadSize (C& c) { return c.payloadSize; }
    static juce::uint32& imageSize (C& c) { return c.imageSize[0]; }
    static juce::uint16& imageCrc (C& c) { return c.imageCrc[0]; }
    static juce::uint8& imageWrite (C& c) { return c.imageWrite[0]; }
    static juce::String& updateFileName (C& c) { return c.updateFileName; }

    static void rebuildScreen (C& c) { c.rebuildScreen(); }
    static void quit (C& c) { c.quit(); }
    static juce::GlyphArrangement& textLayout (C& c) { return c.textLayout; }
    static juce::ComboBox* languageBox (C& c) { return c.languageBox.get(); }
    static juce::ProgressBar* progressBar (C& c) { return c.progressBar.get(); }
    static AlineButton* okButton (C& c) { return c.okButton.get(); }
    static AlineButton* cancelButton (C& c) { return c.cancelButton.get(); }
    static HidCtrl& hidCtrl (C& c) { return *c.hidCtrl; }
    static int& screenState (C& c) { return c.screenState; }
    static int& deviceFirmwareVersion (C& c) { return c.deviceFirmwareVersion; }
    static juce::uint8* rxReport (C& c) { return c.rxReport; }
    static std::atomic<double>& progress (C& c) { return c.progress; }
};

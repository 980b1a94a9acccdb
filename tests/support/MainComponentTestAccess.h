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
};

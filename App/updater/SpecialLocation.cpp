#include "updater/SpecialLocation.h"

namespace
{
    // The override is set by tests on the message thread and may be read on the update thread.
    juce::CriticalSection& overrideLock()
    {
        static juce::CriticalSection lock;
        return lock;
    }

    juce::File& executableFolderOverride()
    {
        static juce::File folder;
        return folder;
    }
}

juce::File getSpecialLocation (juce::File::SpecialLocationType type)
{
    auto location = juce::File::getSpecialLocation (type);

    if (type == juce::File::currentExecutableFile)
    {
        const juce::ScopedLock sl (overrideLock());

        if (executableFolderOverride() != juce::File())
            return executableFolderOverride().getChildFile (location.getFileName());
    }

    return location;
}

void setExecutableFolderOverride (const juce::File& folder)
{
    const juce::ScopedLock sl (overrideLock());
    executableFolderOverride() = folder;
}

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
       #if JUCE_LINUX
        // JUCE takes argv[0] against the current folder, which names the wrong file when the
        // program was started through PATH; the kernel knows the running file.
        const juce::File running ("/proc/self/exe");

        if (running.isSymbolicLink())
            location = running.getLinkedTarget();
       #endif

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

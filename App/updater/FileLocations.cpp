#include "updater/FileLocations.h"

#if !JUCE_WINDOWS
#include <sys/stat.h>
#endif

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
} // namespace

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

bool isRegularFile (const juce::File& file)
{
    if (!file.existsAsFile())
        return false;

#if !JUCE_WINDOWS
    struct stat info;

    if (stat (file.getFullPathName().toRawUTF8(), &info) != 0 || !S_ISREG (info.st_mode))
        return false;
#endif

    return true;
}

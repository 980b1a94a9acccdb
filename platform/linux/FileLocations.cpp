#include "platform/linux/FileLocations.h"

#include <sys/stat.h>

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
    if (type != juce::File::currentExecutableFile)
        return juce::File::getSpecialLocation (type);

    // JUCE's currentExecutableFile takes the loader's name for the program against the current
    // folder, which names the wrong file when the program was started through PATH; the host
    // application path is the running file as the kernel knows it (/proc/self/exe).
    const auto location = juce::File::getSpecialLocation (juce::File::hostApplicationPath);
    const juce::ScopedLock sl (overrideLock());

    if (executableFolderOverride() != juce::File())
        return executableFolderOverride().getChildFile (location.getFileName());

    return location;
}

void setExecutableFolderOverride (const juce::File& folder)
{
    const juce::ScopedLock sl (overrideLock());
    executableFolderOverride() = folder;
}

bool isRegularFile (const juce::File& file)
{
    struct stat info;
    return stat (file.getFullPathName().toRawUTF8(), &info) == 0 && S_ISREG (info.st_mode);
}

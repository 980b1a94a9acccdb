#pragma once

#include <juce_core/juce_core.h>

/** The program's one way to the framework's special locations.

    Gives what juce::File::getSpecialLocation gives for the type. The program asks only for
    juce::File::currentExecutableFile, whose parent folder holds the update file.

    Threads: any. The message thread calls it at start-up, the update thread when it opens the
    update file again.
*/
juce::File getSpecialLocation (juce::File::SpecialLocationType type);

/** For tests only: makes currentExecutableFile answer as if the executable lay in the given
    folder (a file of the executable's own name inside it). juce::File() restores the real
    location; other types are never affected.
*/
void setExecutableFolderOverride (const juce::File& folder);

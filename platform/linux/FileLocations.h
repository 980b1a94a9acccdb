#pragma once

#include <juce_core/juce_core.h>

/** The program's one way to the framework's special locations.

    Gives what juce::File::getSpecialLocation gives for the type, except that on Linux
    juce::File::currentExecutableFile is the running file, however the program was started.
    The program asks only for that one, whose parent folder holds the update file.

    Threads: any. The message thread calls it at start-up, the update thread when it opens the
    update file again.
*/
juce::File getSpecialLocation (juce::File::SpecialLocationType type);

/** For tests only: makes currentExecutableFile answer as if the executable lay in the given
    folder (a file of the executable's own name inside it). juce::File() restores the real
    location; other types are never affected.
*/
void setExecutableFolderOverride (const juce::File& folder);

/** True for an existing regular file. Only such files are opened: on POSIX a FIFO or device of
    the update file's name would block the open (and quit, waiting for the update thread, with
    it), and the framework opens folders too.
*/
bool isRegularFile (const juce::File& file);

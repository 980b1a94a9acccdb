#include <gtest/gtest.h>

#include "platform/linux/FileLocations.h"

#include <cstdio>
#include <cstdlib>

// The update file is looked for beside the executable, so the executable must be the running
// file however the program was started. This binary starts itself again by its bare name through
// PATH, from another folder, and the copy prints what it takes for its own file.
TEST (ExecutableLocation, IsTheRunningFileEvenWhenStartedThroughPath)
{
    if (std::getenv ("UPDATER_PRINT_EXECUTABLE") != nullptr)
    {
        std::printf ("executable=%s\n",
                     getSpecialLocation (juce::File::currentExecutableFile).getFullPathName().toRawUTF8());
        return;
    }

    const auto self = juce::File ("/proc/self/exe").getLinkedTarget();
    const auto elsewhere = juce::File::getSpecialLocation (juce::File::tempDirectory);
    ASSERT_NE (elsewhere, self.getParentDirectory());

    juce::ChildProcess child;
    ASSERT_TRUE (child.start (juce::StringArray { "env", "-C", elsewhere.getFullPathName(),
                                                  "PATH=" + self.getParentDirectory().getFullPathName(),
                                                  "UPDATER_PRINT_EXECUTABLE=1", self.getFileName(),
                                                  "--gtest_filter=ExecutableLocation.*" }));

    const auto output = child.readAllProcessOutput();
    EXPECT_TRUE (output.contains ("executable=" + self.getFullPathName() + "\n")) << output;
}

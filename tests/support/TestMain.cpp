#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

// One JUCE GUI initialisation per test process: components, timers and the message loop work
// headless (DISPLAY unset), and the message thread is this thread.
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}

// The baseline of bench_startup: a JUCE window of 426 x 176 that paints one line of text.

#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
struct OneLine : juce::Component
{
    OneLine() { setSize (426, 176); }

    void paint (juce::Graphics& g) override
    {
        g.fillAll (juce::Colours::white);
        g.setColour (juce::Colours::black);
        g.setFont (13.0f);
        g.drawText ("One line of text", getLocalBounds(), juce::Justification::centred);
    }
};

struct Window : juce::DocumentWindow
{
    Window()
        : juce::DocumentWindow ("minimal", juce::Colours::white, 0)
    {
        setUsingNativeTitleBar (true);
        setContentOwned (new OneLine(), true);
        centreWithSize (getWidth(), getHeight());
        setVisible (true);
    }
};

struct App : juce::JUCEApplication
{
    const juce::String getApplicationName() override { return "bench_minimal_app"; }
    const juce::String getApplicationVersion() override { return "1.0"; }
    void initialise (const juce::String&) override { window = std::make_unique<Window>(); }
    void shutdown() override { window.reset(); }

    std::unique_ptr<Window> window;
};
} // namespace

START_JUCE_APPLICATION (App)

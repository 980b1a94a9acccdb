#include <gtest/gtest.h>

#include "updater/FontMapLookAndFeel.h"

// The program's default look-and-feel resolves the tables' Windows font names; every test of
// this binary draws with it, as the program does.
namespace
{
class FontMapEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        lookAndFeel = std::make_unique<FontMapLookAndFeel>();
        juce::LookAndFeel::setDefaultLookAndFeel (lookAndFeel.get());
        juce::Typeface::clearTypefaceCache();
    }

    void TearDown() override
    {
        juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
        lookAndFeel.reset();
    }

private:
    std::unique_ptr<FontMapLookAndFeel> lookAndFeel;
};

[[maybe_unused]] auto* const environment = ::testing::AddGlobalTestEnvironment (new FontMapEnvironment());
} // namespace

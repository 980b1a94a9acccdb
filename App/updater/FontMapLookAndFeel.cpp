#include "updater/FontMapLookAndFeel.h"

namespace
{
struct StandIn
{
    const char* name;
    const char* installed;
};

const StandIn standIns[] = {
    { "<Sans-Serif>", "Liberation Sans" },
    { "Arial", "Liberation Sans" },
    { "Microsoft YaHei", "Noto Sans CJK SC" },
    { "Malgun Gothic", "Noto Sans CJK KR" },
    { "MS UI Gothic", "Noto Sans CJK JP" },
};

const juce::StringArray& installedFamilies()
{
    static const juce::StringArray families = juce::Font::findAllTypefaceNames();
    return families;
}
} // namespace

//==============================================================================
juce::String FontMapLookAndFeel::getInstalledFamily (const juce::String& familyName)
{
    for (const auto& standIn : standIns)
    {
        if (familyName != standIn.name)
            continue;

        const auto& families = installedFamilies();

        if (!families.contains (familyName) && families.contains (standIn.installed))
            return standIn.installed;

        break;
    }

    return familyName;
}

juce::Typeface::Ptr FontMapLookAndFeel::getTypefaceForFont (const juce::Font& font)
{
    const auto name = font.getTypefaceName();
    const auto installed = getInstalledFamily (name);

    if (installed == name)
        return LookAndFeel_V2::getTypefaceForFont (font);

    juce::Font mapped (font);
    mapped.setTypefaceName (installed);
    return juce::Font::getDefaultTypefaceForFont (mapped);
}

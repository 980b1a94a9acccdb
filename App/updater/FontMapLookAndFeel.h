#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

//==============================================================================
/**
    The program's default look-and-feel. Its only task is to make the Windows family names of
    the string tables resolve to installed families that carry the same scripts, because JUCE
    matches family names exactly and a family that is not installed draws nothing:

        "Arial" and "<Sans-Serif>"  -> "Liberation Sans"
        "Microsoft YaHei"           -> "Noto Sans CJK SC", glyphs enlarged
        "Malgun Gothic"             -> "Noto Sans CJK KR", glyphs enlarged
        "MS UI Gothic"              -> "Noto Sans CJK JP", glyphs enlarged

    The CJK stand-ins' glyphs are drawn larger on the same line height, so that ideographs
    stand a little taller than Latin capitals, as the named fonts draw them. A name is replaced
    only when it is not installed itself and its stand-in is. Typefaces are resolved through
    the default look-and-feel only, so install it with juce::LookAndFeel::setDefaultLookAndFeel,
    and call juce::Typeface::clearTypefaceCache if any font was used before.

    Called on whichever thread resolves a font (the message thread in this program); it holds
    no state besides a list of installed families built once.
*/
class FontMapLookAndFeel : public juce::LookAndFeel_V2
{
public:
    FontMapLookAndFeel() = default;
    ~FontMapLookAndFeel() override = default;

    /** The installed family that stands in for the given family name, or the name itself. */
    static juce::String getInstalledFamily (const juce::String& familyName);

    juce::Typeface::Ptr getTypefaceForFont (const juce::Font& font) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FontMapLookAndFeel)
};

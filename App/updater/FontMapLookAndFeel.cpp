#include "updater/FontMapLookAndFeel.h"

namespace
{
struct StandIn
{
    const char* name;
    const char* installed;
    float scale; // of the installed family's glyphs on the same line height
};

// Noto Sans CJK spreads its ascent and descent over 1.45 em, the named CJK fonts over about
// 1 em: drawn unscaled, its ideographs come out no taller than Latin capitals and hard to read
// at the tables' height. Scaled by 1.15 they stand a pixel or two above the capitals, and
// every glyph still fits inside the font's ascent and descent.
const float cjkScale = 1.15f;

const StandIn standIns[] = {
    { "<Sans-Serif>", "Liberation Sans", 1.0f },
    { "Arial", "Liberation Sans", 1.0f },
    { "Microsoft YaHei", "Noto Sans CJK SC", cjkScale },
    { "Malgun Gothic", "Noto Sans CJK KR", cjkScale },
    { "MS UI Gothic", "Noto Sans CJK JP", cjkScale },
};

const juce::StringArray& installedFamilies()
{
    static const juce::StringArray families = juce::Font::findAllTypefaceNames();
    return families;
}

const StandIn* findStandIn (const juce::String& familyName)
{
    for (const auto& standIn : standIns)
    {
        if (familyName != standIn.name)
            continue;

        const auto& families = installedFamilies();

        if (!families.contains (familyName) && families.contains (standIn.installed))
            return &standIn;

        break;
    }

    return nullptr;
}

//==============================================================================
/** Another typeface's glyphs, enlarged about their baseline, with that typeface's ascent and
    descent. Glyphs are copied on first use, as JUCE's own typefaces load them.
*/
class ScaledTypeface : public juce::CustomTypeface
{
public:
    ScaledTypeface (juce::Typeface::Ptr sourceToUse, float scaleToUse)
        : source (std::move (sourceToUse))
        , scale (scaleToUse)
    {
        setCharacteristics (source->getName(), source->getStyle(), source->getAscent(), L' ');
    }

protected:
    bool loadGlyphIfPossible (juce::juce_wchar character) override
    {
        juce::Array<int> glyphs;
        juce::Array<float> offsets;
        source->getGlyphPositions (juce::String::charToString (character), glyphs, offsets);

        juce::Path outline;

        if (glyphs.isEmpty() || offsets.size() < 2 || !source->getOutlineForGlyph (glyphs.getFirst(), outline))
            return false;

        outline.applyTransform (juce::AffineTransform::scale (scale));
        addGlyph (character, outline, offsets[1] * scale);
        return true;
    }

private:
    juce::Typeface::Ptr source;
    const float scale;
};
} // namespace

//==============================================================================
juce::String FontMapLookAndFeel::getInstalledFamily (const juce::String& familyName)
{
    if (const auto* standIn = findStandIn (familyName))
        return standIn->installed;

    return familyName;
}

juce::Typeface::Ptr FontMapLookAndFeel::getTypefaceForFont (const juce::Font& font)
{
    const auto* standIn = findStandIn (font.getTypefaceName());

    if (standIn == nullptr)
        return LookAndFeel_V2::getTypefaceForFont (font);

    juce::Font mapped (font);
    mapped.setTypefaceName (standIn->installed);
    auto typeface = juce::Font::getDefaultTypefaceForFont (mapped);

    if (typeface == nullptr || standIn->scale == 1.0f)
        return typeface;

    return new ScaledTypeface (typeface, standIn->scale);
}

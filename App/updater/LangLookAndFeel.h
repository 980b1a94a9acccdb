#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

//==============================================================================
/**
    Look-and-feel of the language box. Each item of its pop-up list is a language's name
    written in that language; the item is drawn in that language's own font, and for the time
    of the call that font is also the process-wide fallback font name, which is put back
    before the call returns. The list's items are as high as the box.

    Message thread only.
*/
class LangLookAndFeel : public juce::LookAndFeel_V2
{
public:
    LangLookAndFeel() = default;
    ~LangLookAndFeel() override = default;

    void drawPopupMenuItem (juce::Graphics& g, const juce::Rectangle<int>& area,
                            bool isSeparator, bool isActive, bool isHighlighted, bool isTicked,
                            bool hasSubMenu, const juce::String& text, const juce::String& shortcutKeyText,
                            const juce::Drawable* icon, const juce::Colour* textColour) override;

    /** The closed box's text in the font of the language it names: JUCE 7 would draw a name
        in another script as missing glyphs, where the fallback font once supplied them.
    */
    juce::Font getLabelFont (juce::Label& label) override;

    /** Items as high as the box (JUCE 7 would make them two pixels lower). */
    juce::PopupMenu::Options getOptionsForComboBoxPopupMenu (juce::ComboBox& box, juce::Label& label) override;

    /** The window that opened the list is active again once the list has closed, unless
        another program's window was made active meanwhile. */
    void preparePopupMenuWindow (juce::Component& list) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LangLookAndFeel)
};

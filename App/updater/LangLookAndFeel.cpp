#include "updater/LangLookAndFeel.h"

#include "platform/linux/ActiveWindow.h"
#include "platform/linux/XDisplay.h"
#include "resources/TxtLoader.h"

void LangLookAndFeel::drawPopupMenuItem (juce::Graphics& g, const juce::Rectangle<int>& area,
                                         bool isSeparator, bool isActive, bool isHighlighted, bool isTicked,
                                         bool hasSubMenu, const juce::String& text, const juce::String& shortcutKeyText,
                                         const juce::Drawable* icon, const juce::Colour* textColour)
{
    const int width = area.getWidth();
    const int height = area.getHeight();
    const float halfH = (float) height * 0.5f;

    if (isSeparator)
    {
        g.setColour (juce::Colour (0x33000000));
        g.drawLine (5.5f, halfH, (float) width - 5.5f, halfH);
        g.setColour (juce::Colour (0x66ffffff));
        g.drawLine (5.5f, halfH + 1.0f, (float) width - 5.5f, halfH + 1.0f);
        return;
    }

    juce::Colour colour = findColour (juce::PopupMenu::textColourId);

    if (textColour != nullptr)
        colour = *textColour;

    if (isHighlighted)
    {
        g.setColour (juce::Colour (0xff000040));
        g.fillRect (1, 1, width - 2, height - 2);
        g.setColour (findColour (juce::PopupMenu::highlightedTextColourId));
    }
    else
    {
        g.setColour (colour);
    }

    if (!isActive)
        g.setOpacity (0.3f);

    // The item's language's font becomes the fallback for the time of this call; the item is
    // also drawn in that font by name, since JUCE 7 reaches the fallback only for glyphs that
    // a typeface cannot load at all.
    const juce::String savedFallback = juce::Font::getFallbackFontName();
    auto* texts = TxtLoader::getInstance();
    juce::String itemFontName;

    for (int i = 0; i < numLanguages; ++i)
    {
        if (text.equalsIgnoreCase (texts->getLanguageName (i)))
        {
            itemFontName = texts->getFont (i);
            juce::Font::setFallbackFontName (itemFontName);
            break;
        }
    }

    juce::Font font (getPopupMenuFont());

    if (font.getHeight() > (float) height / 1.3f)
        font.setHeight ((float) height / 1.3f);

    if (itemFontName.isNotEmpty())
        font.setTypefaceName (itemFontName);

    g.setFont (font);

    const int leftBorder = (height * 5) / 4;
    const int rightBorder = 4;

    if (icon != nullptr)
    {
        icon->drawWithin (g, juce::Rectangle<float> (2.0f, 1.0f, (float) (leftBorder - 4), (float) (height - 2)),
                          juce::RectanglePlacement (juce::RectanglePlacement::centred | juce::RectanglePlacement::onlyReduceInSize),
                          1.0f);
    }
    else if (isTicked)
    {
        const juce::Path tick (getTickShape (1.0f));
        const float th = font.getAscent();
        const float ty = halfH - th * 0.5f;

        g.fillPath (tick, tick.getTransformToScaleToFit (2.0f, ty, (float) (leftBorder - 4), th,
                                                         true, juce::Justification::centred));
    }

    g.drawFittedText (text, leftBorder, 0, width - (leftBorder + rightBorder), height,
                      juce::Justification::centredLeft, 1, 0.7f);

    if (shortcutKeyText.isNotEmpty())
    {
        juce::Font shortcutFont (g.getCurrentFont());
        shortcutFont.setHeight (shortcutFont.getHeight() * 0.75f);
        shortcutFont.setHorizontalScale (0.95f);
        g.setFont (shortcutFont);
        g.drawText (shortcutKeyText, leftBorder, 0, width - (leftBorder + 8), height,
                    juce::Justification::centredRight, true);
    }

    if (hasSubMenu)
    {
        const float arrowH = 0.6f * getPopupMenuFont().getAscent();
        const float x = (float) width - (float) height * 0.6f;

        juce::Path arrow;
        arrow.addTriangle (x, halfH - arrowH * 0.5f,
                           x, halfH + arrowH * 0.5f,
                           x + arrowH * 0.6f, halfH);
        g.fillPath (arrow, juce::AffineTransform());
    }

    juce::Font::setFallbackFontName (savedFallback);
}

juce::Font LangLookAndFeel::getLabelFont (juce::Label& label)
{
    auto font = LookAndFeel_V2::getLabelFont (label);
    auto* texts = TxtLoader::getInstance();

    for (int i = 0; i < numLanguages; ++i)
    {
        if (label.getText().equalsIgnoreCase (texts->getLanguageName (i)))
        {
            font.setTypefaceName (texts->getFont (i));
            break;
        }
    }

    return font;
}

juce::PopupMenu::Options LangLookAndFeel::getOptionsForComboBoxPopupMenu (juce::ComboBox& box, juce::Label& label)
{
    return LookAndFeel_V2::getOptionsForComboBoxPopupMenu (box, label).withStandardItemHeight (box.getHeight());
}

void LangLookAndFeel::preparePopupMenuWindow (juce::Component& list)
{
    LookAndFeel_V2::preparePopupMenuWindow (list);

    // On X11 JUCE gives the input focus to any window clicked, the list's too, and when the
    // list goes the focus falls to no window: the window that opened it asks to be active
    // again then. Not when the user or the window manager has made another program's window
    // active meanwhile (a click on it closes the list): that one stays active. The window
    // manager is given a moment to tell which it is.
    struct ListWatch : juce::ComponentListener, juce::Timer
    {
        juce::Component::SafePointer<juce::Component> window { juce::TopLevelWindow::getActiveTopLevelWindow() };

        ListWatch() { startTimer (50); }

        // The list asks the X server for the pointer's place all the time; the events read
        // with the replies, the loss of the focus that closes it among them, must not wait.
        void timerCallback() override { XDisplay::handleEventsAlreadyRead(); }

        void componentBeingDeleted (juce::Component& c) override
        {
            c.removeComponentListener (this);
            juce::Timer::callAfterDelay (100, [w = window]
                                         {
                if (w != nullptr && w->isShowing() && !ActiveWindow::isAnotherProgramsWindow())
                    w->toFront (false);

                XDisplay::handleEventsAlreadyRead(); // those read with the answers
            });
            delete this;
        }
    };

    list.addComponentListener (new ListWatch());
}

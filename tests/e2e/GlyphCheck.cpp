// Looks at a screenshot of the updater's window for text that did not render: missing-glyph
// boxes (the hollow rectangle a font draws for each character it lacks; three in a row fail) and
// areas that should hold text but hold no ink (a font that was not found draws nothing).
// Prints one line; exits 1 when the screenshot fails.
//
//   e2e_glyphcheck FILE.png [X,Y,W,H ...]
//   e2e_glyphcheck --selftest      (the check against renderings known to be boxes)

#include <juce_gui_basics/juce_gui_basics.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace
{
// Antialiased edges of a one-pixel box outline come out light grey.
bool isInk (juce::Colour c) { return c.getPerceivedBrightness() < 0.8f; }

/** The largest number of missing-glyph boxes on one line of text: outlines of upright
    rectangles, one pixel of (possibly grey) ink all round, clean inside, glyph-sized and
    clearly taller than wide as the Latin faces draw them, at the same top and height.
    Touching boxes count one by one. A stray glyph such as a zero may pass for one box; a
    script drawn as boxes makes a row of them. A Latin face's box stands as tall as its
    capitals, 8 pixels at the window's text height; the capitals of the CJK faces, drawn a
    little smaller, stand 7 (their O and D are clean outlines too).
*/
int countBoxes (const juce::Image& image)
{
    const int w = image.getWidth(), h = image.getHeight();
    std::vector<bool> ink ((size_t) (w * h));
    const juce::Image::BitmapData pixels (image, juce::Image::BitmapData::readOnly);

    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ink[(size_t) (y * w + x)] = isInk (pixels.getPixelColour (x, y));

    const auto at = [&] (int x, int y)
    { return x >= 0 && y >= 0 && x < w && y < h && ink[(size_t) (y * w + x)]; };

    const auto isBox = [&] (int x0, int y0, int bw, int bh)
    {
        for (int x = x0; x < x0 + bw; ++x)
            if (!at (x, y0) || !at (x, y0 + bh - 1))
                return false;

        for (int y = y0; y < y0 + bh; ++y)
            if (!at (x0, y) || !at (x0 + bw - 1, y))
                return false;

        for (int y = y0 + 1; y < y0 + bh - 1; ++y)
            for (int x = x0 + 1; x < x0 + bw - 1; ++x)
                if (at (x, y))
                    return false;

        return true;
    };

    std::map<std::pair<int, int>, int> rows; // (top, height) -> boxes

    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int bw = 4; bw <= 8; ++bw)
                for (int bh = std::max (8, bw * 3 / 2); bh <= 14; ++bh)
                    if (isBox (x, y, bw, bh))
                    {
                        ++rows[{ y, bh }];
                        bw = bh = 99;
                    }

    int most = 0;

    for (const auto& row : rows)
        most = std::max (most, row.second);

    return most;
}

/** The check against renderings known to be boxes: CJK text in a Latin face at the
    window's text size, plain and bold, must show its boxes; in a CJK face, none.
*/
int selfTest()
{
    const juce::ScopedJuceInitialiser_GUI juce;
    const auto text = juce::String::fromUTF8 ("言語の選択 한국어 简体中文 QUELVA-DRO");
    int failures = 0;

    for (auto [family, boxesWanted] : { std::pair ("Liberation Sans", true), std::pair ("Noto Sans CJK JP", false) })
    {
        for (int style : { juce::Font::plain, juce::Font::bold })
        {
            juce::Image image (juce::Image::ARGB, 426, 40, true);
            juce::Graphics g (image);
            g.fillAll (juce::Colour (234, 234, 234));
            g.setColour (juce::Colours::black);
            g.setFont (juce::Font (family, 13.0f, style));
            g.drawText (text, 20, 10, 400, 20, juce::Justification::centredLeft, false);

            const int boxes = countBoxes (image);
            const bool ok = boxesWanted ? boxes >= 3 : boxes < 3;
            std::printf ("%s%s: %d boxes: %s\n", family, style == juce::Font::bold ? " bold" : "", boxes, ok ? "ok" : "FAIL");
            failures += ok ? 0 : 1;
        }
    }

    return failures > 0 ? 1 : 0;
}

} // namespace

int main (int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf (stderr, "usage: e2e_glyphcheck FILE.png [X,Y,W,H ...] | --selftest\n");
        return 2;
    }

    if (juce::String (argv[1]) == "--selftest")
        return selfTest();

    const auto file = juce::File::getCurrentWorkingDirectory().getChildFile (juce::String::fromUTF8 (argv[1]));
    const auto image = juce::ImageFileFormat::loadFrom (file).convertedToFormat (juce::Image::ARGB);

    if (!image.isValid())
    {
        std::printf ("%s: FAIL, cannot read it\n", argv[1]);
        return 1;
    }

    // Boxes among all non-background components; text areas by their dark ink.
    const int boxes = countBoxes (image);
    bool ok = boxes < 3;
    std::printf ("%s: %d missing-glyph boxes in a row", argv[1], boxes);

    for (int i = 2; i < argc; ++i)
    {
        juce::StringArray v;
        v.addTokens (argv[i], ",", {});
        const juce::Rectangle<int> area (v[0].getIntValue(), v[1].getIntValue(), v[2].getIntValue(), v[3].getIntValue());
        int ink = 0;

        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                ink += image.getPixelAt (x, y).getPerceivedBrightness() < 0.45f ? 1 : 0;

        // A line of text of a few characters darkens far more than this.
        if (ink < 20)
        {
            std::printf (", no text in %s", area.toString().toRawUTF8());
            ok = false;
        }
    }

    std::printf (ok ? ": ok\n" : ": FAIL\n");
    return ok ? 0 : 1;
}

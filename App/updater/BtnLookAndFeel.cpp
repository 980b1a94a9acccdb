#include "updater/BtnLookAndFeel.h"

namespace
{
constexpr float pi = juce::MathConstants<float>::pi;

// Each corner arc continues the current sub-path; angles run clockwise from 12 o'clock.
void addTopLeftArc (juce::Path& p, float x, float y, float cs)
{
    p.addArc (x, y, cs * 2.0f, cs * 2.0f, pi * 1.5f, pi * 2.0f);
}

void addTopRightArc (juce::Path& p, float x, float y, float w, float cs)
{
    p.addArc (x + w - cs * 2.0f, y, cs * 2.0f, cs * 2.0f, 0.0f, pi * 0.5f);
}

void addBottomRightArc (juce::Path& p, float x, float y, float w, float h, float cs)
{
    p.addArc (x + w - cs * 2.0f, y + h - cs * 2.0f, cs * 2.0f, cs * 2.0f, pi * 0.5f, pi);
}

void addBottomLeftArc (juce::Path& p, float x, float y, float h, float cs)
{
    p.addArc (x, y + h - cs * 2.0f, cs * 2.0f, cs * 2.0f, pi, pi * 1.5f);
}

/** The closed outline of the box, clockwise from the top-left. */
void createRoundedPath (juce::Path& path, float x, float y, float width, float height, float cornerSize,
                        bool curveTopLeft, bool curveTopRight, bool curveBottomLeft, bool curveBottomRight)
{
    const float w = width, h = height, cs = cornerSize;

    if (curveTopLeft)
    {
        path.startNewSubPath (x, y + cs);
        addTopLeftArc (path, x, y, cs);
    }
    else
    {
        path.startNewSubPath (x, y);
    }

    if (curveTopRight)
    {
        path.lineTo (x + w - cs, y);
        addTopRightArc (path, x, y, w, cs);
    }
    else
    {
        path.lineTo (x + w, y);
    }

    if (curveBottomRight)
    {
        path.lineTo (x + w, y + h - cs);
        addBottomRightArc (path, x, y, w, h, cs);
    }
    else
    {
        path.lineTo (x + w, y + h);
    }

    if (curveBottomLeft)
    {
        path.lineTo (x + cs, y + h);
        addBottomLeftArc (path, x, y, h, cs);
    }
    else
    {
        path.lineTo (x, y + h);
    }

    path.closeSubPath();
}

/** The open light edge: up the left side and along the top, stopping where the dark
    edge's first arc begins. */
void createTopLeftEdgePath (juce::Path& path, float x, float y, float width, float height, float cornerSize,
                            bool curveTopLeft, bool curveTopRight, bool curveBottomLeft, bool /*curveBottomRight*/)
{
    const float w = width, h = height, cs = cornerSize;

    if (curveBottomLeft)
    {
        path.startNewSubPath (x + cs, y + h);
        addBottomLeftArc (path, x, y, h, cs);
    }
    else
    {
        path.startNewSubPath (x, y + h);
    }

    if (curveTopLeft)
    {
        path.lineTo (x, y + cs);
        addTopLeftArc (path, x, y, cs);
    }
    else
    {
        path.lineTo (x, y);
    }

    path.lineTo (curveTopRight ? x + w - cs : x + w, y);
}

/** The open dark edge: down the right side and along the bottom. */
void createBottomRightEdgePath (juce::Path& path, float x, float y, float width, float height, float cornerSize,
                                bool /*curveTopLeft*/, bool curveTopRight, bool curveBottomLeft, bool curveBottomRight)
{
    const float w = width, h = height, cs = cornerSize;

    if (curveTopRight)
    {
        path.startNewSubPath (x + w - cs, y);
        addTopRightArc (path, x, y, w, cs);
    }
    else
    {
        path.startNewSubPath (x + w, y);
    }

    if (curveBottomRight)
    {
        path.lineTo (x + w, y + h - cs);
        addBottomRightArc (path, x, y, w, h, cs);
    }
    else
    {
        path.lineTo (x + w, y + h);
    }

    path.lineTo (curveBottomLeft ? x + cs : x, y + h);
}

/** Fills the box, then strokes the light edge and the dark edge over it (the dark edge
    covers the light one where they meet). A negative cornerSize means half the shorter side. */
void drawBevelLozenge (juce::Graphics& g, float x, float y, float width, float height,
                       const juce::Colour& colour, float thickness, float cornerSize,
                       bool flatLeft, bool flatRight, bool flatTop, bool flatBottom, bool isDown)
{
    if (thickness >= width || thickness >= height)
        return;

    const float cs = cornerSize >= 0.0f ? cornerSize : juce::jmin (width * 0.5f, height * 0.5f);

    const bool curveTopLeft = !(flatLeft || flatTop);
    const bool curveTopRight = !(flatRight || flatTop);
    const bool curveBottomLeft = !(flatLeft || flatBottom);
    const bool curveBottomRight = !(flatRight || flatBottom);

    const juce::PathStrokeType stroke (thickness, juce::PathStrokeType::mitered, juce::PathStrokeType::butt);

    juce::Path fill;
    createRoundedPath (fill, x, y, width, height, cs, curveTopLeft, curveTopRight, curveBottomLeft, curveBottomRight);
    g.setColour (colour);
    g.fillPath (fill, juce::AffineTransform());

    juce::Path lightEdge;
    createTopLeftEdgePath (lightEdge, x, y, width, height, cs, curveTopLeft, curveTopRight, curveBottomLeft, curveBottomRight);
    g.setColour (isDown ? juce::Colours::black : juce::Colours::white);
    g.strokePath (lightEdge, stroke, juce::AffineTransform());

    juce::Path darkEdge;
    createBottomRightEdgePath (darkEdge, x, y, width, height, cs, curveTopLeft, curveTopRight, curveBottomLeft, curveBottomRight);
    g.setColour (isDown ? juce::Colours::white : juce::Colours::black);
    g.strokePath (darkEdge, stroke, juce::AffineTransform());
}
} // namespace

//==============================================================================
void BtnLookAndFeel::drawButtonBackground (juce::Graphics& g, juce::Button& button,
                                           const juce::Colour& backgroundColour,
                                           bool /*isMouseOverButton*/, bool isButtonDown)
{
    // A free edge is indented by half the outline thickness so that the stroke ends at the bounds.
    const float outlineThickness = 2.5f;
    const float connectedIndent = 0.1f;
    const float freeIndent = outlineThickness * 0.5f;

    const bool flatLeft = button.isConnectedOnLeft();
    const bool flatRight = button.isConnectedOnRight();
    const bool flatTop = button.isConnectedOnTop();
    const bool flatBottom = button.isConnectedOnBottom();

    const float indentLeft = flatLeft ? connectedIndent : freeIndent;
    const float indentRight = flatRight ? connectedIndent : freeIndent;
    const float indentTop = flatTop ? connectedIndent : freeIndent;
    const float indentBottom = flatBottom ? connectedIndent : freeIndent;

    drawBevelLozenge (g, indentLeft, indentTop,
                      (float) button.getWidth() - indentLeft - indentRight,
                      (float) button.getHeight() - indentTop - indentBottom,
                      backgroundColour, outlineThickness, -1.0f,
                      flatLeft, flatRight, flatTop, flatBottom, isButtonDown);
}

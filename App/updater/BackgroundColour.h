#pragma once

#include <juce_graphics/juce_graphics.h>

/** The light grey of the window background and of both buttons' faces (0xffeaeaea). */
extern const juce::Colour backgroundColour;

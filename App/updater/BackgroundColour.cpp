#include "updater/BackgroundColour.h"

const juce::Colour backgroundColour (234, 234, 234);

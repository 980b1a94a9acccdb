#pragma once

#include <juce_graphics/juce_graphics.h>

#include <cstddef>

/** Decodes an uncompressed bottom-up BMP file of 24 or 32 bits per pixel whose pixel rows start
    right after its 54-byte header. The bytes of each pixel are copied unchanged into an RGB image
    (24 bits) or an ARGB image (32 bits, the fourth byte as alpha); the file's first row becomes the
    image's bottom row.

    Returns a null image for anything else: another signature or bit count, a zero or negative
    width or height (top-down files included), or data shorter than the header and rows require.
    It never reads outside data[0, size), so the image it allocates is never larger than the input.

    Any thread; it touches no shared state.
*/
juce::Image decodeBmp (const void* data, size_t size);

#include "resources/BmpDecoder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace
{
constexpr size_t headerSize = 54;

uint32_t readLE32 (const uint8_t* p)
{
    return (uint32_t) p[0] | ((uint32_t) p[1] << 8) | ((uint32_t) p[2] << 16) | ((uint32_t) p[3] << 24);
}

uint16_t readLE16 (const uint8_t* p)
{
    return (uint16_t) (p[0] | (p[1] << 8));
}
} // namespace

juce::Image decodeBmp (const void* data, size_t size)
{
    if (data == nullptr || size < headerSize)
        return {};

    const auto* bytes = static_cast<const uint8_t*> (data);

    if (bytes[0] != 'B' || bytes[1] != 'M')
        return {};

    const int bitCount = readLE16 (bytes + 28);

    if (bitCount != 24 && bitCount != 32)
        return {};

    // Only bottom-up files: a negative height would mark a top-down one.
    const auto width = (int32_t) readLE32 (bytes + 18);
    const auto height = (int32_t) readLE32 (bytes + 22);

    if (width <= 0 || height <= 0)
        return {};

    // The rows must lie within the data. In 64 bits the stride cannot wrap (at most 4 * 2^31 + 3),
    // dividing rather than multiplying keeps stride * height from overflowing, and the cap at the
    // int range keeps the framework's own int arithmetic on the image size from overflowing.
    const int bytesPerPixel = bitCount / 8;
    const uint64_t stride = ((uint64_t) width * (uint64_t) bytesPerPixel + 3) & ~(uint64_t) 3;
    const uint64_t available = std::min<uint64_t> (size - headerSize, (uint64_t) std::numeric_limits<int>::max());

    if (stride > available / (uint64_t) height)
        return {};

    juce::Image image (bitCount == 32 ? juce::Image::ARGB : juce::Image::RGB, width, height, true);

    {
        const juce::Image::BitmapData pixels (image, 0, 0, width, height, juce::Image::BitmapData::writeOnly);

        // A raw row copy needs the framework to store pixels as the file does (B, G, R[, A]), which
        // it does on Windows and Linux.
        if (pixels.pixelStride != bytesPerPixel)
            return {};

        const uint8_t* row = bytes + headerSize;

        for (int y = 0; y < height; ++y, row += stride)
            std::memcpy (pixels.getLinePointer (height - 1 - y), row, (size_t) width * (size_t) bytesPerPixel);
    }

    return image;
}

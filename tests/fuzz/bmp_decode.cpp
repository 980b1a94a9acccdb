// The BMP decoder on arbitrary bytes: it must never read outside them (AddressSanitizer sees to
// that, as libFuzzer hands over a buffer of exactly `size` bytes), and an image it returns must
// be one whose rows fit in the data.
#include "resources/BmpDecoder.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    const auto image = decodeBmp (data, size);

    if (image.isValid())
    {
        const size_t bytesPerPixel = image.getFormat() == juce::Image::ARGB ? 4 : 3;
        const size_t stride = ((size_t) image.getWidth() * bytesPerPixel + 3) & ~(size_t) 3;

        if (size < 54 || stride > (size - 54) / (size_t) image.getHeight())
            std::abort();
    }

    return 0;
}

// The built-in warning sign, and the BMP decoder (its fallback): nothing read or allocated beyond
// the data.

#include <gtest/gtest.h>

#include "resources/BmpDecoder.h"
#include "resources/ImageLoader.h"
#include "support/Pixels.h"

using Bytes = std::vector<uint8_t>;

namespace
{
/** A BMP file as a writer lays it out: 14-byte file header, 40-byte info header, then
    `pixelBytes` bytes of rows.
*/
Bytes makeBmp (int32_t width, int32_t height, int bitCount, size_t pixelBytes)
{
    Bytes file (54 + pixelBytes);
    const auto put = [&] (size_t offset, uint32_t value, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            file[offset + (size_t) i] = (uint8_t) (value >> (8 * i));
    };
    put (0, 'B' | 'M' << 8, 2), put (2, (uint32_t) file.size(), 4), put (10, 54, 4), put (14, 40, 4);
    put (18, (uint32_t) width, 4), put (22, (uint32_t) height, 4), put (26, 1, 2), put (28, (uint32_t) bitCount, 2);

    return file;
}

} // namespace

TEST (BmpDecoder, RefusesWhatItCannotDecodeAndNeverReadsBeyondTheData)
{
    const auto whole = makeBmp (3, 2, 24, 24); // the last byte is padding but must be there
    auto notBmp = whole;
    notBmp[1] = 'A';

    const Bytes refused[] {
        makeBmp (2, 2, 8, 8), makeBmp (2, 2, 16, 8), makeBmp (0, 2, 24, 8), makeBmp (2, 0, 24, 8), makeBmp (-2, 2, 24, 16),
        makeBmp (2, -2, 24, 16), notBmp, Bytes (whole.begin(), whole.end() - 1), Bytes (whole.begin(), whole.begin() + 53),
        // Sizes whose products wrap in 32 or 64 bits.
        makeBmp (0x40000000, 1, 32, 64), makeBmp (0x55555556, 1, 24, 64), makeBmp (0x7fffffff, 0x7fffffff, 32, 64), makeBmp (1, 0x40000001, 32, 64)
    };

    EXPECT_EQ (decodeBmp (whole.data(), whole.size()).getBounds(), juce::Rectangle<int> (0, 0, 3, 2));
    EXPECT_TRUE (decodeBmp (nullptr, 100).isNull());

    for (size_t i = 0; i < std::size (refused); ++i)
        EXPECT_TRUE (decodeBmp (refused[i].data(), refused[i].size()).isNull()) << i;
}

TEST (ImageLoader, TheBuiltInImageIsAYellowWarningSignOnATransparentGround)
{
    const auto* image = ImageLoader::getInstance()->getImage (0);
    ASSERT_NE (image, nullptr);
    EXPECT_EQ (ImageLoader::getInstance()->getImage (1), nullptr);
    EXPECT_EQ (image->getBounds(), juce::Rectangle<int> (0, 0, 56, 55)); // drawn scaled to 64 x 64
    EXPECT_TRUE (image->hasAlphaChannel());

    for (auto [x, y] : { std::pair (0, 0), { 55, 0 }, { 0, 54 }, { 55, 54 } })
        EXPECT_EQ (image->getPixelAt (x, y).getAlpha(), 0) << x << ", " << y;

    // A triangle standing on its base in the middle, its yellow wider at the foot than at the head.
    const auto yellow = testsupport::yellowBounds (*image);
    const auto width = [&] (int y)
    { return testsupport::yellowBounds (image->getClippedImage ({ 0, y, 56, 1 })).getWidth(); };
    EXPECT_TRUE (yellow.getWidth() > 28 && yellow.getHeight() > 28 && std::abs (yellow.getCentreX() - 28) <= 2) << yellow.toString();
    EXPECT_GT (width (yellow.getBottom() - 3), 2 * width (yellow.getY() + 3));
    ImageLoader::deleteInstance();
}

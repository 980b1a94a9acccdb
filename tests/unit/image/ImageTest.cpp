// The BMP decoder within its bounds, and the built-in warning sign.

#include <gtest/gtest.h>

#include "resources/BmpDecoder.h"
#include "resources/ImageLoader.h"

#include <cstdint>
#include <vector>

namespace
{
using Bytes = std::vector<uint8_t>;

void putLE (Bytes& file, size_t offset, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        file[offset + (size_t) i] = (uint8_t) (value >> (8 * i));
}

/** A BMP file as a writer lays it out: 14-byte file header, 40-byte info header, then
    `pixelBytes` bytes of rows filled with distinct bytes.
*/
Bytes makeBmp (int32_t width, int32_t height, int bitCount, size_t pixelBytes)
{
    Bytes file (54 + pixelBytes);
    file[0] = 'B';
    file[1] = 'M';
    putLE (file, 2, (uint32_t) file.size(), 4);
    putLE (file, 10, 54, 4);
    putLE (file, 14, 40, 4);
    putLE (file, 18, (uint32_t) width, 4);
    putLE (file, 22, (uint32_t) height, 4);
    putLE (file, 26, 1, 2);
    putLE (file, 28, (uint32_t) bitCount, 2);
    putLE (file, 34, (uint32_t) pixelBytes, 4);

    for (size_t i = 0; i < pixelBytes; ++i)
        file[54 + i] = (uint8_t) (i * 7 + 1);

    return file;
}

juce::Image decode (const Bytes& file) { return decodeBmp (file.data(), file.size()); }

/** The raw bytes of image row y. */
Bytes rowBytes (const juce::Image& image, int y)
{
    const juce::Image::BitmapData bd (image, 0, y, image.getWidth(), 1);
    return { bd.getLinePointer (0), bd.getLinePointer (0) + bd.pixelStride * image.getWidth() };
}
} // namespace

TEST (BmpDecoder, RowsArePaddedToFourBytesStoredBottomUpAndCopiedUnchanged)
{
    for (int bits : { 24, 32 })
    {
        // Width 3: 9 or 12 bytes of pixels per row, padded to 12.
        auto file = makeBmp (3, 2, bits, 2 * 12);

        for (size_t i = 57; bits == 32 && i < 78; i += 4)
            file[i] = 0xff; // opaque, so premultiplying changes nothing

        const auto image = decode (file);
        ASSERT_TRUE (image.isValid()) << bits;
        EXPECT_EQ (image.getFormat(), bits == 24 ? juce::Image::RGB : juce::Image::ARGB);
        EXPECT_EQ (image.getBounds(), juce::Rectangle<int> (0, 0, 3, 2));
        const size_t row = (size_t) bits / 8 * 3;
        EXPECT_EQ (rowBytes (image, 1), Bytes (file.begin() + 54, file.begin() + 54 + (long) row)) << bits;
        EXPECT_EQ (rowBytes (image, 0), Bytes (file.begin() + 66, file.begin() + 66 + (long) row)) << bits;
        EXPECT_EQ (image.getPixelAt (0, 1).getRed(), file[56]); // blue, green, red
    }
}

TEST (BmpDecoder, RefusesWhatItCannotDecodeAndNeverReadsBeyondTheData)
{
    const auto whole = makeBmp (3, 2, 24, 24); // the last byte is padding but must be there
    EXPECT_TRUE (decode (whole).isValid());

    auto notBmp = makeBmp (1, 1, 24, 4);
    notBmp[1] = 'A';
    auto farOffset = whole;
    putLE (farOffset, 10, 0xfffffff0, 4);

    const Bytes refused[] {
        makeBmp (2, 2, 8, 8),
        makeBmp (2, 2, 16, 8),
        makeBmp (0, 2, 24, 8),
        makeBmp (2, 0, 24, 8),
        makeBmp (-2, 2, 24, 16),
        makeBmp (2, -2, 24, 16),
        notBmp,
        Bytes (whole.begin(), whole.end() - 1),
        Bytes (whole.begin(), whole.begin() + 53),
        Bytes(),
        // Sizes whose products wrap in 32 or 64 bits.
        makeBmp (0x40000000, 1, 32, 64),
        makeBmp (0x55555556, 1, 24, 64),
        makeBmp (0x7fffffff, 0x7fffffff, 32, 64),
        makeBmp (1, 0x40000001, 32, 64),
    };

    for (size_t i = 0; i < std::size (refused); ++i)
        EXPECT_TRUE (decodeBmp (refused[i].data(), refused[i].size()).isNull()) << i;

    EXPECT_TRUE (decodeBmp (nullptr, 100).isNull());
    const auto offsetIgnoredOrRefused = decode (farOffset); // rows start after the header, whatever it says
    EXPECT_TRUE (offsetIgnoredOrRefused.isNull() || rowBytes (offsetIgnoredOrRefused, 1) == rowBytes (decode (whole), 1));
}

TEST (BuiltInImage, IsAYellowWarningSignOnATransparentGround)
{
    const auto* image = ImageLoader::getInstance()->getImage (0);
    ASSERT_NE (image, nullptr);
    EXPECT_EQ (image->getBounds(), juce::Rectangle<int> (0, 0, 56, 55));
    EXPECT_TRUE (image->hasAlphaChannel());

    for (auto corner : { juce::Point<int> (0, 0), { 55, 0 }, { 0, 54 }, { 55, 54 } })
        EXPECT_EQ (image->getPixelAt (corner.x, corner.y).getAlpha(), 0) << corner.toString();

    const juce::Colour yellow (225, 208, 64);
    EXPECT_EQ (image->getPixelAt (28, 16), yellow);               // above the bar
    EXPECT_EQ (image->getPixelAt (28, 30), juce::Colours::black); // the bar
    EXPECT_EQ (ImageLoader::getInstance()->getImage (1), nullptr);
    EXPECT_EQ (ImageLoader::getInstance()->getImage (-1), nullptr);
    ImageLoader::deleteInstance();
}

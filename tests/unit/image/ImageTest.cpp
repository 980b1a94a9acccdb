// The BMP decoder: rows as stored, and nothing read or allocated beyond what the data holds.

#include <gtest/gtest.h>

#include "resources/BmpDecoder.h"

using Bytes = std::vector<uint8_t>;

namespace
{
/** A BMP file as a writer lays it out: 14-byte file header, 40-byte info header, then
    `pixelBytes` bytes of rows filled with distinct bytes.
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

    for (size_t i = 0; i < pixelBytes; ++i)
        file[54 + i] = i % 4 == 3 && bitCount == 32 ? 0xff : (uint8_t) (i * 7 + 1); // opaque: nothing premultiplied

    return file;
}

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
        const auto file = makeBmp (3, 2, bits, 2 * 12); // 9 or 12 bytes of pixels per row, padded to 12
        const auto image = decodeBmp (file.data(), file.size());
        ASSERT_EQ (image.getBounds(), juce::Rectangle<int> (0, 0, 3, 2)) << bits;
        EXPECT_EQ (image.getFormat(), bits == 24 ? juce::Image::RGB : juce::Image::ARGB);
        EXPECT_EQ (rowBytes (image, 1), Bytes (file.begin() + 54, file.begin() + 54 + bits / 8 * 3)) << bits;
        EXPECT_EQ (rowBytes (image, 0), Bytes (file.begin() + 66, file.begin() + 66 + bits / 8 * 3)) << bits;
        EXPECT_EQ (image.getPixelAt (0, 1).getRed(), file[56]); // blue, green, red
    }
}

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

    EXPECT_TRUE (decodeBmp (whole.data(), whole.size()).isValid());
    EXPECT_TRUE (decodeBmp (nullptr, 100).isNull());

    for (size_t i = 0; i < std::size (refused); ++i)
        EXPECT_TRUE (decodeBmp (refused[i].data(), refused[i].size()).isNull()) << i;
}

#include <gtest/gtest.h>

#include "resources/BmpDecoder.h"

#include <cstdint>
#include <vector>

namespace
{
void putLE (std::vector<uint8_t>& file, size_t offset, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        file[offset + (size_t) i] = (uint8_t) (value >> (8 * i));
}

/** A complete BMP file as a writer lays it out: 14-byte file header, 40-byte info header,
    then `pixelBytes` bytes of rows. The rows are filled with distinct bytes.
*/
std::vector<uint8_t> makeBmp (int32_t width, int32_t height, int bitCount, size_t pixelBytes)
{
    std::vector<uint8_t> file (54 + pixelBytes);
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

juce::Image decode (const std::vector<uint8_t>& file)
{
    return decodeBmp (file.data(), file.size());
}

/** The raw bytes of image row `y`. */
std::vector<uint8_t> rowBytes (const juce::Image& image, int y)
{
    const juce::Image::BitmapData bd (image, 0, y, image.getWidth(), 1);
    const auto* p = bd.getLinePointer (0);
    return { p, p + bd.pixelStride * image.getWidth() };
}

std::vector<uint8_t> fileBytes (const std::vector<uint8_t>& file, size_t offset, size_t length)
{
    return { file.begin() + (std::ptrdiff_t) offset, file.begin() + (std::ptrdiff_t) (offset + length) };
}
} // namespace

//==============================================================================
TEST (BmpDecoder, TwentyFourBitRowsArePaddedToFourBytesAndStoredBottomUp)
{
    // Width 3: 9 bytes of pixels and 3 of padding per row.
    const auto file = makeBmp (3, 2, 24, 2 * 12);
    const auto image = decode (file);

    ASSERT_TRUE (image.isValid());
    EXPECT_EQ (image.getFormat(), juce::Image::RGB);
    EXPECT_EQ (image.getWidth(), 3);
    EXPECT_EQ (image.getHeight(), 2);
    EXPECT_EQ (rowBytes (image, 1), fileBytes (file, 54, 9)); // first stored row at the bottom
    EXPECT_EQ (rowBytes (image, 0), fileBytes (file, 54 + 12, 9));

    // Blue, green, red: the first pixel of the bottom row.
    EXPECT_EQ (image.getPixelAt (0, 1), juce::Colour (file[56], file[55], file[54]));
}

TEST (BmpDecoder, ThirtyTwoBitKeepsTheFourthByteAsAlpha)
{
    auto file = makeBmp (2, 2, 32, 2 * 8);
    for (size_t i = 0; i < 16; ++i)
        file[54 + i] = i % 4 == 3 ? 0xff : (uint8_t) (0x10 * i); // opaque, so premultiplying changes nothing
    file[54 + 7] = 0x80;                                         // one translucent pixel, whose bytes still arrive unchanged

    const auto image = decode (file);

    ASSERT_TRUE (image.isValid());
    EXPECT_EQ (image.getFormat(), juce::Image::ARGB);
    EXPECT_EQ (rowBytes (image, 1), fileBytes (file, 54, 8));
    EXPECT_EQ (rowBytes (image, 0), fileBytes (file, 62, 8));
    EXPECT_EQ (image.getPixelAt (0, 0), juce::Colour (0xffa09080));
}

TEST (BmpDecoder, RefusesWhatItCannotDecode)
{
    EXPECT_TRUE (decode (makeBmp (2, 2, 8, 8)).isNull());
    EXPECT_TRUE (decode (makeBmp (2, 2, 16, 8)).isNull());
    EXPECT_TRUE (decode (makeBmp (0, 2, 24, 8)).isNull());
    EXPECT_TRUE (decode (makeBmp (2, 0, 24, 8)).isNull());
    EXPECT_TRUE (decode (makeBmp (-2, 2, 24, 16)).isNull());
    EXPECT_TRUE (decode (makeBmp (2, -2, 24, 16)).isNull()); // top-down

    auto notBmp = makeBmp (1, 1, 24, 4);
    notBmp[1] = 'A';
    EXPECT_TRUE (decode (notBmp).isNull());

    EXPECT_TRUE (decodeBmp (nullptr, 100).isNull());
}

TEST (BmpDecoder, NeverReadsBeyondTheData)
{
    // 3 x 2 at 24 bits needs 54 + 24 bytes; the last byte is padding but must still be there.
    const auto whole = makeBmp (3, 2, 24, 24);
    EXPECT_TRUE (decode (whole).isValid());
    EXPECT_TRUE (decodeBmp (whole.data(), whole.size() - 1).isNull());

    // Shorter than the header.
    EXPECT_TRUE (decodeBmp (whole.data(), 53).isNull());
    EXPECT_TRUE (decodeBmp (whole.data(), 0).isNull());

    // Sizes whose products wrap in 32 or 64 bits must not pass the length check.
    EXPECT_TRUE (decode (makeBmp (0x40000000, 1, 32, 64)).isNull()); // 4 x width = 2^32
    EXPECT_TRUE (decode (makeBmp (0x55555556, 1, 24, 64)).isNull()); // the 32-bit stride wraps to 4
    EXPECT_TRUE (decode (makeBmp (0x7fffffff, 0x7fffffff, 32, 64)).isNull());
    EXPECT_TRUE (decode (makeBmp (1, 0x40000001, 32, 64)).isNull()); // stride x height wraps to 4
}

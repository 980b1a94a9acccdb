#include <gtest/gtest.h>

#include "BinaryData.h"
#include "resources/ImageLoader.h"

#include <map>

namespace
{
const juce::Colour yellow (225, 208, 64);

uint32_t readBE32 (const unsigned char* p)
{
    return ((uint32_t) p[0] << 24) | ((uint32_t) p[1] << 16) | ((uint32_t) p[2] << 8) | p[3];
}

juce::int64 cacheKey (const void* data)
{
    return (juce::int64) (juce::pointer_sized_int) data;
}
} // namespace

//==============================================================================
TEST (BuiltInImage, IsTheCommittedPngAsAnRgbaNonInterlacedFile)
{
    juce::MemoryBlock committed;
    ASSERT_TRUE (juce::File (SOURCE_ROOT "/App/resources/images/warning.png").loadFileAsData (committed));
    EXPECT_EQ (committed, juce::MemoryBlock (BinaryData::warning_png, (size_t) BinaryData::warning_pngSize));

    // The IHDR chunk follows the 8-byte signature: length, type, then its 13 bytes.
    const auto* png = (const unsigned char*) BinaryData::warning_png;
    ASSERT_GT (BinaryData::warning_pngSize, 33);
    EXPECT_EQ (juce::String ((const char*) png + 12, 4), "IHDR");
    EXPECT_EQ (readBE32 (png + 16), 56u);
    EXPECT_EQ (readBE32 (png + 20), 55u);
    EXPECT_EQ (png[24], 8); // bits per channel
    EXPECT_EQ (png[25], 6); // RGBA
    EXPECT_EQ (png[28], 0); // not interlaced
}

TEST (BuiltInImage, DecodesToAWarningSign)
{
    ImageLoader::createInstance();
    const auto* image = ImageLoader::getInstance()->getImage (0);

    ASSERT_NE (image, nullptr);
    EXPECT_EQ (image->getWidth(), 56);
    EXPECT_EQ (image->getHeight(), 55);
    EXPECT_TRUE (image->hasAlphaChannel());

    for (auto corner : { juce::Point<int> (0, 0), { 55, 0 }, { 0, 54 }, { 55, 54 } })
        EXPECT_EQ (image->getPixelAt (corner.x, corner.y).getAlpha(), 0) << corner.toString();

    EXPECT_EQ (image->getPixelAt (20, 44), yellow);               // beside the dot
    EXPECT_EQ (image->getPixelAt (28, 16), yellow);               // above the bar
    EXPECT_EQ (image->getPixelAt (28, 30), juce::Colours::black); // the bar
    EXPECT_EQ (image->getPixelAt (28, 43), juce::Colours::black); // the dot

    // The apex is the mid-grey rim; the yellow is the commonest opaque colour.
    const auto apex = image->getPixelAt (28, 1);
    EXPECT_TRUE (apex.isOpaque() && apex.getRed() == apex.getBlue() && apex.getRed() > 80 && apex.getRed() < 180)
        << apex.toString();

    std::map<juce::uint32, int> counts;
    for (int y = 0; y < 55; ++y)
        for (int x = 0; x < 56; ++x)
            if (image->getPixelAt (x, y).isOpaque())
                ++counts[image->getPixelAt (x, y).getARGB()];

    const auto commonest = std::max_element (counts.begin(), counts.end(),
                                             [] (auto& a, auto& b)
                                             { return a.second < b.second; });
    EXPECT_EQ (commonest->first, yellow.getARGB());

    EXPECT_EQ (ImageLoader::getInstance()->getImage (1), nullptr);
    EXPECT_EQ (ImageLoader::getInstance()->getImage (-1), nullptr);

    ImageLoader::deleteInstance();
}

TEST (BuiltInImage, DeletingReleasesTheImageOnceAndANewLoaderDecodesAgain)
{
    const auto key = cacheKey (imageTable[0].data);
    juce::ImageCache::releaseUnusedImages();

    juce::Image held = *ImageLoader::getInstance()->getImage (0);
    EXPECT_EQ (held.getReferenceCount(), 3); // the loader, the cache and this test

    ImageLoader::deleteInstance();
    EXPECT_EQ (held.getReferenceCount(), 2);
    ImageLoader::deleteInstance();
    EXPECT_EQ (held.getReferenceCount(), 2);

    // With no reference left outside the cache, the cache lets the image go.
    held = juce::Image();
    juce::ImageCache::releaseUnusedImages();
    EXPECT_TRUE (juce::ImageCache::getFromHashCode (key).isNull());

    const auto* again = ImageLoader::getInstance()->getImage (0);
    ASSERT_NE (again, nullptr);
    EXPECT_EQ (again->getWidth(), 56);
    EXPECT_TRUE (juce::ImageCache::getFromHashCode (key).isValid());

    ImageLoader::deleteInstance();
}

#include "resources/ImageLoader.h"

#include "BinaryData.h"
#include "resources/BmpDecoder.h"

const ImageTableEntry imageTable[1] = {
    { BinaryData::warning_png, BinaryData::warning_pngSize },
};

ImageLoader* ImageLoader::instance = nullptr;

//==============================================================================
void ImageLoader::createInstance()
{
    if (instance == nullptr)
        instance = new ImageLoader();
}

ImageLoader* ImageLoader::getInstance()
{
    if (instance == nullptr)
        createInstance();

    return instance;
}

void ImageLoader::deleteInstance()
{
    if (instance != nullptr)
    {
        delete instance;
        instance = nullptr;
    }
}

//==============================================================================
ImageLoader::ImageLoader()
{
    for (int i = 0; i < (int) std::size (images); ++i)
        loadImage (i, images[i]);
}

ImageLoader::~ImageLoader()
{
    for (auto& image : images)
        image = juce::Image();
}

const juce::Image* ImageLoader::getImage (int index) const
{
    if (!juce::isPositiveAndBelow (index, (int) std::size (images)) || images[index].isNull())
        return nullptr;

    return &images[index];
}

void ImageLoader::loadImage (int index, juce::Image& out)
{
    out = juce::Image();

    if (!juce::isPositiveAndBelow (index, (int) std::size (imageTable)))
        return;

    const auto& entry = imageTable[index];
    out = juce::ImageCache::getFromMemory (entry.data, entry.size);

    if (out.isValid() || entry.size <= 0)
        return;

    out = decodeBmp (entry.data, (size_t) entry.size);

    // Cached under the key getFromMemory uses for the same data, so that a new loader within the
    // cache's timeout gets this decode back just as it gets a PNG's.
    if (out.isValid())
        juce::ImageCache::addImageToCache (out, (juce::int64) (juce::pointer_sized_int) entry.data);
}

#pragma once

#include <juce_graphics/juce_graphics.h>

#include <iterator>

//==============================================================================
/** One built-in image: the address of its encoded data and its size in bytes. */
struct ImageTableEntry
{
    const void* data;
    int size;
};

/** The built-in images, by the index that ImageLoader::getImage takes. Index 0 is the warning sign. */
extern const ImageTableEntry imageTable[1];

//==============================================================================
/**
    The process-wide holder of the built-in images, each decoded once when the singleton is created.

    The main component creates the singleton after the TxtLoader and deletes it before it. Creation,
    getImage (from painting) and deletion all run on the message thread; there is no lock.
*/
class ImageLoader
{
public:
    //==============================================================================
    /** Creates the singleton, decoding every image, unless it exists already. */
    static void createInstance();

    /** The singleton, created first when there is none. */
    static ImageLoader* getInstance();

    /** Deletes the singleton, giving its images back; nothing when there is none. */
    static void deleteInstance();

    virtual ~ImageLoader();

    //==============================================================================
    /** The decoded image of imageTable entry `index`, or nullptr for an index out of range or an
        image that could not be decoded.
    */
    const juce::Image* getImage (int index) const;

private:
    //==============================================================================
    ImageLoader();

    /** Decodes imageTable entry `index` into `out` through the image cache, falling back to the
        BMP decoder for data the framework cannot read; `out` is null when neither can.
    */
    static void loadImage (int index, juce::Image& out);

    // Each shares its pixels with the image cache, which drops its own reference once ours is gone.
    juce::Image images[std::size (imageTable)];

    static ImageLoader* instance;

    JUCE_DECLARE_NON_COPYABLE (ImageLoader)
};

#pragma once

#include "platform/linux/FileLocations.h"
#include "tests/support/MainComponentTestAccess.h"

#include <string>

/** A fresh temporary folder that stands as the executable's folder while it lives. */
struct ScopedExecutableFolder
{
    ScopedExecutableFolder()
    {
        folder.createDirectory();
        setExecutableFolderOverride (folder);
    }

    ~ScopedExecutableFolder()
    {
        setExecutableFolderOverride (juce::File());
        folder.deleteRecursively();
    }

    juce::File write (const char* utf8Name, const std::string& bytes) const
    {
        auto file = folder.getChildFile (juce::String::fromUTF8 (utf8Name));
        file.replaceWithData (bytes.data(), bytes.size());
        return file;
    }

    const juce::File folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                  .getChildFile ("updatefile-" + juce::Uuid().toString());
};

/** An update file of the given length: magic at 0, version digits at 20, filler elsewhere. */
inline std::string updateFileBytes (size_t length, const char* magic = "VN382", const char* digits = "001")
{
    std::string bytes (length < 36 ? 36 : length, 'x');
    bytes.replace (0, 5, magic, 5);
    bytes.replace (20, 3, digits, 3);
    bytes.resize (length);
    return bytes;
}

/** CRC-16/XMODEM in its textbook form, one bit at a time, as the oracle for calcCrc16. */
inline juce::uint16 referenceCrc16 (const void* data, size_t length)
{
    unsigned crc = 0;

    for (size_t i = 0; i < length; ++i)
    {
        crc ^= (unsigned) static_cast<const unsigned char*> (data)[i] << 8;

        for (int bit = 0; bit < 8; ++bit)
            crc = ((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1) & 0xffff;
    }

    return (juce::uint16) crc;
}

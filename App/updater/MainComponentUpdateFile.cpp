// MainComponent: finding, checking and measuring the update file beside the executable.

#include "platform/linux/FileLocations.h"
#include "updater/MainComponent.h"

#include <cstring>
#include <limits>
#include <new>

namespace
{
const char* const updateFileWildcard = "*.upd";
const char* const updateFileExtension = ".upd";
const char* const updateFilePrefixes[] = { "vn382_", "VN382_", "quelva-dro_", "QUELVA-DRO_" };
const char* const updateFileMagic = "VN382 "; // only the first magicLength characters count
constexpr int magicLength = 5;
constexpr int updateFileHeaderSize = 36;
constexpr int versionOffset = 20;
constexpr size_t minNameLength = 12;
constexpr size_t maxNameLength = 19;

juce::File executableFolder()
{
    return getSpecialLocation (juce::File::currentExecutableFile).getParentDirectory();
}
} // namespace

//==============================================================================
void MainComponent::checkUpdateFile()
{
    char name[256] = {};

    for (auto* prefix : updateFilePrefixes)
        if (findUpdateFile (prefix, updateFileExtension, name))
            break;

    updateFileName = juce::String::fromUTF8 (name);

    int version = -1;
    const int result = loadUpdateFile (updateFileName, updateFileMagic, &version);

    if (version >= 1 && result >= 1)
    {
        fileValid = 1;
        fileVersion = version;
        payloadSize = result;
    }
    else
    {
        fileValid = 0;
        fileVersion = -1;
        payloadSize = 0;
    }
}

bool MainComponent::findUpdateFile (const char* prefix, const char* extension, char* out)
{
    if (out == nullptr)
        return false;

    // The listing order is the platform's; the first name that passes wins.
    for (auto& file : executableFolder().findChildFiles (juce::File::findFiles, false, updateFileWildcard))
    {
        const auto name = file.getFileName();

        if (isUpdateFileName (name.toRawUTF8(), prefix, extension))
        {
            std::strcat (out, name.toRawUTF8());
            return true;
        }
    }

    return false;
}

bool MainComponent::isUpdateFileName (const char* name, const char* prefix, const char* extension)
{
    if (name == nullptr || prefix == nullptr || extension == nullptr)
        return false;

    if (std::strncmp (name, prefix, std::strlen (prefix)) != 0)
        return false;

    const char* dot = std::strchr (name, '.');

    if (dot == nullptr || std::strncmp (dot, extension, std::strlen (extension)) != 0)
        return false;

    const auto length = std::strlen (name);
    return length >= minNameLength && length <= maxNameLength;
}

int MainComponent::loadUpdateFile (const juce::String& name, const char* magic, int* version)
{
    if (version != nullptr)
        *version = -1;

    // An empty name gives the folder itself, which isRegularFile refuses.
    const auto file = executableFolder().getChildFile (name);

    if (!isRegularFile (file))
        return 0;

    const auto stream = file.createInputStream();

    if (stream == nullptr)
        return 0;

    return loadUpdateStream (*stream, magic, version);
}

int MainComponent::loadUpdateStream (juce::InputStream& stream, const char* magic, int* version)
{
    if (version != nullptr)
        *version = -1;

    // The length is held in 32 bits: anything longer is refused before a byte is read.
    const auto totalLength = stream.getTotalLength();

    if (totalLength < 0 || totalLength > std::numeric_limits<int>::max())
        return 0;

    const int length = (int) totalLength;
    std::unique_ptr<juce::uint8[]> buffer (new (std::nothrow) juce::uint8[(size_t) length]);

    if (buffer == nullptr)
        return 0;

    // A file that delivers fewer bytes than its length (it shrank, or the read failed) would
    // leave part of the buffer unset: it is refused.
    int bytesRead = 0;

    while (bytesRead < length)
    {
        const int n = stream.read (buffer.get() + bytesRead, length - bytesRead);

        if (n <= 0)
            return 0;

        bytesRead += n;
    }

    if (length < updateFileHeaderSize)
        return 0;

    if (version != nullptr)
        *version = (buffer[versionOffset] - 48) * 100 + (buffer[versionOffset + 1] - 48) * 10 + (buffer[versionOffset + 2] - 48);

    imageWrite[0] = 1;
    imageSize[0] = (juce::uint32) length;
    imageCrc[0] = calcCrc16 (buffer.get(), length);

    const bool magicMatches = magic != nullptr && std::strlen (magic) >= (size_t) magicLength && std::memcmp (buffer.get(), magic, (size_t) magicLength) == 0;

    return magicMatches ? length - updateFileHeaderSize : 0;
}

//==============================================================================
juce::uint16 MainComponent::calcCrc16 (const juce::uint8* data, int length)
{
    if (data == nullptr || length <= 0)
        return 0;

    // Bits 8 to 23 of r hold the CRC, bits 0 to 7 take in the next byte; 0x1102100 is the
    // polynomial 0x1021 with its top bit, moved up by 8, so the XOR also clears bit 24.
    juce::uint32 r = 0;

    auto shiftByte = [&r]
    {
        for (int bit = 0; bit < 8; ++bit)
        {
            r <<= 1;

            if ((r & 0x1000000) != 0)
                r ^= 0x1102100;
        }
    };

    for (int i = 0; i < length; ++i)
    {
        r |= data[i];
        shiftByte();
    }

    // Two zero bytes flush the last data byte through the register.
    shiftByte();
    shiftByte();

    return (juce::uint16) ((r >> 8) & 0xffff);
}

juce::uint8 MainComponent::hexDigitValue (juce::uint8 c)
{
    const bool isDigit = c >= '0' && c <= '9';
    const bool isLetter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');

    if (isDigit)
        return (juce::uint8) (c - '0');

    if (!isLetter)
        return 0;

    const auto lower = (juce::uint8) (c | 0x20);
    return lower <= 'f' ? (juce::uint8) (lower - 'a' + 10) : 0;
}

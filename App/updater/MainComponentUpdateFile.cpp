// MainComponent: finding, checking and measuring the update file beside the executable.

#include "platform/linux/FileLocations.h"
#include "updater/MainComponent.h"

#include <cstring>
#include <limits>

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

/** t[0] is the byte-wise table of CRC-16/XMODEM (polynomial 0x1021); t[k] gives a byte's
    contribution with k more bytes behind it, so that a slice of 16 bytes is taken in one step.
*/
constexpr int crcSlice = 16;

struct CrcTables
{
    juce::uint16 t[crcSlice][256];
};

constexpr CrcTables makeCrcTables()
{
    CrcTables tables {};

    for (int b = 0; b < 256; ++b)
    {
        auto c = (juce::uint16) (b << 8);

        for (int bit = 0; bit < 8; ++bit)
            c = (juce::uint16) ((c & 0x8000) != 0 ? (c << 1) ^ 0x1021 : c << 1);

        tables.t[0][b] = c;
    }

    for (int k = 1; k < crcSlice; ++k)
        for (int b = 0; b < 256; ++b)
        {
            const auto previous = tables.t[k - 1][b];
            tables.t[k][b] = (juce::uint16) ((previous << 8) ^ tables.t[0][previous >> 8]);
        }

    return tables;
}

constexpr CrcTables crcTables = makeCrcTables();

/** Takes length bytes more into a running CRC-16/XMODEM. */
juce::uint16 tableCrc16 (juce::uint16 crc, const juce::uint8* data, size_t length)
{
    const auto& t = crcTables.t;
    size_t i = 0;

    for (; i + crcSlice <= length; i += crcSlice)
    {
        const auto* d = data + i;
        auto next = (juce::uint16) (t[crcSlice - 1][d[0] ^ (crc >> 8)] ^ t[crcSlice - 2][d[1] ^ (crc & 0xff)]);

        for (int k = 2; k < crcSlice; ++k)
            next ^= t[crcSlice - 1 - k][d[k]];

        crc = next;
    }

    for (; i < length; ++i)
        crc = (juce::uint16) ((crc << 8) ^ t[0][(crc >> 8) ^ data[i]]);

    return crc;
}

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

    // The file goes through a small buffer, the CRC taken piece by piece while each is in the
    // cache; only the header is kept. A file that delivers fewer bytes than its length (it
    // shrank, or the read failed) is refused.
    juce::uint8 piece[1 << 16];
    juce::uint8 header[updateFileHeaderSize] = {};
    juce::uint16 crc = 0;
    int bytesRead = 0;

    while (bytesRead < length)
    {
        const int n = stream.read (piece, juce::jmin (length - bytesRead, (int) sizeof (piece)));

        if (n <= 0)
            return 0;

        if (bytesRead < updateFileHeaderSize)
            std::memcpy (header + bytesRead, piece, (size_t) juce::jmin (n, updateFileHeaderSize - bytesRead));

        crc = tableCrc16 (crc, piece, (size_t) n);
        bytesRead += n;
    }

    if (length < updateFileHeaderSize)
        return 0;

    if (version != nullptr)
        *version = (header[versionOffset] - 48) * 100 + (header[versionOffset + 1] - 48) * 10 + (header[versionOffset + 2] - 48);

    imageWrite[0] = 1;
    imageSize[0] = (juce::uint32) length;
    imageCrc[0] = crc;

    const bool magicMatches = magic != nullptr && std::strlen (magic) >= (size_t) magicLength && std::memcmp (header, magic, (size_t) magicLength) == 0;

    return magicMatches ? length - updateFileHeaderSize : 0;
}

//==============================================================================
juce::uint16 MainComponent::calcCrc16 (const juce::uint8* data, int length)
{
    return data != nullptr && length > 0 ? tableCrc16 (0, data, (size_t) length) : 0;
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

#include "resources/TxtLoader.h"

#include "BinaryData.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

//==============================================================================
const TextBlock languageTable[numLanguages] = {
    { BinaryData::english_txt, BinaryData::english_txtSize },
    { BinaryData::french_txt, BinaryData::french_txtSize },
    { BinaryData::german_txt, BinaryData::german_txtSize },
    { BinaryData::spanish_txt, BinaryData::spanish_txtSize },
    { BinaryData::italian_txt, BinaryData::italian_txtSize },
    { BinaryData::dutch_txt, BinaryData::dutch_txtSize },
    { BinaryData::russian_txt, BinaryData::russian_txtSize },
    { BinaryData::portuguese_txt, BinaryData::portuguese_txtSize },
    { BinaryData::chinese_simplified_txt, BinaryData::chinese_simplified_txtSize },
    { BinaryData::chinese_traditional_txt, BinaryData::chinese_traditional_txtSize },
    { BinaryData::korean_txt, BinaryData::korean_txtSize },
    { BinaryData::japanese_txt, BinaryData::japanese_txtSize },
};

const LANGID languageIds[numLanguages] = {
    0x0409, 0x040c, 0x0407, 0x040a, 0x0410, 0x0413, 0x0419, 0x0816, 0x0804, 0x0404, 0x0412, 0x0411
};

const char* const commonTextBlock = BinaryData::common_txt;
const int commonTextBlockSize = BinaryData::common_txtSize;

TxtLoader* TxtLoader::instance = nullptr;

namespace
{
constexpr int txtLineBufferSize = 2048;

/** Replaces each byte that does not start a well-formed UTF-8 sequence with '?'.
    juce::String sizes its copy by decoding but copies raw bytes, so malformed input
    (a stray continuation byte, an overlong NUL) would overrun the string it builds.
*/
void makeValidUtf8 (char* text)
{
    auto* p = reinterpret_cast<unsigned char*> (text);

    while (*p != 0)
    {
        const unsigned char c = p[0];

        if (c < 0x80)
        {
            ++p;
            continue;
        }

        // The length of the sequence that c starts and the range of its second byte
        // (no overlong forms, no surrogates, nothing above U+10FFFF).
        int length = 0;
        unsigned char low = 0x80, high = 0xbf;

        if (c >= 0xc2 && c <= 0xdf)
            length = 2;
        else if (c >= 0xe0 && c <= 0xef)
            length = 3;
        else if (c >= 0xf0 && c <= 0xf4)
            length = 4;

        if (c == 0xe0)
            low = 0xa0;
        else if (c == 0xed)
            high = 0x9f;
        else if (c == 0xf0)
            low = 0x90;
        else if (c == 0xf4)
            high = 0x8f;

        bool wellFormed = length > 0 && p[1] >= low && p[1] <= high;

        // A NUL fails every test, so p never passes the end of the text.
        for (int i = 2; wellFormed && i < length; ++i)
            wellFormed = p[i] >= 0x80 && p[i] <= 0xbf;

        if (wellFormed)
            p += length;
        else
            *p++ = '?';
    }
}
} // namespace

//==============================================================================
TxtLoader::TxtLoader()
{
    parse (commonTextBlock, commonTextBlockSize, TxtSection::fontWin, fonts, numLanguages);
    parse (commonTextBlock, commonTextBlockSize, TxtSection::lang, languageNames, numLanguages);
}

TxtLoader::~TxtLoader() = default;

//==============================================================================
void TxtLoader::createInstance()
{
    if (instance != nullptr)
        return;

    // Stored first: the locale callback reaches the object through getInstance().
    instance = new TxtLoader();
    instance->setLanguage (instance->chooseLanguage());
}

TxtLoader* TxtLoader::getInstance()
{
    if (instance == nullptr)
        createInstance();

    return instance;
}

void TxtLoader::deleteInstance()
{
    if (instance == nullptr)
        return;

    delete instance;
    instance = nullptr;
}

//==============================================================================
void TxtLoader::setLanguage (int language)
{
    if ((unsigned int) language >= (unsigned int) numLanguages || language == currentLanguage)
        return;

    currentLanguage = language;
    parseLanguage (language, TxtSection::str, texts, numTexts);
}

Language TxtLoader::chooseLanguage()
{
    available[0] = 1;

    for (int i = 1; i < numLanguages; ++i)
        available[i] = 0;

    EnumSystemLocalesA (enumLocaleProc, LCID_INSTALLED);

    const LANGID id = GetUserDefaultLangID();
    const int lowByte = id & 0xff;

    if (lowByte != 0x04)
    {
        for (int i = 0; i < numLanguages; ++i)
            if ((languageIds[i] & 0xff) == lowByte)
                return available[i] != 0 ? (Language) i : Language::english;

        return Language::english;
    }

    // The two Chinese tables share the low byte, so the whole identifier decides.
    if (id == languageIds[Language::chineseSimplified])
        return available[Language::chineseSimplified] != 0 ? Language::chineseSimplified : Language::english;

    if (id == languageIds[Language::chineseTraditional] || id == 0x0c04 || id == 0x1404 || id == 0x1004 || id == 0x7c04)
        return available[Language::chineseTraditional] != 0 ? Language::chineseTraditional : Language::english;

    return Language::english;
}

//==============================================================================
const juce::String& TxtLoader::getText (int id) const
{
    return (unsigned int) id < (unsigned int) numTexts ? texts[id] : emptyText;
}

const juce::String& TxtLoader::getFont (int language) const
{
    return (unsigned int) language < (unsigned int) numLanguages ? fonts[language] : emptyText;
}

const juce::String& TxtLoader::getCurrentFont() const
{
    return getFont (currentLanguage);
}

const juce::String& TxtLoader::getLanguageName (int language) const
{
    return (unsigned int) language < (unsigned int) numLanguages ? languageNames[language] : emptyText;
}

//==============================================================================
void TxtLoader::parse (const char* data, int size, TxtSection wanted, juce::String* out, int maxCount)
{
    if (data == nullptr || size <= 0)
        return;

    char line[txtLineBufferSize];
    char text[txtLineBufferSize];
    int section = TxtSection::none;
    int count = 0;

    const char* const end = data + size;
    const char* pos = data;
    const char* nextCr = data; // the next CR and LF at or after pos, or end when there is none
    const char* nextLf = data;

    // Each search resumes where the last one stopped, so a block is scanned once.
    auto findFromPos = [&] (const char*& next, char wantedByte)
    {
        if (next < pos)
            next = pos;

        if (next < end && *next != wantedByte)
        {
            auto* found = static_cast<const char*> (std::memchr (next, wantedByte, (size_t) (end - next)));
            next = found != nullptr ? found : end;
        }
    };

    while (pos < end)
    {
        findFromPos (nextCr, '\r');
        findFromPos (nextLf, '\n');

        const char* lineEnd = end;
        const char* textEnd = end;

        if (nextCr < end && nextLf < end)
        {
            // the later of the two ends the line; it and the byte before it are not text
            lineEnd = std::max (nextCr, nextLf);
            textEnd = lineEnd - 1;
        }
        else if (nextCr < end || nextLf < end)
        {
            lineEnd = std::min (nextCr, nextLf);
            textEnd = lineEnd;
        }

        // Lines too long for the buffer are cut, never overrun.
        const size_t length = std::min ((size_t) (textEnd - pos), (size_t) txtLineBufferSize - 1);
        std::memcpy (line, pos, length);
        line[length] = 0;

        pos = lineEnd < end ? lineEnd + 1 : end;

        if (length == 0 || line[0] == '\r' || line[0] == '\n' || line[0] == '#')
            continue;

        if (line[0] == ':')
        {
            if (std::strstr (line, "EOF") != nullptr)
                return;

            if (std::strstr (line, "FONT_WIN") != nullptr)
                section = TxtSection::fontWin;
            else if (std::strstr (line, "LANG") != nullptr)
                section = TxtSection::lang;
            else if (std::strstr (line, "STR") != nullptr)
                section = TxtSection::str;
            else
                section = TxtSection::none;

            continue;
        }

        if (section != wanted || count >= maxCount || out == nullptr)
            continue;

        unquote (line, text);
        makeValidUtf8 (text);
        out[count++] = juce::String::fromUTF8 (text, -1);
    }
}

void TxtLoader::unquote (const char* line, char* out)
{
    if (out == nullptr)
        return;

    const char* p = line != nullptr ? std::strchr (line, '"') : nullptr;

    if (p == nullptr)
    {
        *out = 0; // an entry without a quote has no text
        return;
    }

    for (++p; *p != 0 && *p != '"';)
    {
        if (*p == '\\')
        {
            char escaped = 0;

            switch (p[1])
            {
                case 'r':
                    escaped = '\r';
                    break;
                case 'n':
                    escaped = '\n';
                    break;
                case 't':
                    escaped = '\t';
                    break;
                case '"':
                    escaped = '"';
                    break;
                case '\\':
                    escaped = '\\';
                    break;
                default:
                    break;
            }

            if (escaped != 0)
            {
                *out++ = escaped;
                p += 2;
                continue;
            }
        }

        *out++ = *p++;
    }

    *out = 0;
}

void TxtLoader::parseLanguage (int language, TxtSection section, juce::String* out, int maxCount)
{
    if ((unsigned int) language >= (unsigned int) numLanguages)
        return;

    const auto& block = languageTable[language];
    parse (block.data, block.size, section, out, maxCount);
}

//==============================================================================
BOOL enumLocaleProc (LPSTR localeName)
{
    if (localeName == nullptr)
        return FALSE;

    const size_t length = std::strlen (localeName);

    if (length < 2)
        return TRUE;

    // Only the low byte of the language identifier counts: the last two hex digits.
    const char* lowByte = localeName + length - 2;

    for (int i = 1; i < numLanguages; ++i)
    {
        char hex[3];
        std::snprintf (hex, sizeof (hex), "%02x", (unsigned int) (languageIds[i] & 0xff));

        if (std::tolower ((unsigned char) lowByte[0]) == hex[0] && std::tolower ((unsigned char) lowByte[1]) == hex[1])
            TxtLoader::getInstance()->available[i] = 1;
    }

    return TRUE;
}

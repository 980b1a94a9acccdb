#include "platform/winapi/Locale.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
struct LocaleMapping
{
    const char* name;
    LANGID langId;
};

// Each language by its ISO 639 code, with Windows' identifier of its main territory: the
// program tells languages apart by the identifier's low byte alone.
const LocaleMapping languageMappings[] = {
    { "af", 0x0436 },
    { "am", 0x045e },
    { "ar", 0x0401 },
    { "as", 0x044d },
    { "az", 0x042c },
    { "be", 0x0423 },
    { "bg", 0x0402 },
    { "bn", 0x0445 },
    { "bo", 0x0451 },
    { "br", 0x047e },
    { "bs", 0x141a },
    { "ca", 0x0403 },
    { "cs", 0x0405 },
    { "cy", 0x0452 },
    { "da", 0x0406 },
    { "de", 0x0407 },
    { "el", 0x0408 },
    { "en", 0x0409 },
    { "es", 0x0c0a },
    { "et", 0x0425 },
    { "eu", 0x042d },
    { "fa", 0x0429 },
    { "fi", 0x040b },
    { "fil", 0x0464 },
    { "fo", 0x0438 },
    { "fr", 0x040c },
    { "fy", 0x0462 },
    { "ga", 0x083c },
    { "gd", 0x0491 },
    { "gl", 0x0456 },
    { "gu", 0x0447 },
    { "ha", 0x0468 },
    { "he", 0x040d },
    { "hi", 0x0439 },
    { "hr", 0x041a },
    { "hu", 0x040e },
    { "hy", 0x042b },
    { "id", 0x0421 },
    { "ig", 0x0470 },
    { "is", 0x040f },
    { "it", 0x0410 },
    { "ja", 0x0411 },
    { "ka", 0x0437 },
    { "kk", 0x043f },
    { "kl", 0x046f },
    { "km", 0x0453 },
    { "kn", 0x044b },
    { "ko", 0x0412 },
    { "ky", 0x0440 },
    { "lb", 0x046e },
    { "lo", 0x0454 },
    { "lt", 0x0427 },
    { "lv", 0x0426 },
    { "mi", 0x0481 },
    { "mk", 0x042f },
    { "ml", 0x044c },
    { "mn", 0x0450 },
    { "mr", 0x044e },
    { "ms", 0x043e },
    { "mt", 0x043a },
    { "nb", 0x0414 },
    { "ne", 0x0461 },
    { "nl", 0x0413 },
    { "nn", 0x0814 },
    { "nso", 0x046c },
    { "oc", 0x0482 },
    { "or", 0x0448 },
    { "pa", 0x0446 },
    { "pl", 0x0415 },
    { "ps", 0x0463 },
    { "pt", 0x0416 },
    { "rm", 0x0417 },
    { "ro", 0x0418 },
    { "ru", 0x0419 },
    { "rw", 0x0487 },
    { "sa", 0x044f },
    { "se", 0x043b },
    { "si", 0x045b },
    { "sk", 0x041b },
    { "sl", 0x0424 },
    { "sq", 0x041c },
    { "sr", 0x281a },
    { "sv", 0x041d },
    { "sw", 0x0441 },
    { "ta", 0x0449 },
    { "te", 0x044a },
    { "tg", 0x0428 },
    { "th", 0x041e },
    { "tk", 0x0442 },
    { "tn", 0x0432 },
    { "tr", 0x041f },
    { "tt", 0x0444 },
    { "ug", 0x0480 },
    { "uk", 0x0422 },
    { "ur", 0x0420 },
    { "uz", 0x0443 },
    { "vi", 0x042a },
    { "wo", 0x0488 },
    { "xh", 0x0434 },
    { "yo", 0x046a },
    { "zh", 0x0804 },
    { "zu", 0x0435 },
};

// Chinese is the one language whose territory decides which of its tables the program shows.
const LocaleMapping chineseTerritories[] = {
    { "zh_CN", 0x0804 },
    { "zh_TW", 0x0404 },
    { "zh_HK", 0x0c04 },
    { "zh_SG", 0x1004 },
    { "zh_MO", 0x1404 },
};

const char* const systemLocaleFolder = "/usr/lib/locale";

// Set only by tests, on the message thread.
std::unique_ptr<LocaleFacts> testFacts;

//==============================================================================
// The C library's locale archive, as it writes it (native byte order): a header, a hash table
// of names, each entry naming a locale record, and a string table that holds the names.
constexpr uint32_t archiveMagic = 0xde020109;
constexpr uint32_t maxArchiveNames = 1u << 20; // a few thousand in practice

struct ArchiveHeader
{
    uint32_t magic, serial;
    uint32_t namehashOffset, namehashUsed, namehashSize;
    uint32_t stringOffset, stringUsed, stringSize;
    uint32_t recordOffset, recordUsed, recordSize;
    uint32_t sumhashOffset, sumhashUsed, sumhashSize;
};

struct NameHashEntry
{
    uint32_t hash, nameOffset, recordOffset; // recordOffset 0: a free slot
};

struct ScopedFile
{
    explicit ScopedFile (const char* path)
        : fd (open (path, O_RDONLY | O_CLOEXEC | O_NONBLOCK)) // a FIFO must not block the start
    {
    }
    ~ScopedFile()
    {
        if (fd >= 0)
            close (fd);
    }

    const int fd;
};

bool readAt (int fd, uint64_t offset, void* dest, uint64_t size)
{
    auto* bytes = static_cast<char*> (dest);

    while (size > 0)
    {
        const auto n = pread (fd, bytes, size, (off_t) offset);

        if (n <= 0)
            return false;

        bytes += n;
        offset += (uint64_t) n;
        size -= (uint64_t) n;
    }

    return true;
}

/** The names in a locale archive. Every offset is checked against the file, so a damaged or
    foreign file yields fewer names or none, never a read outside what was read in.
*/
void addArchiveNames (const std::string& path, std::vector<std::string>& names)
{
    const ScopedFile file (path.c_str());
    const int fd = file.fd;

    if (fd < 0)
        return;

    struct stat info;
    ArchiveHeader header;

    if (fstat (fd, &info) != 0 || !S_ISREG (info.st_mode) || !readAt (fd, 0, &header, sizeof (header)) || header.magic != archiveMagic)
        return;

    const auto fileSize = (uint64_t) info.st_size;
    const auto tableBytes = (uint64_t) header.namehashSize * sizeof (NameHashEntry);

    if (header.namehashSize > maxArchiveNames || (uint64_t) header.namehashOffset + tableBytes > fileSize || (uint64_t) header.stringOffset + header.stringUsed > fileSize)
        return;

    std::vector<NameHashEntry> table (header.namehashSize);
    std::vector<char> strings (header.stringUsed);

    if (!readAt (fd, header.namehashOffset, table.data(), tableBytes) || !readAt (fd, header.stringOffset, strings.data(), strings.size()))
        return;

    for (const auto& entry : table)
    {
        if (entry.recordOffset == 0 || entry.nameOffset < header.stringOffset)
            continue;

        const auto start = (uint64_t) (entry.nameOffset - header.stringOffset);

        if (start >= strings.size())
            continue;

        const char* name = strings.data() + start;

        if (const auto* end = static_cast<const char*> (std::memchr (name, 0, strings.size() - start)))
            names.emplace_back (name, end);
    }
}

/** The locale directories of a folder: those holding character-type data (others may hold
    translations only).
*/
void addDirectoryNames (const std::string& folder, std::vector<std::string>& names)
{
    const std::unique_ptr<DIR, int (*) (DIR*)> dir (opendir (folder.c_str()), closedir);

    if (dir == nullptr)
        return;

    while (const auto* entry = readdir (dir.get()))
    {
        if (entry->d_name[0] == '.')
            continue;

        struct stat info;
        const auto data = folder + "/" + entry->d_name + "/LC_CTYPE";

        if (stat (data.c_str(), &info) == 0 && S_ISREG (info.st_mode))
            names.emplace_back (entry->d_name);
    }
}

BOOL enumerate (LOCALE_ENUMPROCA callback, const std::vector<LANGID>& ids)
{
    for (const auto id : ids)
    {
        // Windows writes locale identifiers as eight upper-case hexadecimal digits.
        char text[9];
        std::snprintf (text, sizeof (text), "%08X", (unsigned int) id);

        if (!callback (text))
            break;
    }

    return TRUE;
}
} // namespace

//==============================================================================
LANGID langIdFromLocaleName (const char* localeName)
{
    if (localeName == nullptr)
        return 0;

    // language[_TERRITORY] without the codeset and modifier
    const size_t length = std::strcspn (localeName, ".@");
    const size_t languageLength = std::strcspn (localeName, "_.@");

    for (const auto& m : chineseTerritories)
        if (std::strlen (m.name) == length && std::strncmp (m.name, localeName, length) == 0)
            return m.langId;

    for (const auto& m : languageMappings)
        if (std::strlen (m.name) == languageLength && std::strncmp (m.name, localeName, languageLength) == 0)
            return m.langId;

    return 0;
}

std::vector<LANGID> installedLanguageIds (const char* localeFolder)
{
    std::vector<std::string> names;
    addArchiveNames (std::string (localeFolder) + "/locale-archive", names);
    addDirectoryNames (localeFolder, names);

    std::vector<LANGID> ids;

    for (const auto& name : names)
        if (const auto id = langIdFromLocaleName (name.c_str()); id != 0 && std::find (ids.begin(), ids.end(), id) == ids.end())
            ids.push_back (id);

    return ids;
}

void setLocaleFactsForTesting (const LocaleFacts* facts)
{
    testFacts.reset (facts != nullptr ? new LocaleFacts (*facts) : nullptr);
}

//==============================================================================
extern "C" BOOL EnumSystemLocalesA (LOCALE_ENUMPROCA callback, DWORD flags)
{
    if (callback == nullptr)
        return FALSE;

    if (testFacts != nullptr)
    {
        const auto installed = testFacts->installedLocales; // the callback may replace the facts

        for (const auto& id : installed)
        {
            std::vector<char> copy (id.begin(), id.end());
            copy.push_back (0);

            if (!callback (copy.data()))
                break;
        }

        return TRUE;
    }

    if ((flags & LCID_SUPPORTED) != 0)
    {
        std::vector<LANGID> all;

        for (const auto& m : languageMappings)
            all.push_back (m.langId);

        for (const auto& m : chineseTerritories)
            if (std::find (all.begin(), all.end(), m.langId) == all.end())
                all.push_back (m.langId);

        return enumerate (callback, all);
    }

    return enumerate (callback, installedLanguageIds (systemLocaleFolder));
}

extern "C" LANGID GetUserDefaultLangID (void)
{
    if (testFacts != nullptr)
        return testFacts->userDefaultLangId;

    // POSIX precedence: the first of these that is set and not empty names the messages locale.
    for (const char* variable : { "LC_ALL", "LC_MESSAGES", "LANG" })
    {
        const char* value = std::getenv (variable);

        if (value != nullptr && *value != 0)
        {
            const LANGID id = langIdFromLocaleName (value);
            return id != 0 ? id : (LANGID) 0x0409;
        }
    }

    return 0x0409;
}

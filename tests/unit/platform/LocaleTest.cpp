#include <gtest/gtest.h>

#include "platform/winapi/Locale.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>

// The installed locales of a locale folder made here: locale directories and a locale archive
// laid out as the C library writes it.
namespace
{
namespace fs = std::filesystem;

struct LocaleFolder
{
    LocaleFolder() { fs::create_directories (path); }
    ~LocaleFolder() { fs::remove_all (path); }

    void addDirectory (const std::string& name, bool withCharacterData = true) const
    {
        fs::create_directories (path / name);

        if (withCharacterData)
            std::ofstream (path / name / "LC_CTYPE") << "data";
    }

    /** An archive of these names; a name starting with '-' stands in a free slot. */
    static std::vector<char> archive (const std::vector<std::string>& names)
    {
        const uint32_t headerSize = 56, tableOffset = headerSize, stringOffset = tableOffset + 12 * (uint32_t) names.size();
        std::vector<uint32_t> table;
        std::string strings;

        for (const auto& name : names)
        {
            const bool free = name[0] == '-';
            table.insert (table.end(), { 0x1234u, stringOffset + (uint32_t) strings.size(), free ? 0u : 4096u });
            strings += name.substr (free ? 1 : 0) + '\0';
        }

        const uint32_t header[14] = { 0xde020109, 0, tableOffset, (uint32_t) names.size(), (uint32_t) names.size(),
                                      stringOffset, (uint32_t) strings.size(), (uint32_t) strings.size() };
        std::vector<char> bytes (stringOffset + strings.size());
        std::memcpy (bytes.data(), header, sizeof (header));
        std::memcpy (bytes.data() + tableOffset, table.data(), 4 * table.size());
        std::memcpy (bytes.data() + stringOffset, strings.data(), strings.size());
        return bytes;
    }

    void writeArchive (const std::vector<char>& bytes) const
    {
        std::ofstream (path / "locale-archive", std::ios::binary).write (bytes.data(), (std::streamsize) bytes.size());
    }

    std::vector<LANGID> ids() const { return installedLanguageIds (path.c_str()); }

    inline static int count = 0;
    const fs::path path = fs::temp_directory_path() / ("locales-" + std::to_string (getpid()) + "-" + std::to_string (++count));
};

void setWord (std::vector<char>& bytes, size_t offset, uint32_t value) { std::memcpy (bytes.data() + offset, &value, 4); }
} // namespace

TEST (InstalledLocales, EveryLocaleCountsByItsLanguageAndAChineseOneByItsTerritory)
{
    LocaleFolder folder;
    folder.addDirectory ("ru_UA.utf8"); // a territory of Russian that no table names
    folder.addDirectory ("C.utf8");
    folder.addDirectory ("ja_JP.utf8", false); // translations only, no locale
    folder.writeArchive (LocaleFolder::archive ({ "zh_TW.utf8", "zh_SG.utf8", "zh_CN.gb18030", "en_GB.utf8",
                                                  "en_US.utf8", "-ko_KR.utf8", "sr_RS@latin", "xx_YY.utf8" }));

    auto ids = folder.ids();
    std::sort (ids.begin(), ids.end());
    EXPECT_EQ (ids, (std::vector<LANGID> { 0x0404, 0x0409, 0x0419, 0x0804, 0x1004, 0x281a }));

    EXPECT_TRUE (LocaleFolder().ids().empty()); // an empty folder
    EXPECT_TRUE (installedLanguageIds ("/nonexistent/locale/folder").empty());
}

TEST (InstalledLocales, ADamagedArchiveLosesOnlyItsOwnNames)
{
    LocaleFolder folder;
    folder.addDirectory ("ru_UA.utf8");
    const auto good = LocaleFolder::archive ({ "zh_TW.utf8", "ko_KR.utf8" });
    const size_t tableOffset = 56, stringOffset = 56 + 2 * 12;

    // Each damage, and whether the archive's undamaged name (zh_TW) still counts.
    const std::vector<std::pair<std::function<void (std::vector<char>&)>, bool>> damages = {
        { [] (auto& b)
          { b.clear(); },
          false },
        { [] (auto& b)
          { b.resize (20); },
          false }, // a cut header
        { [] (auto& b)
          { setWord (b, 0, 0x0901'02de); },
          false }, // foreign byte order
        { [] (auto& b)
          { setWord (b, 16, 0xffff'ffff); },
          false }, // a table past the end
        { [&] (auto& b)
          { setWord (b, 8, (uint32_t) b.size() - 8); },
          false }, // the same, by its offset
        { [] (auto& b)
          { setWord (b, 24, 0xffff'fff0); },
          false }, // strings past the end
        { [&] (auto& b)
          { setWord (b, tableOffset + 12 + 4, 0); },
          true }, // a name before the strings
        { [&] (auto& b)
          { setWord (b, tableOffset + 12 + 4, 0x7fff'ffff); },
          true }, // a name after them
        { [&] (auto& b)
          { b.back() = 'x'; },
          true }, // a name without its end
        { [&] (auto& b)
          { setWord (b, 24, (uint32_t) (b.size() - stringOffset - 3)); },
          true }, // the same
    };

    for (size_t i = 0; i < damages.size(); ++i)
    {
        auto bytes = good;
        damages[i].first (bytes);
        folder.writeArchive (bytes);
        auto ids = folder.ids();
        std::sort (ids.begin(), ids.end());
        const std::vector<LANGID> expected = damages[i].second ? std::vector<LANGID> { 0x0404, 0x0419 } : std::vector<LANGID> { 0x0419 };
        EXPECT_EQ (ids, expected) << "damage " << i;
    }

    // Something that is no file: a folder, and a pipe that nobody writes (opening it must not wait).
    fs::remove (folder.path / "locale-archive");
    fs::create_directory (folder.path / "locale-archive");
    EXPECT_EQ (folder.ids(), std::vector<LANGID> { 0x0419 });
    fs::remove (folder.path / "locale-archive");
    ASSERT_EQ (mkfifo ((folder.path / "locale-archive").c_str(), 0600), 0);
    EXPECT_EQ (folder.ids(), std::vector<LANGID> { 0x0419 });
}

// Installed locales: locale directories, and an archive as the C library writes it (header, table, names).

#include "platform/winapi/Locale.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace
{
/** An archive of these names; one starting with '-' stands in a free slot. */
std::string archive (const std::vector<std::string>& names)
{
    const auto n = (uint32_t) names.size(), stringOffset = 56 + 12 * n;
    std::string bytes (stringOffset, '\0'), strings;
    auto put = [&] (size_t at, uint32_t word)
    { std::memcpy (&bytes[at], &word, 4); };

    for (uint32_t i = 0; i < n; ++i)
    {
        put (56 + 12 * i + 4, stringOffset + (uint32_t) strings.size());
        put (56 + 12 * i + 8, names[i][0] == '-' ? 0 : 4096);
        strings += names[i].substr (names[i][0] == '-' ? 1 : 0) + '\0';
    }

    // Magic, table offset, used and total slots, string offset, used and total size.
    for (auto [at, word] : std::vector<std::pair<size_t, uint32_t>> { { 0, 0xde020109 }, { 8, 56 }, { 12, n }, { 16, n }, { 20, stringOffset }, { 24, (uint32_t) strings.size() }, { 28, (uint32_t) strings.size() } })
        put (at, word);

    return bytes + strings;
}
} // namespace

TEST (InstalledLocales, EachCountsOnceByItsLanguageAChineseOneByItsTerritoryAndADamagedArchiveOnlyItself)
{
    // Russian (Ukraine) installed as a directory; C and a folder of translations only count nothing.
    const auto folder = std::filesystem::temp_directory_path() / ("locales-" + std::to_string (getpid()));
    const auto file = folder / "locale-archive";

    for (auto* name : { "ru_UA.utf8/LC_CTYPE", "C.utf8/LC_CTYPE", "ja_JP.utf8/LC_MESSAGES" })
        std::filesystem::create_directories ((folder / name).parent_path()), std::ofstream (folder / name) << "data";

    auto ids = [&] (const std::string& archiveBytes)
    {
        std::ofstream (file, std::ios::binary) << archiveBytes;
        auto found = installedLanguageIds (folder.c_str());
        std::sort (found.begin(), found.end());
        return found;
    };

    EXPECT_EQ (ids (archive ({ "zh_TW.utf8", "zh_SG.utf8", "zh_CN.gb18030", "en_GB.utf8", "en_US.utf8", "-ko_KR.utf8", "sr_RS@latin", "xx_YY.utf8" })),
               (std::vector<LANGID> { 0x0404, 0x0409, 0x0419, 0x0804, 0x1004, 0x281a }));

    // A word written into an archive of zh_TW and ko_KR (or the archive cut), and whether zh_TW still
    // counts: foreign byte order; the table or the names past the end; a name before or after the
    // names, or without its end.
    const auto good = archive ({ "zh_TW.utf8", "ko_KR.utf8" });
    const size_t cut = ~(size_t) 0, nameOffset = 56 + 12 + 4;

    for (auto [at, word, keeps] : std::vector<std::tuple<size_t, uint32_t, bool>> {
             { cut, 0, false }, { cut, 20, false }, { 0, 0x090102de, false }, { 16, 0xffffffff, false }, { 8, (uint32_t) good.size() - 8, false }, { 24, 0xfffffff0, false }, { nameOffset, 0, true }, { nameOffset, 0x7fffffff, true }, { good.size() - 4, 0x78787878, true }, { 24, 19, true } })
    {
        auto bytes = good;
        at == cut ? bytes.resize (word) : (void) std::memcpy (&bytes[at], &word, 4);
        EXPECT_EQ (ids (bytes), (keeps ? std::vector<LANGID> { 0x0404, 0x0419 } : std::vector<LANGID> { 0x0419 })) << at << " " << word;
    }

    // An archive that is a pipe nobody writes: reading the folder must not wait for it.
    std::filesystem::remove (file);
    ASSERT_EQ (mkfifo (file.c_str(), 0600), 0);
    EXPECT_EQ (installedLanguageIds (folder.c_str()), std::vector<LANGID> { 0x0419 });

    std::filesystem::remove_all (folder);
}

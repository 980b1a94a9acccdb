#include <gtest/gtest.h>

#include "platform/winapi/Locale.h"
#include "resources/TxtLoader.h"

#include <algorithm>
#include <cstdlib>
#include <locale.h>
#include <string>
#include <vector>

namespace
{
    struct LanguageChoice : ::testing::Test
    {
        ~LanguageChoice() override
        {
            TxtLoader::deleteInstance();
            setLocaleFactsForTesting (nullptr);
        }

        // A fresh singleton that chose its language from these facts.
        static TxtLoader* loaderFor (LANGID userDefault, std::vector<std::string> installed)
        {
            LocaleFacts facts;
            facts.installedLocales = std::move (installed);
            facts.userDefaultLangId = userDefault;
            setLocaleFactsForTesting (&facts);
            TxtLoader::deleteInstance();
            return TxtLoader::getInstance();
        }
    };

    struct EnvironmentGuard
    {
        EnvironmentGuard()
        {
            for (auto* name : names)
                saved.push_back (std::getenv (name) != nullptr ? std::string (std::getenv (name)) : std::string ("\x01"));
        }

        ~EnvironmentGuard()
        {
            for (size_t i = 0; i < 3; ++i)
                set (names[i], saved[i] == "\x01" ? nullptr : saved[i].c_str());
        }

        static void set (const char* name, const char* value)
        {
            if (value == nullptr)
                unsetenv (name);
            else
                setenv (name, value, 1);
        }

        static void setAll (const char* all, const char* messages, const char* lang)
        {
            set ("LC_ALL", all);
            set ("LC_MESSAGES", messages);
            set ("LANG", lang);
        }

        const char* names[3] = { "LC_ALL", "LC_MESSAGES", "LANG" };
        std::vector<std::string> saved;
    };
}

TEST_F (LanguageChoice, UserDefaultAndInstalledLocalesDecide)
{
    const std::vector<std::string> chinese { "00000409", "00000804" }, noChinese { "00000409", "00000411" };

    struct Case { LANGID user; std::vector<std::string> installed; int expected; };
    const Case cases[] = {
        { 0x0409, {}, Language::english },
        { 0x0c0a, { "00000C0A" }, Language::spanish },
        { 0x0c0a, noChinese, Language::english },
        { 0x0416, { "00000416" }, Language::portuguese },
        { 0x0416, noChinese, Language::english },
        { 0x0407, { "0000040C" }, Language::english }, // a table language whose locale is missing
        { 0x040c, { "0000040C" }, Language::french },
        { 0x040c, { "0000040c" }, Language::french },
        { 0x0401, { "00000401" }, Language::english },
        { 0x0804, chinese, Language::chineseSimplified },
        { 0x0404, chinese, Language::chineseTraditional },
        { 0x0c04, chinese, Language::chineseTraditional },
        { 0x1404, chinese, Language::chineseTraditional },
        { 0x1004, chinese, Language::chineseTraditional },
        { 0x7c04, chinese, Language::chineseTraditional },
        { 0x0004, chinese, Language::english },
        { 0x0804, noChinese, Language::english },
        { 0x0404, noChinese, Language::english },
        { 0x0c04, noChinese, Language::english },
        { 0x1404, noChinese, Language::english },
        { 0x1004, noChinese, Language::english },
        { 0x7c04, noChinese, Language::english },
        { 0x0004, noChinese, Language::english },
    };

    for (const auto& c : cases)
    {
        auto* loader = loaderFor (c.user, c.installed);
        EXPECT_EQ (loader->currentLanguage, c.expected) << std::hex << c.user;
        EXPECT_EQ (loader->getText (TextId::productName), "QUELVA-DRO"); // its texts are loaded
    }
}

TEST_F (LanguageChoice, InstalledLocalesMarkTheLanguagesOnOffer)
{
    auto* loader = loaderFor (0x0409, { "0000040c", "0000040C", "00000816", "00000404", "C", "", "0000041" });
    const std::vector<uint8_t> offered (loader->available, loader->available + numLanguages);
    //                                        en fr de es it nl ru pt zs zt ko ja
    EXPECT_EQ (offered, (std::vector<uint8_t> { 1, 1, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0 }));

    EXPECT_EQ (enumLocaleProc (nullptr), FALSE);
    char korean[] = "00000412";
    EXPECT_EQ (enumLocaleProc (korean), TRUE);
    EXPECT_EQ (loader->available[Language::korean], 1);
}

TEST_F (LanguageChoice, LanguagesSwitchAndGettersStayInRange)
{
    auto* loader = loaderFor (0x0407, { "00000407" });
    ASSERT_EQ (loader->currentLanguage, Language::german);
    EXPECT_EQ (loader->getText (TextId::close), juce::String::fromUTF8 ("Schlie\xC3\x9F" "en"));
    EXPECT_EQ (loader->getCurrentFont(), "Arial");

    loader->setLanguage (Language::english);
    EXPECT_EQ (loader->getText (TextId::close), "Close");
    EXPECT_EQ (loader->getText (TextId::updateModeHint).substring (0, 14), "Start your %s ");

    for (int bad : { -1, 12, 1000 })
    {
        loader->setLanguage (bad);
        EXPECT_EQ (loader->currentLanguage, Language::english);
        EXPECT_EQ (loader->getText (TextId::close), "Close");
    }

    loader->setLanguage (Language::japanese);
    EXPECT_EQ (loader->getCurrentFont(), "MS UI Gothic");
    EXPECT_EQ (loader->getFont (Language::korean), "Malgun Gothic");
    EXPECT_EQ (loader->getLanguageName (Language::russian), juce::String::fromUTF8 (u8"Русский"));

    EXPECT_TRUE (loader->getText (25).isEmpty());
    EXPECT_TRUE (loader->getText (-1).isEmpty());
    EXPECT_TRUE (loader->getFont (12).isEmpty());
    EXPECT_TRUE (loader->getLanguageName (-1).isEmpty());

    TxtLoader unchosen; // before its first setLanguage
    EXPECT_EQ (unchosen.currentLanguage, -1);
    EXPECT_TRUE (unchosen.getCurrentFont().isEmpty());

    TxtLoader::deleteInstance();
    TxtLoader::deleteInstance();
    EXPECT_NE (TxtLoader::getInstance(), nullptr);
}

TEST (LocaleLayer, NamesMapToWindowsLanguageIds)
{
    EXPECT_EQ (langIdFromLocaleName ("fr_FR.UTF-8"), 0x040c);
    EXPECT_EQ (langIdFromLocaleName ("pt_BR"), 0x0416);
    EXPECT_EQ (langIdFromLocaleName ("zh_TW.UTF-8"), 0x0404);
    EXPECT_EQ (langIdFromLocaleName ("zh_HK.UTF-8"), 0x0c04);
    EXPECT_EQ (langIdFromLocaleName ("es_ES@euro"), 0x0c0a);
    EXPECT_EQ (langIdFromLocaleName ("de_BE.UTF-8"), 0x0407); // territory unknown: the language's first
    EXPECT_EQ (langIdFromLocaleName ("ja"), 0x0411);
    for (auto* none : { "C", "C.UTF-8", "POSIX", "", "_FR", "xx_YY" })
        EXPECT_EQ (langIdFromLocaleName (none), 0) << none;

    EnvironmentGuard guard;
    EnvironmentGuard::setAll (nullptr, nullptr, nullptr);
    EXPECT_EQ (GetUserDefaultLangID(), 0x0409);
    EnvironmentGuard::setAll ("", "ja_JP.UTF-8", "fr_FR.UTF-8");
    EXPECT_EQ (GetUserDefaultLangID(), 0x0411);
    EnvironmentGuard::setAll ("ko_KR.UTF-8", "ja_JP.UTF-8", "fr_FR.UTF-8");
    EXPECT_EQ (GetUserDefaultLangID(), 0x0412);
    EnvironmentGuard::setAll (nullptr, nullptr, "zh_HK.UTF-8");
    EXPECT_EQ (GetUserDefaultLangID(), 0x0c04);
    EnvironmentGuard::setAll (nullptr, "C.UTF-8", "fr_FR.UTF-8"); // messages in the C locale
    EXPECT_EQ (GetUserDefaultLangID(), 0x0409);
}

TEST (LocaleLayer, EnumeratesTheLocalesTheCLibraryCanLoad)
{
    static std::vector<std::string> seen;
    seen.clear();
    auto collect = [] (LPSTR id) -> BOOL { seen.push_back (id); return TRUE; };
    EXPECT_EQ (EnumSystemLocalesA (collect, LCID_INSTALLED), TRUE);

    for (const auto& id : seen)
        EXPECT_TRUE (id.size() == 8 && id.find_first_not_of ("0123456789ABCDEF") == std::string::npos) << id;

    auto loadable = [] (const char* name)
    {
        locale_t loc = newlocale (LC_ALL_MASK, name, (locale_t) 0);
        if (loc != (locale_t) 0)
            freelocale (loc);
        return loc != (locale_t) 0;
    };
    auto listed = [] (const char* id) { return std::find (seen.begin(), seen.end(), id) != seen.end(); };

    EXPECT_EQ (listed ("0000040C"), loadable ("fr_FR.UTF-8"));
    EXPECT_EQ (listed ("00000C04"), loadable ("zh_HK.UTF-8"));
    EXPECT_EQ (listed ("00000416"), loadable ("pt_BR.UTF-8"));

    // A callback returning FALSE ends the enumeration; no callback is refused.
    seen.clear();
    EnumSystemLocalesA ([] (LPSTR id) -> BOOL { seen.push_back (id); return FALSE; }, LCID_SUPPORTED);
    EXPECT_EQ (seen.size(), 1u);
    EXPECT_EQ (EnumSystemLocalesA (nullptr, LCID_INSTALLED), FALSE);
}

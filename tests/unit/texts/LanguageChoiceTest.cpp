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

    // A fresh singleton that chose its language from these facts, given through the locale layer.
    static TxtLoader* loaderFor (LANGID userDefault, std::vector<std::string> installed)
    {
        LocaleFacts facts { std::move (installed), userDefault };
        setLocaleFactsForTesting (&facts);
        TxtLoader::deleteInstance();
        return TxtLoader::getInstance();
    }
};
} // namespace

TEST_F (LanguageChoice, UserDefaultAndInstalledLocalesDecide)
{
    // user default, the locale that makes its language available, the choice with that locale
    struct Case
    {
        LANGID user;
        const char* locale;
        int expected;
    };
    const Case cases[] = {
        { 0x0409, "00000409", Language::english },
        { 0x0c0a, "00000C0A", Language::spanish },
        { 0x0416, "00000416", Language::portuguese },
        { 0x040c, "0000040C", Language::french },
        { 0x040c, "0000040c", Language::french },
        { 0x0401, "00000401", Language::english },
        { 0x0804, "00000804", Language::chineseSimplified },
        { 0x0804, "00000c04", Language::chineseSimplified }, // any Chinese locale offers both
        { 0x0404, "00000804", Language::chineseTraditional },
        { 0x0c04, "00000804", Language::chineseTraditional },
        { 0x1404, "00000804", Language::chineseTraditional },
        { 0x1004, "00000804", Language::chineseTraditional },
        { 0x7c04, "00000804", Language::chineseTraditional },
        { 0x0004, "00000804", Language::english },
    };

    for (const auto& c : cases)
    {
        auto* loader = loaderFor (c.user, { "00000411", c.locale });
        EXPECT_EQ (loader->currentLanguage, c.expected) << std::hex << c.user << " " << c.locale;
        EXPECT_EQ (loader->getText (TextId::productName), "QUELVA-DRO"); // its texts are loaded

        // Without that locale every user default falls back to English.
        EXPECT_EQ (loaderFor (c.user, { "00000411", "00000407" })->currentLanguage, Language::english) << std::hex << c.user;
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
    EXPECT_EQ (loader->getText (TextId::close), juce::String::fromUTF8 ("Schlie\xC3\x9F"
                                                                        "en"));
    EXPECT_EQ (loader->getCurrentFont(), "Arial");

    loader->setLanguage (Language::english);
    EXPECT_EQ (loader->getText (TextId::close), "Close");
    EXPECT_TRUE (loader->getText (TextId::updateModeHint).startsWith ("Start your %s "));

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

    for (const auto* s : { &loader->getText (25), &loader->getText (-1), &loader->getFont (12), &loader->getLanguageName (-1) })
        EXPECT_TRUE (s->isEmpty());

    TxtLoader unchosen; // before its first setLanguage
    EXPECT_EQ (unchosen.currentLanguage, -1);
    EXPECT_TRUE (unchosen.getCurrentFont().isEmpty());

    TxtLoader::deleteInstance();
    TxtLoader::deleteInstance();
    EXPECT_NE (TxtLoader::getInstance(), nullptr);
}

TEST (LocaleLayer, NamesAndEnvironmentMapToWindowsLanguageIds)
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

    // LC_ALL, then LC_MESSAGES, then LANG: the first that is set and not empty decides.
    auto userDefaultWith = [] (const char* all, const char* messages, const char* lang)
    {
        const char* names[] = { "LC_ALL", "LC_MESSAGES", "LANG" };
        const char* values[] = { all, messages, lang };
        for (int i = 0; i < 3; ++i)
            values[i] != nullptr ? setenv (names[i], values[i], 1) : unsetenv (names[i]);
        return GetUserDefaultLangID();
    };

    EXPECT_EQ (userDefaultWith (nullptr, nullptr, nullptr), 0x0409);
    EXPECT_EQ (userDefaultWith ("", "ja_JP.UTF-8", "fr_FR.UTF-8"), 0x0411);
    EXPECT_EQ (userDefaultWith ("ko_KR.UTF-8", "ja_JP.UTF-8", "fr_FR.UTF-8"), 0x0412);
    EXPECT_EQ (userDefaultWith (nullptr, nullptr, "zh_HK.UTF-8"), 0x0c04);
    EXPECT_EQ (userDefaultWith (nullptr, "C.UTF-8", "fr_FR.UTF-8"), 0x0409);
}

TEST (LocaleLayer, EnumeratesTheLocalesTheCLibraryCanLoad)
{
    static std::vector<std::string> seen;
    EXPECT_EQ (EnumSystemLocalesA ([] (LPSTR id) -> BOOL
                                   { seen.push_back (id); return TRUE; },
                                   LCID_INSTALLED),
               TRUE);

    for (const auto& id : seen)
        EXPECT_TRUE (id.size() == 8 && id.find_first_not_of ("0123456789ABCDEF") == std::string::npos) << id;

    auto listedIffLoadable = [] (const char* id, const char* name)
    {
        locale_t loc = newlocale (LC_ALL_MASK, name, (locale_t) 0);
        if (loc != (locale_t) 0)
            freelocale (loc);
        return (std::find (seen.begin(), seen.end(), id) != seen.end()) == (loc != (locale_t) 0);
    };

    EXPECT_TRUE (listedIffLoadable ("0000040C", "fr_FR.UTF-8"));
    EXPECT_TRUE (listedIffLoadable ("00000C04", "zh_HK.UTF-8"));
    EXPECT_TRUE (listedIffLoadable ("00000416", "pt_BR.UTF-8"));

    // A callback returning FALSE ends the enumeration; no callback is refused.
    seen.clear();
    EnumSystemLocalesA ([] (LPSTR id) -> BOOL
                        { seen.push_back (id); return FALSE; },
                        LCID_SUPPORTED);
    EXPECT_EQ (seen.size(), 1u);
    EXPECT_EQ (EnumSystemLocalesA (nullptr, LCID_INSTALLED), FALSE);
}

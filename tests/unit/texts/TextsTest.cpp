// The text-block parser's bounds, every table's formats against the screens' arguments, and the
// starting language chosen from the locale.

#include <gtest/gtest.h>

#include "platform/winapi/Locale.h"
#include "resources/TxtLoader.h"
#include "updater/MainComponent.h"

using Texts = std::vector<std::string>;

TEST (TextBlocks, TheParserKeepsItsBoundsOnAnyInput)
{
    const std::pair<std::string, Texts> cases[] {
        { "\xEF\xBB\xBF\r\n:STR\r\n\"\"\r\n\r\n\"one\"\r\n:EOF\r\n\"no\"", { "", "one" } },
        { ":STR\n\"a\"\n\"b\"\n\"c\"\n\"d\"\n\"e\"\n", { "a", "b", "c", "d" } }, // beyond maxCount: ignored
        { ":STR\n\"a\\tb\\r\\n\\\"q\\\"\\\\\\z\"\n\"open\n\"end\\", { "a\tb\r\n\"q\"\\\\z", "open", "end\\" } },
        { ":STR\n\"" + std::string (3000, 'x') + "\"\n\"next\"\n", { std::string (2046, 'x'), "next" } }, // cut at the line buffer
        { ":STR\nno quote\n\"b\"\n", { "", "b" } },
        { ":STR\n\"\x80z\"\n\"\xC0\x80z\"\n\"\xED\xA0\x80\"\n\"\xE6\x97\xA5\xE6\x9C", { "?z", "??z", "???", "\xE6\x97\xA5??" } },
        { std::string (":STR\n\"a\0b\"\n\"c\"\n", 15), { "a", "c" } },
        { ":STR\n\"", { "" } },
        { ":ST", {} },
    };

    for (const auto& [block, expected] : cases)
    {
        const std::vector<char> bytes (block.begin(), block.end()); // exactly sized, for the sanitizers
        std::vector<juce::String> out (5, "-");
        TxtLoader::parse (bytes.data(), (int) bytes.size(), TxtSection::str, out.data(), 4);
        Texts got;

        for (auto& s : out)
            if (s != "-")
                got.push_back (s.toStdString());

        EXPECT_EQ (got, expected) << block.substr (0, 40);
    }

    std::vector<juce::String> untouched (2, "-");
    TxtLoader::parse (nullptr, 10, TxtSection::str, untouched.data(), 2);
    TxtLoader::parse (":STR\n\"a\"", -5, TxtSection::str, untouched.data(), 2);
    TxtLoader::parse (":STR\n\"a\"", 8, TxtSection::str, nullptr, 2);
    EXPECT_EQ (untouched, (std::vector<juce::String> (2, "-")));
}

// What the screens pass: the device name to six texts (two tables' completion texts leave it out)
// and two numbers to the version lines; the instructions are checked on the screens.
TEST (TextBlocks, EveryTableTextFormatsWithTheScreensArguments)
{
    for (int language = 0; language < numLanguages; ++language)
    {
        std::vector<juce::String> texts (numTexts + 1);
        TxtLoader::parseLanguage (language, TxtSection::str, texts.data(), numTexts + 1);
        EXPECT_TRUE (texts[numTexts].isEmpty()) << "more texts than TextIds in " << language;

        for (int id = 1; id < numTexts; ++id)
        {
            const auto* f = texts[(size_t) id].toRawUTF8();
            const auto conversions = texts[(size_t) id].retainCharacters ("%").length();
            const bool named = juce::Array<int> { TextId::notConnected, TextId::updateHeading, TextId::updatingHeading, TextId::updateDone,
                                                  TextId::notRecognised, TextId::connectStep }
                                   .contains (id) &&
                               !(conversions == 0 && id == TextId::updateDone);
            juce::String s = f;
            juce::StringArray wanted;

            if (id == TextId::currentVersion || id == TextId::updateVersion)
                s = formatString (f, 2, 5), wanted = { "Ver. 2.05" };
            else if (id == TextId::updateModeStep || id == TextId::updateModeHint)
                continue; // formatted on the screens in every language, see ScreenTextTest
            else if (named)
                s = formatString (f, "NAME"), wanted = { "NAME" };

            EXPECT_TRUE (texts[(size_t) id].isNotEmpty() && conversions == (wanted.contains ("Ver. 2.05") ? 2 : wanted.size())) << language << "/" << id << " " << f;

            for (auto& w : wanted)
                EXPECT_TRUE (s.contains (w)) << language << "/" << id << " " << s;
        }
    }
}

TEST (LanguageChoice, TheUserDefaultWinsWhenItsLocaleIsInstalled)
{
    const auto loaderFor = [] (LANGID userDefault, std::vector<std::string> installed)
    {
        LocaleFacts facts { std::move (installed), userDefault };
        setLocaleFactsForTesting (&facts);
        TxtLoader::deleteInstance();
        return TxtLoader::getInstance();
    };

    const std::tuple<LANGID, const char*, int> cases[] {
        { 0x0c0a, "00000C0A", Language::spanish },
        { 0x0416, "00000416", Language::portuguese },
        { 0x040c, "0000040c", Language::french },
        { 0x0401, "00000401", Language::english },
        { 0x0804, "00000c04", Language::chineseSimplified }, // any Chinese locale offers both
        { 0x1404, "00000804", Language::chineseTraditional },
        { 0x0004, "00000804", Language::english },
        { 0x0411, "00000411", Language::japanese },
    };

    for (const auto& [user, locale, expected] : cases)
    {
        EXPECT_EQ (loaderFor (user, { "00000412", locale })->currentLanguage, expected) << std::hex << user << " " << locale;
        EXPECT_EQ (TxtLoader::getInstance()->getText (TextId::productName), "QUELVA-DRO"); // its texts are loaded
        EXPECT_EQ (loaderFor (user, { "00000413" })->currentLanguage, Language::english) << std::hex << user;
    }

    auto* loader = loaderFor (0x0409, { "0000040c", "00000816", "00000404", "C", "", "0000041" });
    //                                                                   en fr de es it nl ru pt zs zt ko ja
    EXPECT_EQ (std::vector<uint8_t> (loader->available, loader->available + 12), (std::vector<uint8_t> { 1, 1, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0 }));
    loader->setLanguage (12);
    EXPECT_EQ (loader->currentLanguage, Language::english);
    EXPECT_TRUE (loader->getText (25).isEmpty() && loader->getFont (-1).isEmpty() && loader->getLanguageName (12).isEmpty());
    setLocaleFactsForTesting (nullptr);

    // LC_ALL, then LC_MESSAGES, then LANG: the first that is set and not empty decides.
    setenv ("LC_ALL", "", 1), setenv ("LC_MESSAGES", "zh_HK.UTF-8", 1), setenv ("LANG", "fr_FR.UTF-8", 1);
    EXPECT_EQ (GetUserDefaultLangID(), 0x0c04);
    unsetenv ("LC_MESSAGES");
    EXPECT_EQ (GetUserDefaultLangID(), 0x040c);
    setenv ("LANG", "C.UTF-8", 1);
    EXPECT_EQ (GetUserDefaultLangID(), 0x0409);
}

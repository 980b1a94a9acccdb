// The text-block parser's bounds, every table's formats against the screens' arguments, and the
// starting language chosen from the locale.

#include <gtest/gtest.h>

#include "platform/winapi/Locale.h"
#include "resources/TxtLoader.h"
#include "updater/MainComponent.h"

#include <string>
#include <vector>

namespace
{
// Parses from an exactly sized copy, so the sanitizer build catches any read past the block.
std::vector<std::string> parsed (const std::string& block, TxtSection wanted = TxtSection::str, int maxCount = 4)
{
    std::vector<char> bytes (block.begin(), block.end());
    std::vector<juce::String> out ((size_t) maxCount + 1, "-");
    TxtLoader::parse (bytes.data(), (int) bytes.size(), wanted, out.data(), maxCount);
    std::vector<std::string> result;

    for (auto& s : out)
        result.push_back (s.toStdString());

    while (!result.empty() && result.back() == "-")
        result.pop_back();

    return result;
}

using Texts = std::vector<std::string>;
} // namespace

TEST (TextBlocks, TheParserKeepsItsBoundsOnAnyInput)
{
    const std::string x3000 (3000, 'x');
    const struct
    {
        std::string block;
        Texts expected;
    } cases[] {
        { "\xEF\xBB\xBF\r\n:STR\r\n\"\"\r\n\r\n\"one\"\r\n\"two\"\r\n:EOF\r\n\"no\"", { "", "one", "two" } },
        { ":STR\r\"a\"\r\"b\"", { "a", "b" } },                                                 // lone CR, no last line end
        { ":LANG\n\"l\"\n:STRINGS\n\"s1\"\n:FONT_WIN\n\"f\"\n:STR\n\"s2\"\n", { "s1", "s2" } }, // headers anywhere in their line
        { "\xEF\xBB\xBF:STR\n\"x\"\n", {} },                                                    // a byte-order mark is no header
        { ":STR\n#\"skipped\"\n #\"kept\"\n:STR_EOF\n\"b\"\n", { "kept" } },
        { ":STR\n\"a\"\n\"b\"\n\"c\"\n\"d\"\n\"e\"\n", { "a", "b", "c", "d" } }, // beyond maxCount: ignored
        { ":STR\n\"a\\tb\\r\\n\\\"q\\\"\\\\\\z\"\n\"open\n\"end\\", { "a\tb\r\n\"q\"\\\\z", "open", "end\\" } },
        { ":STR\n\"" + x3000 + "\"\n\"next\"\n", { std::string (2046, 'x'), "next" } }, // cut at the line buffer
        { ":STR\nno quote\n\"b\"\n", { "", "b" } },
        { ":STR\n\"\x80z\"\n\"\xC0\x80z\"\n\"caf\xC3\"\n\"\xED\xA0\x80\"\n", { "?z", "??z", "caf?", "???" } },
        { std::string (":STR\n\"a\0b\"\n\"c\"\n", 15), { "a", "c" } },
        { ":STR\n\"\xE6\x97\xA5\xE6\x9C", { "\xE6\x97\xA5??" } }, // a block cut inside a character
        { ":STR\n\"", { "" } },
        { ":ST", {} },
    };

    for (const auto& c : cases)
        EXPECT_EQ (parsed (c.block), c.expected) << c.block.substr (0, 60);

    EXPECT_EQ (parsed (":LANG\n\"\xE6\x97\xA5\"\n", TxtSection::lang), Texts { "\xE6\x97\xA5" });

    std::vector<juce::String> untouched (2, "-");
    TxtLoader::parse (nullptr, 10, TxtSection::str, untouched.data(), 2);
    TxtLoader::parse (":STR\n\"a\"", -5, TxtSection::str, untouched.data(), 2);
    TxtLoader::parse (":STR\n\"a\"", 8, TxtSection::str, nullptr, 2);
    EXPECT_EQ (untouched, (std::vector<juce::String> (2, "-")));
}

//==============================================================================
// What the screens pass to each text: the device name to six of them, major and minor version
// numbers to two, and the name and the two button labels to the update-mode instructions.
TEST (TextBlocks, EveryTableTextFormatsWithTheScreensArguments)
{
    const std::string name = "NAME", a = "AUTO/WAKE UP", b = "TAP";

    for (int language = 0; language < numLanguages; ++language)
    {
        std::vector<juce::String> texts (numTexts + 1, "-");
        TxtLoader::parseLanguage (language, TxtSection::str, texts.data(), numTexts + 1);
        EXPECT_EQ (texts[numTexts], "-") << "more texts than TextIds in " << language;

        for (int id = 1; id < numTexts; ++id)
        {
            SCOPED_TRACE (std::to_string (language) + "/" + std::to_string (id));
            const auto* format = texts[(size_t) id].toRawUTF8();
            const auto conversions = texts[(size_t) id].retainCharacters ("%").length();
            ASSERT_TRUE (texts[(size_t) id].isNotEmpty());

            switch (id)
            {
                case TextId::currentVersion:
                case TextId::updateVersion:
                    EXPECT_TRUE (formatString (format, 2, 5).endsWith ("Ver. 2.05")) << format;
                    EXPECT_EQ (conversions, 2);
                    break;
                case TextId::updateModeStep:
                case TextId::updateModeHint:
                {
                    // Chinese, Korean and Japanese name the buttons first.
                    const bool buttonsFirst = language >= Language::chineseSimplified;
                    const auto s = buttonsFirst ? formatString (format, a.c_str(), b.c_str(), name.c_str())
                                                : formatString (format, name.c_str(), a.c_str(), b.c_str());
                    EXPECT_TRUE (s.contains ("[" + a + "]") && s.contains ("[" + b + "]") && s.contains (name) && !s.contains ("[" + name)) << s;
                    EXPECT_EQ (conversions, 3);
                    break;
                }
                case TextId::notConnected:
                case TextId::updateHeading:
                case TextId::updatingHeading:
                case TextId::updateDone:
                case TextId::notRecognised:
                case TextId::connectStep:
                    // Two tables' completion texts leave the name out.
                    if (conversions != 0 || id != TextId::updateDone)
                    {
                        EXPECT_TRUE (formatString (format, name.c_str()).contains (name)) << format;
                        EXPECT_EQ (conversions, 1);
                    }
                    break;
                default:
                    EXPECT_EQ (conversions, 0) << format;
            }
        }
    }
}

//==============================================================================
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
        LocaleFacts facts { std::move (installed), userDefault };
        setLocaleFactsForTesting (&facts);
        TxtLoader::deleteInstance();
        return TxtLoader::getInstance();
    }
};
} // namespace

TEST_F (LanguageChoice, TheUserDefaultWinsWhenItsLocaleIsInstalled)
{
    const struct
    {
        LANGID user;
        const char* locale;
        int expected;
    } cases[] {
        { 0x0409, "00000409", Language::english },
        { 0x0c0a, "00000C0A", Language::spanish },
        { 0x0416, "00000416", Language::portuguese },
        { 0x040c, "0000040c", Language::french },
        { 0x0407, "00000407", Language::german },
        { 0x0401, "00000401", Language::english },
        { 0x0804, "00000c04", Language::chineseSimplified }, // any Chinese locale offers both
        { 0x0404, "00000804", Language::chineseTraditional },
        { 0x0c04, "00000804", Language::chineseTraditional },
        { 0x1404, "00000804", Language::chineseTraditional },
        { 0x0004, "00000804", Language::english },
        { 0x0411, "00000411", Language::japanese },
    };

    for (const auto& c : cases)
    {
        auto* loader = loaderFor (c.user, { "00000412", c.locale });
        EXPECT_EQ (loader->currentLanguage, c.expected) << std::hex << c.user << " " << c.locale;
        EXPECT_EQ (loader->getText (TextId::productName), "QUELVA-DRO"); // its texts are loaded
        EXPECT_EQ (loaderFor (c.user, { "00000413" })->currentLanguage, c.user == 0x0413 ? Language::dutch : Language::english);
    }

    auto* loader = loaderFor (0x0409, { "0000040c", "00000816", "00000404", "C", "", "0000041" });
    const std::vector<uint8_t> offered (loader->available, loader->available + numLanguages);
    //                                        en fr de es it nl ru pt zs zt ko ja
    EXPECT_EQ (offered, (std::vector<uint8_t> { 1, 1, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0 }));

    for (int bad : { -1, 12 })
    {
        loader->setLanguage (bad);
        EXPECT_EQ (loader->currentLanguage, Language::english);
    }

    for (const auto* s : { &loader->getText (25), &loader->getText (-1), &loader->getFont (12), &loader->getLanguageName (-1) })
        EXPECT_TRUE (s->isEmpty());
}

TEST (LocaleLayer, NamesAndEnvironmentMapToLanguageIds)
{
    EXPECT_EQ (langIdFromLocaleName ("pt_BR"), 0x0416);
    EXPECT_EQ (langIdFromLocaleName ("zh_HK.UTF-8"), 0x0c04);
    EXPECT_EQ (langIdFromLocaleName ("es_ES@euro"), 0x0c0a);
    EXPECT_EQ (langIdFromLocaleName ("de_BE.UTF-8"), 0x0407); // territory unknown: the language's first

    for (auto* none : { "C", "C.UTF-8", "POSIX", "", "_FR", "xx_YY" })
        EXPECT_EQ (langIdFromLocaleName (none), 0) << none;

    // LC_ALL, then LC_MESSAGES, then LANG: the first that is set and not empty decides.
    const auto userDefaultWith = [] (const char* all, const char* messages, const char* lang)
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
    EXPECT_EQ (userDefaultWith (nullptr, "C.UTF-8", "fr_FR.UTF-8"), 0x0409);
}

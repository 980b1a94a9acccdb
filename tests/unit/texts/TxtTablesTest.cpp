#include <gtest/gtest.h>

#include "resources/TxtLoader.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace
{
const char* const englishTexts[numTexts] = {
    "", "WZH", "QUELVA-DRO", "Updater Program", "OK", "Start", "Cancel", "Close",
    "Language Selections", "Please select a language.", "There is an error in the update file.",
    "Your %s is not connected.", "Updates the version of your %s firmware.",
    "Current Version: Ver. %d.%02d", "Update Version : Ver. %d.%02d", "Updating your %s firmware.",
    "Please wait for a few moments until the update process is complete.",
    "The update of your version of the %s firmware is now complete.", "An error has occurred.",
    "It was not possible to update the program.", "Your %s is not recognized.",
    "1. Connect your %s and your computer using a USB cable.",
    "2. Start your %s in update mode by pressing the power button while pressing the [%s] button and the [%s] button.",
    "3. Restart this program.",
    "Start your %s in update mode by pressing the power button while pressing the [%s] button and the [%s] button."
};

// Entries that every build must hold exactly as written: { language, TextId } -> UTF-8.
const std::map<std::pair<int, int>, std::string> quotedEntries = {
    { { Language::german, TextId::connectStep }, "1. Verbinden Sie Ihren %s und einen Computer \n\xC3\xBC"
                                                 "ber ein USB-Kabel." },
    { { Language::italian, TextId::connectStep }, "1. Collegare il controller %s al computer \nutilizzando un cavo USB." },
    { { Language::portuguese, TextId::updatingHeading }, "Atualizando o firmware do seu% s." },
    { { Language::portuguese, TextId::updateDone }, "A vers\xC3\xA3o foi actualizada." },
    { { Language::korean, TextId::updateDone }, u8"버전 업데이트 되었습니다." },
    { { Language::chineseSimplified, TextId::updateModeStep }, u8"2. 通过按电源按钮，同时按[%s]按钮和[%s]按钮，\n以更新模式启动%s。" },
    { { Language::chineseSimplified, TextId::updateModeHint }, u8"通过按电源按钮，同时按[%s]按钮和[%s]按钮，\n以更新模式启动%s。" },
    { { Language::chineseTraditional, TextId::updateModeStep }, u8"2. 按下電源開關的同時按住[%s]鍵和[%s]鍵，\n就會以更新模式開啟%s。" },
    { { Language::chineseTraditional, TextId::updateModeHint }, u8"按下電源開關的同時按住[%s]鍵和[%s]鍵，\n就會以更新模式開啟%s。" },
    { { Language::korean, TextId::updateModeStep }, u8"2. [%s]와 [%s] 버튼을 누른 상태에서 전원 버튼을 눌러, %s를 업데이트 모드로 기동하십시오." },
    { { Language::korean, TextId::updateModeHint }, u8"[%s]와 [%s] 버튼을 누른 상태에서 전원 버튼을 눌러, %s를 업데이트 모드로 기동하십시오." },
    { { Language::japanese, TextId::updateModeStep }, u8"2. [%s]と[%s]を押しながら\n電源ボタンを押し、%sをアップデートモードで起動してください。" },
    { { Language::japanese, TextId::updateModeHint }, u8"[%s]と[%s]を押しながら\n電源ボタンを押し、%sをアップデートモードで起動してください。" },
};

std::vector<std::string> splitCrLf (const char* data, int size)
{
    std::vector<std::string> lines;
    const std::string all (data, (size_t) size);
    size_t start = 0;

    for (size_t eol; (eol = all.find ("\r\n", start)) != std::string::npos; start = eol + 2)
        lines.push_back (all.substr (start, eol - start));

    EXPECT_EQ (start, all.size()) << "the last line must end in CR LF";
    return lines;
}

std::vector<juce::String> table (int language)
{
    std::vector<juce::String> out (numTexts + 1, "<unset>");
    TxtLoader::parseLanguage (language, TxtSection::str, out.data(), numTexts + 1);
    return out;
}

// printf conversions in order, each as written ("%s", "% s", "%02d").
std::vector<std::string> conversions (const std::string& format)
{
    std::vector<std::string> found;

    for (size_t i = format.find ('%'); i != std::string::npos; i = format.find ('%', i))
    {
        const size_t end = format.find_first_not_of ("-+ #0123456789.hlzjt", i + 1);
        found.push_back (format.substr (i, end == std::string::npos ? std::string::npos : end - i + 1));
        i = end == std::string::npos ? end : end + 1;
    }

    return found;
}

// As the screens format: measure, then format into a buffer of exactly that size.
juce::String formatText (const char* format, ...)
{
    va_list args;
    va_start (args, format);
    const int length = _vscprintf (format, args);
    va_end (args);

    if (length < 0)
        return "<failed>";

    std::vector<char> buffer ((size_t) length + 1);
    va_start (args, format);
    const int written = vsprintf_s (buffer.data(), buffer.size(), format, args);
    va_end (args);

    if (written != length || !juce::CharPointer_UTF8::isValidString (buffer.data(), length))
        return "<failed>";

    return juce::String::fromUTF8 (buffer.data(), length);
}
} // namespace

TEST (TxtTables, BlocksHaveTheirLineLayout)
{
    for (int language = 0; language < numLanguages; ++language)
    {
        SCOPED_TRACE (language);
        const auto lines = splitCrLf (languageTable[language].data, languageTable[language].size);
        ASSERT_EQ (lines.size(), 31u);
        EXPECT_EQ (lines[0], "\xEF\xBB\xBF");
        EXPECT_EQ (lines[1], ":STR");
        EXPECT_EQ (lines[2], "");
        EXPECT_EQ (lines[3], "\"\"");
        EXPECT_EQ (lines[4], "");
        EXPECT_EQ (lines[29], "");
        EXPECT_EQ (lines[30], ":EOF");

        for (size_t i = 5; i < 29; ++i) // one quoted entry per line, no lone CR or LF
            EXPECT_TRUE (lines[i].size() > 2 && lines[i].front() == '"' && lines[i].back() == '"' && lines[i].find_first_of ("\r\n") == std::string::npos) << lines[i];
    }

    const auto common = splitCrLf (commonTextBlock, commonTextBlockSize);
    EXPECT_EQ (commonTextBlockSize, 517);
    ASSERT_EQ (common.size(), 47u);
    EXPECT_EQ (common[0] + common[1] + common[16] + common[31] + common[46], "\xEF\xBB\xBF:FONT_WIN:FONT_MAC:LANG:EOF");

    for (const auto& line : common)
        EXPECT_EQ (line.find_first_of ("\r\n"), std::string::npos) << line;
}

TEST (TxtTables, CommonBlockHoldsFontsAndOwnNames)
{
    const char* const fontsWin[] = { "Arial", "Arial", "Arial", "Arial", "Arial", "Arial", "Arial", "Arial",
                                     "Microsoft YaHei", "Microsoft YaHei", "Malgun Gothic", "MS UI Gothic" };
    const char* const names[] = { "English", u8"Français", "Deutsch", u8"Español", "Italiano", "Nederlands",
                                  u8"Русский", u8"Português", u8"简体中文", u8"繁體中文", u8"한국어", u8"日本語" };

    std::vector<juce::String> fonts (numLanguages + 1, "<unset>"), langs (numLanguages + 1, "<unset>");
    TxtLoader::parse (commonTextBlock, commonTextBlockSize, TxtSection::fontWin, fonts.data(), numLanguages + 1);
    TxtLoader::parse (commonTextBlock, commonTextBlockSize, TxtSection::lang, langs.data(), numLanguages + 1);

    for (int i = 0; i < numLanguages; ++i)
    {
        EXPECT_EQ (fonts[(size_t) i], fontsWin[i]);
        EXPECT_EQ (langs[(size_t) i], juce::String::fromUTF8 (names[i]));
    }

    EXPECT_EQ (fonts.back(), "<unset>"); // the :FONT_MAC names are never stored
    EXPECT_EQ (langs.back(), "<unset>");
}

TEST (TxtTables, EveryTableHas25EntriesAndTheSharedOnes)
{
    for (int language = 0; language < numLanguages; ++language)
    {
        SCOPED_TRACE (language);
        const auto texts = table (language);
        EXPECT_EQ (texts[numTexts], "<unset>");

        for (int id = 0; id < numTexts; ++id)
        {
            if (language == Language::english || id <= TextId::productName)
                EXPECT_EQ (texts[(size_t) id], englishTexts[id]) << id;
            else
                EXPECT_TRUE (texts[(size_t) id].isNotEmpty() && texts[(size_t) id] != "<unset>") << id;
        }
    }

    for (const auto& [where, text] : quotedEntries)
        EXPECT_EQ (table (where.first)[(size_t) where.second].toStdString(), text) << where.first << "/" << where.second;
}

TEST (TxtTables, PlaceholdersLineBreaksAndEscapesMatchEnglish)
{
    const auto english = table (Language::english);

    for (int language = 0; language < numLanguages; ++language)
    {
        const auto texts = table (language);

        for (int id = 0; id < numTexts; ++id)
        {
            SCOPED_TRACE (std::to_string (language) + "/" + std::to_string (id));
            const std::string text = texts[(size_t) id].toStdString();
            auto expected = conversions (english[(size_t) id].toStdString());

            if ((language == Language::portuguese || language == Language::korean) && id == TextId::updateDone)
                expected.clear();
            if (language == Language::portuguese && id == TextId::updatingHeading)
                expected = { "% s" };

            EXPECT_EQ (conversions (text), expected);

            const bool breaks = ((language == Language::german || language == Language::italian) && id == TextId::connectStep) || ((language == Language::chineseSimplified || language == Language::chineseTraditional || language == Language::japanese) && (id == TextId::updateModeStep || id == TextId::updateModeHint));
            EXPECT_EQ (std::count (text.begin(), text.end(), '\n'), breaks ? 1 : 0);
            EXPECT_EQ (text.find_first_of ("\r\t\"\\"), std::string::npos);
        }

        // The two version lines: "%d" then "%02d", colons at the same character (Korean aligns by width).
        const auto& current = texts[TextId::currentVersion];
        const auto& update = texts[TextId::updateVersion];
        EXPECT_TRUE (current.endsWith (": Ver. %d.%02d") && update.endsWith (": Ver. %d.%02d")) << language;

        if (language != Language::korean)
        {
            EXPECT_EQ (current.indexOfChar (':'), update.indexOfChar (':')) << language;
        }
    }
}

TEST (TxtTables, EveryEntryFormatsWithTheScreensArguments)
{
    const std::set<int> withName { TextId::notConnected, TextId::updateHeading, TextId::updatingHeading,
                                   TextId::updateDone, TextId::notRecognised, TextId::connectStep };

    for (int language = 0; language < numLanguages; ++language)
    {
        const auto texts = table (language);

        for (int id = 0; id < numTexts; ++id)
        {
            SCOPED_TRACE (std::to_string (language) + "/" + std::to_string (id));
            const char* text = texts[(size_t) id].toRawUTF8();
            const char* name = "QUELVA-DRO";

            if (id == TextId::currentVersion || id == TextId::updateVersion)
            {
                EXPECT_TRUE (formatText (text, 0, 5).endsWith ("Ver. 0.05"));
                EXPECT_TRUE (formatText (text, 258 / 100, 258 % 100).endsWith ("Ver. 2.58"));
            }
            else if (id == TextId::updateModeStep || id == TextId::updateModeHint)
            {
                // Languages 8 to 11 take the button labels first and the name last.
                const auto result = language >= Language::chineseSimplified ? formatText (text, "AUTO/WAKE UP", "TAP", name)
                                                                            : formatText (text, name, "AUTO/WAKE UP", "TAP");
                EXPECT_TRUE (result.contains ("[AUTO/WAKE UP]") && result.contains ("[TAP]") && result.contains (name) && !result.contains ("[QUELVA-DRO]")) << result;
            }
            else if (withName.count (id) != 0)
            {
                const bool nameless = (language == Language::portuguese || language == Language::korean) && id == TextId::updateDone;
                const auto result = formatText (text, "WZH");
                EXPECT_TRUE (nameless ? result == juce::String::fromUTF8 (text) : result.contains ("WZH")) << result;
            }
            else
            {
                EXPECT_EQ (formatText (text), juce::String::fromUTF8 (text)); // shown unformatted
            }
        }
    }
}

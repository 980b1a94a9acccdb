#include <gtest/gtest.h>

#include "resources/TxtLoader.h"

#include <string>
#include <vector>

namespace
{
const juce::String unset ("<unset>");

// Parses from an exactly sized copy, so the sanitizer build catches any read past the block.
std::vector<juce::String> parseBlock (const std::string& block, TxtSection wanted, int maxCount = 6)
{
    std::vector<char> bytes (block.begin(), block.end());
    std::vector<juce::String> out ((size_t) maxCount + 1, unset);
    TxtLoader::parse (bytes.data(), (int) bytes.size(), wanted, out.data(), maxCount);
    return out;
}

std::string unquoted (const std::string& line)
{
    std::vector<char> out (line.size() + 1, 'X');
    TxtLoader::unquote (line.c_str(), out.data());
    return out.data();
}

std::vector<juce::String> expect (std::initializer_list<const char*> stored, size_t total)
{
    std::vector<juce::String> v;
    for (auto* s : stored)
        v.push_back (juce::String::fromUTF8 (s));
    v.resize (total, unset);
    return v;
}
} // namespace

TEST (TxtParse, LineEndsCrLfLoneCrAndLoneLfGiveTheSameEntries)
{
    for (const std::string eol : { "\r\n", "\r", "\n" })
    {
        const std::string block = "\xEF\xBB\xBF" + eol + ":STR" + eol + eol + "\"\"" + eol + eol + "\"one\"" + eol + "\"two\"" + eol + eol + ":EOF" + eol;
        EXPECT_EQ (parseBlock (block, TxtSection::str), expect ({ "", "one", "two" }, 7)) << (int) eol.size();
    }

    // The last line needs no line end.
    EXPECT_EQ (parseBlock (":STR\n\"a\"\n\"b\"", TxtSection::str), expect ({ "a", "b" }, 7));
}

TEST (TxtParse, HeadersAreMatchedAnywhereInTheirLine)
{
    const std::string block = "\"before any header\"\n"
                              ":LANGUAGE\n\"lang1\"\n"
                              ":STRINGS\n\"str1\"\n"
                              ":FONT_MAC\n\"mac\"\n"
                              ":LANG_STR\n\"lang2\"\n"
                              ":FONT_WIN\n\"font\"\n"
                              ":STR\n\"str2\"\n";

    EXPECT_EQ (parseBlock (block, TxtSection::lang), expect ({ "lang1", "lang2" }, 7));
    EXPECT_EQ (parseBlock (block, TxtSection::str), expect ({ "str1", "str2" }, 7)); // numbering continues
    EXPECT_EQ (parseBlock (block, TxtSection::fontWin), expect ({ "font" }, 7));

    // The byte-order mark is the first byte of its line, so a header there is not one.
    EXPECT_EQ (parseBlock ("\xEF\xBB\xBF:STR\r\n\"x\"\r\n", TxtSection::str), expect ({}, 7));
}

TEST (TxtParse, EofCommentsAndCountLimits)
{
    EXPECT_EQ (parseBlock (":STR\n\"a\"\n:EOF\n\"b\"\n:STR\n\"c\"\n", TxtSection::str), expect ({ "a" }, 7));
    EXPECT_EQ (parseBlock (":STR\n\"a\"\n:STR_EOF\n\"b\"\n", TxtSection::str), expect ({ "a" }, 7));

    // '#' comments only at the very first byte; an indented one is an entry.
    EXPECT_EQ (parseBlock (":STR\n#\"skipped\"\n #\"kept\"\n", TxtSection::str), expect ({ "kept" }, 7));

    // Entries beyond maxCount are ignored, elements past them keep their value.
    EXPECT_EQ (parseBlock (":STR\n\"a\"\n\"b\"\n\"c\"\n", TxtSection::str, 2), expect ({ "a", "b" }, 3));
}

TEST (TxtParse, UnquoteEscapes)
{
    EXPECT_EQ (unquoted ("\"a\\tb\""), "a\tb");
    EXPECT_EQ (unquoted ("\"\\r\\n\""), "\r\n");
    EXPECT_EQ (unquoted ("\"say \\\"hi\\\" now\""), "say \"hi\" now");
    EXPECT_EQ (unquoted ("\"a\\\\b\""), "a\\b");
    EXPECT_EQ (unquoted ("\"a\\qb\""), "a\\qb");
    EXPECT_EQ (unquoted ("x \"kept\" dropped words"), "kept");
    EXPECT_EQ (unquoted ("\"no closing quote"), "no closing quote");
    EXPECT_EQ (unquoted ("\"ends in a backslash\\"), "ends in a backslash\\");
    EXPECT_EQ (unquoted ("no quote at all"), "");
}

TEST (TxtParse, Utf8ArrivesAsCharacters)
{
    const auto out = parseBlock (":LANG\n\"Fran\xC3\xA7"
                                 "ais\"\n\"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\"\n",
                                 TxtSection::lang);
    EXPECT_EQ (out[0].length(), 8);
    EXPECT_EQ (out[0][4], (juce::juce_wchar) 0x00e7);
    EXPECT_EQ (out[1].length(), 3);
    EXPECT_EQ (out[1][0], (juce::juce_wchar) 0x65e5);
    EXPECT_EQ (out[1][2], (juce::juce_wchar) 0x8a9e);
}

TEST (TxtParse, BadInputHasASafeOutcome)
{
    // A line longer than the 2047-byte buffer is cut there; the next line is read normally.
    const std::string longEntry = "\"" + std::string (3000, 'x') + "\"";
    const auto out = parseBlock (":STR\n" + longEntry + "\n\"next\"\n", TxtSection::str);
    EXPECT_EQ (out[0], juce::String::repeatedString ("x", 2046));
    EXPECT_EQ (out[1], "next");

    // An entry without a quote is an empty text and still takes its number.
    EXPECT_EQ (parseBlock (":STR\nno quote\n\"b\"\n", TxtSection::str), expect ({ "", "b" }, 7));

    // Malformed UTF-8 is replaced byte by byte, never handed to juce::String as it stands.
    EXPECT_EQ (parseBlock (":STR\n\"\x80"
                           "abcdefghijklmnop\"\n\"\xC0\x80z\"\n\"caf\xC3\"\n\"\xED\xA0\x80\"\n",
                           TxtSection::str),
               expect ({ "?abcdefghijklmnop", "??z", "caf?", "???" }, 7));

    // Embedded NUL bytes end the line's text early but not the block.
    EXPECT_EQ (parseBlock (std::string (":STR\n\"a\0b\"\n\"c\"\n", 15), TxtSection::str), expect ({ "a", "c" }, 7));

    std::vector<juce::String> untouched (2, unset);
    TxtLoader::parse (nullptr, 10, TxtSection::str, untouched.data(), 2);
    TxtLoader::parse (":STR\n\"a\"", 0, TxtSection::str, untouched.data(), 2);
    TxtLoader::parse (":STR\n\"a\"", -5, TxtSection::str, untouched.data(), 2);
    TxtLoader::parse (":STR\n\"a\"", 8, TxtSection::str, nullptr, 2);
    EXPECT_EQ (untouched, expect ({}, 2));
}

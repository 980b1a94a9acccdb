#include "resources/TxtLoader.h"
#include "updater/MainComponent.h"

#include <gtest/gtest.h>

#include <string>

TEST (FormatString, FormatsUtf8BytesAndIntsAsPrintfDoes)
{
    // Field widths count bytes: "é" is two of the five.
    EXPECT_EQ (formatString ("%s|%d|%02d|%5s|", "日本語", -3, 7, "é"), juce::String::fromUTF8 ("日本語|-3|07|   é|"));

    // Measured first, so a text of any length comes out whole.
    const std::string longArgument (10000, 'a');
    EXPECT_EQ (formatString ("<%s>", longArgument.c_str()).length(), 10002);

    EXPECT_EQ (formatString (nullptr), juce::String());
}

TEST (FormatString, TableTextsWithoutOrWithOddConversions)
{
    auto* texts = TxtLoader::getInstance();

    // Two tables' completion texts hold no conversion: the name passed is not shown.
    for (int language : { (int) Language::portuguese, (int) Language::korean })
    {
        texts->setLanguage (language);
        const auto done = texts->getText (TextId::updateDone);
        ASSERT_FALSE (done.contains ("%"));
        EXPECT_EQ (formatString (done.toRawUTF8(), "QUELVA-DRO"), done);
    }

    // "% s" formats a string like "%s".
    texts->setLanguage (Language::portuguese);
    EXPECT_EQ (formatString (texts->getText (TextId::updatingHeading).toRawUTF8(), "QUELVA-DRO"),
               juce::String::fromUTF8 ("Atualizando o firmware do seuQUELVA-DRO."));

    TxtLoader::deleteInstance();
}

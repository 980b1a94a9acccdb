#pragma once

#include "platform/winapi/WinApi.h"

#include <juce_core/juce_core.h>

#include <cstdint>

//==============================================================================
// Enumerations as plain ints, named through their type (Language::russian,
// TextId::windowTitle, TxtSection::str) without putting the names in the global scope.
namespace TxtLoaderEnums
{
/** The languages of the string tables, in table order. */
enum Language : int
{
    english = 0,
    french,
    german,
    spanish,
    italian,
    dutch,
    russian,
    portuguese,
    chineseSimplified,
    chineseTraditional,
    korean,
    japanese
};

/** The index of a text in every language's table. */
enum TextId : int
{
    empty = 0,
    familyName,
    productName,
    windowTitle,
    ok,
    start,
    cancel,
    close,
    languageHeading,
    selectLanguage,
    badUpdateFile,
    notConnected,
    updateHeading,
    currentVersion,
    updateVersion,
    updatingHeading,
    pleaseWait,
    updateDone,
    errorOccurred,
    updateImpossible,
    notRecognised,
    connectStep,
    updateModeStep,
    restartStep,
    updateModeHint
};

/** The sections of a text block that the parser can store. */
enum TxtSection : int
{
    none = 0,
    fontWin = 1,
    lang = 3,
    str = 4
};
} // namespace TxtLoaderEnums

using Language = TxtLoaderEnums::Language;
using TextId = TxtLoaderEnums::TextId;
using TxtSection = TxtLoaderEnums::TxtSection;

constexpr int numLanguages = 12;
constexpr int numTexts = 25;

/** A built-in text block: UTF-8 with a byte-order mark, CR LF line ends, no NUL needed. */
struct TextBlock
{
    const char* data;
    int size;
};

/** The string table of each Language, in Language order. */
extern const TextBlock languageTable[numLanguages];

/** The Windows language identifier of each Language, in Language order. */
extern const LANGID languageIds[numLanguages];

/** The block with each language's font name (:FONT_WIN) and own name (:LANG). */
extern const char* const commonTextBlock;
extern const int commonTextBlockSize;

//==============================================================================
/**
    The program's texts: the current language, its 25 texts by TextId, and every
    language's font name and own name. A singleton created on first use, which
    chooses the starting language from the user's default language and the
    installed locales.

    Message thread only; it has no lock.
*/
class TxtLoader
{
public:
    TxtLoader();
    virtual ~TxtLoader();

    //==============================================================================
    /** Creates the singleton and chooses its language, when there is none yet. */
    static void createInstance();

    /** The singleton, created first when there is none. */
    static TxtLoader* getInstance();

    /** Deletes the singleton, if there is one. */
    static void deleteInstance();

    //==============================================================================
    /** Loads the texts of a language (0 to 11); other values and the current language do nothing. */
    void setLanguage (int language);

    /** Marks the languages that the user may choose in `available` and returns the starting one. */
    Language chooseLanguage();

    /** Each getter returns an empty string for an index out of range. */
    const juce::String& getText (int id) const;
    const juce::String& getFont (int language) const;
    const juce::String& getCurrentFont() const;
    const juce::String& getLanguageName (int language) const;

    //==============================================================================
    /** Stores the entries of section `wanted` of a block into out[0..maxCount-1], in order.
        Reads nothing beyond `size`; elements of out that get no entry keep their value.
    */
    static void parse (const char* data, int size, TxtSection wanted, juce::String* out, int maxCount);

    /** Writes the text between the double quotes of an entry line, unescaped and NUL-terminated,
        into out, which must be at least as long as the line. No quote gives an empty text.
    */
    static void unquote (const char* line, char* out);

    /** parse() over the string table of a language (0 to 11). */
    static void parseLanguage (int language, TxtSection section, juce::String* out, int maxCount);

    //==============================================================================
    /** The Language whose texts are loaded; -1 until the first setLanguage. */
    int currentLanguage = -1;

    /** 1 for each Language that the user may choose (english always), else 0. */
    uint8_t available[numLanguages] {};

private:
    static TxtLoader* instance;

    juce::String emptyText;
    juce::String fonts[numLanguages];
    juce::String languageNames[numLanguages];
    juce::String texts[numTexts];

    JUCE_DECLARE_NON_COPYABLE (TxtLoader)
};

/** The EnumSystemLocalesA callback: marks the languages whose low LANGID byte ends the locale string. */
BOOL enumLocaleProc (LPSTR localeName);

#pragma once

// The locale facts behind EnumSystemLocalesA and GetUserDefaultLangID (declared in WinApi.h).
// Installed locales are those of the C library's locale folder (what `locale -a` lists); each
// is known to the program by a Windows language identifier: its language's, or for Chinese its
// territory's. Message thread only.

#include "platform/winapi/WinApi.h"

#include <string>
#include <vector>

/** The Windows language identifier of a POSIX locale name such as "pt_BR.UTF-8@euro": that of
    its language's main territory, except that each Chinese territory has its own; 0 for a
    language without one (also for "C" and "POSIX").
*/
LANGID langIdFromLocaleName (const char* localeName);

/** The identifiers of the locales installed in a locale folder such as /usr/lib/locale (the
    names in its locale-archive and its locale directories), each once, in the order found.
    A missing or damaged archive adds nothing.
*/
std::vector<LANGID> installedLanguageIds (const char* localeFolder);

/** What the two locale calls report while a test has replaced the system's facts. */
struct LocaleFacts
{
    /** The strings handed to the EnumSystemLocalesA callback, in order (e.g. "0000040C"). */
    std::vector<std::string> installedLocales;

    /** What GetUserDefaultLangID returns. */
    LANGID userDefaultLangId = 0x0409;
};

/** Test seam: makes the two locale calls report these facts instead of the system's.
    nullptr restores the system's facts.
*/
void setLocaleFactsForTesting (const LocaleFacts* facts);

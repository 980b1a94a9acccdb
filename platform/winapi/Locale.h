#pragma once

// The locale facts behind EnumSystemLocalesA and GetUserDefaultLangID (declared in WinApi.h).
// Installed locales are those the C library can load; each is known to the program by the
// Windows locale identifier that a table of ours gives its name. Message thread only.

#include "platform/winapi/WinApi.h"

#include <string>
#include <vector>

/** The Windows language identifier of a POSIX locale name such as "pt_BR.UTF-8@euro":
    the table entry of its language and territory, else the first entry of its language;
    0 when the table knows neither (also for "C" and "POSIX").
*/
LANGID langIdFromLocaleName (const char* localeName);

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

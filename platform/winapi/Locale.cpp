#include "platform/winapi/Locale.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <memory>

namespace
{
struct LocaleMapping
{
    const char* name; // language_TERRITORY, as glibc names its locales
    LANGID langId;
};

// The first entry of each language also stands for its territories missing here.
const LocaleMapping localeMappings[] = {
    { "en_US", 0x0409 },
    { "en_GB", 0x0809 },
    { "en_AU", 0x0c09 },
    { "en_CA", 0x1009 },
    { "en_NZ", 0x1409 },
    { "en_IE", 0x1809 },
    { "en_ZA", 0x1c09 },
    { "en_PH", 0x3409 },
    { "en_HK", 0x3c09 },
    { "en_IN", 0x4009 },
    { "en_SG", 0x4809 },

    { "fr_FR", 0x040c },
    { "fr_BE", 0x080c },
    { "fr_CA", 0x0c0c },
    { "fr_CH", 0x100c },
    { "fr_LU", 0x140c },

    { "de_DE", 0x0407 },
    { "de_CH", 0x0807 },
    { "de_AT", 0x0c07 },
    { "de_LU", 0x1007 },
    { "de_LI", 0x1407 },

    { "es_ES", 0x0c0a },
    { "es_MX", 0x080a },
    { "es_GT", 0x100a },
    { "es_CR", 0x140a },
    { "es_PA", 0x180a },
    { "es_DO", 0x1c0a },
    { "es_VE", 0x200a },
    { "es_CO", 0x240a },
    { "es_PE", 0x280a },
    { "es_AR", 0x2c0a },
    { "es_EC", 0x300a },
    { "es_CL", 0x340a },
    { "es_UY", 0x380a },
    { "es_PY", 0x3c0a },
    { "es_BO", 0x400a },
    { "es_SV", 0x440a },
    { "es_HN", 0x480a },
    { "es_NI", 0x4c0a },
    { "es_PR", 0x500a },
    { "es_US", 0x540a },

    { "it_IT", 0x0410 },
    { "it_CH", 0x0810 },
    { "nl_NL", 0x0413 },
    { "nl_BE", 0x0813 },
    { "ru_RU", 0x0419 },
    { "ru_MD", 0x0819 },
    { "pt_PT", 0x0816 },
    { "pt_BR", 0x0416 },

    { "zh_CN", 0x0804 },
    { "zh_TW", 0x0404 },
    { "zh_HK", 0x0c04 },
    { "zh_SG", 0x1004 },
    { "zh_MO", 0x1404 },

    { "ko_KR", 0x0412 },
    { "ja_JP", 0x0411 },

    { "ar_SA", 0x0401 },
    { "ar_IQ", 0x0801 },
    { "ar_EG", 0x0c01 },
    { "ar_LY", 0x1001 },
    { "ar_DZ", 0x1401 },
    { "ar_MA", 0x1801 },
    { "ar_TN", 0x1c01 },
    { "ar_OM", 0x2001 },
    { "ar_YE", 0x2401 },
    { "ar_SY", 0x2801 },
    { "ar_JO", 0x2c01 },
    { "ar_LB", 0x3001 },
    { "ar_KW", 0x3401 },
    { "ar_AE", 0x3801 },
    { "ar_BH", 0x3c01 },
    { "ar_QA", 0x4001 },

    { "bg_BG", 0x0402 },
    { "ca_ES", 0x0403 },
    { "cs_CZ", 0x0405 },
    { "da_DK", 0x0406 },
    { "el_GR", 0x0408 },
    { "fi_FI", 0x040b },
    { "he_IL", 0x040d },
    { "hu_HU", 0x040e },
    { "is_IS", 0x040f },
    { "nb_NO", 0x0414 },
    { "nn_NO", 0x0814 },
    { "pl_PL", 0x0415 },
    { "rm_CH", 0x0417 },
    { "ro_RO", 0x0418 },
    { "hr_HR", 0x041a },
    { "sk_SK", 0x041b },
    { "sq_AL", 0x041c },
    { "sv_SE", 0x041d },
    { "sv_FI", 0x081d },
    { "th_TH", 0x041e },
    { "tr_TR", 0x041f },
    { "ur_PK", 0x0420 },
    { "id_ID", 0x0421 },
    { "uk_UA", 0x0422 },
    { "be_BY", 0x0423 },
    { "sl_SI", 0x0424 },
    { "et_EE", 0x0425 },
    { "lv_LV", 0x0426 },
    { "lt_LT", 0x0427 },
    { "tg_TJ", 0x0428 },
    { "fa_IR", 0x0429 },
    { "vi_VN", 0x042a },
    { "hy_AM", 0x042b },
    { "az_AZ", 0x042c },
    { "eu_ES", 0x042d },
    { "mk_MK", 0x042f },
    { "tn_ZA", 0x0432 },
    { "xh_ZA", 0x0434 },
    { "zu_ZA", 0x0435 },
    { "af_ZA", 0x0436 },
    { "ka_GE", 0x0437 },
    { "fo_FO", 0x0438 },
    { "hi_IN", 0x0439 },
    { "mt_MT", 0x043a },
    { "se_NO", 0x043b },
    { "ga_IE", 0x083c },
    { "ms_MY", 0x043e },
    { "kk_KZ", 0x043f },
    { "ky_KG", 0x0440 },
    { "sw_KE", 0x0441 },
    { "tk_TM", 0x0442 },
    { "uz_UZ", 0x0443 },
    { "tt_RU", 0x0444 },
    { "bn_IN", 0x0445 },
    { "pa_IN", 0x0446 },
    { "gu_IN", 0x0447 },
    { "or_IN", 0x0448 },
    { "ta_IN", 0x0449 },
    { "te_IN", 0x044a },
    { "kn_IN", 0x044b },
    { "ml_IN", 0x044c },
    { "as_IN", 0x044d },
    { "mr_IN", 0x044e },
    { "sa_IN", 0x044f },
    { "mn_MN", 0x0450 },
    { "bo_CN", 0x0451 },
    { "cy_GB", 0x0452 },
    { "km_KH", 0x0453 },
    { "lo_LA", 0x0454 },
    { "gl_ES", 0x0456 },
    { "si_LK", 0x045b },
    { "am_ET", 0x045e },
    { "ne_NP", 0x0461 },
    { "fy_NL", 0x0462 },
    { "ps_AF", 0x0463 },
    { "fil_PH", 0x0464 },
    { "ha_NG", 0x0468 },
    { "yo_NG", 0x046a },
    { "nso_ZA", 0x046c },
    { "lb_LU", 0x046e },
    { "kl_GL", 0x046f },
    { "ig_NG", 0x0470 },
    { "br_FR", 0x047e },
    { "ug_CN", 0x0480 },
    { "mi_NZ", 0x0481 },
    { "oc_FR", 0x0482 },
    { "rw_RW", 0x0487 },
    { "wo_SN", 0x0488 },
    { "gd_GB", 0x0491 },
    { "bs_BA", 0x141a },
    { "sr_RS", 0x281a },
};

// Set only by tests, on the message thread.
std::unique_ptr<LocaleFacts> testFacts;

bool canLoadLocale (const char* name)
{
    char withCodeset[32];
    std::snprintf (withCodeset, sizeof (withCodeset), "%s.UTF-8", name);

    // One category tells whether a locale is installed, as it does for `locale -a`. Loading all
    // of them cost 50-90 ms for the whole table: glibc keeps every category it loads in a list
    // that each later load searches.
    for (const char* candidate : { (const char*) withCodeset, name })
    {
        if (locale_t loc = newlocale (LC_IDENTIFICATION_MASK, candidate, (locale_t) 0))
        {
            freelocale (loc);
            return true;
        }
    }

    return false;
}
} // namespace

//==============================================================================
LANGID langIdFromLocaleName (const char* localeName)
{
    if (localeName == nullptr)
        return 0;

    // language[_TERRITORY] without the codeset and modifier
    const size_t length = std::strcspn (localeName, ".@");
    const size_t languageLength = std::strcspn (localeName, "_.@");

    for (const auto& m : localeMappings)
        if (std::strlen (m.name) == length && std::strncmp (m.name, localeName, length) == 0)
            return m.langId;

    if (languageLength == 0)
        return 0;

    for (const auto& m : localeMappings)
        if (std::strcspn (m.name, "_") == languageLength && std::strncmp (m.name, localeName, languageLength) == 0)
            return m.langId;

    return 0;
}

void setLocaleFactsForTesting (const LocaleFacts* facts)
{
    testFacts.reset (facts != nullptr ? new LocaleFacts (*facts) : nullptr);
}

//==============================================================================
extern "C" BOOL EnumSystemLocalesA (LOCALE_ENUMPROCA callback, DWORD flags)
{
    if (callback == nullptr)
        return FALSE;

    if (testFacts != nullptr)
    {
        const auto installed = testFacts->installedLocales; // the callback may replace the facts

        for (const auto& id : installed)
        {
            std::vector<char> copy (id.begin(), id.end());
            copy.push_back (0);

            if (!callback (copy.data()))
                break;
        }

        return TRUE;
    }

    const bool onlyInstalled = (flags & LCID_SUPPORTED) == 0;

    for (const auto& m : localeMappings)
    {
        if (onlyInstalled && !canLoadLocale (m.name))
            continue;

        // Windows writes locale identifiers as eight upper-case hexadecimal digits.
        char id[9];
        std::snprintf (id, sizeof (id), "%08X", (unsigned int) m.langId);

        if (!callback (id))
            break;
    }

    return TRUE;
}

extern "C" LANGID GetUserDefaultLangID (void)
{
    if (testFacts != nullptr)
        return testFacts->userDefaultLangId;

    // POSIX precedence: the first of these that is set and not empty names the messages locale.
    for (const char* variable : { "LC_ALL", "LC_MESSAGES", "LANG" })
    {
        const char* value = std::getenv (variable);

        if (value != nullptr && *value != 0)
        {
            const LANGID id = langIdFromLocaleName (value);
            return id != 0 ? id : (LANGID) 0x0409;
        }
    }

    return 0x0409;
}

#include <gtest/gtest.h>

#include "UpdateFileFolder.h"

#include <dirent.h>
#include <vector>

namespace
{
using Access = MainComponentTestAccess;

/** Runs the constructor's file steps over the folder; gives the name it kept. */
juce::String searchResult()
{
    auto component = Access::createMembersOnly();
    Access::checkUpdateFile (*component);
    return Access::updateFileName (*component);
}
} // namespace

TEST (UpdateFileSearch, EarlierPrefixWinsWhateverTheListingOrder)
{
    const std::vector<std::pair<std::vector<const char*>, const char*>> cases {
        { { "QUELVA-DRO_v2.upd", "vn382_v1.upd" }, "vn382_v1.upd" },
        { { "QUELVA-DRO_v2.upd", "quelva-dro_v3.upd", "VN382_v4.upd" }, "VN382_v4.upd" },
        { { "QUELVA-DRO_v2.upd", "quelva-dro_1.upd" }, "quelva-dro_1.upd" },
        { { "QUELVA-DRO_v2.upd", "Vn382_v1.upd" }, "QUELVA-DRO_v2.upd" },
    };

    for (const auto& [names, expected] : cases)
    {
        for (const bool reversed : { false, true })
        {
            ScopedExecutableFolder dir;

            for (size_t i = 0; i < names.size(); ++i)
                dir.write (names[reversed ? names.size() - 1 - i : i], updateFileBytes (40));

            EXPECT_EQ (searchResult(), expected) << names.size() << " files, reversed " << reversed;
        }
    }
}

TEST (UpdateFileSearch, TheFirstListedFileOfOnePrefixIsTaken)
{
    ScopedExecutableFolder dir;
    dir.write ("vn382_b1.upd", updateFileBytes (40));
    dir.write ("vn382_a1.upd", updateFileBytes (40));

    // The platform's own listing is the oracle.
    std::string firstListed;
    DIR* d = opendir (dir.folder.getFullPathName().toRawUTF8());
    ASSERT_NE (d, nullptr);

    while (auto* entry = readdir (d))
    {
        const std::string name = entry->d_name;

        if (firstListed.empty() && (name == "vn382_a1.upd" || name == "vn382_b1.upd"))
            firstListed = name;
    }

    closedir (d);
    EXPECT_EQ (searchResult(), juce::String (firstListed));
}

TEST (UpdateFileSearch, NameRules)
{
    const struct
    {
        const char* name;
        const char* prefix;
        bool passes;
    } cases[] {
        { "vn382_.upd", "vn382_", false },                                      // 10 bytes
        { "vn382_1.upd", "vn382_", false },                                     // 11
        { "vn382_12.upd", "vn382_", true },                                     // 12
        { "vn382_123456789.upd", "vn382_", true },                              // 19
        { "vn382_1234567890.upd", "vn382_", false },                            // 20
        { "quelva-dro_1.upd", "quelva-dro_", true },                            // 16
        { "vn382_\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.upd", "vn382_", true },   // 13 characters, 19 bytes
        { "vn382_\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9ex.upd", "vn382_", false }, // 14 characters, 20 bytes
        { "vn382_v1.2.upd", "vn382_", false },                                  // the text from the first '.' is ".2.upd"
        { "vn382_v1.updx", "vn382_", true },                                    // nothing after ".upd" is looked at
        { "vn382_v1.UPD", "vn382_", false },
        { "VN382_V1.UPD", "VN382_", false },
        { "Vn382_v1.upd", "vn382_", false },
        { "Vn382_v1.upd", "VN382_", false },
        { "vn382_v1_upd", "vn382_", false }, // no '.'
        { "vn38", "vn382_", false },
    };

    for (const auto& c : cases)
        EXPECT_EQ (MainComponent::isUpdateFileName (c.name, c.prefix, ".upd"), c.passes) << c.name;
}

TEST (UpdateFileSearch, FoldersSubFoldersAndWrongCaseAreNotFound)
{
    ScopedExecutableFolder dir;
    dir.folder.getChildFile ("vn382_v1.upd").createDirectory();
    dir.folder.getChildFile ("sub").createDirectory();
    dir.write ("sub/vn382_v2.upd", updateFileBytes (40));
    dir.write ("VN382_V1.UPD", updateFileBytes (40)); // listed for "*.upd" here, refused by name

    char out[256] = "kept";

    for (auto* prefix : { "vn382_", "VN382_", "quelva-dro_", "QUELVA-DRO_" })
        EXPECT_FALSE (MainComponent::findUpdateFile (prefix, ".upd", out)) << prefix;

    EXPECT_STREQ (out, "kept");
    EXPECT_TRUE (searchResult().isEmpty());
}

TEST (UpdateFileSearch, NonAsciiNameIsKeptAsUtf8AndLoadedAgain)
{
    ScopedExecutableFolder dir;
    const char* name = "vn382_\xc3\xbc"
                       "1.upd"; // 13 bytes
    dir.write (name, updateFileBytes (40, "VN382", "123"));

    auto component = Access::createMembersOnly();
    Access::checkUpdateFile (*component);

    EXPECT_EQ (Access::updateFileName (*component), juce::String (juce::CharPointer_UTF8 (name)));
    EXPECT_EQ (Access::fileValid (*component), 1);
    EXPECT_EQ (Access::fileVersion (*component), 123);
}

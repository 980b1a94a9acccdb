// The update file as the program finds, refuses and measures it at start-up.

#include <gtest/gtest.h>

#include "support/AppRig.h"
#include "updater/FileLocations.h"

#include <dirent.h>
#include <filesystem>
#include <sys/stat.h>

using namespace testsupport;

namespace
{
using Access = MainComponentTestAccess;

/** The constructor's file steps over the executable folder. */
std::unique_ptr<MainComponent> checked()
{
    auto component = Access::createMembersOnly();
    Access::checkUpdateFile (*component);
    return component;
}

/** A stream that claims a length and delivers its content a few bytes per read. */
struct ScriptedStream : juce::InputStream
{
    ScriptedStream (juce::int64 claimedLength, Bytes bytes, size_t bytesPerRead)
        : claimed (claimedLength)
        , content (std::move (bytes))
        , chunk (bytesPerRead)
    {
    }

    juce::int64 getTotalLength() override { return claimed; }
    bool isExhausted() override { return position >= content.size(); }
    juce::int64 getPosition() override { return (juce::int64) position; }
    bool setPosition (juce::int64) override { return false; }

    int read (void* dest, int n) override
    {
        ++reads;
        const auto count = std::min ({ (size_t) n, chunk, content.size() - position });
        std::memcpy (dest, content.data() + position, count);
        position += count;
        return (int) count;
    }

    juce::int64 claimed;
    Bytes content;
    size_t chunk, position = 0;
    int reads = 0;
};
} // namespace

//==============================================================================
TEST (UpdateFile, NameRules)
{
    const std::pair<const char*, bool> cases[] {
        { "vn382_1.upd", false }, // 11 bytes
        { "vn382_12.upd", true }, // 12
        { "vn382_123456789.upd", true },
        { "vn382_1234567890.upd", false },                          // 20
        { "vn382_\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.upd", true }, // 19 bytes of UTF-8
        { "vn382_v1.2.upd", false },                                // the text from the first '.' is ".2.upd"
        { "vn382_v1.updx", true },                                  // nothing after ".upd" is looked at
        { "vn382_v1.UPD", false },
        { "Vn382_v1.upd", false },
        { "vn382_v1_upd", false },
    };

    for (const auto& [name, passes] : cases)
        EXPECT_EQ (MainComponent::isUpdateFileName (name, "vn382_", ".upd"), passes) << name;

    EXPECT_TRUE (MainComponent::isUpdateFileName ("quelva-dro_1.upd", "quelva-dro_", ".upd"));
}

TEST (UpdateFile, EarlierPrefixWinsWhateverTheListingOrder)
{
    const std::vector<std::pair<std::vector<const char*>, const char*>> cases {
        { { "QUELVA-DRO_v2.upd", "quelva-dro_v3.upd", "VN382_v4.upd", "vn382_v1.upd" }, "vn382_v1.upd" },
        { { "QUELVA-DRO_v2.upd", "quelva-dro_v3.upd", "VN382_v4.upd" }, "VN382_v4.upd" },
        { { "QUELVA-DRO_v2.upd", "quelva-dro_1.upd" }, "quelva-dro_1.upd" },
        { { "QUELVA-DRO_v2.upd", "Vn382_v1.upd", "VN382_V1.UPD" }, "QUELVA-DRO_v2.upd" },
        { { "vn382_v1.upd/", "sub/vn382_v2.upd", "VN382_V1.UPD" }, "" }, // a folder, a sub-folder, wrong case
    };

    for (const auto& [names, expected] : cases)
    {
        for (const bool reversed : { false, true })
        {
            ExecutableFolder dir;

            for (size_t i = 0; i < names.size(); ++i)
            {
                const juce::String name = names[reversed ? names.size() - 1 - i : i];
                if (name.contains ("/"))
                    dir.folder.getChildFile (name.upToFirstOccurrenceOf ("/", false, false)).createDirectory();

                if (!name.endsWith ("/"))
                    dir.write (name.toRawUTF8(), updateFile (40));
            }

            EXPECT_EQ (Access::updateFileName (*checked()), expected) << expected << (reversed ? " reversed" : "");
        }
    }
}

TEST (UpdateFile, TheFirstListedOfOnePrefixIsTaken)
{
    ExecutableFolder dir;
    dir.write ("vn382_b1.upd", updateFile (40));
    dir.write ("vn382_a1.upd", updateFile (40));

    std::string firstListed; // the platform's own listing is the oracle
    DIR* d = opendir (dir.folder.getFullPathName().toRawUTF8());
    ASSERT_NE (d, nullptr);

    while (auto* entry = readdir (d))
        if (firstListed.empty() && std::string (entry->d_name).rfind ("vn382_", 0) == 0)
            firstListed = entry->d_name;

    closedir (d);
    EXPECT_EQ (Access::updateFileName (*checked()), juce::String (firstListed));
}

//==============================================================================
TEST (UpdateFile, ValidityVersionAndMeasure)
{
    const struct
    {
        size_t length;
        const char* magic;
        const char* digits;
        int valid, version;
    } cases[] {
        { 36, "VN382", "001", 0, -1 }, // header only
        { 37, "VN382", "001", 1, 1 },
        { 37, "VN382", "000", 0, -1 },
        { 5000, "VN382", "201", 1, 201 },
        { 40, "VN382", "1A0", 1, 100 + 170 }, // any byte counts as a digit
        { 37, "vn382", "123", 0, -1 },        // the magic is case-sensitive
        { 37, "VN382", "/99", 0, -1 },        // -100 + 90 + 9
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.length) + " " + c.magic + " " + c.digits);
        ExecutableFolder dir;
        const auto bytes = updateFile (c.length, c.digits, c.magic);
        dir.write ("vn382_\xc3\xbc"
                   "1.upd",
                   bytes);
        const auto component = checked();

        EXPECT_EQ (Access::updateFileName (*component), juce::String::fromUTF8 ("vn382_\xc3\xbc"
                                                                                "1.upd"));
        EXPECT_EQ (Access::fileValid (*component), c.valid);
        EXPECT_EQ (Access::fileVersion (*component), c.version);
        EXPECT_EQ (Access::payloadSize (*component), c.valid != 0 ? (int) c.length - 36 : 0);
        EXPECT_EQ (Access::imageSize (*component), c.length); // measured whenever the header is whole
        EXPECT_EQ (Access::imageCrc (*component), crcOracle (bytes));
        EXPECT_EQ (Access::imageWrite (*component), 1);
    }

    for (size_t length : { 1, 1023, (1 << 20) + 3 }) // the CRC alone, over odd lengths
    {
        const auto bytes = updateFile (length);
        EXPECT_EQ (MainComponent::calcCrc16 (bytes.data(), (int) length), crcOracle (bytes)) << length;
    }
}

TEST (UpdateFile, WhatCannotBeReadWholeIsRefusedAndWritesNothing)
{
    ExecutableFolder dir;
    dir.write ("ten.upd", updateFile (10));
    dir.write ("short.upd", updateFile (35));
    dir.folder.getChildFile ("folder.upd").createDirectory();
    ASSERT_EQ (mkfifo (dir.folder.getChildFile ("fifo.upd").getFullPathName().toRawUTF8(), 0600), 0);

    const auto untouched = [] (MainComponent& c)
    { return Access::imageSize (c) == 0xdeadbeef && Access::imageCrc (c) == 0xbeef; };
    const auto marked = []
    {
        auto c = Access::createMembersOnly();
        Access::imageSize (*c) = 0xdeadbeef;
        Access::imageCrc (*c) = 0xbeef;
        return c;
    };

    // "" names the folder itself, as when no file was found; a FIFO would block the open.
    for (auto* name : { "ten.upd", "short.upd", "missing.upd", "", "folder.upd", "fifo.upd" })
    {
        auto c = marked();
        int version = 0;
        EXPECT_EQ (Access::loadUpdateFile (*c, name, "VN382 ", &version), 0) << name;
        EXPECT_EQ (version, -1) << name;
        EXPECT_TRUE (untouched (*c)) << name;
    }

    // A read that ends early, and a length beyond 32 bits (2^32 + 37 would look like 37).
    const auto header = updateFile (100);
    ScriptedStream truncated (100, Bytes (header.begin(), header.begin() + 60), 25), huge ((1LL << 32) + 37, header, 1 << 20);

    for (auto* stream : { &truncated, &huge })
    {
        auto c = marked();
        int version = 0;
        EXPECT_EQ (Access::loadUpdateStream (*c, *stream, "VN382 ", &version), 0);
        EXPECT_TRUE (untouched (*c));
    }

    EXPECT_EQ (huge.reads, 0);

    // Partial reads that together deliver the whole length are fine.
    ScriptedStream inPieces (100, header, 7);
    auto c = marked();
    int version = 0;
    EXPECT_EQ (Access::loadUpdateStream (*c, inPieces, "VN382 ", &version), 64);
    EXPECT_EQ (Access::imageCrc (*c), crcOracle (header));

    const auto file = dir.write ("vn382_big.upd", header);
    std::filesystem::resize_file (file.getFullPathName().toStdString(), (1ULL << 32) + 37); // sparse
    EXPECT_EQ (Access::fileValid (*checked()), 0);
}

//==============================================================================
// The file is looked for beside the executable, so that must be the running file however the
// program was started: this binary starts itself again by its bare name through PATH, from
// another folder, and the copy prints what it takes for its own file.
TEST (UpdateFile, TheExecutableIsTheRunningFileEvenWhenStartedThroughPath)
{
    if (std::getenv ("UPDATER_PRINT_EXECUTABLE") != nullptr)
    {
        std::printf ("executable=%s\n", getSpecialLocation (juce::File::currentExecutableFile).getFullPathName().toRawUTF8());
        return;
    }

    const auto self = juce::File ("/proc/self/exe").getLinkedTarget();
    juce::ChildProcess child;
    ASSERT_TRUE (child.start (juce::StringArray { "env", "-C", juce::File::getSpecialLocation (juce::File::tempDirectory).getFullPathName(),
                                                  "PATH=" + self.getParentDirectory().getFullPathName(), "UPDATER_PRINT_EXECUTABLE=1",
                                                  self.getFileName(), "--gtest_filter=UpdateFile.TheExecutableIs*" }));
    const auto output = child.readAllProcessOutput();
    EXPECT_TRUE (output.contains ("executable=" + self.getFullPathName() + "\n")) << output;
}

// The update file as the program finds, refuses and measures it at start-up.

#include <gtest/gtest.h>

#include "platform/linux/FileLocations.h"
#include "support/AppRig.h"

#include <filesystem>
#include <sys/stat.h>

using namespace testsupport;
using Access = MainComponentTestAccess;

namespace
{
/** The constructor's file steps over the executable folder. */
std::unique_ptr<MainComponent> checked()
{
    auto component = Access::createMembersOnly();
    Access::imageSize (*component) = 0xdeadbeef;
    Access::checkUpdateFile (*component);
    return component;
}
} // namespace

TEST (UpdateFile, TheFirstPrefixInOrderWinsByTheNameRules)
{
    const std::vector<std::pair<std::vector<const char*>, const char*>> cases {
        { { "QUELVA-DRO_v2.upd", "quelva-dro_v3.upd", "VN382_v4.upd", "vn382_v1.upd" }, "vn382_v1.upd" },
        { { "QUELVA-DRO_v2.upd", "quelva-dro_v3.upd", "VN382_v4.upd", "vn382_1.upd" }, "VN382_v4.upd" }, // 11 bytes
        { { "QUELVA-DRO_v2.upd", "quelva-dro_1.upd", "VN382_V1.UPD", "vn382_v1.2.upd" }, "quelva-dro_1.upd" },
        { { "QUELVA-DRO_v2.upd", "Vn382_v1.upd", "vn382_1234567890.upd", "vn382_v1_upd" }, "QUELVA-DRO_v2.upd" },                   // 20 bytes
        { { "vn382_\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.upd", "VN382_v4.upd" }, "vn382_\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.upd" }, // 19
        { { "vn382_v1.upd/", "sub/vn382_v2.upd" }, "" },                                                                            // a folder, a file in a sub-folder
    };

    for (const auto& [names, expected] : cases)
    {
        for (const bool reversed : { false, true })
        {
            ExecutableFolder dir;

            for (size_t i = 0; i < names.size(); ++i)
            {
                const juce::String name = juce::String::fromUTF8 (names[reversed ? names.size() - 1 - i : i]);

                if (name.contains ("/"))
                    dir.folder.getChildFile (name.upToFirstOccurrenceOf ("/", false, false)).createDirectory();

                if (!name.endsWith ("/"))
                    dir.write (name.toRawUTF8(), updateFile (40));
            }

            EXPECT_EQ (Access::updateFileName (*checked()), juce::String::fromUTF8 (expected)) << reversed;
        }
    }
}

TEST (UpdateFile, HeaderAndVersionDecideAndTheWholeFileIsMeasured)
{
    const struct
    {
        size_t length;
        const char *magic, *digits;
        int version; // -1: not a valid file
    } cases[] {
        { 36, "VN382", "001", -1 }, // header only
        { 37, "VN382", "001", 1 },
        { 37, "VN382", "000", -1 },
        { (3 << 16) + 77, "VN382", "201", 201 }, // read in pieces
        { 40, "VN382", "1A0", 270 },             // every byte counts as a digit
        { 37, "vn382", "123", -1 },
        { 37, "VN382", "/99", -1 }, // -100 + 90 + 9
    };

    for (const auto& c : cases)
    {
        ExecutableFolder dir;
        const auto bytes = updateFile (c.length, c.digits, c.magic);
        dir.write ("vn382_\xc3\xbc"
                   "1.upd",
                   bytes);
        const auto component = checked();
        EXPECT_EQ (Access::fileVersion (*component), c.version) << c.length << c.magic << c.digits;
        EXPECT_EQ (Access::fileValid (*component), c.version > 0 ? 1 : 0) << c.length << c.magic << c.digits;
        EXPECT_EQ (Access::payloadSize (*component), c.version > 0 ? (int) c.length - 36 : 0);
        EXPECT_EQ (Access::imageSize (*component), c.length); // measured whenever the header is whole
        EXPECT_EQ (Access::imageCrc (*component), crcOracle (bytes));
        EXPECT_EQ (Access::imageWrite (*component), 1);
    }

    // Long data is folded in blocks: every tail length.
    const auto big = updateFile (300);

    for (int length = 1; length <= 300; ++length)
        EXPECT_EQ (MainComponent::calcCrc16 (big.data(), length), crcOracle (Bytes (big.begin(), big.begin() + length))) << length;
}

TEST (UpdateFile, WhatCannotBeReadWholeIsRefusedAndMeasuresNothing)
{
    ExecutableFolder dir;
    dir.write ("short.upd", updateFile (35));
    dir.folder.getChildFile ("folder.upd").createDirectory();
    ASSERT_EQ (mkfifo (dir.folder.getChildFile ("fifo.upd").getFullPathName().toRawUTF8(), 0600), 0);
    const auto sparse = dir.write ("huge.upd", updateFile (37)); // 2^32 + 37 would pass for 37 bytes
    std::filesystem::resize_file (sparse.getFullPathName().toStdString(), (1ULL << 32) + 37);

    // "" names the folder itself, as when no file was found; a FIFO would block the open.
    for (auto* name : { "short.upd", "missing.upd", "", "folder.upd", "fifo.upd", "huge.upd" })
    {
        auto c = Access::createMembersOnly();
        Access::imageSize (*c) = 0xdeadbeef;
        int version = 0;
        EXPECT_EQ (Access::loadUpdateFile (*c, name, "VN382 ", &version), 0) << name;
        EXPECT_EQ (version, -1) << name;
        EXPECT_EQ (Access::imageSize (*c), 0xdeadbeef) << name;
    }
}

// The file lies beside the executable, the running file however it was started: this binary starts
// itself again by its bare name through PATH, elsewhere, and the copy prints its own file.
TEST (UpdateFile, TheExecutableIsTheRunningFileEvenWhenStartedThroughPath)
{
    if (std::getenv ("UPDATER_PRINT_EXECUTABLE") != nullptr)
        return (void) std::printf ("executable=%s\n", getSpecialLocation (juce::File::currentExecutableFile).getFullPathName().toRawUTF8());

    const auto self = juce::File ("/proc/self/exe").getLinkedTarget();
    juce::ChildProcess child;
    ASSERT_TRUE (child.start ({ "env", "-C", "/", "PATH=" + self.getParentDirectory().getFullPathName(), "UPDATER_PRINT_EXECUTABLE=1",
                                self.getFileName(), "--gtest_filter=UpdateFile.TheExecutableIs*" }));
    EXPECT_TRUE (child.readAllProcessOutput().contains ("executable=" + self.getFullPathName() + "\n"));
}

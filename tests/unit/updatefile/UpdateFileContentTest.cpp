#include <gtest/gtest.h>

#include "UpdateFileFolder.h"

#include <filesystem>
#include <sys/stat.h>

namespace
{
using Access = MainComponentTestAccess;

constexpr juce::uint32 untouchedSize = 0xdeadbeef;
constexpr juce::uint16 untouchedCrc = 0xbeef;

std::unique_ptr<MainComponent> componentWithMarkedImageFields()
{
    auto component = Access::createMembersOnly();
    Access::imageSize (*component) = untouchedSize;
    Access::imageCrc (*component) = untouchedCrc;
    Access::imageWrite (*component) = 7;
    return component;
}

void expectImageFieldsUntouched (MainComponent& c)
{
    EXPECT_EQ (Access::imageSize (c), untouchedSize);
    EXPECT_EQ (Access::imageCrc (c), untouchedCrc);
    EXPECT_EQ (Access::imageWrite (c), 7);
}

/** A stream that claims a length and delivers its content a few bytes per read. */
struct ScriptedStream : juce::InputStream
{
    ScriptedStream (juce::int64 claimedLength, std::string bytes, int bytesPerRead)
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
        const auto count = std::min ({ (size_t) n, (size_t) chunk, content.size() - position });
        std::memcpy (dest, content.data() + position, count);
        position += count;
        return (int) count;
    }

    juce::int64 claimed;
    std::string content;
    int chunk;
    size_t position = 0;
    int reads = 0;
};
} // namespace

TEST (UpdateFileContent, ValidityFromLengthMagicAndVersion)
{
    const struct
    {
        size_t length;
        const char* magic;
        const char* digits;
        int valid, version, payload;
    } cases[] {
        { 36, "VN382", "001", 0, -1, 0 }, // header only
        { 37, "VN382", "001", 1, 1, 1 },
        { 37, "VN382", "000", 0, -1, 0 },
        { 40, "VN382", "123", 1, 123, 4 },
        { 37, "vn382", "123", 0, -1, 0 }, // the magic is case-sensitive
        { 37, "VN382", "/99", 0, -1, 0 }, // -100 + 90 + 9
        { 5000, "VN382", "201", 1, 201, 4964 },
    };

    for (const auto& c : cases)
    {
        ScopedExecutableFolder dir;
        const auto bytes = updateFileBytes (c.length, c.magic, c.digits);
        dir.write ("vn382_v1.upd", bytes);

        auto component = Access::createMembersOnly();
        Access::checkUpdateFile (*component);

        SCOPED_TRACE (juce::String (c.length) + " " + c.magic + " " + c.digits);
        EXPECT_EQ (Access::fileValid (*component), c.valid);
        EXPECT_EQ (Access::fileVersion (*component), c.version);
        EXPECT_EQ (Access::payloadSize (*component), c.payload);
        // Measured for every file of a whole header, valid or not.
        EXPECT_EQ (Access::imageSize (*component), c.length);
        EXPECT_EQ (Access::imageCrc (*component), referenceCrc16 (bytes.data(), bytes.size()));
        EXPECT_EQ (Access::imageWrite (*component), 1);
    }
}

TEST (UpdateFileContent, VersionTakesAnyByteValueAndWrongMagicStillMeasures)
{
    ScopedExecutableFolder dir;
    dir.write ("a.upd", updateFileBytes (40, "VN382", "1A0"));
    dir.write ("b.upd", updateFileBytes (40, "VN382", "\xff\xff\xff"));
    dir.write ("c.upd", updateFileBytes (50, "VN38x", "123"));

    auto component = Access::createMembersOnly();
    int version = 0;

    EXPECT_EQ (Access::loadUpdateFile (*component, "a.upd", "VN382 ", &version), 4);
    EXPECT_EQ (version, 1 * 100 + 17 * 10 + 0);

    EXPECT_EQ (Access::loadUpdateFile (*component, "b.upd", "VN382 ", &version), 4);
    EXPECT_EQ (version, 207 * 111);

    EXPECT_EQ (Access::loadUpdateFile (*component, "c.upd", "VN382 ", &version), 0);
    EXPECT_EQ (version, 123);
    EXPECT_EQ (Access::imageSize (*component), 50u);
}

TEST (UpdateFileContent, UnreadableOrShortFilesWriteNothing)
{
    ScopedExecutableFolder dir;
    dir.write ("ten.upd", updateFileBytes (36).substr (0, 10));
    dir.write ("short.upd", updateFileBytes (35));
    dir.folder.getChildFile ("folder.upd").createDirectory();
    ASSERT_EQ (mkfifo (dir.folder.getChildFile ("fifo.upd").getFullPathName().toRawUTF8(), 0600), 0);

    // "" names the folder itself, as when no file was found; a FIFO would block the open.
    for (auto* name : { "ten.upd", "short.upd", "missing.upd", "", "folder.upd", "fifo.upd" })
    {
        auto component = componentWithMarkedImageFields();
        int version = 0;

        EXPECT_EQ (Access::loadUpdateFile (*component, name, "VN382 ", &version), 0) << name;
        EXPECT_EQ (version, -1) << name;
        expectImageFieldsUntouched (*component);
    }

    auto component = componentWithMarkedImageFields();
    Access::checkUpdateFile (*component);
    EXPECT_EQ (Access::fileValid (*component), 0);
    EXPECT_EQ (Access::fileVersion (*component), -1);
    EXPECT_TRUE (Access::updateFileName (*component).isEmpty());
}

TEST (UpdateFileContent, ReadThatEndsEarlyIsRefused)
{
    const auto bytes = updateFileBytes (100, "VN382", "123");

    auto component = componentWithMarkedImageFields();
    int version = 0;
    ScriptedStream truncated (100, bytes.substr (0, 60), 25);
    EXPECT_EQ (Access::loadUpdateStream (*component, truncated, "VN382 ", &version), 0);
    EXPECT_EQ (version, -1);
    expectImageFieldsUntouched (*component);

    // Partial reads that together deliver the whole length are fine.
    ScriptedStream inPieces (100, bytes, 7);
    EXPECT_EQ (Access::loadUpdateStream (*component, inPieces, "VN382 ", &version), 64);
    EXPECT_EQ (version, 123);
    EXPECT_EQ (Access::imageCrc (*component), referenceCrc16 (bytes.data(), bytes.size()));
}

TEST (UpdateFileContent, LengthBeyond32BitsIsRefusedUnread)
{
    // 2^32 + 37 truncated to 32 bits would look like a valid 37-byte file.
    const juce::int64 hugeLength = (juce::int64 (1) << 32) + 37;
    const auto header = updateFileBytes (37);

    auto component = componentWithMarkedImageFields();
    int version = 0;
    ScriptedStream stream (hugeLength, header, 1 << 20);
    EXPECT_EQ (Access::loadUpdateStream (*component, stream, "VN382 ", &version), 0);
    EXPECT_EQ (stream.reads, 0);
    EXPECT_EQ (version, -1);
    expectImageFieldsUntouched (*component);

    ScopedExecutableFolder dir;
    const auto file = dir.write ("vn382_big.upd", header);
    std::filesystem::resize_file (file.getFullPathName().toStdString(), (std::uintmax_t) hugeLength); // sparse
    Access::checkUpdateFile (*component);
    EXPECT_EQ (Access::updateFileName (*component), "vn382_big.upd");
    EXPECT_EQ (Access::fileValid (*component), 0);
}

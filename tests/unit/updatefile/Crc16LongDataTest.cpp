#include <gtest/gtest.h>

#include "UpdateFileFolder.h"

#include <random>

// Data of 64 bytes and more is folded in 16-byte blocks, and a file is taken in pieces whose
// CRC carries on from the piece before: block boundaries, tails and the carry must all hold.
TEST (Crc16, LongDataAndFilesReadInPieces)
{
    std::mt19937 random (16);
    auto bytes = updateFileBytes ((3 << 16) + 77, "VN382", "123");

    for (size_t i = 36; i < bytes.size(); ++i)
        bytes[i] = (char) random();

    const auto* data = (const juce::uint8*) bytes.data();

    for (int length = 60; length <= 300; ++length)
        EXPECT_EQ (MainComponent::calcCrc16 (data, length), referenceCrc16 (data, (size_t) length)) << length;

    ScopedExecutableFolder dir;
    dir.write ("vn382_v123.upd", bytes);
    auto component = MainComponentTestAccess::createMembersOnly();
    int version = 0;
    EXPECT_EQ (MainComponentTestAccess::loadUpdateFile (*component, "vn382_v123.upd", "VN382 ", &version), (int) bytes.size() - 36);
    EXPECT_EQ (MainComponentTestAccess::imageCrc (*component), referenceCrc16 (data, bytes.size()));
}

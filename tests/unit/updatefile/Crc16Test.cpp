#include <gtest/gtest.h>

#include "UpdateFileFolder.h"

#include <random>
#include <vector>

TEST (Crc16, KnownValues)
{
    const auto crc = [] (const std::string& s)
    { return MainComponent::calcCrc16 ((const juce::uint8*) s.data(), (int) s.size()); };

    EXPECT_EQ (crc ("123456789"), 0x31C3);
    EXPECT_EQ (crc ("A"), 0x58E5);
    EXPECT_EQ (crc (""), 0);
    EXPECT_EQ (MainComponent::calcCrc16 ((const juce::uint8*) "123", -1), 0);

    // With a zero start value, leading zero bytes leave the register at zero.
    EXPECT_EQ (crc (std::string (3, '\0') + "123456789"), 0x31C3);
    EXPECT_EQ (crc (std::string (4096, '\0')), 0);
}

TEST (Crc16, MatchesBitwiseReferenceOnRandomData)
{
    std::mt19937 random (20240601);
    std::vector<juce::uint8> data ((1 << 20) + 3);

    for (auto& b : data)
        b = (juce::uint8) random();

    EXPECT_EQ (MainComponent::calcCrc16 (data.data(), (int) data.size()), referenceCrc16 (data.data(), data.size()));

    for (int length = 1; length <= 40; ++length)
        EXPECT_EQ (MainComponent::calcCrc16 (data.data(), length), referenceCrc16 (data.data(), (size_t) length)) << length;
}

TEST (HexDigitValue, DigitsAndBothLetterCases)
{
    const struct
    {
        int c;
        int value;
    } cases[] {
        { '0', 0 },
        { '7', 7 },
        { '9', 9 },
        { 'a', 10 },
        { 'B', 11 },
        { 'f', 15 },
        { 'F', 15 },
        { 'g', 0 },
        { 'G', 0 },
        { '-', 0 },
        { '@', 0 },
        { '`', 0 },
        { 0, 0 },
        { 0xc1, 0 },
        { 0xe6, 0 },
    };

    for (const auto& c : cases)
        EXPECT_EQ (MainComponent::hexDigitValue ((juce::uint8) c.c), c.value) << c.c;
}

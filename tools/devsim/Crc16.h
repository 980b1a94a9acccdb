#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace devsim
{
/** CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final xor; a byte at a
    time from a table. */
inline uint16_t crc16Xmodem (const uint8_t* data, size_t size)
{
    static const auto table = []
    {
        std::array<uint16_t, 256> t {};

        for (int byte = 0; byte < 256; ++byte)
        {
            auto crc = (uint16_t) (byte << 8);

            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 0x8000) != 0 ? (uint16_t) ((crc << 1) ^ 0x1021) : (uint16_t) (crc << 1);

            t[(size_t) byte] = crc;
        }

        return t;
    }();

    uint16_t crc = 0;

    for (size_t i = 0; i < size; ++i)
        crc = (uint16_t) ((crc << 8) ^ table[(size_t) ((crc >> 8) ^ data[i])]);

    return crc;
}
} // namespace devsim

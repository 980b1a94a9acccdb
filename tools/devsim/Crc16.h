#pragma once

#include <cstddef>
#include <cstdint>

namespace devsim
{
/** CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final xor. */
inline uint16_t crc16Xmodem (const uint8_t* data, size_t size)
{
    uint16_t crc = 0;

    for (size_t i = 0; i < size; ++i)
    {
        crc ^= (uint16_t) (data[i] << 8);

        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) != 0 ? (uint16_t) ((crc << 1) ^ 0x1021) : (uint16_t) (crc << 1);
    }

    return crc;
}
} // namespace devsim

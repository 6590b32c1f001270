#pragma once
// The checksum LAME puts in its tag, computed here independently of the
// frame walker so that tests can write tags the walker must accept.
#include <cstddef>
#include <cstdint>

namespace kx::test {

// CRC-16/ARC over the bytes.
inline uint16_t LameTagCrc(const uint8_t* p, size_t n)
{
    uint16_t crc = 0;
    while (n--) {
        crc ^= *p++;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

} // namespace kx::test

#pragma once
// Gapless tags written into encoded MP3 files, as encoders write them.
#include <cstring>

#include "LameTagCrc.h"
#include "peaks/Mp3Frames.h"
#include "tests/support/TestMedia.h"

namespace kx {

inline void PutBE32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
}

// Puts an "Info" frame in front of the frames of an MP3 file, as an encoder
// that knows the input length writes it: the frame count (extraFrames more
// than there are, as in a file cut short) and a LAME extension with the
// encoder delay and the padding after the input's `samples`.
inline bool AddLameTag(const QString& path, uint64_t samples, uint32_t extraFrames = 0,
                       const char* encoder = "LAME3.100")
{
    auto bytes = ReadFileBytes(path);
    uint32_t frames = 0;
    for (size_t at = 0; at + 4 <= bytes.size(); ++frames) {
        const auto f = ParseMp3FrameHeader(&bytes[at]);
        if (!f || f->bytes == 0)
            return false;
        at += f->bytes;
    }
    constexpr uint32_t delay = 576;
    const uint32_t header = (uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3]);
    // 128 kbit/s, no padding, no checksum.
    const uint32_t tagHeader = (header & ~0xF200u) | 0x9000u | 0x10000u;
    uint8_t h[4];
    PutBE32(h, tagHeader);
    const auto f = ParseMp3FrameHeader(h);
    std::vector<uint8_t> tag(f->bytes, 0);
    PutBE32(tag.data(), tagHeader);
    uint8_t* info = tag.data() + (f->channels == 1 ? 21 : 36);
    std::memcpy(info, "Info", 4);
    PutBE32(info + 4, 1);
    PutBE32(info + 8, frames + extraFrames);
    uint8_t* lame = info + 12;
    std::memcpy(lame, encoder, std::strlen(encoder));
    const uint32_t v = delay << 12 | uint32_t(uint64_t(frames + extraFrames) * 1152 - delay - samples);
    lame[21] = uint8_t(v >> 16), lame[22] = uint8_t(v >> 8), lame[23] = uint8_t(v);
    // The extension's checksum over the frame before it.
    const uint16_t crc = test::LameTagCrc(tag.data(), size_t(lame + 34 - tag.data()));
    lame[34] = uint8_t(crc >> 8), lame[35] = uint8_t(crc);
    bytes.insert(bytes.begin(), tag.begin(), tag.end());
    return TestMedia::WriteFile(path, bytes);
}

} // namespace kx

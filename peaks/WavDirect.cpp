#include "WavDirect.h"

#include <cmath>
#include <cstring>
#include <unistd.h>

#include "mediagraph/PeakReducer.h"
#include "mediagraph/RiffChunks.h"
#include "platform/LittleEndian.h"
#include "platform/NativeName.h"

namespace kx {

namespace {

constexpr uint16_t TagPcm = 1;
constexpr uint16_t TagFloat = 3;
constexpr uint16_t TagExtensible = 0xFFFE;
// The sub-format GUID of WAVE_FORMAT_EXTENSIBLE after its first two bytes.
constexpr uint8_t GuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// A header this far into the file is not one the direct path needs to find.
constexpr int MaxChunks = 64;

struct Fmt {
    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint32_t byteRate = 0;
    uint16_t blockAlign = 0;
    uint16_t bits = 0;
    bool extensible = false;
};

bool ParseFmt(const uint8_t* p, uint32_t size, Fmt& f)
{
    if (size < 16)
        return false;
    f.tag = ReadU16LE(p);
    f.channels = ReadU16LE(p + 2);
    f.rate = ReadU32LE(p + 4);
    f.byteRate = ReadU32LE(p + 8);
    f.blockAlign = ReadU16LE(p + 12);
    f.bits = ReadU16LE(p + 14);
    if (f.tag == TagExtensible) {
        if (size < 40)
            return false;
        const uint16_t validBits = ReadU16LE(p + 18);
        const uint32_t mask = ReadU32LE(p + 20);
        const uint16_t sub = ReadU16LE(p + 24);
        if (std::memcmp(p + 26, GuidTail, sizeof GuidTail) != 0 || (validBits != 0 && validBits != f.bits))
            return false;
        // Only the plain positions: others change how the converter mixes.
        if (mask != 0 && mask != (f.channels == 1 ? 0x4u : 0x3u))
            return false;
        f.tag = sub;
        f.extensible = true;
    }
    return true;
}

bool KindOf(const Fmt& f, WavSampleKind& kind)
{
    if (f.tag == TagPcm) {
        switch (f.bits) {
        case 8: kind = WavSampleKind::U8; return true;
        case 16: kind = WavSampleKind::S16; return true;
        case 24: kind = WavSampleKind::S24; return true;
        case 32: kind = WavSampleKind::S32; return true;
        default: return false;
        }
    }
    if (f.tag == TagFloat && f.bits == 32) {
        kind = WavSampleKind::F32;
        return true;
    }
    return false;
}

// Integer samples widened to 32 bits, as the converter unpacks them.
inline int32_t Widen(WavSampleKind kind, const uint8_t* p)
{
    switch (kind) {
    case WavSampleKind::U8: return int32_t(uint32_t(p[0] ^ 0x80u) << 24);
    case WavSampleKind::S16: return int32_t(uint32_t(ReadU16LE(p)) << 16);
    case WavSampleKind::S24: return int32_t((uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16) << 8);
    case WavSampleKind::S32: return int32_t(ReadU32LE(p));
    case WavSampleKind::F32: break;
    }
    return 0;
}

// Float to 32 bits: scaled, truncated toward zero, saturated; a NaN goes to
// the end its sign bit points at.
inline int32_t FloatTo32(double x)
{
    if (std::isnan(x))
        return std::signbit(x) ? INT32_MIN : INT32_MAX;
    const double t = x * 2147483648.0;
    if (t >= 2147483648.0)
        return INT32_MAX;
    if (t <= -2147483649.0)
        return INT32_MIN;
    return int32_t(t);
}

inline float ReadF32(const uint8_t* p)
{
    const uint32_t bits = ReadU32LE(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// 32 bits to 16: rounded half up, saturated at the top.
inline int16_t Narrow(int32_t v)
{
    return int16_t((v > INT32_MAX - 32768 ? INT32_MAX : v + 32768) >> 16);
}

template <WavSampleKind Kind>
void Convert(uint32_t inChannels, uint32_t outChannels, const uint8_t* in, size_t frames, int16_t* out)
{
    constexpr uint32_t width = Kind == WavSampleKind::U8    ? 1
                               : Kind == WavSampleKind::S16 ? 2
                               : Kind == WavSampleKind::S24 ? 3
                                                            : 4;
    const auto sample32 = [](const uint8_t* p) {
        if constexpr (Kind == WavSampleKind::F32)
            return FloatTo32(ReadF32(p));
        else
            return Widen(Kind, p);
    };
    if (inChannels > 2) {
        // Unpositioned channels: the mean of all for mono; for stereo, of
        // the even-numbered channels on the left and the odd on the right.
        for (size_t i = 0; i < frames; ++i) {
            const uint8_t* p = in + size_t(inChannels) * i * width;
            for (uint32_t o = 0; o < outChannels; ++o) {
                double sum = 0;
                uint32_t count = 0;
                for (uint32_t c = o; c < inChannels; c += outChannels, ++count)
                    sum += double(sample32(p + c * width));
                out[outChannels * i + o] = Narrow(int32_t(std::lround(sum / count)));
            }
        }
    } else if (inChannels == outChannels) {
        const size_t count = frames * inChannels;
        for (size_t i = 0; i < count; ++i)
            out[i] = Narrow(sample32(in + i * width));
    } else if (inChannels == 1) {
        for (size_t i = 0; i < frames; ++i)
            out[2 * i] = out[2 * i + 1] = Narrow(sample32(in + i * width));
    } else {
        for (size_t i = 0; i < frames; ++i) {
            const uint8_t* p = in + 2 * i * width;
            int32_t mixed;
            if constexpr (Kind == WavSampleKind::F32) {
                mixed = FloatTo32(double(ReadF32(p)) * 0.5 + double(ReadF32(p + width)) * 0.5);
            } else {
                mixed = int32_t((int64_t(Widen(Kind, p)) + Widen(Kind, p + width) + 1) >> 1);
            }
            out[i] = Narrow(mixed);
        }
    }
}

} // namespace

int64_t WavLayout::Duration100ns() const
{
    const uint64_t byteRate = uint64_t(rate) * blockAlign;
    if (byteRate == 0)
        return 0;
    // The parser rounds the nanoseconds up.
    const auto ns = ((uint128_t)dataBytes * 1000000000u + byteRate - 1) / byteRate;
    return int64_t(uint64_t(ns) / 100);
}

bool ParseWavLayout(WavReadAt read, void* context, uint64_t fileSize, WavLayout& layout)
{
    RiffChunks chunks(read, context, fileSize);
    Fmt fmt;
    bool haveFmt = false;
    RiffChunks::Chunk c;
    for (int n = 0; n < MaxChunks && chunks.Next(c); ++n) {
        const uint32_t size = c.size;
        const uint64_t body = c.body;
        if (c.Is("fmt ")) {
            uint8_t f[40] = {};
            const size_t want = std::min<uint32_t>(size, sizeof f);
            if (read(context, body, f, want) != want || !ParseFmt(f, size, fmt))
                return false;
            haveFmt = true;
        } else if (c.Is("data")) {
            if (!haveFmt)
                return false;
            WavSampleKind kind;
            if (!KindOf(fmt, kind) || fmt.channels == 0 || fmt.rate == 0 ||
                fmt.blockAlign != fmt.channels * (fmt.bits / 8) || fmt.byteRate != fmt.rate * fmt.blockAlign)
                return false;
            if (size == 0 || size % fmt.blockAlign != 0 || body + size > fileSize)
                return false;
            layout.kind = kind;
            layout.channels = fmt.channels;
            layout.rate = fmt.rate;
            layout.blockAlign = fmt.blockAlign;
            layout.dataOffset = body;
            layout.dataBytes = size;
            layout.extensible = fmt.extensible;
            return true;
        }
    }
    return false;
}

bool ReadWavLayout(const QString& fileName, WavLayout& layout)
{
    uint64_t size = 0;
    int fd = OpenNativeRegular(fileName, size);
    if (fd < 0)
        return false;
    const bool ok = size > 0 && ParseWavLayout(ReadFromDescriptor, &fd, size, layout);
    ::close(fd);
    return ok;
}

bool WavChannelsUnpositioned(uint32_t channels)
{
    // GStreamer's WAV parser gives 1, 2, 4, 5, 6 and 8 plain channels their
    // usual positions; the converter cannot mix the others at all.
    return channels == 3 || channels == 7 || channels > 8;
}

bool DirectWavSupports(const WavLayout& layout, uint32_t outChannels)
{
    if (outChannels != 1 && outChannels != 2)
        return false;
    if (layout.channels > 2)
        return !layout.extensible && WavChannelsUnpositioned(layout.channels);
    // Mixing follows the channel positions, which an extensible header may set.
    return layout.channels == outChannels || !layout.extensible;
}

void ConvertWavToS16(const WavLayout& layout, uint32_t outChannels, const uint8_t* in, size_t frames, int16_t* out)
{
    switch (layout.kind) {
    case WavSampleKind::U8: Convert<WavSampleKind::U8>(layout.channels, outChannels, in, frames, out); break;
    case WavSampleKind::S16: Convert<WavSampleKind::S16>(layout.channels, outChannels, in, frames, out); break;
    case WavSampleKind::S24: Convert<WavSampleKind::S24>(layout.channels, outChannels, in, frames, out); break;
    case WavSampleKind::S32: Convert<WavSampleKind::S32>(layout.channels, outChannels, in, frames, out); break;
    case WavSampleKind::F32: Convert<WavSampleKind::F32>(layout.channels, outChannels, in, frames, out); break;
    }
}

} // namespace kx

#pragma once
// The arithmetic and the encodings that whole waveform data and the streamed
// export share, so that both give the same bytes.
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "PeakFormat.h"
#include "WaveformData.h"

class QJsonObject;

namespace kx::waveform {

/// The peak header for waveform data of `length` pixels; nothing, with the
/// reason, when the peak format cannot hold it or no viewer would read it.
std::optional<TPeakHeader> PeakHeaderFor(const TWaveformData& d, uint64_t length, QString& error);
/// The same header, handed to `write` as the first bytes of a streamed
/// import; nothing when refused or the writer stops.
std::optional<TPeakHeader> WritePeakHeaderFor(const TWaveformData& d, uint64_t length,
                                              const std::function<bool(std::span<const uint8_t>)>& write,
                                              QString& error);
/// (min, max) value pairs to peak values (max, min), unsigned mid-scale;
/// gives the end of what was written.
uint8_t* PairsToPeaks(const int16_t* values, size_t pairs, int bits, uint8_t* p);
/// The fields of JSON waveform data, checked, without its "data" values;
/// length is the pixel count the data must hold, object the parsed object.
std::optional<TWaveformData> DecodeJsonFields(std::span<const uint8_t> bytes, uint64_t& length, QJsonObject* object,
                                              QString& error);

inline int ValueMin(int bits)
{
    return bits == 8 ? -128 : -32768;
}

inline int ValueMax(int bits)
{
    return bits == 8 ? 127 : 32767;
}

/// Rounds a / b toward minus and plus infinity (b > 0).
inline int FloorDiv(int a, int b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

inline int CeilDiv(int a, int b)
{
    return -FloorDiv(-a, b);
}

/// A value at another width: 16 to 8 bits keeps the high byte (rounding
/// toward minus infinity), 8 to 16 bits scales by 256.
inline int16_t ConvertBits(int16_t v, int from, int to)
{
    if (from == to)
        return v;
    return to == 8 ? static_cast<int16_t>(FloorDiv(v, 256)) : static_cast<int16_t>(v * 256);
}

/// One pixel's channels (minimum, maximum, per channel) mixed into one pair
/// that bounds their mean.
inline void MixPixel(const int16_t* pixel, int channels, int16_t& mn, int16_t& mx)
{
    int sumMin = 0, sumMax = 0;
    for (int c = 0; c < channels; ++c) {
        sumMin += pixel[2 * c];
        sumMax += pixel[2 * c + 1];
    }
    mn = static_cast<int16_t>(FloorDiv(sumMin, channels));
    mx = static_cast<int16_t>(CeilDiv(sumMax, channels));
}

/// The header of peak data that can be given as waveform data: accepted by
/// the builder's reader and holding values. Nothing, with the reason, else.
std::optional<TPeakHeader> ExportablePeakHeader(std::span<const uint8_t> header, uint64_t totalSize, QString& error);

/// Pixels of the data that make one pixel at samplesPerPixel; 0, with the
/// reason, when it is not a positive multiple of the data's.
size_t ReduceRun(int32_t samplesPerPixel, int32_t dataSamplesPerPixel, QString& error);

/// The pixels [first, last) of `length` that cover startSeconds..endSeconds
/// (a negative end: to the end of the data).
bool CutRange(int32_t sampleRate, int32_t samplesPerPixel, uint64_t length, double startSeconds, double endSeconds,
              uint64_t& first, uint64_t& last, QString& error);

/// The fields of a waveform data file ahead of its values.
struct Fields {
    int version = 2;              ///< 1 or 2
    int bits = 16;                ///< 8 or 16
    int32_t sampleRate = 0;       ///< Hz
    int32_t samplesPerPixel = 0;  ///< frames per pixel
    uint32_t length = 0;          ///< pixels
    int channels = 1;             ///< stored in version 2 only
};
std::vector<uint8_t> DatHeader(const Fields& f);
/// Everything up to and including the opening bracket of "data".
std::string JsonHeader(const Fields& f);
inline constexpr const char* JsonTail = "]}\n";

inline void AppendDatValue(std::vector<uint8_t>& out, int16_t v, int bits)
{
    if (bits == 8) {
        out.push_back(static_cast<uint8_t>(static_cast<int8_t>(v)));
    } else {
        out.push_back(static_cast<uint8_t>(uint16_t(v) & 0xFF));
        out.push_back(static_cast<uint8_t>(uint16_t(v) >> 8));
    }
}

} // namespace kx::waveform

#pragma once
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kx {

/// Waveform data as web waveform viewers read it: per pixel and channel a
/// signed minimum and maximum. Binary form (".dat", little-endian): int32
/// version; uint32 flags (bit 0 set for 8-bit values); int32 sample rate;
/// int32 samples per pixel; uint32 length (pixels); version 2 only: int32
/// channel count; then for each pixel, for each channel, the minimum and the
/// maximum as int8 or int16. Version 1 holds one channel. The JSON form is one
/// object with the same fields and the values in the same order under "data".
///@{
constexpr int WaveformDatHeaderSizeV1 = 20;
constexpr int WaveformDatHeaderSizeV2 = 24;
///@}
/// Channels a waveform data file may declare; more is taken as damage.
constexpr int MaxWaveformChannels = 24;
/// JSON is parsed whole, at many times its size in memory: larger JSON input
/// is refused (the binary form is read up to the 1 GiB of peak data).
constexpr int64_t MaxWaveformJsonBytes = int64_t(64) << 20;

/// Waveform data in memory, either form.
struct TWaveformData {
    int Version = 2;            ///< 1 (one channel, no channel count stored) or 2
    int Bits = 16;              ///< 8 or 16: width of the values
    int32_t SampleRate = 44100; ///< Hz
    int32_t SamplesPerPixel = 256; ///< frames each pixel covers
    int Channels = 1;           ///< channels per pixel
    /// For each pixel, for each channel: minimum, maximum. 8-bit data holds
    /// values in -128..127.
    std::vector<int16_t> Values;

    /// Pixels: min/max pairs per channel.
    uint32_t Length() const;
    /// Same fields and values.
    bool operator==(const TWaveformData&) const = default;
};

/// Converts peak data (header and records) to waveform data of the same
/// resolution, width and channels. A record's pair may be stored in either
/// order; the smaller value becomes the minimum. Nothing when the data is not
/// usable, with the reason in error.
std::optional<TWaveformData> WaveformFromPeaks(std::span<const uint8_t> peakData, QString& error);

/// Converts waveform data back to peak data where it fits the peak format
/// (rate 8000..48000, 1 or 2 channels, samples per pixel 1..65535). Pairs are
/// stored maximum first, as the peak filter writes them. The decoded length in
/// the header counts whole pixels, as the waveform data does.
std::optional<std::vector<uint8_t>> PeaksFromWaveform(const TWaveformData& data, QString& error);

/// A coarser resolution: each new pixel holds the extremes of a run of
/// samplesPerPixel / data.SamplesPerPixel pixels (the last run may be
/// shorter). samplesPerPixel must be a positive multiple of the data's.
std::optional<TWaveformData> ReduceWaveform(const TWaveformData& data, int32_t samplesPerPixel, QString& error);

/// The pixels that cover startSeconds..endSeconds (a negative end means the
/// end of the data): from the pixel holding the start to the pixel holding
/// the last sample before the end.
std::optional<TWaveformData> CutWaveform(const TWaveformData& data, double startSeconds, double endSeconds,
                                         QString& error);

/// One channel whose extremes bound the mix (average) of all channels: each
/// minimum is the floor of the channels' mean minimum, each maximum the
/// ceiling of their mean maximum. Exact when the channels are equal.
TWaveformData MixWaveformToMono(const TWaveformData& data);

/// Values at another width: 16 to 8 bits keeps the high byte (rounding
/// toward minus infinity, as the peak filter's 8-bit output does); 8 to 16
/// bits scales by 256.
TWaveformData ConvertWaveformBits(const TWaveformData& data, int bits);

/// The binary and JSON forms, written and read; nothing with the reason in
/// error for data that is damaged or out of range. Version 1 output of
/// several channels holds their mono mix.
///@{
std::vector<uint8_t> EncodeWaveformDat(const TWaveformData& data);
std::string EncodeWaveformJson(const TWaveformData& data);
std::optional<TWaveformData> DecodeWaveformDat(std::span<const uint8_t> bytes, QString& error);
std::optional<TWaveformData> DecodeWaveformJson(std::span<const uint8_t> bytes, QString& error);
///@}
/// Whether waveform data of totalSize bytes, of which head is the start (24
/// bytes or more unless the file is shorter), is worth reading: binary data
/// whose header agrees with its size, or JSON within its limit.
bool CheckWaveformSize(std::span<const uint8_t> head, uint64_t totalSize, QString& error);
/// Either form, told apart by the first non-blank byte ('{' for JSON).
std::optional<TWaveformData> DecodeWaveform(std::span<const uint8_t> bytes, QString& error);

/// The binary (.dat) or the JSON form.
enum class WaveformFormat { Dat, Json };

/// What an export makes of peak data; zero keeps the data's own value.
struct TWaveformExport {
    WaveformFormat Format = WaveformFormat::Dat;  ///< the form written
    int Version = 2;              ///< 1 mixes to one channel
    int Bits = 0;                 ///< 8 or 16
    int32_t SamplesPerPixel = 0;  ///< a multiple of the data's samples per peak
    double StartSeconds = 0;      ///< where the cut starts
    double EndSeconds = -1;       ///< negative: to the end
    /// Above 0: output of more values (a pixel's minimum and maximum count as
    /// two per channel) is refused before anything is written.
    uint64_t MaxValues = 0;
};

/// Peak data (header and records) to waveform data bytes in the chosen form:
/// cut to the span, reduced, mixed and converted in that order.
std::optional<std::vector<uint8_t>> ExportWaveform(std::span<const uint8_t> peakData, const TWaveformExport& how,
                                                   QString& error);

/// The same export streamed, for peak data of any size: `read` fills the
/// buffer with `size` bytes from `offset` (false when it cannot), `write` takes
/// the waveform data a block at a time (false ends the export; the reason is
/// the writer's to keep). Memory stays a few blocks whatever the size.
///@{
using ExportPeakReader = std::function<bool(uint64_t offset, uint8_t* buffer, size_t size)>;
using ExportWaveformWriter = std::function<bool(std::span<const uint8_t> bytes)>;
bool ExportWaveformStreamed(uint64_t totalSize, const ExportPeakReader& read, const TWaveformExport& how,
                            const ExportWaveformWriter& write, QString& error);
///@}

/// Binary waveform data (.dat) to peak data, streamed as the export is: the
/// same bytes as PeaksFromWaveform(DecodeWaveformDat(...)) in a few blocks of
/// memory whatever the size. `write` gets the header first, then the records.
bool PeaksFromWaveformDatStreamed(uint64_t totalSize, const ExportPeakReader& read, const ExportWaveformWriter& write,
                                  QString& error);
/// JSON waveform data to peak data the same way: the text is scanned a block
/// at a time and its values converted as they are read.
bool PeaksFromWaveformJsonStreamed(uint64_t totalSize, const ExportPeakReader& read, const ExportWaveformWriter& write,
                                   QString& error);
/// Whether waveform data starting with these bytes is the JSON form.
bool WaveformDataIsJson(std::span<const uint8_t> head);

} // namespace kx

#pragma once
#include <QString>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kx {

/// Peak data: a 16-byte little-endian header followed by peak records. A
/// record holds, per channel in stream order, two unsigned values of
/// BytesPerPeak/2 bytes each (mid-scale is silence).
constexpr int PeakHeaderSize = 16;
/// Larger files are refused before they are read into memory (about 75 hours
/// of 16-bit stereo peaks at 48 kHz and 100 frames per peak).
constexpr int64_t MaxPeakDataBytes = int64_t(1) << 30;

/// The fields of a peak file's header (after the "PEAK" magic).
struct TPeakHeader {
    uint8_t BytesPerPeak = 4;       ///< per channel in one record: 2 (8-bit) or 4 (16-bit)
    uint8_t Channels = 2;           ///< 1 or 2
    uint32_t SamplesPerSecond = 48000;  ///< output rate, Hz
    uint32_t PcmByteCount = 0;      ///< decoded track length at the output format, low 32 bits
    uint16_t SamplesPerPeak = 100;  ///< frames per record

    /// Same fields.
    bool operator==(const TPeakHeader&) const = default;
};

/// The 16 header bytes, magic included.
void EncodePeakHeader(const TPeakHeader& header, uint8_t out[PeakHeaderSize]);
/// The fields of the first 16 bytes, whatever their values; nothing when
/// fewer than 16 bytes are given or the magic is not "PEAK".
std::optional<TPeakHeader> DecodePeakHeader(std::span<const uint8_t> bytes);

/// The three readers differ in what they accept.
enum class PeakReader {
    Builder,       ///< the builder's peak file loader: stops after the rate test
    ViewerFile,    ///< the viewer's file reader
    ViewerStream,  ///< the viewer's stream reader: BytesPerPeak 1 refused
};

/// The result of the acceptance tests: the first one that failed.
enum class PeakCheck {
    Accepted,              ///< every test passed
    TooShort,              ///< shorter than the 16-byte header
    BadMagic,              ///< does not start with "PEAK"
    BadBytesPerPeak,       ///< BytesPerPeak not accepted by the reader
    BadChannels,           ///< Channels not 1 or 2
    BadSampleRate,         ///< SamplesPerSecond outside 8000..48000
    ZeroSamplesPerPeak,    ///< SamplesPerPeak is 0
    PcmByteCountTooSmall,  ///< the header's length is too small for the records
    NoRecords,             ///< no record follows the header
    TooLarge,              ///< larger than MaxPeakDataBytes
    CannotOpen,  ///< missing, unreadable, or not a regular file
    ReadFailed,      ///< reading stopped before the end
    WaveViewerFile,  ///< the wave viewer's own peak file, not this layout
};

/// The wave viewer's own peak file also starts with "PEAK" and also ends in
/// ".pek", but has a 14-byte header (block align, channels, rate, data size)
/// and records two frames wide. The size of a file and the counts in its
/// header cannot fit both layouts: data that fits only the wave viewer's is
/// that kind, everything else is judged as a peak file of this layout.
enum class PeakFileKind { Builder, WaveViewer };
/// Which layout data starting with "PEAK" has, by its header and total size.
PeakFileKind DetectPeakFileKind(std::span<const uint8_t> header, uint64_t totalSize);

/// Applies the acceptance tests in order to the header bytes of data whose
/// whole size is totalSize; the first failing test is reported. The file
/// readers also refuse the wave viewer's peak file, right after the magic.
PeakCheck CheckPeakData(std::span<const uint8_t> header, uint64_t totalSize, PeakReader reader);
/// A short description of a check result for diagnostics.
QString PeakCheckText(PeakCheck check);

/// PcmByteCount for a track: rate × channels × bits/8 × duration / 10^7 in
/// 64-bit integers with the division last, low 32 bits kept.
uint32_t ComputePcmByteCount(uint32_t rate, uint32_t channels, uint32_t bitsPerSample, int64_t duration100ns);
/// Play time of a track in milliseconds derived from its header.
int64_t PeakDurationMs(const TPeakHeader& header);
/// Bytes of one record (all channels).
int PeakRecordSize(const TPeakHeader& header);
/// Whole records in data of the given total size (header included).
int64_t PeakRecordCount(const TPeakHeader& header, uint64_t totalSize);
/// Header for the output format the builder asks of the peak filter.
TPeakHeader MakePeakHeader(uint32_t rate, uint32_t channels, uint32_t bitsPerSample, uint16_t samplesPerPeak,
                           int64_t duration100ns);
/// Bytes of the peak data (header and records) a track of this length gives
/// at the output format; saturates instead of overflowing.
int64_t ExpectedPeakDataBytes(uint32_t rate, uint32_t channels, uint32_t bitsPerSample, uint16_t samplesPerPeak,
                              int64_t duration100ns);
/// Whether a file of fileBytes can hold a stream of this length: no audio
/// codec keeps a stream below MinStreamBitsPerSecond, so a longer length
/// claimed by a header (an MP3 tag counting 0xFFFFFFFF frames) is false.
constexpr int64_t MinStreamBitsPerSecond = 1000;
/// See MinStreamBitsPerSecond.
bool DurationFitsFile(int64_t duration100ns, int64_t fileBytes);

/// Whether data of totalSize holds fewer records than its header's length
/// implies (beyond the slack PeakLengthAgrees allows): a file cut short.
bool PeakRecordsMissing(const TPeakHeader& header, uint64_t totalSize);
/// The same for a peak file, by its header and size; false when the file is
/// missing or refused (those are judged elsewhere).
bool PeakFileCutShort(const QString& fileName);

/// Checks a peak file for the given reader by its header and size alone,
/// without reading its records.
PeakCheck CheckPeakFile(const QString& fileName, PeakReader reader);
/// Reads a whole peak file and checks it for the given reader. The file is
/// opened read-only and only taken into `out` when it is accepted; `out` is
/// left untouched otherwise.
PeakCheck ReadPeakFile(const QString& fileName, PeakReader reader, std::vector<uint8_t>& out);

} // namespace kx

#pragma once
// What kind of file a head of bytes is, for every kind the programs write,
// so that no writer replaces a file of another kind.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kx {

/// The kinds of file the programs write or must never overwrite.
enum class FileKind {
    Empty,            ///< no bytes: nothing to lose
    BuilderPeaks,     ///< "PEAK", 16-byte header, records matching it
    WaveViewerPeaks,  ///< "PEAK", the wave viewer's 14-byte header
    WaveformDat,      ///< binary waveform data for web viewers
    WaveformJson,     ///< JSON waveform data
    Picture,          ///< PNG, JPEG, GIF, BMP, WebP, TIFF or SVG
    Wav,              ///< RIFF WAVE: media
    GraphDump,        ///< a Graphviz description of a media graph
    Spectrogram,      ///< "KXSG": a spectrogram side file
    Rms,              ///< "KXRM": RMS levels beside a peak file
    RegionsJson,      ///< JSON regions and points whose first key is "regionsFormat"
    Other,            ///< anything else: never replaced
};

/// Bytes of a file's head that DetectFileKind looks at.
inline constexpr size_t FileKindHeadSize = 512;

/// The kind of a file whose first bytes are head (up to FileKindHeadSize) and
/// whose whole size is size.
FileKind DetectFileKind(std::span<const uint8_t> head, uint64_t size);

/// "a peak file", "waveform data", ... for messages.
QString FileKindText(FileKind kind);

/// The peak file's layouts, told apart by how their sizes and counts fit.
enum class PeakLayout { Builder, WaveViewer };
/// For data that starts with "PEAK": the layout whose header fields and size
/// fit; Builder when neither fits (its readers then say why).
PeakLayout DetectPeakLayout(std::span<const uint8_t> head, uint64_t totalSize);

/// Whether a 16-byte peak header's decoded length (PcmByteCount, low 32 bits)
/// and SamplesPerPeak account for `records` records: within two records plus
/// one in a thousand, which leaves room for a partial last run and for format
/// changes inside a track. Headers whose BytesPerPeak is not 2 or 4, or whose
/// SamplesPerPeak is 0, carry no usable length and always agree.
bool PeakLengthAgrees(uint8_t bytesPerPeak, uint8_t channels, uint32_t pcmByteCount, uint16_t samplesPerPeak,
                      int64_t records);

} // namespace kx

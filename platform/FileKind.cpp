#include "FileKind.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "LittleEndian.h"

namespace kx {

namespace {

constexpr uint64_t BuilderHeaderSize = 16;
// "PEAK", block align, channels, rate, data size.
constexpr uint64_t WaveViewerHeaderSize = 14;

bool StartsWith(std::span<const uint8_t> head, std::string_view magic, size_t at = 0)
{
    return head.size() >= at + magic.size() && std::memcmp(head.data() + at, magic.data(), magic.size()) == 0;
}

// Skips a byte-order mark and white space.
std::string_view TextStart(std::span<const uint8_t> head)
{
    std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r' ||
                             text.front() == '\n'))
        text.remove_prefix(1);
    return text;
}

bool IsPicture(std::span<const uint8_t> head)
{
    if (StartsWith(head, "\x89PNG\r\n\x1a\n") || StartsWith(head, "\xFF\xD8\xFF") || StartsWith(head, "GIF8") ||
        StartsWith(head, "BM") || StartsWith(head, "II*\0") || StartsWith(head, "MM\0*") ||
        (StartsWith(head, "RIFF") && StartsWith(head, "WEBP", 8)))
        return true;
    const std::string_view text = TextStart(head);
    return text.starts_with("<svg") ||
           ((text.starts_with("<?xml") || text.starts_with("<!--")) && text.find("<svg") != std::string_view::npos);
}

bool IsWaveformJson(std::span<const uint8_t> head)
{
    const std::string_view text = TextStart(head);
    // The writers put the format's fields first; the samples come last.
    return text.starts_with("{") && (text.find("\"samples_per_pixel\"") != std::string_view::npos ||
                                     text.find("\"sample_rate\"") != std::string_view::npos);
}

bool IsRegionsJson(std::span<const uint8_t> head)
{
    // The writer puts its marker first; other JSON, regions written
    // elsewhere included, is not taken for it and so never replaced.
    std::string_view text = TextStart(head);
    if (!text.starts_with("{"))
        return false;
    text = TextStart(head.subspan(size_t(text.data() - reinterpret_cast<const char*>(head.data())) + 1));
    return text.starts_with("\"regionsFormat\"");
}

bool IsWaveformDat(std::span<const uint8_t> head, uint64_t size)
{
    if (head.size() < 20)
        return false;
    const int32_t version = int32_t(ReadU32LE(head.data()));
    const uint32_t flags = ReadU32LE(head.data() + 4);
    const int32_t rate = int32_t(ReadU32LE(head.data() + 8)), samplesPerPixel = int32_t(ReadU32LE(head.data() + 12));
    const uint64_t headerSize = version == 1 ? 20 : 24;
    return (version == 1 || version == 2) && flags <= 1 && rate > 0 && samplesPerPixel > 0 && size >= headerSize;
}

} // namespace

bool PeakLengthAgrees(uint8_t bytesPerPeak, uint8_t channels, uint32_t pcmByteCount, uint16_t samplesPerPeak,
                      int64_t records)
{
    if ((bytesPerPeak != 2 && bytesPerPeak != 4) || samplesPerPeak == 0 || records < 0)
        return true;
    // Bytes of decoded audio one record stands for.
    const uint64_t span = uint64_t(samplesPerPeak) * channels * (bytesPerPeak / 2u);
    const uint64_t slack = (2 + uint64_t(records) / 1000) * span;
    if (slack >= (uint64_t(1) << 31))
        return true;
    // The stored length keeps only its low 32 bits: compare modulo 2^32.
    const auto covered = uint32_t(uint64_t(records) * span);
    const auto diff = int64_t(int32_t(covered - pcmByteCount));
    return (diff < 0 ? -diff : diff) <= int64_t(slack);
}

PeakLayout DetectPeakLayout(std::span<const uint8_t> b, uint64_t totalSize)
{
    if (b.size() < BuilderHeaderSize || !StartsWith(b, "PEAK"))
        return PeakLayout::Builder;
    const uint8_t bytesPerPeak = b[4], channels = b[5];
    // BytesPerPeak 1 is accepted but never written by a builder, while the
    // wave viewer writes block align 1 for every 8-bit mono file: it proves
    // nothing for this layout.
    const uint64_t recordSize = uint64_t(bytesPerPeak) * channels;
    const bool builderFits =
        (bytesPerPeak == 2 || bytesPerPeak == 4) && recordSize > 0 && totalSize >= BuilderHeaderSize &&
        (totalSize - BuilderHeaderSize) % recordSize == 0 &&
        PeakLengthAgrees(bytesPerPeak, channels, ReadU32LE(b.data() + 10), ReadU16LE(b.data() + 14),
                         int64_t((totalSize - BuilderHeaderSize) / recordSize));
    if (builderFits)
        return PeakLayout::Builder;
    // The wave viewer's layout: block align 1, 2 or 4 bytes for 8- or 16-bit
    // samples, a positive rate, records of (max, min) per channel, and no
    // more records than frames in its data.
    const uint8_t blockAlign = b[4];
    const auto rate = int32_t(ReadU32LE(b.data() + 6));
    const uint32_t dataSize = ReadU32LE(b.data() + 10);
    const bool frameFits = (channels == 1 || channels == 2) && (blockAlign == channels || blockAlign == 2 * channels);
    if (!frameFits || rate <= 0 || totalSize < WaveViewerHeaderSize)
        return PeakLayout::Builder;
    const uint64_t body = totalSize - WaveViewerHeaderSize;
    const uint64_t waveRecord = 2u * blockAlign;
    if (body % waveRecord != 0 || body / waveRecord > dataSize / blockAlign + 1)
        return PeakLayout::Builder;
    return PeakLayout::WaveViewer;
}

FileKind DetectFileKind(std::span<const uint8_t> bytes, uint64_t size)
{
    // The head alone decides, however much a caller read.
    const std::span<const uint8_t> head = bytes.first(std::min(bytes.size(), FileKindHeadSize));
    if (size == 0)
        return FileKind::Empty;
    if (StartsWith(head, "PEAK"))
        return head.size() >= BuilderHeaderSize && DetectPeakLayout(head, size) == PeakLayout::WaveViewer
                   ? FileKind::WaveViewerPeaks
                   : FileKind::BuilderPeaks;
    if (StartsWith(head, "RIFF") && StartsWith(head, "WAVE", 8))
        return FileKind::Wav;
    if (StartsWith(head, "KXSG"))
        return FileKind::Spectrogram;
    if (StartsWith(head, "KXRM"))
        return FileKind::Rms;
    if (IsPicture(head))
        return FileKind::Picture;
    if (IsRegionsJson(head))
        return FileKind::RegionsJson;
    if (IsWaveformJson(head))
        return FileKind::WaveformJson;
    if (IsWaveformDat(head, size))
        return FileKind::WaveformDat;
    const std::string_view text = TextStart(head);
    if (text.starts_with("digraph") || text.starts_with("strict digraph"))
        return FileKind::GraphDump;
    return FileKind::Other;
}

QString FileKindText(FileKind kind)
{
    switch (kind) {
    case FileKind::Empty: return QStringLiteral("an empty file");
    case FileKind::BuilderPeaks: return QStringLiteral("a peak file of the builder's layout");
    case FileKind::WaveViewerPeaks: return QStringLiteral("a peak file of the wave viewer's layout");
    case FileKind::WaveformDat: return QStringLiteral("binary waveform data");
    case FileKind::WaveformJson: return QStringLiteral("JSON waveform data");
    case FileKind::Picture: return QStringLiteral("a picture");
    case FileKind::Wav: return QStringLiteral("a WAV file");
    case FileKind::GraphDump: return QStringLiteral("a graph dump");
    case FileKind::Spectrogram: return QStringLiteral("a spectrogram");
    case FileKind::Rms: return QStringLiteral("RMS levels");
    case FileKind::RegionsJson: return QStringLiteral("regions and points (JSON)");
    case FileKind::Other: break;
    }
    return QStringLiteral("a file of another kind");
}

} // namespace kx

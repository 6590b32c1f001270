#include "PeakFormat.h"

#include <QFile>
#include <algorithm>
#include <cstring>

#include "mediagraph/AtomicPeakFile.h"
#include "mediagraph/PeakReducer.h"
#include "platform/FileKind.h"
#include "platform/LittleEndian.h"
#include "platform/NativeName.h"
#include "platform/Round.h"

namespace kx {

void EncodePeakHeader(const TPeakHeader& h, uint8_t out[PeakHeaderSize])
{
    std::memcpy(out, "PEAK", 4);
    out[4] = h.BytesPerPeak;
    out[5] = h.Channels;
    WriteU32LE(out + 6, h.SamplesPerSecond);
    WriteU32LE(out + 10, h.PcmByteCount);
    WriteU16LE(out + 14, h.SamplesPerPeak);
}

std::optional<TPeakHeader> DecodePeakHeader(std::span<const uint8_t> b)
{
    if (b.size() < PeakHeaderSize || std::memcmp(b.data(), "PEAK", 4) != 0)
        return std::nullopt;
    TPeakHeader h;
    h.BytesPerPeak = b[4];
    h.Channels = b[5];
    h.SamplesPerSecond = ReadU32LE(b.data() + 6);
    h.PcmByteCount = ReadU32LE(b.data() + 10);
    h.SamplesPerPeak = ReadU16LE(b.data() + 14);
    return h;
}

PeakFileKind DetectPeakFileKind(std::span<const uint8_t> b, uint64_t totalSize)
{
    return DetectPeakLayout(b, totalSize) == PeakLayout::WaveViewer ? PeakFileKind::WaveViewer : PeakFileKind::Builder;
}

PeakCheck CheckPeakData(std::span<const uint8_t> header, uint64_t totalSize, PeakReader reader)
{
    if (totalSize < PeakHeaderSize || header.size() < PeakHeaderSize)
        return PeakCheck::TooShort;
    if (totalSize > static_cast<uint64_t>(MaxPeakDataBytes))
        return PeakCheck::TooLarge;
    const auto h = DecodePeakHeader(header);
    if (!h)
        return PeakCheck::BadMagic;
    if (reader != PeakReader::ViewerStream && DetectPeakFileKind(header, totalSize) == PeakFileKind::WaveViewer)
        return PeakCheck::WaveViewerFile;
    const bool bppOk = h->BytesPerPeak == 2 || h->BytesPerPeak == 4 ||
                       (h->BytesPerPeak == 1 && reader != PeakReader::ViewerStream);
    if (!bppOk)
        return PeakCheck::BadBytesPerPeak;
    if (h->Channels != 1 && h->Channels != 2)
        return PeakCheck::BadChannels;
    if (static_cast<uint32_t>(h->SamplesPerSecond - 8000u) >= 40001u)
        return PeakCheck::BadSampleRate;
    if (reader == PeakReader::Builder)
        return PeakCheck::Accepted;
    if (h->SamplesPerPeak == 0)
        return PeakCheck::ZeroSamplesPerPeak;
    const uint32_t divisor = uint32_t(h->Channels) * h->SamplesPerPeak * h->BytesPerPeak;
    if (h->PcmByteCount < h->SamplesPerSecond / divisor)
        return PeakCheck::PcmByteCountTooSmall;
    if (totalSize <= PeakHeaderSize)
        return PeakCheck::NoRecords;
    return PeakCheck::Accepted;
}

QString PeakCheckText(PeakCheck check)
{
    switch (check) {
    case PeakCheck::Accepted: return QStringLiteral("accepted");
    case PeakCheck::TooShort: return QStringLiteral("shorter than the 16-byte header");
    case PeakCheck::BadMagic: return QStringLiteral("magic is not PEAK");
    case PeakCheck::BadBytesPerPeak: return QStringLiteral("BytesPerPeak is not accepted");
    case PeakCheck::BadChannels: return QStringLiteral("Channels is not 1 or 2");
    case PeakCheck::BadSampleRate: return QStringLiteral("SamplesPerSecond is outside 8000..48000");
    case PeakCheck::ZeroSamplesPerPeak: return QStringLiteral("SamplesPerPeak is 0");
    case PeakCheck::PcmByteCountTooSmall: return QStringLiteral("PcmByteCount is too small");
    case PeakCheck::NoRecords: return QStringLiteral("no peak records follow the header");
    case PeakCheck::TooLarge: return QStringLiteral("larger than 1 GiB");
    case PeakCheck::CannotOpen: return QStringLiteral("cannot be opened");
    case PeakCheck::ReadFailed: return QStringLiteral("cannot be read");
    case PeakCheck::WaveViewerFile:
        return QStringLiteral("it is the wave viewer's peak file (14-byte header), not a peak builder file");
    }
    return {};
}

uint32_t ComputePcmByteCount(uint32_t rate, uint32_t channels, uint32_t bitsPerSample, int64_t duration100ns)
{
    const int64_t bytesPerSecond = int64_t(rate) * channels * (bitsPerSample / 8);
    return static_cast<uint32_t>(bytesPerSecond * duration100ns / 10000000);
}

int64_t PeakDurationMs(const TPeakHeader& h)
{
    const double bytesPerSecond = double(h.SamplesPerSecond) * h.Channels * h.BytesPerPeak / 2.0;
    if (bytesPerSecond <= 0)
        return 0;
    return Round(double(h.PcmByteCount) / bytesPerSecond * 1000.0);
}

int PeakRecordSize(const TPeakHeader& h)
{
    return int(h.Channels) * h.BytesPerPeak;
}

int64_t PeakRecordCount(const TPeakHeader& h, uint64_t totalSize)
{
    const int size = PeakRecordSize(h);
    if (size <= 0 || totalSize <= PeakHeaderSize)
        return 0;
    return static_cast<int64_t>((totalSize - PeakHeaderSize) / static_cast<uint64_t>(size));
}

TPeakHeader MakePeakHeader(uint32_t rate, uint32_t channels, uint32_t bitsPerSample, uint16_t samplesPerPeak,
                           int64_t duration100ns)
{
    TPeakHeader h;
    h.BytesPerPeak = bitsPerSample == 8 ? 2 : 4;
    h.Channels = static_cast<uint8_t>(channels);
    h.SamplesPerSecond = rate;
    h.PcmByteCount = ComputePcmByteCount(rate, channels, bitsPerSample, duration100ns);
    h.SamplesPerPeak = samplesPerPeak;
    return h;
}

int64_t ExpectedPeakDataBytes(uint32_t rate, uint32_t channels, uint32_t bitsPerSample, uint16_t samplesPerPeak,
                              int64_t duration100ns)
{
    if (duration100ns <= 0 || samplesPerPeak == 0)
        return PeakHeaderSize;
    // Frames at the output rate, then whole records with the partial last one.
    const auto frames = (uint128_t)uint64_t(duration100ns) * rate / 10000000u;
    const auto records = (frames + samplesPerPeak - 1) / samplesPerPeak;
    const auto bytes = records * channels * (bitsPerSample == 8 ? 2u : 4u) + PeakHeaderSize;
    return bytes > (uint128_t)INT64_MAX ? INT64_MAX : int64_t(bytes);
}

namespace {

// Opens a peak file and checks its header and size; the file is left open
// after the header when accepted.
PeakCheck OpenPeakFile(QFile& file, const QString& fileName, PeakReader reader, uint8_t (&header)[PeakHeaderSize],
                       qint64& size)
{
    if (!StatNative(fileName).isFile || !OpenNativeFile(file, fileName, QIODevice::ReadOnly))
        return PeakCheck::CannotOpen;
    size = file.size();
    const qint64 got = file.read(reinterpret_cast<char*>(header), PeakHeaderSize);
    if (got < 0)
        return PeakCheck::ReadFailed;
    return CheckPeakData(std::span<const uint8_t>(header, static_cast<size_t>(got)), static_cast<uint64_t>(size),
                         reader);
}

} // namespace

PeakCheck CheckPeakFile(const QString& fileName, PeakReader reader)
{
    QFile file;
    uint8_t header[PeakHeaderSize] = {};
    qint64 size = 0;
    return OpenPeakFile(file, fileName, reader, header, size);
}

PeakCheck ReadPeakFile(const QString& fileName, PeakReader reader, std::vector<uint8_t>& out)
{
    QFile file;
    uint8_t header[PeakHeaderSize] = {};
    qint64 size = 0;
    const PeakCheck check = OpenPeakFile(file, fileName, reader, header, size);
    if (check != PeakCheck::Accepted)
        return check;
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    std::memcpy(bytes.data(), header, PeakHeaderSize);
    const qint64 rest = size - PeakHeaderSize;
    if (rest > 0 && file.read(reinterpret_cast<char*>(bytes.data()) + PeakHeaderSize, rest) != rest)
        return PeakCheck::ReadFailed;
    out = std::move(bytes);
    return PeakCheck::Accepted;
}

bool DurationFitsFile(int64_t duration100ns, int64_t fileBytes)
{
    if (duration100ns <= 0)
        return true;
    // Compared in whole bits over 10^7 units per second, without overflow.
    const auto bits = (uint128_t)uint64_t(std::max<int64_t>(fileBytes, 0)) * 8 * 10000000u;
    return bits >= (uint128_t)uint64_t(duration100ns) * MinStreamBitsPerSecond;
}

bool PeakRecordsMissing(const TPeakHeader& h, uint64_t totalSize)
{
    const int64_t records = PeakRecordCount(h, totalSize);
    if (PeakLengthAgrees(h.BytesPerPeak, h.Channels, h.PcmByteCount, h.SamplesPerPeak, records))
        return false;
    // They disagree either way; missing when the records cover less (modulo
    // 2^32, as the length is stored).
    const uint64_t span = uint64_t(h.SamplesPerPeak) * h.Channels * (h.BytesPerPeak / 2u);
    const auto covered = uint32_t(uint64_t(records) * span);
    return int32_t(covered - h.PcmByteCount) < 0;
}

bool PeakFileCutShort(const QString& fileName)
{
    QFile file;
    uint8_t header[PeakHeaderSize] = {};
    qint64 size = 0;
    if (OpenPeakFile(file, fileName, PeakReader::Builder, header, size) != PeakCheck::Accepted)
        return false;
    const auto h = DecodePeakHeader(header);
    return h && PeakRecordsMissing(*h, uint64_t(size));
}

} // namespace kx

#include "SpectrogramFile.h"

#include <unistd.h>
#include <algorithm>
#include <string_view>

#include "platform/LittleEndian.h"
#include "platform/NativeName.h"

namespace kx {

namespace {

constexpr uint8_t LogBandRule = 1;

// The layout of a checked header, without values.
SpectrogramData HeaderFields(const uint8_t* b)
{
    SpectrogramData d;
    d.rate = ReadU32LE(b + 8);
    d.hop = ReadU32LE(b + 12);
    d.window = ReadU32LE(b + 16);
    d.bands = ReadU16LE(b + 20);
    d.floorDb = b[23];
    d.lowHz = ReadU32LE(b + 24);
    d.frames = ReadU64LE(b + 40);
    return d;
}

} // namespace

QString SpectrogramFileFor(const QString& media)
{
    return media + QStringLiteral(".sgram");
}

std::vector<uint8_t> EncodeSpectrogram(const SpectrogramData& d)
{
    std::vector<uint8_t> out(SpectrogramHeaderSize + d.values.size());
    uint8_t* h = out.data();
    std::copy_n("KXSG", 4, h);
    WriteU16LE(h + 4, SpectrogramVersion);
    WriteU16LE(h + 6, uint16_t(SpectrogramHeaderSize));
    WriteU32LE(h + 8, d.rate);
    WriteU32LE(h + 12, d.hop);
    WriteU32LE(h + 16, d.window);
    WriteU16LE(h + 20, d.bands);
    h[22] = LogBandRule;
    h[23] = d.floorDb;
    WriteU32LE(h + 24, d.lowHz);
    WriteU32LE(h + 28, 0);
    WriteU64LE(h + 32, d.Columns());
    WriteU64LE(h + 40, d.frames);
    std::copy(d.values.begin(), d.values.end(), out.begin() + SpectrogramHeaderSize);
    return out;
}

QString CheckSpectrogramHeader(std::span<const uint8_t> b, uint64_t fileSize)
{
    if (b.size() < SpectrogramHeaderSize || fileSize < SpectrogramHeaderSize)
        return QStringLiteral("shorter than a spectrogram header");
    if (std::string_view(reinterpret_cast<const char*>(b.data()), 4) != "KXSG")
        return QStringLiteral("not a spectrogram file");
    if (ReadU16LE(b.data() + 4) != SpectrogramVersion)
        return QStringLiteral("spectrogram version %1 is not known").arg(ReadU16LE(b.data() + 4));
    if (ReadU16LE(b.data() + 6) != SpectrogramHeaderSize)
        return QStringLiteral("wrong header size");
    const uint32_t rate = ReadU32LE(b.data() + 8), hop = ReadU32LE(b.data() + 12), window = ReadU32LE(b.data() + 16);
    const uint16_t bands = ReadU16LE(b.data() + 20);
    const uint32_t lowHz = ReadU32LE(b.data() + 24);
    if (rate < 1000 || rate > 1000000)
        return QStringLiteral("rate %1 Hz out of range").arg(rate);
    if (hop < 1 || hop > (1u << 20) || window < 2 || window > (1u << 20) || window % 2 != 0)
        return QStringLiteral("hop or window out of range");
    if (bands < 1 || bands > 4096 || b[22] != LogBandRule || b[23] == 0)
        return QStringLiteral("band layout not known");
    if (lowHz < 1 || lowHz >= rate / 2)
        return QStringLiteral("low band edge %1 Hz out of range").arg(lowHz);
    if (ReadU32LE(b.data() + 28) != 0)
        return QStringLiteral("reserved field set");
    const uint64_t columns = ReadU64LE(b.data() + 32), frames = ReadU64LE(b.data() + 40);
    if (fileSize > MaxSpectrogramFileBytes)
        return QStringLiteral("larger than the %1 MiB a spectrogram may take").arg(MaxSpectrogramFileBytes >> 20);
    if (columns > (MaxSpectrogramFileBytes / bands) || fileSize - SpectrogramHeaderSize != columns * bands)
        return QStringLiteral("%1 columns of %2 bands do not fill its %3 bytes").arg(columns).arg(bands).arg(fileSize);
    if (frames > columns * hop || (columns > 0 && frames <= (columns - 1) * hop))
        return QStringLiteral("%1 frames do not match %2 columns").arg(frames).arg(columns);
    return {};
}

QString DecodeSpectrogram(std::span<const uint8_t> bytes, SpectrogramData& out)
{
    QString why = CheckSpectrogramHeader(bytes.first(std::min(bytes.size(), SpectrogramHeaderSize)), bytes.size());
    if (!why.isEmpty())
        return why;
    SpectrogramData d = HeaderFields(bytes.data());
    d.values.assign(bytes.begin() + SpectrogramHeaderSize, bytes.end());
    out = std::move(d);
    return {};
}

bool ReadSpectrogramFile(const QString& name, SpectrogramData& out, QString& error)
{
    ScopedFd file;
    uint64_t size = 0;
    file.fd = OpenNativeRegular(name, size);
    if (file.fd < 0) {
        error = QStringLiteral("cannot be opened");
        return false;
    }
    // The header first: a huge or garbage file is refused before it is read.
    uint8_t header[SpectrogramHeaderSize] = {};
    const size_t got = ReadNativeAt(file.fd, 0, header, sizeof header);
    error = CheckSpectrogramHeader({header, got}, size);
    if (!error.isEmpty())
        return false;
    // Read with pread into memory: a file cut short meanwhile reads short, never faults.
    SpectrogramData d = HeaderFields(header);
    d.values.resize(size - SpectrogramHeaderSize);
    if (ReadNativeAt(file.fd, SpectrogramHeaderSize, d.values.data(), d.values.size()) != d.values.size()) {
        error = QStringLiteral("ends before its columns");
        return false;
    }
    out = std::move(d);
    return true;
}

bool WriteSpectrogramFile(const QString& name, const SpectrogramData& data, const OutputRules& given, QString& error)
{
    OutputRules rules = given;
    rules.kind = FileKind::Spectrogram;
    const std::vector<uint8_t> bytes = EncodeSpectrogram(data);
    return WriteOutputFile(name, rules, {QByteArrayView(bytes.data(), qsizetype(bytes.size()))}, error);
}

} // namespace kx

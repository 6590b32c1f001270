#include "RmsFile.h"

#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <string_view>

#include "platform/LittleEndian.h"
#include "platform/NativeName.h"

namespace kx {

namespace {

RmsData HeaderFields(const uint8_t* b)
{
    RmsData d;
    d.channels = ReadU16LE(b + 8);
    d.samplesPerPeak = ReadU16LE(b + 10);
    d.rate = ReadU32LE(b + 12);
    return d;
}

void DecodeValues(const uint8_t* p, size_t count, std::vector<uint16_t>& out)
{
    out.resize(count);
    for (size_t i = 0; i < count; ++i)
        out[i] = ReadU16LE(p + 2 * i);
}

} // namespace

QString RmsFileFor(const QString& peakFile)
{
    return peakFile + QStringLiteral(".rms");
}

namespace {

void EncodeHeader(const RmsData& d, uint64_t records, uint8_t* h)
{
    std::copy_n("KXRM", 4, h);
    WriteU16LE(h + 4, RmsVersion);
    WriteU16LE(h + 6, uint16_t(RmsHeaderSize));
    WriteU16LE(h + 8, d.channels);
    WriteU16LE(h + 10, d.samplesPerPeak);
    WriteU32LE(h + 12, d.rate);
    WriteU64LE(h + 16, records);
    WriteU64LE(h + 24, 0);
}

} // namespace

std::vector<uint8_t> EncodeRms(const RmsData& d)
{
    std::vector<uint8_t> out(RmsHeaderSize + 2 * d.values.size());
    uint8_t* h = out.data();
    EncodeHeader(d, uint64_t(d.Records()), h);
    uint8_t* p = h + RmsHeaderSize;
    for (uint16_t v : d.values) {
        WriteU16LE(p, v);
        p += 2;
    }
    return out;
}

QString CheckRmsHeader(std::span<const uint8_t> b, uint64_t fileSize)
{
    if (b.size() < RmsHeaderSize || fileSize < RmsHeaderSize)
        return QStringLiteral("shorter than an RMS header");
    if (std::string_view(reinterpret_cast<const char*>(b.data()), 4) != "KXRM")
        return QStringLiteral("not an RMS file");
    if (ReadU16LE(b.data() + 4) != RmsVersion)
        return QStringLiteral("RMS version %1 is not known").arg(ReadU16LE(b.data() + 4));
    if (ReadU16LE(b.data() + 6) != RmsHeaderSize)
        return QStringLiteral("wrong header size");
    const uint16_t channels = ReadU16LE(b.data() + 8);
    if (channels != 1 && channels != 2)
        return QStringLiteral("%1 channels").arg(channels);
    if (ReadU16LE(b.data() + 10) == 0)
        return QStringLiteral("no frames per record");
    const uint32_t rate = ReadU32LE(b.data() + 12);
    if (rate < 1000 || rate > 1000000)
        return QStringLiteral("rate %1 Hz out of range").arg(rate);
    if (ReadU64LE(b.data() + 24) != 0)
        return QStringLiteral("reserved field set");
    // The peak data's own limit bounds its side file too.
    if (fileSize > uint64_t(MaxPeakDataBytes))
        return QStringLiteral("larger than the %1 MiB an RMS file may take").arg(MaxPeakDataBytes >> 20);
    const uint64_t records = ReadU64LE(b.data() + 16);
    if (records > uint64_t(MaxPeakDataBytes) || fileSize - RmsHeaderSize != records * 2 * channels)
        return QStringLiteral("%1 records of %2 channels do not fill its %3 bytes").arg(records).arg(channels).arg(fileSize);
    return {};
}

QString DecodeRms(std::span<const uint8_t> bytes, RmsData& out)
{
    QString why = CheckRmsHeader(bytes.first(std::min(bytes.size(), RmsHeaderSize)), bytes.size());
    if (!why.isEmpty())
        return why;
    RmsData d = HeaderFields(bytes.data());
    DecodeValues(bytes.data() + RmsHeaderSize, (bytes.size() - RmsHeaderSize) / 2, d.values);
    out = std::move(d);
    return {};
}

bool ReadRmsFile(const QString& name, RmsData& out, QString& error)
{
    ScopedFd file;
    uint64_t size = 0;
    file.fd = OpenNativeRegular(name, size);
    if (file.fd < 0) {
        error = QStringLiteral("cannot be opened");
        return false;
    }
    uint8_t header[RmsHeaderSize] = {};
    const size_t got = ReadNativeAt(file.fd, 0, header, sizeof header);
    error = CheckRmsHeader({header, got}, size);
    if (!error.isEmpty())
        return false;
    // pread into memory: a file cut short meanwhile reads short, never faults.
    std::vector<uint8_t> raw(size - RmsHeaderSize);
    if (ReadNativeAt(file.fd, RmsHeaderSize, raw.data(), raw.size()) != raw.size()) {
        error = QStringLiteral("ends before its records");
        return false;
    }
    RmsData d = HeaderFields(header);
    DecodeValues(raw.data(), raw.size() / 2, d.values);
    out = std::move(d);
    return true;
}

bool WriteRmsFile(const QString& name, const RmsData& data, const OutputRules& given, QString& error)
{
    OutputRules rules = given;
    rules.kind = FileKind::Rms;
    const std::vector<uint8_t> bytes = EncodeRms(data);
    return WriteOutputFile(name, rules, {QByteArrayView(bytes.data(), qsizetype(bytes.size()))}, error);
}

bool RmsFileWriter::Open(const QString& name, const OutputRules& given)
{
    OutputRules rules = given;
    rules.kind = FileKind::Rms;
    rules.needsSeek = true;
    name_ = name;
    failed_ = false;
    const uint8_t placeholder[RmsHeaderSize] = {};
    return file_.Open(name, rules) && file_.Write(placeholder, sizeof placeholder);
}

bool RmsFileWriter::Append(const uint16_t* values, size_t count)
{
    if (failed_ || !file_.IsOpen())
        return false;
    std::vector<uint8_t> bytes(2 * count);
    for (size_t i = 0; i < count; ++i)
        WriteU16LE(bytes.data() + 2 * i, values[i]);
    failed_ = !file_.Write(bytes.data(), bytes.size());
    return !failed_;
}

int64_t RmsFileWriter::Records(uint16_t channels) const
{
    return channels && file_.Size() >= RmsHeaderSize ? int64_t((file_.Size() - RmsHeaderSize) / (2u * channels)) : 0;
}

bool RmsFileWriter::Commit(const RmsData& format)
{
    uint8_t header[RmsHeaderSize];
    EncodeHeader(format, uint64_t(Records(format.channels)), header);
    if (failed_ || !file_.WriteAt(0, header, sizeof header) || !file_.Commit()) {
        file_.Abandon();
        return false;
    }
    return true;
}

QString RmsFileWriter::ErrorText() const
{
    const QString why = file_.ErrorText();
    return QStringLiteral("%1: %2").arg(name_, why.isEmpty() ? QStringLiteral("cannot be written") : why);
}

bool RmsMatchesPeaks(const RmsData& d, const TPeakHeader& h, int64_t records)
{
    return d.channels == h.Channels && d.samplesPerPeak == h.SamplesPerPeak && d.rate == h.SamplesPerSecond &&
           d.Records() == records;
}

std::optional<RmsData> ReadRmsFor(const QString& peakFile, const TPeakHeader& header, int64_t records, QString* why)
{
    const auto fail = [why](const QString& reason) -> std::optional<RmsData> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    const QString name = RmsFileFor(peakFile);
    const NativeFileStatus side = StatNative(name);
    if (!side.exists)
        return fail(QStringLiteral("no RMS file"));
    const NativeFileStatus peaks = StatNative(peakFile);
    if (peaks.exists && side.modifiedMs < peaks.modifiedMs)
        return fail(QStringLiteral("older than its peak file"));
    RmsData d;
    QString error;
    if (!ReadRmsFile(name, d, error))
        return fail(error);
    if (!RmsMatchesPeaks(d, header, records))
        return fail(QStringLiteral("does not match its peak file"));
    return d;
}

} // namespace kx

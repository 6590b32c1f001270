#include "WaveformFiles.h"

#include <QFile>
#include <cstdio>

#include "peaks/KXPeakBuilder.h"
#include "platform/NativeName.h"

namespace kx {

bool WriteOutputFile(const QString& path, std::span<const uint8_t> bytes, QString& error)
{
    if (path == QLatin1String("-")) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
            error = QStringLiteral("standard output: write failed");
            return false;
        }
        return true;
    }
    QString why;
    if (!WriteWholeFile(path, {QByteArrayView(bytes.data(), qsizetype(bytes.size()))}, why)) {
        error = QStringLiteral("%1: %2").arg(path, why);
        return false;
    }
    return true;
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const QString& path, int64_t limit, QString& error)
{
    QFile file;
    if (!StatNative(path).isFile || !OpenNativeFile(file, path, QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: cannot be opened").arg(path);
        return std::nullopt;
    }
    if (file.size() > limit) {
        error = QStringLiteral("%1: larger than %2 bytes").arg(path).arg(limit);
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(file.size()));
    if (file.read(reinterpret_cast<char*>(bytes.data()), qint64(bytes.size())) != qint64(bytes.size())) {
        error = QStringLiteral("%1: cannot be read").arg(path);
        return std::nullopt;
    }
    return bytes;
}

std::optional<WaveformFormat> ParseWaveformFormat(const QString& text)
{
    if (text == QLatin1String("dat"))
        return WaveformFormat::Dat;
    if (text == QLatin1String("json"))
        return WaveformFormat::Json;
    return std::nullopt;
}

QString WaveformExtension(WaveformFormat format)
{
    return format == WaveformFormat::Dat ? QStringLiteral(".dat") : QStringLiteral(".json");
}

QString WriteBuiltWaveform(const TKXPeakBuilder& builder, int index, const QString& peakName,
                           const QString& peakExtension, const TWaveformExport& how, QString& error)
{
    TMemoryStream* stream = nullptr;
    if (!builder.GetStreamByIndex(index, stream) || !stream) {
        error = QStringLiteral("%1: no peaks were kept").arg(peakName);
        return {};
    }
    const QString base = peakName.endsWith(peakExtension) ? peakName.chopped(peakExtension.size()) : peakName;
    const QString name = base + WaveformExtension(how.Format);
    const auto bytes = ExportWaveform(std::span<const uint8_t>(stream->Data(), size_t(stream->Size())), how, error);
    if (!bytes) {
        error = QStringLiteral("%1: %2").arg(name, error);
        return {};
    }
    return WriteOutputFile(name, *bytes, error) ? name : QString();
}

} // namespace kx

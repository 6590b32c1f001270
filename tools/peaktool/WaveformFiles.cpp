#include "WaveformFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>

#include "peaks/KXPeakBuilder.h"

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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) != qint64(bytes.size()) ||
        !file.commit()) {
        error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const QString& path, int64_t limit, QString& error)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
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

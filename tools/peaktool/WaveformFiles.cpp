#include "WaveformFiles.h"

#include <cstdio>
#include <unistd.h>

#include "peaks/KXPeakBuilder.h"
#include "platform/NativeName.h"

namespace kx {

bool OutputFile::Open(const QString& path, QString& error)
{
    path_ = path;
    stdout_ = path == QLatin1String("-");
    if (stdout_ || file_.Open(path))
        return true;
    error = QStringLiteral("%1: %2").arg(path, file_.ErrorText());
    return false;
}

bool OutputFile::Write(std::span<const uint8_t> bytes, QString& error)
{
    if (stdout_) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size())
            return true;
        error = QStringLiteral("standard output: write failed");
        return false;
    }
    if (file_.Write(QByteArrayView(bytes.data(), qsizetype(bytes.size()))))
        return true;
    error = QStringLiteral("%1: %2").arg(path_, file_.ErrorText());
    return false;
}

bool OutputFile::Commit(QString& error)
{
    if (stdout_) {
        if (std::fflush(stdout) == 0)
            return true;
        error = QStringLiteral("standard output: write failed");
        return false;
    }
    if (file_.Commit())
        return true;
    error = QStringLiteral("%1: %2").arg(path_, file_.ErrorText());
    return false;
}

bool WriteOutputFile(const QString& path, std::span<const uint8_t> bytes, QString& error)
{
    OutputFile out;
    return out.Open(path, error) && out.Write(bytes, error) && out.Commit(error);
}

InputFile::~InputFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool InputFile::Open(const QString& path, QString& error)
{
    fd_ = OpenNativeRegular(path, size_);
    if (fd_ >= 0)
        return true;
    error = StatNative(path).exists ? QStringLiteral("%1: cannot be opened").arg(path)
                                    : QStringLiteral("%1: no such file").arg(path);
    return false;
}

bool InputFile::ReadAt(uint64_t offset, uint8_t* buffer, size_t size) const
{
    return ReadNativeAt(fd_, offset, buffer, size) == size;
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

#include "WaveformFiles.h"

#include <cstring>
#include <unistd.h>

#include "peaks/KXPeakBuilder.h"
#include "platform/NativeName.h"

namespace kx {

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

FileKind WaveformKind(WaveformFormat format)
{
    return format == WaveformFormat::Dat ? FileKind::WaveformDat : FileKind::WaveformJson;
}

bool ExportToFile(uint64_t size, const ExportPeakReader& read, const QString& input, const QString& output,
                  const TWaveformExport& how, const OutputRules& rules, QString& error)
{
    OutputFile out;
    QString writeError;
    const ExportWaveformWriter write = [&](std::span<const uint8_t> bytes) {
        if (!out.IsOpen() && !out.Open(output, rules)) {
            writeError = QStringLiteral("%1: %2").arg(output, out.ErrorText());
            return false;
        }
        if (out.Write(bytes.data(), bytes.size()))
            return true;
        writeError = QStringLiteral("%1: %2").arg(output, out.ErrorText());
        return false;
    };
    if (!ExportWaveformStreamed(size, read, how, write, error)) {
        error = writeError.isEmpty() ? QStringLiteral("%1: %2").arg(input, error) : writeError;
        return false;
    }
    if (!out.Commit()) {
        error = QStringLiteral("%1: %2").arg(output, out.ErrorText());
        return false;
    }
    return true;
}

bool WriteBuiltWaveform(const TKXPeakBuilder& builder, int index, const QString& name, const TWaveformExport& how,
                        const OutputRules& rules, QString& error)
{
    TMemoryStream* stream = nullptr;
    if (!builder.GetStreamByIndex(index, stream) || !stream) {
        error = QStringLiteral("%1: no peaks were kept").arg(name);
        return false;
    }
    // Straight from the kept peaks into the file: no second copy of them.
    const std::span<const uint8_t> peaks(stream->Data(), size_t(stream->Size()));
    const ExportPeakReader read = [peaks](uint64_t offset, uint8_t* buffer, size_t size) {
        if (offset > peaks.size() || size > peaks.size() - offset)
            return false;
        std::memcpy(buffer, peaks.data() + offset, size);
        return true;
    };
    return ExportToFile(peaks.size(), read, name, name, how, rules, error);
}

} // namespace kx

#include "WaveformFiles.h"

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

bool WriteBuiltWaveform(const TKXPeakBuilder& builder, int index, const QString& name, const TWaveformExport& how,
                        const OutputRules& rules, QString& error)
{
    TMemoryStream* stream = nullptr;
    if (!builder.GetStreamByIndex(index, stream) || !stream) {
        error = QStringLiteral("%1: no peaks were kept").arg(name);
        return false;
    }
    const auto bytes = ExportWaveform(std::span<const uint8_t>(stream->Data(), size_t(stream->Size())), how, error);
    if (!bytes) {
        error = QStringLiteral("%1: %2").arg(name, error);
        return false;
    }
    return WriteOutputFile(name, rules, {QByteArrayView(bytes->data(), qsizetype(bytes->size()))}, error);
}

} // namespace kx

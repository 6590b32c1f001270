#pragma once
#include <QString>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "peaks/WaveformData.h"
#include "platform/NativeName.h"
#include "platform/OutputFile.h"

namespace kx {

class TKXPeakBuilder;

// A regular file open for reading (never waiting on a FIFO or device).
class InputFile
{
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();
    bool Open(const QString& path, QString& error);
    uint64_t Size() const { return size_; }
    // Exactly size bytes from offset; false when the file has fewer.
    bool ReadAt(uint64_t offset, uint8_t* buffer, size_t size) const;

private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

// Waveform data peaktool writes at the most: 128 Mi values, 256 MiB as
// 16-bit binary data. Web viewers load the whole file; more is of no use to
// them, and coarser pixels make it smaller.
constexpr uint64_t MaxWaveformValues = uint64_t(128) << 20;

// "dat" or "json"; nothing for any other text.
std::optional<WaveformFormat> ParseWaveformFormat(const QString& text);
// The file name extension of a format, dot included.
QString WaveformExtension(WaveformFormat format);

// The kind of file a waveform data format is.
FileKind WaveformKind(WaveformFormat format);

// Exports `size` bytes of peak data, read through `read`, as waveform data
// into the named file under the rules, a block at a time: the file is made
// only once the data is known good, and memory stays the same at any size.
// False with the reason in error, naming the input or the output.
bool ExportToFile(uint64_t size, const ExportPeakReader& read, const QString& input, const QString& output,
                  const TWaveformExport& how, const OutputRules& rules, QString& error);

// Writes the waveform data of a builder's peak stream to the named file
// under the rules; false with the reason in error.
bool WriteBuiltWaveform(const TKXPeakBuilder& builder, int index, const QString& name, const TWaveformExport& how,
                        const OutputRules& rules, QString& error);

} // namespace kx

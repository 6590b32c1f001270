#pragma once
#include <QString>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "peaks/WaveformData.h"

namespace kx {

class TKXPeakBuilder;

// Writes the bytes to the file (replaced only once complete) or, for "-",
// to standard output; false with the reason otherwise.
bool WriteOutputFile(const QString& path, std::span<const uint8_t> bytes, QString& error);
// The whole file, up to limit bytes; nothing with the reason otherwise.
std::optional<std::vector<uint8_t>> ReadWholeFile(const QString& path, int64_t limit, QString& error);
// "dat" or "json"; nothing for any other text.
std::optional<WaveformFormat> ParseWaveformFormat(const QString& text);
// The file name extension of a format, dot included.
QString WaveformExtension(WaveformFormat format);

// Writes the waveform data of a builder's peak stream under the peak file
// name with the format's extension in place of peakExtension. Gives the name
// written, or nothing with the reason in error.
QString WriteBuiltWaveform(const TKXPeakBuilder& builder, int index, const QString& peakName,
                           const QString& peakExtension, const TWaveformExport& how, QString& error);

} // namespace kx

#pragma once
// The spectrogram side file, "<media>.sgram" by default. Little-endian:
//   0  "KXSG"
//   4  u16 version (1)            6  u16 header size (48)
//   8  u32 rate (Hz)             12  u32 hop (frames per column)
//  16  u32 window (samples)      20  u16 bands
//  22  u8 band rule (1: log-spaced from the low edge to Nyquist)
//  23  u8 floor (dB below full scale of value 0; 255 is 0 dBFS)
//  24  u32 low edge (Hz)         28  u32 reserved (0)
//  32  u64 columns               40  u64 frames covered
//  48  columns × bands values, column after column, lowest band first.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "Spectrogram.h"
#include "platform/OutputFile.h"

namespace kx {

/// Bytes before the first column of a spectrogram file.
inline constexpr size_t SpectrogramHeaderSize = 48;
/// The version this library writes and reads.
inline constexpr uint16_t SpectrogramVersion = 1;
/// Larger files are refused (13 hours of 44.1 kHz audio at the default layout).
inline constexpr uint64_t MaxSpectrogramFileBytes = uint64_t(512) << 20;

/// The side file's default name for a media (or peak) file.
QString SpectrogramFileFor(const QString& media);

/// The file's bytes: header and values.
std::vector<uint8_t> EncodeSpectrogram(const SpectrogramData& data);
/// Reads a whole file's bytes into out; empty when they are acceptable,
/// otherwise the reason (out is then left alone).
QString DecodeSpectrogram(std::span<const uint8_t> bytes, SpectrogramData& out);
/// Checks a header against the whole file's size; empty when acceptable.
QString CheckSpectrogramHeader(std::span<const uint8_t> header, uint64_t fileSize);

/// Reads and checks a spectrogram file. False with the reason in error.
bool ReadSpectrogramFile(const QString& name, SpectrogramData& out, QString& error);
/// Writes a spectrogram file through the output rules (kind Spectrogram;
/// the inputs given are never replaced). False with "NAME: reason" in error.
bool WriteSpectrogramFile(const QString& name, const SpectrogramData& data, const OutputRules& rules, QString& error);

} // namespace kx

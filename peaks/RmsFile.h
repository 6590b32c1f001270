#pragma once
// Loudness beside the extremes: the RMS of every peak record, per channel,
// kept in a side file "<peak file>.rms" so that the peak file itself stays
// exactly as other readers expect it. Little-endian:
//   0  "KXRM"
//   4  u16 version (1)            6  u16 header size (32)
//   8  u16 channels (1 or 2)     10  u16 frames per record (the peak file's SamplesPerPeak)
//  12  u32 rate (Hz, the peak file's SamplesPerSecond)
//  16  u64 records
//  24  u64 reserved (0)
//  32  records × channels u16 values, record after record, channels in
//      order: the RMS of the record's samples in 16-bit sample units, after
//      the peak file's gains (a full-scale sine gives 23170).
// The side file counts only while it is not older than its peak file and
// matches its channels, grid, rate and record count.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "PeakFormat.h"
#include "mediagraph/PeakReducer.h"
#include "platform/OutputFile.h"

namespace kx {

/// Bytes before the first record of an RMS side file.
inline constexpr size_t RmsHeaderSize = 32;
/// The version this library writes and reads.
inline constexpr uint16_t RmsVersion = 1;

/// RMS levels on a peak file's record grid.
struct RmsData {
    uint16_t channels = 2;          ///< 1 or 2
    uint16_t samplesPerPeak = 100;  ///< frames per record
    uint32_t rate = 44100;          ///< Hz
    std::vector<uint16_t> values;   ///< records × channels, channels in order
    /// Whole records held.
    int64_t Records() const { return channels ? int64_t(values.size() / channels) : 0; }
    /// Same layout and values.
    bool operator==(const RmsData&) const = default;
};

/// The side file's name for a peak file.
QString RmsFileFor(const QString& peakFile);

// RmsValue (the stored value of n samples' sum of squares) comes from the
// reducer that computes them.

/// The file's bytes: header and values.
std::vector<uint8_t> EncodeRms(const RmsData& data);
/// Checks a header against the whole file's size; empty when acceptable.
QString CheckRmsHeader(std::span<const uint8_t> header, uint64_t fileSize);
/// Decodes a whole file's bytes into out; empty when they are acceptable,
/// otherwise the reason (out is then left alone).
QString DecodeRms(std::span<const uint8_t> bytes, RmsData& out);

/// Reads and checks an RMS file. False with the reason in error.
bool ReadRmsFile(const QString& name, RmsData& out, QString& error);
/// Writes an RMS file through the output rules (kind Rms; the inputs given
/// are never replaced). False with "NAME: reason" in error.
bool WriteRmsFile(const QString& name, const RmsData& data, const OutputRules& rules, QString& error);

/// Writes an RMS file as its levels arrive, for builds that keep nothing in
/// memory: through the output rules (kind Rms) under a temporary name, the
/// header written last, put in place by Commit. Dropped unfinished, the
/// temporary file goes.
class RmsFileWriter
{
public:
    /// Opens the target and reserves the header; false with ErrorText().
    bool Open(const QString& name, const OutputRules& rules);
    /// Whether Open succeeded and nothing was committed or abandoned since.
    bool IsOpen() const { return file_.IsOpen(); }
    /// Appends values (channels in order); once a write failed, so do the rest.
    bool Append(const uint16_t* values, size_t count);
    /// Records written for the given channel count.
    int64_t Records(uint16_t channels) const;
    /// Writes the header of the format given (its values are ignored) and
    /// puts the file in place; false with ErrorText().
    bool Commit(const RmsData& format);
    /// Removes the temporary file; harmless when none is open.
    void Abandon() { file_.Abandon(); }
    /// "NAME: reason" of the last failure.
    QString ErrorText() const;

private:
    OutputFile file_;
    QString name_;
    bool failed_ = false;
};

/// The RMS levels of a peak file when its side file counts: present, not
/// older than the peak file, and of the peak file's channels, grid, rate and
/// record count. Nothing otherwise, with the reason in why when given.
std::optional<RmsData> ReadRmsFor(const QString& peakFile, const TPeakHeader& header, int64_t records,
                                  QString* why = nullptr);
/// Whether the levels fit a peak file's header and record count.
bool RmsMatchesPeaks(const RmsData& data, const TPeakHeader& header, int64_t records);

} // namespace kx

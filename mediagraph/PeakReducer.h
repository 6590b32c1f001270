#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kx {

/// Wide enough for frame × rate products of any track.
__extension__ typedef unsigned __int128 uint128_t;

/// Records are handed on in blocks of about this size, so that progress
/// flows without a call per decoded buffer.
constexpr size_t PeakDeliveryBytes = 16384;

/// What one reduction produces: records of (maximum, minimum) per channel in
/// unsigned mid-scale form, one record per SamplesPerPeak frames at the
/// output rate.
struct PeakReducerSettings {
    uint32_t inputRate = 44100;   ///< Hz of the samples fed in
    uint32_t outputRate = 44100;  ///< Hz the records are counted at
    uint32_t channels = 2;        ///< 1 or 2, the same in and out
    uint32_t bitsPerSample = 16;  ///< 8 or 16: width of the stored values
    uint16_t leftGain = 4096;     ///< 1/4096 units, first channel
    uint16_t rightGain = 4096;    ///< 1/4096 units, second channel
    uint16_t samplesPerPeak = 100; ///< output frames per record, 1 or more
    /// Also the RMS of every record's run (TakeRms); off, the reduction
    /// costs nothing more.
    bool rms = false;
};

/// The RMS of n samples whose squares sum to sumSquares, in 16-bit sample
/// units, rounded and clamped to 0..65535; 0 for no sample.
uint16_t RmsValue(double sumSquares, uint64_t n);

/// Reduces interleaved signed 16-bit PCM to peak records. No resampling: a
/// record stands for a span of time, so its run boundaries are placed at the
/// output rate and the extremes of the source samples inside each span are
/// taken, which is exact for peaks. Gains and the conversion to 8 bits are
/// monotonic, so they are applied to the extremes only. With settings.rms,
/// the squares of each run's samples are summed exactly (integers), so that
/// a segment gives the values a whole-stream reduction gives; the gains,
/// linear, scale the RMS (unclipped), in 16-bit units whatever the width of
/// the peak values.
class PeakReducer
{
public:
    /// False (and nothing changed) for settings outside the ranges of PeakReducerSettings.
    /// With firstRecord, the input starts at that record's first frame (a
    /// segment of a longer stream); the records are those a whole-stream
    /// reduction makes from there.
    bool Init(const PeakReducerSettings& settings, uint64_t firstRecord = 0);
    /// Feeds interleaved frames at the input rate.
    void Process(const int16_t* samples, size_t frames);
    /// Closes a partial last run as its own record.
    void Done();

    /// Records produced since the last take, appended to out.
    void TakeRecords(std::vector<uint8_t>& out);
    /// RMS values produced since the last take (settings.rms), one per
    /// channel and record in order, appended to out.
    void TakeRms(std::vector<uint16_t>& out);
    /// Bytes of the records not taken yet.
    size_t PendingBytes() const { return pending_.size(); }

    /// Bytes per record: 2 × channels × bytes per value.
    int RecordSize() const { return recordSize_; }
    /// Records produced since Init.
    uint64_t RecordCount() const { return records_; }
    /// Input frames fed since Init.
    uint64_t FramesIn() const { return framesIn_; }
    /// The settings of the last successful Init.
    const PeakReducerSettings& Settings() const { return settings_; }

    /// Input frame at which record k ends (exclusive), and where it starts.
    ///@{
    uint64_t RunEnd(uint64_t k) const;
    uint64_t RunStart(uint64_t k) const { return k == 0 ? 0 : RunEnd(k - 1); }
    ///@}

private:
    void Emit();
    template <bool Rms>
    void Accumulate(const int16_t* samples, size_t frames);
    void EmitRms(const uint16_t gains[2]);

    PeakReducerSettings settings_;
    int recordSize_ = 0;
    uint64_t framesIn_ = 0;
    uint64_t records_ = 0;
    uint64_t runEnd_ = 0;
    int16_t max_[2] = {};
    int16_t min_[2] = {};
    int16_t last_[2] = {};
    std::vector<uint8_t> pending_;
    // Sums of squares of the run so far, and the frame it started at.
    uint64_t squares_[2] = {};
    uint64_t runStart_ = 0;
    std::vector<uint16_t> rmsPending_;
};

} // namespace kx

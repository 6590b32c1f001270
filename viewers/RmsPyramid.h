#pragma once
#include <cstdint>
#include <vector>

namespace kx {

/// Coarser levels over RMS records for drawing loudness at any zoom: each
/// block of a level holds, per channel, the sum of the squared RMS values of
/// the records it covers, so the RMS of any run of records is the root of the
/// mean of their squares (never an RMS of RMS values), in a few reads per
/// level. Every record counts alike: the records share one frame count.
class RmsPyramid
{
public:
    /// Records (or blocks of the level below) each block of a level covers.
    static constexpr int Factor = 4;

    /// Takes records × channels values, channels in order, and builds the
    /// levels over them.
    void Build(std::vector<uint16_t> values, int channels);
    /// Drops the records and every level.
    void Clear();

    /// Whether no record is held.
    bool Empty() const { return records_ == 0; }
    /// Whole records held.
    int64_t Records() const { return records_; }
    /// Levels above the records.
    int Levels() const { return static_cast<int>(levels_.size()); }

    /// The RMS of each channel over records [first, last) (clipped to the
    /// records), in 16-bit sample units; false when that holds no record.
    bool Over(int64_t first, int64_t last, double rms[2]) const;

private:
    int channels_ = 2;
    int64_t records_ = 0;
    std::vector<uint16_t> values_;
    // levels_[L - 1] holds level L: per block, per channel, a sum of squares.
    std::vector<std::vector<uint64_t>> levels_;
};

} // namespace kx

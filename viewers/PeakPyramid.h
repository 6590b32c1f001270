#pragma once
#include <cstdint>
#include <span>
#include <vector>

namespace kx {

/// Coarser levels over peak records for drawing true extremes at any zoom:
/// each block of a level holds, per channel, the highest and lowest value of
/// Factor blocks of the level below (level 0 being the records themselves).
/// The extremes of any run of records then take a few reads per level.
///
/// The records are not kept here; every call takes them, laid out as the
/// peak format stores them (channels in order, each BytesPerPeak bytes of two
/// values, or one 8-bit value when BytesPerPeak is 1). Only whole records
/// count.
class PeakPyramid
{
public:
    /// Records (or cells of the level below) each cell of a level covers.
    static constexpr int Factor = 4;

    /// Rebuilds every level over the records.
    void Build(std::span<const uint8_t> records, int channels, int bytesPerPeak);
    /// Takes in records appended since the last Build or Extend; the earlier
    /// records must be unchanged.
    void Extend(std::span<const uint8_t> records);
    /// Drops every level.
    void Clear();

    /// Whole records the levels cover.
    int64_t Records() const { return records_; }
    /// Levels above the records.
    int Levels() const { return static_cast<int>(levels_.size()); }

    /// Highest and lowest value of each channel over records [first, last)
    /// (clipped to the records); false when that holds no record.
    bool Extremes(std::span<const uint8_t> records, int64_t first, int64_t last, uint32_t hi[2],
                  uint32_t lo[2]) const;
    /// Records and blocks Extremes has read so far (what a redraw costs).
    int64_t Reads() const { return reads_; }

private:
    // Recomputes level `level` (1-based) from block `fromBlock` to its end.
    void FoldLevel(int level, int64_t fromBlock);
    void FoldRecords(std::span<const uint8_t> records, int64_t fromBlock);
    void RecordExtremes(std::span<const uint8_t> records, int64_t record, uint32_t hi[2], uint32_t lo[2]) const;

    int channels_ = 2;
    int bytesPerPeak_ = 4;
    int64_t records_ = 0;
    mutable int64_t reads_ = 0;
    // levels_[L - 1] holds level L: per block, per channel, high then low.
    std::vector<std::vector<uint16_t>> levels_;
};

} // namespace kx

#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "Spectrogram.h"

namespace kx {

/// Each band's loudest value over every `factor` consecutive columns (the
/// last group may be shorter): a zoomed-out column keeps what it covers.
std::vector<uint8_t> ReduceColumns(std::span<const uint8_t> values, uint16_t bands, uint64_t factor);

/**
 * A spectrogram and its zoomed-out levels: level 0 holds the columns as
 * stored, level k one column per 2^k of them (ReduceColumns), down to a
 * single column. Built once on load.
 */
class SpectrogramPyramid
{
public:
    /// Empty: no levels.
    SpectrogramPyramid() = default;
    /// Takes the columns and builds the levels above them.
    explicit SpectrogramPyramid(SpectrogramData base);

    /// The stored columns and their layout.
    const SpectrogramData& Base() const { return base_; }
    /// Number of levels (0 when empty).
    int Levels() const { return base_.values.empty() ? 0 : int(upper_.size()) + 1; }
    /// The values of level k, column after column.
    std::span<const uint8_t> Level(int k) const;
    /// Columns of level k.
    uint64_t Columns(int k) const { return Level(k).size() / base_.bands; }

private:
    SpectrogramData base_;
    std::vector<std::vector<uint8_t>> upper_;  // levels 1, 2, ...
};

} // namespace kx

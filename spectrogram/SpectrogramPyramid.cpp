#include "SpectrogramPyramid.h"

#include <algorithm>

namespace kx {

std::vector<uint8_t> ReduceColumns(std::span<const uint8_t> values, uint16_t bands, uint64_t factor)
{
    if (bands == 0 || factor == 0)
        return {};
    const uint64_t columns = values.size() / bands;
    const uint64_t out = (columns + factor - 1) / factor;
    std::vector<uint8_t> reduced(size_t(out) * bands, 0);
    for (uint64_t c = 0; c < columns; ++c) {
        uint8_t* to = reduced.data() + (c / factor) * bands;
        const uint8_t* from = values.data() + c * bands;
        for (uint16_t b = 0; b < bands; ++b)
            to[b] = std::max(to[b], from[b]);
    }
    return reduced;
}

SpectrogramPyramid::SpectrogramPyramid(SpectrogramData base) : base_(std::move(base))
{
    const size_t bands = base_.bands;
    if (bands == 0)
        return;
    // Each level halves the one below: pairs of columns, an odd last one alone.
    std::span<const uint8_t> below(base_.values);
    while (below.size() > bands) {
        const size_t columns = below.size() / bands;
        std::vector<uint8_t> level(((columns + 1) / 2) * bands);
        // The pairs are adjacent: one pass over the level below, vectorised
        // (distinct buffers, so no aliasing between them).
        const uint8_t* __restrict from = below.data();
        uint8_t* __restrict to = level.data();
        for (size_t c = 0; c < columns / 2; ++c, from += 2 * bands, to += bands)
            for (size_t i = 0; i < bands; ++i)
                to[i] = std::max(from[i], from[i + bands]);
        if (columns % 2)
            std::copy_n(below.data() + (columns - 1) * bands, bands, level.data() + (columns / 2) * bands);
        upper_.push_back(std::move(level));
        below = upper_.back();
    }
}

std::span<const uint8_t> SpectrogramPyramid::Level(int k) const
{
    if (k <= 0)
        return base_.values;
    return upper_.at(size_t(k - 1));
}

} // namespace kx

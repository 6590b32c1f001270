#include "RmsPyramid.h"

#include <algorithm>
#include <cmath>

namespace kx {

void RmsPyramid::Clear()
{
    records_ = 0;
    values_.clear();
    levels_.clear();
}

void RmsPyramid::Build(std::vector<uint16_t> values, int channels)
{
    Clear();
    channels_ = std::clamp(channels, 1, 2);
    values_ = std::move(values);
    records_ = static_cast<int64_t>(values_.size()) / channels_;
    int64_t below = records_;
    for (int level = 1; below > 1; ++level) {
        const int64_t blocks = (below + Factor - 1) / Factor;
        std::vector<uint64_t> out(static_cast<size_t>(blocks * channels_), 0);
        for (int64_t k = 0; k < below; ++k) {
            for (int ch = 0; ch < channels_; ++ch) {
                const auto at = static_cast<size_t>(k * channels_ + ch);
                const uint64_t v = level == 1 ? uint64_t(values_[at]) * values_[at] : levels_.back()[at];
                out[static_cast<size_t>((k / Factor) * channels_ + ch)] += v;
            }
        }
        levels_.push_back(std::move(out));
        below = blocks;
    }
}

bool RmsPyramid::Over(int64_t first, int64_t last, double rms[2]) const
{
    first = std::max<int64_t>(first, 0);
    last = std::min(last, records_);
    if (first >= last)
        return false;
    static_assert(Factor == 4, "blocks are found by shifts of two bits a level");
    uint64_t sums[2] = {0, 0};
    const int levels = Levels();
    // As the peak levels: the largest aligned block that fits in what is left.
    for (int64_t a = first; a < last;) {
        int level = 0;
        while (level < levels) {
            const int64_t up = int64_t(1) << (2 * (level + 1));
            if ((a & (up - 1)) != 0 || a + up > last)
                break;
            ++level;
        }
        if (level == 0) {
            for (int ch = 0; ch < channels_; ++ch) {
                const uint64_t v = values_[static_cast<size_t>(a * channels_ + ch)];
                sums[ch] += v * v;
            }
        } else {
            const uint64_t* block = levels_[static_cast<size_t>(level - 1)].data() + (a >> (2 * level)) * channels_;
            for (int ch = 0; ch < channels_; ++ch)
                sums[ch] += block[ch];
        }
        a += int64_t(1) << (2 * level);
    }
    for (int ch = 0; ch < channels_; ++ch)
        rms[ch] = std::sqrt(double(sums[ch]) / double(last - first));
    return true;
}

} // namespace kx

#include "SegmentOverlap.h"

#include <algorithm>

namespace kx {

namespace {

// Appends the frames of [from, to) that the buffer holds to a capture that
// starts at `at`.
void Capture(std::vector<int16_t>& capture, uint64_t& at, const int16_t* samples, uint64_t first, size_t frames,
             uint64_t from, uint64_t to, uint32_t channels)
{
    from = std::max(from, first);
    to = std::min<uint64_t>(to, first + frames);
    if (to <= from)
        return;
    if (capture.empty())
        at = from;
    const int16_t* p = samples + (from - first) * channels;
    capture.insert(capture.end(), p, p + (to - from) * channels);
}

} // namespace

void SegmentEdges::Take(const int16_t* samples, uint64_t first, size_t frames, uint64_t start, uint64_t stop,
                        uint64_t exactFrom, bool withHead, bool withTail, uint32_t channels)
{
    if (withHead)
        Capture(head, headFrom, samples, first, frames,
                std::max(exactFrom, start > SegmentOverlapFrames ? start - SegmentOverlapFrames : 0), start, channels);
    if (withTail)
        Capture(tail, tailFrom, samples, first, frames,
                std::max(start, stop > SegmentOverlapFrames ? stop - SegmentOverlapFrames : 0), stop, channels);
}

bool EdgesJoin(const SegmentEdges& before, const SegmentEdges& after, uint64_t cut, uint32_t channels)
{
    const uint64_t from = std::max(before.tailFrom, after.headFrom);
    if (before.tail.empty() || after.head.empty() || before.tailFrom + before.tail.size() / channels != cut ||
        after.headFrom + after.head.size() / channels != cut || from >= cut)
        return false;
    return std::equal(before.tail.end() - std::ptrdiff_t((cut - from) * channels), before.tail.end(),
                      after.head.end() - std::ptrdiff_t((cut - from) * channels));
}

} // namespace kx

#pragma once
// The frames around a cut that both neighbouring segments decode, kept and
// compared: a decoder that has not settled, or samples placed at another
// frame, show there. Shared by the segmented build and segmented waveforms.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kx {

/// Frames before each cut that both neighbours decode and compare.
inline constexpr uint64_t SegmentOverlapFrames = 4096;

/// The frames of a segment [start, stop) its neighbours compare: the head,
/// decoded as priming before the start (from exactFrom on, where decoding is
/// known to be exact), and the tail, its last frames.
struct SegmentEdges {
    std::vector<int16_t> head;  ///< interleaved, from headFrom on
    uint64_t headFrom = 0;      ///< stream frame of the head's first
    std::vector<int16_t> tail;  ///< interleaved, from tailFrom on
    uint64_t tailFrom = 0;      ///< stream frame of the tail's first

    /// Keeps what of the decoded frames [first, first + frames) falls in the
    /// head (when withHead) or the tail (when withTail).
    void Take(const int16_t* samples, uint64_t first, size_t frames, uint64_t start, uint64_t stop,
              uint64_t exactFrom, bool withHead, bool withTail, uint32_t channels);
};

/// Whether the frames both decoded before the cut between two segments are
/// the same (false when either kept none up to the cut).
bool EdgesJoin(const SegmentEdges& before, const SegmentEdges& after, uint64_t cut, uint32_t channels);

} // namespace kx

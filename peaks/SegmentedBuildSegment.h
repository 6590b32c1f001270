#pragma once
// The state of one segment of a segmented build, shared by its pipeline
// (SegmentPipeline.cpp) and the joining of the records (SegmentedBuild.cpp).
#include <QString>
#include <atomic>
#include <cstdint>
#include <vector>

#include "SegmentOverlap.h"
#include "SegmentedBuild.h"

typedef struct _GstElement GstElement;

namespace kx {

struct SegmentedBuild::Segment {
    enum class State { Waiting, Running, Done, Failed };

    SegmentedBuild* owner = nullptr;
    size_t index = 0;
    SegmentSpan span;
    /// Counted placement (MP3): samples are placed by counting them from the
    /// first decoded one, at stream frame decodeFirst (negative before the
    /// trimmed start), never by their timestamps. A feed of bytes
    /// [beginByte, endByte) decodes up to stream frame decodeEnd;
    /// without one (endByte 0) the file is read as in one pass, from its
    /// start. The last segment stops at limit.
    bool counted = false;
    int64_t decodeFirst = 0;
    uint64_t beginByte = 0;
    uint64_t endByte = 0;
    int64_t decodeEnd = 0;
    uint64_t limit = ~uint64_t(0);
    /// The head captured for the comparison with the segment before starts
    /// no earlier than this (where decoding is known to be exact).
    uint64_t exactFrom = 0;
    /// Streaming threads only: counted placement's next frame.
    int64_t decoded = 0;
    /// Worker thread only.
    GstElement* pipeline = nullptr;
    /// Streaming threads only.
    PeakReducer reducer;
    std::atomic<bool> capsKnown{false};
    /// Buffers count once the seek's flush has passed (from the start for
    /// the first segment).
    std::atomic<bool> armed{false};
    /// The first buffer after a seek was passed over.
    bool primed = false;
    bool anchored = false;
    /// Stream frame of the next sample.
    uint64_t position = 0;
    bool fed = false;
    std::atomic<bool> ended{false};
    /// The frames just before the start (decoded as priming) and the last
    /// ones of the segment.
    SegmentEdges edges;
    /// Worker thread only: the head was compared with the tail before it.
    bool joined = false;
    /// Under the owner's mutex.
    State state = State::Waiting;
    std::vector<uint8_t> records;
    std::vector<uint16_t> rms;
    uint64_t frames = 0;
    QString failure;
};

} // namespace kx

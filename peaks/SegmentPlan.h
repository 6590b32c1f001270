#pragma once
#include <QString>
#include <cstdint>
#include <vector>

#include "mediagraph/PeakReducer.h"

namespace kx {

// Formats whose decoders give the same samples after an accurate seek as in
// one pass, with a length that the file header states. AAC is not one: after
// a seek its decoder gives other samples for a while (priming), so cuts
// never join. MP3 stays in one pass too: after a seek its times are
// estimated from the byte position (bit rate, or the table of a variable
// rate file), and where the cut falls in silence the comparison of the
// frames around it could not tell a misplaced segment.
enum class SegmentableCodec { None, Flac, Vorbis };

// What the header of a file says about its audio, read without decoding.
struct SegmentableStream {
    SegmentableCodec codec = SegmentableCodec::None;
    uint32_t rate = 0;
    uint32_t channels = 0;
    // Frames of the whole stream as the header states them (the decoded
    // length decides in the end).
    uint64_t frames = 0;
};

// The stream of a FLAC or plain Ogg Vorbis file (codec None for anything
// else, and for streams the header leaves in doubt: no length, several
// logical streams, a tag before the FLAC marker).
SegmentableStream ProbeSegmentable(const QString& mediaFile);

// One segment: the records from firstRecord on, made from the input frames
// [startFrame, stopFrame). The last one runs to the end of the stream.
struct SegmentSpan {
    uint64_t firstRecord = 0;
    uint64_t startFrame = 0;
    uint64_t stopFrame = 0;
    bool last = false;
};

// When a file is cut into segments.
struct SegmentPolicy {
    // Files shorter than this are built in one pass: a segment costs a
    // pipeline start-up and a seek, worth it only with enough to decode.
    double minSeconds = 120;
    // Segments at most, which is also how many run at once; 0 takes the
    // processor count, 1 builds every file in one pass.
    int maxSegments = 0;
    // Above 0: segments of this many input frames (the last one takes the
    // rest), instead of as many equal ones as maxSegments allows.
    uint64_t segmentFrames = 0;
};

// The policy with maxSegments from KX_PEAK_SEGMENTS when it is set.
SegmentPolicy DefaultSegmentPolicy();

// How many segments run at once under the policy on `cores` processors.
int SegmentParallelism(const SegmentPolicy& policy, int cores);

// Cuts a stream of totalFrames input frames into segments that start on
// record boundaries (never on a record without frames of its own, which
// takes the level of the frame before it). One span when the stream is too
// short for the policy or parallel is below 2; empty for unusable settings.
std::vector<SegmentSpan> PlanSegments(const PeakReducerSettings& settings, uint64_t totalFrames,
                                      const SegmentPolicy& policy, int parallel);

} // namespace kx

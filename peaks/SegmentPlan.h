#pragma once
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "mediagraph/PeakReducer.h"

namespace kx {

/// Formats whose segments decode to exactly the samples of one pass. FLAC
/// and Vorbis: an accurate seek gives the same samples, and the header states
/// the length. MP3 (MPEG-1 layer III): frames of 1152 samples, so samples are
/// placed by counting the frames from their headers (after a seek the
/// parser only estimates times from the byte position); each segment decodes
/// its own bytes from a few frames before its start (the bit reservoir, the
/// overlap of the transform, the phase of the filterbank), and the gapless
/// trimming of a LAME tag is counted as one pass applies it. MPEG-2 and 2.5
/// (the rates below 32 kHz) stay in one pass: after a cut mpg123 gives them
/// samples that differ in the last bit for as long as the stream lasts, at
/// cuts that no warm-up rule avoids. AAC stays in one pass too: its perceptual
/// noise substitution (on by default in the libav encoder) draws from a
/// random generator that runs through the whole stream, so a segment's noise
/// bands never match one pass whatever it decodes first; which frames use it
/// only the spectral data tells, and the MP4 tables and edit list would have
/// to be walked as well.
enum class SegmentableCodec { None, Flac, Vorbis, Mp3 };

struct Mp3FrameIndex;

/// What the header of a file says about its audio, read without decoding.
struct SegmentableStream {
    SegmentableCodec codec = SegmentableCodec::None;  ///< None: one pass only
    uint32_t rate = 0;                                ///< Hz
    uint32_t channels = 0;                            ///< as decoded
    /// Frames of the whole stream as the header states them (the decoded
    /// length decides in the end); for MP3 what one pass decodes, counted.
    uint64_t frames = 0;
    /// MP3: where every frame is.
    std::shared_ptr<const Mp3FrameIndex> mp3;
};

/// The stream of a FLAC, plain Ogg Vorbis or MP3 file (codec None for
/// anything else, and for streams the header leaves in doubt: no length,
/// several logical streams, a tag before the FLAC marker; for MP3 anything
/// but MPEG-1 layer III frames that run unbroken from the start, after an
/// ID3v2 tag, to the end, before an ID3v1 tag). An MP3 file is read whole.
SegmentableStream ProbeSegmentable(const QString& mediaFile);

/// One segment: the records from firstRecord on, made from the input frames
/// [startFrame, stopFrame). The last one runs to the end of the stream.
struct SegmentSpan {
    uint64_t firstRecord = 0;  ///< index of the segment's first record
    uint64_t startFrame = 0;   ///< first input frame
    uint64_t stopFrame = 0;    ///< input frame after the last (ignored for the last span)
    bool last = false;         ///< runs to the end of the stream
};

/// When a file is cut into segments.
struct SegmentPolicy {
    /// Files shorter than this are built in one pass: a segment costs a
    /// pipeline start-up and a seek, worth it only with enough to decode.
    double minSeconds = 120;
    /// Segments at most, which is also how many run at once; 0 takes the
    /// processor count, 1 builds every file in one pass.
    int maxSegments = 0;
    /// Above 0: segments of this many input frames (the last one takes the
    /// rest), instead of as many equal ones as maxSegments allows.
    uint64_t segmentFrames = 0;
};

/// The policy with maxSegments from KX_PEAK_SEGMENTS when it is set, capped
/// at the processor count.
SegmentPolicy DefaultSegmentPolicy();

/// How many segments run at once under the policy on `cores` processors.
int SegmentParallelism(const SegmentPolicy& policy, int cores);

/// Cuts a stream of totalFrames input frames into segments that start on
/// record boundaries (never on a record without frames of its own, which
/// takes the level of the frame before it). One span when the stream is too
/// short for the policy or parallel is below 2; empty for unusable settings.
std::vector<SegmentSpan> PlanSegments(const PeakReducerSettings& settings, uint64_t totalFrames,
                                      const SegmentPolicy& policy, int parallel);

} // namespace kx

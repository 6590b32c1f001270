#pragma once
// Waveform pixels of a long FLAC or MP3 file made on several cores: the
// stream is cut at pixel boundaries, each segment decoded by its own pipeline
// (FLAC from an accurate seek, MP3 from its own frames as the segmented
// build cuts them) and reduced by its own generator, and the pixels joined in
// order, the same as one pass gives them.
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "NativeSamples.h"
#include "SegmentPlan.h"

namespace kx {

/// The waveform pixels of a whole file, made in segments.
struct SegmentedPixels {
    NativeFormat format;  ///< the stream as decoded
    int32_t zoom = 0;     ///< frames per pixel
    int channels = 0;  ///< output channels
    int segments = 0;  ///< segments decoded
    /// Pixels: minimum and maximum per output channel.
    std::vector<int16_t> values;
};

/// The pixels of the whole file, or nothing when it is not worth cutting
/// (not FLAC or MPEG-1 layer III, shorter than the policy's minimum, one
/// processor, more than maxBytes of pixels to hold, an MP3 zoom that depends
/// on the length one pass only estimates) or any doubt arises (samples whose
/// times or counts do not follow on, a format change, a segment that ends
/// early, another MP3 decoder than the counted one, neighbours that decode
/// unlike around a cut, an error): the caller then decodes it in one pass.
/// zoomFor gives the zoom for the stream's rate and frames (0: none). The
/// policy's segmentFrames, when set, gives the segments' length (rounded to
/// pixels), which run maxSegments at a time.
std::optional<SegmentedPixels> SegmentedWaveformPixels(const QString& media,
                                                       const std::function<int32_t(uint32_t, uint64_t)>& zoomFor,
                                                       bool split, uint64_t maxBytes,
                                                       const SegmentPolicy& policy = DefaultSegmentPolicy());

} // namespace kx

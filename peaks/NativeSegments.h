#pragma once
// Waveform pixels of a long FLAC file made on several cores: the stream is
// cut at pixel boundaries, each segment decoded by its own pipeline from an
// accurate seek and reduced by its own generator, and the pixels joined in
// order, the same as one pass gives them.
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "NativeSamples.h"

namespace kx {

/// The waveform pixels of a whole file, made in segments.
struct SegmentedPixels {
    NativeFormat format;  ///< the stream as decoded
    int32_t zoom = 0;     ///< frames per pixel
    int channels = 0;  ///< output channels
    /// Pixels: minimum and maximum per output channel.
    std::vector<int16_t> values;
};

/// The pixels of the whole file, or nothing when it is not worth cutting
/// (not FLAC, shorter than the builder's segment policy, one processor, more
/// than maxBytes of pixels to hold) or any doubt arises (samples whose times
/// do not follow on, a format change, a segment that ends early, an error):
/// the caller then decodes it in one pass. zoomFor gives the zoom for the
/// stream's rate and frames (0: none).
std::optional<SegmentedPixels> SegmentedWaveformPixels(const QString& media,
                                                       const std::function<int32_t(uint32_t, uint64_t)>& zoomFor,
                                                       bool split, uint64_t maxBytes);

} // namespace kx

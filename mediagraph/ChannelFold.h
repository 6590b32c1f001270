#pragma once

#include <gst/gst.h>

#include <vector>

namespace kx {

/// Gains that fold `inChannels` unpositioned channels into `outChannels`:
/// output channel o is the mean of input channels o, o + outChannels, ...
/// (the rule the direct WAV reader applies). One row per output channel.
std::vector<std::vector<float>> UnpositionedFoldMatrix(int inChannels, int outChannels);

/// Makes `convert` (an audioconvert) fold input that arrives with more than
/// eight unpositioned channels by that rule into the channel count the
/// elements after it take; it refuses such input otherwise. Positioned input
/// is left to the converter.
void FoldUnpositionedChannels(GstElement* convert);

} // namespace kx

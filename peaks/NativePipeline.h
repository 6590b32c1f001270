#pragma once
// The decode pipeline the native-rate readers share (not installed).
#include <QString>
#include <optional>

#include "NativeSamples.h"

typedef struct _GstElement GstElement;

namespace kx {

// source ! decodebin (the builder's decoders) or rawaudioparse ! audioconvert
// (no dithering) ! S16LE interleaved at the source's rate and channels !
// fakesink, without a clock; sink is set to the fake sink, whose pad the
// caller probes. A new pipeline, or null with the reason.
GstElement* MakeNativePipeline(const QString& media, const std::optional<RawSampleFormat>& raw, GstElement*& sink,
                               QString& error);

} // namespace kx

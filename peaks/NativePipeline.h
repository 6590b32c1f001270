#pragma once
// The decode pipeline the native-rate readers share (not installed).
#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "NativeSamples.h"

typedef struct _GstElement GstElement;

namespace kx {

// Interleaved samples of a buffer as 16 bits: as they are, or for 32-bit
// ones (wide) their top 16 bits, rounded down as PCM readers narrow them,
// in scratch.
const int16_t* NarrowSamples(const uint8_t* data, size_t count, bool wide, std::vector<int16_t>& scratch);

// source ! decodebin (the builder's decoders) or rawaudioparse ! audioconvert
// (no dithering) ! S16LE or S32LE interleaved at the source's rate and channels !
// fakesink, without a clock; sink is set to the fake sink, whose pad the
// caller probes. A given source (taken) stands for the file's. A new
// pipeline, or null with the reason.
GstElement* MakeNativePipeline(const QString& media, const std::optional<RawSampleFormat>& raw, GstElement*& sink,
                               QString& error, GstElement* source = nullptr);

} // namespace kx

#pragma once
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "peaks/PeakFormat.h"

namespace kx {

class TKXCustomPeakViewer;

namespace PeakTestData {

// Values of one channel's part of record `peak`: the first and second value.
using Generator = std::function<std::pair<uint32_t, uint32_t>(int64_t peak, int channel)>;

// A header for `seconds` of audio whose record count matches the length.
TPeakHeader Header(uint32_t rate, int channels, int bytesPerPeak, uint16_t samplesPerPeak, double seconds);
// Header followed by `peaks` records built by the generator.
std::vector<uint8_t> Bytes(const TPeakHeader& header, int64_t peaks, const Generator& gen);
// Whole-second stereo 16-bit data at the given rate and samples per peak.
std::vector<uint8_t> Stereo16(uint32_t rate, uint16_t samplesPerPeak, double seconds, const Generator& gen);
Generator Constant(uint32_t left, uint32_t right);
bool Write(const QString& path, const std::vector<uint8_t>& bytes);

// Sizes a viewer so its client area is w × h and makes sure it has a back buffer.
void Prepare(TKXCustomPeakViewer& viewer, int w, int h);

} // namespace PeakTestData

} // namespace kx

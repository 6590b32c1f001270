#pragma once
#include <cstdint>
#include <span>
#include <vector>

namespace kx {

/// A canonical PCM WAV (44-byte header) around interleaved sample bytes.
std::vector<uint8_t> MakeWavBytes(uint32_t rate, uint16_t channels, uint16_t bitsPerSample,
                                  std::span<const uint8_t> pcm);

} // namespace kx

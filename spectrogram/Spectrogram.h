#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kx {

/// Frames of audio one stored column stands for.
inline constexpr uint32_t SpectrogramHop = 1024;
/// Samples one column's Hann window spans, centred on the column.
inline constexpr uint32_t SpectrogramWindow = 4096;
/// Log-spaced frequency bands of a column.
inline constexpr uint16_t SpectrogramBands = 256;
/// Lower edge of the lowest band in Hz; the highest band ends at Nyquist.
inline constexpr uint32_t SpectrogramLowHz = 20;
/// Values run from this many dB below full scale (0) to 0 dBFS (255).
inline constexpr uint8_t SpectrogramFloorDb = 100;

/**
 * Magnitudes of a sound over time: one column per hop frames, each column
 * bands 8-bit values, lowest band first. A value v stands for
 * v / 255 * floorDb - floorDb dB relative to a full-scale sine (0 is the
 * floor or below). Band b spans lowHz * r^b to lowHz * r^(b+1) Hz with
 * r = (rate / 2 / lowHz)^(1 / bands).
 */
struct SpectrogramData {
    uint32_t rate = 0;                        ///< frames per second of the analysed audio
    uint32_t hop = SpectrogramHop;            ///< frames per column
    uint32_t window = SpectrogramWindow;      ///< samples per analysis window
    uint16_t bands = SpectrogramBands;        ///< values per column
    uint32_t lowHz = SpectrogramLowHz;        ///< lower edge of band 0
    uint8_t floorDb = SpectrogramFloorDb;     ///< dB below full scale of value 0
    uint64_t firstFrame = 0;                  ///< frame where column 0 starts
    uint64_t frames = 0;                      ///< frames of audio the columns cover
    std::vector<uint8_t> values;              ///< columns × bands, column after column

    /// Columns held.
    uint64_t Columns() const { return bands ? values.size() / bands : 0; }
    /// The values of one column (must exist).
    std::span<const uint8_t> Column(uint64_t c) const { return {values.data() + c * bands, bands}; }
    /// Lower edge of band b in Hz (b == bands: Nyquist).
    double BandEdgeHz(int b) const;
    /// Geometric centre of band b in Hz.
    double BandCentreHz(int b) const;
    /// The band that holds a frequency, clamped to 0..bands-1.
    int BandAtHz(double hz) const;
    /// dB relative to full scale of a stored value.
    double ValueDb(uint8_t v) const { return v / 255.0 * floorDb - floorDb; }
};

} // namespace kx

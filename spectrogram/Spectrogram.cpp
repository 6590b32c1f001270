#include "Spectrogram.h"

#include <algorithm>
#include <cmath>

namespace kx {

double SpectrogramData::BandEdgeHz(int b) const
{
    const double nyquist = rate / 2.0;
    return lowHz * std::pow(nyquist / lowHz, double(b) / bands);
}

double SpectrogramData::BandCentreHz(int b) const
{
    return std::sqrt(BandEdgeHz(b) * BandEdgeHz(b + 1));
}

int SpectrogramData::BandAtHz(double hz) const
{
    const double nyquist = rate / 2.0;
    if (!(hz > lowHz))
        return 0;
    const double b = std::floor(std::log(hz / lowHz) / std::log(nyquist / lowHz) * bands);
    return int(std::clamp(b, 0.0, double(bands - 1)));
}

} // namespace kx

#include "PeakViewModel.h"

#include <algorithm>
#include <cmath>

#include "platform/LittleEndian.h"
#include "platform/Round.h"

namespace kx {

void PeakViewModel::ClearPeaks()
{
    PcmByteCount = 0;
    PeakData.clear();
    ExpectedBytes = 0;
    Pyramid.Clear();
    Rms.Clear();
}

uint32_t PeakViewModel::ValueCount() const
{
    if (PcmByteCount == 0)
        return 0;
    return static_cast<uint32_t>(DataBytes() / ValueBytes());
}

int64_t PeakViewModel::PeakCount() const
{
    if (PcmByteCount == 0)
        return 0;
    return Round(double(ValueCount()) / double(Channels * ValuesPerChannel()));
}

int64_t PeakViewModel::DurationMs() const
{
    const double bytesPerSecond = double(SamplesPerSecond) * Channels * BytesPerPeak / 2.0;
    if (bytesPerSecond <= 0)
        return 0;
    return Round(double(PcmByteCount) / bytesPerSecond * 1000.0);
}

int64_t PeakViewModel::ValueIndexAtMs(int64_t ms) const
{
    if (PcmByteCount == 0 || SamplesPerSecond == 0)
        return 0;
    const double seconds = double(PcmByteCount) / PcmFrameBytes() / double(SamplesPerSecond);
    return Round(double(ValueCount()) * (double(ms) / 1000.0) / seconds);
}

int64_t PeakViewModel::PeakAtValueIndex(int64_t v) const
{
    if (PcmByteCount == 0)
        return 0;
    return Round(double(v) / double(Channels * ValuesPerChannel()));
}

int64_t PeakViewModel::FrameAtValueIndex(int64_t v) const
{
    const uint32_t n = ValueCount();
    if (n == 0)
        return 0;
    return Round(double(PcmByteCount) / PcmFrameBytes() * double(v) / double(n));
}

int64_t PeakViewModel::MsAtValueIndex(int64_t v) const
{
    if (PcmByteCount == 0 || SamplesPerSecond == 0)
        return 0;
    return Round(double(FrameAtValueIndex(v)) / double(SamplesPerSecond) * 1000.0);
}

int64_t PeakViewModel::ValueIndexAtPixel(int64_t p) const
{
    // The page at scaler 1, so the scaler's own page does not stretch time.
    const int64_t page = std::min<int64_t>(scroll_->nMax, ClientWidth);
    const int64_t span = int64_t(ClientWidth) + scroll_->nMax - page;
    if (span <= 0)
        return 0;
    return Round(double(ValueCount()) * double(p) / double(span));
}

int64_t PeakViewModel::PeakAtColumn(int x) const
{
    return ScrollPos() + Round(x * double(TimeScaler));
}

int64_t PeakViewModel::ColumnAtPeak(int64_t peak) const
{
    // The first column whose records [P(x), max(P(x + 1), P(x) + 1)) hold
    // the peak; the upper end grows with x, so a guess is walked both ways.
    const auto upper = [this](int64_t x) {
        const int64_t a = ScrollPos() + Round(double(x) * double(TimeScaler));
        const int64_t b = ScrollPos() + Round(double(x + 1) * double(TimeScaler));
        return std::max(b, a + 1);
    };
    int64_t x = static_cast<int64_t>(std::floor(double(peak - ScrollPos()) / double(TimeScaler)));
    while (upper(x - 1) > peak)
        --x;
    while (upper(x) <= peak)
        ++x;
    return x;
}

int64_t PeakViewModel::ColumnAtMs(int64_t ms) const
{
    return ColumnAtPeak(PeakAtMs(ms));
}

int64_t PeakViewModel::MsAtColumn(int x) const
{
    // At scaler 1 the scroll-bar rule, which stretches a file shorter than
    // the width over it; elsewhere the time of the column's peak.
    if (TimeScaler == 1.0f)
        return MsAtPixel(int64_t(x) + ScrollPos());
    return MsAtValueIndex(PeakAtColumn(x) * Channels * ValuesPerChannel());
}

int64_t PeakViewModel::TimeAtPixel(int x) const
{
    return PeakAtColumn(x) * SamplesPerPeak * 1000 / int64_t(SamplesPerSecond);
}

int64_t PeakViewModel::PeaksInView() const
{
    return Round(ClientWidth * double(TimeScaler));
}

uint8_t PeakViewModel::VisibleSecondsFor(int clientWidth) const
{
    if (DataBytes() == 0 || SamplesPerSecond == 0)
        return 10;
    const double framesPerPeak = 2.0 * double(PcmByteCount) / double(DataBytes());
    const int64_t seconds = Round(clientWidth * framesPerPeak) / int64_t(SamplesPerSecond);
    const auto low = static_cast<uint8_t>(seconds & 0xFF);
    return low == 0 ? uint8_t(10) : low;
}

bool PeakViewModel::ReadPair(int64_t peak, int ch, uint32_t& first, uint32_t& second) const
{
    if (peak < 0)
        return false;
    const int64_t size = static_cast<int64_t>(PeakData.size());
    const int64_t at = peak * RecordBytes() + int64_t(ch) * BytesPerPeak;
    const uint8_t* d = PeakData.data();
    if (BytesPerPeak == 1) {
        // One 8-bit level per channel: both ends of the column take it.
        if (at >= size)
            return false;
        first = second = d[at];
        return true;
    }
    const int vb = ValueBytes();
    if (at + vb > size)
        return false;
    first = vb == 2 ? ReadU16LE(d + at) : d[at];
    if (at + 2 * vb > size)
        return false;
    second = vb == 2 ? ReadU16LE(d + at + vb) : d[at + vb];
    return true;
}

PeakSteps ComputeSteps(PeakSteps current, uint8_t visibleSeconds, int playStepPercent)
{
    const int64_t page = Round((1.0 - playStepPercent / 100.0) * visibleSeconds);
    PeakSteps s = current;
    s.PageSeconds = static_cast<uint8_t>(page & 0xFF);
    if (!(int64_t(current.LineSeconds) < page))
        s.LineSeconds = static_cast<uint8_t>(std::max(1, s.PageSeconds / 10));
    return s;
}

} // namespace kx

#include "PeakTestData.h"

#include <QApplication>
#include <QFile>

#include "platform/LittleEndian.h"
#include "viewers/KXCustomPeakViewer.h"

namespace kx {

namespace PeakTestData {

TPeakHeader Header(uint32_t rate, int channels, int bytesPerPeak, uint16_t samplesPerPeak, double seconds)
{
    TPeakHeader h;
    h.BytesPerPeak = static_cast<uint8_t>(bytesPerPeak);
    h.Channels = static_cast<uint8_t>(channels);
    h.SamplesPerSecond = rate;
    h.SamplesPerPeak = samplesPerPeak;
    h.PcmByteCount = static_cast<uint32_t>(double(rate) * channels * bytesPerPeak / 2.0 * seconds);
    return h;
}

std::vector<uint8_t> Bytes(const TPeakHeader& h, int64_t peaks, const Generator& gen)
{
    std::vector<uint8_t> out(PeakHeaderSize + static_cast<size_t>(peaks * h.Channels * h.BytesPerPeak));
    EncodePeakHeader(h, out.data());
    uint8_t* p = out.data() + PeakHeaderSize;
    for (int64_t i = 0; i < peaks; ++i) {
        for (int ch = 0; ch < h.Channels; ++ch) {
            const auto [a, b] = gen(i, ch);
            if (h.BytesPerPeak == 4) {
                WriteU16LE(p, static_cast<uint16_t>(a));
                WriteU16LE(p + 2, static_cast<uint16_t>(b));
            } else if (h.BytesPerPeak == 2) {
                p[0] = static_cast<uint8_t>(a);
                p[1] = static_cast<uint8_t>(b);
            } else {
                p[0] = static_cast<uint8_t>(a);
            }
            p += h.BytesPerPeak;
        }
    }
    return out;
}

std::vector<uint8_t> Stereo16(uint32_t rate, uint16_t spp, double seconds, const Generator& gen)
{
    const TPeakHeader h = Header(rate, 2, 4, spp, seconds);
    const auto peaks = static_cast<int64_t>(double(rate) * seconds / spp);
    return Bytes(h, peaks, gen);
}

Generator Constant(uint32_t left, uint32_t right)
{
    return [=](int64_t, int ch) { return ch == 0 ? std::pair{left, left} : std::pair{right, right}; };
}

bool Write(const QString& path, const std::vector<uint8_t>& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
           static_cast<qint64>(bytes.size());
}

void Prepare(TKXCustomPeakViewer& viewer, int w, int h)
{
    viewer.resize(w, h + viewer.ScrollBarHeight());
    viewer.show();
    QApplication::setActiveWindow(&viewer);
}

} // namespace PeakTestData

} // namespace kx

// Drawing and loading costs of the peak viewer on a 60-minute track.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "peaks/PeakFormat.h"
#include "platform/HorzScrollBar.h"
#include "platform/LittleEndian.h"
#include "viewers/KXAudioPeakViewer.h"

namespace kx {

namespace {

// 60 minutes of 44.1 kHz stereo peaks with the given frames per peak.
QString HourFile(uint16_t samplesPerPeak)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hour%1.pek").arg(samplesPerPeak));
    if (QFile::exists(path))
        return path;
    const uint32_t rate = 44100;
    const int64_t seconds = 3600;
    const int64_t peaks = rate * seconds / samplesPerPeak;
    TPeakHeader h;
    h.BytesPerPeak = 4;
    h.Channels = 2;
    h.SamplesPerSecond = rate;
    h.SamplesPerPeak = samplesPerPeak;
    h.PcmByteCount = static_cast<uint32_t>(rate * 4 * seconds);
    std::vector<uint8_t> bytes(PeakHeaderSize + static_cast<size_t>(peaks) * 8);
    EncodePeakHeader(h, bytes.data());
    uint32_t seed = 1;
    for (int64_t i = 0; i < peaks; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const auto a = static_cast<uint16_t>(32768 + (seed >> 20));
        const auto b = static_cast<uint16_t>(32768 - (seed >> 21));
        uint8_t* p = bytes.data() + PeakHeaderSize + i * 8;
        WriteU16LE(p, a);
        WriteU16LE(p + 2, b);
        WriteU16LE(p + 4, b);
        WriteU16LE(p + 6, a);
    }
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return path;
}

void Prepare(TKXAudioPeakViewer& v, uint16_t spp)
{
    v.setAttribute(Qt::WA_DontShowOnScreen);
    v.resize(1920, 400 + v.ScrollBarHeight());
    v.show();
    if (!v.LoadFromFile(HourFile(spp)))
        std::abort();
}

void BM_PaintPeaks(benchmark::State& state)
{
    TKXAudioPeakViewer v;
    Prepare(v, static_cast<uint16_t>(state.range(0)));
    v.SetTimeScaler(static_cast<float>(state.range(1)) / 4.0f);
    v.ScrollToSeconds(1800);
    for (auto _ : state)
        v.PaintPeaks(false, nullptr);
}
BENCHMARK(BM_PaintPeaks)->Args({100, 4})->Args({1102, 4})->Args({100, 1})->Args({100, 40})->Unit(benchmark::kMicrosecond);

void BM_PageScroll(benchmark::State& state)
{
    TKXAudioPeakViewer v;
    Prepare(v, 100);
    for (auto _ : state) {
        v.ScrollBar()->Request(SB_PAGERIGHT);
        if (v.ScrollPos() >= v.ScrollBar()->State().MaxPos())
            v.ScrollToSeconds(0);
    }
}
BENCHMARK(BM_PageScroll)->Unit(benchmark::kMicrosecond);

void BM_PlayPointerTick(benchmark::State& state)
{
    TKXAudioPeakViewer v;
    Prepare(v, 100);
    int64_t ms = 0;
    for (auto _ : state) {
        ms = (ms + 100) % 3000;  // stays within the first page
        v.SetPlayTime(ms * 10000);
    }
}
BENCHMARK(BM_PlayPointerTick)->Unit(benchmark::kMicrosecond);

void BM_LoadFromFile(benchmark::State& state)
{
    TKXAudioPeakViewer v;
    Prepare(v, static_cast<uint16_t>(state.range(0)));
    const QString path = HourFile(static_cast<uint16_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(v.LoadFromFile(path));
}
BENCHMARK(BM_LoadFromFile)->Arg(100)->Arg(1102)->Unit(benchmark::kMillisecond);

} // namespace

} // namespace kx

using namespace kx;

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

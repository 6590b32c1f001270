// Drawing and loading costs of the peak viewer on 60-minute and 3-hour tracks.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "peaks/PeakFormat.h"
#include "peaks/RmsFile.h"
#include "platform/widgets/HorzScrollBar.h"
#include "platform/LittleEndian.h"
#include "platform/OutputFile.h"
#include "viewers/KXAudioPeakViewer.h"
#include "viewers/PeakRender.h"
#include "viewers/PeakViewSource.h"

namespace kx {

namespace {

// `hours` of 44.1 kHz stereo peaks with the given frames per peak.
QString HourFile(uint16_t samplesPerPeak, int hours = 1)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hour%1x%2.pek").arg(samplesPerPeak).arg(hours));
    if (QFile::exists(path))
        return path;
    const uint32_t rate = 44100;
    const int64_t seconds = 3600 * int64_t(hours);
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

void Prepare(TKXAudioPeakViewer& v, uint16_t spp, int hours = 1)
{
    v.setAttribute(Qt::WA_DontShowOnScreen);
    v.resize(1920, 400 + v.ScrollBarHeight());
    v.show();
    if (!v.LoadFromFile(HourFile(spp, hours)))
        std::abort();
    // Drawing costs are measured over the whole file.
    v.FinishLoading();
}

// Quarters of a peak per column from the first hour on, or (0) the whole
// file in the 1920 columns.
void ZoomForBench(TKXAudioPeakViewer& v, int64_t quarters)
{
    const float whole = float(v.Model().PeakCount()) / 1920.0f;
    v.SetTimeScaler(quarters == 0 ? whole : static_cast<float>(quarters) / 4.0f);
    if (quarters != 0)
        v.ScrollToSeconds(3600);
}


// True extremes on a 3-hour track at 1920 × 400, the scaler given in
// quarters; 0 puts the whole file in view.
void BM_MinMaxRedraw3h(benchmark::State& state)
{
    TKXAudioPeakViewer v;
    Prepare(v, static_cast<uint16_t>(state.range(0)), 3);
    v.SetPeakReduction(prMinMax);
    ZoomForBench(v, state.range(1));
    state.counters["scaler"] = v.TimeScaler();
    for (auto _ : state)
        v.PaintPeaks(false, nullptr);
}
BENCHMARK(BM_MinMaxRedraw3h)
    ->ArgsProduct({{100, 1102}, {1, 4, 16, 64, 256, 1024, 0}})
    ->Unit(benchmark::kMillisecond);

// The same redraws skipping records, for comparison.
void BM_SkipRedraw3h(benchmark::State& state)
{
    TKXAudioPeakViewer v;
    Prepare(v, 100, 3);
    const float whole = float(v.Model().PeakCount()) / 1920.0f;
    v.SetTimeScaler(state.range(0) == 0 ? whole : static_cast<float>(state.range(0)) / 4.0f);
    for (auto _ : state)
        v.PaintPeaks(false, nullptr);
}
BENCHMARK(BM_SkipRedraw3h)->Arg(1)->Arg(4)->Arg(0)->Unit(benchmark::kMillisecond);

// 100 labelled regions of a minute and 100 labelled points over 3 hours.
void AddSampleRegions(TKXAudioPeakViewer& v)
{
    for (int i = 0; i < 100; ++i) {
        PeakRegion r;
        r.Start = 108.0 * i;
        r.End = r.Start + 60.0;
        r.Label = QStringLiteral("Region %1").arg(i);
        r.Color = QColor::fromHsv(i * 37 % 360, 200, 220);
        v.AddRegion(r);
        PeakPoint p;
        p.Time = r.Start + 80.0;
        p.Label = QStringLiteral("P%1").arg(i);
        v.AddTimePoint(p);
    }
}

// The RMS side file of the 3-hour track at 100 samples per peak, once.
void WriteHourRms()
{
    static const bool written = [] {
        const QString path = HourFile(100, 3);
        // Levels at a third of each record's spread.
        RmsData d;
        d.samplesPerPeak = 100;
        d.rate = 44100;
        const int64_t records = int64_t(44100) * 3 * 3600 / 100;
        d.values.resize(static_cast<size_t>(records * 2));
        for (size_t i = 0; i < d.values.size(); ++i)
            d.values[i] = static_cast<uint16_t>(1000 + (i * 2654435761u >> 20) % 8000);
        QString error;
        return WriteRmsFile(RmsFileFor(path), d, OutputRules().Input(path), error);
    }();
    if (!written)
        std::abort();
}

// Min/max redraws of the 3-hour track at 1920 × 400 without (first argument
// 0) and with (1) 100 labelled regions and 100 labelled points, the whole file
// in view (second argument 0) or a quarter-peak scaler.
void BM_RegionRedraw3h(benchmark::State& state)
{
    TKXAudioPeakViewer v;
    Prepare(v, 100, 3);
    v.SetPeakReduction(prMinMax);
    ZoomForBench(v, state.range(1));
    if (state.range(0) != 0)
        AddSampleRegions(v);
    for (auto _ : state)
        v.PaintPeaks(false, nullptr);
}
BENCHMARK(BM_RegionRedraw3h)->ArgsProduct({{0, 1}, {0, 4}})->Unit(benchmark::kMillisecond);

// Loading a 3-hour peak file to its first picture: the header and the
// file's start are read, the rest follows in idle time.
void BM_Load3h(benchmark::State& state)
{
    TKXAudioPeakViewer v;
    Prepare(v, static_cast<uint16_t>(state.range(0)), 3);
    const QString path = HourFile(static_cast<uint16_t>(state.range(0)), 3);
    for (auto _ : state)
        benchmark::DoNotOptimize(v.LoadFromFile(path));
    v.FinishLoading();  // the size counted below is the whole file's
    state.counters["MB"] = double(v.Model().PeakData.size()) / 1e6;
}
BENCHMARK(BM_Load3h)->Arg(100)->Arg(1102)->Unit(benchmark::kMillisecond);

// For comparison, in the same run: the file read whole and its min/max
// levels built before the first picture, as loads did before they were
// spread over idle time.
void BM_Load3hWhole(benchmark::State& state)
{
    const QString path = HourFile(static_cast<uint16_t>(state.range(0)), 3);
    ScrollState scroll;
    PeakViewModel model(scroll);
    model.ClientWidth = 1920;
    PeakRenderStyle style;
    QImage image(1920, 400, QImage::Format_RGB32);
    for (auto _ : state) {
        auto load = ReadViewerPeakFile(path);
        if (!load || !ApplyPeakLoad(model, std::move(*load)))
            std::abort();
        SetPeakScrollRange(scroll, model, 0);
        RenderPeaks(image, model, style, 1920, 400);
    }
}
BENCHMARK(BM_Load3hWhole)->Arg(100)->Arg(1102)->Unit(benchmark::kMillisecond);

// A first picture in place of another 3-hour file read whole.
void BM_Reload3h(benchmark::State& state)
{
    TKXAudioPeakViewer v;
    Prepare(v, 100, 3);
    const QString path = HourFile(100, 3);
    for (auto _ : state) {
        v.LoadFromFile(path);
        state.PauseTiming();
        v.FinishLoading();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Reload3h)->Iterations(20)->Unit(benchmark::kMillisecond);

// From the load to the last record read in idle time, the event loop running.
void BM_Load3hComplete(benchmark::State& state)
{
    TKXAudioPeakViewer v;
    Prepare(v, 100, 3);
    const QString path = HourFile(100, 3);
    for (auto _ : state) {
        v.LoadFromFile(path);
        while (v.Loading())
            QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_Load3hComplete)->Unit(benchmark::kMillisecond);

// Redraws at 1920 × 400 with the RMS band on (1) or off (0), true extremes,
// the scaler in quarters; 0 puts the whole file in view.
void BM_RmsRedraw3h(benchmark::State& state)
{
    WriteHourRms();
    TKXAudioPeakViewer v;
    Prepare(v, 100, 3);
    if (v.Model().Rms.Empty())
        std::abort();
    v.SetPeakReduction(prMinMax);
    v.SetShowRms(state.range(0) != 0);
    ZoomForBench(v, state.range(1));
    for (auto _ : state)
        v.PaintPeaks(false, nullptr);
}
BENCHMARK(BM_RmsRedraw3h)->ArgsProduct({{0, 1}, {4, 256, 0}})->Unit(benchmark::kMillisecond);

// Everything at once against the plain redraw (first argument 0) of the same
// run: the RMS band, 100 regions and 100 points, and a 24-pixel time axis;
// the whole file in view (second argument 0) or a quarter-peak scaler.
void BM_AllOverlaysRedraw3h(benchmark::State& state)
{
    WriteHourRms();
    TKXAudioPeakViewer v;
    Prepare(v, 100, 3);
    v.SetPeakReduction(prMinMax);
    if (state.range(0) != 0) {
        v.SetShowRms(true);
        AddSampleRegions(v);
        v.SetTimeAxisHeight(24);
    }
    ZoomForBench(v, state.range(1));
    for (auto _ : state)
        v.PaintPeaks(false, nullptr);
}
BENCHMARK(BM_AllOverlaysRedraw3h)->ArgsProduct({{0, 1}, {0, 4}})->Unit(benchmark::kMillisecond);

// The min/max levels alone, over the 3-hour track's records.
void BM_Pyramid3h(benchmark::State& state)
{
    TKXAudioPeakViewer v;
    Prepare(v, static_cast<uint16_t>(state.range(0)), 3);
    PeakPyramid p;
    for (auto _ : state)
        p.Build(v.Model().PeakData, 2, 4);
}
BENCHMARK(BM_Pyramid3h)->Arg(100)->Arg(1102)->Unit(benchmark::kMillisecond);

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

// The same redraws with a time axis strip of 24 pixels below the peaks.
void BM_PaintPeaksTimeAxis(benchmark::State& state)
{
    TKXAudioPeakViewer v;
    Prepare(v, static_cast<uint16_t>(state.range(0)));
    v.SetTimeAxisHeight(24);
    v.SetTimeScaler(static_cast<float>(state.range(1)) / 4.0f);
    v.ScrollToSeconds(1800);
    for (auto _ : state)
        v.PaintPeaks(false, nullptr);
}
BENCHMARK(BM_PaintPeaksTimeAxis)->Args({100, 4})->Args({1102, 4})->Args({100, 1})->Args({100, 40})->Unit(benchmark::kMicrosecond);

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

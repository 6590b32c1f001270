// Spectrogram costs: redrawing a 3-hour file's columns at 1920 x 400, loading
// its side file (pyramid included), analysing media against decoding it
// alone through the same decoder path, and finer columns for a view deep into
// the media against decoding up to it.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <gst/gst.h>

#include "bench/BenchPipeline.h"
#include "mediagraph/GstPtr.h"
#include "mediagraph/MediaFramework.h"
#include "peaks/NativeSamples.h"
#include "spectrogram/KXSpectrogramViewer.h"
#include "spectrogram/SpectrogramAnalysis.h"
#include "spectrogram/SpectrogramFile.h"

namespace kx {

namespace {

constexpr uint32_t Rate = 44100;
constexpr int MediaSeconds = 120;

// The side file of a 3-hour 44.1 kHz track, with values that change from column to column.
QString ThreeHourFile()
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("3h.sgram"));
    if (QFileInfo::exists(path))
        return path;
    SpectrogramData d;
    d.rate = Rate;
    d.frames = uint64_t(3) * 3600 * Rate;
    const uint64_t columns = (d.frames + d.hop - 1) / d.hop;
    d.values.resize(size_t(columns) * d.bands);
    uint32_t seed = 1;
    for (uint8_t& v : d.values) {
        seed = seed * 1664525u + 1013904223u;
        v = uint8_t(seed >> 24);
    }
    QString error;
    if (!WriteSpectrogramFile(path, d, {}, error))
        std::abort();
    return path;
}

void Prepare(TKXSpectrogramViewer& v)
{
    v.setAttribute(Qt::WA_DontShowOnScreen);
    v.resize(1920, 400);
    if (!v.LoadFromFile(ThreeHourFile()))
        std::abort();
}

// Redraw of the picture at a zoom: arg 0 the whole file, else stored columns per pixel.
void BM_SpectrogramRedraw3h(benchmark::State& state)
{
    TKXSpectrogramViewer v;
    Prepare(v);
    const double perPixel =
        state.range(0) ? double(state.range(0)) * SpectrogramHop / Rate : v.DurationSeconds() / 1920;
    v.SetSecondsPerPixel(perPixel);
    double start = state.range(0) ? 3600 : 0;
    for (auto _ : state) {
        // A new start each time: the cached picture is never reused.
        start += 1e-6;
        v.SetStartSeconds(start);
        benchmark::DoNotOptimize(v.Picture());
    }
}
BENCHMARK(BM_SpectrogramRedraw3h)->Arg(0)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);

// Reading the 3-hour side file and building its pyramid.
void BM_SpectrogramLoad3h(benchmark::State& state)
{
    TKXSpectrogramViewer v;
    Prepare(v);
    for (auto _ : state)
        if (!v.LoadFromFile(ThreeHourFile()))
            state.SkipWithError("load failed");
}
BENCHMARK(BM_SpectrogramLoad3h)->Unit(benchmark::kMillisecond);

QString Media(const char* ext)
{
    return QStringLiteral(KX_BENCH_MEDIA_DIR "/spectrogram-tone%1.%2").arg(MediaSeconds).arg(QLatin1String(ext));
}

bool MakeMedia(const char* ext, const char* encoder)
{
    return MakeToneFile(Media(ext), encoder, MediaSeconds);
}

// Decoding alone, through the decoder path the analysis uses.
void BM_Decode(benchmark::State& state, const char* ext)
{
    NativeSampleSink sink;
    sink.begin = [](const NativeFormat&) { return true; };
    sink.take = [](const int16_t* samples, size_t) {
        benchmark::DoNotOptimize(samples[0]);
        return true;
    };
    for (auto _ : state) {
        QString error;
        if (!DecodeNativeSamples(Media(ext), std::nullopt, sink, error))
            state.SkipWithError("decode failed");
    }
    state.counters["audio_s"] = MediaSeconds;
}
BENCHMARK_CAPTURE(BM_Decode, wav, "wav")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, flac, "flac")->Unit(benchmark::kMillisecond);

// Decoding and analysis into stored columns.
void BM_Analyse(benchmark::State& state, const char* ext)
{
    for (auto _ : state) {
        SpectrogramData d;
        QString error;
        if (!AnalyseMedia(Media(ext), d, error))
            state.SkipWithError("analysis failed");
        benchmark::DoNotOptimize(d.values.data());
    }
    state.counters["audio_s"] = MediaSeconds;
}
BENCHMARK_CAPTURE(BM_Analyse, wav, "wav")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Analyse, flac, "flac")->Unit(benchmark::kMillisecond);

// Finer columns for a 1920-pixel view at 256 frames a column, the argument's
// seconds into the media: what a view zoomed in past the stored columns asks
// for. Sought, their cost does not grow with the position.
constexpr uint64_t FineHop = 256, FineFrames = 1920 * FineHop;

void BM_FineColumns(benchmark::State& state, const char* ext)
{
    const uint64_t FineFirst = uint64_t(state.range(0)) * Rate, FineLast = FineFirst + FineFrames;
    for (auto _ : state) {
        SpectrogramData d;
        QString error;
        if (!AnalyseMedia(Media(ext), d, error, FineHop, FineFirst, FineLast) || d.Columns() != 1920)
            state.SkipWithError("analysis failed");
        benchmark::DoNotOptimize(d.values.data());
    }
}
BENCHMARK_CAPTURE(BM_FineColumns, wav, "wav")->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FineColumns, flac, "flac")->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FineColumns, mp3, "mp3")->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

// The baseline: decoding alone from the start to the end of that range.
void BM_DecodeToFineRange(benchmark::State& state, const char* ext)
{
    const uint64_t FineLast = uint64_t(state.range(0)) * Rate + FineFrames;
    uint64_t frames = 0;
    NativeSampleSink sink;
    sink.begin = [](const NativeFormat&) { return true; };
    sink.take = [&](const int16_t* samples, size_t n) {
        benchmark::DoNotOptimize(samples[0]);
        frames += n;
        return frames < FineLast;
    };
    for (auto _ : state) {
        frames = 0;
        QString error;
        DecodeNativeSamples(Media(ext), std::nullopt, sink, error);
        if (frames < FineLast)
            state.SkipWithError("decode failed");
    }
}
BENCHMARK_CAPTURE(BM_DecodeToFineRange, wav, "wav")->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeToFineRange, flac, "flac")->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeToFineRange, mp3, "mp3")->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

} // namespace

} // namespace kx

using namespace kx;

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InitMediaFramework();
    if (!MakeMedia("wav", "wavenc") || !MakeMedia("flac", "flacenc") || !MakeMedia("mp3", "lamemp3enc")) {
        std::fprintf(stderr, "cannot make the benchmark media\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#include <QFile>
#include <QString>
#include <benchmark/benchmark.h>
#include <cmath>
#include <gst/gst.h>

#include "platform/WavWriter.h"
#include "playback/KXAudioPlayer.h"
#include "playback/KXPlayerControls.h"

namespace kx {

namespace {

// A one-minute 44.1 kHz stereo tone, written once.
QString LongWav()
{
    static const QString path = [] {
        const QString p = QStringLiteral(KX_BENCH_DIR "/playback-1min.wav");
        if (QFile::exists(p))
            return p;
        const uint32_t rate = 44100;
        const int64_t frames = int64_t(rate) * 60;
        std::vector<uint8_t> pcm(static_cast<size_t>(frames) * 4);
        for (int64_t i = 0; i < frames; ++i) {
            const auto v = static_cast<int16_t>(std::lround(8000.0 * std::sin(static_cast<double>(i) * 2 * M_PI * 440.0 / rate)));
            for (int c = 0; c < 2; ++c) {
                pcm[size_t(i * 4 + c * 2)] = static_cast<uint8_t>(v & 0xFF);
                pcm[size_t(i * 4 + c * 2 + 1)] = static_cast<uint8_t>((v >> 8) & 0xFF);
            }
        }
        const std::vector<uint8_t> bytes = MakeWavBytes(rate, 2, 16, pcm);
        QFile f(p);
        if (f.open(QIODevice::WriteOnly))
            f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        return p;
    }();
    return path;
}

GstElement* FakeSink()
{
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", TRUE, nullptr);
    return sink;
}

// LoadMedia to a prerolled, stopped graph, then ClearMedia.
void BM_LoadAndClearWav(benchmark::State& state)
{
    const QString path = LongWav();
    TKXAudioFilePlayer player;
    player.SetAudioSinkFactory(FakeSink);
    for (auto _ : state) {
        if (!player.LoadMedia(path))
            state.SkipWithError("load failed");
        player.ClearMedia();
    }
}
BENCHMARK(BM_LoadAndClearWav)->Unit(benchmark::kMillisecond);

// One position write, waiting for the graph to preroll at the new place.
void BM_SeekWav(benchmark::State& state)
{
    TKXAudioFilePlayer player;
    player.SetAudioSinkFactory(FakeSink);
    if (!player.LoadMedia(LongWav())) {
        state.SkipWithError("load failed");
        return;
    }
    int64_t t = 0;
    for (auto _ : state) {
        t = (t + 7 * kUnitsPerSecond) % player.Duration();
        player.SetPosition(t);
        benchmark::DoNotOptimize(player.Position());
    }
}
BENCHMARK(BM_SeekWav)->Unit(benchmark::kMicrosecond);

void BM_LayoutAutoSpace(benchmark::State& state)
{
    const std::array<int, kButtonCount> gaps{0, 0, 0, 0, 0, 0, 0, 20, 0, 0, 20, 0};
    int width = 400;
    for (auto _ : state) {
        TButtonLayout l;
        l.exists.fill(true);
        l.shown.fill(true);
        l.widths.fill(32);
        l.widths[btPlay] = 72;
        width = width == 400 ? 731 : 400;
        benchmark::DoNotOptimize(LayoutButtons(l, kAllButtons, gaps, width, true));
        benchmark::DoNotOptimize(l.lefts);
    }
}
BENCHMARK(BM_LayoutAutoSpace);

} // namespace

} // namespace kx

using namespace kx;

BENCHMARK_MAIN();

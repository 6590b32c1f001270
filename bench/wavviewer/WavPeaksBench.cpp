// BuildPeaks on an hour of 44.1 kHz stereo against a plain read-and-min/max
// loop over the same file, both with the file in the page cache.
#include <QApplication>
#include <QFile>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/LittleEndian.h"
#include "wavviewer/WavViewer.h"

namespace kx {

namespace {

constexpr uint32_t Rate = 44100;
constexpr uint32_t Seconds = 60 * 60;

const QString& HourFile()
{
    static const QString path = QStringLiteral(KX_BENCH_DIR "/hour-44100-stereo.wav");
    static bool made = false;
    if (made)
        return path;
    made = true;
    const uint64_t dataSize = uint64_t(Rate) * Seconds * 4;
    if (QFile::exists(path) && QFile(path).size() == static_cast<qint64>(dataSize + 44))
        return path;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return path;
    uint8_t h[44];
    std::memcpy(h, "RIFF", 4);
    WriteU32LE(h + 4, static_cast<uint32_t>(dataSize + 36));
    std::memcpy(h + 8, "WAVEfmt ", 8);
    WriteU32LE(h + 16, 16);
    WriteU16LE(h + 20, 1);
    WriteU16LE(h + 22, 2);
    WriteU32LE(h + 24, Rate);
    WriteU32LE(h + 28, Rate * 4);
    WriteU16LE(h + 32, 4);
    WriteU16LE(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    WriteU32LE(h + 40, static_cast<uint32_t>(dataSize));
    f.write(reinterpret_cast<const char*>(h), 44);
    // A slow sweep with some noise, written a second at a time.
    std::vector<int16_t> second(Rate * 2);
    uint32_t noise = 1;
    for (uint32_t s = 0; s < Seconds; ++s) {
        for (uint32_t i = 0; i < Rate; ++i) {
            noise = noise * 1664525u + 1013904223u;
            const auto v = static_cast<int16_t>((static_cast<int32_t>(noise >> 16) - 32768) / (1 + s % 7));
            second[2 * i] = v;
            second[2 * i + 1] = static_cast<int16_t>(-v / 2);
        }
        f.write(reinterpret_cast<const char*>(second.data()), static_cast<qint64>(second.size() * 2));
    }
    return path;
}

typedef int16_t S16x8 __attribute__((vector_size(16)));

// The reference: 1 MiB reads and a vectorised per-channel min/max.
void PlainReadMinMax(benchmark::State& state)
{
    const QByteArray name = HourFile().toUtf8();
    std::vector<char> block(1 << 20);
    for (auto _ : state) {
        FILE* f = std::fopen(name.constData(), "rb");
        if (!f) {
            state.SkipWithError("no input file");
            return;
        }
        std::fseek(f, 44, SEEK_SET);
        S16x8 mx = {-32768, -32768, -32768, -32768, -32768, -32768, -32768, -32768};
        S16x8 mn = -mx - 1;
        size_t n;
        while ((n = std::fread(block.data(), 1, block.size(), f)) > 0) {
            for (size_t i = 0; i + 16 <= n; i += 16) {
                S16x8 v;
                std::memcpy(&v, block.data() + i, 16);
                mx = v > mx ? v : mx;
                mn = v < mn ? v : mn;
            }
        }
        std::fclose(f);
        int left = -32768;
        int right = -32768;
        for (int k = 0; k < 8; k += 2) {
            left = std::max<int>(left, mx[k]);
            right = std::max<int>(right, mx[k + 1]);
        }
        benchmark::DoNotOptimize(left + right + mn[0]);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * Rate * Seconds * 4);
}
BENCHMARK(PlainReadMinMax)->Unit(benchmark::kMillisecond)->UseRealTime();

void BuildPeaks(benchmark::State& state)
{
    TWavViewer viewer;
    viewer.resize(viewer.InfoWidth() + static_cast<int>(state.range(0)), 200);
    viewer.SetSavePeaks(false);
    viewer.SetFileName(HourFile());
    for (auto _ : state) {
        if (!viewer.BuildPeaks()) {
            state.SkipWithError("BuildPeaks failed");
            return;
        }
        benchmark::DoNotOptimize(viewer.PeakData().Data());
    }
    state.counters["records"] = static_cast<double>(viewer.PeakCount());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * Rate * Seconds * 4);
}
BENCHMARK(BuildPeaks)->Arg(400)->Arg(1600)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

} // namespace kx

using namespace kx;

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    HourFile();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Peak building against plain decoding of the same 10-minute files, in the
// same run. Media are made once under the build folder; KX_BENCH_HOUR=1 adds
// the memory check on a 60-minute file (635 MB of WAV on disk).
#include <algorithm>
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <gst/gst.h>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

#include "bench/BenchPipeline.h"
#include "mediagraph/GstPtr.h"
#include "mediagraph/MediaFramework.h"
#include "mediagraph/PeakReducer.h"
#include "peaks/KXPeakBuilder.h"

namespace kx {

namespace {

constexpr int Seconds = 600;

QString Media(const char* ext, int seconds = Seconds)
{
    return QStringLiteral(KX_BENCH_MEDIA_DIR "/tone%1.%2").arg(seconds).arg(QLatin1String(ext));
}

// A tone with a slow sweep, so that encoders have real work.
bool MakeMedia(const char* ext, const char* encoder, int seconds = Seconds)
{
    return MakeToneFile(Media(ext, seconds), encoder, seconds);
}

const char* Decoder(const QString& ext)
{
    if (ext == "wav")
        return "wavparse";
    if (ext == "flac")
        return "flacparse ! flacdec";
    return "mpegaudioparse ! mpg123audiodec";
}

// Decoding alone, with the decoders the builder picks, into a fake sink.
void BM_Decode(benchmark::State& state, const char* ext)
{
    const QString desc = QStringLiteral("filesrc location=\"%1\" ! %2 ! fakesink sync=false")
                             .arg(Media(ext), QLatin1String(Decoder(ext)));
    for (auto _ : state)
        if (!RunPipelineToEnd(desc))
            state.SkipWithError("decode failed");
}

// Decoding with GStreamer's automatic plugging (its own decoder choice).
void BM_DecodeAuto(benchmark::State& state, const char* ext)
{
    const QString desc = QStringLiteral("filesrc location=\"%1\" ! decodebin ! fakesink sync=false").arg(Media(ext));
    for (auto _ : state)
        if (!RunPipelineToEnd(desc))
            state.SkipWithError("decode failed");
}

// The whole build of one file: graph, preroll, decoding, peaks, completion.
bool BuildOnce(const QString& file, TSPS rate, bool rms = false)
{
    TKXPeakBuilder builder;
    builder.SetOutputSamplesPerSecond(rate);
    // The levels are computed and held; without peak files none is written.
    builder.SetWriteRms(rms);
    bool done = false;
    builder.OnPeakComplete = [&](QObject*, int, const QString&, const QString&) { done = true; };
    builder.OnPeakFailed = [&](QObject*, int, const QString&, const QString&) { done = true; };
    builder.AppendFilename(file);
    if (!builder.StartBuild())
        return false;
    QEventLoop loop;
    while (!done)
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    TMemoryStream* s = nullptr;
    builder.GetStreamByIndex(0, s);
    benchmark::DoNotOptimize(s);
    return true;
}

void BM_Build(benchmark::State& state, const char* ext, TSPS rate, int seconds, bool rms)
{
    const QString file = Media(ext, seconds);
    for (auto _ : state) {
        if (!BuildOnce(file, rate, rms)) {
            state.SkipWithError("build did not start");
            break;
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = double(usage.ru_maxrss) / 1024.0;
}

// Decoding and building the same file in turns, so that both see the same
// machine; reports the medians and build/decode, the figure that matters.
void BM_BuildOverDecode(benchmark::State& state, const char* ext)
{
    const QString file = Media(ext);
    const QString decode = QStringLiteral("filesrc location=\"%1\" ! %2 ! fakesink sync=false")
                               .arg(file, QLatin1String(Decoder(ext)));
    std::vector<double> decodeMs, buildMs;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        if (!RunPipelineToEnd(decode)) {
            state.SkipWithError("decode failed");
            break;
        }
        decodeMs.push_back(double(t.nsecsElapsed()) / 1e6);
        t.restart();
        if (!BuildOnce(file, sps44100)) {
            state.SkipWithError("build did not start");
            break;
        }
        buildMs.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    auto median = [](std::vector<double> v) {
        if (v.empty())
            return 0.0;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    state.counters["decode_ms"] = median(decodeMs);
    state.counters["build_ms"] = median(buildMs);
    state.counters["ratio"] = median(decodeMs) > 0 ? median(buildMs) / median(decodeMs) : 0;
}

// Resident size now, in MB.
double ResidentMB()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Peak memory over the resting size while a 60-minute file builds; runs
// first, before anything else has raised the process's peak.
void BM_BuildHourMemory(benchmark::State& state)
{
    const double resting = ResidentMB();
    BM_Build(state, "wav", sps48000, 3600, false);
    state.counters["resting_MB"] = resting;
    state.counters["peak_over_resting_MB"] = state.counters["peak_rss_MB"] - resting;
}

// The reduction alone over 10 minutes of 44.1 kHz stereo, fed in the
// 1764-frame buffers a WAV parser pushes; the second argument turns the RMS on.
void BM_Reduce(benchmark::State& state)
{
    const size_t frames = size_t(Seconds) * 44100;
    std::vector<int16_t> pcm(frames * 2);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = int16_t((i * 7919) % 65536 - 32768);
    PeakReducerSettings s;
    s.inputRate = 44100;
    s.outputRate = uint32_t(state.range(0));
    s.rms = state.range(1) != 0;
    for (auto _ : state) {
        PeakReducer r;
        r.Init(s);
        std::vector<uint8_t> out;
        std::vector<uint16_t> rms;
        for (size_t at = 0; at < frames; at += 1764) {
            r.Process(pcm.data() + at * 2, std::min<size_t>(1764, frames - at));
            r.TakeRecords(out);
            r.TakeRms(rms);
        }
        r.Done();
        r.TakeRecords(out);
        benchmark::DoNotOptimize(out.data());
    }
}

} // namespace

} // namespace kx

using namespace kx;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    InitMediaFramework();
    if (!MakeMedia("wav", "wavenc") || !MakeMedia("flac", "flacenc") || !MakeMedia("mp3", "lamemp3enc bitrate=192")) {
        std::fprintf(stderr, "could not make the benchmark media\n");
        return 1;
    }
    const bool hour = qEnvironmentVariableIsSet("KX_BENCH_HOUR");
    if (hour && !MakeMedia("wav", "wavenc", 3600))
        return 1;

    if (hour)
        benchmark::RegisterBenchmark("BuildHourMemory/wav-60min", BM_BuildHourMemory)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1);
    const auto timed = [](benchmark::internal::Benchmark* b) {
        b->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
    };
    for (const char* ext : {"wav", "flac", "mp3"}) {
        timed(benchmark::RegisterBenchmark(QStringLiteral("Decode/%1").arg(ext).toUtf8().constData(), BM_Decode, ext));
        timed(benchmark::RegisterBenchmark(QStringLiteral("Build44100/%1").arg(ext).toUtf8().constData(), BM_Build,
                                           ext, sps44100, Seconds, false));
        timed(benchmark::RegisterBenchmark(QStringLiteral("Build48000/%1").arg(ext).toUtf8().constData(), BM_Build,
                                           ext, sps48000, Seconds, false));
        timed(benchmark::RegisterBenchmark(QStringLiteral("Build44100Rms/%1").arg(ext).toUtf8().constData(), BM_Build,
                                           ext, sps44100, Seconds, true));
    }
    for (const char* ext : {"wav", "flac", "mp3"})
        benchmark::RegisterBenchmark(QStringLiteral("BuildOverDecode/%1").arg(ext).toUtf8().constData(),
                                     BM_BuildOverDecode, ext)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(11);
    timed(benchmark::RegisterBenchmark("DecodeAuto/mp3", BM_DecodeAuto, "mp3"));
    timed(benchmark::RegisterBenchmark("DecodeAuto/wav", BM_DecodeAuto, "wav"));
    timed(benchmark::RegisterBenchmark("Reduce", BM_Reduce)->ArgsProduct({{44100, 48000}, {0, 1}}));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#pragma once
// Shared helpers of the build tests: a builder in a temporary folder, waits
// on its events, and an independent min/max of known PCM.
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <vector>

#include "peaks/KXPeakBuilder.h"
#include "tests/support/TestMedia.h"

struct BuildEvents {
    std::vector<int> completed;
    std::vector<int> failed;
    std::vector<int> missing;
    int aborts = 0;
    struct ProgressCall { int progress, item, total; };
    std::vector<ProgressCall> progress;

    void Attach(TKXPeakBuilder& b)
    {
        b.OnPeakComplete = [this](QObject*, int i, const QString&, const QString&) { completed.push_back(i); };
        b.OnPeakFailed = [this](QObject*, int i, const QString&, const QString&) { failed.push_back(i); };
        b.OnPeakMissing = [this](QObject*, int i, const QString&, const QString&) { missing.push_back(i); };
        b.OnPeakAbort = [this](QObject*) { ++aborts; };
        b.OnProgress = [this](QObject*, int p, int i, int t, bool&) { progress.push_back({p, i, t}); };
    }
};

// Processes events until the builder has left the building state (or the
// time-out, a safety net only).
inline bool WaitUntilIdle(TKXPeakBuilder& b, int timeoutMs = 30000)
{
    return QTest::qWaitFor([&] { return b.BuildState() != bsBuilding; }, timeoutMs);
}

// Independent reduction of interleaved signed 16-bit PCM: (max, min) per
// channel per run of n frames, 16-bit unsigned mid-scale, little-endian.
inline std::vector<uint8_t> ReferenceRecords(const std::vector<int16_t>& pcm, int channels, int n)
{
    std::vector<uint8_t> out;
    const size_t frames = pcm.size() / size_t(channels);
    for (size_t start = 0; start < frames; start += size_t(n)) {
        const size_t end = std::min(frames, start + size_t(n));
        for (int c = 0; c < channels; ++c) {
            int hi = -32768, lo = 32767;
            for (size_t f = start; f < end; ++f) {
                hi = std::max<int>(hi, pcm[f * size_t(channels) + size_t(c)]);
                lo = std::min<int>(lo, pcm[f * size_t(channels) + size_t(c)]);
            }
            for (int v : {hi, lo}) {
                const auto u = uint16_t(v + 32768);
                out.push_back(uint8_t(u));
                out.push_back(uint8_t(u >> 8));
            }
        }
    }
    return out;
}

// The samples of WAV PCM bytes as signed 16-bit (8-bit data widened as a
// decoder does).
inline std::vector<int16_t> AsS16(const std::vector<uint8_t>& pcm, int bits)
{
    std::vector<int16_t> out;
    if (bits == 8) {
        for (uint8_t b : pcm)
            out.push_back(int16_t((int(b) - 128) * 256));
    } else {
        for (size_t i = 0; i + 1 < pcm.size(); i += 2)
            out.push_back(int16_t(pcm[i] | pcm[i + 1] << 8));
    }
    return out;
}

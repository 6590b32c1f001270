#pragma once
// Shared helpers of the build tests: a builder in a temporary folder, waits
// on its events, and an independent min/max of known PCM.
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <vector>

#include "peaks/KXPeakBuilder.h"
#include "tests/support/TestMedia.h"

#include <gst/gst.h>
#include <memory>
#include "mediagraph/FilterRegistry.h"
#include "mediagraph/GraphHelpers.h"
#include "mediagraph/PeakFilterContract.h"

namespace kx {

struct BuildEvents {
    std::vector<int> completed;
    std::vector<int> failed;
    std::vector<int> missing;
    int aborts = 0;
    QStringList reasons;
    struct ProgressCall { int progress, item, total; };
    std::vector<ProgressCall> progress;

    void Attach(TKXPeakBuilder& b)
    {
        b.OnPeakComplete = [this](QObject*, int i, const QString&, const QString&) { completed.push_back(i); };
        b.OnPeakFailed = [this, &b](QObject*, int i, const QString& f, const QString&) {
            failed.push_back(i);
            reasons.push_back(f + ": " + b.LastBuildFailure());
        };
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

// While alive, peak filters made for a build let `passBuffers` buffers in and
// then hold their input until the graph is stopped, so that a test acts on a
// build that is certainly still running.

class ScopedFilterHold
{
public:
    // Only the first `filters` filters made are held.
    explicit ScopedFilterHold(int passBuffers, int filters = 1000)
    {
        auto left = std::make_shared<int>(filters);
        FilterRegistry::Register(PeakFilter::ClassId, [passBuffers, left](const QString& label) {
            GstElement* filter = PeakFilter::Make(label);
            if ((*left)-- <= 0)
                return filter;
            if (GstPad* pad = filter ? FindPin(filter, PINDIR_INPUT, MajorType::Audio) : nullptr) {
                gst_pad_add_probe(pad, GstPadProbeType(GST_PAD_PROBE_TYPE_BLOCK | GST_PAD_PROBE_TYPE_BUFFER),
                                  [](GstPad*, GstPadProbeInfo*, gpointer data) {
                                      auto* left = static_cast<int*>(data);
                                      return (*left)-- > 0 ? GST_PAD_PROBE_PASS : GST_PAD_PROBE_OK;
                                  },
                                  new int(passBuffers), [](gpointer p) { delete static_cast<int*>(p); });
                gst_object_unref(pad);
            }
            return filter;
        });
    }
    ~ScopedFilterHold() { FilterRegistry::Register(PeakFilter::ClassId, PeakFilter::Make); }
};

} // namespace kx

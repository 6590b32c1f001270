#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "mediagraph/PeakReducer.h"
#include "tests/support/RmsReference.h"
#include "tests/support/TestMedia.h"

namespace kx {

namespace {

struct Reduced {
    std::vector<uint8_t> records;
    std::vector<uint16_t> rms;
};

Reduced Reduce(const PeakReducerSettings& s, const int16_t* pcm, size_t frames, size_t chunk, uint64_t firstRecord = 0)
{
    PeakReducer r;
    EXPECT_TRUE(r.Init(s, firstRecord));
    Reduced out;
    for (size_t at = 0; at < frames; at += chunk) {
        r.Process(pcm + at * s.channels, std::min(chunk, frames - at));
        r.TakeRms(out.rms);
    }
    r.Done();
    r.TakeRecords(out.records);
    r.TakeRms(out.rms);
    EXPECT_EQ(out.rms.size(), s.rms ? (r.RecordCount() - firstRecord) * s.channels : 0);
    return out;
}

Reduced Reduce(const PeakReducerSettings& s, const std::vector<int16_t>& pcm, size_t chunk)
{
    return Reduce(s, pcm.data(), pcm.size() / s.channels, chunk);
}

} // namespace

TEST(PeakReducerRms, matchesReferenceWhateverTheChunkingRatesAndGains)
{
    for (uint32_t channels : {1u, 2u}) {
        for (auto [in, out] : {std::pair{44100u, 44100u}, std::pair{44100u, 48000u}, std::pair{48000u, 8000u}}) {
            for (uint16_t spp : {uint16_t(1), uint16_t(7), uint16_t(100)}) {
                const auto pcm = TestMedia::Noise16(size_t(channels) * 5003, spp + channels);
                PeakReducerSettings s;
                s.inputRate = in;
                s.outputRate = out;
                s.channels = channels;
                s.samplesPerPeak = spp;
                s.leftGain = 2048;
                s.rightGain = 12288;
                s.rms = true;
                const auto expected = ReferenceRms(s, pcm);
                for (size_t chunk : {size_t(1), size_t(5), size_t(64), size_t(1764)})
                    EXPECT_EQ(Reduce(s, pcm, chunk).rms, expected)
                        << channels << " ch, " << in << "->" << out << ", spp " << spp << ", chunk " << chunk;
            }
        }
    }
}

TEST(PeakReducerRms, sineAndFullScaleGiveTheirKnownLevels)
{
    // A sine of amplitude A over whole periods has RMS A / sqrt(2); full
    // negative scale squares to 2^30 per sample without overflowing.
    PeakReducerSettings s;
    s.channels = 2;
    s.samplesPerPeak = 441;  // ten periods of 1 kHz
    s.rms = true;
    const auto sine = TestMedia::Sine(1000, 0.5, 44100);
    std::vector<int16_t> pcm;
    for (int64_t f = 0; f < 4410; ++f) {
        pcm.push_back(int16_t(std::lround(32768 * sine(f, 0))));
        pcm.push_back(-32768);
    }
    const auto rms = Reduce(s, pcm, 1000).rms;
    ASSERT_EQ(rms.size(), 20u);
    for (size_t k = 0; k < 10; ++k) {
        EXPECT_NEAR(rms[2 * k], 16384 / std::sqrt(2.0), 1.0) << k;
        EXPECT_EQ(rms[2 * k + 1], 32768) << k;
    }
    // Gains are linear and not clipped, unlike the extremes.
    s.leftGain = s.rightGain = 8192;
    const auto doubled = Reduce(s, pcm, 1000).rms;
    EXPECT_NEAR(doubled[0], 2 * 16384 / std::sqrt(2.0), 1.0);
    EXPECT_EQ(doubled[1], 65535);
}

TEST(PeakReducerRms, segmentsGiveTheWholeStreamsValues)
{
    for (uint32_t channels : {1u, 2u}) {
        const auto pcm = TestMedia::Noise16(size_t(channels) * 30011, 7 * channels);
        const size_t frames = pcm.size() / channels;
        PeakReducerSettings s;
        s.inputRate = 44100;
        s.outputRate = 48000;
        s.channels = channels;
        s.rms = true;
        const auto whole = Reduce(s, pcm, 4096);
        PeakReducer probe;
        ASSERT_TRUE(probe.Init(s));
        for (uint64_t first : {1u, 37u, 200u}) {
            const uint64_t from = probe.RunStart(first);
            const auto tail = Reduce(s, pcm.data() + from * channels, frames - from, 333, first);
            EXPECT_TRUE(std::equal(tail.rms.begin(), tail.rms.end(), whole.rms.begin() + first * channels,
                                   whole.rms.end()))
                << channels << " ch from record " << first;
            EXPECT_EQ(tail.rms.size(), whole.rms.size() - first * channels);
        }
    }
}

TEST(PeakReducerRms, offGivesNoLevelsAndOnLeavesTheRecordsAlone)
{
    const auto pcm = TestMedia::Noise16(2 * 9000, 3);
    PeakReducerSettings s;
    const auto off = Reduce(s, pcm, 1764);
    EXPECT_TRUE(off.rms.empty());
    s.rms = true;
    const auto on = Reduce(s, pcm, 1764);
    EXPECT_EQ(on.records, off.records);
    EXPECT_EQ(on.rms.size(), 2u * 90);
}

} // namespace kx

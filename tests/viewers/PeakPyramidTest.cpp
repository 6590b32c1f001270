#include <gtest/gtest.h>
#include <random>

#include "viewers/PeakPyramid.h"

namespace kx {
namespace {

struct Layout {
    int channels;
    int bytesPerPeak;
};

// Records of random values, with a few extreme outliers.
std::vector<uint8_t> RandomRecords(const Layout& l, int64_t count, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes(static_cast<size_t>(count * l.channels * l.bytesPerPeak));
    for (auto& b : bytes)
        b = static_cast<uint8_t>(96 + rng() % 64);
    for (int i = 0; i < 8; ++i)
        bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng() % 2 ? 0 : 255);
    return bytes;
}

// The values of one channel of one record, read without the pyramid.
std::vector<uint32_t> Values(const std::vector<uint8_t>& bytes, const Layout& l, int64_t r, int ch)
{
    const uint8_t* p = bytes.data() + (r * l.channels + ch) * l.bytesPerPeak;
    if (l.bytesPerPeak == 4)
        return {uint32_t(p[0] | p[1] << 8), uint32_t(p[2] | p[3] << 8)};
    if (l.bytesPerPeak == 2)
        return {p[0], p[1]};
    return {p[0]};
}

TEST(PeakPyramidTest, extremesOfAnyRunMatchAScanOfTheRecords)
{
    for (const Layout l : {Layout{2, 4}, Layout{1, 4}, Layout{2, 2}, Layout{1, 1}}) {
        SCOPED_TRACE(testing::Message() << l.channels << " channels, BytesPerPeak " << l.bytesPerPeak);
        const int64_t count = 5000 + l.channels;  // not a multiple of any block
        auto bytes = RandomRecords(l, count, 7);
        if (l.channels * l.bytesPerPeak > 1)
            bytes.push_back(0);  // a cut-short record after the whole ones is left out
        PeakPyramid p;
        p.Build(bytes, l.channels, l.bytesPerPeak);
        EXPECT_EQ(p.Records(), count);
        EXPECT_EQ(p.Levels(), 7);  // 4^6 < count < 4^7
        std::mt19937 rng(3);
        for (int i = 0; i < 400; ++i) {
            const int64_t a = rng() % count, b = a + 1 + rng() % (i % 2 ? 64 : count);
            uint32_t hi[2], lo[2];
            ASSERT_TRUE(p.Extremes(bytes, a, b, hi, lo));
            for (int ch = 0; ch < l.channels; ++ch) {
                uint32_t h = 0, m = UINT32_MAX;
                for (int64_t r = a; r < std::min(b, count); ++r)
                    for (uint32_t v : Values(bytes, l, r, ch)) {
                        h = std::max(h, v);
                        m = std::min(m, v);
                    }
                ASSERT_EQ(hi[ch], h) << a << ".." << b << " ch " << ch;
                ASSERT_EQ(lo[ch], m) << a << ".." << b << " ch " << ch;
            }
        }
        uint32_t hi[2], lo[2];
        EXPECT_FALSE(p.Extremes(bytes, count, count + 10, hi, lo));
        EXPECT_FALSE(p.Extremes(bytes, 10, 10, hi, lo));
    }
}

TEST(PeakPyramidTest, aRunOfAnyLengthTakesAFewReadsPerLevel)
{
    const Layout l{2, 4};
    const int64_t count = 1 << 20;
    const auto bytes = RandomRecords(l, count, 11);
    PeakPyramid p;
    p.Build(bytes, l.channels, l.bytesPerPeak);
    ASSERT_EQ(p.Levels(), 10);
    std::mt19937 rng(5);
    uint32_t hi[2], lo[2];
    for (int i = 0; i < 200; ++i) {
        const int64_t a = rng() % count, b = a + 1 + rng() % (count - a);
        const int64_t before = p.Reads();
        ASSERT_TRUE(p.Extremes(bytes, a, b, hi, lo));
        // At most Factor - 1 blocks on each side of each level.
        ASSERT_LE(p.Reads() - before, 2 * (PeakPyramid::Factor - 1) * (p.Levels() + 1));
    }
}

TEST(PeakPyramidTest, growingRecordByRecordGivesTheSameExtremesAsOneBuild)
{
    const Layout l{2, 4};
    const int64_t count = 3000;
    const auto bytes = RandomRecords(l, count, 13);
    const int64_t recordBytes = l.channels * l.bytesPerPeak;
    PeakPyramid whole, grown;
    whole.Build(bytes, l.channels, l.bytesPerPeak);
    grown.Build({}, l.channels, l.bytesPerPeak);
    EXPECT_EQ(grown.Records(), 0);
    std::mt19937 rng(17);
    for (int64_t n = 0; n < count;) {
        n = std::min<int64_t>(count, n + 1 + rng() % 70);
        grown.Extend(std::span(bytes).first(static_cast<size_t>(n * recordBytes)));
        ASSERT_EQ(grown.Records(), n);
        uint32_t hi[2], lo[2], hi2[2], lo2[2];
        const int64_t a = rng() % n;
        ASSERT_TRUE(grown.Extremes(bytes, a, n, hi, lo));
        ASSERT_TRUE(whole.Extremes(bytes, a, n, hi2, lo2));
        ASSERT_EQ(hi[0], hi2[0]);
        ASSERT_EQ(lo[1], lo2[1]);
    }
    EXPECT_EQ(grown.Levels(), whole.Levels());
    for (int64_t a = 0; a < count; a += 97) {
        uint32_t hi[2], lo[2], hi2[2], lo2[2];
        grown.Extremes(bytes, a, count, hi, lo);
        whole.Extremes(bytes, a, count, hi2, lo2);
        ASSERT_EQ(std::vector(hi, hi + 2), std::vector(hi2, hi2 + 2)) << a;
        ASSERT_EQ(std::vector(lo, lo + 2), std::vector(lo2, lo2 + 2)) << a;
    }
}

} // namespace
} // namespace kx

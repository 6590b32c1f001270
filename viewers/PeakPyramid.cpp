#include "PeakPyramid.h"

#include <algorithm>
#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/LittleEndian.h"

namespace kx {

namespace {

int64_t WholeRecords(std::span<const uint8_t> records, int channels, int bytesPerPeak)
{
    const int64_t recordBytes = int64_t(channels) * bytesPerPeak;
    return recordBytes > 0 ? static_cast<int64_t>(records.size()) / recordBytes : 0;
}

// Level 1 from the records, for one record layout: ValueBytes per value and
// Values values per channel.
template <int ValueBytes, int Values>
void FoldRecordBlocks(const uint8_t* data, int channels, int64_t records, int64_t fromBlock, uint16_t* out)
{
    constexpr int partBytes = ValueBytes * Values;
    const int64_t recordBytes = int64_t(channels) * partBytes;
    const int64_t blocks = (records + PeakPyramid::Factor - 1) / PeakPyramid::Factor;
    for (int64_t b = fromBlock; b < blocks; ++b) {
        const int64_t r0 = b * PeakPyramid::Factor;
        const int64_t r1 = std::min(records, r0 + PeakPyramid::Factor);
        for (int ch = 0; ch < channels; ++ch) {
            unsigned hi = 0, lo = 0xFFFF;
            const uint8_t* p = data + r0 * recordBytes + ch * partBytes;
            for (int64_t r = r0; r < r1; ++r, p += recordBytes) {
                for (int k = 0; k < Values; ++k) {
                    const unsigned v = ValueBytes == 2 ? ReadU16LE(p + 2 * k) : p[k];
                    hi = std::max(hi, v);
                    lo = std::min(lo, v);
                }
            }
            out[(b * channels + ch) * 2] = static_cast<uint16_t>(hi);
            out[(b * channels + ch) * 2 + 1] = static_cast<uint16_t>(lo);
        }
    }
}

// Four stereo 16-bit records, or four stereo blocks of a level, are sixteen
// values: one vector pair. With `pairs` both values of a channel are merged
// (records); otherwise lanes hold (high, low) already (a level's blocks).
// Writes high, low, high, low for the two channels.
void FoldStereoVectors(const uint8_t* in, int64_t fromBlock, int64_t toBlock, uint16_t* out, bool pairs)
{
#if defined(__SSE2__)
    // Unsigned lanes through the signed instructions: flip the top bit.
    const __m128i bias = _mm_set1_epi16(static_cast<short>(0x8000));
    const __m128i highLanes = _mm_set_epi16(0, -1, 0, -1, 0, -1, 0, -1);
    for (int64_t b = fromBlock; b < toBlock; ++b) {
        const auto* p = reinterpret_cast<const __m128i*>(in + b * 32);
        const __m128i x = _mm_xor_si128(_mm_loadu_si128(p), bias);
        const __m128i y = _mm_xor_si128(_mm_loadu_si128(p + 1), bias);
        __m128i hi = _mm_max_epi16(x, y), lo = _mm_min_epi16(x, y);
        hi = _mm_max_epi16(hi, _mm_unpackhi_epi64(hi, hi));
        lo = _mm_min_epi16(lo, _mm_unpackhi_epi64(lo, lo));
        __m128i folded;
        if (pairs) {
            hi = _mm_max_epi16(hi, _mm_shufflelo_epi16(hi, _MM_SHUFFLE(2, 3, 0, 1)));
            lo = _mm_min_epi16(lo, _mm_shufflelo_epi16(lo, _MM_SHUFFLE(2, 3, 0, 1)));
            folded = _mm_shuffle_epi32(_mm_unpacklo_epi16(hi, lo), _MM_SHUFFLE(3, 3, 2, 0));
        } else {
            folded = _mm_or_si128(_mm_and_si128(highLanes, hi), _mm_andnot_si128(highLanes, lo));
        }
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + b * 4), _mm_xor_si128(folded, bias));
    }
#else
    for (int64_t b = fromBlock; b < toBlock; ++b) {
        uint16_t v[16];
        for (int k = 0; k < 16; ++k)
            v[k] = ReadU16LE(in + b * 32 + 2 * k);
        for (int ch = 0; ch < 2; ++ch) {
            uint16_t hi = 0, lo = 0xFFFF;
            for (int r = 0; r < 4; ++r) {
                hi = std::max(hi, v[r * 4 + ch * 2]);
                lo = std::min(lo, v[r * 4 + ch * 2 + 1]);
                if (pairs) {
                    hi = std::max(hi, v[r * 4 + ch * 2 + 1]);
                    lo = std::min(lo, v[r * 4 + ch * 2]);
                }
            }
            out[b * 4 + ch * 2] = hi;
            out[b * 4 + ch * 2 + 1] = lo;
        }
    }
#endif
}

} // namespace

void PeakPyramid::Clear()
{
    records_ = 0;
    levels_.clear();
}

void PeakPyramid::Build(std::span<const uint8_t> records, int channels, int bytesPerPeak)
{
    Clear();
    channels_ = std::clamp(channels, 1, 2);
    bytesPerPeak_ = bytesPerPeak;
    Extend(records);
}

void PeakPyramid::Extend(std::span<const uint8_t> records)
{
    const int64_t total = WholeRecords(records, channels_, bytesPerPeak_);
    if (total <= records_)
        return;
    // The last block of each level may have been partial: it is folded again.
    int64_t from = records_ / Factor;
    records_ = total;
    FoldRecords(records, from);
    int64_t below = static_cast<int64_t>(levels_[0].size()) / (2 * channels_);
    for (int level = 2; below > 1; ++level) {
        from /= Factor;
        if (static_cast<int>(levels_.size()) < level)
            from = 0;
        FoldLevel(level, from);
        below = static_cast<int64_t>(levels_[level - 1].size()) / (2 * channels_);
    }
}

void PeakPyramid::FoldRecords(std::span<const uint8_t> records, int64_t fromBlock)
{
    if (levels_.empty())
        levels_.emplace_back();
    const int64_t blocks = (records_ + Factor - 1) / Factor;
    std::vector<uint16_t>& out = levels_[0];
    out.resize(static_cast<size_t>(blocks * channels_ * 2));
    if (bytesPerPeak_ == 4 && channels_ == 2) {
        // Whole blocks in vectors, a partial last one value by value.
        const int64_t whole = records_ / Factor;
        FoldStereoVectors(records.data(), fromBlock, whole, out.data(), true);
        FoldRecordBlocks<2, 2>(records.data(), channels_, records_, std::max(fromBlock, whole), out.data());
    } else if (bytesPerPeak_ == 4) {
        FoldRecordBlocks<2, 2>(records.data(), channels_, records_, fromBlock, out.data());
    } else if (bytesPerPeak_ == 2) {
        FoldRecordBlocks<1, 2>(records.data(), channels_, records_, fromBlock, out.data());
    } else {
        FoldRecordBlocks<1, 1>(records.data(), channels_, records_, fromBlock, out.data());
    }
}

void PeakPyramid::FoldLevel(int level, int64_t fromBlock)
{
    if (static_cast<int>(levels_.size()) < level)
        levels_.emplace_back();
    const std::vector<uint16_t>& below = levels_[level - 2];
    std::vector<uint16_t>& out = levels_[level - 1];
    const int64_t stride = 2 * channels_;
    const int64_t belowBlocks = static_cast<int64_t>(below.size()) / stride;
    const int64_t blocks = (belowBlocks + Factor - 1) / Factor;
    out.resize(static_cast<size_t>(blocks * stride));
    if (channels_ == 2 && std::endian::native == std::endian::little) {
        const int64_t whole = belowBlocks / Factor;
        FoldStereoVectors(reinterpret_cast<const uint8_t*>(below.data()), fromBlock, whole, out.data(), false);
        fromBlock = std::max(fromBlock, whole);
    }
    for (int64_t b = fromBlock; b < blocks; ++b) {
        const int64_t k0 = b * Factor;
        const int64_t k1 = std::min(belowBlocks, k0 + Factor);
        for (int ch = 0; ch < channels_; ++ch) {
            uint16_t hi = 0, lo = 0xFFFF;
            for (int64_t k = k0; k < k1; ++k) {
                hi = std::max(hi, below[static_cast<size_t>(k * stride + 2 * ch)]);
                lo = std::min(lo, below[static_cast<size_t>(k * stride + 2 * ch + 1)]);
            }
            out[static_cast<size_t>(b * stride + 2 * ch)] = hi;
            out[static_cast<size_t>(b * stride + 2 * ch + 1)] = lo;
        }
    }
}

void PeakPyramid::RecordExtremes(std::span<const uint8_t> records, int64_t record, uint32_t hi[2],
                                 uint32_t lo[2]) const
{
    const uint8_t* p = records.data() + record * channels_ * bytesPerPeak_;
    for (int ch = 0; ch < channels_; ++ch, p += bytesPerPeak_) {
        uint32_t a, b;
        if (bytesPerPeak_ == 4) {
            a = ReadU16LE(p);
            b = ReadU16LE(p + 2);
        } else if (bytesPerPeak_ == 2) {
            a = p[0];
            b = p[1];
        } else {
            a = b = p[0];
        }
        hi[ch] = std::max({hi[ch], a, b});
        lo[ch] = std::min({lo[ch], a, b});
    }
}

bool PeakPyramid::Extremes(std::span<const uint8_t> records, int64_t first, int64_t last, uint32_t hi[2],
                           uint32_t lo[2]) const
{
    first = std::max<int64_t>(first, 0);
    last = std::min(last, WholeRecords(records, channels_, bytesPerPeak_));
    if (first >= last)
        return false;
    for (int ch = 0; ch < channels_; ++ch) {
        hi[ch] = 0;
        lo[ch] = UINT32_MAX;
    }
    const int stride = 2 * channels_;
    const int levels = Levels();
    // Each step takes the largest aligned block that fits in what is left.
    for (int64_t a = first; a < last;) {
        int level = 0;
        int64_t size = 1;
        while (level < levels) {
            const int64_t up = size * Factor;
            if (a % up != 0 || a + up > last || a + up > records_)
                break;
            ++level;
            size = up;
        }
        if (level == 0) {
            RecordExtremes(records, a, hi, lo);
        } else {
            const uint16_t* block = levels_[static_cast<size_t>(level - 1)].data() + (a / size) * stride;
            for (int ch = 0; ch < channels_; ++ch) {
                hi[ch] = std::max<uint32_t>(hi[ch], block[2 * ch]);
                lo[ch] = std::min<uint32_t>(lo[ch], block[2 * ch + 1]);
            }
        }
        a += size;
        ++reads_;
    }
    return true;
}

} // namespace kx

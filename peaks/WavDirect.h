#pragma once
#include <QString>
#include <cstddef>
#include <cstdint>

#include "mediagraph/RiffChunks.h"

namespace kx {

/// Sample encodings of the PCM WAV files that are reduced without a decode
/// graph.
enum class WavSampleKind { U8, S16, S24, S32, F32 };

/// Where a WAV file's samples are and how they are stored.
struct WavLayout {
    WavSampleKind kind = WavSampleKind::S16;  ///< how one sample is stored
    uint32_t channels = 0;                    ///< interleaved in a frame
    uint32_t rate = 0;                        ///< frames per second
    uint32_t blockAlign = 0;                  ///< bytes per frame
    uint64_t dataOffset = 0;                  ///< file offset of the first sample
    uint64_t dataBytes = 0;                   ///< bytes of samples, whole frames
    bool extensible = false;                  ///< WAVE_FORMAT_EXTENSIBLE header

    /// Whole frames of samples.
    uint64_t Frames() const { return blockAlign ? dataBytes / blockAlign : 0; }
    /// Bytes of one sample of one channel.
    uint32_t BytesPerSample() const { return channels ? blockAlign / channels : 0; }
    /// What the graph's WAV parser reports as the duration, in 100-ns units.
    int64_t Duration100ns() const;
};

/// Reads the RIFF chunks of a file. False for anything the direct reduction
/// does not take (not RIFF/WAVE, compressed or unusual sample formats, a data
/// chunk that is empty, runs past the end of the file or does not end on a
/// frame), which the decode graph then handles.
bool ReadWavLayout(const QString& fileName, WavLayout& layout);

/// The same from a chunk reader: read(offset, buffer, size) gives the bytes
/// read (fewer at the end of the file). fileSize bounds the data chunk.
///@{
using WavReadAt = RiffReadAt;
bool ParseWavLayout(WavReadAt read, void* context, uint64_t fileSize, WavLayout& layout);
///@}

/// Plain channel counts the decode graph's converter cannot place, and so
/// cannot mix: the direct reduction folds them instead.
bool WavChannelsUnpositioned(uint32_t channels);

/// Whether converting this layout to outChannels gives exactly the samples
/// that the decode graph's audio converter delivers to the peak filter, or
/// the layout is one the graph cannot mix (WavChannelsUnpositioned).
bool DirectWavSupports(const WavLayout& layout, uint32_t outChannels);

/// Converts frames of the layout's samples to interleaved signed 16-bit at
/// outChannels the way the graph's converter does without dithering:
/// integer samples are rounded half up to 16 bits with saturation, floats are
/// scaled to 32 bits with truncation first, stereo mixes to mono as the
/// rounded mean, mono is copied to both channels. Unpositioned channels
/// fold by the rounded mean: all of them to mono; to stereo, the
/// even-numbered ones to the left and the odd ones to the right.
void ConvertWavToS16(const WavLayout& layout, uint32_t outChannels, const uint8_t* in, size_t frames, int16_t* out);

} // namespace kx

#pragma once
// Media decoded to interleaved signed 16-bit samples at its own rate and
// channel count, handed on a block at a time: PCM WAV read straight from the
// file, everything else through a decode pipeline (the decoders the builder
// chooses, an MP3 encoder delay trimmed as the builder trims it).
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace kx {

/// Headerless input: a format name (s8, u8, s16le, s16be, s24le, s24be,
/// s32le, s32be, f32le, f32be, f64le, f64be), rate and channels.
struct RawSampleFormat {
    QString format;         ///< one of the names above
    uint32_t rate = 0;      ///< frames per second
    uint32_t channels = 0;  ///< interleaved in a frame
};
/// Whether a raw format name is one of RawSampleFormat's.
bool IsRawSampleFormat(const QString& name);

/// The stream as decoded: its own rate and channels.
struct NativeFormat {
    uint32_t rate = 0;      ///< frames per second
    uint32_t channels = 0;  ///< interleaved in a frame
    /// Frames of the whole stream: exact for WAV and raw files, the
    /// container's duration otherwise, 0 when unknown.
    uint64_t frames = 0;
};

/// Where DecodeNativeSamples hands the samples.
struct NativeSampleSink {
    /// Called once before the first samples; false stops the decoding.
    std::function<bool(const NativeFormat&)> begin;
    /// Interleaved frames; false stops the decoding.
    std::function<bool(const int16_t* samples, size_t frames)> take;
};

/// Decodes the file ("-": standard input) to its end. False with the reason
/// in error when it cannot be decoded or a sink call refused (error then
/// empty: the sink keeps its own reason).
bool DecodeNativeSamples(const QString& media, const std::optional<RawSampleFormat>& raw,
                         const NativeSampleSink& sink, QString& error);

/// As DecodeNativeSamples (no raw input), but the first frame the sink takes
/// is the stream's frame `from`: a WAV file is read from there; FLAC, MP3 and
/// Ogg Vorbis files are sought there rather than decoded from their start.
/// Other media, whose seeks do not land on the frame asked for, and streams
/// that cannot seek are decoded from their start and the frames before
/// dropped. begin still gets the whole stream's length. Frames a decoder
/// cannot give back after a seek come as silence, so that every later frame
/// keeps its place; a few frames after `from` may differ from a decode from
/// the start for codecs that depend on earlier frames (MP3's bit reservoir).
bool DecodeNativeSamplesFrom(const QString& media, uint64_t from, const NativeSampleSink& sink, QString& error);

} // namespace kx

#pragma once
#include <QString>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

class QFile;

namespace kx {

class TMemoryStream;

/// Sequential byte source for the WAV parser, so that it never needs a file.
class ByteReader
{
public:
    virtual ~ByteReader() = default;
    /// Bytes actually delivered; fewer than count at the end, -1 on an error.
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    /// Moves count bytes forward; false when that is not possible.
    virtual bool Skip(uint64_t count) = 0;
};

/// Reads bytes held in memory (tests, fuzzing).
class MemoryByteReader final : public ByteReader
{
public:
    /// A reader over bytes, which must outlive it.
    explicit MemoryByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    int64_t Read(void* buffer, int64_t count) override;
    bool Skip(uint64_t count) override;

private:
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
};

/// Read-only, shared with other readers and writers of the file.
class FileByteReader final : public ByteReader
{
public:
    /// Opens the file; IsOpen() tells whether that worked.
    explicit FileByteReader(const QString& fileName);
    ~FileByteReader() override;
    /// The file could be opened.
    bool IsOpen() const;
    int64_t Read(void* buffer, int64_t count) override;
    bool Skip(uint64_t count) override;

private:
    std::unique_ptr<QFile> file_;
};

/// What the viewer keeps of a WAV header.
struct WavInfo {
    uint8_t BlockAlign = 0;   ///< bytes per frame: 1, 2 or 4
    uint8_t Channels = 0;     ///< 1 or 2
    int32_t SampleRate = 0;   ///< frames per second, > 0
    uint16_t BitsPerSample = 0; ///< 8 or 16
    uint32_t DataSize = 0;    ///< declared size of the "data" chunk
    uint64_t DataOffset = 0;  ///< first byte of the sample data
};

/// The result of reading a WAV header: the first test that failed.
enum class WavCheck {
    Ok,              ///< a header the viewer can show
    Truncated,       ///< the bytes ended inside the header or before a "data" chunk
    NotRiffWave,     ///< not a RIFF file of form WAVE
    FormatChunk,     ///< "fmt " missing or not 16 bytes long
    NotPcm,          ///< a format tag other than PCM
    BadChannels,     ///< not 1 or 2 channels
    BadSampleRate,   ///< a rate of 0 or below
    BadBlockAlign,   ///< block align outside 1..4
    UnsupportedFormat, ///< a frame layout the peak routines cannot reduce
};

/// Parses RIFF/WAVE up to the first byte of the "data" payload. Chunks between
/// "fmt " and "data" are skipped with their RIFF pad byte.
WavCheck ReadWavHeader(ByteReader& reader, WavInfo& info);
/// A short description of a check result for diagnostics.
const char* WavCheckText(WavCheck check);

/// Frames reduced to one peak record for a peak area of width pixels; never 0.
uint32_t FramesPerPeakFor(int secondsToShow, int32_t sampleRate, int width, uint8_t blockAlign);
/// Bytes read per buffer for that density: at most 60000, a multiple of the block align.
uint32_t BufferSizeFor(int secondsToShow, int32_t sampleRate, int width, uint8_t blockAlign);

/// Reduces interleaved frames to records of (max, min) per channel, unsigned
/// with silence at mid-scale. Push whole or partial buffers, then Finish().
class WavPeakExtractor
{
public:
    /// Appends records of framesPerPeak frames of the info's layout to out.
    WavPeakExtractor(const WavInfo& info, uint32_t framesPerPeak, TMemoryStream& out);
    /// Takes the next bytes of sample data; a frame may be split between calls.
    void Process(const uint8_t* data, size_t bytes);
    /// Appends the record in progress, if any frame went into it.
    void Finish();
    /// Records appended so far.
    uint64_t Records() const { return records_; }

private:
    template <typename Sample, int Channels>
    void Run(const uint8_t* data, size_t frames);
    void ResetRun();
    void Emit();

    WavInfo info_;
    uint32_t framesPerPeak_;
    TMemoryStream& out_;
    uint32_t inRecord_ = 0; // frames in the record in progress
    uint32_t max_[2] = {};
    uint32_t min_[2] = {};
    uint8_t carry_[4] = {}; // bytes of a frame split between two pushes
    size_t carried_ = 0;
    uint64_t records_ = 0;
};

/// The wave viewer's own peak file: "PEAK", block align, channels, rate,
/// data size (14 bytes), then the records as they are.
///@{
constexpr int WavPeakHeaderSize = 14;
std::vector<uint8_t> EncodeWavPeakHeader(const WavInfo& info);
///@}

/// ".pek" style extension: a dot in front when it has none, at most 4 characters.
QString NormalizePeaksFileExt(const QString& value);
/// fileName with the extension of its last path component replaced (or added).
QString ReplaceExtension(const QString& fileName, const QString& ext);

/// "hh:mm:ss" clock text of a time in milliseconds (days wrap into hours).
QString ClockText(int64_t ms);

} // namespace kx

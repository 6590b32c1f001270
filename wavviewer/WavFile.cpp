#include "WavFile.h"

#include <QFile>
#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <bit>
#include <cstring>

#include "platform/LittleEndian.h"
#include "platform/MemoryStream.h"
#include "platform/NativeName.h"
#include "platform/Round.h"

namespace kx {

// The min/max kernels load samples in host order.
static_assert(std::endian::native == std::endian::little, "sample kernels assume a little-endian host");

int64_t MemoryByteReader::Read(void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    const size_t n = std::min(static_cast<size_t>(count), bytes_.size() - pos_);
    if (n)
        std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    return static_cast<int64_t>(n);
}

bool MemoryByteReader::Skip(uint64_t count)
{
    if (count > bytes_.size() - pos_) {
        pos_ = bytes_.size();
        return false;
    }
    pos_ += static_cast<size_t>(count);
    return true;
}

FileByteReader::FileByteReader(const QString& fileName) : file_(std::make_unique<QFile>())
{
    // Opened without blocking and kept only when it is a regular file: a
    // FIFO or a device under the name would otherwise hang or never end.
    const int fd = OpenNative(fileName, O_RDONLY | O_NONBLOCK);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, 0) != 0) {
        if (fd >= 0)
            close(fd);
        file_.reset();
        return;
    }
    // Unbuffered: the extraction reads large blocks and needs no second copy.
    if (!file_->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        close(fd);
        file_.reset();
    }
}

FileByteReader::~FileByteReader() = default;

bool FileByteReader::IsOpen() const
{
    return file_ != nullptr;
}

int64_t FileByteReader::Read(void* buffer, int64_t count)
{
    if (!file_)
        return -1;
    int64_t total = 0;
    auto* out = static_cast<char*>(buffer);
    // A plain read may return early; only the end of the file makes a short read.
    while (total < count) {
        const qint64 n = file_->read(out + total, count - total);
        if (n < 0)
            return total ? total : -1;
        if (n == 0)
            break;
        total += n;
    }
    return total;
}

bool FileByteReader::Skip(uint64_t count)
{
    if (!file_)
        return false;
    const qint64 target = file_->pos() + static_cast<qint64>(count);
    if (target > file_->size())
        return false;
    return file_->seek(target);
}

namespace {

bool ReadExact(ByteReader& r, uint8_t* buffer, int64_t count)
{
    return r.Read(buffer, count) == count;
}

bool IsId(const uint8_t* p, const char* id)
{
    return std::memcmp(p, id, 4) == 0;
}

} // namespace

WavCheck ReadWavHeader(ByteReader& reader, WavInfo& info)
{
    uint8_t head[12];
    if (!ReadExact(reader, head, 12))
        return WavCheck::Truncated;
    if (!IsId(head, "RIFF") || !IsId(head + 8, "WAVE"))
        return WavCheck::NotRiffWave;

    uint8_t fmt[24];
    if (!ReadExact(reader, fmt, 24))
        return WavCheck::Truncated;
    if (!IsId(fmt, "fmt ") || ReadU32LE(fmt + 4) != 16)
        return WavCheck::FormatChunk;
    const uint16_t tag = ReadU16LE(fmt + 8);
    const uint16_t channels = ReadU16LE(fmt + 10);
    const auto rate = static_cast<int32_t>(ReadU32LE(fmt + 12));
    const uint16_t blockAlign = ReadU16LE(fmt + 20);
    const uint16_t bits = ReadU16LE(fmt + 22);
    if (tag != 1)
        return WavCheck::NotPcm;
    if (channels < 1 || channels > 2)
        return WavCheck::BadChannels;
    if (rate <= 0)
        return WavCheck::BadSampleRate;
    if (blockAlign < 1 || blockAlign > 4)
        return WavCheck::BadBlockAlign;
    // Only 8- and 16-bit samples with a matching frame size have a routine.
    if ((bits != 8 && bits != 16) || blockAlign != channels * bits / 8)
        return WavCheck::UnsupportedFormat;

    uint64_t offset = 12 + 24;
    for (;;) {
        uint8_t chunk[8];
        if (!ReadExact(reader, chunk, 8))
            return WavCheck::Truncated;
        offset += 8;
        const uint32_t size = ReadU32LE(chunk + 4);
        if (IsId(chunk, "data")) {
            info.BlockAlign = static_cast<uint8_t>(blockAlign);
            info.Channels = static_cast<uint8_t>(channels);
            info.SampleRate = rate;
            info.BitsPerSample = bits;
            info.DataSize = size;
            info.DataOffset = offset;
            return WavCheck::Ok;
        }
        // RIFF pads odd-sized chunks to an even length.
        const uint64_t skip = static_cast<uint64_t>(size) + (size & 1u);
        if (!reader.Skip(skip))
            return WavCheck::Truncated;
        offset += skip;
    }
}

const char* WavCheckText(WavCheck check)
{
    switch (check) {
    case WavCheck::Ok: return "ok";
    case WavCheck::Truncated: return "the file ends inside its header";
    case WavCheck::NotRiffWave: return "not a RIFF/WAVE file";
    case WavCheck::FormatChunk: return "the format chunk is missing or not 16 bytes long";
    case WavCheck::NotPcm: return "not PCM";
    case WavCheck::BadChannels: return "channels must be 1 or 2";
    case WavCheck::BadSampleRate: return "the sample rate must be positive";
    case WavCheck::BadBlockAlign: return "the block align must be 1 to 4";
    case WavCheck::UnsupportedFormat: return "only 8- and 16-bit samples are shown";
    }
    return "?";
}

uint32_t FramesPerPeakFor(int secondsToShow, int32_t sampleRate, int width, uint8_t blockAlign)
{
    const int64_t frames = static_cast<int64_t>(secondsToShow) * sampleRate;
    const int64_t raw = Round(static_cast<double>(frames) / std::max(1, width));
    // At least one frame per record, or the reading loop could not advance.
    const uint64_t fpp = static_cast<uint64_t>(std::max<int64_t>(raw, 1));
    const uint64_t ba = std::max<uint8_t>(blockAlign, 1);
    const uint64_t rounded = (fpp + ba - 1) / ba * ba;
    return static_cast<uint32_t>(std::min<uint64_t>(rounded, 0x7FFFFFFCu));
}

uint32_t BufferSizeFor(int secondsToShow, int32_t sampleRate, int width, uint8_t blockAlign)
{
    const int64_t frames = static_cast<int64_t>(secondsToShow) * sampleRate;
    const int64_t fpp = std::max<int64_t>(Round(static_cast<double>(frames) / std::max(1, width)), 1);
    const uint32_t size = fpp * 400 > 60000 ? 60000u : static_cast<uint32_t>(fpp * 400);
    const uint32_t ba = std::max<uint8_t>(blockAlign, 1);
    return (size + ba - 1) / ba * ba;
}

namespace {

typedef uint8_t U8x16 __attribute__((vector_size(16)));
typedef uint16_t U16x8 __attribute__((vector_size(16)));
template <typename T> struct VecOf;
template <> struct VecOf<uint8_t> { using type = U8x16; };
template <> struct VecOf<uint16_t> { using type = U16x8; };

// Per-channel running max/min over `values` interleaved samples starting at
// a frame boundary. Samples come out unsigned with silence at mid-scale.
template <typename T, int Channels>
void MinMax(const uint8_t* p, size_t values, uint32_t* mx, uint32_t* mn)
{
    constexpr T flip = sizeof(T) == 2 ? T(0x8000) : T(0);
    constexpr size_t Lanes = 16 / sizeof(T);
    size_t i = 0;
    if (values >= Lanes) {
        using V = typename VecOf<T>::type;
        V vmax;
        V vmin;
        std::memcpy(&vmax, p, 16);
        vmax ^= flip;
        vmin = vmax;
        // Lane k always holds channel k % Channels, as Lanes is even.
        for (i = Lanes; i + Lanes <= values; i += Lanes) {
            V v;
            std::memcpy(&v, p + i * sizeof(T), 16);
            v ^= flip;
            vmax = v > vmax ? v : vmax;
            vmin = v < vmin ? v : vmin;
        }
        for (size_t k = 0; k < Lanes; ++k) {
            const size_t ch = k % Channels;
            mx[ch] = std::max<uint32_t>(mx[ch], vmax[k]);
            mn[ch] = std::min<uint32_t>(mn[ch], vmin[k]);
        }
    }
    for (; i < values; ++i) {
        T s;
        std::memcpy(&s, p + i * sizeof(T), sizeof(T));
        s ^= flip;
        const size_t ch = i % Channels;
        mx[ch] = std::max<uint32_t>(mx[ch], s);
        mn[ch] = std::min<uint32_t>(mn[ch], s);
    }
}

} // namespace

WavPeakExtractor::WavPeakExtractor(const WavInfo& info, uint32_t framesPerPeak, TMemoryStream& out)
    : info_(info), framesPerPeak_(std::max<uint32_t>(framesPerPeak, 1)), out_(out)
{
    if (info_.BlockAlign < 1 || info_.BlockAlign > 4)
        info_.BlockAlign = 1;
    ResetRun();
}

void WavPeakExtractor::ResetRun()
{
    // One below the centre, so a record's max is never below it and its min never above.
    const uint32_t start = info_.BitsPerSample == 16 ? 32767u : 127u;
    max_[0] = max_[1] = start;
    min_[0] = min_[1] = start;
    inRecord_ = 0;
}

void WavPeakExtractor::Emit()
{
    uint8_t record[8];
    size_t n = 0;
    const int channels = info_.Channels == 2 ? 2 : 1;
    for (int ch = 0; ch < channels; ++ch) {
        if (info_.BitsPerSample == 16) {
            WriteU16LE(record + n, static_cast<uint16_t>(max_[ch]));
            WriteU16LE(record + n + 2, static_cast<uint16_t>(min_[ch]));
            n += 4;
        } else {
            record[n++] = static_cast<uint8_t>(max_[ch]);
            record[n++] = static_cast<uint8_t>(min_[ch]);
        }
    }
    out_.Write(record, static_cast<int64_t>(n));
    ++records_;
    ResetRun();
}

template <typename T, int Channels>
void WavPeakExtractor::Run(const uint8_t* data, size_t frames)
{
    constexpr size_t FrameBytes = sizeof(T) * Channels;
    while (frames) {
        const size_t n = std::min<size_t>(frames, framesPerPeak_ - inRecord_);
        MinMax<T, Channels>(data, n * Channels, max_, min_);
        data += n * FrameBytes;
        frames -= n;
        inRecord_ += static_cast<uint32_t>(n);
        if (inRecord_ == framesPerPeak_)
            Emit();
    }
}

void WavPeakExtractor::Process(const uint8_t* data, size_t bytes)
{
    const size_t ba = info_.BlockAlign;
    auto dispatch = [this](const uint8_t* p, size_t frames) {
        const bool wide = info_.BitsPerSample == 16;
        if (info_.Channels == 2)
            wide ? Run<uint16_t, 2>(p, frames) : Run<uint8_t, 2>(p, frames);
        else
            wide ? Run<uint16_t, 1>(p, frames) : Run<uint8_t, 1>(p, frames);
    };
    if (carried_) {
        const size_t take = std::min(ba - carried_, bytes);
        std::memcpy(carry_ + carried_, data, take);
        carried_ += take;
        data += take;
        bytes -= take;
        if (carried_ < ba)
            return;
        dispatch(carry_, 1);
        carried_ = 0;
    }
    const size_t frames = bytes / ba;
    if (frames)
        dispatch(data, frames);
    carried_ = bytes - frames * ba;
    if (carried_)
        std::memcpy(carry_, data + frames * ba, carried_);
}

void WavPeakExtractor::Finish()
{
    if (inRecord_ > 0)
        Emit();
}

std::vector<uint8_t> EncodeWavPeakHeader(const WavInfo& info)
{
    std::vector<uint8_t> h(WavPeakHeaderSize);
    std::memcpy(h.data(), "PEAK", 4);
    h[4] = info.BlockAlign;
    h[5] = info.Channels;
    WriteU32LE(h.data() + 6, static_cast<uint32_t>(info.SampleRate));
    WriteU32LE(h.data() + 10, info.DataSize);
    return h;
}

QString NormalizePeaksFileExt(const QString& value)
{
    QString ext = value;
    if (!ext.contains(QLatin1Char('.')))
        ext.prepend(QLatin1Char('.'));
    if (ext.size() > 4)
        ext.truncate(4);
    return ext;
}

QString ReplaceExtension(const QString& fileName, const QString& ext)
{
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot > slash)
        return fileName.left(dot) + ext;
    return fileName + ext;
}

QString ClockText(int64_t ms)
{
    if (ms < 0)
        ms = 0;
    const int64_t seconds = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace kx

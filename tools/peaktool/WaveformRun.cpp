// peaktool waveform, the work: media decoded at its own rate into waveform
// data, audio or a picture; waveform data and peak files read back into the
// same outputs.
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <memory>

#include "Command.h"
#include "WaveformFiles.h"
#include "WaveformJob.h"
#include "WaveformPicture.h"
#include "WaveformWriter.h"
#include "peaks/NativeSegments.h"
#include "peaks/WaveformGenerator.h"
#include "peaks/WaveformValues.h"

namespace kx {

namespace {

// Frames a pixel when a picture of the whole stream is asked for before its
// length is known: fine enough for any width, merged as the stream goes on.
constexpr int32_t UnknownLengthZoom = 16;
// Pixels of a segmented decoding are held until all segments are done:
// past this a file is decoded in one pass, written as it goes.
constexpr uint64_t MaxSegmentedPixelBytes = uint64_t(32) << 20;
// Waveform data and peak files read back are held whole: past this they are refused.
constexpr uint64_t MaxDataInputBytes = uint64_t(256) << 20;

FileKind OutputKindOf(WaveformOutput o)
{
    switch (o) {
    case WaveformOutput::Dat: return FileKind::WaveformDat;
    case WaveformOutput::Json: return FileKind::WaveformJson;
    case WaveformOutput::Wav: return FileKind::Wav;
    default: return FileKind::Picture;
    }
}

int Fail(const QString& message)
{
    Err(QStringLiteral("peaktool waveform: %1").arg(message));
    return ExitFailed;
}

// Keeps the pixels of the picture's span, from its first column on. With
// no span (a length not known before the end), keeps everything at a bounded
// count: past `columns` pixels neighbours are merged in pairs, which their
// extremes make exact, and each kept pixel stands for twice as many.
class ColumnCollector
{
public:
    ColumnCollector(uint64_t first, size_t columns, bool unbounded = false)
        : first_(first), columns_(columns), unbounded_(unbounded)
    {
    }
    bool Take(const int16_t* values, size_t pixels, int channels)
    {
        const size_t per = size_t(2 * channels);
        for (size_t i = 0; i < pixels; ++i, ++seen_) {
            const int16_t* p = values + i * per;
            if (unbounded_) {
                Merge(p, per);
                continue;
            }
            if (seen_ >= first_ && seen_ < first_ + columns_)
                values_.insert(values_.end(), p, p + per);
        }
        return unbounded_ || seen_ < first_ + columns_;
    }
    std::vector<int16_t>& Values() { return values_; }
    bool Full() const { return !unbounded_ && seen_ >= first_ + columns_; }
    // Source pixels one kept pixel stands for.
    uint64_t Factor() const { return factor_; }

private:
    void Merge(const int16_t* p, size_t per)
    {
        if (fill_ == 0) {
            values_.insert(values_.end(), p, p + per);
        } else {
            int16_t* last = values_.data() + values_.size() - per;
            for (size_t v = 0; v < per; v += 2) {
                last[v] = std::min(last[v], p[v]);
                last[v + 1] = std::max(last[v + 1], p[v + 1]);
            }
        }
        if (++fill_ == factor_)
            fill_ = 0;
        const size_t count = values_.size() / per;
        if (fill_ != 0 || count < 4 * columns_ || count % 2 != 0)
            return;
        for (size_t i = 0; i < count / 2; ++i)
            for (size_t v = 0; v < per; v += 2) {
                values_[i * per + v] = std::min(values_[2 * i * per + v], values_[(2 * i + 1) * per + v]);
                values_[i * per + v + 1] = std::max(values_[2 * i * per + v + 1], values_[(2 * i + 1) * per + v + 1]);
            }
        values_.resize(count / 2 * per);
        factor_ *= 2;
    }

    uint64_t first_;
    size_t columns_;
    bool unbounded_;
    uint64_t seen_ = 0;
    uint64_t factor_ = 1;
    uint64_t fill_ = 0;
    std::vector<int16_t> values_;
};

// More columns than fit (a length estimated short) become exactly `width`:
// each holds the extremes of the pixels that fall into it.
void FoldColumns(PictureColumns& c, size_t width)
{
    const size_t n = c.Count();
    if (n <= width || width == 0)
        return;
    const size_t per = size_t(2 * c.channels);
    std::vector<int16_t> folded(width * per);
    for (size_t col = 0; col < width; ++col) {
        int16_t* out = &folded[col * per];
        for (size_t v = 0; v < per; v += 2) {
            out[v] = INT16_MAX;
            out[v + 1] = INT16_MIN;
        }
        for (size_t i = col * n / width; i < (col + 1) * n / width; ++i)
            for (size_t v = 0; v < per; v += 2) {
                out[v] = std::min(out[v], c.values[i * per + v]);
                out[v + 1] = std::max(out[v + 1], c.values[i * per + v + 1]);
            }
    }
    c.values = std::move(folded);
    c.secondsPerColumn *= double(n) / double(width);
}

int WritePicture(const WaveformJob& job, const PngEncoder& png, const OutputRules& rules, PictureColumns columns)
{
    const PictureLayout layout = LayOutPicture(job, columns);
    QByteArray bytes;
    if (job.outputKind == WaveformOutput::Svg)
        bytes = PictureSvg(layout);
    else if (png)
        bytes = png(layout, job.compression);
    if (bytes.isEmpty())
        return Fail(QStringLiteral("%1: the picture cannot be encoded").arg(job.output));
    QString error;
    if (!WriteOutputFile(job.output, rules, {bytes}, error))
        return Fail(error);
    return ExitOk;
}

WaveformDataWriter::Settings DataSettings(const WaveformJob& job, int32_t rate, int32_t zoom, int channels)
{
    WaveformDataWriter::Settings s;
    s.format = job.outputKind == WaveformOutput::Dat ? WaveformFormat::Dat : WaveformFormat::Json;
    s.bits = job.bits;
    s.sampleRate = rate;
    s.samplesPerPixel = zoom;
    s.channels = channels;
    s.amplitudeScale = job.amplitudeScale;
    return s;
}

// Pixels held whole (data read back, or decoded in segments) into the output.
int FromPixels(const WaveformJob& job, const PngEncoder& png, const OutputRules& rules, int32_t rate, int32_t zoom,
               int channels, const std::vector<int16_t>& values)
{
    const size_t per = size_t(2 * channels);
    const size_t length = values.size() / per;
    if (job.Picture()) {
        const size_t first = size_t(uint64_t(job.start * rate) / uint64_t(zoom));
        const size_t count = std::min<size_t>(length > first ? length - first : 0, size_t(PictureColumnCount(job)));
        PictureColumns c;
        c.channels = channels;
        const auto begin = values.begin() + ptrdiff_t(std::min(first, length) * per);
        c.values.assign(begin, begin + ptrdiff_t(count * per));
        c.secondsPerColumn = double(zoom) / rate;
        c.startSeconds = double(first) * c.secondsPerColumn;
        return WritePicture(job, png, rules, std::move(c));
    }
    OutputFile out;
    if (!out.Open(job.output, rules))
        return Fail(QStringLiteral("%1: %2").arg(job.output, out.ErrorText()));
    WaveformDataWriter writer(out, DataSettings(job, rate, zoom, channels));
    if (!writer.Pixels(values.data(), length) || !writer.Finish() || !out.Commit()) {
        out.Abandon();
        return Fail(QStringLiteral("%1: %2").arg(job.output, out.ErrorText()));
    }
    return ExitOk;
}

int FromMedia(const WaveformJob& job, const PngEncoder& png, const OutputRules& rules)
{
    // Long files decode on every core when their pixels are few enough to hold.
    if (!job.raw && job.input != QLatin1String("-") && job.outputKind != WaveformOutput::Wav &&
        !(job.Picture() && job.zoomAuto && job.end == 0))
        if (const auto pixels = SegmentedWaveformPixels(
                job.input, [&job](uint32_t rate, uint64_t frames) { return job.ZoomFor(rate, frames); },
                job.splitChannels, MaxSegmentedPixelBytes))
            return FromPixels(job, png, rules, int32_t(pixels->format.rate), pixels->zoom, pixels->channels,
                              pixels->values);

    OutputFile out;
    QString error, refusal;
    std::unique_ptr<WaveformGenerator> generator;
    std::unique_ptr<WaveformDataWriter> data;
    std::unique_ptr<WavAudioWriter> wav;
    std::unique_ptr<ColumnCollector> collector;
    NativeFormat format;
    int32_t zoom = 0;
    const auto open = [&] {
        if (out.Open(job.output, rules))
            return true;
        refusal = QStringLiteral("%1: %2").arg(job.output, out.ErrorText());
        return false;
    };
    NativeSampleSink sink;
    sink.begin = [&](const NativeFormat& f) {
        format = f;
        if (job.outputKind == WaveformOutput::Wav) {
            wav = std::make_unique<WavAudioWriter>(out);
            return open() && wav->Begin(f.rate, f.channels);
        }
        zoom = job.ZoomFor(f.rate, f.frames);
        // The whole of a stream whose length is not known: a fine zoom, folded into the width at the end.
        const bool unbounded = job.Picture() && job.zoomAuto && job.end == 0 && f.frames == 0;
        if (unbounded)
            zoom = UnknownLengthZoom;
        if (zoom == 0) {
            refusal = QStringLiteral("%1: the length is not known before decoding; give --zoom or --end").arg(job.input);
            return false;
        }
        if (f.channels > uint32_t(MaxWaveformChannels)) {
            refusal = QStringLiteral("%1: %2 channels, more than waveform data holds").arg(job.input).arg(f.channels);
            return false;
        }
        const int channels = job.splitChannels ? int(f.channels) : 1;
        if (job.Picture()) {
            const uint64_t first = uint64_t(job.start * f.rate) / uint64_t(zoom);
            collector = std::make_unique<ColumnCollector>(first, size_t(PictureColumnCount(job)), unbounded);
            generator = std::make_unique<WaveformGenerator>(zoom, job.splitChannels,
                                                            [&, channels](const int16_t* v, size_t n) {
                                                                return collector->Take(v, n, channels);
                                                            });
            return generator->Init(f.channels);
        }
        data = std::make_unique<WaveformDataWriter>(out, DataSettings(job, int32_t(f.rate), zoom, channels));
        generator = std::make_unique<WaveformGenerator>(zoom, job.splitChannels, [&](const int16_t* v, size_t n) {
            return data->Pixels(v, n) || (refusal = QStringLiteral("%1: %2").arg(job.output, out.ErrorText()), false);
        });
        return open() && generator->Init(f.channels);
    };
    sink.take = [&](const int16_t* samples, size_t frames) {
        if (wav)
            return wav->Frames(samples, frames) ||
                   (refusal = QStringLiteral("%1: %2").arg(job.output, out.ErrorText()), false);
        return generator->Process(samples, frames);
    };
    const bool decoded = DecodeNativeSamples(job.input, job.raw, sink, error);
    // A picture's span may end before the media: the rest is not needed.
    bool enough = collector && collector->Full() && refusal.isEmpty();
    if (!decoded && !enough) {
        out.Abandon();
        return Fail(!refusal.isEmpty() ? refusal
                                       : QStringLiteral("%1: %2").arg(job.input, error.isEmpty() ? QStringLiteral("cannot be decoded") : error));
    }
    if (wav) {
        if (!wav->Finish() || !out.Commit())
            return Fail(QStringLiteral("%1: %2").arg(job.output, out.ErrorText()));
        return ExitOk;
    }
    if (!enough && !generator->Done() && !(enough = collector && collector->Full())) {
        out.Abandon();
        return Fail(refusal.isEmpty() ? QStringLiteral("%1: %2").arg(job.output, out.ErrorText()) : refusal);
    }
    if (collector) {
        PictureColumns columns;
        columns.channels = generator->OutputChannels();
        columns.values = std::move(collector->Values());
        columns.secondsPerColumn = double(zoom) * double(collector->Factor()) / format.rate;
        columns.startSeconds = double(uint64_t(job.start * format.rate) / uint64_t(zoom)) * columns.secondsPerColumn;
        FoldColumns(columns, size_t(PictureColumnCount(job)));
        return WritePicture(job, png, rules, std::move(columns));
    }
    if (!data->Finish() || !out.Commit()) {
        out.Abandon();
        return Fail(data->Length() > UINT32_MAX
                        ? QStringLiteral("%1: more pixels than waveform data holds; give a larger --zoom").arg(job.output)
                        : QStringLiteral("%1: %2").arg(job.output, out.ErrorText()));
    }
    return ExitOk;
}

// Waveform data or a peak file, read whole, as 16-bit values.
std::optional<TWaveformData> ReadData(const WaveformJob& job, QString& error)
{
    InputFile in;
    if (!in.Open(job.input, error))
        return std::nullopt;
    if (in.Size() > MaxDataInputBytes) {
        error = QStringLiteral("%1: larger than the %2 MiB read back").arg(job.input).arg(MaxDataInputBytes >> 20);
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(size_t(in.Size()));
    if (!in.ReadAt(0, bytes.data(), bytes.size())) {
        error = QStringLiteral("%1: cannot be read").arg(job.input);
        return std::nullopt;
    }
    auto d = job.inputKind == WaveformInput::Peaks ? WaveformFromPeaks(bytes, error) : DecodeWaveform(bytes, error);
    if (!d) {
        error = QStringLiteral("%1: %2").arg(job.input, error);
        return std::nullopt;
    }
    return ConvertWaveformBits(*d, 16);
}

int FromData(const WaveformJob& job, const PngEncoder& png, const OutputRules& rules)
{
    QString error;
    auto d = ReadData(job, error);
    if (!d)
        return Fail(error);
    // Coarser pixels only: the finer ones are gone.
    int32_t zoom = job.zoomGiven || job.pixelsPerSecond > 0 || job.zoomAuto || job.end > job.start
                       ? job.ZoomFor(uint32_t(d->SampleRate), uint64_t(d->Length()) * uint64_t(d->SamplesPerPixel))
                       : d->SamplesPerPixel;
    // A picture's own zoom (auto, or --end in the width) goes up to the next one the data has.
    if (job.Picture() && (!job.zoomGiven || job.zoomAuto) && zoom > 0)
        zoom = std::max(1, (zoom + d->SamplesPerPixel - 1) / d->SamplesPerPixel) * d->SamplesPerPixel;
    if (zoom != d->SamplesPerPixel) {
        if (zoom <= 0 || zoom % d->SamplesPerPixel != 0)
            return Fail(QStringLiteral("%1: its %2 samples per pixel make no zoom of %3; give a multiple of them")
                            .arg(job.input)
                            .arg(d->SamplesPerPixel)
                            .arg(zoom));
        d = ReduceWaveform(*d, zoom, error);
        if (!d)
            return Fail(QStringLiteral("%1: %2").arg(job.input, error));
    }
    if (!job.splitChannels && d->Channels > 1)
        *d = MixWaveformToMono(*d);
    return FromPixels(job, png, rules, d->SampleRate, d->SamplesPerPixel, d->Channels, d->Values);
}

} // namespace

int RunWaveform(const CommandLine& line, const PngEncoder& png)
{
    WaveformJob job;
    if (const int usage = ReadWaveformJob(line, job); usage != ExitOk)
        return usage;
    OutputRules rules;
    rules.kind = OutputKindOf(job.outputKind);
    if (job.input != QLatin1String("-"))
        rules.Input(job.input);
    return job.inputKind == WaveformInput::Media ? FromMedia(job, png, rules) : FromData(job, png, rules);
}

} // namespace kx

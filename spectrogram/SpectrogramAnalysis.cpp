#include "SpectrogramAnalysis.h"

#include <gst/fft/gstfftf32.h>
#include <algorithm>
#include <cmath>

#include "SpectrogramFile.h"
#include "peaks/NativeSamples.h"
#include "platform/Logging.h"
#include "platform/NativeName.h"

namespace kx {

namespace {

// Frames decoded before a sought range's first window: a few MP3 frames.
constexpr uint64_t SeekMarginFrames = 8192;

// The bins a band takes its power from, [lo, hi): every bin whose width
// overlaps the band, so that a band narrower than a bin still has one.
struct BandSource {
    int lo = 0, hi = 0;
};

} // namespace

struct SpectrumColumns::Fft {
    struct Free {
        void operator()(GstFFTF32* f) const { gst_fft_f32_free(f); }
    };
    std::unique_ptr<GstFFTF32, Free> fft;
    std::vector<float> in, power, hann;
    std::vector<GstFFTF32Complex> spectrum;
    std::vector<BandSource> bands;
    float scale = 1;  // power of a full-scale sine's bin, inverted
};

SpectrumColumns::SpectrumColumns(SpectrogramData& out, uint32_t hop, uint64_t firstFrame, uint64_t lastFrame)
    : out_(out), fft_(std::make_unique<Fft>()), firstFrame_(firstFrame), lastFrame_(lastFrame)
{
    out_.hop = std::max<uint32_t>(1, hop);
    out_.firstFrame = firstFrame;
    out_.frames = 0;
    out_.values.clear();
    const uint32_t w = out_.window;
    fft_->fft.reset(gst_fft_f32_new(int(w), FALSE));
    fft_->in.resize(w);
    fft_->power.resize(w / 2 + 1);
    fft_->spectrum.resize(w / 2 + 1);
    // The Hann window once, rather than its cosines for every column.
    fft_->hann.assign(w, 1.0f);
    gst_fft_f32_window(fft_->fft.get(), fft_->hann.data(), GST_FFT_WINDOW_HANN);
    // A sine of amplitude 1 under a Hann window peaks at w / 4.
    fft_->scale = 16.0f / (float(w) * float(w));
    const double binHz = double(out_.rate) / w;
    const int lastBin = int(w / 2);
    for (int b = 0; b < out_.bands; ++b) {
        // Bin k spans (k - 1/2, k + 1/2) bin widths.
        BandSource s;
        s.lo = std::clamp(int(std::floor(out_.BandEdgeHz(b) / binHz - 0.5)) + 1, 0, lastBin);
        s.hi = std::clamp(int(std::ceil(out_.BandEdgeHz(b + 1) / binHz + 0.5)), s.lo + 1, lastBin + 1);
        fft_->bands.push_back(s);
    }
    nextWindow_ = WindowStart(firstFrame, out_.hop, w);
    bufferFrame_ = nextWindow_;
    if (nextWindow_ < 0)
        buffer_.assign(size_t(-nextWindow_), 0.0f);
}

SpectrumColumns::~SpectrumColumns() = default;

int64_t SpectrumColumns::WindowStart(uint64_t firstFrame, uint32_t hop, uint32_t window)
{
    return int64_t(firstFrame) + int64_t(std::max<uint32_t>(1, hop) / 2) - int64_t(window / 2);
}

void SpectrumColumns::StartAt(uint64_t frame)
{
    streamFrames_ = std::min(frame, uint64_t(std::max<int64_t>(nextWindow_, 0)));
}

bool SpectrumColumns::Take(const float* mono, size_t frames)
{
    const int64_t end = bufferFrame_ + int64_t(buffer_.size());
    const int64_t from = std::max<int64_t>(int64_t(streamFrames_), end);
    const int64_t to = int64_t(streamFrames_ + frames);
    if (to > from)
        buffer_.insert(buffer_.end(), mono + (from - int64_t(streamFrames_)), mono + frames);
    streamFrames_ += frames;
    const uint64_t wanted = lastFrame_ == UINT64_MAX || lastFrame_ <= firstFrame_
                                ? (lastFrame_ == UINT64_MAX ? UINT64_MAX : 0)
                                : (lastFrame_ - firstFrame_ + out_.hop - 1) / out_.hop;
    while (made_ < wanted && nextWindow_ + int64_t(out_.window) <= bufferFrame_ + int64_t(buffer_.size()))
        MakeColumn();
    // What lies before the next window is no longer needed.
    const int64_t drop = std::min<int64_t>(nextWindow_ - bufferFrame_, int64_t(buffer_.size()));
    if (drop > int64_t(1) << 16 && drop * 2 > int64_t(buffer_.size())) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + drop);
        bufferFrame_ += drop;
    }
    if (nextWindow_ > bufferFrame_ + int64_t(buffer_.size())) {
        buffer_.clear();
        bufferFrame_ = nextWindow_;
    }
    return made_ < wanted;
}

void SpectrumColumns::Finish()
{
    const uint64_t last = std::min(lastFrame_, streamFrames_);
    out_.frames = last > firstFrame_ ? last - firstFrame_ : 0;
    const uint64_t wanted = (out_.frames + out_.hop - 1) / out_.hop;
    // Silence after the end fills the last windows.
    const int64_t end = bufferFrame_ + int64_t(buffer_.size());
    if (made_ < wanted) {
        const int64_t need = nextWindow_ + int64_t((wanted - made_ - 1) * out_.hop) + int64_t(out_.window);
        if (need > end)
            buffer_.resize(buffer_.size() + size_t(need - end), 0.0f);
    }
    while (made_ < wanted)
        MakeColumn();
    out_.values.resize(size_t(wanted) * out_.bands);
}

void SpectrumColumns::MakeColumn()
{
    Fft& f = *fft_;
    const float* at = buffer_.data() + (nextWindow_ - bufferFrame_);
    for (size_t i = 0; i < f.in.size(); ++i)
        f.in[i] = at[i] * f.hann[i];
    gst_fft_f32_fft(f.fft.get(), f.in.data(), f.spectrum.data());
    for (size_t k = 0; k < f.power.size(); ++k)
        f.power[k] = (f.spectrum[k].r * f.spectrum[k].r + f.spectrum[k].i * f.spectrum[k].i) * f.scale;
    const float perDb = 255.0f / float(out_.floorDb);
    const size_t base = out_.values.size();
    out_.values.resize(base + out_.bands);
    for (int b = 0; b < out_.bands; ++b) {
        const BandSource& s = f.bands[size_t(b)];
        const float p = *std::max_element(f.power.begin() + s.lo, f.power.begin() + s.hi);
        const float db = p > 1e-30f ? 10.0f * std::log10(p) : -300.0f;
        const float v = std::round((db + float(out_.floorDb)) * perDb);
        out_.values[base + size_t(b)] = uint8_t(std::clamp(v, 0.0f, 255.0f));
    }
    ++made_;
    nextWindow_ += out_.hop;
}

bool AnalyseMedia(const QString& media, SpectrogramData& out, QString& error, uint32_t hop, uint64_t firstFrame,
                  uint64_t lastFrame, const std::atomic<bool>* cancel, const std::function<void(double)>& progress)
{
    std::unique_ptr<SpectrumColumns> columns;
    std::vector<float> mono;
    uint32_t channels = 0;
    uint64_t decoded = 0, needed = 0;
    // Where decoding starts: far enough before the first window that a
    // decoder's first frames after a seek (MP3's bit reservoir) lie outside it.
    const int64_t windowStart = SpectrumColumns::WindowStart(firstFrame, hop, out.window);
    const uint64_t from = windowStart > int64_t(SeekMarginFrames) ? uint64_t(windowStart) - SeekMarginFrames : 0;
    bool enough = false;
    NativeSampleSink sink;
    sink.begin = [&](const NativeFormat& format) {
        if (format.rate < 2 * (out.lowHz + 1) || format.channels == 0) {
            error = QStringLiteral("a rate of %1 Hz is too low to analyse").arg(format.rate);
            return false;
        }
        out.rate = format.rate;
        channels = format.channels;
        columns = std::make_unique<SpectrumColumns>(out, hop, firstFrame, lastFrame);
        columns->StartAt(from);
        const uint64_t end = std::min(format.frames, lastFrame);
        needed = end > from ? end - from : 0;
        return true;
    };
    sink.take = [&](const int16_t* samples, size_t frames) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            error = QStringLiteral("cancelled");
            return false;
        }
        // The channels' mean, as the other mono mixes take it.
        mono.resize(frames);
        const float scale = 1.0f / (32768.0f * float(channels));
        for (size_t i = 0; i < frames; ++i) {
            int32_t sum = 0;
            for (uint32_t c = 0; c < channels; ++c)
                sum += samples[i * channels + c];
            mono[i] = float(sum) * scale;
        }
        // The rest of the stream is not needed: stop decoding.
        enough = !columns->Take(mono.data(), frames);
        decoded += frames;
        if (progress && needed)
            progress(std::min(1.0, double(decoded) / double(needed)));
        return !enough;
    };
    error.clear();
    if (!DecodeNativeSamplesFrom(media, from, sink, error) && !(enough && error.isEmpty())) {
        if (error.isEmpty())
            error = QStringLiteral("cannot be analysed");
        return false;
    }
    if (!columns) {
        error = QStringLiteral("no audio was decoded");
        return false;
    }
    columns->Finish();
    return true;
}

bool SpectrogramOfMedia(const QString& media, SpectrogramData& out, QString& error, const std::atomic<bool>* cancel,
                        const std::function<void(double)>& progress)
{
    const QString side = SpectrogramFileFor(media);
    const NativeFileStatus mediaStat = StatNative(media), sideStat = StatNative(side);
    QString why;
    if (sideStat.isFile && sideStat.modifiedMs >= mediaStat.modifiedMs && ReadSpectrogramFile(side, out, why))
        return true;
    SpectrogramData data;
    if (!AnalyseMedia(media, data, error, SpectrogramHop, 0, UINT64_MAX, cancel, progress))
        return false;
    OutputRules rules;
    rules.Input(media);
    if (!WriteSpectrogramFile(side, data, rules, why))
        qCWarning(lcViewers).noquote() << "spectrogram not kept:" << why;
    out = std::move(data);
    return true;
}

} // namespace kx

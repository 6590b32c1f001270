#pragma once
#include <QString>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "Spectrogram.h"

namespace kx {

/**
 * Turns a mono sound, fed in blocks, into spectrogram columns: each column
 * is the Hann-windowed spectrum of `window` samples centred on its hop,
 * folded into log-spaced bands (per band the strongest bin whose width
 * overlaps it, so that bands narrower than a bin share it). Audio before the
 * stream's start and after its end counts as silence.
 */
class SpectrumColumns
{
public:
    /// Columns of `hop` frames from firstFrame up to lastFrame (exclusive; a
    /// partial last column is kept), written into out, whose layout fields
    /// (rate, bands, lowHz, floorDb, window) must be set; hop is set here.
    SpectrumColumns(SpectrogramData& out, uint32_t hop, uint64_t firstFrame = 0, uint64_t lastFrame = UINT64_MAX);
    ~SpectrumColumns();
    SpectrumColumns(const SpectrumColumns&) = delete;
    SpectrumColumns& operator=(const SpectrumColumns&) = delete;

    /// The stream frame where the window of the column at firstFrame starts
    /// (before 0 for the first columns of a stream).
    static int64_t WindowStart(uint64_t firstFrame, uint32_t hop, uint32_t window);
    /// The first Take starts at the stream's frame `frame` rather than 0;
    /// before any Take, and no later than the first column's window start.
    void StartAt(uint64_t frame);
    /// Mono samples in -1..1, consecutive from the stream's frame 0 (or
    /// StartAt's) over the calls. False once nothing after them is needed.
    bool Take(const float* mono, size_t frames);
    /// The stream ended: the last columns are made, with silence after it.
    void Finish();

private:
    void MakeColumn();
    struct Fft;

    SpectrogramData& out_;
    std::unique_ptr<Fft> fft_;
    uint64_t firstFrame_, lastFrame_;
    uint64_t streamFrames_ = 0;  // frames taken so far
    uint64_t made_ = 0;          // columns made
    int64_t nextWindow_ = 0;     // stream frame where the next column's window starts (may lie before 0)
    int64_t bufferFrame_ = 0;    // stream frame of buffer_[0]
    std::vector<float> buffer_;
};

/// Analyses media (decoded at its own rate, channels mixed to mono) into
/// columns of `hop` frames over [firstFrame, lastFrame) (the whole stream by
/// default); decoding stops once the range is done. Setting *cancel stops
/// it early (false, error "cancelled"). False with the reason when it cannot
/// be decoded. A range that starts well into the media is sought rather
/// than decoded from the media's start.
/// progress, when given, is called on the decoding thread with the share of
/// the work done (0 to 1) whenever the stream's length is known.
bool AnalyseMedia(const QString& media, SpectrogramData& out, QString& error, uint32_t hop = SpectrogramHop,
                  uint64_t firstFrame = 0, uint64_t lastFrame = UINT64_MAX,
                  const std::atomic<bool>* cancel = nullptr, const std::function<void(double)>& progress = {});

/// The media's spectrogram: its side file when that is valid and not older
/// than the media, otherwise analysed now and the side file written (one that
/// cannot be written is only logged). cancel and progress as AnalyseMedia's.
bool SpectrogramOfMedia(const QString& media, SpectrogramData& out, QString& error,
                        const std::atomic<bool>* cancel = nullptr, const std::function<void(double)>& progress = {});

} // namespace kx

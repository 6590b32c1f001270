#pragma once
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "PeakViewModel.h"
#include "platform/ScrollState.h"

namespace kx {

class TKXPeakBuilder;
class TMemoryStream;

/// Where a peak view's data comes from and how it reaches its model, without
/// a widget: the peak viewers and the Qt Quick view share these, so both read,
/// follow and page exactly alike.

/// A peak file or stream read whole and checked as a viewer checks it.
struct PeakLoad {
    std::vector<uint8_t> Header;   ///< the 16-byte header
    std::vector<uint8_t> Records;  ///< every byte after it
};
/// Reads a peak file; nothing when it cannot be read or the viewers refuse it.
std::optional<PeakLoad> ReadViewerPeakFile(const QString& fileName);
/// Reads a peak stream from position 0; nothing for a null or refused stream.
std::optional<PeakLoad> ReadViewerPeakStream(TMemoryStream* stream);

/// Stores a header's format and length in the model; a header that does not
/// decode changes nothing.
void StorePeakHeader(PeakViewModel& model, std::span<const uint8_t> header);
/// Takes a checked load into the model (header, records, pyramid); false
/// when it holds no record or its header does not decode.
bool ApplyPeakLoad(PeakViewModel& model, PeakLoad&& load);

/// Range and page of the scroll state for the model's peaks at its scaler and
/// client width, with the position `pos` clamped into them.
void SetPeakScrollRange(ScrollState& scroll, const PeakViewModel& model, int pos);

/// Whether a marked range in milliseconds can be set on the loaded peaks
/// (0, 0 clears it).
bool PeakMarkAccepted(const PeakViewModel& model, int startMs, int endMs);
/// Whether a zoom (peaks per column) is accepted: finite, 0.1 to 1e6.
bool PeakTimeScalerAccepted(float value);

/// The scroll position a play pointer at client column pointerX pages the
/// view to once it passes the part of the width playStepPercent keeps ahead;
/// nothing while it has not.
std::optional<int> PlayPagePosition(const PeakViewModel& model, const ScrollState& scroll, PeakSteps steps,
                                    int playStepPercent, int clientWidth, int64_t pointerX);

/// Follows a peak stream while it is being written: each Pull takes the
/// whole records that arrived since the last one into a model. The owner
/// runs the timer and repaints.
class PeakLiveFollow
{
public:
    /// Copies the stream's header (up to 16 bytes) and its bytes from `from`
    /// on, with the stream's valid length; false when the stream is gone.
    using Source = std::function<bool(int64_t from, std::vector<uint8_t>& Head, std::vector<uint8_t>& Tail,
                                      int64_t& Total)>;
    /// What one Pull did.
    enum class Pulled {
        Nothing,  ///< no new records
        Stopped,  ///< the stream is gone or complete: following ended
        First,    ///< the first records replaced the model's data
        More,     ///< records were appended
    };

    /// How often owners pull, in milliseconds: the picture fills in a few
    /// times a second.
    static constexpr int IntervalMs = 250;

    /// Starts following; stillWriting tells whether the stream may still grow.
    void Start(Source source, std::function<bool()> stillWriting = {});
    /// Ends following; the model keeps what it took.
    void Stop();
    /// Whether a stream is followed.
    bool Active() const { return static_cast<bool>(source_); }
    /// Takes what arrived into the model.
    Pulled Pull(PeakViewModel& model);

    /// The source and writing test of a builder's stream of queued file
    /// `index`; both stay safe once the builder is destroyed.
    static std::pair<Source, std::function<bool()>> OfBuilder(TKXPeakBuilder* builder, int index);

private:
    Source source_;
    std::function<bool()> writing_;
    std::vector<uint8_t> head_;
};

} // namespace kx

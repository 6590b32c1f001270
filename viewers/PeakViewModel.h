#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

#include "PeakPyramid.h"
#include "RmsPyramid.h"
#include "platform/ScrollState.h"

namespace kx {

/// How a column that covers several records is drawn: prSkip shows the
/// column's first record only; prMinMax the highest and lowest value of all
/// the records it covers, so a short transient stays visible at any zoom.
enum TPeakReduction { prSkip, prMinMax };

/// The loaded peak data of a viewer and the conversions between time, value
/// index, peak index and pixel column. No widget: the viewer feeds it its
/// client width and scroll-bar numbers.
///
/// The stored files come from the builder as two-channel 16-bit records and
/// the conversions match that layout exactly. Other layouts (mono, 8-bit) are
/// read by their real record layout: a channel's part of a record is
/// BytesPerPeak bytes holding two values of BytesPerPeak/2 bytes (one 8-bit
/// value when BytesPerPeak is 1), and a sample frame is
/// Channels × BytesPerPeak / 2 bytes of PCM.
class PeakViewModel
{
public:
    /// A model that reads the scroll position from scroll (owned by the viewer).
    explicit PeakViewModel(const ScrollState& scroll) : scroll_(&scroll) {}

    /// Header values; the defaults are those before any load.
    uint8_t BytesPerPeak = 4;
    int Channels = 2;                   ///< 1 or 2
    uint32_t SamplesPerSecond = 48000;  ///< Hz
    int64_t PcmByteCount = 0;  ///< 0 means nothing is loaded
    uint16_t SamplesPerPeak = 0;        ///< frames per record
    /// The records after the 16-byte header.
    std::vector<uint8_t> PeakData;
    /// Bytes of records the loaded file holds while PeakData still fills in
    /// from it; 0 once PeakData holds them all. Counts and the scroll range
    /// follow the whole file meanwhile.
    int64_t ExpectedBytes = 0;
    /// RMS levels of the records when a current side file was loaded.
    RmsPyramid Rms;

    /// Min/max levels over PeakData for prMinMax; rebuilt on every load.
    PeakPyramid Pyramid;
    TPeakReduction Reduction = prSkip;  ///< how columns over several records are drawn

    float TimeScaler = 1.0f;  ///< peaks per pixel column
    int ClientWidth = 0;      ///< pixels the peaks are drawn across

    /// PCM bytes of a frame in the builder's layout (16-bit stereo).
    static constexpr int FrameBytes = 4;

    /// Nothing is loaded.
    bool Empty() const { return PcmByteCount == 0 || DataBytes() == 0; }
    /// Bytes of records the view stands for: PeakData's, or the whole file's
    /// while it fills in.
    int64_t DataBytes() const { return std::max<int64_t>(static_cast<int64_t>(PeakData.size()), ExpectedBytes); }
    /// Forgets the records, their levels and the header's length.
    void ClearPeaks();
    /// Builds the pyramid anew over PeakData (after a load).
    void RebuildPyramid() { Pyramid.Build(PeakData, Channels, BytesPerPeak); }

    /// Bytes of one value (2 for 16-bit values, else 1).
    int ValueBytes() const { return BytesPerPeak >= 4 ? 2 : 1; }
    /// Values one channel holds in one record.
    int ValuesPerChannel() const { return BytesPerPeak == 1 ? 1 : 2; }
    /// Bytes of one record (all channels).
    int RecordBytes() const { return Channels * BytesPerPeak; }
    /// Values are 16-bit.
    bool Wide() const { return ValueBytes() == 2; }
    /// PCM bytes of one sample frame (4 for 16-bit stereo).
    double PcmFrameBytes() const { return Channels * BytesPerPeak / 2.0; }

    /// N: values held in PeakData (0 when nothing is loaded).
    uint32_t ValueCount() const;
    /// Whole records in PeakData.
    int64_t PeakCount() const;
    /// Play time the header's PcmByteCount stands for.
    int64_t DurationMs() const;

    /// Conversions between milliseconds, value index, record (peak) index,
    /// sample frame and scroll-bar pixel.
    ///@{
    int64_t ValueIndexAtMs(int64_t ms) const;
    int64_t PeakAtValueIndex(int64_t v) const;
    int64_t PeakAtMs(int64_t ms) const { return PeakAtValueIndex(ValueIndexAtMs(ms)); }
    int64_t FrameAtValueIndex(int64_t v) const;
    int64_t MsAtValueIndex(int64_t v) const;
    int64_t ValueIndexAtPixel(int64_t p) const;
    int64_t MsAtPixel(int64_t p) const { return MsAtValueIndex(ValueIndexAtPixel(p)); }
    ///@}

    /// The first peak shown (the scroll bar's position).
    int ScrollPos() const { return scroll_->nPos; }

    /// Columns and time. Column x starts at peak P(x) = S + Round(x × TS) (S
    /// the scroll position, TS the time scaler) and covers the records up to
    /// the next column's; peak p lies in the first column that covers it.
    /// The waveform, marks, cursor, play pointer and effect points all use
    /// this one pair, so they agree at every scaler.
    ///@{
    int64_t PeakAtColumn(int x) const;
    int64_t ColumnAtPeak(int64_t peak) const;
    int64_t ColumnAtMs(int64_t ms) const;
    ///@}
    /// Cursor time set by a click at column x.
    int64_t MsAtColumn(int x) const;
    /// Milliseconds shown at column x.
    int64_t TimeAtPixel(int x) const;
    /// Peaks across the client width at the current scaler (the scroll page).
    int64_t PeaksInView() const;

    /// Seconds across the client width at TimeScaler 1 after a load, low 8
    /// bits kept; 10 when that byte is 0.
    uint8_t VisibleSecondsFor(int clientWidth) const;

    /// Reads the two values of channel ch (0-based) of record `peak`; false
    /// past the end of the data.
    bool ReadPair(int64_t peak, int ch, uint32_t& first, uint32_t& second) const;

private:
    const ScrollState* scroll_;
};

/// Page and line steps in seconds derived from the visible seconds and the
/// play step percentage.
struct PeakSteps {
    uint8_t PageSeconds = 40;  ///< a page step of the scroll bar
    uint8_t LineSeconds = 10;  ///< a line step of the scroll bar
};
/// The page step is the visible seconds less the play step percentage; the
/// line step stays while it is shorter than the page, else becomes a tenth of
/// it (at least 1).
PeakSteps ComputeSteps(PeakSteps current, uint8_t visibleSeconds, int playStepPercent);

} // namespace kx

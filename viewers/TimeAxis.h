#pragma once
#include <QColor>
#include <QFont>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

class QImage;

namespace kx {

class PeakViewModel;

/// The time range a strip of columns shows: column x (logical pixels) shows
/// StartSeconds + x × SecondsPerPixel.
struct TimeAxisView {
    double StartSeconds = 0;     ///< time at column 0
    double SecondsPerPixel = 0;  ///< time across one column; 0 shows nothing
    int Width = 0;               ///< columns, logical pixels
    double DurationSeconds = 0;  ///< the whole file; an hour or more gives h:mm:ss labels
};
/// The view of a peak viewer's model: its scroll position and time scaler
/// over its client width.
TimeAxisView TimeAxisViewOf(const PeakViewModel& model);

/// One tick of the axis.
struct TimeAxisTick {
    double X = 0;     ///< logical column, may be fractional
    int64_t Ms = 0;   ///< the time the tick stands for
    QString Label;    ///< empty on minor ticks and on labels that do not fit
    double Width = 0; ///< of the label as measured, logical pixels
};

/// Ticks of one axis: labelled ticks every Step, minor ticks between them.
struct TimeAxisLayout {
    int64_t StepMs = 0;  ///< between labelled ticks; 0 when nothing is shown
    int64_t MinorMs = 0; ///< between minor ticks; 0 when there are none
    std::vector<TimeAxisTick> Major;  ///< labelled ticks, left to right
    std::vector<TimeAxisTick> Minor;  ///< unlabelled ticks, left to right
};

/// Width of a label in logical pixels (a font's horizontal advance).
using TimeAxisMeasure = std::function<double(const QString&)>;

/// The tallest time axis strip a view takes, logical pixels.
inline constexpr int TimeAxisMaxHeight = 200;
/// Space kept between two labels, logical pixels.
inline constexpr double TimeAxisLabelGap = 8;
/// A label starts this far right of its tick, logical pixels.
inline constexpr double TimeAxisLabelOffset = 3;

/// The label of a time: `m:ss` from a step of a second up, `m:ss.mmm` below
/// it; with hours (`h:mm:ss`, `h:mm:ss.mmm`) when the file lasts an hour or
/// more.
QString TimeAxisLabel(int64_t ms, int64_t stepMs, bool hours);

/// Steps labelled ticks may take, in milliseconds, smallest first: 1-2-5
/// over milliseconds, then 1, 2, 5, 10, 15, 30 over seconds and minutes,
/// then hours.
const std::vector<int64_t>& TimeAxisSteps();

/// The smallest step whose labels, measured by `measure`, never overlap
/// (TimeAxisLabelGap apart) and the ticks of the view. A label that would
/// run past the right edge is left off. Nothing when no step fits.
TimeAxisLayout LayoutTimeAxis(const TimeAxisView& view, const TimeAxisMeasure& measure);

/// Colours and font of an axis strip.
struct TimeAxisStyle {
    QColor Background;  ///< the strip
    QColor Ticks;       ///< tick marks and the line above the strip
    QColor Text;        ///< labels
    QFont Font;         ///< labels
};

/// Draws the axis of `view` into the strip of `image` from logical row `top`
/// to `top + height`, inside a two-device-pixel frame, at the image's device
/// pixel ratio: a line over the strip, tick marks one device pixel wide and
/// labels right of their ticks when the strip is tall enough for the digits.
void DrawTimeAxis(QImage& image, int top, int height, const TimeAxisView& view, const TimeAxisStyle& style);

} // namespace kx

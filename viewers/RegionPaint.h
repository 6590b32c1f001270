#pragma once
// Where regions and points lie on a peak view, drawing them over the peaks
// and finding what a pointer is over. No widget: the viewer's handlers call it.
#include <QColor>
#include <QFont>
#include <QHash>
#include <QStaticText>
#include <QString>
#include <cstdint>

#include "PeakRegions.h"
#include "PeakViewModel.h"

class QImage;

namespace kx {

/// The record (peak) whose start lies nearest to a time: the grid regions
/// snap to. Records are SamplesPerPeak frames long.
int64_t RegionPeakAt(const PeakViewModel& model, double seconds);
/// The start of record `peak` in seconds.
double RegionSecondsAtPeak(const PeakViewModel& model, int64_t peak);
/// The client column a time is drawn at.
int64_t RegionColumnAt(const PeakViewModel& model, double seconds);

/// Label texts laid out once and kept between redraws: laying a text out
/// costs more than drawing it. Everything is forgotten when the font changes.
class RegionLabelCache
{
public:
    /// The label laid out in the font.
    const QStaticText& Text(const QString& label, const QFont& font);

private:
    QFont font_;
    QHash<QString, QStaticText> texts_;
};

/// What one overlay redraw needs besides the model and the set.
struct RegionPaintStyle {
    QFont Font;                 ///< label font; its size is replaced by LabelPixels
    int LabelPixels = 11;       ///< label text height in logical pixels
    QString SelectedRegion;     ///< drawn stronger; empty for none
    QString SelectedPoint;      ///< drawn wider; empty for none
    RegionLabelCache* Labels = nullptr;  ///< kept by the caller between redraws; null lays labels out anew
};

/// Fill opacity of a region, and of the selected region (0 to 255).
///@{
inline constexpr int RegionFillAlpha = 70;
inline constexpr int SelectedRegionFillAlpha = 120;
///@}
/// Logical pixels either side of an edge or point line that grab it.
inline constexpr int RegionGrabPixels = 3;

/// Blends the regions' fills, and draws their edge lines, into a 32-bit back buffer whose background and
/// marked range are drawn and whose peaks are not yet (so every column is one
/// colour), for a client `width` logical pixels wide; the image is in device
/// pixels, `ratio` of them to a logical pixel. The peaks then keep their
/// colour inside regions, as inside the marked range.
void PaintRegionFills(QImage& image, double ratio, const PeakViewModel& model, const PeakRegionSet& set,
                      const QString& selectedRegion, int width);

/// Draws the regions' labels (at the top) and the points' lines and labels
/// (at the bottom) over a 32-bit back buffer drawn for a
/// client `width` × `height` logical pixels, at the image's device pixel
/// ratio, inside its two-pixel frame. Labels are clipped to their region, or
/// to the next point.
void PaintRegions(QImage& image, const PeakViewModel& model, const PeakRegionSet& set, const RegionPaintStyle& style,
                  int width, int height);

/// The part of a region or point under a client column.
enum class RegionPart {
    None,       ///< nothing
    Body,       ///< inside a region, away from its edges (or a fixed region's edge)
    StartEdge,  ///< an editable region's start edge
    EndEdge,    ///< an editable region's end edge
    Point,      ///< a point's line
};
/// What HitTestRegions found.
struct RegionHit {
    RegionPart Part = RegionPart::None;  ///< what is under the pointer
    QString Id;                          ///< the region's or point's id
};
/// What lies under client column x: a point's line first, then an editable
/// region's edge, then a region's inside; later items lie over earlier ones.
RegionHit HitTestRegions(const PeakViewModel& model, const PeakRegionSet& set, int x);

} // namespace kx

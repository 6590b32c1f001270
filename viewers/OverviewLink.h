#pragma once
#include <QColor>
#include <QObject>
#include <QPointer>
#include <QRectF>

#include "KXCustomPeakViewer.h"

class QPainter;

namespace kx {

/**
 * Ties two peak viewers of one file together as overview and zoom view.
 *
 * The overview takes the zoom view's peaks (following a live build as it
 * arrives), fits the whole file to its width and highlights the zoom view's
 * visible range with a translucent box. A click in the overview centres the
 * zoom view's range there; a press inside the box drags it. Zooming or
 * scrolling the zoom view moves the box. The play position and the marked
 * range set on either viewer reach the other.
 *
 * The link is a child of the zoom view. Deleting it unlinks the viewers
 * (each keeps working alone); it deletes itself when the overview is
 * destroyed, and goes with the zoom view. Hold it in a QPointer.
 */
class OverviewLink : public QObject
{
    Q_OBJECT
public:
    /// Links overview to zoom; both must be non-null and distinct.
    OverviewLink(TKXCustomPeakViewer* overview, TKXCustomPeakViewer* zoom);
    /// Unlinks: the overview redraws without the box.
    ~OverviewLink() override;

    /// The overview; null once destroyed.
    TKXCustomPeakViewer* Overview() const { return overview_; }
    /// The zoom view; null once destroyed.
    TKXCustomPeakViewer* Zoom() const { return zoom_; }

    /// The zoom view's visible range in the overview's client coordinates
    /// (the full client height); empty when either shows no peaks.
    QRectF Highlight() const;
    /// Fill of the highlight box; its outline is the same colour, opaque.
    QColor HighlightColor() const { return highlightColor_; }
    /// Repaints the overview.
    void SetHighlightColor(const QColor& color);

    /// Watches the viewers' resizes: the overview refits, the box follows.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FollowPeaks();
    void OverviewPeaksChanged();
    void FitOverview();
    void RedrawOverview();
    void DrawHighlight(QPainter& painter) const;
    void Press(TMouseButton button, int x);
    void Drag(TShiftState shift, int x);
    void ScrollZoomTo(int x);
    double OverviewPeakAt(double x) const;
    void Unlink();

    QPointer<TKXCustomPeakViewer> overview_;
    QPointer<TKXCustomPeakViewer> zoom_;
    QColor highlightColor_{0, 90, 255, 56};
    bool dragging_ = false;
    // Peaks from the zoom view's first column to the point being dragged.
    double grab_ = 0;
};

/// Links overview and zoom view (see OverviewLink); null when either is null
/// or both are the same viewer.
OverviewLink* LinkOverview(TKXCustomPeakViewer* overview, TKXCustomPeakViewer* zoom);

/// A live source that reads the peaks a viewer holds, for another viewer's
/// SetLiveSource: it copies them whole and follows them as they grow. It
/// reports the stream gone once the viewer is destroyed.
TKXCustomPeakViewer::TLiveSource PeaksOfViewer(TKXCustomPeakViewer* viewer);

/// Makes `to` show the peaks `from` holds, following them while `from`
/// follows a live stream; `to` is cleared when `from` holds none.
void CopyViewerPeaks(TKXCustomPeakViewer* from, TKXCustomPeakViewer* to);

} // namespace kx

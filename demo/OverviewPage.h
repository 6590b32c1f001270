#pragma once
#include <QPointer>
#include <QWidget>

class QLabel;
class QSlider;

namespace kx {

class OverviewLink;
class TKXAudioPeakViewer;
class TKXCustomPeakViewer;

// The test bench's page of an overview over a zoomed view of the same file,
// both with a time axis, fed with the peaks another viewer of the form holds.
class OverviewPage : public QWidget
{
    Q_OBJECT
public:
    explicit OverviewPage(QWidget* parent = nullptr);

    // Shows the peaks `source` holds (following a live build) and its play
    // position and marked range.
    void Follow(TKXCustomPeakViewer* source);

    TKXAudioPeakViewer* Overview = nullptr;
    TKXAudioPeakViewer* Zoom = nullptr;
    QSlider* ZoomSlider = nullptr;  // quarter steps of a power of two of peaks per column
    QLabel* ZoomLabel = nullptr;
    QPointer<OverviewLink> Link;

private:
    void ZoomSliderChange();
    void ShowZoom();
};

} // namespace kx

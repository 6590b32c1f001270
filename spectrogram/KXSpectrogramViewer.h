#pragma once
#include <QColor>
#include <QImage>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <QPainter>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "SpectrogramPicture.h"
#include "SpectrogramPyramid.h"
#include "platform/Logging.h"
#include "platform/QtProperties.h"
#include "viewers/KXCustomPeakViewer.h"

namespace kx {

/**
 * A control that shows a spectrogram against time: frequency upwards
 * (linear or logarithmic), loudness as colour, a play pointer line. The
 * view is a start time and a time per pixel; LinkToPeakViewer makes both,
 * and the play pointer, follow a peak viewer. Zoomed in past the stored
 * columns, finer ones for the visible range are computed in the background
 * from the media (when it was loaded with LoadFromMedia).
 *
 * A refused property write is reported through error().
 */
class TKXSpectrogramViewer : public QWidget
{
    Q_OBJECT
    ///@{
    /// Settings.
    Q_PROPERTY(bool logarithmicFrequency READ LogarithmicFrequency WRITE setLogarithmicFrequency)
    Q_PROPERTY(QColor pointerColor READ PointerColor WRITE setPointerColor)
    Q_PROPERTY(QColor color READ Color WRITE setColor)
    ///@}
    ///@{
    /// The view and the play pointer.
    Q_PROPERTY(double startSeconds READ StartSeconds WRITE setStartSeconds NOTIFY viewChanged)
    Q_PROPERTY(double secondsPerPixel READ SecondsPerPixel WRITE setSecondsPerPixel NOTIFY viewChanged)
    Q_PROPERTY(qint64 playTime READ PlayTime WRITE setPlayTime NOTIFY playTimeChanged)
    Q_PROPERTY(double durationSeconds READ DurationSeconds NOTIFY spectrogramChanged)
    ///@}
public:
    /// @name Property writers under the names forms compiled by uic call
    ///@{
    void setLogarithmicFrequency(bool value) { SetLogarithmicFrequency(value); } ///< Writes logarithmicFrequency.
    void setPointerColor(const QColor& value) { SetPointerColor(value); } ///< Writes pointerColor.
    void setColor(const QColor& value) { SetColor(value); } ///< Writes color.
    ///@}
public:
    /// An empty viewer of 400 × 150 pixels.
    explicit TKXSpectrogramViewer(QWidget* parent = nullptr);
    ~TKXSpectrogramViewer() override;

    // --- settings

    /// Whether the rows are spaced by band (log, the default) rather than by Hz (linear).
    bool LogarithmicFrequency() const { return view_.axis == FrequencyAxis::Logarithmic; }
    /// Repaints when changed.
    void SetLogarithmicFrequency(bool value);
    /// Colour of the play pointer line.
    QColor PointerColor() const { return pointerColor_; }
    /// Repaints.
    void SetPointerColor(const QColor& value);
    /// Colour where there are no columns (before the start, after the end).
    QColor Color() const { return color_; }
    /// Repaints.
    void SetColor(const QColor& value);

    // --- loading

    /// Loads a spectrogram file; false with LastError() when it is refused
    /// (the viewer then keeps what it showed).
    bool LoadFromFile(const QString& fileName);
    /// Shows the media's spectrogram: from its side file when that is valid
    /// and not older than the media, otherwise analysed now and the side file
    /// written (a side file that cannot be written is only logged). False
    /// with LastError() when the media cannot be analysed.
    bool LoadFromMedia(const QString& media);
    /// LoadFromMedia on a background thread, so that a long file never
    /// holds up the window: returns at once, reports the analysis through
    /// loadProgress and the outcome through loadFinished; until then the
    /// viewer keeps what it showed. A later load, SetSpectrogram or Clear
    /// cancels it.
    void LoadFromMediaInBackground(const QString& media);
    /// Whether a background load is running.
    bool Loading() const { return loading_; }
    /// Shows the given columns (no media for finer ones); cancels a background load.
    void SetSpectrogram(SpectrogramData data);
    /// Forgets the spectrogram.
    void Clear();
    /// Why the last load failed.
    QString LastError() const { return lastError_; }
    /// The spectrogram and its zoomed-out levels.
    const SpectrogramPyramid& Pyramid() const { return *pyramid_; }
    /// Seconds the spectrogram covers (0 when empty).
    double DurationSeconds() const;

    // --- view

    /// Second at the left edge.
    double StartSeconds() const { return startSeconds_; }
    /// Sets the left edge (negative values count as 0); repaints.
    void SetStartSeconds(double seconds);
    /// Seconds per pixel column (logical pixels).
    double SecondsPerPixel() const { return secondsPerPixel_; }
    /// Values that are not positive and finite are ignored; repaints.
    void SetSecondsPerPixel(double seconds);
    /// Play pointer time in 100 ns units.
    int64_t PlayTime() const { return playTime_; }
    /// Moves the play pointer line.
    void SetPlayTime(int64_t time);
    /// The column (logical pixels) where the play pointer line is drawn; may lie outside the widget.
    int PlayColumn() const;

    /// Follows the peak viewer's zoom, scroll position and play pointer from
    /// now on (and takes them now); null ends a link. One link at a time.
    void LinkToPeakViewer(TKXCustomPeakViewer* viewer);
    /// The linked peak viewer, if any.
    TKXCustomPeakViewer* LinkedPeakViewer() const { return linked_; }

    /// The picture as the widget shows it, play pointer included, at the
    /// device pixel ratio.
    QImage Picture();
    /// Whether finer columns than the stored ones are shown for the view.
    bool ShowsFineColumns() const { return fine_ != nullptr; }

    /// Writes startSeconds.
    KX_PROPERTY_WRITER(double, setStartSeconds, SetStartSecondsChecked, lcViewers)
    /// Writes secondsPerPixel; values that are not positive are reported.
    KX_PROPERTY_WRITER(double, setSecondsPerPixel, SetSecondsPerPixelChecked, lcViewers)

public Q_SLOTS:
    /// Moves the play pointer (100 ns units); a player's time signal may connect here.
    void setPlayTime(qint64 time) { SetPlayTime(static_cast<int64_t>(time)); }

Q_SIGNALS:
    /// The start or the time per pixel changed.
    void viewChanged();
    /// SetPlayTime was given another time (100 ns units).
    void playTimeChanged(qint64 time);
    /// A spectrogram was loaded or forgotten.
    void spectrogramChanged();
    /// Finer columns for the view arrived and are shown.
    void fineColumnsReady();
    /// A background load analysed this share of the media (0 to 100).
    void loadProgress(int percent);
    /// A background load ended: shown when ok, otherwise LastError() says why.
    void loadFinished(bool ok);
    /// A property write was refused.
    void error(const QString& message);

protected:
    /// Draws the cached picture and the play pointer.
    void paintEvent(QPaintEvent* event) override;
    /// The picture is redrawn at the new size.
    void resizeEvent(QResizeEvent* event) override;

private:
    void SetStartSecondsChecked(double seconds);
    void SetSecondsPerPixelChecked(double seconds);
    void FollowLinked();
    void Invalidate();
    void RenderPicture();
    void RequestFineColumns();
    void StopWorker();
    void StopLoader();
    void ShowPyramid(std::shared_ptr<const SpectrogramPyramid> pyramid);
    void DrawPointer(QPainter& painter) const;

    std::shared_ptr<const SpectrogramPyramid> pyramid_;
    std::shared_ptr<const SpectrogramData> fine_;
    QString media_;
    QString lastError_;
    SpectrogramView view_;
    double startSeconds_ = 0;
    double secondsPerPixel_ = double(SpectrogramHop) / 44100;
    int64_t playTime_ = 0;
    QColor pointerColor_ = Qt::white;
    QColor color_ = Qt::black;
    QImage picture_;
    bool dirty_ = true;
    QPointer<TKXCustomPeakViewer> linked_;
    QMetaObject::Connection links_[4];

    // The background analysis of finer columns: one at a time, stopped when
    // the view moves away or the viewer goes.
    std::thread worker_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    uint64_t fineFirst_ = 0, fineLast_ = 0;
    uint32_t fineHop_ = 0;

    // The background load: one at a time, cancelled by the next or on destruction.
    std::thread loader_;
    std::shared_ptr<std::atomic<bool>> loadCancel_;
    bool loading_ = false;
};

} // namespace kx

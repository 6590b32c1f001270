#pragma once
#include <QColor>
#include <QImage>
#include <QMetaObject>
#include <QPointer>
#include <QQuickItem>
#include <QString>
#include <QTimer>
#include <QVariantList>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>
#include <cstdint>
#include <optional>

#include "platform/Logging.h"
#include "platform/QtProperties.h"
#include "platform/ScrollState.h"
#include "viewers/PeakRender.h"
#include "viewers/PeakViewModel.h"
#include "viewers/PeakViewSource.h"
#include "viewers/RegionEdit.h"
#include "viewers/RegionPaint.h"

namespace kx {

class TKXPeakBuilder;
class TMemoryStream;

/**
 * The peak viewer as a Qt Quick item (`WaveformView` in `import KXAudio`):
 * peaks against time from a peak file (source), a builder's stream or a
 * build in progress, with zoom (timeScaler), scrolling in peaks, one marked
 * range, a cursor position and a play pointer that pages the view. It reads,
 * converts and draws exactly as TKXCustomPeakViewer does (the same model,
 * pyramid and renderer), at the window's device pixel ratio, through the
 * scene graph; the play pointer is a node of its own, so moving it redraws
 * nothing else.
 *
 * Labelled regions and points (none unless added) are held, drawn and
 * edited as the widget viewer does: the same kx::PeakRegionSet, painting and
 * dragging, with the widget's call and signal names. Times are seconds.
 *
 * A refused property write leaves the property as it was and is reported
 * through error().
 */
class WaveformView : public QQuickItem
{
    Q_OBJECT
    QML_ELEMENT
    ///@{
    /// Settings, as the widget viewers name them; peakReduction is a
    /// TPeakReduction ordinal (0 first record, 1 true min/max).
    Q_PROPERTY(bool autoMove READ autoMove WRITE setAutoMove NOTIFY autoMoveChanged)
    Q_PROPERTY(QColor borderColor READ borderColor WRITE setBorderColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor markColor READ markColor WRITE setMarkColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor peaksColor READ peaksColor WRITE setPeaksColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor pointerColor READ pointerColor WRITE setPointerColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor positionColor READ positionColor WRITE setPositionColor NOTIFY colorsChanged)
    Q_PROPERTY(bool paintCursor READ paintCursor WRITE setPaintCursor NOTIFY paintCursorChanged)
    Q_PROPERTY(int playStepPercent READ playStepPercent WRITE setPlayStepPercent NOTIFY playStepPercentChanged)
    Q_PROPERTY(int peakReduction READ peakReduction WRITE setPeakReduction NOTIFY peakReductionChanged)
    Q_PROPERTY(float timeScaler READ timeScaler WRITE setTimeScaler NOTIFY timeScalerChanged)
    Q_PROPERTY(int timeAxisHeight READ timeAxisHeight WRITE setTimeAxisHeight NOTIFY timeAxisHeightChanged)
    Q_PROPERTY(bool showRms READ showRms WRITE setShowRms NOTIFY showRmsChanged)
    Q_PROPERTY(QColor rmsColor READ rmsColor WRITE setRmsColor NOTIFY colorsChanged)
    ///@}
    ///@{
    /// Where the peaks come from: a peak file (a path or a file URL), or the
    /// builder's stream of queued file fileIndex (-1: whichever it reports),
    /// shown once complete, and while it is built when live is set.
    Q_PROPERTY(QString source READ source WRITE setSource NOTIFY sourceChanged)
    Q_PROPERTY(QObject* builder READ builder WRITE setBuilder NOTIFY builderChanged)
    Q_PROPERTY(int fileIndex READ fileIndex WRITE setFileIndex NOTIFY fileIndexChanged)
    Q_PROPERTY(bool live READ live WRITE setLive NOTIFY liveChanged)
    ///@}
    ///@{
    /// State that changes by itself: clicks, paging, loads, the player.
    Q_PROPERTY(qint64 cursorPosition READ cursorPosition WRITE setCursorPosition NOTIFY cursorPositionChanged)
    Q_PROPERTY(qint64 playTime READ playTime WRITE setPlayTime NOTIFY playTimeChanged)
    Q_PROPERTY(int scrollPosition READ scrollPosition WRITE setScrollPosition NOTIFY scrollPositionChanged)
    Q_PROPERTY(int scrollMaximum READ scrollMaximum NOTIFY scrollRangeChanged)
    Q_PROPERTY(int markStart READ markStart NOTIFY markChanged)
    Q_PROPERTY(int markEnd READ markEnd NOTIFY markChanged)
    Q_PROPERTY(int durationMs READ durationMs NOTIFY peaksChanged)
    Q_PROPERTY(qint64 pcmByteCount READ pcmByteCount NOTIFY peaksChanged)
    Q_PROPERTY(bool liveStream READ liveStream NOTIFY liveStreamChanged)
    Q_PROPERTY(int pointerX READ pointerX NOTIFY pointerXChanged)
    ///@}
    ///@{
    /// Regions and points: how many, which were pressed last, and why the
    /// last loadRegions, loadRegionsFile or saveRegionsFile failed (empty
    /// after one that succeeded).
    Q_PROPERTY(int regionCount READ regionCount NOTIFY regionCountChanged)
    Q_PROPERTY(int pointCount READ pointCount NOTIFY pointCountChanged)
    Q_PROPERTY(QString selectedRegion READ selectedRegion NOTIFY selectionChanged)
    Q_PROPERTY(QString selectedPoint READ selectedPoint NOTIFY selectionChanged)
    Q_PROPERTY(QString regionsError READ regionsError NOTIFY regionsErrorChanged)
    ///@}
    /// Whether the Insert key calls addRegionFromMark (off by default).
    Q_PROPERTY(bool regionInsertKey READ regionInsertKey WRITE setRegionInsertKey NOTIFY regionInsertKeyChanged)
public:
    /// An empty view.
    explicit WaveformView(QQuickItem* parent = nullptr);
    ~WaveformView() override;

    /// Whether the play pointer pages the view when it nears the right edge.
    bool autoMove() const { return autoMove_; }
    /// Plain store.
    void setAutoMove(bool value);
    /// Colour of the frame and the channel lines.
    QColor borderColor() const { return style_.BorderColor; }
    /// Redraws when changed.
    void setBorderColor(const QColor& value) { SetColor(style_.BorderColor, value); }
    /// Background of the peak area.
    QColor color() const { return style_.Color; }
    /// Redraws when changed.
    void setColor(const QColor& value) { SetColor(style_.Color, value); }
    /// Fill of the marked range.
    QColor markColor() const { return style_.MarkColor; }
    /// Redraws when changed.
    void setMarkColor(const QColor& value) { SetColor(style_.MarkColor, value); }
    /// Colour of the peaks.
    QColor peaksColor() const { return style_.PeaksColor; }
    /// Redraws when changed.
    void setPeaksColor(const QColor& value) { SetColor(style_.PeaksColor, value); }
    /// Colour of the play pointer.
    QColor pointerColor() const { return pointerColor_; }
    /// Moves nothing, recolours the pointer.
    void setPointerColor(const QColor& value);
    /// Colour of the cursor position line.
    QColor positionColor() const { return style_.PositionColor; }
    /// Redraws when changed.
    void setPositionColor(const QColor& value) { SetColor(style_.PositionColor, value); }
    /// Whether the cursor position line is drawn.
    bool paintCursor() const { return style_.PaintCursor; }
    /// Redraws when changed.
    void setPaintCursor(bool value);
    /// Whether the RMS levels of a peak file's current side file are drawn
    /// as a lighter band inside the peaks (off by default).
    bool showRms() const { return style_.ShowRms; }
    /// Redraws when changed.
    void setShowRms(bool value);
    /// Colour of the RMS band: until one is set, the peaks' colour halfway
    /// to white.
    QColor rmsColor() const;
    /// Redraws when changed; an invalid colour goes back to the default.
    void setRmsColor(const QColor& value) { SetColor(style_.RmsColor, value); }
    /// Percent of the width kept ahead of the play pointer when it pages (0 to 49).
    int playStepPercent() const { return playStepPercent_; }
    /// Values outside 0 to 49 are reported.
    KX_PROPERTY_WRITER(int, setPlayStepPercent, SetPlayStepPercent, lcViewers)
    /// The TPeakReduction ordinal.
    int peakReduction() const { return int(model_.Reduction); }
    /// Unknown ordinals are reported.
    KX_PROPERTY_WRITER(int, setPeakReduction, SetPeakReduction, lcViewers)
    /// Peaks per pixel column (zoom).
    float timeScaler() const { return model_.TimeScaler; }
    /// Values that are not finite or lie outside 0.1 to 1e6 are reported.
    KX_PROPERTY_WRITER(float, setTimeScaler, SetTimeScaler, lcViewers)
    /// Height of the time axis strip below the peaks (0, the default: none).
    int timeAxisHeight() const { return timeAxisHeight_; }
    /// Values outside 0 to TimeAxisMaxHeight are reported.
    KX_PROPERTY_WRITER(int, setTimeAxisHeight, SetTimeAxisHeight, lcViewers)

    /// The peak file shown; empty when none (also after a failed load).
    QString source() const { return source_; }
    /// Loads the peak file; empty forgets the peaks. A file that cannot be
    /// loaded is reported and leaves the picture as it was.
    KX_PROPERTY_WRITER(const QString&, setSource, SetSource, lcViewers)
    /// The followed builder (a PeakBuilder), or null.
    QObject* builder() const;
    /// Anything but a peak builder is reported.
    KX_PROPERTY_WRITER(QObject*, setBuilder, SetBuilder, lcViewers)
    /// The queued file of the builder whose peaks are shown; -1 any.
    int fileIndex() const { return fileIndex_; }
    /// Plain store.
    void setFileIndex(int value);
    /// Whether a build of the file is shown while it runs.
    bool live() const { return live_; }
    /// Starts following a running build at once when set.
    void setLive(bool value);

    /// The cursor position in milliseconds.
    qint64 cursorPosition() const { return position_; }
    /// Places the cursor position (ms).
    void setCursorPosition(qint64 ms);
    /// The play time in 100-ns units (a player's position).
    qint64 playTime() const { return playTime_; }
    /// Moves the play pointer, paging the view when autoMove is set.
    void setPlayTime(qint64 time);
    /// The peak index of the first column.
    int scrollPosition() const { return scroll_.nPos; }
    /// Scrolls so that peak `position` is the first column (clamped).
    void setScrollPosition(int position);
    /// The highest scroll position.
    int scrollMaximum() const { return scroll_.MaxPos(); }
    /// Start of the marked range in milliseconds.
    int markStart() const { return markStart_; }
    /// End of the marked range in milliseconds.
    int markEnd() const { return markEnd_; }
    /// Duration of the loaded audio in milliseconds.
    int durationMs() const { return static_cast<int>(model_.DurationMs()); }
    /// The header's PCM byte length (0 when nothing is loaded).
    qint64 pcmByteCount() const { return model_.PcmByteCount; }
    /// Whether a stream being built is followed.
    bool liveStream() const { return follow_.Active(); }
    /// Column of the play pointer (logical pixels); 0 when none is drawn.
    int pointerX() const { return pointerX_; }

    /// Sets the marked range in milliseconds (0, 0 clears it); false when refused.
    Q_INVOKABLE bool setMark(int startMs, int endMs);
    /// Forgets the peaks.
    Q_INVOKABLE void clear();
    /// Shows the builder's stream of queued file `index`; false when it has none.
    Q_INVOKABLE bool loadStream(QObject* builder, int index);
    /// Follows the builder's stream of queued file `index` while it is built.
    Q_INVOKABLE void setLiveStream(QObject* builder, int index);
    /// Ends following a stream; the peaks taken so far stay.
    Q_INVOKABLE void stopLiveStream();
    /// Scrolls so that the given second is the first column.
    Q_INVOKABLE void scrollToSeconds(qint64 seconds);
    /// Milliseconds shown at column x.
    Q_INVOKABLE qint64 timeAtPixel(int x) const { return model_.TimeAtPixel(x); }

    /// Number of regions.
    int regionCount() const { return static_cast<int>(regions_.Regions().size()); }
    /// Number of points.
    int pointCount() const { return static_cast<int>(regions_.Points().size()); }
    /// The region last pressed; empty for none.
    QString selectedRegion() const { return selectedRegion_; }
    /// The point last pressed; empty for none.
    QString selectedPoint() const { return selectedPoint_; }
    /// Why the last load or save of the regions failed; empty when it succeeded.
    QString regionsError() const { return regionsError_; }

    /// Whether Insert adds a region over the marked range.
    bool regionInsertKey() const { return regionInsertKey_; }
    /// Plain store.
    void setRegionInsertKey(bool value);

    /// Adds a region from start to end seconds (an id in use or none gets a
    /// new one; an invalid colour the default); returns its id, or empty when
    /// the times are refused. Raises regionAdded.
    Q_INVOKABLE QString addRegion(double start, double end, const QColor& color = QColor(),
                                  const QString& label = QString(), bool editable = false,
                                  const QString& id = QString());
    /// Adds a point at `time` seconds as addRegion does; raises pointAdded.
    Q_INVOKABLE QString addTimePoint(double time, const QColor& color = QColor(), const QString& label = QString(),
                                     bool editable = false, const QString& id = QString());
    /// Changes the fields given in `fields` (start, end, color, label,
    /// editable) of a region; raises regionChanged when it differs. False,
    /// changing nothing, for an unknown id or key, a value of the wrong type
    /// or refused times.
    Q_INVOKABLE bool updateRegion(const QString& id, const QVariantMap& fields);
    /// updateRegion for a point (time, color, label, editable); raises pointChanged.
    Q_INVOKABLE bool updateTimePoint(const QString& id, const QVariantMap& fields);
    /// Removes a region; raises regionRemoved. False when there is none of that id.
    Q_INVOKABLE bool removeRegion(const QString& id);
    /// Removes a point; raises pointRemoved. False when there is none of that id.
    Q_INVOKABLE bool removeTimePoint(const QString& id);
    /// Removes every region and point (each raising its removal).
    Q_INVOKABLE void clearRegions();
    /// A region as {id, start, end, color, label, editable}; empty for an unknown id.
    Q_INVOKABLE QVariantMap region(const QString& id) const;
    /// A point as {id, time, color, label, editable}; empty for an unknown id.
    Q_INVOKABLE QVariantMap point(const QString& id) const;
    /// Every region as region() gives it, in the order added.
    Q_INVOKABLE QVariantList regions() const;
    /// Every point as point() gives it, in the order added.
    Q_INVOKABLE QVariantList points() const;
    /// Adds an editable region over the marked range and selects it; empty
    /// when nothing is marked.
    Q_INVOKABLE QString addRegionFromMark();
    /// Replaces all regions and points by those of peaks.js JSON (removals
    /// raised, then additions). Malformed JSON changes nothing: false, with
    /// the reason in regionsError.
    Q_INVOKABLE bool loadRegions(const QString& json);
    /// The regions and points as peaks.js JSON, unknown fields included.
    Q_INVOKABLE QString regionsJson() const;
    /// loadRegions from a file, named by a path or a file URL. A file that
    /// cannot be read or is refused changes nothing: false, with the reason
    /// in regionsError.
    Q_INVOKABLE bool loadRegionsFile(const QString& file);
    /// Writes regionsJson to a file (a path or a file URL) through the output
    /// path: never over the peak file shown (by whatever name or link), a
    /// read-only file or a file of another kind (JSON this library did not
    /// write included). False, with the reason in regionsError, when refused.
    Q_INVOKABLE bool saveRegionsFile(const QString& file);
    /// The regions and points drawn over the peaks.
    const PeakRegionSet& RegionSet() const { return regions_; }

    /// Reads a peak stream (from position 0); false when refused.
    bool LoadFromStream(TMemoryStream* stream);
    /// The loaded data and its conversions.
    const PeakViewModel& Model() const { return model_; }

Q_SIGNALS:
    /// A property write was refused.
    void error(const QString& message);
    /// Peaks were loaded, arrived from a live stream or were forgotten.
    void peaksChanged();
    /// A peak file was loaded or forgotten.
    void sourceChanged();
    /// builder changed.
    void builderChanged();
    /// fileIndex changed.
    void fileIndexChanged();
    /// live changed.
    void liveChanged();
    /// Following a stream began or ended.
    void liveStreamChanged();
    /// autoMove changed.
    void autoMoveChanged();
    /// One of the colours changed.
    void colorsChanged();
    /// paintCursor changed.
    void paintCursorChanged();
    /// showRms changed.
    void showRmsChanged();
    /// playStepPercent changed.
    void playStepPercentChanged();
    /// peakReduction changed.
    void peakReductionChanged();
    /// The zoom changed.
    void timeScalerChanged(float value);
    /// timeAxisHeight changed.
    void timeAxisHeightChanged();
    /// The cursor position moved (ms).
    void cursorPositionChanged(qint64 ms);
    /// The play time changed (100-ns units).
    void playTimeChanged(qint64 time);
    /// The first column shows another peak.
    void scrollPositionChanged(int position);
    /// The scroll range changed (peaks, zoom or width).
    void scrollRangeChanged();
    /// The marked range changed.
    void markChanged();
    /// The play pointer moved to another column.
    void pointerXChanged();
    /// A region was added (by a call or a load).
    void regionAdded(const QString& id);
    /// A region's times or other fields changed (by a call or a drag).
    void regionChanged(const QString& id);
    /// A region was removed (by a call or a load).
    void regionRemoved(const QString& id);
    /// A region was clicked (pressed and released without moving it).
    void regionClicked(const QString& id);
    /// A point was added.
    void pointAdded(const QString& id);
    /// A point's time or other fields changed.
    void pointChanged(const QString& id);
    /// A point was removed.
    void pointRemoved(const QString& id);
    /// A point was clicked.
    void pointClicked(const QString& id);
    /// regionCount changed.
    void regionCountChanged();
    /// pointCount changed.
    void pointCountChanged();
    /// Another region or point was pressed, or none.
    void selectionChanged();
    /// regionsError changed.
    void regionsErrorChanged();
    /// regionInsertKey changed.
    void regionInsertKeyChanged();

protected:
    /// The picture (redrawn when its data, size, zoom or pixel ratio
    /// changed) and the pointer over it.
    QSGNode* updatePaintNode(QSGNode* old, UpdatePaintNodeData* data) override;
    /// New width: new scroll page.
    void geometryChange(const QRectF& now, const QRectF& before) override;
    /// A left press takes an editable region or point under it, or else
    /// places the cursor position.
    void mousePressEvent(QMouseEvent* event) override;
    /// Drags what the press took.
    void mouseMoveEvent(QMouseEvent* event) override;
    /// Ends a drag; a press that moved nothing is a click.
    void mouseReleaseEvent(QMouseEvent* event) override;
    /// Forgets the press.
    void mouseUngrabEvent() override;
    /// Shows what a press would take.
    void hoverMoveEvent(QHoverEvent* event) override;
    /// Delete removes the selected editable item, Ctrl+Left/Right nudge it a
    /// record (with Shift ten), Insert adds a region when regionInsertKey is set.
    void keyPressEvent(QKeyEvent* event) override;
    /// The wheel scrolls by the viewers' line step.
    void wheelEvent(QWheelEvent* event) override;
    /// Redraws at the pixel ratio of a new window or screen.
    void itemChange(ItemChange change, const ItemChangeData& value) override;

private:
    void SetColor(QColor& field, const QColor& value);
    void SetPlayStepPercent(int value);
    void SetPeakReduction(int value);
    void SetTimeScaler(float value);
    void SetTimeAxisHeight(int value);
    void SetSource(const QString& value);
    void SetBuilder(QObject* value);
    bool ApplyLoad(PeakLoad&& load);
    bool LoadFile(const QString& path);
    void AfterFirstRecords();
    void PullLive();
    void FollowRunningBuild();
    void BuilderReported(int index);
    void SetScroll(int pos, bool range);
    void MovePointer(bool page);
    void Redraw();
    // Regions (WaveformViewRegions.cpp).
    bool ReplaceRegion(const PeakRegion& region);
    bool ReplacePoint(const PeakPoint& point);
    void RegionsCounted(int regions, int points);
    void SetRegionsError(const QString& why);
    void ReplaceRegions(PeakRegionSet&& set);
    void Select(const QString& region, const QString& point);
    void SetRegionUnderlay(PeakRenderStyle& style, int w);
    void PaintRegionOverlay(int w, int h);
    void ShowRegionCursor(int x);
    bool RegionPressed(int x);
    void RegionDragged(int x);
    void RegionReleased(int x);
    void MoveRegionItem(const RegionHit& item, const RegionTimes& times);

    ScrollState scroll_;
    PeakViewModel model_{scroll_};
    PeakRenderStyle style_;  // colours and the cursor line; marks and position are copied in
    QColor pointerColor_;
    QString source_;
    QPointer<TKXPeakBuilder> builder_;
    QMetaObject::Connection builderLinks_[3];
    int fileIndex_ = -1;
    bool live_ = false;
    PeakLiveFollow follow_;
    QTimer liveTimer_;
    bool autoMove_ = true;
    int playStepPercent_ = 0;
    uint8_t visibleSeconds_ = 30;
    PeakSteps steps_;
    int64_t position_ = 0;
    int64_t playTime_ = 0;
    int markStart_ = 0;
    int markEnd_ = 0;
    int pointerX_ = 0;
    int timeAxisHeight_ = 0;
    PeakRegionSet regions_;
    std::optional<RegionPress> press_;
    QString selectedRegion_, selectedPoint_;
    QString regionsError_;
    RegionLabelCache labelCache_;
    bool regionInsertKey_ = false;
    bool regionCursor_ = false;  // the item's cursor is one over a grab zone
    // The picture as last drawn, and whether it must be drawn again.
    QImage buffer_;
    bool dirty_ = true;
};

} // namespace kx

#pragma once
// Labelled regions and points over a peak view, and the JSON (and files of
// it) that web peak viewers exchange them in. No widget: any view can hold,
// draw, load and save them.
#include <QByteArray>
#include <QByteArrayView>
#include <QColor>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace kx {

/// A labelled time range. Times in seconds from the start of the audio.
struct PeakRegion {
    QString Id;           ///< unique among the set's regions
    double Start = 0;     ///< seconds, finite, at least 0
    double End = 0;       ///< seconds, not before Start
    QColor Color;         ///< opaque; drawn translucent over the peaks
    QString Label;        ///< drawn at the region's top left
    bool Editable = false;  ///< the mouse and keys may move it
    QJsonObject Extra;    ///< fields this library does not know, kept as read
    bool NumericId = false;  ///< the id was a JSON number and is written back as one
    /// Every field alike.
    bool operator==(const PeakRegion&) const = default;
};

/// A labelled instant. Time in seconds from the start of the audio.
struct PeakPoint {
    QString Id;           ///< unique among the set's points
    double Time = 0;      ///< seconds, finite, at least 0
    QColor Color;         ///< colour of its line and label
    QString Label;        ///< drawn beside its line
    bool Editable = false;  ///< the mouse and keys may move it
    QJsonObject Extra;    ///< fields this library does not know, kept as read
    bool NumericId = false;  ///< the id was a JSON number and is written back as one
    /// Every field alike.
    bool operator==(const PeakPoint&) const = default;
};

/// Limits the JSON reader holds input to.
struct PeakRegionLimits {
    static constexpr qsizetype MaxJsonBytes = qsizetype(16) << 20;  ///< larger input is refused
    static constexpr double MaxSeconds = 1e9;  ///< later times are refused (keeps ms in range)
};

/// The regions and points of one view, each list in the order added. Ids are
/// unique within each list; an item added without one (or with one in use)
/// gets "region.N" / "point.N".
class PeakRegionSet
{
public:
    /// The regions in the order added.
    const std::vector<PeakRegion>& Regions() const { return regions_; }
    /// The points in the order added.
    const std::vector<PeakPoint>& Points() const { return points_; }
    /// No region and no point.
    bool Empty() const { return regions_.empty() && points_.empty(); }

    /// Adds a region; returns its id, or empty when its times are refused
    /// (not finite, negative, past the limit or end before start).
    QString AddRegion(PeakRegion region);
    /// Adds a point; returns its id, or empty when its time is refused.
    QString AddPoint(PeakPoint point);
    /// Replaces the region of the same id; false when there is none or the times are refused.
    bool UpdateRegion(const PeakRegion& region);
    /// Replaces the point of the same id; false when there is none or the time is refused.
    bool UpdatePoint(const PeakPoint& point);
    /// What ChangeRegion and ChangePoint did.
    enum class Change {
        Refused,    ///< no item of that id, or its times are refused
        Unchanged,  ///< the item was already so
        Changed,    ///< the item was replaced
    };
    /// UpdateRegion, telling a region that was already so from a change.
    Change ChangeRegion(const PeakRegion& region);
    /// UpdatePoint, telling a point that was already so from a change.
    Change ChangePoint(const PeakPoint& point);
    /// Removes a region; false when there is none of that id.
    bool RemoveRegion(const QString& id);
    /// Removes a point; false when there is none of that id.
    bool RemovePoint(const QString& id);
    /// The region of an id, or null.
    const PeakRegion* FindRegion(const QString& id) const;
    /// The point of an id, or null.
    const PeakPoint* FindPoint(const QString& id) const;
    /// Forgets everything, unknown top-level fields included.
    void Clear();

    /// Top-level JSON fields this library does not know, kept as read.
    QJsonObject Extra;

private:
    QString FreeId(const QString& wanted, const char* prefix, bool regions);

    std::vector<PeakRegion> regions_;
    std::vector<PeakPoint> points_;
    int nextRegionId_ = 0;
    int nextPointId_ = 0;
};

/// Whether a region's times may be stored.
bool RegionTimesAccepted(double start, double end);

/// Reads `{"segments": [...], "points": [...]}`: ids (strings or integers),
/// startTime/endTime/time in seconds, labelText, color as "#rrggbb",
/// editable; every other field kept. Nothing, with the reason in error, for
/// input that is not such JSON, has a field of the wrong type, a time that is
/// negative, too large or an end before its start, a colour in another form,
/// or two items of one id.
std::optional<PeakRegionSet> ParseRegionsJson(QByteArrayView bytes, QString& error);
/// The set as JSON: a marker `"regionsFormat": 1` first (by which files of
/// this writer are told from other JSON and may replace each other), then
/// "segments", "points" and the unknown fields. Readers ignore the marker.
QByteArray EncodeRegionsJson(const PeakRegionSet& set);
/// ParseRegionsJson of a file's contents; nothing, with "NAME: reason" in
/// error, when it cannot be read or is refused.
std::optional<PeakRegionSet> ReadRegionsFile(const QString& fileName, QString& error);
/// Writes EncodeRegionsJson through the output path: never over one of
/// `inputs` (the peak file shown, by whatever name or link), a read-only
/// file or a file of another kind (JSON without the marker included). False,
/// with "NAME: reason" in error, when refused or the write fails.
bool WriteRegionsFile(const QString& fileName, const PeakRegionSet& set, const QStringList& inputs, QString& error);

} // namespace kx

#include "PeakRegions.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <algorithm>
#include <cmath>

#include "platform/OutputFile.h"

namespace kx {

namespace {

// The first member EncodeRegionsJson writes, by which the output path tells
// its files from other JSON.
constexpr const char* FormatKey = "regionsFormat";

// Drawn when the JSON names no colour.
const QColor DefaultRegionColor(0x4a, 0x90, 0xd9);
const QColor DefaultPointColor(0xd0, 0x02, 0x1b);

bool TimeAccepted(double t)
{
    return std::isfinite(t) && t >= 0 && t <= PeakRegionLimits::MaxSeconds;
}

// Parses "#rrggbb" and nothing else.
std::optional<QColor> ParseColor(const QString& text)
{
    if (text.size() != 7 || text[0] != QLatin1Char('#'))
        return std::nullopt;
    // toUInt alone would take a sign or "0x".
    const auto hex = [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
               (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
    };
    if (!std::all_of(text.begin() + 1, text.end(), hex))
        return std::nullopt;
    return QColor::fromRgb(QRgb(QStringView(text).mid(1).toUInt(nullptr, 16)));
}

// Reads one item's common fields; the caller reads its times. Each known
// field is taken out of `fields`, which keeps the unknown rest.
struct ItemReader {
    QJsonObject& fields;
    QString where;
    QString& error;

    bool Fail(const QString& why)
    {
        error = QStringLiteral("%1: %2").arg(where, why);
        return false;
    }
    bool Id(QString& id, bool& numeric)
    {
        const QJsonValue v = fields.take(QStringLiteral("id"));
        if (v.isUndefined() || v.isNull())
            return true;
        if (v.isString()) {
            id = v.toString();
            return true;
        }
        const double d = v.toDouble();
        if (!v.isDouble() || d != std::floor(d) || std::fabs(d) > 9007199254740992.0)
            return Fail(QStringLiteral("id is neither a string nor a whole number"));
        id = QString::number(static_cast<qint64>(d));
        numeric = true;
        return true;
    }
    bool Time(const char* name, double& t, bool required)
    {
        const QJsonValue v = fields.take(QLatin1String(name));
        if (v.isUndefined() && !required)
            return true;
        if (!v.isDouble())
            return Fail(QStringLiteral("%1 is not a number of seconds").arg(QLatin1String(name)));
        t = v.toDouble();
        if (!TimeAccepted(t))
            return Fail(QStringLiteral("%1 %2 is negative, not finite or too large").arg(QLatin1String(name)).arg(t));
        return true;
    }
    bool Label(QString& label)
    {
        const QJsonValue v = fields.take(QStringLiteral("labelText"));
        if (v.isUndefined())
            return true;
        if (!v.isString())
            return Fail(QStringLiteral("labelText is not a string"));
        label = v.toString();
        return true;
    }
    bool Color(QColor& color)
    {
        const QJsonValue v = fields.take(QStringLiteral("color"));
        if (v.isUndefined())
            return true;
        const std::optional<QColor> c = v.isString() ? ParseColor(v.toString()) : std::nullopt;
        if (!c)
            return Fail(QStringLiteral("color is not of the form #rrggbb"));
        color = *c;
        return true;
    }
    bool Editable(bool& editable)
    {
        const QJsonValue v = fields.take(QStringLiteral("editable"));
        if (v.isUndefined())
            return true;
        if (!v.isBool())
            return Fail(QStringLiteral("editable is not true or false"));
        editable = v.toBool();
        return true;
    }
};

QJsonValue IdValue(const QString& id, bool numeric)
{
    return numeric ? QJsonValue(id.toLongLong()) : QJsonValue(id);
}

// One member as `"key":value`, for writing an object's members in our order.
QByteArray Member(const QString& key, const QJsonValue& value)
{
    QByteArray one = QJsonDocument(QJsonObject{{key, value}}).toJson(QJsonDocument::Compact);
    return one.mid(1, one.size() - 2);
}

} // namespace

bool RegionTimesAccepted(double start, double end)
{
    return TimeAccepted(start) && TimeAccepted(end) && end >= start;
}

QString PeakRegionSet::FreeId(const QString& wanted, const char* prefix, bool regions)
{
    const auto used = [&](const QString& id) {
        return regions ? FindRegion(id) != nullptr : FindPoint(id) != nullptr;
    };
    if (!wanted.isEmpty() && !used(wanted))
        return wanted;
    int& next = regions ? nextRegionId_ : nextPointId_;
    QString id;
    do
        id = QStringLiteral("%1.%2").arg(QLatin1String(prefix)).arg(next++);
    while (used(id));
    return id;
}

QString PeakRegionSet::AddRegion(PeakRegion region)
{
    if (!RegionTimesAccepted(region.Start, region.End))
        return {};
    if (!region.Color.isValid())
        region.Color = DefaultRegionColor;
    const QString wanted = region.Id;
    region.Id = FreeId(wanted, "region", true);
    region.NumericId = region.NumericId && region.Id == wanted;
    regions_.push_back(std::move(region));
    return regions_.back().Id;
}

QString PeakRegionSet::AddPoint(PeakPoint point)
{
    if (!TimeAccepted(point.Time))
        return {};
    if (!point.Color.isValid())
        point.Color = DefaultPointColor;
    const QString wanted = point.Id;
    point.Id = FreeId(wanted, "point", false);
    point.NumericId = point.NumericId && point.Id == wanted;
    points_.push_back(std::move(point));
    return points_.back().Id;
}

bool PeakRegionSet::UpdateRegion(const PeakRegion& region)
{
    auto it = std::find_if(regions_.begin(), regions_.end(), [&](const PeakRegion& r) { return r.Id == region.Id; });
    if (it == regions_.end() || !RegionTimesAccepted(region.Start, region.End))
        return false;
    *it = region;
    return true;
}

bool PeakRegionSet::UpdatePoint(const PeakPoint& point)
{
    auto it = std::find_if(points_.begin(), points_.end(), [&](const PeakPoint& p) { return p.Id == point.Id; });
    if (it == points_.end() || !TimeAccepted(point.Time))
        return false;
    *it = point;
    return true;
}

PeakRegionSet::Change PeakRegionSet::ChangeRegion(const PeakRegion& region)
{
    const PeakRegion* old = FindRegion(region.Id);
    if (old && *old == region && RegionTimesAccepted(region.Start, region.End))
        return Change::Unchanged;
    return UpdateRegion(region) ? Change::Changed : Change::Refused;
}

PeakRegionSet::Change PeakRegionSet::ChangePoint(const PeakPoint& point)
{
    const PeakPoint* old = FindPoint(point.Id);
    if (old && *old == point && TimeAccepted(point.Time))
        return Change::Unchanged;
    return UpdatePoint(point) ? Change::Changed : Change::Refused;
}

bool PeakRegionSet::RemoveRegion(const QString& id)
{
    return std::erase_if(regions_, [&](const PeakRegion& r) { return r.Id == id; }) > 0;
}

bool PeakRegionSet::RemovePoint(const QString& id)
{
    return std::erase_if(points_, [&](const PeakPoint& p) { return p.Id == id; }) > 0;
}

const PeakRegion* PeakRegionSet::FindRegion(const QString& id) const
{
    auto it = std::find_if(regions_.begin(), regions_.end(), [&](const PeakRegion& r) { return r.Id == id; });
    return it == regions_.end() ? nullptr : &*it;
}

const PeakPoint* PeakRegionSet::FindPoint(const QString& id) const
{
    auto it = std::find_if(points_.begin(), points_.end(), [&](const PeakPoint& p) { return p.Id == id; });
    return it == points_.end() ? nullptr : &*it;
}

void PeakRegionSet::Clear()
{
    regions_.clear();
    points_.clear();
    Extra = {};
    nextRegionId_ = nextPointId_ = 0;
}

std::optional<PeakRegionSet> ParseRegionsJson(QByteArrayView bytes, QString& error)
{
    if (bytes.size() > PeakRegionLimits::MaxJsonBytes) {
        error = QStringLiteral("regions JSON over %1 MiB is refused").arg(PeakRegionLimits::MaxJsonBytes >> 20);
        return std::nullopt;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = QStringLiteral("not JSON: %1 at byte %2").arg(parseError.errorString()).arg(parseError.offset);
        return std::nullopt;
    }
    if (!doc.isObject()) {
        error = QStringLiteral("not a JSON object");
        return std::nullopt;
    }
    PeakRegionSet set;
    set.Extra = doc.object();
    // The marker our writer adds; a reader that does not know it ignores it.
    set.Extra.remove(QLatin1String(FormatKey));
    const QJsonValue segments = set.Extra.take(QStringLiteral("segments"));
    const QJsonValue points = set.Extra.take(QStringLiteral("points"));
    if (!segments.isUndefined() && !segments.isArray()) {
        error = QStringLiteral("segments is not an array");
        return std::nullopt;
    }
    if (!points.isUndefined() && !points.isArray()) {
        error = QStringLiteral("points is not an array");
        return std::nullopt;
    }
    // Ids are checked for duplicates here; AddRegion would rename them.
    const auto duplicate = [&](const QString& where, const QString& id, bool found) {
        if (found)
            error = QStringLiteral("%1: id %2 is used twice").arg(where, id);
        return found;
    };
    const QJsonArray segmentList = segments.toArray();
    for (qsizetype i = 0; i < segmentList.size(); ++i) {
        const QString where = QStringLiteral("segment %1").arg(i);
        if (!segmentList[i].isObject()) {
            error = where + QStringLiteral(": not an object");
            return std::nullopt;
        }
        PeakRegion r;
        r.Extra = segmentList[i].toObject();
        ItemReader in{r.Extra, where, error};
        if (!in.Id(r.Id, r.NumericId) || !in.Time("startTime", r.Start, true) || !in.Time("endTime", r.End, true) ||
            !in.Label(r.Label) || !in.Color(r.Color) || !in.Editable(r.Editable))
            return std::nullopt;
        if (r.End < r.Start) {
            in.Fail(QStringLiteral("endTime %1 is before startTime %2").arg(r.End).arg(r.Start));
            return std::nullopt;
        }
        if (!r.Id.isEmpty() && duplicate(where, r.Id, set.FindRegion(r.Id) != nullptr))
            return std::nullopt;
        set.AddRegion(std::move(r));
    }
    const QJsonArray pointList = points.toArray();
    for (qsizetype i = 0; i < pointList.size(); ++i) {
        const QString where = QStringLiteral("point %1").arg(i);
        if (!pointList[i].isObject()) {
            error = where + QStringLiteral(": not an object");
            return std::nullopt;
        }
        PeakPoint p;
        p.Extra = pointList[i].toObject();
        ItemReader in{p.Extra, where, error};
        if (!in.Id(p.Id, p.NumericId) || !in.Time("time", p.Time, true) || !in.Label(p.Label) ||
            !in.Color(p.Color) || !in.Editable(p.Editable))
            return std::nullopt;
        if (!p.Id.isEmpty() && duplicate(where, p.Id, set.FindPoint(p.Id) != nullptr))
            return std::nullopt;
        set.AddPoint(std::move(p));
    }
    return set;
}

QByteArray EncodeRegionsJson(const PeakRegionSet& set)
{
    QJsonArray segments;
    for (const PeakRegion& r : set.Regions()) {
        QJsonObject o = r.Extra;
        o.insert(QStringLiteral("id"), IdValue(r.Id, r.NumericId));
        o.insert(QStringLiteral("startTime"), r.Start);
        o.insert(QStringLiteral("endTime"), r.End);
        o.insert(QStringLiteral("labelText"), r.Label);
        o.insert(QStringLiteral("color"), r.Color.name(QColor::HexRgb));
        o.insert(QStringLiteral("editable"), r.Editable);
        segments.append(o);
    }
    QJsonArray points;
    for (const PeakPoint& p : set.Points()) {
        QJsonObject o = p.Extra;
        o.insert(QStringLiteral("id"), IdValue(p.Id, p.NumericId));
        o.insert(QStringLiteral("time"), p.Time);
        o.insert(QStringLiteral("labelText"), p.Label);
        o.insert(QStringLiteral("color"), p.Color.name(QColor::HexRgb));
        o.insert(QStringLiteral("editable"), p.Editable);
        points.append(o);
    }
    // QJsonObject sorts its keys: the members are written one by one so that
    // the marker comes first and the file is recognised by its head.
    QByteArray out = "{" + Member(QLatin1String(FormatKey), 1) + ",\n" + Member(QStringLiteral("segments"), segments) +
                     ",\n" + Member(QStringLiteral("points"), points);
    for (auto it = set.Extra.begin(); it != set.Extra.end(); ++it)
        out += ",\n" + Member(it.key(), it.value());
    out += "}\n";
    return out;
}

std::optional<PeakRegionSet> ReadRegionsFile(const QString& fileName, QString& error)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: %2").arg(fileName, f.errorString());
        return std::nullopt;
    }
    // One byte past the limit is enough for the parser to refuse it.
    const QByteArray bytes = f.read(PeakRegionLimits::MaxJsonBytes + 1);
    QString why;
    std::optional<PeakRegionSet> set = ParseRegionsJson(bytes, why);
    if (!set)
        error = QStringLiteral("%1: %2").arg(fileName, why);
    return set;
}

bool WriteRegionsFile(const QString& fileName, const PeakRegionSet& set, const QStringList& inputs, QString& error)
{
    OutputRules rules;
    rules.kind = FileKind::RegionsJson;
    for (const QString& input : inputs)
        if (!input.isEmpty())
            rules.Input(input);
    const QByteArray bytes = EncodeRegionsJson(set);
    return WriteOutputFile(fileName, rules, {bytes}, error);
}

} // namespace kx

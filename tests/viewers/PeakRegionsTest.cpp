#include <QJsonArray>
#include <gtest/gtest.h>

#include "platform/FileKind.h"
#include "viewers/PeakRegions.h"

namespace kx {

namespace {

std::optional<PeakRegionSet> Parse(const char* json, QString* why = nullptr)
{
    QString error;
    auto set = ParseRegionsJson(QByteArrayView(json), error);
    if (why)
        *why = error;
    return set;
}

TEST(PeakRegionsTest, roundTripKeepsEveryFieldAndUnknownOnes)
{
    const char* json = R"({"version": 2, "meta": {"by": "someone"},
        "segments": [{"id": "intro", "startTime": 1.25, "endTime": 7.5, "labelText": "Intro",
                      "color": "#Ff8000", "editable": true, "tags": ["a", 1]},
                     {"id": 7, "startTime": 0, "endTime": 0, "custom": null}],
        "points": [{"id": "p", "time": 3.000125, "labelText": "Drop", "color": "#00ff00", "note": {"x": 1}}]})";
    const auto first = Parse(json);
    ASSERT_TRUE(first);
    ASSERT_EQ(first->Regions().size(), 2u);
    ASSERT_EQ(first->Points().size(), 1u);
    const PeakRegion& intro = first->Regions()[0];
    EXPECT_EQ(intro.Id, "intro");
    EXPECT_EQ(intro.Start, 1.25);
    EXPECT_EQ(intro.End, 7.5);
    EXPECT_EQ(intro.Label, "Intro");
    EXPECT_EQ(intro.Color, QColor(255, 128, 0));
    EXPECT_TRUE(intro.Editable);
    EXPECT_EQ(intro.Extra.value("tags").toArray(), QJsonArray({"a", 1}));
    EXPECT_FALSE(first->Regions()[1].Editable);
    EXPECT_TRUE(first->Regions()[1].Color.isValid());

    const QByteArray encoded = EncodeRegionsJson(*first);
    // Recognised by its head, so that the output path lets it replace itself.
    const std::span<const uint8_t> head(reinterpret_cast<const uint8_t*>(encoded.data()), size_t(encoded.size()));
    EXPECT_EQ(DetectFileKind(head, head.size()), FileKind::RegionsJson);
    // JSON from elsewhere is not, and is never replaced.
    const std::string_view foreign = R"({"segments": [], "points": []})";
    EXPECT_EQ(DetectFileKind({reinterpret_cast<const uint8_t*>(foreign.data()), foreign.size()}, foreign.size()),
              FileKind::Other);

    QString why;
    const auto second = ParseRegionsJson(encoded, why);
    ASSERT_TRUE(second) << why.toStdString();
    EXPECT_EQ(second->Extra, first->Extra);
    EXPECT_FALSE(second->Extra.contains("regionsFormat"));
    EXPECT_EQ(second->Extra.value("version").toInt(), 2);
    EXPECT_TRUE(second->Extra.value("meta").isObject());
    ASSERT_EQ(second->Regions().size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const PeakRegion &a = first->Regions()[i], &b = second->Regions()[i];
        EXPECT_EQ(a.Id, b.Id);
        EXPECT_EQ(a.Start, b.Start);
        EXPECT_EQ(a.End, b.End);
        EXPECT_EQ(a.Label, b.Label);
        EXPECT_EQ(a.Color, b.Color);
        EXPECT_EQ(a.Editable, b.Editable);
        EXPECT_EQ(a.Extra, b.Extra);
    }
    EXPECT_TRUE(second->Regions()[1].Extra.contains("custom"));
    // A numeric id stays a number.
    EXPECT_TRUE(encoded.contains("\"id\":7"));
    const PeakPoint& p = second->Points()[0];
    EXPECT_EQ(p.Time, 3.000125);
    EXPECT_EQ(p.Label, "Drop");
    EXPECT_EQ(p.Extra.value("note").toObject().value("x").toInt(), 1);
    EXPECT_EQ(EncodeRegionsJson(*second), encoded);
}

TEST(PeakRegionsTest, refusesMalformedInputWithItsReason)
{
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"", "not JSON"},
        {"{\"segments\": [}", "not JSON"},
        {"[1, 2]", "not a JSON object"},
        {R"({"segments": {}})", "segments is not an array"},
        {R"({"points": 3})", "points is not an array"},
        {R"({"segments": [3]})", "segment 0: not an object"},
        {R"({"segments": [{"startTime": "1", "endTime": 2}]})", "startTime is not a number"},
        {R"({"segments": [{"endTime": 2}]})", "startTime is not a number"},
        {R"({"segments": [{"startTime": 3, "endTime": 2}]})", "endTime 2 is before startTime 3"},
        {R"({"segments": [{"startTime": -1, "endTime": 2}]})", "negative"},
        {R"({"segments": [{"startTime": 1, "endTime": 1e300}]})", "too large"},
        {R"({"segments": [{"startTime": 1, "endTime": 2, "color": "red"}]})", "#rrggbb"},
        {R"({"segments": [{"startTime": 1, "endTime": 2, "color": "#12345g"}]})", "#rrggbb"},
        {R"({"segments": [{"startTime": 1, "endTime": 2, "color": "#+12345"}]})", "#rrggbb"},
        {R"({"segments": [{"startTime": 1, "endTime": 2, "color": "#fff"}]})", "#rrggbb"},
        {R"({"segments": [{"startTime": 1, "endTime": 2, "editable": "yes"}]})", "editable"},
        {R"({"segments": [{"startTime": 1, "endTime": 2, "labelText": 5}]})", "labelText"},
        {R"({"segments": [{"id": 1.5, "startTime": 1, "endTime": 2}]})", "id"},
        {R"({"segments": [{"id": "a", "startTime": 1, "endTime": 2}, {"id": "a", "startTime": 3, "endTime": 4}]})",
         "segment 1: id a is used twice"},
        {R"({"points": [{"time": 1}, {"time": null}]})", "point 1: time is not a number"},
        {R"({"points": [{"id": "x", "time": 1}, {"id": "x", "time": 2}]})", "point 1: id x is used twice"},
    };
    for (const auto& [json, reason] : cases) {
        QString why;
        EXPECT_FALSE(Parse(json, &why)) << json;
        EXPECT_TRUE(why.contains(QLatin1String(reason))) << json << " gave " << why.toStdString();
    }
    // Points and segments alone, or neither, are fine.
    EXPECT_TRUE(Parse(R"({"points": []})"));
    EXPECT_TRUE(Parse("{}"));
}

TEST(PeakRegionsTest, setGivesFreeIdsAndRefusesBadTimes)
{
    PeakRegionSet set;
    PeakRegion r;
    r.Start = 1;
    r.End = 2;
    EXPECT_EQ(set.AddRegion(r), "region.0");
    r.Id = "region.0";
    EXPECT_EQ(set.AddRegion(r), "region.1");
    r.Id = "mine";
    EXPECT_EQ(set.AddRegion(r), "mine");
    r.Start = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(set.AddRegion(r).isEmpty());
    r.Start = 3;
    EXPECT_TRUE(set.AddRegion(r).isEmpty());
    EXPECT_FALSE(set.UpdateRegion(r));  // end before start
    r.Start = 0.5;
    EXPECT_TRUE(set.UpdateRegion(r));
    EXPECT_EQ(set.FindRegion("mine")->Start, 0.5);
    r.Id = "other";
    EXPECT_FALSE(set.UpdateRegion(r));
    EXPECT_EQ(set.Regions().size(), 3u);
    EXPECT_TRUE(set.RemoveRegion("region.1"));
    EXPECT_FALSE(set.RemoveRegion("region.1"));
    PeakPoint p;
    p.Time = -0.1;
    EXPECT_TRUE(set.AddPoint(p).isEmpty());
    p.Time = 0;
    EXPECT_EQ(set.AddPoint(p), "point.0");
    EXPECT_EQ(set.Points().size(), 1u);

    // Changes tell an item already so from a change, and refuse as updates do.
    using Change = PeakRegionSet::Change;
    PeakRegion mine = *set.FindRegion("mine");
    EXPECT_EQ(set.ChangeRegion(mine), Change::Unchanged);
    mine.Label = QStringLiteral("Bridge");
    EXPECT_EQ(set.ChangeRegion(mine), Change::Changed);
    EXPECT_EQ(set.FindRegion("mine")->Label, "Bridge");
    mine.End = 0.1;
    EXPECT_EQ(set.ChangeRegion(mine), Change::Refused);
    EXPECT_EQ(set.FindRegion("mine")->End, 2);
    p = *set.FindPoint("point.0");
    EXPECT_EQ(set.ChangePoint(p), Change::Unchanged);
    p.Time = 4;
    EXPECT_EQ(set.ChangePoint(p), Change::Changed);
    p.Time = -1;
    EXPECT_EQ(set.ChangePoint(p), Change::Refused);
    p.Id = QStringLiteral("none");
    p.Time = 1;
    EXPECT_EQ(set.ChangePoint(p), Change::Refused);
}

} // namespace

} // namespace kx
